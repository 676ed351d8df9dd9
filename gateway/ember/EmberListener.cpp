#include "EmberListener.h"

#include "Index.h"
#include "LabelText.h"

#include <QLoggingCategory>
#include <QTimer>

#include <algorithm>
#include <map>

Q_LOGGING_CATEGORY(lcEmber, "gateway.ember", QtInfoMsg)

namespace {

using glow::TKind;
using glow::TPath;
using glow::TValue;

// The top node and its branches.
constexpr std::uint32_t Top = 1, Identity = 1, Router = 2, Labels = 3, Parameters = 4, Salvos = 5;
constexpr std::uint32_t TargetsNode = 1, SourcesNode = 2, LockParameter = 1, SourceParameter = 2;
constexpr std::uint32_t TakeParameter = 1, ListNode = 2, TakeFunction = 3;
// Every node and matrix of four 256 x 256 levels fits.
constexpr std::size_t MaxWatched = 4096;

std::vector<std::uint32_t> Range(std::uint32_t from, std::uint32_t to) {
    std::vector<std::uint32_t> r;
    for (std::uint32_t n = from; n <= to; ++n)
        r.push_back(n);
    return r;
}

std::vector<std::uint32_t> Count(int count) {
    return count > 0 ? Range(0, static_cast<std::uint32_t>(count - 1))
                     : std::vector<std::uint32_t>{};
}

std::string Utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

// A path as one number (ten bits per step, up to six steps; the depth in the
// low bits): every element of the tree but the salvos beyond 1,023 has one.
std::uint64_t Key(const TPath& path) {
    if (path.size() > 6)
        return 0;
    std::uint64_t key = path.size();
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] >= 1024)
            return 0;
        key |= std::uint64_t{path[i]} << (4 + 10 * i);
    }
    return key;
}

glow::TParameterInfo Info(const char* identifier, TValue value, bool writable,
                          const QString& description = {}) {
    glow::TParameterInfo p;
    p.Identifier = identifier;
    p.Description = Utf8(description);
    p.Value = std::move(value);
    p.Access = writable ? glow::TAccess::ReadWrite : glow::TAccess::Read;
    return p;
}

bool Is(const TPath& path, std::initializer_list<std::uint32_t> head) {
    return path.size() >= head.size() && std::equal(head.begin(), head.end(), path.begin());
}

} // namespace

TEmberListener::TEmberListener(TRouterHub& hub, const TGatewayConfig& config, QObject* parent)
    : TClientListener(hub, config, QStringLiteral("ember"), parent), FKeepAlive(new QTimer(this)) {
    FClock.start(); // keep-alives run on a clock that never jumps
    for (auto* sent : {&FSentRoutes, &FSentLocks})
        for (auto& level : *sent)
            level.fill(-1);
    connect(FKeepAlive, &QTimer::timeout, this, &TEmberListener::CheckKeepAlive);
    SetKeepAliveMs(FKeepAliveMs);
    connect(&hub, &TRouterHub::PresenceChanged, this, &TEmberListener::PresenceChanged);
    connect(&hub, &TRouterHub::RoutesChanged, this, &TEmberListener::RoutesChanged);
    connect(&hub, &TRouterHub::LocksChanged, this, &TEmberListener::LocksChanged);
    connect(&hub, &TRouterHub::NamesChanged, this, &TEmberListener::NamesChanged);
}

TEmberListener::~TEmberListener() = default;

bool TEmberListener::Listen(const TListenAddress& at, QString* error) {
    return TClientListener::Listen(at, QStringLiteral("Ember+ provider"), error);
}

void TEmberListener::SetKeepAliveMs(int ms) {
    FKeepAliveMs = std::max(ms, 10);
    FKeepAlive->start(std::clamp(FKeepAliveMs / 4, 5, 1000));
}

std::unique_ptr<TClientListener::TClient> TEmberListener::NewClient() {
    auto c = std::make_unique<TConnection>();
    c->LastHeard = FClock.elapsed();
    return c;
}

void TEmberListener::Connected(TClient&) {
    // A consumer starts by asking for the root.
}

void TEmberListener::Received(TClient& client, std::string_view bytes) {
    auto& c = static_cast<TConnection&>(client);
    c.LastHeard = FClock.elapsed();
    c.Asked = false;
    std::vector<s101::TMessage> messages;
    if (!c.Deframer.Feed(bytes, messages))
        return Drop(&client, QStringLiteral("a message over %1 bytes").arg(MaxMessageBytes));
    for (const s101::TMessage& m : messages) {
        if (m.Command == s101::TCommand::KeepAliveRequest) {
            Send(client, s101::KeepAliveResponse());
        } else if (m.Command == s101::TCommand::Ember) {
            std::vector<glow::TRequest> requests;
            std::string why;
            if (!glow::DecodeRequests(m.Payload, requests, &why))
                LogInfo(QStringLiteral("Client %1: a message that is no Glow (%2)")
                            .arg(client.Peer, QString::fromStdString(why)));
            for (const glow::TRequest& r : requests) {
                Handle(c, r);
                if (client.Gone)
                    return;
            }
        }
        if (client.Gone)
            return;
    }
}

void TEmberListener::CheckKeepAlive() {
    const qint64 now = FClock.elapsed();
    for (TClient* client : Clients()) {
        auto* c = static_cast<TConnection*>(client);
        const qint64 silent = now - c->LastHeard;
        if (c->Asked && silent > 2 * FKeepAliveMs) {
            Drop(c, QStringLiteral("it does not answer keep-alives"));
        } else if (!c->Asked && silent > FKeepAliveMs) {
            c->Asked = true;
            Send(*c, s101::KeepAliveRequest());
        }
    }
}

void TEmberListener::SendGlow(TClient& client, const std::vector<std::string>& elements) {
    if (!elements.empty())
        Send(client, s101::EncodeMessage(glow::Root(elements)));
}

void TEmberListener::Handle(TConnection& client, const glow::TRequest& request) {
    using T = glow::TRequest::TType;
    qCDebug(lcEmber).noquote() << client.Peer << "request" << int(request.Type)
                               << int(request.Command)
                               << QString::fromStdString(glow::PathText(request.Path));
    switch (request.Type) {
    case T::SetValue:
        return SetValue(client, request);
    case T::Connect:
        return Connect(client, request);
    case T::Command:
        break;
    }
    switch (request.Command) {
    case glow::TCommandType::GetDirectory:
    case glow::TCommandType::Subscribe:
        return Directory(client, request.Path);
    case glow::TCommandType::Unsubscribe:
        client.Watched.erase(Key(request.Path));
        return;
    case glow::TCommandType::Invoke:
        return Invoke(client, request);
    }
}

void TEmberListener::Directory(TConnection& client, const TPath& path) {
    if (Is(path, {Top, Salvos}))
        FHub.ListSalvos(); // once per request: the files may have changed
    const std::optional<TItem> item = Item(path);
    if (!item)
        return; // nothing there: a consumer asks again or gives up
    if (const std::uint64_t key = Key(path); key != 0 && client.Watched.size() < MaxWatched)
        client.Watched.insert(key);
    if (path.empty()) {
        std::vector<std::string> top;
        for (std::uint32_t n : item->Children)
            if (const auto child = Item({n}))
                top.push_back(glow::Element(child->Kind, n, child->Contents));
        return SendGlow(client, top);
    }
    SendGlow(client, {Describe(path, *item)});
}

std::string TEmberListener::Describe(const TPath& path, const TItem& item) const {
    if (item.Kind == TKind::Matrix) {
        const int level = static_cast<int>(path.back());
        std::vector<int> targets(static_cast<std::size_t>(std::max(FHub.Outputs(), 0)));
        for (std::size_t t = 0; t < targets.size(); ++t)
            targets[t] = static_cast<int>(t);
        return Connections(level, targets, glow::TDisposition::Tally, true);
    }
    std::vector<std::string> children;
    for (std::uint32_t n : item.Children) {
        TPath p = path;
        p.push_back(n);
        if (const auto child = Item(p))
            children.push_back(glow::Element(child->Kind, n, child->Contents));
    }
    return glow::Qualified(item.Kind, path, item.Contents, children, {}, true);
}

std::string TEmberListener::Connections(int level, const std::vector<int>& targets,
                                        glow::TDisposition disposition, bool directory) const {
    std::vector<std::string> connections;
    for (int t : targets)
        connections.push_back(glow::Connection(
            {t, {static_cast<std::uint32_t>(FHub.Route(t, level))}, 0, disposition}));
    const auto item = Item({Top, Router, static_cast<std::uint32_t>(level)});
    return glow::Qualified(TKind::Matrix, {Top, Router, static_cast<std::uint32_t>(level)},
                           item ? item->Contents : std::string(), {}, connections, directory);
}

bool TEmberListener::Writable(int level) const {
    return !FConfig.ReadOnly && LevelFlag(FHub.ControlLevels(), level);
}

TValue TEmberListener::LabelValue(TNames::TSide side, int index) const {
    QString name = FHub.Names().Name(side, index);
    if (name.isEmpty())
        name = (side == TNames::TSide::Input ? QStringLiteral("Input %1")
                                             : QStringLiteral("Output %1"))
                   .arg(index + 1);
    // Names from the INI file go out as one line of plain text.
    for (QChar& c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return TValue::Of(Utf8(name));
}

std::optional<TEmberListener::TItem> TEmberListener::Item(const TPath& path) const {
    const int levels = FHub.LevelCount(), inputs = FHub.Inputs(), outputs = FHub.Outputs();
    const auto level = [&](std::size_t at) {
        return path.size() > at && path[at] >= 1 && static_cast<int>(path[at]) <= levels
                   ? static_cast<int>(path[at])
                   : 0;
    };
    const auto levelName = [&](int k) { return Utf8(FHub.LevelName(k)); };
    const auto levelId = [](int k) { return "level" + std::to_string(k); };
    const auto node = [](const std::string& id, const std::string& description,
                         std::vector<std::uint32_t> children) {
        return TItem{TKind::Node, glow::NodeContents(id, description), std::move(children)};
    };
    const auto parameter = [](const glow::TParameterInfo& info) {
        return TItem{TKind::Parameter, glow::ParameterContents(info), {}};
    };
    const std::size_t n = path.size();
    if (n == 0)
        return TItem{TKind::Node, {}, {Top}};
    if (path[0] != Top)
        return std::nullopt;
    if (n == 1) {
        const QString name =
            FConfig.FriendlyName.isEmpty() ? QStringLiteral("matrixgateway") : FConfig.FriendlyName;
        return node("matrixgateway", Utf8(name.simplified()), Range(Identity, Salvos));
    }
    const std::uint32_t branch = path[1];
    const bool writable = !FConfig.ReadOnly;
    if (branch == Identity) {
        if (n == 2)
            return node("identity", "what serves the switchers", Range(1, 4));
        if (n != 3)
            return std::nullopt;
        switch (path[2]) {
        case 1:
            return parameter(Info("product", TValue::Of(std::string("matrixgateway")), false));
        case 2:
            return parameter(Info("version", TValue::Of(std::string(MATRIXPANEL_VERSION)), false));
        case 3:
            return parameter(Info("name", TValue::Of(Utf8(FConfig.FriendlyName)), false));
        case 4:
            return parameter(Info("present", TValue::OfBool(FHub.Present()), false,
                                  QStringLiteral("the switchers answer")));
        }
        return std::nullopt;
    }
    if (branch == Router) {
        if (n == 2)
            return node("router", "one matrix per level",
                        Range(1, static_cast<std::uint32_t>(levels)));
        const int k = level(2);
        if (n != 3 || k == 0)
            return std::nullopt;
        glow::TMatrixInfo m;
        m.Identifier = levelId(k);
        m.Description = levelName(k);
        m.Targets = outputs;
        m.Sources = inputs;
        m.ParametersLocation = {Top, Parameters, static_cast<std::uint32_t>(k)};
        m.LabelsPath = {Top, Labels, static_cast<std::uint32_t>(k)};
        m.LabelsDescription = "names";
        return TItem{TKind::Matrix, glow::MatrixContents(m), {}};
    }
    if (branch == Labels) {
        if (n == 2)
            return node("labels", "input and output names",
                        Range(1, static_cast<std::uint32_t>(levels)));
        const int k = level(2);
        if (k == 0)
            return std::nullopt;
        if (n == 3)
            return node(levelId(k), levelName(k), {TargetsNode, SourcesNode});
        if (path[3] != TargetsNode && path[3] != SourcesNode)
            return std::nullopt;
        const bool targets = path[3] == TargetsNode;
        const int count = targets ? outputs : inputs;
        if (n == 4)
            return node(targets ? "targets" : "sources", {}, Count(count));
        if (n != 5 || static_cast<int>(path[4]) >= count)
            return std::nullopt;
        const int i = static_cast<int>(path[4]);
        const std::string id = (targets ? "out" : "in") + std::to_string(i + 1);
        return parameter(Info(id.c_str(),
                              LabelValue(targets ? TNames::TSide::Output : TNames::TSide::Input, i),
                              writable));
    }
    if (branch == Parameters) {
        if (n == 2)
            return node("parameters", "per output: lock and source",
                        Range(1, static_cast<std::uint32_t>(levels)));
        const int k = level(2);
        if (k == 0)
            return std::nullopt;
        if (n == 3)
            return node(levelId(k), levelName(k), {TargetsNode});
        if (path[3] != TargetsNode)
            return std::nullopt;
        if (n == 4)
            return node("targets", {}, Count(outputs));
        const int t = static_cast<int>(path[4]);
        if (t >= outputs)
            return std::nullopt;
        if (n == 5)
            return node("out" + std::to_string(t + 1),
                        Utf8(FHub.Names().Name(TNames::TSide::Output, t)),
                        {LockParameter, SourceParameter});
        if (n != 6)
            return std::nullopt;
        if (path[5] == LockParameter)
            return parameter(Info("lock", TValue::OfBool(FHub.Locked(t, k)), Writable(k)));
        if (path[5] == SourceParameter) {
            glow::TParameterInfo p = Info("source", TValue::Of(FHub.Route(t, k)), Writable(k),
                                          QStringLiteral("input number from 0"));
            p.Minimum = 0;
            p.Maximum = std::max(inputs - 1, 0);
            return parameter(p);
        }
        return std::nullopt;
    }
    if (branch == Salvos) {
        if (n == 2)
            return node("salvos", "stored salvos of the matrix size",
                        {TakeParameter, ListNode, TakeFunction});
        if (path[2] == TakeParameter && n == 3)
            return parameter(Info("take", TValue::Of(Utf8(FLastSalvo)), writable,
                                  QStringLiteral("write a salvo's name to take it")));
        if (path[2] == TakeFunction && n == 3)
            return TItem{TKind::Function,
                         glow::FunctionContents("take", "takes the salvo named",
                                                {{glow::TParameterType::String, "name"}},
                                                {{glow::TParameterType::Boolean, "taken"}}),
                         {}};
        if (path[2] != ListNode)
            return std::nullopt;
        const auto count = static_cast<std::uint32_t>(FHub.SalvoCount());
        if (n == 3)
            return node("list", {}, Range(1, count));
        if (n != 4 || path[3] < 1 || path[3] > count)
            return std::nullopt;
        return parameter(Info(("salvo" + std::to_string(path[3])).c_str(),
                              TValue::Of(Utf8(FHub.SalvoName(static_cast<int>(path[3]) - 1))),
                              false));
    }
    return std::nullopt;
}

std::string TEmberListener::ParameterValue(const TPath& path) const {
    const auto item = Item(path);
    return glow::Qualified(TKind::Parameter, path, item ? item->Contents : std::string());
}

void TEmberListener::AnswerAfterReadBack(const TClient& client,
                                         std::function<std::vector<std::string>()> elements) {
    const TRouterHub::TClientId id = client.Id;
    FHub.AfterReadBack([this, id, elements = std::move(elements)] {
        if (TClient* c = ClientById(id))
            SendGlow(*c, elements());
    });
}

void TEmberListener::SetValue(TConnection& client, const glow::TRequest& request) {
    const TPath& p = request.Path;
    const auto item = Item(p);
    if (!item || item->Kind != TKind::Parameter)
        return;
    const TValue& v = request.Value;
    const QString source = Source(client);
    const auto answerNow = [&] { SendGlow(client, {ParameterValue(p)}); };
    const auto answerLater = [&] {
        AnswerAfterReadBack(client,
                            [this, p] { return std::vector<std::string>{ParameterValue(p)}; });
    };
    if (FConfig.ReadOnly)
        return answerNow();
    if (Is(p, {Top, Labels}) && p.size() == 5 && v.Type == TValue::TType::String) {
        if (gateway::PlainText(v.String)) {
            const auto side = p[3] == TargetsNode ? TNames::TSide::Output : TNames::TSide::Input;
            QString error;
            if (!FHub.Rename(side, {{static_cast<int>(p[4]), QString::fromStdString(v.String)}},
                             source, &error))
                LogWarning(QStringLiteral("Cannot save the names: %1").arg(error));
        }
        return answerNow();
    }
    if (Is(p, {Top, Parameters}) && p.size() == 6 && FHub.Present()) {
        const int k = static_cast<int>(p[2]), t = static_cast<int>(p[4]);
        if (!Writable(k))
            return answerNow();
        if (p[5] == LockParameter && v.Type == TValue::TType::Boolean) {
            FHub.SetLocks({t}, PackedFlag(k), v.Boolean, client.Id, FConfig.ForceUnlock, source);
            return answerLater();
        }
        if (p[5] == SourceParameter && v.Type == TValue::TType::Integer && v.Integer >= 0 &&
            v.Integer < FHub.Inputs()) {
            FHub.RouteAll({{t, static_cast<int>(v.Integer)}}, PackedFlag(k), client.Id, source);
            return answerLater();
        }
        return answerNow();
    }
    if (p == TPath{Top, Salvos, TakeParameter} && v.Type == TValue::TType::String) {
        QString error;
        if (FHub.TakeSalvo(QString::fromStdString(v.String), source, &error)) {
            FLastSalvo = QString::fromStdString(v.String);
            return answerLater();
        }
        LogInfo(QStringLiteral("Client %1: %2").arg(client.Peer, error));
    }
    answerNow();
}

void TEmberListener::Connect(TConnection& client, const glow::TRequest& request) {
    const TPath& p = request.Path;
    if (!Is(p, {Top, Router}) || p.size() != 3 || !Item(p))
        return;
    const int k = static_cast<int>(p[2]);
    std::vector<std::pair<int, int>> routes;
    std::vector<int> refused;
    for (const glow::TConnection& c : request.Connections) {
        if (c.Target < 0 || c.Target >= FHub.Outputs())
            continue;
        const int t = static_cast<int>(c.Target);
        // One source per target (oneToN); a disconnect has no meaning on a router.
        if (!Writable(k) || !FHub.Present() || c.Operation == 2 || c.Sources.size() != 1 ||
            static_cast<int>(c.Sources[0]) >= FHub.Inputs()) {
            refused.push_back(t);
            continue;
        }
        routes.emplace_back(t, static_cast<int>(c.Sources[0]));
    }
    std::vector<int> locked;
    if (!routes.empty())
        locked = FHub.RouteAll(routes, PackedFlag(k), client.Id, Source(client));
    // What could not be done is answered now with the target's real state.
    if (!refused.empty())
        SendGlow(client, {Connections(k, refused, glow::TDisposition::Tally)});
    if (!locked.empty())
        SendGlow(client, {Connections(k, locked, glow::TDisposition::Locked)});
    std::vector<std::pair<int, int>> sent;
    for (const auto& r : routes)
        if (std::find(locked.begin(), locked.end(), r.first) == locked.end())
            sent.push_back(r);
    if (sent.empty())
        return;
    AnswerAfterReadBack(client, [this, k, sent] {
        std::vector<int> done, undone;
        for (const auto& [t, s] : sent)
            (FHub.Route(t, k) == s ? done : undone).push_back(t);
        std::vector<std::string> elements;
        if (!done.empty())
            elements.push_back(Connections(k, done, glow::TDisposition::Modified));
        if (!undone.empty())
            elements.push_back(Connections(k, undone, glow::TDisposition::Tally));
        return elements;
    });
}

void TEmberListener::Invoke(TConnection& client, const glow::TRequest& request) {
    const auto reply = [this, &client, id = request.InvocationId](bool success) {
        Send(client,
             s101::EncodeMessage(glow::InvocationResult(id, success, {TValue::OfBool(success)})));
    };
    if (request.Path != TPath{Top, Salvos, TakeFunction})
        return reply(false);
    if (FConfig.ReadOnly || request.Arguments.size() != 1 ||
        request.Arguments[0].Type != TValue::TType::String)
        return reply(false);
    QString error;
    const QString name = QString::fromStdString(request.Arguments[0].String);
    if (!FHub.TakeSalvo(name, Source(client), &error)) {
        LogInfo(QStringLiteral("Client %1: %2").arg(client.Peer, error));
        return reply(false);
    }
    FLastSalvo = name;
    // Answered at once: the routes it changes follow as they are read back.
    reply(true);
}

void TEmberListener::Publish(std::vector<TChange> changes) {
    if (changes.empty())
        return;
    for (TChange& change : changes) {
        change.Key = Key(change.Path);
        if (change.ToParent)
            change.ParentKey = Key(TPath(change.Path.begin(), change.Path.end() - 1));
    }
    // Consumers that asked for the same elements get the same bytes: each
    // distinct selection is encoded once, however many consumers share it.
    std::map<std::vector<bool>, std::string> encoded;
    for (TClient* client : Clients()) {
        auto* c = static_cast<TConnection*>(client);
        std::vector<bool> selected(changes.size());
        bool any = false;
        for (std::size_t i = 0; i < changes.size(); ++i) {
            selected[i] = c->Watched.count(changes[i].Key) ||
                          (changes[i].ParentKey && c->Watched.count(changes[i].ParentKey));
            any = any || selected[i];
        }
        if (!any)
            continue;
        auto [at, added] = encoded.try_emplace(selected);
        if (added) {
            std::vector<std::string> elements;
            for (std::size_t i = 0; i < changes.size(); ++i)
                if (selected[i])
                    elements.push_back(changes[i].Element);
            at->second = s101::EncodeMessage(glow::Root(elements));
        }
        Send(*c, at->second);
    }
}

void TEmberListener::PresenceChanged(bool present) {
    std::vector<TChange> changes{{{Top, Identity, 4}, ParameterValue({Top, Identity, 4})}};
    if (present) {
        // Sizes may have changed: every matrix again, with its connections.
        for (int k = 1; k <= FHub.LevelCount(); ++k) {
            for (int o = 0; o < 256; ++o) {
                FSentRoutes[Ix(k - 1)][Ix(o)] = FHub.Route(o, k);
                FSentLocks[Ix(k - 1)][Ix(o)] = FHub.Locked(o, k);
            }
            const TPath m{Top, Router, static_cast<std::uint32_t>(k)};
            changes.push_back({m, Describe(m, *Item(m)), false});
        }
    }
    Publish(std::move(changes));
}

void TEmberListener::RoutesChanged(const std::vector<int>& outputs) {
    std::vector<TChange> changes;
    for (int k = 1; k <= FHub.LevelCount(); ++k) {
        std::vector<int> changed;
        for (int o : outputs) {
            int& sent = FSentRoutes[Ix(k - 1)][Ix(o)];
            if (o >= FHub.Outputs() || sent == FHub.Route(o, k))
                continue;
            sent = FHub.Route(o, k);
            changed.push_back(o);
            const TPath p{Top,
                          Parameters,
                          static_cast<std::uint32_t>(k),
                          TargetsNode,
                          static_cast<std::uint32_t>(o),
                          SourceParameter};
            changes.push_back({p, ParameterValue(p)});
        }
        if (!changed.empty())
            changes.push_back({{Top, Router, static_cast<std::uint32_t>(k)},
                               Connections(k, changed, glow::TDisposition::Tally),
                               false});
    }
    Publish(std::move(changes));
}

void TEmberListener::LocksChanged(const std::vector<int>& outputs) {
    std::vector<TChange> changes;
    for (int k = 1; k <= FHub.LevelCount(); ++k)
        for (int o : outputs) {
            int& sent = FSentLocks[Ix(k - 1)][Ix(o)];
            if (o >= FHub.Outputs() || sent == int(FHub.Locked(o, k)))
                continue;
            sent = FHub.Locked(o, k);
            const TPath p{Top,
                          Parameters,
                          static_cast<std::uint32_t>(k),
                          TargetsNode,
                          static_cast<std::uint32_t>(o),
                          LockParameter};
            changes.push_back({p, ParameterValue(p)});
        }
    Publish(std::move(changes));
}

void TEmberListener::NamesChanged(TNames::TSide side, int index) {
    const bool output = side == TNames::TSide::Output;
    const int count = output ? FHub.Outputs() : FHub.Inputs();
    std::vector<TChange> changes;
    for (int k = 1; k <= FHub.LevelCount(); ++k)
        for (int i = index < 0 ? 0 : index; i < (index < 0 ? count : std::min(index + 1, count));
             ++i) {
            const TPath p{Top, Labels, static_cast<std::uint32_t>(k),
                          output ? TargetsNode : SourcesNode, static_cast<std::uint32_t>(i)};
            changes.push_back({p, ParameterValue(p)});
        }
    Publish(std::move(changes));
}
