#include "GatewayRig.h"
#include "Swp08Codec.h"
#include "Swp08Listener.h"

#include <QTcpSocket>

namespace {

QByteArray Hex(const std::string& s) {
    return QByteArray::fromStdString(s).toHex(' ');
}

// A client of the general router protocol written from its description: DLE
// STX, data, byte count, two's complement checksum, DLE ETX, DLE doubled; it
// acknowledges what it receives.
class TRouterClient {
public:
    explicit TRouterClient(quint16 port) {
        QObject::connect(&FSocket, &QTcpSocket::readyRead, [this] { Read(); });
        FSocket.connectToHost(QHostAddress::LocalHost, port);
    }
    bool Connected() { return FSocket.waitForConnected(5000); }
    bool Open() const { return FSocket.state() == QAbstractSocket::ConnectedState; }
    static QByteArray Frame(const QByteArray& message) {
        QByteArray body = message + char(message.size());
        int sum = 0;
        for (char c : body)
            sum += quint8(c);
        body += char(-sum & 0xFF);
        QByteArray out("\x10\x02");
        for (char c : body)
            out += c == 0x10 ? QByteArray("\x10\x10") : QByteArray(1, c);
        return out + "\x10\x03";
    }
    void Write(const QByteArray& bytes) {
        FSocket.write(bytes);
        FSocket.flush();
    }
    void Send(const QByteArray& hexMessage) { Write(Frame(QByteArray::fromHex(hexMessage))); }
    // The messages received with this command byte, as hex.
    QList<QByteArray> Got(quint8 command) const {
        QList<QByteArray> r;
        for (const QByteArray& m : Messages)
            if (quint8(m[0]) == command)
                r << m.toHex(' ');
        return r;
    }
    bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
        return QTest::qWaitFor(done, ms);
    }
    bool WaitForMessage(const QByteArray& hex, int ms = 5000) {
        return WaitFor([&] { return Messages.contains(QByteArray::fromHex(hex)); }, ms);
    }
    QList<QByteArray> Messages;
    int Acks = 0, Naks = 0;

private:
    void Read() {
        for (char c : FSocket.readAll()) {
            if (FDle) {
                FDle = false;
                if (c == 0x02) {
                    FFrame.clear();
                    FIn = true;
                } else if (c == 0x03 && FIn) {
                    FIn = false;
                    Messages << FFrame.left(FFrame.size() - 2);
                    Write("\x10\x06");
                } else if (c == 0x10 && FIn) {
                    FFrame += c;
                } else if (c == 0x06) {
                    ++Acks;
                } else if (c == 0x15) {
                    ++Naks;
                }
            } else if (c == 0x10) {
                FDle = true;
            } else if (FIn) {
                FFrame += c;
            }
        }
    }
    QTcpSocket FSocket;
    QByteArray FFrame;
    bool FDle = false, FIn = false;
};

std::unique_ptr<TRouterClient> Client(TRig& rig) {
    auto c = std::make_unique<TRouterClient>(rig.Gateway->Swp08()->Port());
    return c->Connected() ? std::move(c) : nullptr;
}

} // namespace

class TestSwp08 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void frames_data() {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("interrogate")
            << QByteArray("01000005") << QByteArray("10 02 01 00 00 05 04 f6 10 03");
        QTest::newRow("dle in the data")
            << QByteArray("0200001003") << QByteArray("10 02 02 00 00 10 10 03 05 e6 10 03");
        QTest::newRow("dle as the checksum")
            << QByteArray("010000eb") << QByteArray("10 02 01 00 00 eb 04 10 10 10 03");
        // Destination 300 and source 129: multiples of 128 in the multiplier byte.
        QTest::newRow("multiplier")
            << QByteArray::fromStdString(swp08::Crosspoint(swp08::cmd::Connect, {0, 2, 300, 129}))
                   .toHex()
            << QByteArray("10 02 02 02 21 2c 01 05 a9 10 03");
    }
    void frames() {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, wire);
        const QByteArray m = QByteArray::fromHex(message);
        QCOMPARE(Hex(swp08::Frame(m.toStdString())), wire);
        QCOMPARE(TRouterClient::Frame(m).toHex(' '), wire); // the test's own client agrees
        swp08::TDeframer d;
        std::vector<swp08::TEvent> out;
        d.Feed(QByteArray::fromHex(wire).toStdString(), out);
        QCOMPARE(out.size(), std::size_t{1});
        QCOMPARE(QByteArray::fromStdString(out[0].Message), m);
        swp08::TCrosspoint x;
        if (m[0] == 0x02) {
            QVERIFY(swp08::ParseCrosspoint(m.mid(1).toStdString(), x));
            QCOMPARE(swp08::Crosspoint(0x02, x), m.toStdString());
        }
    }

    void deframe_data() {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("events"); // M<hex>, B bad, A ack, N nak
        const QByteArray good = TRouterClient::Frame(QByteArray::fromHex("01000005"));
        QByteArray badSum = good;
        badSum[7] = 0x00;
        QTest::newRow("good") << good << "M01000005";
        QTest::newRow("bad checksum, then good") << badSum + good << "B M01000005";
        QTest::newRow("wrong count") << QByteArray::fromHex("1002010000050577100310") << "B";
        QTest::newRow("garbage, acks")
            << QByteArray("xyz\x10\x06\x10\x15") + good << "A N M01000005";
        QTest::newRow("a start inside a frame") << good.left(5) + good << "B M01000005";
        QTest::newRow("dle storm")
            << QByteArray("\x10\x02") + QByteArray(2000, '\x10') + good << "B M01000005";
        QTest::newRow("endless frame")
            << QByteArray("\x10\x02") + QByteArray(3000, 'x') + good << "B M01000005";
    }
    void deframe() {
        QFETCH(QByteArray, wire);
        QFETCH(QString, events);
        swp08::TDeframer d;
        std::vector<swp08::TEvent> out;
        for (char c : wire)
            d.Feed(std::string_view(&c, 1), out);
        QVERIFY(d.Pending() < 600);
        QStringList got;
        for (const auto& e : out)
            got << (e.Type == swp08::TEvent::TType::Message
                        ? "M" + QString::fromLatin1(QByteArray::fromStdString(e.Message).toHex())
                    : e.Type == swp08::TEvent::TType::Bad ? QStringLiteral("B")
                    : e.Type == swp08::TEvent::TType::Ack ? QStringLiteral("A")
                                                          : QStringLiteral("N"));
        QCOMPARE(got.join(QLatin1Char(' ')), events);
    }

    void fixedNames_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("fixed");
        QTest::newRow("padded") << QByteArray("PGM") << 4 << QByteArray("PGM ");
        QTest::newRow("cut") << QByteArray("CAMERA 12") << 8 << QByteArray("CAMERA 1");
        QTest::newRow("not mid-character")
            << QByteArray("Cam\xc3\xa9ra") << 4 << QByteArray("Cam ");
        QTest::newRow("whole character")
            << QByteArray("Cam\xc3\xa9ra 1") << 8 << QByteArray("Cam\xc3\xa9ra ");
        QTest::newRow("three-byte")
            << QByteArray("\xe6\x97\xa5\xe6\x9c\xac") << 4 << QByteArray("\xe6\x97\xa5 ");
        QTest::newRow("control") << QByteArray("A\tB") << 4 << QByteArray("A B ");
        QTest::newRow("stray continuation") << QByteArray("\x80X") << 4 << QByteArray(" X  ");
    }
    void fixedNames() {
        QFETCH(QByteArray, name);
        QFETCH(int, width);
        QFETCH(QByteArray, fixed);
        QCOMPARE(
            QByteArray::fromStdString(swp08::FixedName(name.toStdString(), std::size_t(width))),
            fixed);
    }

    void routesAndBroadcasts() {
        TRig rig;
        QVERIFY(rig.Start());
        auto a = Client(rig), b = Client(rig);
        QVERIFY(a && b);
        a->Send("01000003"); // interrogate level 0 (our 1), destination 3
        QVERIFY(a->WaitForMessage("0300000303"));
        a->Send("0201000409"); // connect level 1 (our 2): destination 4 from source 9
        QVERIFY(b->WaitForMessage("0401000409")); // every client hears it
        QVERIFY(a->WaitForMessage("0401000409"));
        QCOMPARE(rig.Chassis->Crosspoint(2, 4), 9);
        QCOMPARE(rig.Chassis->Crosspoint(1, 4), 4);
        a->Send("020f000409"); // level 15 does not exist: acknowledged, ignored
        a->Write(TRouterClient::Frame(QByteArray::fromHex("01000003")).replace(7, 1, "\x55"));
        QVERIFY(a->WaitFor([&] { return a->Naks == 1 && a->Acks >= 3; }));
        a->Send("1500"); // tally dump of level 0: one word message of 12
        QVERIFY(a->WaitFor([&] { return !a->Got(0x17).isEmpty(); }));
        QCOMPARE(a->Got(0x17).first(), QByteArray("17 00 0c 00 00 00 00 00 01 00 02 00 03 00 04 00 "
                                                  "05 00 06 00 07 00 08 00 09 00 0a 00 0b"));
        a->Send("61");
        QVERIFY(a->WaitFor([&] { return !a->Got(0x62).isEmpty(); }));
        QVERIFY(a->Got(0x62).first().contains("78 79"));
    }

    void names_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QList<QByteArray>>("replies"); // the first bytes of each reply
        QTest::newRow("sources, 12")
            << QByteArray("640002")
            << QList<QByteArray>{"6a 00 02 00 00 0a 31 20", "6a 00 02 00 0a 06 31 31"};
        QTest::newRow("sources, 4")
            << QByteArray("640000") << QList<QByteArray>{"6a 00 00 00 00 10 31 20 20 20 32"};
        QTest::newRow("destinations, 8")
            << QByteArray("660001")
            << QList<QByteArray>{"6b 00 01 00 00 0c 50 47 4d 20 20 20 20 20 32"};
        QTest::newRow("one destination")
            << QByteArray("6700010000")
            << QList<QByteArray>{"6b 00 01 00 00 01 50 47 4d 20 20 20 20 20"};
    }
    void names() {
        QFETCH(QByteArray, request);
        QFETCH(QList<QByteArray>, replies);
        TRig rig;
        QVERIFY(rig.Start());
        auto a = Client(rig);
        QVERIFY(a);
        a->Send(request);
        const quint8 reply =
            request.startsWith("6") && (request[1] == '4' || request[1] == '5') ? 0x6A : 0x6B;
        QVERIFY(a->WaitFor([&] { return a->Got(reply).size() == replies.size(); }));
        for (int i = 0; i < replies.size(); ++i)
            QVERIFY2(a->Got(reply)[i].startsWith(replies[i]), a->Got(reply)[i].constData());
    }

    void protects() {
        TRig rig;
        QVERIFY(rig.Start());
        auto a = Client(rig), b = Client(rig);
        QVERIFY(a && b);
        a->Send("0c00000207"); // protect destination 2 on level 0 as device 7
        QVERIFY(b->WaitForMessage("0d0001000207"));
        QVERIFY(rig.Chassis->Locked(1, 2));
        b->Send("0200000209"); // a route to it: refused, answered with what it has
        QVERIFY(b->WaitForMessage("0400000202"));
        b->Send("0e00000208"); // another device cannot lift it
        QVERIFY(b->WaitForMessage("0b0001000207"));
        rig.Chassis->ExternalToggleLock(1, 5); // a panel's lock: another device
        QVERIFY(a->WaitForMessage("0d000107057f"));
        a->Send("0a000005");
        QVERIFY(a->WaitForMessage("0b000107057f"));
        a->Send("0e00000207"); // its owner lifts it
        QVERIFY(b->WaitForMessage("0f0000000200"));
        QVERIFY(!rig.Chassis->Locked(1, 2));
    }

    void salvos() {
        TRig rig;
        QVERIFY(rig.Start());
        auto a = Client(rig), b = Client(rig);
        QVERIFY(a && b);
        a->Send("78000001"
                "0a01"); // group 1: destination 1 from 10 on level 0 ...
        a->Send("78010001"
                "0b01"); // ... from 11 on level 1 ...
        a->Send("78000006"
                "0c01"); // ... and destination 6 from 12 on level 0
        QVERIFY(a->WaitFor([&] { return a->Got(0x7A).size() == 3; }));
        a->Send("78000007"
                "0202"); // group 2, cleared below
        QVERIFY(a->WaitFor([&] { return a->Got(0x7A).size() == 4; }));
        QCOMPARE(rig.Chassis->Crosspoint(1, 1), 1); // nothing before GO
        a->Send("790102");
        QVERIFY(a->WaitForMessage("7b0102"));
        a->Send("790001");
        QVERIFY(a->WaitForMessage("7b0001"));
        QVERIFY(b->WaitForMessage("040000060c"));
        QVERIFY(b->WaitForMessage("040000010a"));
        QVERIFY(b->WaitForMessage("040100010b"));
        QCOMPARE(rig.Chassis->Crosspoint(1, 7), 7);
        a->Send("790001"); // taken already: nothing pending
        QVERIFY(a->WaitForMessage("7b0201"));
        a->Send("78000001"
                "0a43");   // groups from 64 are the stored salvos: not stored into
        a->Send("790043"); // group 67: the fourth stored salvo, "004-ALL"
        QVERIFY(a->WaitForMessage("7b0043"));
        QCOMPARE(a->Got(0x7A).size(), 4);
        QTRY_COMPARE(rig.Chassis->Crosspoint(2, 9), 3); // input 4, numbered from 0
        QCOMPARE(rig.Chassis->Crosspoint(1, 0), 3);
        a->Send("79007f"); // no such stored salvo
        QVERIFY(a->WaitForMessage("7b027f"));
    }

    void switcherLostAndBack() {
        TRig rig;
        QVERIFY(rig.Start());
        auto a = Client(rig);
        QVERIFY(a);
        rig.Chassis->AddFault({0, sim::TFault::CloseMidReply, -1, 0, 0});
        QTRY_VERIFY_WITH_TIMEOUT(!rig.Gateway->Hub().Present(), 10000);
        rig.Chassis->ExternalRoute(1, 8, 4);
        rig.Chassis->ClearFaults();
        QVERIFY(a->WaitForMessage("0400000804", 10000));
    }

    void hostileClients() {
        TRig rig("MAX_QUEUED_BYTES=65536\n");
        QVERIFY(rig.Start());
        auto served = Client(rig);
        QVERIFY(served);
        // Garbage, a DLE storm and an endless frame: NAKs, no memory held.
        served->Write("garbage" + QByteArray("\x10\x02") + QByteArray(100000, '\x10') +
                      QByteArray("\x10\x02") + QByteArray(100000, 'x'));
        served->Send("01000003");
        QVERIFY(served->WaitForMessage("0300000303"));
        QVERIFY(served->Naks >= 2);
        // A client that never reads: dropped once its replies pile up.
        QTcpSocket raw;
        raw.setReadBufferSize(1024); // and the event loop reads no more than that
        raw.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        raw.connectToHost(QHostAddress::LocalHost, rig.Gateway->Swp08()->Port());
        QVERIFY(raw.waitForConnected(5000));
        QVERIFY(QTest::qWaitFor([&] { return rig.Gateway->Swp08()->ClientCount() == 2; }));
        const QByteArray dump = TRouterClient::Frame(QByteArray::fromHex("6400"
                                                                         "02"));
        for (int i = 0; i < 200000 && raw.state() == QAbstractSocket::ConnectedState &&
                        rig.Gateway->Swp08()->ClientCount() == 2;
             ++i) {
            raw.write(dump);
            raw.flush();
            if (i % 100 == 0)
                QTest::qWait(1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(rig.Gateway->Swp08()->ClientCount(), 1, 10000);
        // A thousand connections: the limit holds and the first client is still served.
        const auto crowd = Crowd(rig.Gateway->Swp08()->Port(), 1000);
        const int most = rig.Gateway->Config().MaxClients;
        QVERIFY(
            served->WaitFor([&] { return rig.Gateway->Swp08()->ClientCount() == most; }, 20000));
        served->Send("01000004");
        QVERIFY(served->WaitForMessage("0300000404"));
    }
};

QTEST_GUILESS_MAIN(TestSwp08)
#include "tst_swp08.moc"
