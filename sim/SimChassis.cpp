#include "SimChassis.h"

#include "SimWords.h"

#include "SimLog.h"

#include <QDateTime>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sys/socket.h>
#include <utility>

namespace sim {

using simframe::PutText;
using simframe::U;
using simframe::Words;

TChassis::TChassis(const TChassisConfig& config) : FConfig(config), FServer(new QTcpServer(this)) {
    FConfig.Inputs = std::clamp(FConfig.Inputs, 1, 256);
    FConfig.Outputs = std::clamp(FConfig.Outputs, 1, 256);
    for (int a : FConfig.Levels) {
        TLevelState l;
        l.Address = a;
        for (int o = 0; o < 256; ++o)
            l.Crosspoint[static_cast<std::size_t>(o)] = o % FConfig.Inputs;
        FLevels.push_back(l);
    }
    connect(FServer, &QTcpServer::newConnection, this, &TChassis::OnNewConnection);
}

const std::vector<TFaultKind>& FaultKinds() {
    static const std::vector<TFaultKind> kinds = {
        {TFault::Silent, "silent", nullptr},
        {TFault::Delay, "delay", nullptr},
        {TFault::CloseMidReply, "close", nullptr},
        {TFault::HalfReply, "half", nullptr},
        {TFault::WrongCommand, "wrongcommand", nullptr},
        {TFault::WrongMarker, "wrongmarker", nullptr},
        {TFault::WordOverride, "word", nullptr},
        {TFault::Truncate, "truncate", nullptr},
        {TFault::OversizedLength, "oversized", nullptr},
        {TFault::Garbage, "garbage", nullptr},
        {TFault::BadChecksum, "badchecksum", nullptr},
        {TFault::UndefinedCommand, "undefined", nullptr},
        {TFault::ErrorReply, "error", nullptr},
        {TFault::ZeroLength, "zero", "a reply of N = 0"},
        {TFault::Trickle, "trickle", "one byte every P1 ms"},
        {TFault::Flood, "flood", "N = P1 (65535) then P2 bytes"},
        {TFault::BadWords, "badwords",
         "state words out of range, reference name without a zero byte"},
        {TFault::ExtraFrame, "extra", "an unsolicited frame after the reply"},
        {TFault::SizeFlip, "sizeflip", "every other configuration reply one input and output less"},
    };
    return kinds;
}

const char* FaultName(TFault kind) {
    for (const TFaultKind& k : FaultKinds())
        if (k.Kind == kind)
            return k.Name;
    return "?";
}

bool ParseFaultName(const std::string& name, TFault& kind) {
    for (const TFaultKind& k : FaultKinds())
        if (name == k.Name) {
            kind = k.Kind;
            return true;
        }
    return false;
}

TChassis::~TChassis() = default;

void TChassis::RunInOwnThread(const std::function<void()>& f) {
    if (QThread::currentThread() == thread())
        f();
    else
        QMetaObject::invokeMethod(this, f, Qt::BlockingQueuedConnection);
}

bool TChassis::Listen() {
    bool ok = false;
    RunInOwnThread([&] {
        ok = FServer->listen(FConfig.Address, FConfig.Port);
        if (!ok)
            FError = FServer->errorString();
    });
    return ok;
}

QString TChassis::ErrorString() const {
    QMutexLocker lock(&FLock);
    return FError;
}

void TChassis::SetRefusing(bool refusing) {
    RunInOwnThread([&] {
        {
            QMutexLocker lock(&FLock);
            FRefusing = refusing;
        }
        // A closed listening socket makes the system refuse new connections.
        if (refusing)
            FServer->close();
        else if (!FServer->isListening())
            FServer->listen(FConfig.Address, FConfig.Port);
    });
}

void TChassis::AddFault(const TFaultRule& rule) {
    QMutexLocker lock(&FLock);
    FFaults.append(rule);
}

void TChassis::ClearFaults() {
    QMutexLocker lock(&FLock);
    FFaults.clear();
}

TLevelState* TChassis::Level(int address) {
    for (auto& l : FLevels)
        if (l.Address == address)
            return &l;
    return nullptr;
}

const TLevelState* TChassis::Level(int address) const {
    for (const auto& l : FLevels)
        if (l.Address == address)
            return &l;
    return nullptr;
}

void TChassis::MarkStateChanged() {
    for (auto& c : FClients)
        c.StateChanged = true;
}

void TChassis::MarkHdmiChanged() {
    for (auto& c : FClients)
        c.HdmiChanged = true;
}

void TChassis::ExternalRoute(int levelAddress, int output, int input) {
    QMutexLocker lock(&FLock);
    if (TLevelState* l = Level(levelAddress);
        l && output >= 0 && output < FConfig.Outputs && input >= 0 && input < FConfig.Inputs) {
        l->Crosspoint[static_cast<std::size_t>(output)] = input;
        MarkStateChanged();
    }
}

void TChassis::ExternalToggleLock(int levelAddress, int output) {
    QMutexLocker lock(&FLock);
    if (TLevelState* l = Level(levelAddress); l && output >= 0 && output < FConfig.Outputs) {
        l->Locked[static_cast<std::size_t>(output)] = !l->Locked[static_cast<std::size_t>(output)];
        MarkStateChanged();
    }
}

void TChassis::ExternalMonitor(int levelAddress, int output) {
    QMutexLocker lock(&FLock);
    if (TLevelState* l = Level(levelAddress); l && output >= 0 && output < FConfig.Outputs) {
        l->Monitor = output;
        MarkStateChanged();
    }
}

void TChassis::SetHealth(const std::function<void(THealth&)>& change) {
    QMutexLocker lock(&FLock);
    change(FHealth);
}

void TChassis::SetHdmi(const std::function<void(THdmi&)>& change) {
    QMutexLocker lock(&FLock);
    change(FHdmi);
    MarkHdmiChanged();
}

int TChassis::Crosspoint(int levelAddress, int output) const {
    QMutexLocker lock(&FLock);
    const TLevelState* l = Level(levelAddress);
    return (l && output >= 0 && output < 256) ? l->Crosspoint[static_cast<std::size_t>(output)]
                                              : -1;
}

bool TChassis::Locked(int levelAddress, int output) const {
    QMutexLocker lock(&FLock);
    const TLevelState* l = Level(levelAddress);
    return l && output >= 0 && output < 256 && l->Locked[static_cast<std::size_t>(output)];
}

int TChassis::Monitor(int levelAddress) const {
    QMutexLocker lock(&FLock);
    const TLevelState* l = Level(levelAddress);
    return l ? l->Monitor : -1;
}

THdmi TChassis::Hdmi() const {
    QMutexLocker lock(&FLock);
    return FHdmi;
}

QList<Words> TChassis::Requests() const {
    QMutexLocker lock(&FLock);
    return FRequests;
}

void TChassis::ClearRequests() {
    QMutexLocker lock(&FLock);
    FRequests.clear();
}

QList<Words> TChassis::TakeRequests() {
    QMutexLocker lock(&FLock);
    return std::exchange(FRequests, {});
}

int TChassis::ClientCount() const {
    QMutexLocker lock(&FLock);
    return static_cast<int>(FClients.size());
}

void TChassis::OnNewConnection() {
    while (QTcpSocket* s = FServer->nextPendingConnection()) {
        {
            QMutexLocker lock(&FLock);
            if (FRefusing) {
                s->abort();
                s->deleteLater();
                continue;
            }
            if (FAcceptMode != TAcceptMode::Normal) {
                if (FAcceptMode == TAcceptMode::Reset) {
                    // Linger 0: closing sends a reset instead of an orderly end.
                    const linger l{1, 0};
                    ::setsockopt(static_cast<int>(s->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l,
                                 sizeof l);
                    s->abort();
                } else {
                    s->disconnectFromHost();
                }
                s->deleteLater();
                continue;
            }
            FClients.append(TClient{s, {}, true, true});
        }
        qCInfo(lcSim).noquote() << "Chassis" << FConfig.Address.toString()
                                << "client connected from"
                                << s->peerAddress().toString() + QLatin1Char(':') +
                                       QString::number(s->peerPort());
        connect(s, &QTcpSocket::readyRead, this, [this, s] { OnReadyRead(s); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] {
            QMutexLocker lock(&FLock);
            FClients.removeIf([s](const TClient& c) { return c.Socket == s; });
            s->deleteLater();
        });
    }
}

TChassis::TClient* TChassis::ClientOf(QTcpSocket* socket) {
    for (auto& c : FClients)
        if (c.Socket == socket)
            return &c;
    return nullptr;
}

void TChassis::OnReadyRead(QTcpSocket* socket) {
    const QByteArray data = socket->readAll();
    QList<std::pair<int, Words>> replies;
    {
        QMutexLocker lock(&FLock);
        TClient* c = ClientOf(socket);
        if (!c)
            return;
        c->Buffer += data;
        Words frame;
        while (simframe::TakeFrame(c->Buffer, frame)) {
            FRequests.append(frame);
            if (FRequests.size() > MaxKeptRequests)
                FRequests.removeFirst();
            const int command = frame.size() > 1 ? frame[1] : 0;
            replies.append({command, Answer(*c, frame)});
            c = ClientOf(socket); // Answer never removes clients, but stay safe
            if (!c)
                break;
        }
    }
    for (auto& [command, body] : replies)
        Send(socket, command, std::move(body));
}

QList<Words> TChassis::Serve(QByteArray& buffer) {
    QList<Words> replies;
    QMutexLocker lock(&FLock);
    TClient client{nullptr, {}, true, true};
    Words frame;
    while (simframe::TakeFrame(buffer, frame))
        replies.append(Answer(client, frame));
    return replies;
}

Words TChassis::Answer(TClient& client, const Words& request) {
    const int n = request[0];
    auto word = [&](int k) -> int { return k <= n && k < request.size() ? request[k] : 0; };
    const int command = word(1);
    const int outputs = FConfig.Outputs;
    switch (command) {
    case simword::CmdIdentify:
        return {simword::CmdIdentify, simword::IdentifyAnswer, 0x4148, 0x4F4C, 0x0001, 0x0000};
    case simword::CmdConfiguration: {
        Words w{simword::CmdConfiguration,
                U(FClients.size()),
                U(client.StateChanged),
                U(client.HdmiChanged),
                U(outputs),
                U(FConfig.Inputs),
                0,
                0,
                FHealth.RefState};
        PutText(w, FHealth.RefName, 18);
        w << FHealth.Psu1Present << FHealth.Psu2Present << FHealth.Voltage << FHealth.Psu1Current
          << FHealth.Psu2Current << FHealth.Temperature << FHealth.FanSpeed;
        return w;
    }
    case simword::CmdState: {
        client.StateChanged = false;
        Words w{simword::CmdState, U(FLevels.size())};
        for (const TLevelState& l : FLevels) {
            w << U(l.Address);
            for (int o = 0; o < outputs; ++o)
                w << U((l.Crosspoint[static_cast<std::size_t>(o)] + 1) |
                       (l.Locked[static_cast<std::size_t>(o)] ? 0x8000 : 0));
            w << U(l.Monitor + 1) << 0;
        }
        return w;
    }
    case simword::CmdHdmiState: {
        client.HdmiChanged = false;
        Words w{simword::CmdHdmiState, FHdmi.StandardCode};
        PutText(w, FHdmi.StandardName, 18);
        w << FHdmi.Groups << FHdmi.MeterOn[0] << FHdmi.MeterGroup[0] << FHdmi.MeterSlider[0]
          << FHdmi.MeterOn[1] << FHdmi.MeterGroup[1] << FHdmi.MeterSlider[1] << FHdmi.SliderMax
          << FHdmi.ScaleMode << FHdmi.DbfsRef << FHdmi.DbuRef << FHdmi.StreamMode;
        return w;
    }
    case simword::CmdHdmiSet: {
        const int sub = word(2);
        const int ch = std::clamp(word(3), 0, 1);
        const auto c = static_cast<std::size_t>(ch);
        switch (sub) {
        case simword::HdmiMeterOn:
            FHdmi.MeterOn[c] = word(4) ? 1 : 0;
            break;
        case simword::HdmiMeterGroup:
            FHdmi.MeterGroup[c] = U(word(4));
            break;
        case simword::HdmiMeterSlider:
            FHdmi.MeterSlider[c] = U(std::min(word(4), int(FHdmi.SliderMax)));
            break;
        case simword::HdmiScale:
            FHdmi.ScaleMode = U(word(3) ? 1 : 0);
            break;
        case simword::HdmiReference:
            (word(3) ? FHdmi.DbuRef : FHdmi.DbfsRef) = U(word(4));
            break;
        case simword::HdmiStream:
            FHdmi.StreamMode = U(word(3) ? 1 : 0);
            break;
        default:
            return {simword::CmdHdmiSet, 0};
        }
        MarkHdmiChanged();
        return {simword::CmdHdmiSet, simword::Done};
    }
    case simword::CmdSwitch: {
        const int sub = word(2);
        switch (sub) {
        case simword::SwCrosspoints: { // output, c, (address, input) pairs; a locked cross-point
                                       // stays
            const int out = word(3) - 1;
            for (int i = 0; i < std::min(word(4), 4); ++i) {
                TLevelState* l = Level(word(5 + 2 * i));
                const int in = (word(6 + 2 * i) & 0x7FFF) - 1;
                if (l && out >= 0 && out < outputs && in >= 0 && in < FConfig.Inputs &&
                    !l->Locked[static_cast<std::size_t>(out)])
                    l->Crosspoint[static_cast<std::size_t>(out)] = in;
            }
            break;
        }
        case simword::SwMonitor:
            for (int i = 0; i < std::min(word(3), 4); ++i) {
                TLevelState* l = Level(word(4 + 2 * i));
                const int out = word(5 + 2 * i) - 1;
                if (l && out >= 0 && out < outputs)
                    l->Monitor = out;
            }
            break;
        case simword::SwLockToggle: { // the lock of this output toggles on the listed levels
            const int out = word(3) - 1;
            for (int i = 0; i < std::min(word(4), 4); ++i)
                if (TLevelState* l = Level(word(5 + i)); l && out >= 0 && out < outputs)
                    l->Locked[static_cast<std::size_t>(out)] =
                        !l->Locked[static_cast<std::size_t>(out)];
            break;
        }
        case simword::SwPresetTable: {
            TLevelState* l = Level(word(3));
            if (!l)
                break;
            const int count = std::clamp(n - 4, 0, 256);
            for (int o = 0; o < count; ++o)
                l->Preset[static_cast<std::size_t>(o)] =
                    std::clamp(word(4 + o) - 1, 0, FConfig.Inputs - 1);
            l->PresetCount = count;
            return {simword::CmdSwitch, simword::Done};
        }
        case simword::SwTake:
        case simword::SwTakeOverLocks:
            for (int i = 0; i < std::min(word(3), 4); ++i) {
                TLevelState* l = Level(word(4 + i));
                if (!l)
                    continue;
                for (int o = 0; o < std::min(l->PresetCount, outputs); ++o)
                    if (sub == simword::SwTakeOverLocks || !l->Locked[static_cast<std::size_t>(o)])
                        l->Crosspoint[static_cast<std::size_t>(o)] =
                            l->Preset[static_cast<std::size_t>(o)];
            }
            break;
        default:
            return {simword::CmdSwitch, 0};
        }
        MarkStateChanged();
        return {simword::CmdSwitch, simword::Done};
    }
    case simword::CmdPower:
        return UtilityPower();
    case simword::CmdSfpReceive:
        return UtilitySfp(false);
    case simword::CmdSfpTransmit:
        return UtilitySfp(true);
    default:
        return {simword::Unknown};
    }
}

void TChassis::SetAcceptMode(TAcceptMode mode) {
    QMutexLocker lock(&FLock);
    FAcceptMode = mode;
}

void TChassis::Send(QTcpSocket* socket, int command, Words body) {
    TFaultRule rule;
    bool faulty = false;
    {
        QMutexLocker lock(&FLock);
        for (auto& f : FFaults) {
            if ((f.Command == 0 || f.Command == command) && f.Remaining != 0) {
                rule = f;
                faulty = true;
                if (f.Remaining > 0)
                    --f.Remaining;
                break;
            }
        }
        FFaults.removeIf([](const TFaultRule& f) { return f.Remaining == 0; });
    }
    if (faulty) {
        qCInfo(lcSim).noquote() << "Chassis" << FConfig.Address.toString() << "fault"
                                << FaultName(rule.Kind) << "on command" << command;
    }
    QByteArray bytes;
    if (!faulty) {
        bytes = simframe::Encode(body);
    } else {
        switch (rule.Kind) {
        case TFault::Silent:
            return;
        case TFault::Delay: {
            const QByteArray later = simframe::Encode(body);
            QTimer::singleShot(rule.P1, socket, [socket, later] { socket->write(later); });
            return;
        }
        case TFault::CloseMidReply:
            socket->write(simframe::Encode(body).left(3));
            socket->flush();
            socket->disconnectFromHost();
            return;
        case TFault::HalfReply: {
            const QByteArray all = simframe::Encode(body);
            bytes = all.left(std::max<qsizetype>(2, all.size() / 2));
            break;
        }
        case TFault::WrongCommand:
            if (!body.isEmpty())
                body[0] = U(body[0] + 1);
            bytes = simframe::Encode(body);
            break;
        case TFault::WrongMarker:
            if (body.size() > 1)
                body[1] ^= 1;
            bytes = simframe::Encode(body);
            break;
        case TFault::WordOverride:
            if (rule.P1 >= 1) {
                while (body.size() < rule.P1)
                    body.append(0);
                body[rule.P1 - 1] = U(rule.P2);
            }
            bytes = simframe::Encode(body);
            break;
        case TFault::Truncate: {
            const int keep = std::max(rule.P1 - 1, 0);
            body.resize(keep);
            bytes = simframe::Encode(body);
            break;
        }
        case TFault::OversizedLength: {
            bytes = simframe::Encode(body);
            const int n = rule.P1 > 0 ? rule.P1 : 16384;
            bytes[0] = static_cast<char>(n & 0xFF);
            bytes[1] = static_cast<char>((n >> 8) & 0xFF);
            break;
        }
        case TFault::Garbage:
            for (int i = 0; i < (rule.P1 > 0 ? rule.P1 : 16); ++i)
                bytes.append(static_cast<char>(QRandomGenerator::global()->bounded(256)));
            break;
        case TFault::BadChecksum: {
            Words all{U(body.size() + 1)};
            all << body << U(simframe::Checksum(body) + 1);
            bytes = simframe::Raw(all);
            break;
        }
        case TFault::UndefinedCommand:
            bytes = simframe::Encode({0});
            break;
        case TFault::ErrorReply:
            bytes = simframe::Encode({U(command), ErrorReplyMarker});
            break;
        case TFault::ZeroLength:
            bytes = QByteArray(2, '\0');
            break;
        case TFault::Trickle: {
            const QByteArray all = simframe::Encode(body);
            auto* timer = new QTimer(socket); // goes with the socket
            auto sent = std::make_shared<int>(0);
            QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, all, sent] {
                socket->write(all.mid((*sent)++, 1));
                if (*sent >= all.size())
                    timer->deleteLater();
            });
            timer->start(rule.P1 > 0 ? rule.P1 : 5);
            return;
        }
        case TFault::Flood: {
            const int n = rule.P1 > 0 ? rule.P1 : 65535;
            bytes.append(static_cast<char>(n & 0xFF));
            bytes.append(static_cast<char>((n >> 8) & 0xFF));
            bytes.append(QByteArray(rule.P2 > 0 ? rule.P2 : 131070, static_cast<char>(0xAA)));
            break;
        }
        case TFault::BadWords:
            if (command == 6 && body.size() > 1) {
                // [6][L] then per block [address][outputs words][monitor][0].
                const int bad = rule.P1 > 0 ? rule.P1 : 0x7FFF;
                const int blocks = body[1];
                const int perBlock = blocks > 0 ? (static_cast<int>(body.size()) - 2) / blocks : 0;
                for (int b = 0; b < blocks; ++b)
                    for (int k = 1; k < perBlock - 1; ++k)
                        body[2 + b * perBlock + k] = U(bad);
            } else if (command == 9) {
                for (int k = 9; k < 18 && k < body.size(); ++k)
                    body[k] = 0x4141; // "AAAA...": no zero byte anywhere
            }
            bytes = simframe::Encode(body);
            break;
        case TFault::ExtraFrame:
            bytes = simframe::Encode(body) +
                    simframe::Encode({U(rule.P1 > 0 ? rule.P1 : command), 112});
            break;
        case TFault::SizeFlip:
            if (command == 9 && body.size() > 5) {
                QMutexLocker lock(&FLock);
                if (FSizeFlips++ % 2) {
                    body[4] = U(std::max(1, body[4] - 1));
                    body[5] = U(std::max(1, body[5] - 1));
                }
            }
            bytes = simframe::Encode(body);
            break;
        }
    }
    socket->write(bytes);
}

} // namespace sim
