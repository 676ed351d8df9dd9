#include "PollThread.h"

void TQtExecutor::Sync(const std::function<void()>& step) {
    QMetaObject::invokeMethod(FGui, step, Qt::BlockingQueuedConnection);
}

TPollThread::TPollThread(const TPollLevels& levels, IPollViews& views, QObject* mainWindow)
    : FExecutor(mainWindow), FCycle(levels, views, FExecutor) {}
