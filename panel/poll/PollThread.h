#pragma once

#include "PollCycle.h"

#include <QThread>

// Runs a step on the GUI object's thread while the calling thread waits.
class TQtExecutor : public IPollExecutor {
public:
    explicit TQtExecutor(QObject* gui) : FGui(gui) {}
    void Sync(const std::function<void()>& step) override;

private:
    QObject* FGui;
};

// The worker that polls the switchers while the panel operates. It does not
// free itself: the session waits for it and deletes it once the cycle's last
// step (PostPollDone) has reached the session.
class TPollThread : public QThread {
    Q_OBJECT
public:
    // The views' steps run on `gui`'s thread.
    TPollThread(const TPollLevels& levels, const TFieldState& table, IPollViews& views,
                QObject* gui);

    TPollCycle& Cycle() { return FCycle; }
    void Terminate() { FCycle.Terminate(); }

protected:
    void run() override { FCycle.Execute(); }

private:
    TQtExecutor FExecutor;
    TPollCycle FCycle;
};
