#include "VideohubListener.h"

#include "Index.h"

#include <QCryptographicHash>

#include <algorithm>

namespace {

// A block of 256 full labels fits; a client's unfinished block holds no more.
constexpr std::size_t MaxBlockBytes = 256 * 1024;
const char* const Ack = "ACK\n\n";
const char* const Nak = "NAK\n\n";

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace

TVideohubListener::TVideohubListener(TRouterHub& hub, const TGatewayConfig& config, int level,
                                     QObject* parent)
    : TClientListener(hub, config, QStringLiteral("videohub"), parent), FLevel(level) {
    FSentRoutes.fill(-1);
    connect(&hub, &TRouterHub::PresenceChanged, this, &TVideohubListener::PresenceChanged);
    connect(&hub, &TRouterHub::RoutesChanged, this, &TVideohubListener::RoutesChanged);
    connect(&hub, &TRouterHub::LocksChanged, this, &TVideohubListener::LocksChanged);
    connect(&hub, &TRouterHub::NamesChanged, this, &TVideohubListener::NamesChanged);
}

TVideohubListener::~TVideohubListener() = default;

bool TVideohubListener::Listen(const TListenAddress& at, QString* error) {
    return TClientListener::Listen(at,
                                   FLevel == 0 ? QStringLiteral("married device")
                                               : QStringLiteral("level %1 device").arg(FLevel),
                                   error);
}

std::uint32_t TVideohubListener::Levels() const {
    std::uint32_t levels = 0;
    for (int k = 1; k <= FHub.LevelCount(); ++k)
        if (FLevel == 0 ? LevelFlag(FHub.ControlLevels(), k) : k == FLevel)
            levels |= 1u << (8 * (k - 1));
    return levels;
}

int TVideohubListener::ReportedLevel() const {
    return FLevel != 0 ? FLevel
                       : std::clamp(FConfig.PrimaryLevel, 1, std::max(1, FHub.LevelCount()));
}

std::unique_ptr<TClientListener::TClient> TVideohubListener::NewClient() {
    auto c = std::make_unique<TConnection>();
    c->Parser = std::make_unique<videohub::TParser>(static_cast<std::size_t>(FConfig.MaxLineBytes),
                                                    static_cast<std::size_t>(FConfig.MaxBlockLines),
                                                    MaxBlockBytes);
    return c;
}

void TVideohubListener::Connected(TClient& client) {
    Send(client, Dump(client));
}

void TVideohubListener::Received(TClient& client, std::string_view bytes) {
    std::vector<videohub::TBlock> blocks;
    if (!static_cast<TConnection&>(client).Parser->Feed(bytes, blocks))
        return Drop(&client, QStringLiteral("a line over %1 bytes").arg(FConfig.MaxLineBytes));
    for (const videohub::TBlock& b : blocks) {
        Handle(client, b);
        // A reply may have found the client not reading: it is gone then.
        if (client.Gone)
            return;
    }
}

void TVideohubListener::Handle(TClient& client, const videohub::TBlock& block) {
    const std::string& h = block.Header;
    if (h.empty() || block.Oversized)
        return Send(client, Nak);
    if (h == "PING:")
        return Send(client, Ack);
    const bool ask = block.Lines.empty();
    if (h == "PROTOCOL PREAMBLE:" && ask)
        return Send(client, Ack + videohub::Block(h, {"Version: 2.8"}));
    if (h == "VIDEOHUB DEVICE:" && ask)
        return Send(client, Ack + DeviceBlock());
    if (h == "INPUT LABELS:" && ask)
        return Send(client, Ack + LabelsBlock(TNames::TSide::Input, All(FInputs)));
    if (h == "OUTPUT LABELS:" && ask)
        return Send(client, Ack + LabelsBlock(TNames::TSide::Output, All(FOutputs)));
    if (h == "VIDEO OUTPUT LOCKS:" && ask)
        return Send(client, Ack + LocksBlock(client, All(FOutputs)));
    if (h == "VIDEO OUTPUT ROUTING:" && ask)
        return Send(client, Ack + RoutingBlock(All(FOutputs)));
    if (h == "CONFIGURATION:" && ask)
        return Send(client, Ack + videohub::Block(h, {"Take Mode: false"}));
    bool done = false;
    if (h == "VIDEO OUTPUT ROUTING:")
        done = HandleRouting(client, block);
    else if (h == "VIDEO OUTPUT LOCKS:")
        done = HandleLocks(client, block);
    else if (h == "INPUT LABELS:")
        done = HandleLabels(client, block, TNames::TSide::Input);
    else if (h == "OUTPUT LABELS:")
        done = HandleLabels(client, block, TNames::TSide::Output);
    if (!done)
        Send(client, Nak);
}

bool TVideohubListener::HandleRouting(TClient& client, const videohub::TBlock& block) {
    if (FConfig.ReadOnly || !FHub.Present())
        return false;
    // Every line is checked before anything is applied: one bad line refuses the block.
    std::vector<std::pair<int, int>> routes;
    for (const std::string& line : block.Lines) {
        int output = 0, input = 0;
        if (!videohub::ParsePair(line, output, input) || output >= FOutputs || input >= FInputs)
            return false;
        routes.emplace_back(output, input);
    }
    Send(client, Ack);
    const std::vector<int> held = FHub.RouteAll(routes, Levels(), client.Id, Source(client));
    // Outputs others hold stay as they are: the client is told what they show.
    if (!held.empty())
        Send(client, RoutingBlock(held));
    return true;
}

bool TVideohubListener::HandleLocks(TClient& client, const videohub::TBlock& block) {
    if (FConfig.ReadOnly || !FHub.Present())
        return false;
    std::vector<int> lock, unlock, force;
    for (const std::string& line : block.Lines) {
        int output = 0;
        std::string state;
        if (!videohub::ParseIndexed(line, output, state) || output >= FOutputs)
            return false;
        if (state == "O")
            lock.push_back(output);
        else if (state == "U")
            unlock.push_back(output);
        else if (state == "F" && FConfig.ForceUnlock)
            force.push_back(output);
        else
            return false;
    }
    Send(client, Ack);
    std::vector<int> held;
    const QString source = Source(client);
    for (int o : FHub.SetLocks(lock, Levels(), true, client.Id, false, source))
        held.push_back(o);
    for (int o : FHub.SetLocks(unlock, Levels(), false, client.Id, false, source))
        held.push_back(o);
    FHub.SetLocks(force, Levels(), false, client.Id, true, source);
    if (!held.empty())
        Send(client, LocksBlock(client, held));
    return true;
}

bool TVideohubListener::HandleLabels(TClient& client, const videohub::TBlock& block,
                                     TNames::TSide side) {
    if (FConfig.ReadOnly)
        return false;
    const int count = side == TNames::TSide::Input ? FInputs : FOutputs;
    std::vector<std::pair<int, QString>> names;
    for (const std::string& line : block.Lines) {
        int index = 0;
        std::string text;
        if (!videohub::ParseIndexed(line, index, text) || index >= count ||
            !videohub::PlainText(text))
            return false;
        names.emplace_back(index, QString::fromUtf8(text.data(), static_cast<int>(text.size())));
    }
    Send(client, Ack);
    QString error;
    // Names that cannot be saved still show everywhere; the log says why.
    if (!FHub.Rename(side, names, Source(client), &error))
        LogWarning(QStringLiteral("Cannot save the names: %1").arg(error));
    return true;
}

std::vector<int> TVideohubListener::All(int count) const {
    std::vector<int> all(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        all[Ix(i)] = i;
    return all;
}

std::string TVideohubListener::DeviceBlock() const {
    QString name = FConfig.FriendlyName;
    if (name.isEmpty())
        name = FLevel == 0
                   ? QStringLiteral("matrixgateway")
                   : QStringLiteral("matrixgateway L%1 %2").arg(FLevel).arg(FHub.LevelName(FLevel));
    // Stable across restarts: the same listener is the same device to its clients.
    const QByteArray id =
        QCryptographicHash::hash((name + QLatin1Char('/') + QString::number(Port())).toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(12)
            .toUpper();
    return videohub::Block(
        "VIDEOHUB DEVICE:",
        {std::string("Device present: ") + (FHub.Present() ? "true" : "false"),
         "Model name: matrixgateway", "Friendly name: " + Utf8(name.simplified()),
         "Unique ID: " + id.toStdString(), "Video inputs: " + std::to_string(FInputs),
         "Video processing units: 0", "Video outputs: " + std::to_string(FOutputs),
         "Video monitoring outputs: 0", "Serial ports: 0"});
}

std::string TVideohubListener::LabelsBlock(TNames::TSide side,
                                           const std::vector<int>& indices) const {
    const bool input = side == TNames::TSide::Input;
    std::vector<std::string> lines;
    for (int i : indices) {
        QString name = FHub.Names().Name(side, i);
        if (name.isEmpty())
            name = (input ? QStringLiteral("Input %1") : QStringLiteral("Output %1")).arg(i + 1);
        // Names from the INI file are shown as one line of plain text.
        for (QChar& c : name)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                c = QLatin1Char(' ');
        lines.push_back(std::to_string(i) + ' ' + Utf8(name));
    }
    return videohub::Block(input ? "INPUT LABELS:" : "OUTPUT LABELS:", lines);
}

std::string TVideohubListener::LocksBlock(const TClient& client,
                                          const std::vector<int>& outputs) const {
    std::vector<std::string> lines;
    const std::uint32_t levels = Levels();
    for (int o : outputs) {
        bool locked = false, mine = true;
        for (int k = 1; k <= FHub.LevelCount(); ++k)
            if (LevelFlag(levels, k) && FHub.Locked(o, k)) {
                locked = true;
                mine = mine && FHub.LockOwner(o, k) == client.Id;
            }
        lines.push_back(std::to_string(o) + (!locked ? " U" : mine ? " O" : " L"));
    }
    return videohub::Block("VIDEO OUTPUT LOCKS:", lines);
}

std::string TVideohubListener::RoutingBlock(const std::vector<int>& outputs) const {
    std::vector<std::string> lines;
    const int level = ReportedLevel();
    for (int o : outputs)
        lines.push_back(std::to_string(o) + ' ' + std::to_string(FHub.Route(o, level)));
    return videohub::Block("VIDEO OUTPUT ROUTING:", lines);
}

std::string TVideohubListener::Dump(const TClient& client) const {
    return videohub::Block("PROTOCOL PREAMBLE:", {"Version: 2.8"}) + DeviceBlock() +
           LabelsBlock(TNames::TSide::Input, All(FInputs)) +
           LabelsBlock(TNames::TSide::Output, All(FOutputs)) + LocksBlock(client, All(FOutputs)) +
           RoutingBlock(All(FOutputs)) + videohub::Block("CONFIGURATION:", {"Take Mode: false"}) +
           videohub::Block("END PRELUDE:", {});
}

void TVideohubListener::PresenceChanged(bool present) {
    if (!present) {
        SendAll(DeviceBlock());
        return;
    }
    // The switchers are back (or here for the first time): the device with
    // its size and then everything it holds, as on connect.
    FInputs = FHub.Inputs();
    FOutputs = FHub.Outputs();
    for (int o = 0; o < 256; ++o)
        FSentRoutes[Ix(o)] = FHub.Route(o, ReportedLevel());
    for (TClient* c : Clients())
        Send(*c, DeviceBlock() + LabelsBlock(TNames::TSide::Input, All(FInputs)) +
                     LabelsBlock(TNames::TSide::Output, All(FOutputs)) +
                     LocksBlock(*c, All(FOutputs)) + RoutingBlock(All(FOutputs)));
}

void TVideohubListener::RoutesChanged(const std::vector<int>& outputs) {
    std::vector<int> changed;
    const int level = ReportedLevel();
    for (int o : outputs)
        if (o < FOutputs && FSentRoutes[Ix(o)] != FHub.Route(o, level)) {
            FSentRoutes[Ix(o)] = FHub.Route(o, level);
            changed.push_back(o);
        }
    if (!changed.empty())
        SendAll(RoutingBlock(changed));
}

void TVideohubListener::LocksChanged(const std::vector<int>& outputs) {
    const std::uint32_t levels = Levels();
    std::vector<int> changed;
    for (int o : outputs) {
        if (o >= FOutputs)
            continue;
        // FNV-1a over each level's lock and owner in scope.
        std::uint64_t key = 1469598103934665603ull;
        for (int k = 1; k <= FHub.LevelCount(); ++k)
            if (LevelFlag(levels, k)) {
                key = (key ^ (FHub.Locked(o, k) ? 1u : 0u)) * 1099511628211ull;
                key = (key ^ FHub.LockOwner(o, k)) * 1099511628211ull;
            }
        if (FSentLockKeys[Ix(o)] != key) {
            FSentLockKeys[Ix(o)] = key;
            changed.push_back(o);
        }
    }
    if (changed.empty())
        return;
    for (TClient* c : Clients())
        Send(*c, LocksBlock(*c, changed));
}

void TVideohubListener::NamesChanged(TNames::TSide side, int index) {
    const int count = side == TNames::TSide::Input ? FInputs : FOutputs;
    if (index >= count)
        return;
    SendAll(LabelsBlock(side, index < 0 ? All(count) : std::vector<int>{index}));
}
