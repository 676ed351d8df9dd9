#include "GatewayRig.h"
#include "IniFile.h"
#include "RouterHub.h"
#include "VideohubClient.h"
#include "VideohubCodec.h"
#include "VideohubListener.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Sends a request and returns ACK or NAK.
QString Ask(TVideohubClient& c, const QByteArray& request) {
    const int from = static_cast<int>(c.Blocks().size());
    c.Send(request);
    return c.Reply(from);
}

} // namespace

class TestGateway : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parser_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("blocks"); // "HEADER|line|line", "!" marks oversized
        QTest::addColumn<bool>("keep");
        QTest::newRow("one block") << QByteArray("PING:\n\n") << QStringList{"PING:"} << true;
        QTest::newRow("crlf") << QByteArray("VIDEO OUTPUT ROUTING:\r\n1 2\r\n\r\n")
                              << QStringList{"VIDEO OUTPUT ROUTING:|1 2"} << true;
        QTest::newRow("stray cr") << QByteArray("A:\n1 2\r\r\n\n") << QStringList{"A:|1 2"} << true;
        QTest::newRow("blank lines between")
            << QByteArray("\n\nA:\nx\n\n\nB:\n\n") << QStringList{"A:|x", "B:"} << true;
        QTest::newRow("unfinished") << QByteArray("A:\n1 2\n") << QStringList{} << true;
        QTest::newRow("garbage") << QByteArray("hello\n\n") << QStringList{"|hello"} << true;
        QTest::newRow("too many lines")
            << QByteArray("A:\n1\n2\n3\n4\n5\n\n") << QStringList{"!A:|1|2|3|4"} << true;
        QTest::newRow("block over its bytes")
            << QByteArray("A:\n" + QByteArray(60, 'a') + "\n" + QByteArray(60, 'b') + "\n" +
                          QByteArray(60, 'c') + "\n\n")
            << QStringList{"!A:|" + QString(60, QLatin1Char('a')) + "|" +
                           QString(60, QLatin1Char('b'))}
            << true;
        QTest::newRow("line over the limit") << QByteArray(100, 'x') << QStringList{} << false;
    }
    void parser() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, blocks);
        QFETCH(bool, keep);
        videohub::TParser p(64, 4, 150);
        std::vector<videohub::TBlock> out;
        // Fed in two pieces: a block may arrive in any number of reads.
        const auto half = static_cast<std::size_t>(bytes.size() / 2);
        const std::string_view all(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        const bool ok = p.Feed(all.substr(0, half), out) && p.Feed(all.substr(half), out);
        QCOMPARE(ok, keep);
        QStringList got;
        for (const auto& b : out) {
            QStringList parts{QString::fromStdString(b.Header)};
            for (const auto& l : b.Lines)
                parts << QString::fromStdString(l);
            got << (b.Oversized ? QStringLiteral("!") : QString()) + parts.join(QLatin1Char('|'));
        }
        QCOMPARE(got, blocks);
    }

    void lineGrammar_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("pair");
        QTest::addColumn<bool>("plain");
        QTest::newRow("pair") << QByteArray("12 3") << true << true;
        QTest::newRow("sign") << QByteArray("-1 3") << false << true;
        QTest::newRow("two spaces") << QByteArray("1  3") << false << true;
        QTest::newRow("huge") << QByteArray("1234567 1") << false << true;
        QTest::newRow("utf8") << QByteArray("1 Caf\xc3\xa9") << false << true;
        QTest::newRow("control") << QByteArray("1 a\x01") << false << false;
        QTest::newRow("bad utf8") << QByteArray("1 \xc3(") << false << false;
        QTest::newRow("overlong") << QByteArray("1 \xc0\xaf") << false << false;
        QTest::newRow("cut utf8") << QByteArray("1 \xe2\x82") << false << false;
    }
    void lineGrammar() {
        QFETCH(QByteArray, line);
        QFETCH(bool, pair);
        QFETCH(bool, plain);
        int a = 0, b = 0;
        const std::string_view text(line.constData(), static_cast<std::size_t>(line.size()));
        QCOMPARE(videohub::ParsePair(text, a, b), pair);
        QCOMPARE(videohub::PlainText(text, 255), plain);
    }

    void config_data() {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QString>("error"); // part of the error, empty: accepted
        QTest::newRow("defaults") << QByteArray() << QString();
        QTest::newRow("bad address") << QByteArray("VIDEOHUB=nowhere\n") << "VIDEOHUB";
        QTest::newRow("bad network") << QByteArray("ALLOW=10.0.0.0/40\n") << "ALLOW";
        QTest::newRow("level out of range") << QByteArray("PRIMARY_LEVEL=5\n") << "PRIMARY_LEVEL";
        QTest::newRow("per level") << QByteArray("VIDEOHUB_LEVEL2=[::1]:9992\n") << QString();
    }
    void config() {
        QFETCH(QByteArray, section);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("g.ini"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[GATEWAY]\n" + section);
        f.close();
        TIniFile ini(file.toStdString());
        QVERIFY(ini.Load());
        TGatewayConfig c = DefaultGatewayConfig();
        QString why;
        QCOMPARE(ReadGatewayConfig(ini, c, &why), error.isEmpty());
        QVERIFY2(why.contains(error), qPrintable(why));
        if (error.isEmpty()) {
            // Loopback only by default.
            QVERIFY(c.Allowed.Allows(QHostAddress(QStringLiteral("127.0.0.1"))));
            QVERIFY(c.Allowed.Allows(QHostAddress(QStringLiteral("::ffff:127.0.0.1"))));
            QVERIFY(!c.Allowed.Allows(QHostAddress(QStringLiteral("192.168.1.5"))));
        }
    }

    // On connect: the blocks in their order, the matrix and the names.
    void dumpOnConnect() {
        TRig rig;
        QVERIFY(rig.Start());
        auto c = rig.Client();
        QVERIFY(c);
        QStringList headers;
        for (const TVhBlock& b : c->Blocks())
            headers << b.Header;
        QCOMPARE(headers, (QStringList{"PROTOCOL PREAMBLE:", "VIDEOHUB DEVICE:", "INPUT LABELS:",
                                       "OUTPUT LABELS:", "VIDEO OUTPUT LOCKS:",
                                       "VIDEO OUTPUT ROUTING:", "CONFIGURATION:", "END PRELUDE:"}));
        QCOMPARE(c->Field(QStringLiteral("VIDEOHUB DEVICE:"), QStringLiteral("Device present")),
                 QStringLiteral("true"));
        QCOMPARE(c->Field(QStringLiteral("VIDEOHUB DEVICE:"), QStringLiteral("Video inputs")),
                 QStringLiteral("16"));
        QCOMPARE(c->Field(QStringLiteral("VIDEOHUB DEVICE:"), QStringLiteral("Video outputs")),
                 QStringLiteral("12"));
        QCOMPARE(c->Items(QStringLiteral("OUTPUT LABELS:")).value(QStringLiteral("0")),
                 QStringLiteral("PGM"));
        QCOMPARE(c->Items(QStringLiteral("VIDEO OUTPUT ROUTING:")).size(), 12);
        QCOMPARE(Ask(*c, "PING:\n\n"), QStringLiteral("ACK"));
    }

    // A block of routes is one TAKE on both levels; every client sees it.
    void routesReachTheSwitcherAndEveryClient() {
        TRig rig;
        QVERIFY(rig.Start());
        auto a = rig.Client(), b = rig.Client();
        QVERIFY(a && b);
        rig.Chassis->ClearRequests();
        const int seen = static_cast<int>(b->Blocks().size());
        QCOMPARE(Ask(*a, "VIDEO OUTPUT ROUTING:\r\n1 5\r\n2 6\r\n3 7\r\n\r\n"),
                 QStringLiteral("ACK"));
        QTRY_VERIFY(b->Items(QStringLiteral("VIDEO OUTPUT ROUTING:")).value(QStringLiteral("3")) ==
                    QStringLiteral("7"));
        for (int level : {1, 2})
            for (int o : {1, 2, 3})
                QCOMPARE(rig.Chassis->Crosspoint(level, o), o + 4);
        // One TAKE for the whole block, and one broadcast carrying it.
        int takes = 0;
        for (const auto& r : rig.Chassis->Requests())
            takes += r.size() > 2 && r[1] == 5 && (r[2] == 10 || r[2] == 11);
        QCOMPARE(takes, 1);
        int routing = 0;
        for (int i = seen; i < b->Blocks().size(); ++i)
            routing += b->Blocks()[i].Header == QLatin1String("VIDEO OUTPUT ROUTING:");
        QCOMPARE(routing, 1);
        // Another operator's route reaches the clients too.
        rig.Chassis->ExternalRoute(1, 4, 9);
        QTRY_VERIFY(a->Items(QStringLiteral("VIDEO OUTPUT ROUTING:")).value(QStringLiteral("4")) ==
                    QStringLiteral("9"));
    }

    // A block with any bad line changes nothing.
    void refusedBlocks_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("bad line") << QByteArray("VIDEO OUTPUT ROUTING:\n1 5\n2 x\n\n");
        QTest::newRow("output beyond") << QByteArray("VIDEO OUTPUT ROUTING:\n1 5\n12 1\n\n");
        QTest::newRow("input beyond") << QByteArray("VIDEO OUTPUT ROUTING:\n1 16\n\n");
        QTest::newRow("garbage") << QByteArray("\x01\x02\xff routing please\n\n");
        QTest::newRow("unknown block") << QByteArray("VIDEO MONITORING OUTPUT ROUTING:\n0 1\n\n");
        QTest::newRow("force unlock") << QByteArray("VIDEO OUTPUT LOCKS:\n1 F\n\n");
        QTest::newRow("bad lock") << QByteArray("VIDEO OUTPUT LOCKS:\n1 X\n\n");
        QTest::newRow("control in label") << QByteArray("INPUT LABELS:\n1 a\tb\n\n");
        QTest::newRow("label beyond") << QByteArray("OUTPUT LABELS:\n12 X\n\n");
    }
    void refusedBlocks() {
        QFETCH(QByteArray, request);
        TRig rig;
        QVERIFY(rig.Start());
        auto c = rig.Client();
        QVERIFY(c);
        rig.Chassis->ClearRequests();
        QCOMPARE(Ask(*c, request), QStringLiteral("NAK"));
        QTest::qWait(100);
        for (const auto& r : rig.Chassis->Requests())
            QVERIFY(r.size() < 2 || r[1] == 1 || r[1] == 9 || r[1] == 6 || r[1] == 4); // reads only
        QCOMPARE(rig.Chassis->Crosspoint(1, 1), 1);
        QCOMPARE(Ask(*c, "PING:\n\n"), QStringLiteral("ACK")); // still served
    }

    // Locks per client: O yours, L another's (a client's or a panel's), U free.
    void locksAndOwners() {
        TRig rig;
        QVERIFY(rig.Start());
        auto a = rig.Client(), b = rig.Client();
        QVERIFY(a && b);
        const QString locks = QStringLiteral("VIDEO OUTPUT LOCKS:");
        QCOMPARE(Ask(*a, "VIDEO OUTPUT LOCKS:\n2 O\n\n"), QStringLiteral("ACK"));
        QTRY_COMPARE(a->Items(locks).value(QStringLiteral("2")), QStringLiteral("O"));
        QTRY_COMPARE(b->Items(locks).value(QStringLiteral("2")), QStringLiteral("L"));
        QVERIFY(rig.Chassis->Locked(1, 2) && rig.Chassis->Locked(2, 2));
        // B cannot route or unlock it (the rest of its block goes out); it is
        // told the state instead.
        QCOMPARE(Ask(*b, "VIDEO OUTPUT ROUTING:\n2 9\n3 4\n\n"), QStringLiteral("ACK"));
        QCOMPARE(Ask(*b, "VIDEO OUTPUT LOCKS:\n2 U\n\n"), QStringLiteral("ACK"));
        // The free output in the same block goes out, by the same TAKE.
        QTRY_COMPARE(rig.Chassis->Crosspoint(1, 3), 4);
        QCOMPARE(rig.Chassis->Crosspoint(1, 2), 2);
        QVERIFY(rig.Chassis->Locked(1, 2));
        // The owner routes through its own lock.
        QCOMPARE(Ask(*a, "VIDEO OUTPUT ROUTING:\n2 9\n\n"), QStringLiteral("ACK"));
        QTRY_COMPARE(rig.Chassis->Crosspoint(1, 2), 9);
        QVERIFY(rig.Chassis->Locked(1, 2));
        // A panel's lock is someone else's for every client.
        rig.Chassis->ExternalToggleLock(1, 5);
        QTRY_COMPARE(a->Items(locks).value(QStringLiteral("5")), QStringLiteral("L"));
        QTRY_COMPARE(b->Items(locks).value(QStringLiteral("5")), QStringLiteral("L"));
        // A client's locks go with it.
        a.reset();
        QTRY_COMPARE(b->Items(locks).value(QStringLiteral("2")), QStringLiteral("U"));
        QVERIFY(!rig.Chassis->Locked(1, 2) && !rig.Chassis->Locked(2, 2));
        QVERIFY(rig.Chassis->Locked(1, 5));
    }

    // A rename reaches every client and the names file.
    void renamesReachClientsAndFile() {
        TRig rig;
        QVERIFY(rig.Start());
        auto a = rig.Client(), b = rig.Client();
        QVERIFY(a && b);
        QCOMPARE(Ask(*a, "OUTPUT LABELS:\n1 MON A\n\nINPUT LABELS:\n3 Caf\xc3\xa9\n\n"),
                 QStringLiteral("ACK"));
        QTRY_COMPARE(b->Items(QStringLiteral("OUTPUT LABELS:")).value(QStringLiteral("1")),
                     QStringLiteral("MON A"));
        QTRY_COMPARE(b->Items(QStringLiteral("INPUT LABELS:")).value(QStringLiteral("3")),
                     QStringLiteral("Caf\u00e9"));
        QFile f(rig.Dir.filePath(QStringLiteral("matrixpanel.ini")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray ini = f.readAll();
        QVERIFY(ini.contains("NAME1=MON A") && ini.contains("NAME0=PGM"));
        QFile log(rig.Dir.filePath(QLatin1String(TSession::OperatorLogName)));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("NAME (videohub 127.0.0.1:"));
    }

    // A level's own device changes that level only; the married one reports the primary.
    void perLevelListener() {
        TRig rig("VIDEOHUB_LEVEL2=127.0.0.1:0\n");
        QVERIFY(rig.Start());
        QCOMPARE(rig.Gateway->Videohub().size(), std::size_t(2));
        auto married = rig.Client(0), audio = rig.Client(1);
        QVERIFY(married && audio);
        QVERIFY(audio->Field(QStringLiteral("VIDEOHUB DEVICE:"), QStringLiteral("Friendly name"))
                    .contains(QStringLiteral("AUDIO")));
        QCOMPARE(Ask(*audio, "VIDEO OUTPUT ROUTING:\n6 11\n\n"), QStringLiteral("ACK"));
        QTRY_COMPARE(rig.Chassis->Crosspoint(2, 6), 11);
        QCOMPARE(rig.Chassis->Crosspoint(1, 6), 6);
        QTRY_COMPARE(
            audio->Items(QStringLiteral("VIDEO OUTPUT ROUTING:")).value(QStringLiteral("6")),
            QStringLiteral("11"));
        QCOMPARE(married->Items(QStringLiteral("VIDEO OUTPUT ROUTING:")).value(QStringLiteral("6")),
                 QStringLiteral("6"));
        QCOMPARE(Ask(*married, "VIDEO OUTPUT ROUTING:\n7 3\n\n"), QStringLiteral("ACK"));
        QTRY_COMPARE(rig.Chassis->Crosspoint(2, 7), 3);
        QCOMPARE(rig.Chassis->Crosspoint(1, 7), 3);
    }

    // Lost switchers: present false, state kept; back: true and the state again.
    void switcherLostAndBack() {
        TRig rig;
        QVERIFY(rig.Start());
        auto c = rig.Client();
        QVERIFY(c);
        const QString device = QStringLiteral("VIDEOHUB DEVICE:");
        rig.Chassis->AddFault({0, sim::TFault::CloseMidReply, -1, 0, 0});
        QTRY_VERIFY_WITH_TIMEOUT(
            c->Field(device, QStringLiteral("Device present")) == QStringLiteral("false"), 10000);
        QCOMPARE(c->Field(device, QStringLiteral("Video outputs")), QStringLiteral("12"));
        QCOMPARE(Ask(*c, "VIDEO OUTPUT ROUTING:\n1 2\n\n"), QStringLiteral("NAK"));
        rig.Chassis->ExternalRoute(1, 8, 4);
        const int before = static_cast<int>(c->Blocks().size());
        rig.Chassis->ClearFaults();
        QVERIFY(c->WaitFor(device, before, 10000) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            c->Field(device, QStringLiteral("Device present")) == QStringLiteral("true"), 10000);
        QTRY_COMPARE(c->Items(QStringLiteral("VIDEO OUTPUT ROUTING:")).value(QStringLiteral("8")),
                     QStringLiteral("4"));
    }

    // Hostile clients harm neither the gateway nor another client.
    void hostileClients() {
        TRig rig("MAX_CLIENTS=40\nMAX_BLOCK_LINES=300\nMAX_QUEUED_BYTES=65536\n");
        QVERIFY(rig.Start());
        auto good = rig.Client();
        QVERIFY(good);
        // A line of 10 MB: dropped.
        {
            TVideohubClient flood(rig.Port());
            QVERIFY(flood.Connected());
            flood.Send(QByteArray(10 * 1024 * 1024, 'x'));
            QTRY_VERIFY_WITH_TIMEOUT(flood.Closed(), 10000);
        }
        // A block that never ends: refused at its end, nothing kept beyond the limit.
        {
            TVideohubClient endless(rig.Port());
            QVERIFY(endless.Connected());
            QByteArray block("VIDEO OUTPUT ROUTING:\n");
            for (int i = 0; i < 5000; ++i)
                block += "1 2\n";
            QCOMPARE(Ask(endless, block + "\n"), QStringLiteral("NAK"));
        }
        // A client that never reads is dropped once its queue is full.
        {
            TVideohubClient sleeper(rig.Port());
            QVERIFY(sleeper.Connected());
            sleeper.Socket().setReadBufferSize(1);
            const QByteArray ask("INPUT LABELS:\n\n");
            for (int i = 0;
                 i < 40000 && sleeper.Socket().state() == QAbstractSocket::ConnectedState; ++i) {
                sleeper.Socket().write(ask);
                if (i % 500 == 0)
                    QTest::qWait(1);
            }
            QTRY_VERIFY_WITH_TIMEOUT(rig.Gateway->Videohub()[0]->ClientCount() <= 1, 20000);
        }
        // More connections than allowed: the extra ones are closed; connect-and-close loops.
        {
            std::vector<std::unique_ptr<TVideohubClient>> many;
            for (int i = 0; i < 60; ++i)
                many.push_back(std::make_unique<TVideohubClient>(rig.Port()));
            QTRY_VERIFY_WITH_TIMEOUT(rig.Gateway->Videohub()[0]->ClientCount() == 40, 10000);
            many.clear();
            for (int i = 0; i < 100; ++i) {
                TVideohubClient brief(rig.Port());
                QVERIFY(brief.Connected());
                QCoreApplication::processEvents(); // the gateway accepts meanwhile
            }
            QTRY_VERIFY_WITH_TIMEOUT(rig.Gateway->Videohub()[0]->ClientCount() == 1, 10000);
        }
        QCOMPARE(Ask(*good, "VIDEO OUTPUT ROUTING:\n0 3\n\n"), QStringLiteral("ACK"));
        QTRY_COMPARE(rig.Chassis->Crosspoint(1, 0), 3);
    }

    // Clients outside the allowed networks are closed before they see anything.
    void networksRefused() {
        TRig rig("ALLOW=10.0.0.0/8\n");
        QVERIFY(rig.Start());
        TVideohubClient c(rig.Port());
        QVERIFY(c.Connected());
        QTRY_VERIFY(c.Closed());
        QVERIFY(c.Blocks().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
