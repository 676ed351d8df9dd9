#include "Ber.h"
#include "EmberListener.h"
#include "GatewayRig.h"
#include "Glow.h"
#include "S101.h"

#include <QTcpSocket>

namespace {

std::string Hex(std::string_view bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toHex(' ').toStdString();
}
std::string Bytes(const char* hex) {
    return QByteArray::fromHex(hex).toStdString();
}

// The decoded tree as text: "tag[children]" with tags as class letter and number.
std::string Shape(const std::vector<ber::TElement>& elements) {
    std::string s;
    for (const ber::TElement& e : elements) {
        s += "UACP"[static_cast<int>(e.Tag.Class)] + std::to_string(e.Tag.Number);
        s += e.Constructed ? "[" + Shape(e.Children) + "]" : "=" + Hex(e.Value);
        s += ' ';
    }
    return s.empty() ? s : s.substr(0, s.size() - 1);
}

std::string Command(glow::TCommandType type) {
    return ber::Constructed(
        ber::Application(glow::tag::Command),
        ber::Constructed(ber::Context(0), ber::Integer(static_cast<int>(type))));
}

std::string GetDirectory(const glow::TPath& path) {
    return glow::Root({glow::Qualified(glow::TKind::Node, path, {},
                                       {Command(glow::TCommandType::GetDirectory)})});
}

// An Ember+ consumer for the hostile and exact cases the library clients
// cannot show: raw frames, keep-alives answered or not, dispositions.
class TRawClient {
public:
    // Reads (and answers keep-alives) whenever the event loop runs.
    explicit TRawClient(quint16 port) {
        QObject::connect(&FSocket, &QTcpSocket::readyRead, [this] { Pump(); });
        FSocket.connectToHost(QHostAddress::LocalHost, port);
    }
    bool Connected() { return FSocket.waitForConnected(5000); }
    bool Open() const { return FSocket.state() == QAbstractSocket::ConnectedState; }
    void Write(const std::string& bytes) {
        FSocket.write(bytes.data(), static_cast<qint64>(bytes.size()));
        FSocket.flush();
    }
    void Glow(const std::string& payload) { Write(s101::EncodeMessage(payload)); }
    bool AnswerKeepAlives = true;
    int KeepAlivesAsked = 0, KeepAlivesAnswered = 0;
    std::vector<glow::TRequest> Elements;
    std::vector<std::string> Payloads;

    // Serves the event loop (the gateway is in-process) until `done` holds.
    bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
        return QTest::qWaitFor(done, ms);
    }
    const glow::TRequest* Find(const glow::TPath& path) const {
        for (auto it = Elements.rbegin(); it != Elements.rend(); ++it)
            if (it->Path == path)
                return &*it;
        return nullptr;
    }

private:
    void Pump() {
        const QByteArray bytes = FSocket.readAll();
        std::vector<s101::TMessage> messages;
        FDeframer.Feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                       messages);
        for (const s101::TMessage& m : messages) {
            if (m.Command == s101::TCommand::KeepAliveRequest) {
                ++KeepAlivesAsked;
                if (AnswerKeepAlives)
                    Write(s101::KeepAliveResponse());
            } else if (m.Command == s101::TCommand::KeepAliveResponse) {
                ++KeepAlivesAnswered;
            } else {
                Payloads.push_back(m.Payload);
                glow::DecodeRequests(m.Payload, Elements, nullptr);
            }
        }
    }
    QTcpSocket FSocket;
    s101::TDeframer FDeframer{1 << 20};
};

std::unique_ptr<TRawClient> Consumer(TRig& rig) {
    auto c = std::make_unique<TRawClient>(rig.Gateway->Ember()->Port());
    return c->Connected() ? std::move(c) : nullptr;
}

} // namespace

class TestEmber : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void frames() {
        QCOMPARE(s101::Crc("123456789"), 0x906E); // the CRC's published check value
        QCOMPARE(Hex(s101::KeepAliveRequest()), std::string("fe 00 0e 01 01 94 e4 ff"));
        QCOMPARE(Hex(s101::KeepAliveResponse()), std::string("fe 00 0e 02 01 fd dc ce ff"));
        // Both CRC bytes need escaping here.
        QCOMPARE(Hex(s101::EncodeMessage(Bytes("0006"))),
                 std::string("fe 00 0e 00 01 c0 01 02 1f 02 00 06 fd de fd dd ff"));
    }

    void deframe_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>(
            "messages"); // "K" keep-alive request, "R" response, else payload hex
        QTest::addColumn<bool>("keep");
        const auto msg = [](const char* hex) {
            return QByteArray::fromStdString(s101::EncodeMessage(Bytes(hex)));
        };
        const QByteArray ka = QByteArray::fromStdString(s101::KeepAliveRequest());
        QByteArray badCrc = msg("6001");
        badCrc[badCrc.size() - 2] = 0x11;
        QTest::newRow("keep-alives") << ka + QByteArray::fromStdString(s101::KeepAliveResponse())
                                     << QStringList{"K", "R"} << true;
        QTest::newRow("escaped payload")
            << msg("f8fdfeff00") << QStringList{"f8 fd fe ff 00"} << true;
        QTest::newRow("garbage, then a frame")
            << QByteArray("\x01\x02\xff\xfd", 4) + msg("60") << QStringList{"60"} << true;
        QTest::newRow("bad crc dropped") << badCrc + msg("61") << QStringList{"61"} << true;
        QTest::newRow("frame cut by a new start")
            << msg("62").left(6) + msg("63") << QStringList{"63"} << true;
        QTest::newRow("unescaped special byte")
            << QByteArray("\xfe\x00\xf9\xff", 4) + ka << QStringList{"K"} << true;
        QTest::newRow("last packet without first")
            << QByteArray::fromHex("fe000e000140") << QStringList{} << true;
        QTest::newRow("endless frame")
            << QByteArray(1, '\xfe') + QByteArray(300, 'A') << QStringList{} << false;
    }
    void deframe() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, messages);
        QFETCH(bool, keep);
        s101::TDeframer d(256);
        std::vector<s101::TMessage> out;
        bool ok = true;
        // A byte at a time: frames may arrive split anywhere.
        for (char c : bytes)
            ok = ok && d.Feed(std::string_view(&c, 1), out);
        QCOMPARE(ok, keep);
        QStringList got;
        for (const auto& m : out)
            got << (m.Command == s101::TCommand::KeepAliveRequest ? QStringLiteral("K")
                    : m.Command == s101::TCommand::KeepAliveResponse
                        ? QStringLiteral("R")
                        : QString::fromStdString(Hex(m.Payload)));
        QCOMPARE(got, messages);
    }

    void multiPacket() {
        std::string payload;
        for (int i = 0; i < 2500; ++i)
            payload += static_cast<char>(i * 7);
        const std::string frames = s101::EncodeMessage(payload);
        QCOMPARE(std::count(frames.begin(), frames.end(), '\xfe'), 3); // 1024 + 1024 + 452
        s101::TDeframer d(4096);
        std::vector<s101::TMessage> out;
        QVERIFY(d.Feed(frames, out));
        QCOMPARE(out.size(), std::size_t{1});
        QVERIFY(out[0].Payload == payload);
        QVERIFY(!s101::TDeframer(2000).Feed(frames, out)); // over the message limit
    }

    void berDecode_data() {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("shape"); // "!" and the reason for an error
        QTest::newRow("short") << QByteArray("0201 05") << "U2=05";
        QTest::newRow("long, one byte") << QByteArray("0c81 03 414243") << "U12=41 42 43";
        QTest::newRow("long, two bytes") << QByteArray("0c82 0001 41") << "U12=41";
        QTest::newRow("long, four bytes") << QByteArray("0c84 00000001 41") << "U12=41";
        QTest::newRow("indefinite") << QByteArray("6080 a080 0201 07 0000 0000") << "A0[C0[U2=07]]";
        QTest::newRow("definite in indefinite")
            << QByteArray("3080 a103 010100 0000") << "U16[C1[U1=00]]";
        QTest::newRow("high tag number") << QByteArray("7f8101 00") << "A129[]";
        QTest::newRow("beyond the data") << QByteArray("0c05 4142") << "!a length beyond the data";
        QTest::newRow("five length bytes")
            << QByteArray("0c85 0000000001 41") << "!a length of more than four bytes";
        QTest::newRow("huge length")
            << QByteArray("0c84 ffffffff 41") << "!a length beyond the data";
        QTest::newRow("indefinite primitive")
            << QByteArray("0280 0100") << "!an indefinite length on a primitive element";
        QTest::newRow("no end of contents")
            << QByteArray("6080 0201 07") << "!an indefinite length without its end";
        QTest::newRow("truncated tag") << QByteArray("7f81") << "!truncated";
        QTest::newRow("deep") << QByteArray(40, '\0').replace('\0', "6080") + QByteArray(80, '0')
                              << "!nested too deep";
    }
    void berDecode() {
        QFETCH(QByteArray, hex);
        QFETCH(QString, shape);
        const std::string bytes = QByteArray::fromHex(hex).toStdString();
        std::vector<ber::TElement> out;
        std::string why;
        const bool ok = ber::Decode(bytes, out, ber::TLimits{}, &why);
        QCOMPARE(ok ? QString::fromStdString(Shape(out)) : "!" + QString::fromStdString(why),
                 shape);
    }

    void berEncode_data() {
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QByteArray>("hex");
        QTest::newRow("0") << QByteArray::fromStdString(ber::Integer(0)) << QByteArray("020100");
        QTest::newRow("127") << QByteArray::fromStdString(ber::Integer(127))
                             << QByteArray("02017f");
        QTest::newRow("128") << QByteArray::fromStdString(ber::Integer(128))
                             << QByteArray("02020080");
        QTest::newRow("-1") << QByteArray::fromStdString(ber::Integer(-1)) << QByteArray("0201ff");
        QTest::newRow("-129") << QByteArray::fromStdString(ber::Integer(-129))
                              << QByteArray("0202ff7f");
        QTest::newRow("min") << QByteArray::fromStdString(ber::Integer(INT64_MIN))
                             << QByteArray("02088000000000000000");
        QTest::newRow("oid") << QByteArray::fromStdString(ber::RelativeOid({1, 0, 300}))
                             << QByteArray("0d040100822c");
        QTest::newRow("long length")
            << QByteArray::fromStdString(ber::Utf8(std::string(200, 'a'))).left(3)
            << QByteArray("0c81c8");
        QTest::newRow("longer")
            << QByteArray::fromStdString(ber::Utf8(std::string(300, 'a'))).left(4)
            << QByteArray("0c82012c");
    }
    void berEncode() {
        QFETCH(QByteArray, encoded);
        QFETCH(QByteArray, hex);
        QCOMPARE(encoded.toHex(), hex);
        std::vector<ber::TElement> e;
        QVERIFY(ber::Decode(encoded.toStdString(), e, {}, nullptr) || encoded.size() < 8);
    }

    void requests_data() {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("requests"); // "type path detail; ..."
        using C = glow::TCommandType;
        QTest::newRow("root directory") << QByteArray("600b6b09a00762"
                                                      "05a00302012"
                                                      "0")
                                        << "C  32";
        QTest::newRow("indefinite lengths") << QByteArray("60806b80a0806280a080020120"
                                                          "00000000000000000000")
                                            << "C  32";
        QTest::newRow("set a label") << QByteArray("60186b16a01469"
                                                   "12a0070d050103010204a10731"
                                                   "05a2030c0158")
                                     << "V 1.3.1.2.4 X";
        QTest::newRow("nested nodes")
            << QByteArray::fromStdString(
                   glow::Root({glow::Element(
                       glow::TKind::Node, 1, {},
                       {glow::Element(glow::TKind::Node, 2, {}, {Command(C::Subscribe)})})}))
                   .toHex()
            << "C 1.2 30";
        QTest::newRow("a parameter with a command sets nothing")
            << QByteArray::fromStdString(
                   glow::Root({glow::Qualified(glow::TKind::Parameter, {1, 1, 4},
                                               glow::ValueContents(glow::TValue::OfBool(true)),
                                               {Command(C::GetDirectory)})}))
                   .toHex()
            << "C 1.1.4 32";
        QTest::newRow("connect") << QByteArray::fromStdString(
                                        glow::Root(
                                            {glow::Qualified(glow::TKind::Matrix, {1, 2, 1}, {}, {},
                                                             {glow::Connection({3, {5}, 1, {}})})}))
                                        .toHex()
                                 << "M 1.2.1 3<5";
        QTest::newRow("not glow") << QByteArray("0201 05") << "!";
    }
    void requests() {
        QFETCH(QByteArray, payload);
        QFETCH(QString, requests);
        std::vector<glow::TRequest> out;
        QStringList got;
        if (!glow::DecodeRequests(QByteArray::fromHex(payload).toStdString(), out, nullptr))
            got << QStringLiteral("!");
        for (const glow::TRequest& r : out) {
            const QString path = QString::fromStdString(glow::PathText(r.Path));
            if (r.Type == glow::TRequest::TType::Command)
                got << QStringLiteral("C %1 %2").arg(path).arg(static_cast<int>(r.Command));
            else if (r.Type == glow::TRequest::TType::SetValue)
                got << QStringLiteral("V %1 %2").arg(path, QString::fromStdString(r.Value.String));
            else
                for (const auto& c : r.Connections)
                    got << QStringLiteral("M %1 %2<%3")
                               .arg(path)
                               .arg(c.Target)
                               .arg(c.Sources.at(0));
        }
        QCOMPARE(got.join(QStringLiteral("; ")), requests);
    }

    void keepAlives() {
        TRig rig;
        QVERIFY(rig.Start());
        rig.Gateway->Ember()->SetKeepAliveMs(100);
        auto alive = Consumer(rig), silent = Consumer(rig);
        QVERIFY(alive && silent);
        silent->AnswerKeepAlives = false;
        alive->Write(s101::KeepAliveRequest());
        QVERIFY(alive->WaitFor([&] { return alive->KeepAlivesAnswered == 1; }));
        QVERIFY(silent->WaitFor([&] { return !silent->Open(); }));
        QVERIFY(silent->KeepAlivesAsked >= 1);
        QVERIFY(alive->WaitFor([&] { return alive->KeepAlivesAsked >= 3; }));
        QVERIFY(alive->Open());
        QCOMPARE(rig.Gateway->Ember()->ClientCount(), 1);
    }

    void connectionDispositions_data() {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<int>("disposition");
        QTest::addColumn<int>("source"); // what the switcher holds afterwards
        QTest::newRow("routed") << QByteArray() << int(glow::TDisposition::Modified) << 7;
        QTest::newRow("locked") << QByteArray("LOCK") << int(glow::TDisposition::Locked) << 4;
        QTest::newRow("read-only")
            << QByteArray("READ_ONLY=1\n") << int(glow::TDisposition::Tally) << 4;
    }
    void connectionDispositions() {
        QFETCH(QByteArray, section);
        QFETCH(int, disposition);
        QFETCH(int, source);
        TRig rig(section == "LOCK" ? QByteArray() : section);
        QVERIFY(rig.Start());
        auto c = Consumer(rig);
        QVERIFY(c);
        const glow::TPath matrix{1, 2, 2};
        if (section == "LOCK") {
            rig.Chassis->ExternalToggleLock(2, 4);
            QTRY_VERIFY(rig.Gateway->Hub().Locked(4, 2));
        }
        c->Glow(glow::Root({glow::Qualified(glow::TKind::Matrix, matrix, {}, {},
                                            {glow::Connection({4, {7}, 0, {}})})}));
        QVERIFY(c->WaitFor([&] { return c->Find(matrix) != nullptr; }));
        const glow::TConnection& got = c->Find(matrix)->Connections.at(0);
        QCOMPARE(got.Target, 4);
        QCOMPARE(static_cast<int>(got.Disposition), disposition);
        QCOMPARE(got.Sources, std::vector<std::uint32_t>{static_cast<std::uint32_t>(source)});
        QCOMPARE(rig.Chassis->Crosspoint(2, 4), source);
        QCOMPARE(rig.Chassis->Crosspoint(1, 4), 4); // the other level is left alone
    }

    // Changes reach the consumers that asked for them; lost switchers show as
    // present false, and their return brings the matrices again.
    void changesAndPresence() {
        TRig rig;
        QVERIFY(rig.Start());
        auto a = Consumer(rig), b = Consumer(rig);
        QVERIFY(a && b);
        a->Glow(GetDirectory({1, 1}));
        a->Glow(GetDirectory({1, 2, 1}));
        b->Glow(GetDirectory({1, 2, 2}));
        QVERIFY(a->WaitFor([&] { return a->Find({1, 2, 1}) && b->Find({1, 2, 2}); }));
        const glow::TPath present{1, 1, 4};
        rig.Chassis->AddFault({0, sim::TFault::CloseMidReply, -1, 0, 0});
        QVERIFY(a->WaitFor([&] { return a->Find(present) && !a->Find(present)->Value.Boolean; },
                           10000));
        rig.Chassis->ExternalRoute(1, 8, 4);
        rig.Chassis->ClearFaults();
        QVERIFY(
            a->WaitFor([&] { return a->Find(present) && a->Find(present)->Value.Boolean; }, 10000));
        const auto routed = [&] {
            for (const glow::TRequest& r : a->Elements)
                for (const glow::TConnection& c : r.Connections)
                    if (r.Path == glow::TPath{1, 2, 1} && c.Target == 8 &&
                        c.Sources == std::vector<std::uint32_t>{4})
                        return true;
            return false;
        };
        QVERIFY(a->WaitFor(routed));
        QVERIFY(!b->Find(present) && !b->Find({1, 2, 1}));
        QCOMPARE(b->Find({1, 2, 2})->Connections.size(), std::size_t{12});
    }

    void hostileClients() {
        TRig rig;
        QVERIFY(rig.Start());
        rig.Gateway->Ember()->SetKeepAliveMs(60000); // the crowd never answers them
        auto served = Consumer(rig);
        QVERIFY(served);
        // 100 MB in one frame: dropped once the frame passes the message limit.
        auto flood = Consumer(rig);
        QVERIFY(flood);
        flood->Write(std::string(1, '\xfe'));
        const std::string chunk(1 << 20, 'A');
        for (int mb = 0; mb < 100 && flood->Open(); ++mb) {
            flood->Write(chunk);
            flood->WaitFor([] { return false; }, 5);
        }
        QVERIFY(flood->WaitFor([&] { return !flood->Open(); }));
        // Garbage and deep nesting: no reply, no harm.
        served->Write("garbage\xff\xfe\x01\xff");
        served->Glow(
            QByteArray::fromHex(QByteArray(200, '\0').replace('\0', "6080")).toStdString());
        // A thousand more connections: the limit holds, the first consumer keeps its service.
        const auto crowd = Crowd(rig.Gateway->Ember()->Port(), 1000);
        const int most = rig.Gateway->Config().MaxClients;
        QVERIFY(
            served->WaitFor([&] { return rig.Gateway->Ember()->ClientCount() == most; }, 20000));
        served->Glow(GetDirectory({1, 2}));
        QVERIFY(served->WaitFor([&] { return served->Find({1, 2}) || !served->Payloads.empty(); }));
        QVERIFY(served->Open());
        QCOMPARE(rig.Gateway->Ember()->ClientCount(), rig.Gateway->Config().MaxClients);
    }
};

QTEST_GUILESS_MAIN(TestEmber)
#include "tst_ember.moc"
