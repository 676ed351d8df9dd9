#include "PollThread.h"

void TQtExecutor::Sync(const std::function<void()>& step) {
    QMetaObject::invokeMethod(FGui, step, Qt::BlockingQueuedConnection);
}

TPollThread::TPollThread(const TPollLevels& levels, const TFieldState& table, IPollViews& views,
                         QObject* gui)
    : FExecutor(gui), FCycle(levels, table, views, FExecutor) {}
