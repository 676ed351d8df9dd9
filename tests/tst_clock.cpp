#include "Panel.h"
#include "TimeThread.h"

#include <QDateTime>
#include <QTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Stands in for the main window.
class TReceiver : public QObject {
public:
    bool Done = false;
};

// Hands out a scripted sequence of times, repeating the last one.
struct TScript {
    std::vector<TLocalTime> Times;
    std::atomic<std::size_t> Next{0};
    TLocalTime operator()() {
        const std::size_t i = Next.load();
        if (i + 1 < Times.size())
            Next.store(i + 1);
        return Times[std::min(i, Times.size() - 1)];
    }
    bool Exhausted() const { return Next.load() + 1 >= Times.size(); }
};

struct TClockRig {
    std::vector<std::unique_ptr<TPanel>> Owned;
    TClockPanels Panels{};
    QStringList Changes; // object names of panels in caption-change order

    TPanel* Make(const char* name) {
        Owned.push_back(std::make_unique<TPanel>());
        TPanel* p = Owned.back().get();
        p->setObjectName(QString::fromLatin1(name));
        p->SetCaption(QStringLiteral("0"));
        QObject::connect(p, &TPanel::CaptionChanged, p, [this, p] { Changes << p->objectName(); });
        return p;
    }
    TClockRig() {
        Panels = {Make("HourH"), Make("HourL"), Make("MinH"),  Make("MinL"),   Make("SecH"),
                  Make("SecL"),  Make("DayH"),  Make("DayL"),  Make("MonthH"), Make("MonthL"),
                  Make("AgeH"),  Make("AgeL"),  Make("YearH"), Make("YearL")};
    }
    QString Shown() const {
        QString s;
        for (TPanel* p : {Panels.DayH, Panels.DayL, Panels.MonthH, Panels.MonthL, Panels.AgeH,
                          Panels.AgeL, Panels.YearH, Panels.YearL, Panels.HourH, Panels.HourL,
                          Panels.MinH, Panels.MinL, Panels.SecH, Panels.SecL})
            s += p->Caption();
        return s;
    }
};

// Runs the clock thread over the script until it is used up, then stops it.
void RunClock(TClockRig& rig, TScript& script) {
    TReceiver receiver;
    TTimeThread thread(&receiver, rig.Panels, std::ref(script));
    QObject::connect(&thread, &QThread::finished, &receiver, [&] { receiver.Done = true; });
    thread.start();
    QTRY_VERIFY_WITH_TIMEOUT(script.Exhausted(), 5000);
    // Let the last scripted pass complete before stopping.
    QTest::qWait(50);
    thread.Terminate();
    QTRY_VERIFY_WITH_TIMEOUT(receiver.Done, 5000);
    QVERIFY(thread.wait(5000));
}

} // namespace

class TestClock : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The computer's local time as the toolkit reads it, taken either side of
    // the reading in case a second turns meanwhile.
    void systemLocalTimeIsLocal() {
        auto fields = [](const QDateTime& d) {
            return QList<int>{d.date().year(), d.date().month(),  d.date().day(),
                              d.time().hour(), d.time().minute(), d.time().second()};
        };
        const QDateTime before = QDateTime::currentDateTime();
        const TLocalTime t = SystemLocalTime();
        const QDateTime after = QDateTime::currentDateTime();
        const QList<int> got{t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second};
        QVERIFY2(got == fields(before) || got == fields(after),
                 qPrintable(before.toString(Qt::ISODate)));
    }

    void hourRollOver() {
        TClockRig rig;
        TScript script;
        script.Times = {{2026, 12, 9, 9, 59, 59}, {2026, 12, 9, 10, 0, 0}};
        RunClock(rig, script);
        QCOMPARE(rig.Shown(), QStringLiteral("09122026100000"));
        // The last pass changed all six time panels, seconds first.
        const QStringList last = rig.Changes.mid(rig.Changes.lastIndexOf(QStringLiteral("SecH")));
        QCOMPARE(last, QStringList({"SecH", "SecL", "MinH", "MinL", "HourH", "HourL"}));
    }

    void centuryRollOver() {
        TClockRig rig;
        TScript script;
        script.Times = {{2099, 12, 31, 23, 59, 59}, {2100, 1, 1, 0, 0, 0}};
        RunClock(rig, script);
        QCOMPARE(rig.Shown(), QStringLiteral("01012100000000"));
    }

    void startAtZeroChangesNothing() {
        TClockRig rig;
        TScript script;
        // Midnight, second 0: only the date panels differ from their initial "0".
        script.Times = {{2000, 1, 1, 0, 0, 0}};
        RunClock(rig, script);
        QCOMPARE(rig.Shown(), QStringLiteral("01012000000000"));
        QCOMPARE(rig.Changes, QStringList({"DayL", "MonthL", "AgeH"}));
    }

    void oneSecondTouchesOnePanel() {
        TClockRig rig;
        TScript script;
        script.Times = {{2026, 5, 17, 13, 45, 21}, {2026, 5, 17, 13, 45, 22}};
        RunClock(rig, script);
        QCOMPARE(rig.Changes.last(), QStringLiteral("SecL"));
        QCOMPARE(rig.Changes.count(QStringLiteral("SecL")), 2);
        QCOMPARE(rig.Changes.count(QStringLiteral("SecH")), 1);
    }
};

QTEST_MAIN(TestClock)
#include "tst_clock.moc"
