// The operator's window driven with real events through the application:
// mouse moves, clicks and keys reach the widget under the pointer or the
// focused one, as they do on a desk, against a simulated switcher.
#include "Field.h"
#include "HoverPanel.h"
#include "IpText.h"
#include "LevelControl.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "PanelTest.h"
#include "ParamsWindow.h"
#include "PollThread.h"
#include "PreviewField.h"
#include "SimAddress.h"
#include "SimChassis.h"
#include "Simulator.h"
#include "SpeedButton.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestOperator : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    TBoxRecorder FBoxes;
    std::unique_ptr<sim::TSimulator> FSim;
    sim::TChassis* FChassis = nullptr;
    QString Ini() const { return FDir.filePath(QStringLiteral("matrixpanel.ini")); }

    // A shown, operating window on one chassis with two levels of 64 x 64.
    std::unique_ptr<TMainWindow> Operating(const QByteArray& ini = {}) {
        FSim = std::make_unique<sim::TSimulator>();
        sim::TChassisConfig c;
        c.Address = NextSimAddress();
        c.Levels = {1, 2};
        c.Inputs = c.Outputs = 64;
        FChassis = FSim->AddChassis(c);
        if (!FChassis)
            return nullptr;
        bool ok = false;
        const QByteArray ip = QByteArray::number(ParseIP(c.Address.toString().toStdString(), ok));
        QFile set(FDir.filePath(QStringLiteral("matrixpanel.set")));
        if (!set.open(QIODevice::WriteOnly))
            return nullptr;
        set.write("[OPTIONS]\nCOUNT=2\n[LEVEL1]\nADDRESS=1\nIP=" + ip +
                  "\n[LEVEL2]\nADDRESS=2\nIP=" + ip + "\n");
        set.close();
        QFile f(Ini());
        if (!f.open(QIODevice::WriteOnly))
            return nullptr;
        f.write("[WINDOW]\nLEFT=0\nTOP=0\nWIDTH=760\nHEIGHT=720\nZOOM=3\n" + ini);
        f.close();
        auto w = std::make_unique<TMainWindow>(Ini());
        w->Session().SizeSettleMs = 0; // salvo folders at once
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            return nullptr;
        QApplication::setActiveWindow(w.get());
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnOperate"), Qt::LeftButton);
        // The mode stays set once the first cycle has run.
        if (!QTest::qWaitFor(
                [&] {
                    return w->Session().Mode() != TMode::Off &&
                           Part<TField>(*w, "Field")->GetInputCount() == 64;
                },
                5000))
            return nullptr;
        return w;
    }

    QWidget* Grid(TMainWindow& w) { return Part<TField>(w, "Field")->Surface(TFieldPane::Grid); }
    QPoint CellCentre(TMainWindow& w, int col, int row) {
        const int s = Part<TField>(w, "Field")->Geometry().CellSize;
        return {col * s + s / 2, row * s + s / 2};
    }
    // Pixels of one colour in a grid cell as shown (red: the mark of a
    // preset a TAKE holds).
    int Pixels(TMainWindow& w, int col, int row, const QColor& colour = Qt::red) {
        const int s = Part<TField>(w, "Field")->Geometry().CellSize;
        const QImage cell = Grid(w)->grab(QRect(col * s, row * s, s, s)).toImage();
        int n = 0;
        for (int y = 0; y < cell.height(); ++y)
            for (int x = 0; x < cell.width(); ++x)
                n += cell.pixelColor(x, y) == colour;
        return n;
    }
    // Opens the WINDOW menu with a right click on its caption, as an operator does.
    QMenu* OpenWindowMenu(TMainWindow& w) {
        auto* menu = Part<QMenu>(w, "WindowMenu");
        QTest::mouseClick(w.windowHandle(), Qt::RightButton, {},
                          Part<TPanel>(w, "PanelWindowCaption")->mapTo(&w, QPoint(5, 5)));
        return QTest::qWaitFor([&] { return menu->isVisible(); }, 5000) ? menu : nullptr;
    }
    void PressUndo(TMainWindow& w) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &w;
        QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
    }

private Q_SLOTS:
    void init() { FBoxes.Install(); }
    void cleanup() {
        TBoxRecorder::Uninstall();
        FSim.reset();
        FChassis = nullptr;
    }

    // A click on a cell in ON LINE mode routes that input to that output.
    void clickRoutesOnLine() {
        auto w = Operating();
        QVERIFY(w);
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 11, 2));
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(1, 2), 11, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(2, 2), 11, 5000);
        StopPolling(*w);
    }

    // One arrow press scrolls exactly one cell, also once a cell took a click
    // (the focused scroll area once added its own step).
    void arrowKeysScrollOneCell() {
        auto w = Operating();
        QVERIFY(w);
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 3, 3));
        auto* area =
            qobject_cast<QScrollArea*>(Part<TField>(*w, "Field")->Viewport(TFieldPane::Grid));
        QVERIFY(area);
        const int s = Part<TField>(*w, "Field")->Geometry().CellSize;
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
        QTest::keyClick(target, Qt::Key_Right);
        QTest::keyClick(target, Qt::Key_Down);
        QCOMPARE(area->horizontalScrollBar()->value(), s);
        QCOMPARE(area->verticalScrollBar()->value(), s);
        QCOMPARE(Part<TField>(*w, "Field")->VisibleCells().Left, 1);
        QCOMPARE(Part<TField>(*w, "Field")->VisibleCells().Top, 1);
        target = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
        QTest::keyClick(target, Qt::Key_Left);
        QCOMPARE(area->horizontalScrollBar()->value(), 0);
        StopPolling(*w);
    }

    // The pointer on a cell names both ends above the field; moving on over
    // the controls takes the line away.
    void hoverLineFollowsThePointer() {
        auto w = Operating("[INPUTS]\nNAME3=CAM4\n");
        QVERIFY(w);
        auto* line = Part<TPanel>(*w, "PanelInOut");
        QTest::mouseMove(Grid(*w), CellCentre(*w, 3, 1));
        QTRY_COMPARE(line->Caption(), QStringLiteral("IN4 CAM4 --> OUT2"));
        QTest::mouseMove(Part<TSpeedButton>(*w, "SBtnTake"), QPoint(3, 3));
        QTRY_COMPARE(line->Caption(), QString());
        StopPolling(*w);
    }

    // The frame scrolls the field only while the pointer rests on the frame
    // itself: once it moved on into the grid, nothing scrolls.
    void frameStopsScrollingWhenPointerEntersGrid() {
        auto w = Operating();
        QVERIFY(w);
        THoverPanel* frame = Part<THoverPanel>(*w, "PanelFieldBack");
        const QPoint onBorder(frame->width() - 2, frame->height() / 2);
        QTest::mouseMove(frame, onBorder);
        QTest::mouseMove(frame, onBorder + QPoint(0, 1));
        // The frame's own hover does scroll while the pointer stays on it.
        QTRY_VERIFY_WITH_TIMEOUT(Part<TField>(*w, "Field")->VisibleCells().Left > 0, 3000);
        // Back to the start, then into the grid, and rest there.
        QTest::mouseMove(Grid(*w), CellCentre(*w, 2, 2));
        Part<TField>(*w, "Field")->ScrollColumns(-100);
        const auto before = Part<TField>(*w, "Field")->VisibleCells();
        QTest::qWait(1500);
        QCOMPARE(Part<TField>(*w, "Field")->VisibleCells().Left, before.Left);
        QCOMPARE(Part<TField>(*w, "Field")->VisibleCells().Top, before.Top);
        StopPolling(*w);
    }

    // A salvo recalled with a double-click in PRESET mode goes to the switcher
    // only with TAKE.
    void recallAndTakeASalvo() {
        auto w = Operating("LASTSTATE=2\n");
        QVERIFY(w);
        QTRY_COMPARE_WITH_TIMEOUT(w->Session().Mode(), TMode::Preset, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(Part<QListWidget>(*w, "LBoxMemory")->count() > 0, 5000);
        const auto found = Part<QListWidget>(*w, "LBoxMemory")
                               ->findItems(QStringLiteral("007-ALL"), Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        Part<QListWidget>(*w, "LBoxMemory")->scrollToItem(found.first());
        const QPoint at =
            Part<QListWidget>(*w, "LBoxMemory")->visualItemRect(found.first()).center();
        QTest::mouseClick(Part<QListWidget>(*w, "LBoxMemory")->viewport(), Qt::LeftButton,
                          Qt::NoModifier, at);
        QTest::mouseDClick(Part<QListWidget>(*w, "LBoxMemory")->viewport(), Qt::LeftButton,
                           Qt::NoModifier, at);
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(40)[1], 6);
        QTest::qWait(100);
        QCOMPARE(FChassis->Crosspoint(2, 40), 40); // nothing sent before TAKE
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnTake"), Qt::LeftButton, Qt::NoModifier,
                          QPoint(5, 5));
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(2, 40), 6, 5000);
        QCOMPARE(FChassis->Crosspoint(1, 63), 6);
        StopPolling(*w);
    }

    // Ctrl + TAKE asks before ignoring locks; should polling end while the box
    // is open (a switcher going silent), the TAKE is dropped quietly.
    void takeConfirmationOutlivedByPolling() {
        auto w = Operating("LASTSTATE=2\n");
        QVERIFY(w);
        QTRY_COMPARE_WITH_TIMEOUT(w->Session().Mode(), TMode::Preset, 5000);
        bool ended = false;
        FBoxes.Answer = [&](const msgbox::TBox&) -> msgbox::TAnswer {
            w->Session().PollThread()->Terminate();
            // The box's own event loop serves the end of polling.
            ended = QTest::qWaitFor([&] { return w->Session().PollThread() == nullptr; }, 5000);
            return msgbox::TAnswer::Ok;
        };
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnTake"), Qt::LeftButton, Qt::ControlModifier,
                          QPoint(5, 5));
        QVERIFY(ended);
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Text, QStringLiteral("Press OK if you want to Ignore locks."));
        QCOMPARE(w->Session().Mode(), TMode::Off);
        QCOMPARE(w->Session().PollThread(), nullptr);
    }
    // The DISPLAY toggles, pressed with the mouse: VISIBLE hides a level in the
    // field and the preview, CONTROL changes which levels a click switches,
    // MODE shows the preview with the switcher's routes; the toggles are kept.
    void selectorDrivesFieldAndPreview() {
        {
            auto w = Operating();
            QVERIFY(w);
            QWidget* visible2 = Part<TLevelControl>(*w, "LevelControl")->VisibleToggle(2);
            QWidget* control1 = Part<TLevelControl>(*w, "LevelControl")->ControlToggle(1);
            QVERIFY(visible2 && control1 && visible2->isVisible());
            QTest::mouseClick(visible2, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
            QCOMPARE(Part<TField>(*w, "Field")->State().Visible() & 0x0000FF00u, 0u);
            QCOMPARE(Part<TPreviewField>(*w, "PreviewField")->Cells().Levels, 1);
            QTest::mouseClick(control1, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
            QCOMPARE(Part<TField>(*w, "Field")->GetControl(), 0x01010100u);

            // A click now routes level 2 only.
            QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 9, 4));
            QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(2, 4), 9, 5000);
            QCOMPARE(FChassis->Crosspoint(1, 4), 4);

            // MODE: the preview replaces the field and shows the reported routes.
            FChassis->ExternalRoute(1, 5, 20);
            QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnPreview"), Qt::LeftButton, Qt::NoModifier,
                              QPoint(5, 5));
            QVERIFY(Part<TPreviewField>(*w, "PreviewField")->isVisible() &&
                    !Part<TField>(*w, "Field")->isVisible());
            QVERIFY(!Part<TPanel>(*w, "PanelControlBack")->isVisible() &&
                    !Part<TPanel>(*w, "PanelMemoryBack")->isVisible());
            QCOMPARE(Part<TPreviewField>(*w, "PreviewField")->geometry(),
                     Part<TField>(*w, "Field")->geometry());
            QTRY_COMPARE_WITH_TIMEOUT(Part<TPreviewField>(*w, "PreviewField")->GetStatus(5)[0], 20,
                                      5000);
            QTRY_COMPARE_WITH_TIMEOUT(Part<TPreviewField>(*w, "PreviewField")->GetStatus(4)[1], 9,
                                      5000);
            const TTileContent tile = Part<TPreviewField>(*w, "PreviewField")->Content(4);
            QCOMPARE(int(tile.Bands.size()), 1); // level 2 is hidden
            QCOMPARE(tile.Bands[0].Number, QStringLiteral("5"));
            StopPolling(*w);
            QVERIFY(!Part<TPreviewField>(*w, "PreviewField")->isVisible());
            w->close();
            QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
        }
        QFile f(Ini());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.contains("VISIBLE2=0") && text.contains("CONTROL1=0"));
        QVERIFY(text.contains("VISIBLE1=1") && text.contains("CONTROL2=1"));
        TMainWindow again(Ini());
        QCOMPARE(Part<TLevelControl>(again, "LevelControl")->GetVisible(), 0x01010001u);
        QCOMPARE(Part<TLevelControl>(again, "LevelControl")->GetControl(), 0x01010100u);
        QCOMPARE(Part<TPreviewField>(again, "PreviewField")->Params().Visible[1], false);
    }

    // A double-click on an input's name opens "Input 1"; OK with CLEAR and a
    // name typed between blanks renames it in both views and in the file.
    void nameDoubleClickEditsParams() {
        const QString bmp = FDir.filePath(QStringLiteral("cam.bmp"));
        QImage logo(8, 8, QImage::Format_RGB32);
        logo.fill(Qt::blue);
        QVERIFY(logo.save(bmp, "BMP"));
        auto w = Operating("[INPUTS]\nLOGO0=" + bmp.toUtf8() + "\nNAME0=Old\nNAME1=Keep\n");
        QVERIFY(w);
        QString caption;
        bool clearWasEnabled = false;
        msgbox::SetDialogHandler([&](QDialog& d) {
            auto* params = qobject_cast<TParamsWindow*>(&d);
            if (!params)
                return int(QDialog::Rejected);
            caption = d.windowTitle();
            d.show();
            if (!QTest::qWaitForWindowExposed(&d))
                return int(QDialog::Rejected);
            QApplication::setActiveWindow(&d);
            clearWasEnabled = params->SBtnClear->isEnabled();
            QTest::mouseClick(params->SBtnClear, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
            params->EditName->selectAll();
            QTest::keyClicks(params->EditName, QStringLiteral("  Camera 3  "));
            QTest::keyClick(params->EditName, Qt::Key_Return);
            return d.result();
        });
        QWidget* names = Part<TField>(*w, "Field")->Surface(TFieldPane::InputName);
        const int s = Part<TField>(*w, "Field")->Geometry().CellSize;
        const QPoint at(s / 2, s / 2);
        QTest::mouseMove(names, at);
        QTest::mouseDClick(names, Qt::LeftButton, Qt::NoModifier, at);
        msgbox::SetDialogHandler({});
        QCOMPARE(caption, QStringLiteral("Input 1"));
        QVERIFY(clearWasEnabled);
        QCOMPARE(Part<TField>(*w, "Field")->GetInputName(0), QStringLiteral("Camera 3"));
        QCOMPARE(Part<TPreviewField>(*w, "PreviewField")->GetInputName(0),
                 QStringLiteral("Camera 3"));
        QCOMPARE(Part<TField>(*w, "Field")->GetInputLogo(0), QString());
        QFile f(Ini());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.contains("NAME0=Camera 3\n"));
        QVERIFY(text.contains("LOGO0=\n"));
        QVERIFY(text.contains("NAME1=Keep\n") && text.contains("ZOOM=3"));
        QVERIFY(FBoxes.isEmpty());
        StopPolling(*w);
    }

    // The operator's double-click on an output's name, which opens its parameters.
    static void DoubleClickOutputName(TMainWindow& w, int row) {
        QWidget* names = Part<TField>(w, "Field")->Surface(TFieldPane::OutputName);
        const int s = Part<TField>(w, "Field")->Geometry().CellSize;
        const QPoint at(s / 2, row * s + s / 2);
        QTest::mouseMove(names, at);
        QTest::mouseDClick(names, Qt::LeftButton, Qt::NoModifier, at);
    }

    // Polling ends while the dialog is open: it closes as cancelled and
    // nothing is stored, even if the dialog claims OK.
    void pollingEndsWhileParamsOpen() {
        auto w = Operating("[OUTPUTS]\nNAME2=Old\n");
        QVERIFY(w);
        bool ended = false, closed = false;
        msgbox::SetDialogHandler([&](QDialog& d) {
            auto* params = qobject_cast<TParamsWindow*>(&d);
            d.show();
            params->EditName->setText(QStringLiteral("New"));
            w->Session().PollThread()->Terminate();
            ended = QTest::qWaitFor([&] { return w->Session().PollThread() == nullptr; }, 5000);
            closed = !d.isVisible() && d.result() == QDialog::Rejected;
            return int(QDialog::Accepted);
        });
        DoubleClickOutputName(*w, 2);
        msgbox::SetDialogHandler({});
        QVERIFY(ended && closed);
        QCOMPARE(Part<TField>(*w, "Field")->GetOutputName(2), QStringLiteral("Old"));
        QCOMPARE(Part<TPreviewField>(*w, "PreviewField")->GetOutputName(2), QStringLiteral("Old"));
        QFile f(Ini());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("NAME2=Old\n"));
    }

    // A file that cannot be written is reported to the operator.
    void paramsSaveFailureReported() {
        auto w = Operating();
        QVERIFY(w);
        QVERIFY(QFile::setPermissions(Ini(), QFile::ReadOwner | QFile::ReadGroup));
        msgbox::SetDialogHandler([&](QDialog& d) {
            qobject_cast<TParamsWindow*>(&d)->EditName->setText(QStringLiteral("Mon 1"));
            return int(QDialog::Accepted);
        });
        DoubleClickOutputName(*w, 0);
        msgbox::SetDialogHandler({});
        QFile::setPermissions(Ini(), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(Part<TField>(*w, "Field")->GetOutputName(0), QStringLiteral("Mon 1"));
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Caption, QStringLiteral("Error:"));
        QCOMPARE(FBoxes[0].Icon, msgbox::TIcon::Error);
        QVERIFY(FBoxes[0].Text.contains(Ini()));
        StopPolling(*w);
    }
    // Three cross-points routed ON LINE and one TAKE leave four lines naming them.
    void operatorLogNamesEachAction() {
        auto w = Operating(
            "[INPUTS]\nNAME11=Cam 12\nNAME9=Cam 10\n[OUTPUTS]\nNAME2=Mon 3\nNAME7=VTR 1\n");
        QVERIFY(w);
        QFile::remove(FDir.filePath(QStringLiteral("matrixpanel-operations.log")));
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 11, 2));
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 5, 3));
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 6, 4));
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier,
                          CellCentre(*w, 6, 4)); // no change
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnPreset"), Qt::LeftButton, Qt::NoModifier,
                          QPoint(5, 5));
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 9, 7));
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnTake"), Qt::LeftButton, Qt::NoModifier,
                          QPoint(5, 5));
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(1, 7), 9, 5000);
        QFile f(FDir.filePath(QStringLiteral("matrixpanel-operations.log")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = f.readAll().split('\n');
        QCOMPARE(lines.size(), 5); // four lines and the empty rest
        const QByteArray ip = FChassis->Config().Address.toString().toLatin1();
        QVERIFY(lines[0].contains("  ON LINE  out 3 \"Mon 3\" <- L1 LEVEL1 " + ip +
                                  " level 1: in 12 \"Cam 12\"; L2 LEVEL2 " + ip +
                                  " level 2: in 12 \"Cam 12\""));
        QVERIFY(lines[1].contains("ON LINE  out 4 <- L1"));
        QVERIFY(lines[2].contains("ON LINE  out 5 <- L1"));
        // TAKE names output and input as ON LINE does.
        QVERIFY(lines[3].contains("  TAKE  L1 LEVEL1 " + ip +
                                  " level 1: out 8 \"VTR 1\" <- in 10 \"Cam 10\""));
        QVERIFY(QRegularExpression(
                    QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  "))
                    .match(QString::fromLatin1(lines[0]))
                    .hasMatch());
        StopPolling(*w);
    }
    // A preset the TAKE would leave out is outlined in red on the field; the
    // Ctrl+TAKE confirmation counts what even ignoring locks leaves out.
    void heldPresetsMarkedAndCounted() {
        auto w = Operating();
        QVERIFY(w);
        FChassis->ExternalToggleLock(1, 5);
        QTRY_VERIFY_WITH_TIMEOUT(w->Session().CrossPoints().State().Locked(5, 1), 5000);
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnPreset"), Qt::LeftButton);
        QCOMPARE(w->Session().Mode(), TMode::Preset);
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 9, 5));
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 9, 6));
        QTRY_VERIFY(Pixels(*w, 9, 5) > 0);
        QCOMPARE(Pixels(*w, 9, 6), 0);

        Part<TField>(*w, "Field")->SetControl(PackedFlag(1)); // level 2 out of CONTROL
        QTRY_VERIFY(Pixels(*w, 9, 6) > 0);
        FBoxes.Reply = msgbox::TAnswer::Cancel;
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnTake"), Qt::LeftButton, Qt::ControlModifier);
        QCOMPARE(FBoxes.size(), 1);
        QVERIFY2(
            FBoxes[0].Text.startsWith(QStringLiteral("Press OK if you want to Ignore locks.")) &&
                FBoxes[0].Text.contains(QStringLiteral("2 preset cross-points will not be taken.")),
            qPrintable(FBoxes[0].Text));
        StopPolling(*w);
    }

    // Ctrl+Z and the WINDOW menu step back from the last click; once the
    // switcher reports another change there, there is nothing to step back.
    void undoStepsBackOneClick() {
        auto w = Operating();
        QVERIFY(w);
        auto* undo = Part<QAction>(*w, "WindowMenuUndo");
        const int before = FChassis->Crosspoint(1, 2);
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 11, 2));
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(1, 2), 11, 5000);
        QMenu* menu = OpenWindowMenu(*w);
        QVERIFY(menu && undo->isEnabled());
        QVERIFY(undo->text().startsWith(QStringLiteral("Undo ON LINE")));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(undo).center());
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(1, 2), before, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(2, 2), before, 5000);
        menu = OpenWindowMenu(*w);
        QVERIFY(menu && !undo->isEnabled());
        menu->hide();

        const int before3 = FChassis->Crosspoint(2, 3);
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 12, 3));
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(2, 3), 12, 5000);
        PressUndo(*w);
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(2, 3), before3, 5000);

        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 13, 4));
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(2, 4), 13, 5000);
        FChassis->ExternalRoute(1, 4, 20);
        QTRY_COMPARE_WITH_TIMEOUT(w->Session().CrossPoints().State().Status(4, 1), 20, 5000);
        menu = OpenWindowMenu(*w);
        QVERIFY(menu && !undo->isEnabled());
        menu->hide();
        PressUndo(*w);
        QTest::qWait(100);
        QCOMPARE(FChassis->Crosspoint(2, 4), 13);
        StopPolling(*w);
        QVERIFY(FBoxes.isEmpty());
    }

    // AUTORESUME=1: the chassis going away shows in the COMMUNICATION section
    // without a box, the field greys its marks, and operation resumes by
    // itself when it is back.
    void resumesWithoutABox() {
        auto w = Operating("AUTORESUME=1\n");
        QVERIFY(w);
        auto* label = Part<TPanel>(*w, "LabelClients");
        const int greyBefore = Pixels(*w, 0, 0, QColor(0x80, 0x80, 0x80));
        FChassis->SetRefusing(true);
        FChassis->AddFault({0, sim::TFault::CloseMidReply});
        QTRY_COMPARE_WITH_TIMEOUT(label->Caption(), QStringLiteral("LINK LOST"), 10000);
        QVERIFY(label->isVisible() && !label->toolTip().isEmpty());
        QVERIFY(w->Session().Polling() && w->Session().Mode() == TMode::OnLine);
        const int s = Part<TField>(*w, "Field")->Geometry().CellSize;
        QTRY_VERIFY(Pixels(*w, 0, 0, QColor(0x80, 0x80, 0x80)) > greyBefore + s);
        QCOMPARE(Part<TPreviewField>(*w, "PreviewField")->Content(0).Bands.at(0).Back,
                 RGBColor(0x80, 0x80, 0x80));
        FChassis->ClearFaults();
        FChassis->SetRefusing(false);
        QTRY_VERIFY_WITH_TIMEOUT(label->Caption().startsWith(QStringLiteral("Clients")), 10000);
        QCOMPARE(w->Session().Mode(), TMode::OnLine);
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 7, 1));
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(1, 1), 7, 5000);
        // Stopping while it retries shows no box either: the loss was shown.
        FChassis->SetRefusing(true);
        FChassis->AddFault({0, sim::TFault::CloseMidReply});
        QTRY_COMPARE_WITH_TIMEOUT(label->Caption(), QStringLiteral("LINK LOST"), 10000);
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnOperate"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w->Session().Polling(), 5000);
        QVERIFY(label->isHidden());
        QVERIFY(FBoxes.isEmpty());
    }
};

QTEST_MAIN(TestOperator)
#include "tst_operator.moc"
