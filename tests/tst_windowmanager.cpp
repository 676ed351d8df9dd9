// Windows under a real window manager (openbox on the test's own X server),
// where frames, placement and stacking change what an operator sees.
#include "HdmiWindow.h"
#include "MainWindow.h"
#include "PanelTest.h"
#include "SalvoDialog.h"
#include "ScreenFit.h"
#include "SpeedButton.h"
#include "StatusWindow.h"
#include "TipForm.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QListWidget>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

// The root window's property of window ids, bottom to top for the stacking list.
std::vector<unsigned long> RootWindows(const char* property) {
    std::vector<unsigned long> ids;
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return ids;
    Atom actual = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, property, False), 0, 4096, False,
                           XA_WINDOW, &actual, &format, &items, &after, &data) == Success &&
        data && format == 32)
        ids.assign(reinterpret_cast<unsigned long*>(data),
                   reinterpret_cast<unsigned long*>(data) + items);
    if (data)
        XFree(data);
    XCloseDisplay(d);
    return ids;
}

// The frame as the platform reports it (QWidget's copy may predate it).
bool Framed(const QWidget& w) {
    return w.isVisible() && screenfit::FrameOf(w) != w.geometry();
}

QString Text(const QRect& r) {
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class TestWindowManager : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    QProcess FWindowManager;
    QString Ini() const { return FDir.filePath(QStringLiteral("matrixpanel.ini")); }
    void WriteIni(const QByteArray& text) const {
        QFile f(Ini());
        if (f.open(QIODevice::WriteOnly))
            f.write(text);
    }
    QRect Screen() const { return QGuiApplication::primaryScreen()->availableGeometry(); }

    // The main window and its monitor windows as the program builds them.
    struct TProgram {
        TMainWindow W;
        TTip Tip;
        THdmiWindow Hdmi;
        TStatusWindow StatusMonitor;
        explicit TProgram(const QString& ini) : W(ini) {
            W.AttachForms(&Tip, &Hdmi, &StatusMonitor);
            W.show();
        }
    };

private Q_SLOTS:
    void initTestCase() {
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        QVERIFY2(!openbox.isEmpty(), "openbox is not installed (scripts/deps.sh installs it)");
        FWindowManager.start(openbox, {QStringLiteral("--sm-disable")});
        QVERIFY(FWindowManager.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!RootWindows("_NET_SUPPORTING_WM_CHECK").empty(), 10000);
        QCOMPARE(Screen().size(), QSize(1280, 1024));
    }
    void cleanupTestCase() {
        FWindowManager.terminate();
        FWindowManager.waitForFinished(5000);
    }
    void init() { QFile::remove(Ini()); }

    // A window the INI puts partly below the screen comes up whole, frame
    // included, its MEMORY buttons on the screen; the INI keeps its values
    // until the operator moves the window.
    void mainWindowOnTheScreen() {
        WriteIni("[WINDOW]\nLEFT=520\nTOP=330\nHEIGHT=695\n");
        {
            TProgram p(Ini());
            QTRY_VERIFY2_WITH_TIMEOUT(
                Framed(p.W) && Screen().contains(screenfit::FrameOf(p.W)),
                qPrintable(Text(screenfit::FrameOf(p.W)) + QLatin1Char(' ') + Text(p.W.geometry())),
                15000);
            auto* del = Part<TSpeedButton>(p.W, "SBtnDelSlot");
            const QRect button(del->mapToGlobal(QPoint(0, 0)), del->size());
            QVERIFY2(Screen().contains(button), qPrintable(Text(button)));
            p.W.close();
        }
        QFile ini(Ini());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray saved = ini.readAll();
        QVERIFY2(saved.contains("LEFT=520\nTOP=330\n") && saved.contains("HEIGHT=695\n"),
                 saved.constData());
    }

    // Edit Salvo from a window at the bottom right of the screen: its first
    // show lies inside the screen with its frame.
    void salvoDialogOnTheScreen() {
        WriteIni("[WINDOW]\nLEFT=520\nTOP=330\nHEIGHT=695\n");
        TProgram p(Ini());
        QTRY_VERIFY_WITH_TIMEOUT(Framed(p.W) && Screen().contains(screenfit::FrameOf(p.W)), 15000);
        p.W.Session().SizeSettleMs = 0;
        p.W.Session().ApplySize(16, 16);
        p.W.Session().FirstCycle(2);
        p.W.Session().SetMode(TMode::Preset);
        QRect first, settled;
        msgbox::SetDialogHandler([&](QDialog& d) {
            d.show();
            if (QTest::qWaitFor([&] { return Framed(d); }, 15000)) {
                first = screenfit::FrameOf(d);
                QTest::qWait(100); // a correction after the frame would show here
                settled = screenfit::FrameOf(d);
            }
            return int(QDialog::Rejected);
        });
        QTest::mouseClick(Part<TSpeedButton>(p.W, "SBtnNewSlot"), Qt::LeftButton);
        msgbox::SetDialogHandler({});
        QVERIFY(!first.isEmpty());
        QVERIFY2(Screen().contains(first), qPrintable(Text(first)));
        QVERIFY2(Screen().contains(settled), qPrintable(Text(settled)));
    }

    // Without positions in the INI, STATUS and HDMI cover neither each other
    // nor the main window; STATUS never covers a dialog of the panel.
    void monitorsBesideAndBelowDialogs() {
        WriteIni("[WINDOW]\nLEFT=20\nTOP=20\n[SWINDOW]\nENABLED=1\nSHOW=1\n");
        TProgram p(Ini());
        QTRY_VERIFY_WITH_TIMEOUT(Framed(p.W) && Framed(p.StatusMonitor), 15000);
        p.Hdmi.show();
        QTRY_VERIFY_WITH_TIMEOUT(Framed(p.Hdmi), 15000);
        const QRect main = screenfit::FrameOf(p.W), status = screenfit::FrameOf(p.StatusMonitor),
                    hdmi = screenfit::FrameOf(p.Hdmi);
        QVERIFY2(!status.intersects(main), qPrintable(Text(status) + " " + Text(main)));
        QVERIFY2(!hdmi.intersects(main), qPrintable(Text(hdmi) + " " + Text(main)));
        QVERIFY2(!hdmi.intersects(status), qPrintable(Text(hdmi) + " " + Text(status)));
        for (const QRect& r : {status, hdmi})
            QVERIFY2(Screen().contains(r), qPrintable(Text(r)));

        // The Import names picker over STATUS: the picker is stacked above it.
        p.StatusMonitor.move(screenfit::FrameOf(p.W).center() - p.StatusMonitor.rect().center());
        bool above = false, seen = false;
        QTimer::singleShot(15000, [] { // never left waiting on the picker
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                d->reject();
        });
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()),
                                     5000);
            auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QTRY_VERIFY_WITH_TIMEOUT(Framed(*picker), 5000);
            QTest::qWait(200);
            const auto stack = RootWindows("_NET_CLIENT_LIST_STACKING");
            const auto at = [&](const QWidget& w) {
                return std::find(stack.begin(), stack.end(), w.winId()) - stack.begin();
            };
            seen = true;
            above = at(*picker) > at(p.StatusMonitor);
            picker->reject();
        });
        Part<QAction>(p.W, "WindowMenuImportNames")->trigger();
        QVERIFY(seen);
        QVERIFY(above);
    }
};

QTEST_MAIN(TestWindowManager)
#include "tst_windowmanager.moc"
