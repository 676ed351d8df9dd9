// The operating session without a window: no widget library is linked. It
// runs against the simulator the way the panel does: operate, recall a salvo
// into the preset, TAKE, and see the chassis switch.
#include "IpText.h"
#include "PollThread.h"
#include "Session.h"
#include "SimAddress.h"
#include "SimChassis.h"
#include "Simulator.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestSession : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    sim::TSimulator FSim;

    // A 16 x 16 chassis carrying levels 1 and 2, named in the level set.
    sim::TChassis* Chassis() {
        sim::TChassisConfig c;
        c.Address = NextSimAddress();
        c.Levels = {1, 2};
        sim::TChassis* ch = FSim.AddChassis(c);
        bool ok = false;
        const std::int32_t ip = ParseIP(c.Address.toString().toStdString(), ok);
        QFile f(FDir.filePath(QStringLiteral("panel.set")));
        if (!ch || !ok || !f.open(QIODevice::WriteOnly))
            return nullptr;
        f.write(
            "[OPTIONS]\nCOUNT=2\n[LEVEL1]\nADDRESS=1\nNAME=VIDEO\nIP=" + QByteArray::number(ip) +
            "\n[LEVEL2]\nADDRESS=2\nNAME=AUDIO\nIP=" + QByteArray::number(ip) + "\n");
        return ch;
    }

    std::unique_ptr<TSession> Operating(bool resume = false) {
        auto s =
            std::make_unique<TSession>(FDir.path(), FDir.filePath(QStringLiteral("panel.set")));
        s->SizeSettleMs = 0;
        s->SetResumeAfterLoss(resume);
        s->LoadLevelSet();
        if (s->Levels().Count != 2 || !s->StartPolling(0))
            return nullptr;
        if (!QTest::qWaitFor([&] { return s->Mode() == TMode::OnLine; }, 5000))
            return nullptr;
        return s;
    }

    static void Stop(TSession& s) {
        QSignalSpy ended(&s, &TSession::PollingEnded);
        s.StopPolling();
        QVERIFY(ended.wait(5000));
        QCOMPARE(ended.first().first().toString(), QString());
        QCOMPARE(s.Mode(), TMode::Off);
        QVERIFY(!s.Polling());
    }

private Q_SLOTS:
    void recalledSalvoIsSwitchedByTake() {
        sim::TChassis* ch = Chassis();
        QVERIFY(ch);
        auto s = Operating();
        QVERIFY(s);
        QCOMPARE(s->CrossPoints().Inputs(), 16);
        // The new folder holds the default salvos; "016-ALL" routes input 16 everywhere.
        QTRY_VERIFY(!s->Salvos().empty());
        const TMemorySlot* all16 = s->FindSalvo("016-ALL");
        QVERIFY(all16);
        const int before = ch->Crosspoint(1, 3);
        QVERIFY(before != 15);
        s->SetMode(TMode::Preset);
        s->RecallSalvo(*all16);
        QCOMPARE(s->CrossPoints().State().Preset(3, 1), 15);
        QTest::qWait(50);
        QCOMPARE(ch->Crosspoint(1, 3), before); // nothing on the wire before TAKE
        QVERIFY(s->Take(false));
        QTRY_COMPARE_WITH_TIMEOUT(ch->Crosspoint(1, 3), 15, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(ch->Crosspoint(2, 15), 15, 5000);
        // The session reads back what the chassis did.
        QTRY_COMPARE_WITH_TIMEOUT(s->CrossPoints().State().Status(3, 1), 15, 5000);
        Stop(*s);
        QVERIFY(!s->Take(false));
    }

    // A rename and a click in ON LINE mode are logged, the click with the
    // level's place and the name as renamed.
    void routeGoesOutAndIntoTheLog() {
        sim::TChassis* ch = Chassis();
        QVERIFY(ch);
        auto s = Operating();
        QVERIFY(s);
        QString why;
        QVERIFY(s->Names().Set(TNames::TSide::Output, 4, QStringLiteral("PGM"), {}, &why));
        s->CrossPoints().Route(4, 7);
        QTRY_COMPARE_WITH_TIMEOUT(ch->Crosspoint(2, 4), 7, 5000);
        Stop(*s);
        QFile log(FDir.filePath(QLatin1String(TSession::OperatorLogName)));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        QVERIFY2(text.contains(QStringLiteral("NAME  out 5 \"PGM\"")) &&
                     text.contains(QStringLiteral("ON LINE")) &&
                     text.contains(QStringLiteral("out 5 \"PGM\" <- L1 VIDEO")),
                 qPrintable(text));
    }

    // Store, rename and delete keep the list and the files in step.
    void salvoFilesFollowTheList() {
        QVERIFY(Chassis());
        auto s = Operating();
        QVERIFY(s);
        QTRY_VERIFY(!s->Salvos().empty());
        const std::size_t listed = s->Salvos().size();
        const TMemorySlot mine = s->SalvoOfPresets("mine", {0, 1});
        QVERIFY(s->StoreSalvo(mine, nullptr, nullptr));
        QCOMPARE(s->CheckSalvoName("MINE", nullptr), QStringLiteral("Duplicated Salvo Name: MINE"));
        const std::string old = "mine";
        TMemorySlot renamed = mine;
        renamed.Name = "Theirs";
        QVERIFY(s->StoreSalvo(renamed, &old, nullptr));
        QVERIFY(!QFile::exists(s->SalvoFolder() + QStringLiteral("mine.mem")));
        QVERIFY(QFile::exists(s->SalvoFolder() + QStringLiteral("Theirs.mem")));
        QCOMPARE(s->Salvos().size(), listed + 1);
        QVERIFY(s->DeleteSalvo("Theirs", nullptr));
        QVERIFY(!QFile::exists(s->SalvoFolder() + QStringLiteral("Theirs.mem")));
        s->LoadSalvos();
        QCOMPARE(s->Salvos().size(), listed);
        Stop(*s);
    }
    // A TAKE's list of what it leaves out names the salvo's outputs beyond the
    // matrix (not the scope of "All Outputs"); the TAKE is one step back.
    void takePlanAndStepBack() {
        sim::TChassis* ch = Chassis();
        QVERIFY(ch);
        auto s = Operating();
        QVERIFY(s);
        QTRY_VERIFY(s->FindSalvo("16-N"));
        s->SetMode(TMode::Preset);
        s->RecallSalvo(*s->FindSalvo("16-N"));
        QCOMPARE(s->PlanTake(false).Held.size(), std::size_t(0));
        TMemorySlot listed;
        listed.Name = "listed";
        listed.Count = 2;
        listed.Outputs[0] = 2;
        listed.Outputs[1] = 19;
        listed.Sources[0] = {4, 4, 4, 4};
        listed.Sources[1] = {4, 4, 4, 4};
        s->RecallSalvo(listed);
        const TTakePlan plan = s->PlanTake(false);
        QCOMPARE(plan.Held.size(), std::size_t(2)); // output 20 on both levels
        QVERIFY(plan.Held[0].Output == 19 && plan.Held[0].Why == THold::OutsideMatrix);
        const int before = ch->Crosspoint(1, 2);
        QVERIFY(s->Take(false));
        QTRY_COMPARE_WITH_TIMEOUT(s->CrossPoints().State().Status(2, 1), 4, 5000);
        QVERIFY(s->CanStepBack());
        QVERIFY(s->StepBackNow());
        QTRY_COMPARE_WITH_TIMEOUT(ch->Crosspoint(1, 2), before, 5000);
        QVERIFY(!s->CanStepBack());
        Stop(*s);
    }

    // With resume chosen, a chassis that goes away does not end polling: its
    // levels refuse changes, it is retried, and when it is back its state is
    // read before anything is sent, so a route wanted before the loss is not
    // sent again over what the restarted chassis holds.
    void resumesAfterSwitcherRestart() {
        sim::TChassis* ch = Chassis();
        QVERIFY(ch);
        auto s = Operating(true);
        QVERIFY(s);
        s->CrossPoints().Route(3, 5);
        QTRY_COMPARE_WITH_TIMEOUT(ch->Crosspoint(1, 3), 5, 5000);
        QSignalSpy ended(s.get(), &TSession::PollingEnded);
        ch->SetRefusing(true);
        ch->AddFault({0, sim::TFault::CloseMidReply});
        QTRY_VERIFY_WITH_TIMEOUT(s->LostSwitchers() != 0, 10000);
        QVERIFY(s->Polling() && s->Mode() == TMode::OnLine && ended.isEmpty());
        QVERIFY(s->CrossPoints().Away(1) && s->CrossPoints().Away(2));
        s->CrossPoints().Route(4, 6);
        QCOMPARE(s->CrossPoints().State().Status(4, 1), ch->Crosspoint(1, 4));
        QVERIFY(!s->Take(false));

        // Back, holding other routes, as a restarted chassis would.
        ch->ExternalRoute(1, 3, 0);
        ch->ExternalRoute(2, 3, 0);
        ch->ClearRequests();
        ch->ClearFaults();
        ch->SetRefusing(false);
        QTRY_VERIFY_WITH_TIMEOUT(s->LostSwitchers() == 0, 10000);
        QCOMPARE(s->CrossPoints().State().Status(3, 1), 0);
        QSignalSpy cycles(s.get(), &TSession::CyclesCompleted);
        s->NotifyAfterCycles(10);
        QVERIFY(cycles.wait(5000));
        QCOMPARE(ch->Crosspoint(1, 3), 0);
        bool stateRead = false;
        for (const auto& r : ch->Requests()) {
            stateRead = stateRead || (r.size() > 1 && r[1] == 6);
            QVERIFY2(!(r.size() > 1 && r[1] == 5), "a command was sent after the restart");
        }
        QVERIFY(stateRead);
        Stop(*s);
        QFile log(FDir.filePath(QLatin1String(TSession::OperatorLogName)));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(log.readAll());
        QVERIFY2(text.contains(QStringLiteral("COMMUNICATION LOST")) &&
                     text.contains(QStringLiteral("COMMUNICATION RESTORED")),
                 qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
