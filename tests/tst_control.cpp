#include "ColorTabBar.h"
#include "ConsoleKeypad.h"
#include "DigitalPanel.h"
#include "Field.h"
#include "FieldHover.h"
#include "HoverPanel.h"
#include "IndicatorBox.h"
#include "IpText.h"
#include "LevelControl.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "Panel.h"
#include "PanelTest.h"
#include "PollThread.h"
#include "ProgressWindow.h"
#include "SimAddress.h"
#include "Simulator.h"
#include "SpeedButton.h"
#include "StatusWindow.h"
#include "TipForm.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QKeyEvent>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QList<QPoint> Points(const QPolygon& p) {
    return QList<QPoint>(p.begin(), p.end());
}

} // namespace

class TestControl : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    TBoxRecorder FBoxes;
    QStringList FDialogs; // titles of the dialogs opened, each answered Cancel
    QString Ini() const { return FDir.filePath(QStringLiteral("matrixpanel.ini")); }
    QString Set() const { return FDir.filePath(QStringLiteral("matrixpanel.set")); }

    TSpeedButton* Key(TMainWindow& w, const char* name) {
        return w.findChild<TSpeedButton*>(QString::fromLatin1(name));
    }
    // A key pressed where the focus is (else on the window); true when something took it.
    static bool PressKey(TMainWindow& w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget();
        QKeyEvent e(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(focus && focus->window() == &w ? focus : &w, &e);
        return e.isAccepted();
    }
    static void Beat(TMainWindow& w, const char* timer) {
        QVERIFY(QMetaObject::invokeMethod(Part<QTimer>(w, timer), "timeout"));
    }
    // Left clicks on the keypad's keys, as the operator gives them.
    void Press(TMainWindow& w, std::initializer_list<const char*> keys) {
        for (const char* k : keys)
            QTest::mouseClick(Key(w, k), Qt::LeftButton);
    }
    // The digits a keypad read-out shows, hundreds first (-1 blank).
    QList<int> Shown(const QObject& w, const char* readOut) {
        std::array<TDigitalPanel*, 3> d{};
        for (std::size_t p = 0; p < 3; ++p)
            d[p] = Part<TDigitalPanel>(w, (readOut + std::to_string(p)).c_str());
        QList<int> out;
        for (int p = 2; p >= 0; --p) {
            int digit = -1;
            for (int v = 0; v <= 9; ++v)
                if (DigitPattern(v) == [&] {
                        std::array<bool, 8> lit{};
                        for (int i = 1; i <= 7; ++i)
                            lit[static_cast<std::size_t>(i)] =
                                d[static_cast<std::size_t>(p)]->ReadLed(i);
                        return lit;
                    }())
                    digit = v;
            out << digit;
        }
        return out;
    }

private Q_SLOTS:
    void init() {
        FBoxes.Install();
        FDialogs.clear();
        msgbox::SetDialogHandler([this](QDialog& d) {
            FDialogs << d.windowTitle();
            return int(QDialog::Rejected);
        });
        QFile::remove(Ini());
        QFile::remove(Set());
    }

    void segmentGeometry() {
        auto big = DigitSegments(65, 65, 3, 1);
        QCOMPARE(Points(big[1]), (QList<QPoint>{{12, 30}, {3, 21}, {3, 6}, {22, 25}, {22, 21}}));
        QCOMPARE(Points(big[2]), (QList<QPoint>{{6, 3}, {58, 3}, {39, 22}, {25, 22}}));
        QCOMPARE(Points(big[7]),
                 (QList<QPoint>{{14, 32}, {23, 23}, {41, 23}, {50, 32}, {41, 42}, {23, 42}}));
        QCOMPARE(Points(big[3])[0], QPoint(64 - 12, 30)); // mirrored left to right
        QCOMPARE(Points(big[5])[0], QPoint(6, 64 - 3));   // mirrored top to bottom
        auto small = DigitSegments(17, 25, 3, 3);
        QCOMPARE(Points(small[2]), (QList<QPoint>{{4, 3}, {12, 3}, {11, 4}, {5, 4}}));
        // Too small for a stroke: collapsed, but still inside the border.
        auto tiny = DigitSegments(7, 7, 3, 1);
        for (int i = 1; i <= 7; ++i)
            for (const QPoint& p : tiny[static_cast<std::size_t>(i)])
                QVERIFY(p.x() >= 0 && p.x() <= 6);
    }

    void digitRedraws() {
        TDigitalPanel d;
        QList<int> drawn;
        d.OnDrawSegment = [&](int i) { drawn << i; };
        d.ShowDigit(-1);
        QVERIFY(drawn.isEmpty()); // blank on blank draws nothing
        d.ShowDigit(8);
        QCOMPARE(drawn, (QList<int>{1, 2, 3, 7, 6, 5, 4}));
        drawn.clear();
        d.ShowDigit(1);
        QCOMPARE(drawn, (QList<int>{1, 2, 7, 6, 5}));
        QVERIFY(d.ReadLed(3) && d.ReadLed(4) && !d.ReadLed(1));
        QVERIFY(!d.ReadLed(0) && !d.ReadLed(8));
        d.ShowDigit(10);
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Text, QStringLiteral("Invalid value"));
        QCOMPARE(FBoxes[0].Caption, QStringLiteral("Error"));
        QVERIFY(d.ReadLed(3)); // unchanged
        d.WriteScale(0);
        QCOMPARE(FBoxes.size(), 2);
        QCOMPARE(FBoxes[1].Text, QStringLiteral("Invalid scale value"));
        QCOMPARE(d.Scale(), 1);
    }

    void digitOf_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<QList<int>>("digits"); // hundreds, tens, units
        QTest::newRow("7") << 7 << QList<int>{-1, -1, 7};
        QTest::newRow("105") << 105 << QList<int>{1, 0, 5};
        QTest::newRow("10") << 10 << QList<int>{-1, 1, 0};
        QTest::newRow("100") << 100 << QList<int>{1, 0, 0};
        QTest::newRow("256") << 256 << QList<int>{2, 5, 6};
        QTest::newRow("0") << 0 << QList<int>{-1, -1, -1};
        QTest::newRow("negative") << -3 << QList<int>{-1, -1, -1};
    }
    void digitOf() {
        QFETCH(int, n);
        QFETCH(QList<int>, digits);
        QCOMPARE((QList<int>{DigitOf(n, 2), DigitOf(n, 1), DigitOf(n, 0)}), digits);
    }

    // The clients label never cuts its count: a label of 11 characters.
    void clientsCaption_data() {
        QTest::addColumn<int>("clients");
        QTest::addColumn<QString>("caption");
        QTest::newRow("fits") << 655 << "Clients 655";
        QTest::newRow("thousands") << 65535 << "Clients 65k";
        QTest::newRow("just over") << 1000 << "Clients 1k";
        QTest::newRow("too many for k") << 999999 << "Clients";
    }
    void clientsCaption() {
        QFETCH(int, clients);
        QFETCH(QString, caption);
        QCOMPARE(ClientsCaption(clients, [](const QString& t) { return t.size() <= 11; }), caption);
    }

    void tipPlacement() {
        const QRect work(0, 0, 800, 600);
        const QSize tip(120, 80);
        QCOMPARE(TipPosition(QPoint(100, 100), 27, tip, work), QPoint(129, 129));
        // Near the bottom right: above and to the left of the cell.
        QCOMPARE(TipPosition(QPoint(700, 540), 27, tip, work), QPoint(700 - 122, 540 - 82));
        QCOMPARE(TipPosition(QPoint(651, 100), 27, tip, work), QPoint(651 - 122, 129));
    }

    void console() {
        TMainWindow w(Ini());
        Part<TField>(w, "Field")->SetSize(100, 8);
        Part<TField>(w, "Field")->SetLevelCount(2);
        w.Session().SetMode(TMode::OnLine);
        QVERIFY(Key(w, "SBtn1")->isEnabled());
        QCOMPARE(Key(w, "SBtnConsoleOutput")->Color(), clr::Lime);
        Press(w, {"SBtnConsoleInput", "SBtn1", "SBtn2", "SBtn3"});
        QCOMPARE(Part<TConsoleKeypad>(w, "ConsoleKeypad")->Entry().Input(),
                 12); // 123 refused with 100 inputs
        QCOMPARE(Shown(w, "DigitInput"), (QList<int>{-1, 1, 2}));
        QCOMPARE(Key(w, "SBtnConsoleInput")->Color(), clr::Lime);
        Press(w, {"SBtnBS"});
        QCOMPARE(Part<TConsoleKeypad>(w, "ConsoleKeypad")->Entry().Input(), 1);
        Press(w, {"SBtnESC"});
        QCOMPARE(Part<TConsoleKeypad>(w, "ConsoleKeypad")->Entry().Input(), 0);
        QCOMPARE(Shown(w, "DigitInput"), (QList<int>{-1, -1, -1}));

        Press(w, {"SBtnConsoleOutput", "SBtn5"});
        QCOMPARE(Part<TConsoleKeypad>(w, "ConsoleKeypad")->Entry().Output(), 5);
        Press(w, {"SBtnConsoleOutput", "SBtn9"});
        QCOMPARE(Part<TConsoleKeypad>(w, "ConsoleKeypad")->Entry().Output(),
                 0);                                                // refused after the reset
        QCOMPARE(Shown(w, "DigitOutput"), (QList<int>{-1, -1, 5})); // read-outs not redrawn
        QVERIFY(!Key(w, "SBtnConsoleTake")->isEnabled());

        // Console TAKE on output 3 locked on level 1: only level 2 changes.
        Part<TField>(w, "Field")->SetLock(2, 0x00000001);
        Press(w, {"SBtn3", "SBtnConsoleInput", "SBtn4", "SBtn2"});
        QVERIFY(Key(w, "SBtnConsoleTake")->isEnabled());
        Press(w, {"SBtnConsoleTake"});
        QCOMPARE(Part<TField>(w, "Field")->GetStatus(2), (TLevelValues{2, 41, 2, 2}));
        QCOMPARE(Part<TField>(w, "Field")->GetPreset(2), (TLevelValues{2, 41, 2, 2}));
        // The next digit starts a new number.
        Press(w, {"SBtn7"});
        QCOMPARE(Part<TConsoleKeypad>(w, "ConsoleKeypad")->Entry().Input(), 7);

        w.Session().SetMode(TMode::Off);
        QVERIFY(!Key(w, "SBtn1")->isEnabled());
        QCOMPARE(Shown(w, "DigitInput"), (QList<int>{-1, -1, -1}));
        Press(w, {"SBtn2"}); // ignored while not operating
        QCOMPARE(Part<TConsoleKeypad>(w, "ConsoleKeypad")->Entry().Input(), 7);
    }

    void modesAndCaption() {
        TMainWindow w(Ini());
        Part<TField>(w, "Field")->SetSize(16, 16);
        Part<TField>(w, "Field")->SetLevelCount(2);
        w.Session().SetMode(TMode::OnLine);
        w.show();
        const struct {
            const char* button;
            Qt::MouseButton mouse;
            TMode after;
        } clicks[] = {{"SBtnOnLine", Qt::LeftButton, TMode::OnLine},
                      {"SBtnPreset", Qt::RightButton, TMode::OnLine},
                      {"SBtnPreset", Qt::LeftButton, TMode::Preset},
                      {"SBtnPreset", Qt::LeftButton, TMode::Preset},
                      {"SBtnOnLine", Qt::LeftButton, TMode::OnLine}};
        for (const auto& c : clicks) {
            QTest::mouseClick(Key(w, c.button), c.mouse);
            QCOMPARE(w.Session().Mode(), c.after);
        }
        QTest::mouseClick(Key(w, "SBtnZoomIn"), Qt::LeftButton);
        QCOMPARE(Part<TField>(w, "Field")->GetScale(), 4);
        QTest::mouseClick(Key(w, "SBtnZoomOut"), Qt::LeftButton);
        QTest::mouseClick(Key(w, "SBtnZoomOut"), Qt::RightButton);
        QCOMPARE(Part<TField>(w, "Field")->GetScale(), 2);

        // Shift on the caption: cycle rate on and back to the caption.
        auto* captionPanel = Part<TPanel>(w, "PanelFieldCaption");
        const QString caption = captionPanel->Caption();
        QVERIFY(!caption.isEmpty());
        QTest::mouseClick(captionPanel, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
        QVERIFY(w.CycleRateShown());
        w.Session().ShowCycleRate(123.44);
        QCOMPARE(Part<TPanel>(w, "PanelFieldCaption")->Caption(), QStringLiteral("   123.4"));
        QTest::mouseClick(captionPanel, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
        QCOMPARE(Part<TPanel>(w, "PanelFieldCaption")->Caption(), caption);

        // Ctrl: the monitor test, driven tick by tick.
        QTest::mouseClick(captionPanel, Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5));
        QVERIFY(w.MonitorTestRunning() && Part<QTimer>(w, "TimerMon")->isActive());
        QCOMPARE(Part<TPanel>(w, "PanelFieldCaption")->Caption(), QStringLiteral("MONITOR TEST"));
        for (int t = 1; t <= 16; ++t) {
            Beat(w, "TimerMon");
            if (t < 16) {
                QCOMPARE(Part<TPanel>(w, "PanelFieldCaption")->Caption(),
                         QStringLiteral("MONITOR ON %1").arg(t));
                QVERIFY(Part<QTimer>(w, "TimerMon")->isActive());
            }
            QCOMPARE(Part<TField>(w, "Field")->GetMonitor(), (TLevelValues{t - 1, t - 1, 0, 0}));
        }
        QVERIFY(!w.MonitorTestRunning() && !Part<QTimer>(w, "TimerMon")->isActive());
        QCOMPARE(Part<TPanel>(w, "PanelFieldCaption")->Caption(), caption);
    }

    void hoverDisplayAndTip() {
        TMainWindow w(Ini());
        TTip tip;
        w.AttachForms(&tip, nullptr, nullptr);
        Part<TField>(w, "Field")->SetSize(16, 8);
        Part<TField>(w, "Field")->SetInputName(11, QStringLiteral("CAM1"));
        Part<TField>(w, "Field")->SetOutputName(2, QStringLiteral("VTR"));
        w.Session().SetMode(TMode::OnLine);
        auto* hover = Part<TFieldHover>(w, "FieldHover");
        hover->ShowCell(QPoint(10, 10), 11, 2);
        QCOMPARE(Part<TPanel>(w, "PanelInOut")->Caption(),
                 QStringLiteral("IN12 CAM1 --> OUT3 VTR"));
        QCOMPARE(Part<TPanel>(w, "PanelInOut")->Color(), RGBColor(0xEE, 0xEE, 0xEE));
        QCOMPARE(tip.width(), 0);               // hints off
        hover->ShowCell(QPoint(10, 10), -1, 2); // the MON column
        QCOMPARE(Part<TPanel>(w, "PanelInOut")->Caption(), QStringLiteral("OUT3 VTR"));

        w.Settings().FHintsOn = true;
        hover->SetWorkArea(QRect(0, 0, 800, 600));
        const int s = Part<TField>(w, "Field")->Geometry().CellSize;
        hover->ShowCell(QPoint(790, 590), 11, 2);
        QCOMPARE(tip.width(), TipWidth);
        QCOMPARE(tip.pos(), QPoint(790 - TipWidth - 2, 590 - TipHeight - 2));
        QCOMPARE(tip.InNameText, QStringLiteral("CAM1"));
        QCOMPARE(tip.OutNumberText, QStringLiteral("3"));
        hover->ShowCell(QPoint(100, 100), -1, 2);
        QCOMPARE(tip.pos(), QPoint(100 + s + 2, 100 + s + 2));
        QCOMPARE(tip.InNumberText, QString());
        QCOMPARE(tip.InLogo.pixelColor(16, 16),
                 QApplication::palette().color(QPalette::ToolTipBase));
        // Moving over the rest of the window removes the display.
        hover->PointerLeft();
        QCOMPARE(tip.width(), 0);
        QCOMPARE(Part<TPanel>(w, "PanelInOut")->Caption(), QString());
        QCOMPARE(Part<TPanel>(w, "PanelInOut")->Color(), clr::Silver);
    }

    void indicatorsRepaintOnlyOnChange() {
        TMainWindow w(Ini());
        w.show();
        QCoreApplication::processEvents();
        const int before = Part<TIndicatorBox>(w, "ShapeConfig")->PaintCount();
        w.Session().SetConfigIndicator(true, true, 2);
        QTRY_VERIFY(Part<TIndicatorBox>(w, "ShapeConfig")->PaintCount() > before);
        QCOMPARE(Part<TIndicatorBox>(w, "ShapeConfig")->Color(), clr::Lime);
        QCOMPARE(Part<TPanel>(w, "LabelClients")->Caption(), QStringLiteral("Clients 2"));
        QVERIFY(Part<TPanel>(w, "LabelClients")->isVisible());
        QCoreApplication::processEvents();
        const int painted = Part<TIndicatorBox>(w, "ShapeConfig")->PaintCount();
        for (int i = 0; i < 5; ++i)
            w.Session().SetConfigIndicator(true, true, 2);
        QCoreApplication::processEvents();
        QCOMPARE(Part<TIndicatorBox>(w, "ShapeConfig")->PaintCount(), painted);
        w.Session().SetConfigIndicator(true, false, 2);
        QCOMPARE(Part<TIndicatorBox>(w, "ShapeConfig")->Color(), clr::Red);
        w.Session().SetProcIndicator(true);
        QCOMPARE(Part<TIndicatorBox>(w, "ShapeProc")->Color(), clr::Aqua);
        w.Session().SetInitIndicator(false, false);
        QCOMPARE(Part<TIndicatorBox>(w, "ShapeInit")->Color(), clr::White);
        // The indicator is a rounded box: its corner pixel stays outside the fill.
        const QImage img = Part<TIndicatorBox>(w, "ShapeProc")->grab().toImage();
        QCOMPARE(img.pixelColor(8, 4), QColor(0, 255, 255));
    }

    void statusButtonFlashesOnAlarm() {
        TMainWindow w(Ini());
        TStatusWindow status;
        w.AttachForms(nullptr, nullptr, &status);
        status.StatusTab->Rebuild({QStringLiteral("127.0.0.1")});
        w.Settings().StatusEnabled = true;
        status.StatusTab->SetTabColor(0, clr::Red);
        Beat(w, "StatusTimer");
        QCOMPARE(Part<TSpeedButton>(w, "SBtnStatus")->Color(), clr::Red);
        Beat(w, "StatusTimer");
        QCOMPARE(Part<TSpeedButton>(w, "SBtnStatus")->Color(), clr::Silver);
        Beat(w, "StatusTimer");
        QCOMPARE(Part<TSpeedButton>(w, "SBtnStatus")->Color(), clr::Red);
        status.StatusTab->SetTabColor(0, TColorTabBar::NormalTabColor);
        Beat(w, "StatusTimer");
        QCOMPARE(Part<TSpeedButton>(w, "SBtnStatus")->Color(), clr::Silver);
        Beat(w, "StatusTimer");
        QCOMPARE(Part<TSpeedButton>(w, "SBtnStatus")->Color(), clr::Silver);
    }

    void progressWindow() {
        TProgressWindow p;
        QCOMPARE(p.width(), 297 + 16);
        QCOMPARE(p.Gauge->width(), 297);
        p.SetText(QStringLiteral("Wait..."));
        p.show();
        // Neither Esc, nor a close request, nor reject closes it.
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&p, &esc);
        p.close();
        p.reject();
        QVERIFY(p.isVisible());
        p.SetPosition(66);
        const QImage img = p.Gauge->grab().toImage();
        QCOMPARE(img.pixelColor(5, 3), ToQColor(clr::Navy)); // filled part
        QCOMPARE(img.pixelColor(290, 3), QColor(Qt::white)); // empty part
        p.CloseByProgram(QDialog::Accepted);
        QVERIFY(!p.isVisible());
        QCOMPARE(p.result(), int(QDialog::Accepted));
    }

    void hoverPanelDelays() {
        THoverPanel panel;
        panel.resize(200, 100);
        panel.show();
        QTest::qWait(20); // let the platform's own enter and move events pass first
        int hovers = 0, enters = 0;
        QPoint at;
        panel.OnMouseEnter = [&](THoverPanel*) { ++enters; };
        panel.OnMouseHover = [&](THoverPanel*, int x, int y) {
            ++hovers;
            at = QPoint(x, y);
        };
        QEnterEvent enter(QPointF(190, 50), QPointF(190, 50), QPointF(190, 50));
        QCoreApplication::sendEvent(&panel, &enter);
        QCOMPARE(enters, 1);
        panel.RequestHover(30);
        QTRY_COMPARE(hovers, 1);
        QCOMPARE(at, QPoint(190, 50));
        QTest::qWait(80);
        QCOMPARE(hovers, 1); // one notification per request
        panel.RequestHover(30);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&panel, &leave);
        QTest::qWait(80);
        QCOMPARE(hovers, 1); // leaving ends the request
    }

    void frameScrollsTheField() {
        TMainWindow w(Ini());
        w.resize(700, 500);
        w.show();
        QTest::qWait(20); // the first idle pass resets the field to 1 x 1
        Part<TField>(w, "Field")->SetSize(64, 64);
        w.Session().SetMode(TMode::OnLine);
        QTest::qWait(20); // the scroll bars take their range on a later pass
        // Resting near the bottom-right edge scrolls that way, near the top-left back.
        auto* frame = Part<THoverPanel>(w, "PanelFieldBack");
        QTest::mouseMove(frame, QPoint(frame->width() - 2, frame->height() - 2));
        QTRY_VERIFY(Part<TField>(w, "Field")->VisibleCells().Left >= 2 &&
                    Part<TField>(w, "Field")->VisibleCells().Top >= 2);
        QTest::mouseMove(frame, QPoint(1, 1));
        QTRY_VERIFY(Part<TField>(w, "Field")->VisibleCells().Left == 0 &&
                    Part<TField>(w, "Field")->VisibleCells().Top == 0);
    }

    void operateWithoutLevels() {
        TMainWindow w(Ini());
        w.show();
        QTest::mouseClick(Key(w, "SBtnOperate"), Qt::LeftButton);
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Caption, QStringLiteral("Error"));
        QCOMPARE(FBoxes[0].Text, QStringLiteral("None selected Routing Switchers"));
        QCOMPARE(FBoxes[0].Icon, msgbox::TIcon::Error);
        QCOMPARE(w.Session().PollThread(), nullptr);
        QVERIFY(Part<TSpeedButton>(w, "SBtnOperate")->isEnabled());
        // Then Settings opens, so the operator can enter the levels.
        QCOMPARE(FDialogs, QStringList{QStringLiteral("Settings")});
    }

    void operateKeysAndTake() {
        sim::TSimulator simulator;
        sim::TChassisConfig c;
        c.Address = NextSimAddress();
        c.Levels = {1, 2};
        c.Inputs = 16;
        c.Outputs = 64; // more rows than the field shows: the arrow keys can scroll
        sim::TChassis* ch = simulator.AddChassis(c);
        QVERIFY(ch);
        bool ok = false;
        const QByteArray ip = QByteArray::number(ParseIP(c.Address.toString().toStdString(), ok));
        QFile f(Set());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[OPTIONS]\nCOUNT=2\n[LEVEL1]\nADDRESS=1\nIP=" + ip +
                "\n[LEVEL2]\nADDRESS=2\nIP=" + ip + "\n");
        f.close();
        TMainWindow w(Ini());
        w.Session().SizeSettleMs = 0; // the salvo list fills at once
        w.show();
        QCoreApplication::processEvents();
        // W starts operation like OPERATE.
        QVERIFY(PressKey(w, Qt::Key_W));
        QVERIFY(!Part<TSpeedButton>(w, "SBtnOperate")->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(w.Session().Mode(), TMode::OnLine, 5000);
        QVERIFY(Part<TSpeedButton>(w, "SBtnOperate")->isEnabled());

        auto takes = [&](int sub) {
            int n = 0;
            for (const auto& r : ch->Requests())
                n += r.size() > 2 && r[1] == 5 && r[2] == sub;
            return n;
        };
        // Space raises a TAKE in ON LINE mode too.
        QVERIFY(PressKey(w, Qt::Key_Space, Qt::ControlModifier));
        QTRY_COMPARE_WITH_TIMEOUT(takes(10), 1, 5000);
        QVERIFY(FBoxes.isEmpty()); // a key never asks for the lock confirmation

        // Ctrl + click: confirmation; Cancel sends nothing, OK ignores locks.
        // (TAKE is a button of PRESET mode.)
        QVERIFY(PressKey(w, Qt::Key_P));
        FBoxes.Reply = msgbox::TAnswer::Cancel;
        QTest::mouseClick(Key(w, "SBtnTake"), Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Caption, QStringLiteral("Confirm"));
        QCOMPARE(FBoxes[0].Text, QStringLiteral("Press OK if you want to Ignore locks."));
        QCOMPARE(FBoxes[0].Buttons, msgbox::TButtons::OkCancel);
        QVERIFY(!w.Session().PollThread()->Cycle().SalvoRequested());
        FBoxes.Reply = msgbox::TAnswer::Ok;
        QTest::mouseClick(Key(w, "SBtnTake"), Qt::LeftButton, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(takes(11), 1, 5000);
        // Shift + Ctrl is a plain TAKE.
        QTest::mouseClick(Key(w, "SBtnTake"), Qt::LeftButton,
                          Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(takes(10), 2, 5000);
        QCOMPARE(FBoxes.size(), 2);
        QVERIFY(PressKey(w, Qt::Key_O));

        // Page Up at output 0 changes nothing; Page Down moves the controlled levels.
        QTRY_COMPARE(Part<TField>(w, "Field")->GetMonitor()[0], 0);
        QVERIFY(PressKey(w, Qt::Key_PageUp));
        QCOMPARE(Part<TField>(w, "Field")->GetMonitor(), (TLevelValues{0, 0, 0, 0}));
        QTest::mouseClick(Part<QWidget>(w, "ControlToggle1"), Qt::LeftButton);
        QCOMPARE(Part<TLevelControl>(w, "LevelControl")->GetControl() & 0xFFFFu, 0x0100u);
        QVERIFY(PressKey(w, Qt::Key_PageDown));
        QCOMPARE(Part<TField>(w, "Field")->GetMonitor(), (TLevelValues{0, 1, 0, 0}));
        QTRY_COMPARE_WITH_TIMEOUT(ch->Monitor(2), 1, 5000);

        // A key that travels from a child to its parents zooms once.
        {
            const int scale = Part<TField>(w, "Field")->GetScale();
            QKeyEvent plus(QEvent::KeyPress, Qt::Key_Plus, Qt::KeypadModifier, QStringLiteral("+"));
            QApplication::sendEvent(Part<QListWidget>(w, "LBoxMemory")->viewport(), &plus);
            QCOMPARE(Part<TField>(w, "Field")->GetScale(), scale + 1);
            QTest::mouseClick(Key(w, "SBtnZoomOut"), Qt::LeftButton);
        }
        // Keys that are not consumed, and mode keys.
        QVERIFY(!PressKey(w, Qt::Key_Left));
        QVERIFY(!PressKey(w, Qt::Key_Plus, Qt::KeypadModifier));
        QCOMPARE(Part<TField>(w, "Field")->GetScale(), 4);
        QVERIFY(PressKey(w, Qt::Key_P));
        QCOMPARE(w.Session().Mode(), TMode::Preset);
        // In PRESET an arrow key goes to the focused salvo list once: the list
        // moves, the field does not scroll.
        {
            auto* field = Part<TField>(w, "Field");
            for (int z = field->GetScale(); z < 6; ++z)
                QTest::mouseClick(Key(w, "SBtnZoomIn"), Qt::LeftButton);
            QTRY_VERIFY(field->VisibleCells().Bottom < 63); // the field can scroll
            auto* list = Part<QListWidget>(w, "LBoxMemory");
            QTRY_VERIFY_WITH_TIMEOUT(list->count() >= 3, 5000); // the default salvos
            QApplication::setActiveWindow(&w);
            QVERIFY(QTest::qWaitForWindowActive(&w));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                              list->visualItemRect(list->item(0)).center());
            QTRY_VERIFY(list->hasFocus());
            const int top = field->VisibleCells().Top;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            QCOMPARE(list->currentRow(), 2);
            QCOMPARE(field->VisibleCells().Top, top);
            // Where the focus leaves the arrows free, they scroll the field.
            Part<TSpeedButton>(w, "SBtnTake")->setFocus();
            QTest::keyClick(&w, Qt::Key_Down);
            QCOMPARE(field->VisibleCells().Top, top + 1);
        }
        QVERIFY(PressKey(w, Qt::Key_O));
        QCOMPARE(w.Session().Mode(), TMode::OnLine);
        QVERIFY(PressKey(w, Qt::Key_M));
        QVERIFY(w.Settings().FPreviewMode);
        QVERIFY(!Part<TField>(w, "Field")->isVisible());
        QVERIFY(!PressKey(w, Qt::Key_PageUp)); // field keys off in preview
        QVERIFY(PressKey(w, Qt::Key_M));

        // OPERATE again stops; the poll engine's end returns to mode 0.
        QTest::mouseClick(Key(w, "SBtnOperate"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.Session().PollThread() == nullptr, 5000);
        QCOMPARE(w.Session().Mode(), TMode::Off);
        QVERIFY(FBoxes.size() == 2);
        QVERIFY(PressKey(w, Qt::Key_S));
        QCOMPARE(FDialogs, QStringList{QStringLiteral("Settings")});
        QVERIFY(!PressKey(w, Qt::Key_Space));
    }
};

QTEST_MAIN(TestControl)
#include "tst_control.moc"
