#include "Swp08Listener.h"

#include "Index.h"

#include <algorithm>

namespace {

using swp08::TCrosspoint;

std::uint8_t At(std::string_view s, std::size_t i) {
    return static_cast<std::uint8_t>(s[i]);
}

// What we answer, for the command list.
constexpr std::uint8_t Supported[] = {swp08::cmd::Interrogate,
                                      swp08::cmd::Connect,
                                      swp08::cmd::ProtectInterrogate,
                                      swp08::cmd::ProtectConnect,
                                      swp08::cmd::ProtectDisconnect,
                                      swp08::cmd::TallyDumpRequest,
                                      swp08::cmd::CommandListRequest,
                                      swp08::cmd::SourceNamesRequest,
                                      swp08::cmd::SourceNameRequest,
                                      swp08::cmd::DestinationNamesRequest,
                                      swp08::cmd::DestinationNameRequest,
                                      swp08::cmd::ConnectOnGo,
                                      swp08::cmd::Go};

// Protect details: not protected, or protected by a device.
constexpr int NotProtected = 0, Protected = 1;

} // namespace

TSwp08Listener::TSwp08Listener(TRouterHub& hub, const TGatewayConfig& config, QObject* parent)
    : TClientListener(hub, config, QStringLiteral("swp08"), parent) {
    for (auto* sent : {&FSentRoutes, &FSentProtects})
        for (auto& level : *sent)
            level.fill(-1);
    connect(&hub, &TRouterHub::PresenceChanged, this, &TSwp08Listener::PresenceChanged);
    connect(&hub, &TRouterHub::RoutesChanged, this, &TSwp08Listener::RoutesChanged);
    connect(&hub, &TRouterHub::LocksChanged, this, &TSwp08Listener::LocksChanged);
}

TSwp08Listener::~TSwp08Listener() = default;

bool TSwp08Listener::Listen(const TListenAddress& at, QString* error) {
    return TClientListener::Listen(at, QStringLiteral("SW-P-08 router"), error);
}

std::unique_ptr<TClientListener::TClient> TSwp08Listener::NewClient() {
    return std::make_unique<TConnection>();
}

void TSwp08Listener::Connected(TClient&) {
    // The protocol has no greeting: clients interrogate or ask for a dump.
}

void TSwp08Listener::Received(TClient& client, std::string_view bytes) {
    auto& c = static_cast<TConnection&>(client);
    std::vector<swp08::TEvent> events;
    c.Deframer.Feed(bytes, events);
    for (const swp08::TEvent& e : events) {
        if (e.Type == swp08::TEvent::TType::Bad) {
            Send(client, swp08::Nak);
        } else if (e.Type == swp08::TEvent::TType::Message) {
            // Every good message is acknowledged, whether we act on it or not.
            Send(client, swp08::Ack);
            Handle(c, e.Message);
        }
        if (client.Gone)
            return;
    }
}

int TSwp08Listener::Level(const TCrosspoint& x) const {
    return x.Matrix == 0 && x.Level < FHub.LevelCount() ? x.Level + 1 : 0;
}

bool TSwp08Listener::Writable(int level) const {
    return !FConfig.ReadOnly && FHub.Present() && LevelFlag(FHub.ControlLevels(), level);
}

bool TSwp08Listener::Valid(int level, int output) const {
    return level >= 1 && output >= 0 && output < FHub.Outputs();
}

TCrosspoint TSwp08Listener::At(int level, int output) const {
    return {0, level - 1, output, FHub.Route(output, level)};
}

int TSwp08Listener::Device(int level, int output) const {
    if (const TClient* c = ClientById(FHub.LockOwner(output, level)))
        return std::max(static_cast<const TConnection*>(c)->Device, 0);
    return OtherDevice;
}

std::string TSwp08Listener::ProtectState(std::uint8_t command, int level, int output) const {
    TCrosspoint x{0, level - 1, output, 0};
    const bool locked = FHub.Locked(output, level);
    x.Source = locked ? Device(level, output) : 0;
    return swp08::Protect(command, x, locked ? Protected : NotProtected);
}

void TSwp08Listener::SendFrames(TClient& client, const std::vector<std::string>& messages) {
    std::string bytes;
    for (const std::string& m : messages)
        bytes += swp08::Frame(m);
    if (!bytes.empty())
        Send(client, bytes);
}

void TSwp08Listener::AfterReadBack(const TClient& client, std::function<std::string()> message) {
    const TRouterHub::TClientId id = client.Id;
    FHub.AfterReadBack([this, id, message = std::move(message)] {
        const std::string m = message();
        if (m.empty())
            return;
        if (TClient* c = ClientById(id))
            SendFrames(*c, {m});
    });
}

void TSwp08Listener::Handle(TConnection& client, std::string_view message) {
    namespace cmd = swp08::cmd;
    const std::uint8_t command = ::At(message, 0);
    const std::string_view data = message.substr(1);
    TCrosspoint x;
    switch (command) {
    case cmd::Interrogate:
    case cmd::ProtectInterrogate: {
        // ML, multiplier, destination (a device byte may follow).
        if (data.size() < 3)
            return;
        const std::string padded = std::string(data.substr(0, 3)) + '\0';
        swp08::ParseCrosspoint(padded, x);
        const int k = Level(x);
        if (!Valid(k, x.Destination))
            return;
        if (command == cmd::Interrogate)
            return SendFrames(client, {swp08::Crosspoint(cmd::Tally, At(k, x.Destination))});
        return SendFrames(client, {ProtectState(cmd::ProtectTally, k, x.Destination)});
    }
    case cmd::Connect:
        if (swp08::ParseCrosspoint(data, x))
            Connect(client, x);
        return;
    case cmd::ProtectConnect:
    case cmd::ProtectDisconnect:
        if (swp08::ParseCrosspoint(data, x))
            SetProtect(client, x, command == cmd::ProtectConnect);
        return;
    case cmd::TallyDumpRequest:
        if (!data.empty()) {
            x.Matrix = ::At(data, 0) >> 4;
            x.Level = ::At(data, 0) & 0x0F;
            if (const int k = Level(x))
                TallyDump(client, k);
        }
        return;
    case cmd::SourceNamesRequest:
    case cmd::SourceNameRequest:
        return Names(client, data, true, command == cmd::SourceNameRequest);
    case cmd::DestinationNamesRequest:
    case cmd::DestinationNameRequest:
        return Names(client, data, false, command == cmd::DestinationNameRequest);
    case cmd::ConnectOnGo:
        return ConnectOnGo(client, data);
    case cmd::Go:
        return Go(client, data);
    case cmd::CommandListRequest:
        return SendFrames(client, {std::string(1, static_cast<char>(cmd::CommandList)) +
                                   std::string(std::begin(Supported), std::end(Supported))});
    default:
        return; // acknowledged and ignored
    }
}

void TSwp08Listener::Connect(TConnection& client, const TCrosspoint& x) {
    const int k = Level(x), t = x.Destination, s = x.Source;
    if (!Valid(k, t) || s >= FHub.Inputs())
        return;
    const auto real = [this, k, t] { return swp08::Crosspoint(swp08::cmd::Connected, At(k, t)); };
    // Nothing to do, or refused (CONTROL, a protect): answered with what the destination has.
    if (!Writable(k) || FHub.Route(t, k) == s ||
        !FHub.RouteLevels({{t, k, s}}, client.Id, Source(client)).empty())
        return SendFrames(client, {real()});
    // Every client gets CONNECTED once the switchers show it; the requester
    // alone hears when they did not follow.
    AfterReadBack(client,
                  [this, k, t, s, real] { return FHub.Route(t, k) == s ? std::string() : real(); });
}

void TSwp08Listener::SetProtect(TConnection& client, const TCrosspoint& x, bool protect) {
    client.Device = x.Source; // the device number stands where a source would
    const int k = Level(x), t = x.Destination;
    if (!Valid(k, t))
        return;
    namespace cmd = swp08::cmd;
    const auto tally = [this, k, t] { return ProtectState(cmd::ProtectTally, k, t); };
    if (!Writable(k))
        return SendFrames(client, {tally()});
    if (FHub.Locked(t, k) == protect && (!protect || FHub.LockOwner(t, k) == client.Id))
        return SendFrames(
            client,
            {ProtectState(protect ? cmd::ProtectConnected : cmd::ProtectDisconnected, k, t)});
    const bool force = FConfig.ForceUnlock;
    if (!FHub.SetLocks({t}, PackedFlag(k), protect, client.Id, force, Source(client)).empty())
        return SendFrames(client, {tally()});
    AfterReadBack(client, [this, k, t, protect, tally] {
        return FHub.Locked(t, k) == protect ? std::string() : tally();
    });
}

void TSwp08Listener::Names(TConnection& client, std::string_view data, bool sources, bool single) {
    if (data.size() < (single ? 4u : 2u))
        return;
    const std::size_t width = swp08::NameWidth(::At(data, 1));
    if (width == 0)
        return;
    const int count = sources ? FHub.Inputs() : FHub.Outputs();
    int first = 0, last = count;
    if (single) {
        first = ::At(data, 2) * 256 + ::At(data, 3);
        last = first + 1;
        if (first >= count)
            return;
    }
    const auto side = sources ? TNames::TSide::Input : TNames::TSide::Output;
    std::vector<std::string> messages;
    for (int from = first; from < last; from += swp08::NamesPerMessage(width)) {
        const int n = std::min(swp08::NamesPerMessage(width), last - from);
        std::string m = {
            static_cast<char>(sources ? swp08::cmd::SourceNames : swp08::cmd::DestinationNames),
            data[0],
            data[1],
            static_cast<char>(from / 256),
            static_cast<char>(from % 256),
            static_cast<char>(n)};
        for (int i = from; i < from + n; ++i) {
            QString name = FHub.Names().Name(side, i);
            if (name.isEmpty())
                name = QString::number(i + 1);
            m += swp08::FixedName(name.toUtf8().toStdString(), width);
        }
        messages.push_back(std::move(m));
    }
    SendFrames(client, messages);
}

void TSwp08Listener::TallyDump(TConnection& client, int level) {
    // Word dumps: any size of matrix, 64 destinations a message.
    std::vector<std::string> messages;
    for (int from = 0; from < FHub.Outputs(); from += 64) {
        const int n = std::min(64, FHub.Outputs() - from);
        std::string m = {static_cast<char>(swp08::cmd::TallyDumpWord), static_cast<char>(level - 1),
                         static_cast<char>(n), static_cast<char>(from / 256),
                         static_cast<char>(from % 256)};
        for (int o = from; o < from + n; ++o) {
            const int s = FHub.Route(o, level);
            m += static_cast<char>(s / 256);
            m += static_cast<char>(s % 256);
        }
        messages.push_back(std::move(m));
    }
    SendFrames(client, messages);
}

void TSwp08Listener::ConnectOnGo(TConnection& client, std::string_view data) {
    TCrosspoint x;
    if (data.size() < 5 || !swp08::ParseCrosspoint(data, x))
        return;
    const int k = Level(x), group = ::At(data, 4);
    if (!Valid(k, x.Destination) || x.Source >= FHub.Inputs() || group >= FirstStoredGroup)
        return; // not stored: no acknowledgement
    auto& pending = client.Pending[group];
    const auto same = std::find_if(pending.begin(), pending.end(), [&](const auto& r) {
        return r.Output == x.Destination && r.Level == k;
    });
    if (same != pending.end()) {
        same->Input = x.Source;
    } else if (client.PendingCount < MaxPending) {
        pending.push_back({x.Destination, k, x.Source});
        ++client.PendingCount;
    } else {
        return; // full: not acknowledged as stored
    }
    std::string ack = swp08::Crosspoint(swp08::cmd::ConnectOnGoAck, x);
    ack += static_cast<char>(group);
    SendFrames(client, {ack});
}

void TSwp08Listener::Go(TConnection& client, std::string_view data) {
    if (data.size() < 2)
        return;
    const bool clear = ::At(data, 0) == 1;
    const int group = ::At(data, 1);
    enum { Taken = 0, Cleared = 1, None = 2 };
    const auto done = [&](int status) {
        SendFrames(client, {std::string{static_cast<char>(swp08::cmd::GoDone),
                                        static_cast<char>(status), static_cast<char>(group)}});
    };
    const auto it = client.Pending.find(group);
    std::vector<TRouterHub::TLevelRoute> routes;
    if (it != client.Pending.end()) {
        routes = std::move(it->second);
        client.PendingCount -= routes.size();
        client.Pending.erase(it);
    }
    if (clear)
        return done(routes.empty() ? None : Cleared);
    if (group < FirstStoredGroup) {
        if (routes.empty())
            return done(None);
        // One TAKE for the group, on the levels this client may route.
        std::erase_if(routes, [this](const auto& r) { return !Writable(r.Level); });
        FHub.RouteLevels(routes, client.Id, Source(client));
        return done(Taken);
    }
    // A stored salvo, by its place in the list.
    FHub.ListSalvos();
    const int index = group - FirstStoredGroup;
    QString error;
    if (FConfig.ReadOnly || index >= FHub.SalvoCount() ||
        !FHub.TakeSalvo(FHub.SalvoName(index), Source(client), &error))
        return done(None);
    done(Taken);
}

void TSwp08Listener::PresenceChanged(bool present) {
    if (present)
        RoutesChanged({}); // what changed while the switchers were away
}

void TSwp08Listener::RoutesChanged(const std::vector<int>& changedOutputs) {
    std::vector<int> outputs = changedOutputs;
    if (outputs.empty())
        for (int o = 0; o < FHub.Outputs(); ++o)
            outputs.push_back(o);
    std::string bytes;
    for (int k = 1; k <= FHub.LevelCount(); ++k)
        for (int o : outputs) {
            int& sent = FSentRoutes[Ix(k - 1)][Ix(o)];
            if (o >= FHub.Outputs() || sent == FHub.Route(o, k))
                continue;
            const bool first = sent < 0;
            sent = FHub.Route(o, k);
            if (!first || !changedOutputs.empty())
                bytes += swp08::Frame(swp08::Crosspoint(swp08::cmd::Connected, At(k, o)));
        }
    if (!bytes.empty())
        SendAll(bytes);
}

void TSwp08Listener::LocksChanged(const std::vector<int>& outputs) {
    std::string bytes;
    for (int k = 1; k <= FHub.LevelCount(); ++k)
        for (int o : outputs) {
            if (o >= FHub.Outputs())
                continue;
            const int state = FHub.Locked(o, k) ? 1 + Device(k, o) : 0;
            int& sent = FSentProtects[Ix(k - 1)][Ix(o)];
            if (sent == state)
                continue;
            sent = state;
            bytes += swp08::Frame(ProtectState(
                state ? swp08::cmd::ProtectConnected : swp08::cmd::ProtectDisconnected, k, o));
        }
    if (!bytes.empty())
        SendAll(bytes);
}
