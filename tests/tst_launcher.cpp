// The SFP MONITOR launcher on a real (virtual) X server: the utility is
// started, found by its window, raised, and asked to quit.
#include "IpText.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "MonitorWindow.h"
#include "PanelTest.h"
#include "SimAddress.h"
#include "Simulator.h"
#include "SpeedButton.h"
#include "WindowFinder.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

// Running utilities started for this address.
int Utilities(const QString& ip) {
    int n = 0;
    const QString program = QFileInfo(QStringLiteral(FIBREWATCH_PATH)).canonicalFilePath();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || !findwindow::ProcessAlive(pid))
            continue;
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> args = f.readAll().split('\0');
        n += args.size() >= 2 &&
             QFileInfo(QString::fromLocal8Bit(args[0])).canonicalFilePath() == program &&
             args[1] == ip.toLatin1();
    }
    return n;
}

} // namespace

class TestLauncher : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    std::unique_ptr<sim::TSimulator> FSim;
    QString FIp;
    QStringList FCaptions;
    int FPress = 0; // the button the next SFP MONITOR window gets pressed (0: Esc)

    std::unique_ptr<TMainWindow> Window() {
        FSim = std::make_unique<sim::TSimulator>();
        sim::TChassisConfig c;
        c.Address = NextSimAddress();
        c.Levels = {1, 2};
        if (!FSim->AddChassis(c))
            return nullptr;
        FIp = c.Address.toString();
        bool ok = false;
        const QByteArray ip = QByteArray::number(ParseIP(FIp.toStdString(), ok));
        QFile set(FDir.filePath(QStringLiteral("matrixpanel.set")));
        if (!set.open(QIODevice::WriteOnly))
            return nullptr;
        set.write("[OPTIONS]\nCOUNT=2\n[LEVEL1]\nADDRESS=1\nNAME=VIDEO\nIP=" + ip +
                  "\n[LEVEL2]\nADDRESS=2\nNAME=AUDIO\nIP=" + ip + "\n");
        set.close();
        QFile ini(FDir.filePath(QStringLiteral("matrixpanel.ini")));
        if (!ini.open(QIODevice::WriteOnly))
            return nullptr;
        ini.write("[WINDOW]\nLEFT=0\nTOP=0\nSFP=1\n");
        ini.close();
        auto w = std::make_unique<TMainWindow>(FDir.filePath(QStringLiteral("matrixpanel.ini")));
        w->Utilities().SetProgram(QStringLiteral(FIBREWATCH_PATH));
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            return nullptr;
        return w;
    }
    // Presses MONITOR, then button FPress in the window it opens.
    void PressMonitor(TMainWindow& w) {
        QTest::mouseClick(Part<TSpeedButton>(w, "SBtnMonitor"), Qt::LeftButton, Qt::NoModifier,
                          QPoint(5, 5));
    }
    std::uint64_t Found(TMainWindow& w) {
        std::array<std::uint64_t, 4> found{};
        w.Utilities().FindWindows(w.Session().Levels().SwitcherCount, found);
        return found[0];
    }

private Q_SLOTS:
    void init() {
        msgbox::SetHandler([](const msgbox::TBox&) { return msgbox::TAnswer::Ok; });
        msgbox::SetDialogHandler([this](QDialog& d) {
            auto* m = qobject_cast<TMonitorWindow*>(&d);
            if (!m)
                return int(QDialog::Rejected);
            FCaptions.clear();
            for (TSpeedButton* b : m->Buttons)
                FCaptions << b->text();
            d.show();
            if (!QTest::qWaitForWindowExposed(&d))
                return int(QDialog::Rejected);
            if (FPress >= 1 && FPress <= m->Buttons.size())
                QTest::mouseClick(m->Buttons[FPress - 1], Qt::LeftButton, Qt::NoModifier,
                                  QPoint(5, 5));
            else
                QTest::keyClick(&d, Qt::Key_Escape);
            return d.result();
        });
        FPress = 1;
    }
    void cleanup() {
        msgbox::SetHandler({});
        msgbox::SetDialogHandler({});
        FSim.reset();
    }

    void captions_data() {
        QTest::addColumn<QList<int>>("levelSwitchers"); // switcher index of levels 1..n
        QTest::addColumn<int>("switcher");
        QTest::addColumn<QString>("caption");
        QTest::newRow("two levels, one switcher")
            << QList<int>{0, 0} << 0 << QStringLiteral("10.0.0.5 (1:VIDEO, 2:AUDIO)");
        QTest::newRow("second of four switchers")
            << QList<int>{0, 1, 2, 3} << 1 << QStringLiteral("10.0.0.6 (2:AUDIO)");
    }
    void captions() {
        QFETCH(QList<int>, levelSwitchers);
        QFETCH(int, switcher);
        QFETCH(QString, caption);
        const std::array<std::int32_t, 4> ips{0x0500000A, 0x0600000A, 0x0700000A, 0x0800000A};
        std::array<std::int32_t, 5> levelIP{}, levelAddress{};
        for (int j = 1; j <= levelSwitchers.size(); ++j) {
            levelIP[std::size_t(j)] = ips[std::size_t(levelSwitchers[j - 1])];
            levelAddress[std::size_t(j)] = j;
        }
        const QStringList names{"", "VIDEO", "AUDIO", "KEY", "FILL"};
        QCOMPARE(MonitorCaption(ips[std::size_t(switcher)], int(levelSwitchers.size()), levelIP,
                                levelAddress, [&](int j) { return names[j]; }),
                 caption);
    }

    void searchAvailable() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(findwindow::Available());
        QCOMPARE(findwindow::FindProcessMainWindow(999999999, "Fibre watch"), 0u);
        findwindow::PostQuit(0x7FFFFFF); // a window that does not exist: no crash
        findwindow::BringToFront(0x7FFFFFF, 0);
    }

    // A press starts the utility, a quick second press starts no other, a
    // later press raises it; closing it by hand clears its entry.
    void startRaiseAndClose() {
        auto w = Window();
        QVERIFY(w);
        QCOMPARE(Utilities(FIp), 0);
        PressMonitor(*w);
        QCOMPARE(FCaptions, QStringList{FIp + QStringLiteral(" (1:VIDEO, 2:AUDIO)")});
        const qint64 pid = w->Utilities().Pid(1);
        QVERIFY(pid > 0);
        PressMonitor(*w); // before its window shows
        QCOMPARE(w->Utilities().Pid(1), pid);
        QTRY_VERIFY_WITH_TIMEOUT(Found(*w) != 0, 10000);
        QCOMPARE(Utilities(FIp), 1);
        PressMonitor(*w); // raises it
        QTest::qWait(600);
        QCOMPARE(Utilities(FIp), 1);
        QCOMPARE(w->Utilities().Pid(1), pid);
        // The MONITOR button shows a running utility.
        QTRY_VERIFY_WITH_TIMEOUT(Part<TSpeedButton>(*w, "SBtnMonitor")->Color() != clr::Silver,
                                 2000);

        // Closed by hand: within a tick the entry is gone and MONITOR silver.
        findwindow::PostQuit(Found(*w));
        QTRY_VERIFY_WITH_TIMEOUT(!findwindow::ProcessAlive(pid), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(w->Utilities().Pid(1), 0, 2000);
        QTRY_COMPARE_WITH_TIMEOUT(Part<TSpeedButton>(*w, "SBtnMonitor")->Color(), clr::Silver,
                                  2000);
        QCOMPARE(Utilities(FIp), 0);
    }

    // Switching the function off, and closing the panel, end the utilities.
    void functionOffAndCloseQuit() {
        auto w = Window();
        QVERIFY(w);
        PressMonitor(*w);
        QTRY_VERIFY_WITH_TIMEOUT(Found(*w) != 0, 10000);
        const qint64 first = w->Utilities().Pid(1);
        Part<QAction>(*w, "WindowMenuMonitor")->trigger();
        QVERIFY(!Part<TSpeedButton>(*w, "SBtnMonitor")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!findwindow::ProcessAlive(first), 5000);
        QCOMPARE(w->Utilities().Pid(1), 0);

        Part<QAction>(*w, "WindowMenuMonitor")->trigger();
        PressMonitor(*w);
        const qint64 second = w->Utilities().Pid(1);
        QVERIFY(second > 0 && second != first);
        QTRY_VERIFY_WITH_TIMEOUT(Found(*w) != 0, 10000);
        w->close();
        QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!findwindow::ProcessAlive(second), 5000);
        QCOMPARE(Utilities(FIp), 0);
    }

    // A window of another program that claims our utility's process id is
    // neither raised nor asked to quit; the utility itself is.
    void impostorWindowIgnored() {
        auto w = Window();
        QVERIFY(w);
        PressMonitor(*w);
        QTRY_VERIFY_WITH_TIMEOUT(Found(*w) != 0, 10000);
        const qint64 pid = w->Utilities().Pid(1);
        const std::uint64_t real = Found(*w);
        QWidget impostor;
        impostor.setWindowTitle(QStringLiteral("Fibre watch"));
        impostor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&impostor));
        Display* d = XOpenDisplay(nullptr);
        QVERIFY(d);
        const unsigned long claimed = static_cast<unsigned long>(pid);
        XChangeProperty(d, static_cast<::Window>(impostor.winId()),
                        XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&claimed), 1);
        // It copies the utility's window role too, as any process of the user
        // can read it from the utility's environment.
        const Atom roleAtom = XInternAtom(d, "WM_WINDOW_ROLE", False);
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* role = nullptr;
        QCOMPARE(XGetWindowProperty(d, static_cast<::Window>(real), roleAtom, 0, 64, False,
                                    XA_STRING, &type, &format, &items, &after, &role),
                 Success);
        QVERIFY(role && items > 0);
        XChangeProperty(d, static_cast<::Window>(impostor.winId()), roleAtom, XA_STRING, 8,
                        PropModeReplace, role, static_cast<int>(items));
        XFree(role);
        // Stacked above the utility: a finder that trusted properties would
        // take it first.
        XRaiseWindow(d, static_cast<::Window>(impostor.winId()));
        XSync(d, False);
        XCloseDisplay(d);
        QCOMPARE(Found(*w), real);
        w->close();
        QTRY_VERIFY_WITH_TIMEOUT(!findwindow::ProcessAlive(pid), 5000);
        QVERIFY(impostor.isVisible());
    }

    // A missing program: nothing stored, nothing shown; Esc closes the window.
    void missingProgramAndEsc() {
        auto w = Window();
        QVERIFY(w);
        w->Utilities().SetProgram(FDir.filePath(QStringLiteral("no such dir/fibrewatch")));
        PressMonitor(*w);
        QCOMPARE(w->Utilities().Pid(1), 0);
        FPress = 0;
        PressMonitor(*w);
        QCOMPARE(w->Utilities().Pid(1), 0);
        QVERIFY(!w->findChild<TMonitorWindow*>());
    }
};

QTEST_MAIN(TestLauncher)
#include "tst_launcher.moc"
