// The status and HDMI monitor windows, alone and against simulated switchers.
#include "ColorTabBar.h"
#include "HdmiWindow.h"
#include "IpText.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "MonitorWindow.h"
#include "PanelTest.h"
#include "PollThread.h"
#include "SimAddress.h"
#include "Simulator.h"
#include "SpeedButton.h"
#include "StatusWindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <sys/stat.h>

Q_DECLARE_METATYPE(TStatusLamp)

namespace {

TSwitcherStatus Healthy() {
    TSwitcherStatus s;
    s.RefState = 1;
    s.RefName = "BLACK BURST";
    s.Psu1Present = s.Psu2Present = true;
    s.Voltage = 1205;
    s.Psu1Current = 310;
    s.Psu2Current = 295;
    s.Temperature = 412;
    s.FanSpeed = 2400;
    return s;
}

int HdmiFrames(const sim::TChassis* c, int sub = -1) {
    int n = 0;
    for (const auto& r : c->Requests())
        n += r.size() > 2 && r[1] == 4 && (sub < 0 || r[2] == sub);
    return n;
}

} // namespace

class TestMonitors : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    std::unique_ptr<sim::TSimulator> FSim;
    sim::TChassis *FA = nullptr, *FB = nullptr;
    QString Ini() const { return FDir.filePath(QStringLiteral("matrixpanel.ini")); }

    struct TPanelSet {
        std::unique_ptr<TStatusWindow> Status = std::make_unique<TStatusWindow>();
        std::unique_ptr<THdmiWindow> Hdmi = std::make_unique<THdmiWindow>();
        std::unique_ptr<TMainWindow> Main;
    };

    // An operating window with status and HDMI monitoring on, over two
    // chassis: level 1 on A, level 2 on B.
    std::unique_ptr<TPanelSet> Operating() {
        FSim = std::make_unique<sim::TSimulator>();
        sim::TChassisConfig a, b;
        a.Address = NextSimAddress();
        a.Levels = {1};
        b.Address = NextSimAddress();
        b.Levels = {2};
        a.Inputs = a.Outputs = b.Inputs = b.Outputs = 16;
        FA = FSim->AddChassis(a);
        FB = FSim->AddChassis(b);
        if (!FA || !FB)
            return nullptr;
        bool ok = false;
        auto ip = [&](const sim::TChassisConfig& c) {
            return QByteArray::number(ParseIP(c.Address.toString().toStdString(), ok));
        };
        QFile set(FDir.filePath(QStringLiteral("matrixpanel.set")));
        if (!set.open(QIODevice::WriteOnly))
            return nullptr;
        set.write("[OPTIONS]\nCOUNT=2\n[LEVEL1]\nADDRESS=1\nIP=" + ip(a) +
                  "\n[LEVEL2]\nADDRESS=2\nIP=" + ip(b) + "\n");
        set.close();
        QFile f(Ini());
        if (!f.open(QIODevice::WriteOnly))
            return nullptr;
        f.write("[WINDOW]\nLEFT=0\nTOP=0\nWIDTH=760\nHEIGHT=720\n[SWINDOW]\nENABLED=1\nSHOW=1\n"
                "[HWINDOW]\nENABLED=1\n");
        f.close();
        auto p = std::make_unique<TPanelSet>();
        p->Main = std::make_unique<TMainWindow>(Ini());
        p->Main->AttachForms(nullptr, p->Hdmi.get(), p->Status.get());
        p->Main->show();
        if (!QTest::qWaitForWindowExposed(p->Main.get()))
            return nullptr;
        // The first-idle step rebuilds the tabs and shows the status window.
        if (!QTest::qWaitFor([&] { return p->Hdmi->HdmiTab->count() == 2; }, 5000))
            return nullptr;
        QTest::mouseClick(Part<TSpeedButton>(*p->Main, "SBtnOperate"), Qt::LeftButton);
        if (!QTest::qWaitFor([&] { return p->Main->Session().Mode() != TMode::Off; }, 5000))
            return nullptr;
        return p;
    }
private Q_SLOTS:
    void init() {
        msgbox::SetHandler([](const msgbox::TBox&) { return msgbox::TAnswer::Ok; });
    }
    void cleanup() {
        msgbox::SetHandler({});
        FSim.reset();
    }

    void rowViews_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("change"); // 0 none, else which word to alter
        QTest::addColumn<QString>("text");
        QTest::addColumn<TStatusLamp>("lamp");
        QTest::addColumn<bool>("blinking");
        const QString c = QStringLiteral("C");
        QTest::newRow("temperature alarm")
            << int(RowTemp) << c << 1 << QStringLiteral("40.0 °C") << TStatusLamp::Red << true;
        QTest::newRow("temperature")
            << int(RowTemp) << c << 0 << QStringLiteral("41.2 °C") << TStatusLamp::Green << false;
        QTest::newRow("fan") << int(RowRpm) << c << 0 << QStringLiteral("2400 rpm")
                             << TStatusLamp::Green << false;
        QTest::newRow("voltage, German")
            << int(RowVoltage) << QStringLiteral("de_DE") << 0 << QStringLiteral("12,05 V")
            << TStatusLamp::Green << false;
        QTest::newRow("no thousands separator")
            << int(RowTemp) << QStringLiteral("en_US") << 6 << QStringLiteral("1234.5 °C")
            << TStatusLamp::Green << false;
        QTest::newRow("no thousands separator, German")
            << int(RowVoltage) << QStringLiteral("de_DE") << 6 << QStringLiteral("123,45 V")
            << TStatusLamp::Green << false;
        QTest::newRow("voltage alarm without supplies")
            << int(RowVoltage) << c << 2 << QString() << TStatusLamp::Grey << false;
        QTest::newRow("current 1")
            << int(RowPwr1) << c << 0 << QStringLiteral("3.10 A") << TStatusLamp::Green << false;
        QTest::newRow("supply 2 absent, current alarm")
            << int(RowPwr2) << c << 3 << QString() << TStatusLamp::Grey << false;
        QTest::newRow("no reference")
            << int(RowRef) << c << 4 << QStringLiteral("BLACK BURST") << TStatusLamp::Red << false;
        QTest::newRow("reference name in Latin-1")
            << int(RowRef) << c << 5 << QStringLiteral("TRI-LEVEL é") << TStatusLamp::Green
            << false;
    }
    void rowViews() {
        QFETCH(int, row);
        QFETCH(QString, locale);
        QFETCH(int, change);
        QFETCH(QString, text);
        QFETCH(TStatusLamp, lamp);
        QFETCH(bool, blinking);
        TSwitcherStatus s = Healthy();
        switch (change) {
        case 1:
            s.Temperature = 0x8190;
            break;
        case 2:
            s.Psu1Present = s.Psu2Present = false;
            s.Voltage |= 0x8000;
            break;
        case 3:
            s.Psu2Present = false;
            s.Psu2Current = 0x8000;
            break;
        case 4:
            s.RefState = 0;
            break;
        case 5:
            s.RefName = "TRI-LEVEL \xE9";
            break;
        case 6:
            s.Temperature = 12345;
            s.Voltage = 12345;
            break;
        default:
            break;
        }
        const TStatusRowView v = StatusRowView(TStatusRow(row), s, QLocale(locale));
        QCOMPARE(v.Text, text);
        QCOMPARE(v.Lamp, lamp);
        QCOMPARE(v.Blinking, blinking);
    }

    void alarms_data() {
        QTest::addColumn<int>("change");
        QTest::addColumn<bool>("alarm");
        QTest::newRow("healthy") << 0 << false;
        QTest::newRow("temperature") << 1 << true;
        QTest::newRow("fan") << 2 << true;
        QTest::newRow("voltage with a supply") << 3 << true;
        QTest::newRow("voltage without supplies") << 4 << false;
        QTest::newRow("current 2, supply absent") << 5 << false;
        QTest::newRow("current 1, supply present") << 6 << true;
        QTest::newRow("no reference") << 7 << false;
    }
    void alarms() {
        QFETCH(int, change);
        QFETCH(bool, alarm);
        TSwitcherStatus s = Healthy();
        switch (change) {
        case 1:
            s.Temperature |= 0x8000;
            break;
        case 2:
            s.FanSpeed |= 0x8000;
            break;
        case 3:
            s.Psu2Present = false;
            s.Voltage |= 0x8000;
            break;
        case 4:
            s.Psu1Present = s.Psu2Present = false;
            s.Voltage |= 0x8000;
            break;
        case 5:
            s.Psu2Present = false;
            s.Psu2Current = 0x8000;
            break;
        case 6:
            s.Psu1Current |= 0x8000;
            break;
        case 7:
            s.RefState = 0;
            break;
        default:
            break;
        }
        QCOMPARE(SwitcherAlarm(s), alarm);
    }

    // Rows repaint on a change of word, of show condition or of reference
    // name, on a forced paint, and not otherwise; tabs follow the alarms.
    void statusRowsRepaint() {
        TStatusWindow w;
        w.SetNumberLocale(QLocale::c());
        w.StatusTab->Rebuild({QStringLiteral("A"), QStringLiteral("B")});
        w.EnableStatusRows();
        std::array<TSwitcherStatus, 4> s{Healthy(), Healthy(), {}, {}};
        w.PaintStatus(true, s, 2);
        for (int r = 0; r < StatusRowCount; ++r)
            QCOMPARE(w.Pane(TStatusRow(r))->Paints, 1);
        QCOMPARE(w.StatusTEMP->Text(), QStringLiteral("41.2 °C"));
        w.PaintStatus(false, s, 2);
        QCOMPARE(w.StatusTEMP->Paints, 1);
        // Supply 1 pulled while its word stays the same: its row empties.
        s[0].Psu1Present = false;
        w.PaintStatus(false, s, 2);
        QCOMPARE(w.StatusPWR1->Paints, 2);
        QCOMPARE(w.StatusPWR1->Text(), QString());
        QCOMPARE(w.StatusPWR1->Lamp(), TStatusLamp::Grey);
        QCOMPARE(w.StatusV->Paints, 1); // supply 2 still shows the voltage
        // A new reference name in the same state.
        s[0].RefName = "TRI-LEVEL";
        w.PaintStatus(false, s, 2);
        QCOMPARE(w.StatusREF->Text(), QStringLiteral("TRI-LEVEL"));
        // Alarm on B: its tab turns red, A stays grey; A's rows are unchanged.
        s[1].Temperature = 0x8190;
        w.PaintStatus(false, s, 2);
        QCOMPARE(w.StatusTab->TabColor(1), clr::Red);
        QCOMPARE(w.StatusTab->TabColor(0), clr::Grey);
        QCOMPARE(w.StatusTEMP->Paints, 1);
        // A forced paint after a tab change repaints all six rows with B's values.
        w.StatusTab->setCurrentIndex(1);
        w.PaintStatus(true, s, 2);
        for (int r = 0; r < StatusRowCount; ++r)
            QVERIFY(w.Pane(TStatusRow(r))->Paints >= 2);
        QCOMPARE(w.StatusTEMP->Text(), QStringLiteral("40.0 °C"));
        QVERIFY(w.StatusTEMP->Blinking());
        // Counts beyond the tabs or four switchers are bounded.
        w.PaintStatus(true, s, 9);
        w.PaintStatus(true, s, -3);
        // The end of polling: empty grey rows, grey tabs, disabled.
        w.ResetStatusRows();
        QCOMPARE(w.StatusTab->TabColor(1), clr::Grey);
        QVERIFY(!w.StatusTEMP->isEnabled() && !w.LabelTEMP->isEnabled());
        QCOMPARE(w.StatusTEMP->Text(), QString());
        QVERIFY(!w.StatusTEMP->Blinking());
    }

    // Values the controls cannot show, and a lowered slider maximum, leave
    // the wanted values as the switcher reported them.
    void hdmiControlsShowClampedCopy() {
        THdmiWindow w;
        w.HdmiTab->Rebuild({QStringLiteral("A")});
        w.Requests()->SetEnabled(true);
        w.Requests()->SetTab(0);
        THdmiState s;
        s.StandardName = "1080i50";
        s.Groups = {true, false, true, false};
        s.SliderMax = 40;
        s.Meter1Slider = 30;
        s.Meter1Group = 2;
        w.PublishHdmi(0, s, s);
        QCOMPARE(w.StateSTD->text(), QStringLiteral("1080i50"));
        QVERIFY(w.StateGR[0]->Lit() && !w.StateGR[1]->Lit() && w.StateGR[2]->Lit());
        QCOMPARE(w.StateX0->value(), 30);
        QCOMPARE(w.StateGRS0->currentIndex(), 2);
        QCOMPARE(w.SBtnDBFS->Color(), clr::Lime);
        THdmiState odd = s;
        odd.SliderMax = 10; // lowered below the position
        odd.Meter1Group = 7;
        odd.DbfsRef = 25;
        odd.DbuRef = 30;
        odd.ScaleMode = 3;
        odd.StreamMode = 2;
        w.PublishHdmi(0, odd, s);
        QCOMPARE(w.StateX0->value(), 10);
        QCOMPARE(w.StateGRS0->currentIndex(), -1);
        QCOMPARE(w.StateDBFSN->value(), 19);
        QCOMPARE(w.StateDBUN->value(), 20);
        // Their labels do not pass the nearest position off as the reported one.
        QCOMPARE(w.LabelDBFSN->text(), QStringLiteral("?"));
        QCOMPARE(w.LabelDBUN->text(), QStringLiteral("?"));
        const THdmiWanted wanted = w.Requests()->Wanted();
        QCOMPARE(wanted.Meter1Slider, 30);
        QCOMPARE(wanted.Meter1Group, 7);
        QCOMPARE(wanted.DbfsRef, 25);
        QCOMPARE(wanted.DbuRef, 30);
        QCOMPARE(wanted.ScaleMode, 3);
        QCOMPARE(wanted.StreamMode, 2);
        // A publish for a tab other than the selected one paints nothing.
        THdmiState other = odd;
        other.StandardName = "720p60";
        other.StandardCode = 9;
        w.PublishHdmi(1, other, odd);
        QCOMPARE(w.StateSTD->text(), QStringLiteral("1080i50"));
    }

    // Real events: a group list closed without a choice gives the focus back
    // (a later arrow key changes nothing), and a click on a meter slider's
    // groove jumps to the point clicked.
    void hdmiListAndSliderByMouse() {
        THdmiWindow w;
        w.HdmiTab->Rebuild({QStringLiteral("A")});
        w.Requests()->SetEnabled(true);
        w.Requests()->SetTab(0);
        THdmiState s;
        s.SliderMax = 404;
        s.Meter1Group = 1;
        w.PublishHdmi(0, s, s);
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::mouseClick(w.StateGRS0, Qt::LeftButton);
        QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        // The window's own focus widget: the one that has the focus whenever the
        // window is active again.
        QTRY_COMPARE(w.focusWidget(), w.StateSTD);
        QTest::keyClick(w.focusWidget(), Qt::Key_Down);
        QCOMPARE(w.StateGRS0->currentIndex(), 1);
        QCOMPARE(w.Requests()->Wanted().Meter1Group, 1);

        // Every slider of the window jumps to the click, the scale positions too.
        for (QSlider* slider : {w.StateX0, w.StateX1, w.StateDBFSN, w.StateDBUN}) {
            slider->setValue(slider->minimum());
            const QPoint at(slider->width() * 3 / 4, slider->height() / 2);
            QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, at);
            const int expected =
                slider->minimum() + (slider->maximum() - slider->minimum()) * 3 / 4;
            const int tolerance = std::max(2, (slider->maximum() - slider->minimum()) / 10);
            QVERIFY2(std::abs(slider->value() - expected) <= tolerance,
                     qPrintable(slider->objectName() + QLatin1Char(' ') +
                                QString::number(slider->value())));
        }
        QCOMPARE(w.Requests()->Wanted().Meter1Slider, w.StateX0->value());
        QCOMPARE(w.Requests()->Wanted().DbfsRef, w.StateDBFSN->value());
    }

    // Names from a switcher that look like markup are shown as they are:
    // nothing is loaded (a FIFO would block), and the windows keep their size.
    void markupFromSwitcherShownAsText() {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("f"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString name = QStringLiteral("<img src=\"%1\" width=\"99999\"><b>x</b>").arg(fifo);
        THdmiWindow hdmi;
        hdmi.HdmiTab->Rebuild({name});
        hdmi.Requests()->SetEnabled(true);
        hdmi.Requests()->SetTab(0);
        hdmi.show();
        QVERIFY(QTest::qWaitForWindowExposed(&hdmi));
        const QSize before = hdmi.size();
        THdmiState s;
        s.StandardName = name.toStdString();
        hdmi.PublishHdmi(0, s, s);
        QCOMPARE(hdmi.StateSTD->text(), name);
        QCOMPARE(hdmi.StateSTD->textFormat(), Qt::PlainText);
        QCOMPARE(hdmi.HdmiTab->tabText(0), name);
        QCoreApplication::processEvents();
        QVERIFY2(hdmi.width() < before.width() + 600 && hdmi.height() == before.height(),
                 qPrintable(QStringLiteral("%1 x %2").arg(hdmi.width()).arg(hdmi.height())));
        const QImage shot = hdmi.grab().toImage(); // painting loads nothing either
        QVERIFY(!shot.isNull());
    }

    // MONITOR marks the running utilities and leaves the STATUS flash and its
    // timer alone; the list sizes itself to its buttons, none without a switcher.
    void monitorPressLeavesTheFlashAlone() {
        auto p = Operating();
        QVERIFY(p);
        TMainWindow& w = *p->Main;
        Part<QAction>(w, "WindowMenuMonitor")->trigger();
        QVERIFY(Part<TSpeedButton>(w, "SBtnMonitor")->isEnabled());
        Part<QTimer>(w, "StatusTimer")->stop();
        p->Status->StatusTab->SetTabColor(0, clr::Red);
        const TColor before = Part<TSpeedButton>(w, "SBtnStatus")->Color();
        int buttons = -1;
        msgbox::SetDialogHandler([&](QDialog& d) {
            if (auto* m = qobject_cast<TMonitorWindow*>(&d))
                buttons = int(m->Buttons.size());
            return int(QDialog::Rejected);
        });
        QTest::mouseClick(Part<TSpeedButton>(w, "SBtnMonitor"), Qt::LeftButton, Qt::NoModifier,
                          QPoint(5, 5));
        msgbox::SetDialogHandler({});
        QCOMPARE(buttons, 2);
        QCOMPARE(Part<TSpeedButton>(w, "SBtnStatus")->Color(), before);
        QVERIFY(!Part<QTimer>(w, "StatusTimer")->isActive());
        StopPolling(w);
        const TMonitorWindow none({});
        QCOMPARE(none.height(), 0);
    }

    // Against two switchers: one request per operator change, nothing for
    // what the switcher changed, for values the controls cannot show, for a
    // tab switch, or while HDMI monitoring is off.
    void hdmiAgainstSwitchers() {
        auto p = Operating();
        QVERIFY(p);
        TMainWindow& w = *p->Main;
        THdmiWindow& h = *p->Hdmi;
        QVERIFY(Part<TSpeedButton>(w, "SBtnHdmi")->isEnabled());
        QTest::mouseClick(Part<TSpeedButton>(w, "SBtnHdmi"), Qt::LeftButton, Qt::NoModifier,
                          QPoint(5, 5));
        QVERIFY(QTest::qWaitForWindowExposed(&h));
        QTRY_COMPARE_WITH_TIMEOUT(h.Requests()->Wanted().PaintedFor, 0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(h.StateSTD->text(), QStringLiteral("1080i50"), 5000);
        QTest::qWait(200);
        QCOMPARE(HdmiFrames(FA) + HdmiFrames(FB), 0);

        // DBU: one SetScaleMode(1), then the switcher's state keeps it lit.
        QTest::mouseClick(h.SBtnDBU, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QTRY_COMPARE_WITH_TIMEOUT(FA->Hdmi().ScaleMode, 1, 5000);
        QTest::qWait(300);
        QCOMPARE(HdmiFrames(FA, 4), 1);
        QCOMPARE(HdmiFrames(FA), 1);
        QCOMPARE(h.SBtnDBU->Color(), clr::Lime);
        QCOMPARE(h.SBtnDBFS->Color(), clr::Silver);

        // The switcher turns meter 2 on: the button lights, nothing is sent.
        FA->ClearRequests();
        FA->SetHdmi([](sim::THdmi& x) { x.MeterOn[1] = 1; });
        QTRY_COMPARE_WITH_TIMEOUT(h.SBtnMETER1->Color(), clr::Lime, 5000);
        // Values the controls cannot show, and a lowered maximum.
        FA->SetHdmi([](sim::THdmi& x) {
            x.MeterGroup[0] = 7;
            x.DbfsRef = 25;
            x.SliderMax = 10;
        });
        QTRY_COMPARE_WITH_TIMEOUT(h.StateX0->maximum(), 10, 5000);
        QTest::qWait(300);
        QCOMPARE(HdmiFrames(FA), 0);

        // Switching to B's tab repaints from B and sends nothing anywhere.
        FB->SetHdmi([](sim::THdmi& x) { x.StandardName = "720p60"; });
        FB->ClearRequests();
        const QPoint tabB = h.HdmiTab->tabRect(1).center();
        QTest::mouseClick(h.HdmiTab, Qt::LeftButton, Qt::NoModifier, tabB);
        QTRY_COMPARE_WITH_TIMEOUT(h.StateSTD->text(), QStringLiteral("720p60"), 5000);
        QTest::qWait(300);
        QCOMPARE(HdmiFrames(FA) + HdmiFrames(FB), 0);
        QCOMPARE(h.SBtnMETER1->Color(), clr::Silver); // B's meter 2 is off

        // HDMI off: nothing painted, nothing sent, the window closes.
        Part<QAction>(w, "WindowMenuHdmi")->trigger();
        QVERIFY(!h.isVisible() && !Part<TSpeedButton>(w, "SBtnHdmi")->isEnabled());
        FB->SetHdmi([](sim::THdmi& x) { x.StandardName = "1080p25"; });
        QTest::mouseClick(h.SBtnMETER0, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QTest::qWait(300);
        QCOMPARE(h.StateSTD->text(), QStringLiteral("720p60"));
        QCOMPARE(HdmiFrames(FA) + HdmiFrames(FB), 0);
        StopPolling(w);
    }

    // A temperature alarm on A: red blinking lamp, red tab, STATUS flashing.
    void statusAgainstSwitchers() {
        auto p = Operating();
        QVERIFY(p);
        TMainWindow& w = *p->Main;
        TStatusWindow& s = *p->Status;
        QVERIFY(s.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(s.StatusTEMP->isEnabled(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(s.StatusREF->Text(), QStringLiteral("BLACK BURST"), 5000);
        QCOMPARE(Part<TSpeedButton>(w, "SBtnStatus")->Color(), clr::Silver);
        FA->SetHealth([](sim::THealth& h) { h.Temperature = 0x8190; });
        QTRY_COMPARE_WITH_TIMEOUT(s.StatusTab->TabColor(0), clr::Red, 5000);
        QVERIFY(s.StatusTEMP->Blinking());
        QCOMPARE(s.StatusTEMP->Lamp(), TStatusLamp::Red);
        QCOMPARE(s.StatusTab->TabColor(1), clr::Grey);
        QTRY_COMPARE_WITH_TIMEOUT(Part<TSpeedButton>(w, "SBtnStatus")->Color(), clr::Red, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(Part<TSpeedButton>(w, "SBtnStatus")->Color(), clr::Silver, 3000);
        // A voltage alarm on B with no supply raises nothing.
        FB->SetHealth([](sim::THealth& h) {
            h.Psu1Present = h.Psu2Present = 0;
            h.Voltage |= 0x8000;
        });
        QTest::qWait(1200);
        QCOMPARE(s.StatusTab->TabColor(1), clr::Grey);
        // Status off: the button is disabled and stays silver.
        Part<QAction>(w, "WindowMenuStatus")->trigger();
        QVERIFY(!s.isVisible() && !Part<TSpeedButton>(w, "SBtnStatus")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(Part<TSpeedButton>(w, "SBtnStatus")->Color(), clr::Silver, 3000);
        QTest::qWait(600);
        QCOMPARE(Part<TSpeedButton>(w, "SBtnStatus")->Color(), clr::Silver);
        StopPolling(w);
        QCOMPARE(s.StatusTab->TabColor(0), clr::Grey);
        QVERIFY(!s.StatusTEMP->isEnabled());
    }
};

QTEST_MAIN(TestMonitors)
#include "tst_monitors.moc"
