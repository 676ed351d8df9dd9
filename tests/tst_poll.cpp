#include "CommunicationError.h"
#include "Field.h"
#include "IndicatorBox.h"
#include "IpText.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "Panel.h"
#include "PanelTest.h"
#include "PollThread.h"
#include "SimAddress.h"
#include "Simulator.h"
#include "SpeedButton.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

std::int32_t Packed(const QHostAddress& a) {
    bool ok = false;
    return ParseIP(a.toString().toStdString(), ok);
}

} // namespace

class TestPoll : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    TBoxRecorder FBoxes;
    QString Ini() const { return FDir.filePath(QStringLiteral("matrixpanel.ini")); }

    // Level set: VIDEO (address 1) and AUDIO (address 2) on chassis a, SDI (address 3) on b.
    void WriteLevels(const QHostAddress& a, const QHostAddress& b, int count = 3) {
        QFile f(FDir.filePath(QStringLiteral("matrixpanel.set")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray t = "[OPTIONS]\nCOUNT=" + QByteArray::number(count) + "\n";
        const char* names[3] = {"VIDEO", "AUDIO", "SDI"};
        for (int n = 1; n <= count; ++n)
            t += "[LEVEL" + QByteArray::number(n) + "]\nADDRESS=" + QByteArray::number(n) +
                 "\nNAME=" + names[n - 1] + "\nIP=" + QByteArray::number(Packed(n < 3 ? a : b)) +
                 "\n";
        f.write(t);
    }

    // One chassis carrying level 1 (size x size) and a level set naming it.
    sim::TChassis* OneLevel(sim::TSimulator& simulator, int size = 16) {
        sim::TChassisConfig c;
        c.Address = NextSimAddress();
        c.Levels = {1};
        c.Inputs = c.Outputs = size;
        sim::TChassis* ch = simulator.AddChassis(c);
        if (ch)
            WriteLevels(c.Address, c.Address, 1);
        return ch;
    }

    // Starts operation the way OPERATE does and waits for the first cycle.
    void Start(TMainWindow& w) {
        w.show();
        QCoreApplication::processEvents(); // first idle pass
        QTest::mouseClick(w.findChild<TSpeedButton*>(QStringLiteral("SBtnOperate")),
                          Qt::LeftButton);
        // OPERATE starts the thread from the event loop after the click: that
        // call is delivered here at once, since the thread may start and end
        // between two polls of a condition and a wait for it could miss it.
        QCoreApplication::sendPostedEvents(&w, QEvent::MetaCall);
        QVERIFY(w.Session().PollThread() != nullptr);
    }

private Q_SLOTS:
    void init() {
        FBoxes.Install();
        QFile::remove(Ini());
    }

    void errorTexts_data() {
        QTest::addColumn<uint>("status");
        QTest::addColumn<QString>("text");
        const QString A = QStringLiteral(" (192.168.0.10:10004)");
        QTest::newRow("no error") << 0x00000001u << QString();
        QTest::newRow("connect") << 0x00000101u << "Can not connect" + A;
        QTest::newRow("identify 2") << 0x00010202u << "Routing switcher not found at " + A;
        QTest::newRow("identify 3") << 0x00000302u << "Routing switcher not found at " + A;
        QTest::newRow("config 2") << 0x001A0204u << "Cannot read (extended) configuration at " + A;
        QTest::newRow("config 3") << 0x00000304u
                                  << "Cannot read (extended) configuration at " + A +
                                         ". CPU Error Code: 0x00";
        QTest::newRow("config 5") << 0x00000504u << "Invalid size of Routing Switcher" + A;
        QTest::newRow("state 3") << 0x00000305u
                                 << "Cannot read Routing Switcher State. CPU Error Code: 0x00" + A;
        QTest::newRow("hdmi 2") << 0x0001020Du << "Cannot read Routing Switcher HDMI state" + A;
        QTest::newRow("switch 3") << 0x00060307u << "Cannot switch data. CPU Error Code: 0x06" + A;
        QTest::newRow("set hdmi 2") << 0x0001020Eu << "Cannot switch HDMI data" + A;
        QTest::newRow("preset 2") << 0x0203020Bu << "Cannot send Preset salvo (VIDEO)" + A;
        QTest::newRow("preset 3") << 0x0202030Bu
                                  << "Cannot send Preset salvo (VIDEO). CPU Error Code: 0x02" + A;
        QTest::newRow("take 2") << 0x0001020Cu << "Cannot Take Preset salvo" + A;
        QTest::newRow("take 3") << 0x0005030Cu
                                << "Cannot Take Preset salvo. CPU Error Code: 0x05" + A;
        QTest::newRow("monitor") << 0x00050308u << "Unknown Error Code: 0x08 0x03 0x05 0x00" + A;
        QTest::newRow("locks") << 0x0000FF09u << "Unknown Error Code: 0x09 0xFF 0x00 0x00" + A;
        QTest::newRow("connect odd")
            << 0x00000301u << "Unknown Error Code: 0x01 0x03 0x00 0x00" + A;
    }
    void errorTexts() {
        QFETCH(uint, status);
        QFETCH(QString, text);
        // Two levels with address 2: the last one in level order names the error.
        const std::array<std::string, 5> names{"", "AUDIO", "VIDEO", "X", ""};
        const std::array<std::int32_t, 5> addresses{0, 2, 2, 3, 0};
        QCOMPARE(
            CommunicationErrorText(TLinkError::FromStatus(status, 167815360), 3, names, addresses),
            text);
    }

    void operateRouteAndStop() {
        sim::TSimulator simulator;
        sim::TChassisConfig ca, cb;
        ca.Address = NextSimAddress();
        ca.Levels = {1, 2};
        ca.Inputs = 16;
        ca.Outputs = 8;
        cb = ca;
        cb.Address = NextSimAddress();
        cb.Levels = {3};
        sim::TChassis* a = simulator.AddChassis(ca);
        sim::TChassis* b = simulator.AddChassis(cb);
        QVERIFY(a && b);
        WriteLevels(ca.Address, cb.Address);
        TMainWindow w(Ini());
        QSignalSpy saved(&w, &TMainWindow::IniSaved);
        Start(w);
        QTRY_COMPARE_WITH_TIMEOUT(w.Session().Mode(), TMode::OnLine, 5000);
        QCOMPARE(Part<TPanel>(w, "PanelFieldCaption")->Caption(),
                 QStringLiteral("KESTREL ROUTING SWITCHER 16 x 8"));
        QCOMPARE(Part<TField>(w, "Field")->GetLevelCount(), 3);
        QVERIFY(Part<TField>(w, "Field")->isVisible());
        QTRY_VERIFY(Part<TPanel>(w, "LabelClients")->isVisible());
        QCOMPARE(Part<TPanel>(w, "LabelClients")->Caption(), QStringLiteral("Clients 1"));

        // A left click routes at once on every controlled level.
        const int s = Part<TField>(w, "Field")->Geometry().CellSize;
        Part<TField>(w, "Field")->SurfaceMouseMove(TFieldPane::Grid, QPoint(11 * s + 2, 2 * s + 2));
        Part<TField>(w, "Field")->SurfacePress(TFieldPane::Grid, Qt::LeftButton, Qt::NoModifier);
        QTRY_COMPARE_WITH_TIMEOUT(b->Crosspoint(3, 2), 11, 3000);
        QTRY_COMPARE(a->Crosspoint(2, 2), 11);
        QCOMPARE(a->Crosspoint(1, 2), 11);

        // Another operator's change reaches the field.
        b->ExternalRoute(3, 5, 14);
        QTRY_COMPARE_WITH_TIMEOUT(Part<TField>(w, "Field")->GetStatus(5)[2], 14, 3000);

        // PRESET and a salvo over three levels.
        w.Session().SetMode(TMode::Preset);
        Part<TField>(w, "Field")->SurfaceMouseMove(TFieldPane::Grid, QPoint(7 * s + 2, 0 * s + 2));
        Part<TField>(w, "Field")->SurfacePress(TFieldPane::Grid, Qt::LeftButton, Qt::NoModifier);
        QCOMPARE(Part<TField>(w, "Field")->GetPreset(0)[0], 7);
        QCOMPARE(a->Crosspoint(1, 0), 0);
        QSignalSpy progress(&w, &TMainWindow::ProgressShown);
        w.Session().PollThread()->Cycle().RequestSalvo(false);
        QTRY_COMPARE_WITH_TIMEOUT(a->Crosspoint(1, 0), 7, 5000);
        QTRY_VERIFY(!w.Session().PollThread()->Cycle().SalvoRequested());
        // The window saw every step and has closed again.
        QTRY_COMPARE(progress.count(), 5);
        QTRY_VERIFY(!w.ProgressOpen());
        QList<int> shown;
        for (const auto& args : progress)
            shown << args.at(0).toInt();
        QCOMPARE(shown, (QList<int>{0, 25, 50, 75, 100}));

        // OPERATE again: no message, mode 0, white indicators, clients hidden.
        StopPolling(w);
        QCOMPARE(w.Session().Mode(), TMode::Off);
        QVERIFY(FBoxes.isEmpty());
        for (TIndicatorBox* i :
             {Part<TIndicatorBox>(w, "ShapeInit"), Part<TIndicatorBox>(w, "ShapeConfig"),
              Part<TIndicatorBox>(w, "ShapeState"), Part<TIndicatorBox>(w, "ShapeProc")})
            QCOMPARE(i->Color(), clr::White);
        QVERIFY(!Part<TPanel>(w, "LabelClients")->isVisible());
        QCOMPARE(Part<TPanel>(w, "PanelFieldCaption")->Caption(), QStringLiteral("KESTREL"));
        QCOMPARE(w.Settings().FLastState, 2);
        QCOMPARE(saved.count(), 0);
    }

    void failures_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("p1");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QString>("text");
        QTest::newRow("refused") << 0 << 0 << 0 << true << "Can not connect";
        QTest::newRow("identify answered wrongly")
            << 1 << int(sim::TFault::WrongMarker) << 0 << false << "Routing switcher not found at ";
        QTest::newRow("invalid size") << 9 << int(sim::TFault::WordOverride) << 5 << false
                                      << "Invalid size of Routing Switcher";
    }
    void failures() {
        QFETCH(int, command);
        QFETCH(int, fault);
        QFETCH(int, p1);
        QFETCH(bool, refuse);
        QFETCH(QString, text);
        sim::TSimulator simulator;
        sim::TChassis* ch = OneLevel(simulator);
        QVERIFY(ch);
        const sim::TChassisConfig& c = ch->Config();
        if (refuse)
            ch->SetRefusing(true);
        else
            ch->AddFault({command, sim::TFault(fault), -1, p1, 0});
        TMainWindow w(Ini());
        Start(w);
        QTRY_VERIFY_WITH_TIMEOUT(w.Session().PollThread() == nullptr, 8000);
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Caption, QStringLiteral("Communication Error:"));
        QCOMPARE(FBoxes[0].Icon, msgbox::TIcon::Error);
        QCOMPARE(FBoxes[0].Text,
                 text + QStringLiteral(" (") + c.Address.toString() + QStringLiteral(":10004)"));
        QCOMPARE(w.Session().Mode(), TMode::Off);
    }

    void presetTableFailureNamesTheLevel() {
        sim::TSimulator simulator;
        sim::TChassisConfig c;
        c.Address = NextSimAddress();
        c.Levels = {1, 2};
        sim::TChassis* ch = simulator.AddChassis(c);
        QVERIFY(ch);
        WriteLevels(c.Address, c.Address, 2);
        TMainWindow w(Ini());
        Start(w);
        QTRY_COMPARE_WITH_TIMEOUT(w.Session().Mode(), TMode::OnLine, 5000);
        // Every switching reply is cut: the preset table of AUDIO (address 2)... the
        // first level, VIDEO, fails first.
        ch->AddFault({5, sim::TFault::CloseMidReply, -1, 0, 0});
        w.Session().PollThread()->Cycle().RequestSalvo(false);
        QTRY_VERIFY_WITH_TIMEOUT(w.Session().PollThread() == nullptr, 8000);
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Text, QStringLiteral("Cannot send Preset salvo (VIDEO) (") +
                                     c.Address.toString() + QStringLiteral(":10004)"));
        QVERIFY(!w.ProgressOpen());
    }

    void outputLimit() {
        sim::TSimulator simulator;
        QVERIFY(OneLevel(simulator, 256));
        QFile ini(Ini());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[WINDOW]\nOUTPUTLIMIT=64\n");
        ini.close();
        TMainWindow w(Ini());
        Start(w);
        QTRY_COMPARE_WITH_TIMEOUT(w.Session().Mode(), TMode::OnLine, 5000);
        QCOMPARE(Part<TField>(w, "Field")->GetInputCount(), 256);
        QCOMPARE(Part<TField>(w, "Field")->GetOutputCount(), 64);
        QCOMPARE(Part<TPanel>(w, "PanelFieldCaption")->Caption(),
                 QStringLiteral("KESTREL ROUTING SWITCHER 256 x 64"));
        StopPolling(w);
    }

    // A hostile switcher: garbage ends polling with a report; once it answers
    // again, OPERATE works and routes arrive.
    void recoveryAfterGarbage() {
        sim::TSimulator simulator;
        sim::TChassis* ch = OneLevel(simulator, 8);
        QVERIFY(ch);
        const sim::TChassisConfig& c = ch->Config();
        ch->AddFault({9, sim::TFault::Garbage, -1, 40, 0});
        TMainWindow w(Ini());
        Start(w);
        QTRY_COMPARE_WITH_TIMEOUT(FBoxes.size(), 1, 30000);
        QCOMPARE(FBoxes[0].Caption, QStringLiteral("Communication Error:"));
        QVERIFY(FBoxes[0].Text.contains(c.Address.toString() + QStringLiteral(":10004)")));
        QCOMPARE(w.Session().Mode(), TMode::Off);
        ch->ClearFaults();
        Start(w);
        QTRY_COMPARE_WITH_TIMEOUT(w.Session().Mode(), TMode::OnLine, 5000);
        Part<TField>(w, "Field")->SetStatus(5, {2, 0, 0, 0});
        QTRY_COMPARE_WITH_TIMEOUT(ch->Crosspoint(1, 5), 2, 5000);
        StopPolling(w);
        QCOMPARE(FBoxes.size(), 1);
    }

    // Out-of-range words in every state block and a matrix size that changes
    // on every configuration reply: polling goes on, nothing is indexed with
    // the bad values, and the panel ends cleanly.
    void hostileStateAndSize() {
        sim::TSimulator simulator;
        sim::TChassis* ch = OneLevel(simulator, 8);
        QVERIFY(ch);
        TMainWindow w(Ini());
        Start(w);
        QTRY_COMPARE_WITH_TIMEOUT(w.Session().Mode(), TMode::OnLine, 5000);
        ch->AddFault({6, sim::TFault::BadWords, -1, 0x7FFF, 0});
        ch->ExternalRoute(1, 0, 3); // makes the panel read the state
        QTRY_COMPARE_WITH_TIMEOUT(Part<TField>(w, "Field")->GetStatus(0)[0], 0x7FFF - 1, 5000);
        QCOMPARE(Part<TField>(w, "Field")->GetMonitor()[0], 0x7FFF - 1);
        w.grab(); // paints with the bad values
        ch->ClearFaults();
        ch->AddFault({9, sim::TFault::SizeFlip, -1, 0, 0});
        const quint64 before = w.WorldVersion();
        QTRY_VERIFY_WITH_TIMEOUT(w.WorldVersion() > before + 20, 10000); // 20 size changes
        QVERIFY(w.Session().PollThread() != nullptr);
        StopPolling(w);
        QVERIFY(FBoxes.isEmpty());
    }

    void closeWhilePolling() {
        sim::TSimulator simulator;
        QVERIFY(OneLevel(simulator));
        TMainWindow w(Ini());
        QSignalSpy saved(&w, &TMainWindow::IniSaved);
        Start(w);
        QTRY_COMPARE_WITH_TIMEOUT(w.Session().Mode(), TMode::OnLine, 5000);
        w.close();
        QVERIFY(w.isVisible()); // refused while the threads run
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
        QCOMPARE(w.Session().PollThread(), nullptr);
        QVERIFY(!w.ClockRunning());
        QVERIFY(FBoxes.isEmpty());
        QCOMPARE(saved.count(), 1);
    }
};

QTEST_MAIN(TestPoll)
#include "tst_poll.moc"
