#pragma once

#include <QThread>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

class TPanel;

struct TLocalTime {
    std::uint16_t Year = 0, Month = 0, Day = 0;
    std::uint16_t Hour = 0, Minute = 0, Second = 0;
};

// Source of the local date and time; the default reads the computer's clock.
using TTimeSource = std::function<TLocalTime()>;
TLocalTime SystemLocalTime();

// The fourteen digit panels of the DATE & TIME display, tens before units.
struct TClockPanels {
    TPanel *HourH, *HourL, *MinH, *MinL, *SecH, *SecL;
    TPanel *DayH, *DayL, *MonthH, *MonthL, *AgeH, *AgeL, *YearH, *YearL;
};

// Shows a two-digit value on a pair of digit panels; a panel's caption changes
// only when its digit differs from the one it remembers.
void ShowTwoDigits(TPanel* tens, TPanel* units, int value);

// Keeps the DATE & TIME panels current: every 10 ms it reads the local time and
// updates, on the GUI thread, the components that changed (seconds, minutes,
// hours, day, month, year). It ends when asked to; QThread::finished reports it.
class TTimeThread : public QThread {
    Q_OBJECT
public:
    TTimeThread(QObject* mainWindow, const TClockPanels& panels, TTimeSource source = {});

    // Asks the thread to stop; it ends within one pass.
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }

protected:
    void run() override;

private:
    // Runs a step on the GUI thread while this thread waits for it.
    void Synchronize(const std::function<void()>& step);

    QObject* FMainWindow;
    TClockPanels FPanels;
    TTimeSource FSource;
    std::atomic<bool> FTerminated{false};

    std::uint16_t FHour = 0, FMinute = 0, FSecond = 0, FYear = 0, FMonth = 0, FDay = 0;
    std::uint16_t FLastHour = 0, FLastMinute = 0, FLastSecond = 0;
    std::uint16_t FLastYear = 0, FLastMonth = 0, FLastDay = 0;
};
