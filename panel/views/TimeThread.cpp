#include "TimeThread.h"

#include "Panel.h"

#include <ctime>

TLocalTime SystemLocalTime() {
    // Read 100 times a second: the C library's local time is far cheaper than
    // building a QDateTime each time.
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    if (!localtime_r(&now, &t))
        return {};
    return {static_cast<std::uint16_t>(t.tm_year + 1900), static_cast<std::uint16_t>(t.tm_mon + 1),
            static_cast<std::uint16_t>(t.tm_mday),        static_cast<std::uint16_t>(t.tm_hour),
            static_cast<std::uint16_t>(t.tm_min),         static_cast<std::uint16_t>(t.tm_sec)};
}

void ShowTwoDigits(TPanel* tens, TPanel* units, int value) {
    const int digits[2] = {value / 10 % 10, value % 10};
    TPanel* panels[2] = {tens, units};
    for (int i = 0; i < 2; ++i) {
        if (panels[i]->Tag != digits[i])
            panels[i]->SetCaption(QString::number(digits[i]));
        panels[i]->Tag = digits[i];
    }
}

TTimeThread::TTimeThread(QObject* mainWindow, const TClockPanels& panels, TTimeSource source)
    : FMainWindow(mainWindow), FPanels(panels),
      FSource(source ? std::move(source) : TTimeSource(SystemLocalTime)) {}

void TTimeThread::Synchronize(const std::function<void()>& step) {
    QMetaObject::invokeMethod(FMainWindow, step, Qt::BlockingQueuedConnection);
}

void TTimeThread::run() {
    while (!FTerminated.load()) {
        QThread::msleep(10);
        const TLocalTime t = FSource();
        FHour = t.Hour;
        FMinute = t.Minute;
        FSecond = t.Second;
        FYear = t.Year;
        FMonth = t.Month;
        FDay = t.Day;
        if (FSecond != FLastSecond)
            Synchronize([this] { ShowTwoDigits(FPanels.SecH, FPanels.SecL, FSecond); });
        if (FMinute != FLastMinute)
            Synchronize([this] { ShowTwoDigits(FPanels.MinH, FPanels.MinL, FMinute); });
        if (FHour != FLastHour)
            Synchronize([this] { ShowTwoDigits(FPanels.HourH, FPanels.HourL, FHour); });
        if (FDay != FLastDay)
            Synchronize([this] { ShowTwoDigits(FPanels.DayH, FPanels.DayL, FDay); });
        if (FMonth != FLastMonth)
            Synchronize([this] { ShowTwoDigits(FPanels.MonthH, FPanels.MonthL, FMonth); });
        if (FYear != FLastYear)
            Synchronize([this] {
                ShowTwoDigits(FPanels.AgeH, FPanels.AgeL, FYear / 100);
                ShowTwoDigits(FPanels.YearH, FPanels.YearL, FYear % 100);
            });
        FLastHour = FHour;
        FLastMinute = FMinute;
        FLastSecond = FSecond;
        FLastYear = FYear;
        FLastMonth = FMonth;
        FLastDay = FDay;
    }
    // Returning ends the thread: QThread::finished tells the main window, which
    // then waits for it and frees it.
}
