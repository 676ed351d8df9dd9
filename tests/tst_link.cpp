#include "SimAddress.h"
#include "Simulator.h"
#include "SwitcherConnection.h"
#include "TcpSocket.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>

#include <memory>
#include <numeric>

Q_DECLARE_METATYPE(sim::TFault)

namespace {

using Words = simframe::Words;

struct TRig {
    sim::TSimulator Sim;
    sim::TChassis* Chassis = nullptr;
    TSwitcherConnection Port;

    explicit TRig(QList<int> levels = {1, 2}, int inputs = 16, int outputs = 8) {
        sim::TChassisConfig c;
        c.Address = NextSimAddress();
        c.Levels = levels;
        c.Inputs = inputs;
        c.Outputs = outputs;
        Chassis = Sim.AddChassis(c);
        if (!Chassis)
            qFatal("simulator cannot listen");
        Port.FHost = c.Address.toString().toStdString();
        Port.FPort = c.Port;
    }
    Words LastRequest() const {
        const auto r = Chassis->Requests();
        return r.isEmpty() ? Words{} : r.last();
    }
};

} // namespace

class TestLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every fault kind has one name that reads back as itself.
    void simulatorFaultNamesRoundTrip() {
        const auto& kinds = sim::FaultKinds();
        QCOMPARE(kinds.size(), std::size_t(sim::TFault::SizeFlip) + 1);
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            QCOMPARE(std::size_t(kinds[i].Kind), i);
            sim::TFault parsed{};
            QVERIFY(sim::ParseFaultName(sim::FaultName(kinds[i].Kind), parsed));
            QCOMPARE(parsed, kinds[i].Kind);
        }
        sim::TFault none{};
        QVERIFY(!sim::ParseFaultName("Silent", none));
    }

    void exampleFrames() {
        TRig rig;
        QVERIFY(rig.Port.Connect());
        std::array<std::uint8_t, 8> id{};
        QVERIFY(rig.Port.Identify(id));
        QCOMPARE(rig.LastRequest(), Words({2, 1, 65535}));

        const TLevelEntry route{2, 9}; // output 5 (index 4), level 2, input 10 (index 9)
        QVERIFY(rig.Port.SwitchOutputs(4, 1, &route));
        QCOMPARE(rig.LastRequest(), Words({7, 5, 1, 5, 1, 2, 10, 65512}));
        QCOMPARE(rig.Chassis->Crosspoint(2, 4), 9);

        const int both[2] = {1, 2};
        QVERIFY(rig.Port.TakePreset(2, both));
        QCOMPARE(rig.LastRequest(), Words({6, 5, 10, 2, 1, 2, 65516}));

        QVERIFY(rig.Port.ReadState());
        QCOMPARE(rig.LastRequest(), Words({2, 6, 65530}));
    }

    void presetTableOf256() {
        TRig rig({3}, 256, 256);
        QVERIFY(rig.Port.Connect());
        std::vector<int> inputs(256);
        std::iota(inputs.rbegin(), inputs.rend(), 0); // output o gets input 255 - o
        QVERIFY(rig.Port.SendPresetTable(3, 256, inputs.data()));
        const Words req = rig.LastRequest();
        QCOMPARE(req.size(), 261); // N = 260 words after word 0: 522 bytes
        QCOMPARE(req[0], 260);
        QCOMPARE(req[3], 3);
        QCOMPARE(req[4], 256);
        QCOMPARE(rig.Port.Status() >> 24, 3u); // the level address is kept as Extra
        std::uint16_t sum = 0;
        for (int k = 1; k <= 260; ++k)
            sum = static_cast<std::uint16_t>(sum + req[k]);
        QCOMPARE(sum, 0);
        // A preset takes effect only with TAKE; a locked output keeps its input
        // unless the take overrides locks.
        const int level = 3;
        QVERIFY(rig.Port.SendLocks(0, 1, &level));
        QVERIFY(rig.Chassis->Locked(3, 0));
        QCOMPARE(rig.Chassis->Crosspoint(3, 1), 1);
        QVERIFY(rig.Port.TakePreset(1, &level));
        QCOMPARE(rig.Chassis->Crosspoint(3, 1), 254);
        QCOMPARE(rig.Chassis->Crosspoint(3, 0), 0);
        QVERIFY(rig.Port.TakePresetIgnoreLocks(1, &level));
        QCOMPARE(rig.LastRequest(),
                 Words({5, 5, 11, 1, 3, static_cast<std::uint16_t>(-(5 + 11 + 1 + 3))}));
        QCOMPARE(rig.Chassis->Crosspoint(3, 0), 255);
    }

    void decodeReplies() {
        TRig rig({1, 2}, 32, 8);
        rig.Chassis->SetHealth([](sim::THealth& h) {
            h.Temperature = 0x8000 | 455;
            h.RefName = "REF 625";
            h.Psu2Present = 0;
        });
        rig.Chassis->SetHdmi([](sim::THdmi& h) {
            h.StandardName = "0123456789ABCDEFGHIJ"; // longer than its 18 bytes of room
            h.Groups = 0x5;
            h.MeterSlider[1] = 33;
            h.StreamMode = 1;
        });
        rig.Chassis->ExternalRoute(2, 7, 31);
        rig.Chassis->ExternalToggleLock(2, 7);
        rig.Chassis->ExternalMonitor(1, 5);
        QVERIFY(rig.Port.Connect());

        TSwitcherConfig cfg;
        QVERIFY(rig.Port.ReadConfig(cfg));
        QCOMPARE(cfg.Outputs, 8);
        QCOMPARE(cfg.Inputs, 32);
        QCOMPARE(cfg.Clients, 1);
        QVERIFY(cfg.StateChanged && cfg.HdmiChanged);
        QCOMPARE(cfg.Status.Temperature, std::uint16_t(0x8000 | 455));
        QCOMPARE(cfg.Status.RefName, std::string("REF 625"));
        QVERIFY(cfg.Status.Psu1Present && !cfg.Status.Psu2Present);

        THdmiState hdmi;
        QVERIFY(rig.Port.ReadHdmi(hdmi));
        QCOMPARE(hdmi.StandardName, std::string("0123456789ABCDEFGH"));
        QCOMPARE(hdmi.Groups, (std::array<bool, 4>{true, false, true, false}));
        QCOMPARE(hdmi.Meter2Slider, std::uint16_t(33));
        QCOMPARE(hdmi.StreamMode, std::uint16_t(1));

        QVERIFY(rig.Port.ReadState());
        // Blocks of M + 3 words from word 3: address, M outputs, monitor, spare.
        QCOMPARE(rig.Port.ReplyLength(), 3 + 2 * (8 + 3));
        QCOMPARE(rig.Port.ReplyWord(3), 1);
        QCOMPARE(rig.Port.ReplyWord(3 + 8 + 1), 6); // level 1 monitors output 6
        const int b2 = 3 + 11;
        QCOMPARE(rig.Port.ReplyWord(b2), 2);
        QCOMPARE(rig.Port.ReplyWord(b2 + 8), 0x8000 | 32); // output 8: input 32, locked

        // Reading cleared this client's change flags.
        QVERIFY(rig.Port.ReadConfig(cfg));
        QVERIFY(!cfg.StateChanged && !cfg.HdmiChanged);
        // Set operations take effect and raise the flags again.
        QVERIFY(rig.Port.SetMeterOn(1, true));
        QVERIFY(rig.Port.SetMeterGroup(0, 3));
        QVERIFY(rig.Port.SetScaleMode(1));
        QVERIFY(rig.Port.SetReference(1, 7));
        QVERIFY(rig.Port.SetStreamMode(0));
        QCOMPARE(rig.LastRequest(), Words({4, 4, 6, 0, static_cast<std::uint16_t>(-10)}));
        QVERIFY(rig.Port.SetMeterSlider(0, 12));
        QCOMPARE(rig.LastRequest(), Words({5, 4, 3, 0, 12, static_cast<std::uint16_t>(-19)}));
        const sim::THdmi h = rig.Chassis->Hdmi();
        QCOMPARE(h.MeterOn[1], 1);
        QCOMPARE(h.MeterGroup[0], 3);
        QCOMPARE(h.ScaleMode, 1);
        QCOMPARE(h.DbuRef, 7);
        QCOMPARE(h.StreamMode, 0);
        QCOMPARE(h.MeterSlider[0], 12);
        const TLevelEntry mon[2] = {{1, 2}, {2, 7}};
        QVERIFY(rig.Port.SwitchMonitor(2, mon));
        QCOMPARE(rig.Chassis->Monitor(2), 7);
        QVERIFY(rig.Port.ReadConfig(cfg));
        QVERIFY(cfg.StateChanged && cfg.HdmiChanged);
        // A second client counts, and sees its own change flags.
        TSwitcherConnection other;
        other.FHost = rig.Port.FHost;
        QVERIFY(other.Connect());
        TSwitcherConfig cfg2;
        QVERIFY(other.ReadConfig(cfg2));
        QCOMPARE(cfg2.Clients, 2);
        QVERIFY(cfg2.StateChanged);
    }

    void faults_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<sim::TFault>("fault");
        QTest::addColumn<int>("p1");
        QTest::addColumn<int>("p2");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("detail");
        using F = sim::TFault;
        QTest::newRow("identify silent") << 1 << F::Silent << 0 << 0 << 2 << 1;
        QTest::newRow("identify marker 128") << 1 << F::WrongMarker << 0 << 0 << 3 << 0;
        QTest::newRow("identify N 8") << 1 << F::Truncate << 8 << 0 << 3 << 0;
        QTest::newRow("identify bad checksum accepted") << 1 << F::BadChecksum << 0 << 0 << 0 << 0;
        QTest::newRow("config half reply") << 9 << F::HalfReply << 0 << 0 << 2 << 26;
        QTest::newRow("config outputs 0") << 9 << F::WordOverride << 5 << 0 << 5 << 0;
        QTest::newRow("config inputs 300") << 9 << F::WordOverride << 6 << 300 << 5 << 0;
        QTest::newRow("config too short for sizes") << 9 << F::Truncate << 5 << 0 << 5 << 0;
        QTest::newRow("config wrong command") << 9 << F::WrongCommand << 0 << 0 << 3 << 0;
        QTest::newRow("state N 3") << 6 << F::Truncate << 3 << 0 << 3 << 0;
        QTest::newRow("state oversized") << 6 << F::OversizedLength << 16384 << 0 << 3 << 0;
        // 16383 mod 256 is 255, which must be recorded, not taken as "unchanged".
        QTest::newRow("state largest N read") << 6 << F::OversizedLength << 16383 << 0 << 2 << 255;
        QTest::newRow("hdmi N 23") << 8 << F::Truncate << 23 << 0 << 3 << 0;
        QTest::newRow("switch echoes 6") << 5 << F::WrongCommand << 0 << 0 << 3 << 6;
        QTest::newRow("switch marker") << 5 << F::WrongMarker << 0 << 0 << 3 << 5;
        QTest::newRow("switch undefined") << 5 << F::UndefinedCommand << 0 << 0 << 3 << 0;
        // The 3 bytes sent announce N = 3, of which one byte arrives.
        QTest::newRow("switch closed mid reply") << 5 << F::CloseMidReply << 0 << 0 << 2 << 3;
        QTest::newRow("preset table marker") << 59 << F::WrongMarker << 0 << 0 << 3 << 2;
        QTest::newRow("preset table oversized") << 59 << F::OversizedLength << 20000 << 0 << 3 << 2;
        // A reply of N = 0 carries no command word: a wrong reply, not a wait.
        QTest::newRow("state N 0") << 6 << F::ZeroLength << 0 << 0 << 3 << 0;
        // A reply trickling in one byte every 2 ms is still read whole.
        QTest::newRow("config trickled") << 9 << F::Trickle << 2 << 0 << 0 << 0;
        // N = 65535 and a flood behind it: refused unread.
        QTest::newRow("state flood") << 6 << F::Flood << 0 << 0 << 3 << 0;
    }
    void faults() {
        QFETCH(int, command);
        QFETCH(sim::TFault, fault);
        QFETCH(int, p1);
        QFETCH(int, p2);
        QFETCH(int, error);
        QFETCH(int, detail);
        TRig rig({2}, 16, 8);
        QVERIFY(rig.Port.Connect());
        // A good configuration first, so a short reply cannot pass on stale words.
        TSwitcherConfig cfg;
        QVERIFY(rig.Port.ReadConfig(cfg));
        const int wire = command == 59 ? 5 : command;
        rig.Chassis->AddFault({wire, fault, 1, p1, p2});
        bool ok = false;
        std::array<std::uint8_t, 8> id{};
        THdmiState hdmi;
        const TLevelEntry e{2, 3};
        const int inputs[8] = {};
        switch (command) {
        case 1:
            ok = rig.Port.Identify(id);
            break;
        case 9:
            ok = rig.Port.ReadConfig(cfg);
            break;
        case 6:
            ok = rig.Port.ReadState();
            break;
        case 8:
            ok = rig.Port.ReadHdmi(hdmi);
            break;
        case 5:
            ok = rig.Port.SwitchOutputs(1, 1, &e);
            break;
        case 59:
            ok = rig.Port.SendPresetTable(2, 8, inputs);
            break;
        }
        QCOMPARE(ok, error == 0);
        QCOMPARE(int(rig.Port.ErrorCode()), error);
        QCOMPARE(int((rig.Port.Status() >> 16) & 0xFF), detail);
        if (command == 9 && error == 5)
            QCOMPARE(cfg.Outputs, 8); // sizes left as they were
        if (fault == sim::TFault::CloseMidReply)
            QCOMPARE(SockLastError(), SockErrConnReset); // at once, not after the time-out
        if (fault == sim::TFault::Silent)
            QCOMPARE(SockLastError(), SockErrTimeout);
    }

    // An unsolicited frame behind a good reply puts the stream out of step:
    // the next exchange reads it and fails instead of taking it as its reply.
    void extraFrameIsNotTakenAsAReply() {
        TRig rig({2}, 16, 8);
        QVERIFY(rig.Port.Connect());
        TSwitcherConfig cfg;
        rig.Chassis->AddFault({9, sim::TFault::ExtraFrame, 1, 6, 0});
        QVERIFY(rig.Port.ReadConfig(cfg));
        QVERIFY(!rig.Port.ReadState());
        QCOMPARE(int(rig.Port.ErrorCode()), 3);
    }

    // A reference name without a zero byte is taken within its 18 bytes.
    void textWithoutZeroByte() {
        TRig rig({2}, 16, 8);
        QVERIFY(rig.Port.Connect());
        rig.Chassis->AddFault({9, sim::TFault::BadWords, 1, 0, 0});
        TSwitcherConfig cfg;
        QVERIFY(rig.Port.ReadConfig(cfg));
        QCOMPARE(cfg.Status.RefName, std::string(18, 'A'));
    }

    // A chassis that accepts and then closes or resets: the connect succeeds,
    // the first exchange fails at once with the closed peer.
    void acceptedThenDropped_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("close") << int(sim::TAcceptMode::Close);
        QTest::newRow("reset") << int(sim::TAcceptMode::Reset);
    }
    void acceptedThenDropped() {
        QFETCH(int, mode);
        TRig rig;
        rig.Chassis->SetAcceptMode(sim::TAcceptMode(mode));
        QElapsedTimer clock;
        clock.start();
        if (rig.Port.Connect()) {
            std::array<std::uint8_t, 8> id{};
            QVERIFY(!rig.Port.Identify(id));
            QCOMPARE(int(rig.Port.ErrorCode()), 2);
        }
        QVERIFY(clock.elapsed() < 900); // no time-out waited for
        QVERIFY(SockLastError() == SockErrConnReset || SockLastError() == SockErrConnRefused);
    }

    void halfReplyTimesOut() {
        TRig rig;
        QVERIFY(rig.Port.Connect());
        rig.Chassis->AddFault({6, sim::TFault::HalfReply, 1, 0, 0});
        QVERIFY(!rig.Port.ReadState());
        QCOMPARE(int(rig.Port.ErrorCode()), 2);
        // N = command, level count and two blocks of M + 3 words, plus the checksum.
        QCOMPARE(int((rig.Port.Status() >> 16) & 0xFF), 2 + 2 * 11 + 1);
        QCOMPARE(SockLastError(), SockErrTimeout);
    }

    // Address 0 connects nowhere, though something listens on this machine.
    void addressZeroNeverConnects() {
        QTcpServer local;
        QVERIFY(local.listen(QHostAddress::LocalHost));
        TSwitcherConnection port;
        port.FHost = "0.0.0.0";
        port.FPort = local.serverPort();
        QVERIFY(!port.Connect());
        QCOMPARE(port.Status(), 0x0101u); // operation 1, error 1: no connection
        QCOMPARE(SockLastError(), SockErrAddrNotAvail);
        QVERIFY(!port.IsConnected());
        QVERIFY(!local.waitForNewConnection(200));
    }

    void connectFailures() {
        TRig rig;
        rig.Chassis->SetRefusing(true);
        QVERIFY(!rig.Port.Connect());
        QCOMPARE(rig.Port.Status(), 0x0101u); // operation 1, error 1
        QCOMPARE(SockLastError(), SockErrConnRefused);
        QVERIFY(!rig.Port.IsConnected());
        rig.Chassis->SetRefusing(false);
        QVERIFY(rig.Port.Connect());
        rig.Port.SetPortStatus(7, 3, 9, 4);
        QVERIFY(!rig.Port.Connect()); // already connected
        QCOMPARE(rig.Port.Status(), 0x01u);
        rig.Port.SetPortStatus(255, 3, 255, 255);
        QCOMPARE(rig.Port.Status(), 0x0301u);
        QVERIFY(rig.Port.Disconnect());
        QVERIFY(!rig.Port.IsConnected());
        QVERIFY(rig.Port.Disconnect()); // closing a closed handle succeeds
    }

    void socketLayer() {
        QCOMPARE(SockPackAddress("192.168.1"), 0x0001A8C0u);
        QCOMPARE(SockPackAddress("10.x.0.200"), 0xC800000Au);
        QCOMPARE(SockPackAddress(""), 0u);
        TSocket s = InvalidSocket;
        QVERIFY(SockClose(s));

        // With time-out 0 a receive waits until the bytes arrive.
        TRig rig;
        rig.Chassis->AddFault({1, sim::TFault::Delay, 1, 1300, 0});
        QVERIFY(SockOpen(s));
        QVERIFY(SockConnect(s, rig.Port.FHost, 10004, 1000));
        const std::uint8_t identify[6] = {2, 0, 1, 0, 0xFF, 0xFF};
        QVERIFY(SockSendAll(s, identify, sizeof identify, 1000));
        std::uint8_t reply[16] = {};
        QVERIFY(SockRecvAll(s, reply, 16, 0));
        QCOMPARE(reply[0], 7);
        QCOMPARE(reply[4], 129);
        QVERIFY(SockClose(s));
        QCOMPARE(s, InvalidSocket);
    }

    void utilityReplies_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("words");
        QTest::newRow("102") << 102 << 37;
        QTest::newRow("100") << 100 << 387;
        QTest::newRow("101") << 101 << 419;
    }
    void utilityReplies() {
        QFETCH(int, command);
        QFETCH(int, words);
        TRig rig;
        TSocket s = InvalidSocket;
        QVERIFY(SockOpen(s));
        QVERIFY(SockConnect(s, rig.Port.FHost, 10004, 1000));
        const auto c = static_cast<std::uint16_t>(command);
        const auto ks = static_cast<std::uint16_t>(-command);
        const std::uint8_t req[6] = {2,
                                     0,
                                     static_cast<std::uint8_t>(c),
                                     0,
                                     static_cast<std::uint8_t>(ks & 0xFF),
                                     static_cast<std::uint8_t>(ks >> 8)};
        QVERIFY(SockSendAll(s, req, 6, 1000));
        std::vector<std::uint8_t> bytes(2 * static_cast<std::size_t>(words));
        QVERIFY(SockRecvAll(s, bytes.data(), bytes.size(), 1000));
        std::uint16_t sum = 0;
        for (int k = 1; k < words; ++k)
            sum = static_cast<std::uint16_t>(sum + (bytes[2 * k] | (bytes[2 * k + 1] << 8)));
        QCOMPARE(bytes[0] | (bytes[1] << 8), words - 1);
        QCOMPARE(bytes[2] | (bytes[3] << 8), command);
        QCOMPARE(sum, 0);
        // Error reply and undefined command as the utility expects them.
        rig.Chassis->AddFault({command, sim::TFault::ErrorReply, 1, 0, 0});
        QVERIFY(SockSendAll(s, req, 6, 1000));
        std::uint8_t err[8] = {};
        QVERIFY(SockRecvAll(s, err, 8, 1000));
        QCOMPARE(err[0], 3);
        QCOMPARE(err[2], command);
        QCOMPARE(err[4], sim::ErrorReplyMarker);
        SockClose(s);
    }

    // Values set from outside show in the utility's replies; the request log
    // keeps only the newest frames.
    void simulatorUtilityValuesAndRequestRing() {
        TRig rig;
        TSocket s = InvalidSocket;
        QVERIFY(SockOpen(s));
        QVERIFY(SockConnect(s, rig.Port.FHost, 10004, 1000));
        auto ask = [&](int command, int words) {
            const auto ks = static_cast<std::uint16_t>(-command);
            const std::uint8_t req[6] = {2,
                                         0,
                                         static_cast<std::uint8_t>(command),
                                         0,
                                         static_cast<std::uint8_t>(ks & 0xFF),
                                         static_cast<std::uint8_t>(ks >> 8)};
            std::vector<std::uint8_t> bytes(2 * static_cast<std::size_t>(words));
            if (!SockSendAll(s, req, 6, 1000) || !SockRecvAll(s, bytes.data(), bytes.size(), 1000))
                bytes.clear();
            return bytes;
        };
        auto word = [](const std::vector<std::uint8_t>& b, int k) {
            return b.size() > 2 * static_cast<std::size_t>(k) + 1 ? b[2 * k] | (b[2 * k + 1] << 8)
                                                                  : -1;
        };
        rig.Chassis->SetPowerWord(2, 0);    // module 1 absent
        rig.Chassis->SetPowerWord(31, 133); // module 2 at 13.3 V
        auto p = ask(102, 37);
        QCOMPARE(word(p, 2), 0);
        QCOMPARE(word(p, 31), 133);
        rig.Chassis->SetPowerWord(2, -1); // back to the generated value
        QCOMPARE(word(ask(102, 37), 2), 1);
        rig.Chassis->SetSfpSlot(false, 2, [](sim::TSfpSlot& slot) { slot.Power = -300 & 0xFFFF; });
        QCOMPARE(word(ask(100, 387), 2 + 12 * 2 + 11), -300 & 0xFFFF);

        std::vector<std::uint8_t> burst;
        for (int i = 0; i < sim::MaxKeptRequests + 50; ++i)
            burst.insert(burst.end(), {2, 0, 1, 0, 0xFF, 0xFF}); // identify
        QVERIFY(SockSendAll(s, burst.data(), burst.size(), 5000));
        const std::uint8_t config[6] = {2, 0, 9, 0, 0xF7, 0xFF};
        QVERIFY(SockSendAll(s, config, 6, 1000));
        QTRY_VERIFY_WITH_TIMEOUT(rig.LastRequest() == Words({2, 9, 0xFFF7}), 10000);
        QCOMPARE(rig.Chassis->Requests().size(), sim::MaxKeptRequests);
        SockClose(s);
    }

    void chassisText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("levels");
        QTest::addColumn<int>("inputs");
        QTest::newRow("address only") << "127.0.0.2" << true << 10004 << 1 << 16;
        QTest::newRow("full") << "127.0.0.1:10010:levels=1,3:size=256x64" << true << 10010 << 2
                              << 256;
        QTest::newRow("host name") << "localhost" << false << 0 << 0 << 0;
        QTest::newRow("level 5") << "127.0.0.1:levels=5" << false << 0 << 0 << 0;
        QTest::newRow("level twice") << "127.0.0.1:levels=1,1" << false << 0 << 0 << 0;
        QTest::newRow("size 0") << "127.0.0.1:size=0x8" << false << 0 << 0 << 0;
        QTest::newRow("size 257") << "127.0.0.1:size=8x257" << false << 0 << 0 << 0;
        QTest::newRow("bad port") << "127.0.0.1:70000" << false << 0 << 0 << 0;
    }
    void chassisText() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        sim::TChassisConfig c;
        QString error;
        QCOMPARE(sim::ParseChassisText(text, c, error), ok);
        QCOMPARE(error.isEmpty(), ok);
        if (ok) {
            QFETCH(int, port);
            QFETCH(int, levels);
            QFETCH(int, inputs);
            QCOMPARE(int(c.Port), port);
            QCOMPARE(int(c.Levels.size()), levels);
            QCOMPARE(c.Inputs, inputs);
        }
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
