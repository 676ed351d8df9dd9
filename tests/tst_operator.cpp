// The operator's window driven with real events through the application:
// mouse moves, clicks and keys reach the widget under the pointer or the
// focused one, as they do on a desk, against a simulated switcher.
#include "FieldUnit.h"
#include "HoverPanel.h"
#include "MainUnit.h"
#include "MessageBox.h"
#include "PollThreadUnit.h"
#include "SimAddress.h"
#include "Simulator.h"
#include "SpeedButton.h"
#include "UnitProcIP.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestOperator : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    QList<msgbox::TBox> FBoxes;
    std::function<msgbox::TAnswer(const msgbox::TBox&)> FOnBox;
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
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            return nullptr;
        QApplication::setActiveWindow(w.get());
        QTest::mouseClick(w->SBtnOperate, Qt::LeftButton);
        // The mode stays set once the first cycle has run.
        if (!QTest::qWaitFor([&] { return w->FMode != 0 && w->Field->GetInputCount() == 64; },
                             5000))
            return nullptr;
        return w;
    }

    QWidget* Grid(TMainWindow& w) { return w.Field->Surface(TFieldPane::Grid); }
    QPoint CellCentre(TMainWindow& w, int col, int row) {
        const int s = w.Field->Geometry().s;
        return {col * s + s / 2, row * s + s / 2};
    }
    void Stop(TMainWindow& w) {
        if (!w.PollThread)
            return;
        w.PollThread->Terminate();
        QTRY_VERIFY_WITH_TIMEOUT(w.PollThread == nullptr, 5000);
    }

private Q_SLOTS:
    void init() {
        FBoxes.clear();
        FOnBox = nullptr;
        msgbox::SetHandler([this](const msgbox::TBox& b) {
            FBoxes << b;
            return FOnBox ? FOnBox(b) : msgbox::TAnswer::Ok;
        });
    }
    void cleanup() {
        msgbox::SetHandler({});
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
        Stop(*w);
    }

    // One arrow press scrolls exactly one cell, also once a cell took a click
    // (the focused scroll area once added its own step).
    void arrowKeysScrollOneCell() {
        auto w = Operating();
        QVERIFY(w);
        QTest::mouseClick(Grid(*w), Qt::LeftButton, Qt::NoModifier, CellCentre(*w, 3, 3));
        auto* area = qobject_cast<QScrollArea*>(w->Field->Viewport(TFieldPane::Grid));
        QVERIFY(area);
        const int s = w->Field->Geometry().s;
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
        QTest::keyClick(target, Qt::Key_Right);
        QTest::keyClick(target, Qt::Key_Down);
        QCOMPARE(area->horizontalScrollBar()->value(), s);
        QCOMPARE(area->verticalScrollBar()->value(), s);
        QCOMPARE(w->Field->VisibleCells().Left, 1);
        QCOMPARE(w->Field->VisibleCells().Top, 1);
        target = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
        QTest::keyClick(target, Qt::Key_Left);
        QCOMPARE(area->horizontalScrollBar()->value(), 0);
        Stop(*w);
    }

    // The frame scrolls the field only while the pointer rests on the frame
    // itself: once it moved on into the grid, nothing scrolls.
    void frameStopsScrollingWhenPointerEntersGrid() {
        auto w = Operating();
        QVERIFY(w);
        THoverPanel* frame = w->PanelFieldBack;
        const QPoint onBorder(frame->width() - 2, frame->height() / 2);
        QTest::mouseMove(frame, onBorder);
        QTest::mouseMove(frame, onBorder + QPoint(0, 1));
        // The frame's own hover does scroll while the pointer stays on it.
        QTRY_VERIFY_WITH_TIMEOUT(w->Field->VisibleCells().Left > 0, 3000);
        // Back to the start, then into the grid, and rest there.
        QTest::mouseMove(Grid(*w), CellCentre(*w, 2, 2));
        w->Field->ScrollColumns(-100);
        const auto before = w->Field->VisibleCells();
        QTest::qWait(1500);
        QCOMPARE(w->Field->VisibleCells().Left, before.Left);
        QCOMPARE(w->Field->VisibleCells().Top, before.Top);
        Stop(*w);
    }

    // A salvo recalled with a double-click in PRESET mode goes to the switcher
    // only with TAKE.
    void recallAndTakeASalvo() {
        auto w = Operating("LASTSTATE=2\n");
        QVERIFY(w);
        QTRY_COMPARE_WITH_TIMEOUT(w->FMode, 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(w->LBoxMemory->count() > 0, 5000);
        const auto found = w->LBoxMemory->findItems(QStringLiteral("007-ALL"), Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        w->LBoxMemory->scrollToItem(found.first());
        const QPoint at = w->LBoxMemory->visualItemRect(found.first()).center();
        QTest::mouseClick(w->LBoxMemory->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(w->LBoxMemory->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(w->Field->GetPreset(40)[1], 6);
        QTest::qWait(100);
        QCOMPARE(FChassis->Crosspoint(2, 40), 40); // nothing sent before TAKE
        QTest::mouseClick(w->SBtnTake, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QTRY_COMPARE_WITH_TIMEOUT(FChassis->Crosspoint(2, 40), 6, 5000);
        QCOMPARE(FChassis->Crosspoint(1, 63), 6);
        Stop(*w);
    }

    // Ctrl + TAKE asks before ignoring locks; should polling end while the box
    // is open (a switcher going silent), the TAKE is dropped quietly.
    void takeConfirmationOutlivedByPolling() {
        auto w = Operating("LASTSTATE=2\n");
        QVERIFY(w);
        QTRY_COMPARE_WITH_TIMEOUT(w->FMode, 2, 5000);
        bool ended = false;
        FOnBox = [&](const msgbox::TBox&) -> msgbox::TAnswer {
            w->PollThread->Terminate();
            // The box's own event loop serves the end of polling.
            ended = QTest::qWaitFor([&] { return w->PollThread == nullptr; }, 5000);
            return msgbox::TAnswer::Ok;
        };
        QTest::mouseClick(w->SBtnTake, Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5));
        QVERIFY(ended);
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Text, QStringLiteral("Press OK if you want to Ignore locks."));
        QCOMPARE(w->FMode, 0);
        QCOMPARE(w->PollThread, nullptr);
    }
};

QTEST_MAIN(TestOperator)
#include "tst_operator.moc"
