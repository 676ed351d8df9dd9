#pragma once

#include "ClientListener.h"
#include "Glow.h"
#include "S101.h"

#include <QElapsedTimer>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QTimer;

// The switchers as an Ember+ provider: one oneToN matrix per level, the
// names as label parameters, per target a lock and a source parameter, the
// salvos. Consumers walk the tree, route, lock and rename through the hub;
// every change the hub reports reaches the consumers that asked for the
// elements it touches.
//
// The tree (numbers from 1 at each level, signals from 0):
//   1 matrixgateway
//     1 identity: 1 product, 2 version, 3 name, 4 present
//     2 router: k = the matrix of level k
//     3 labels: k level: 1 targets, 2 sources: i = a name
//     4 parameters: k level: 1 targets: t = output: 1 lock, 2 source
//     5 salvos: 1 take (write a name), 2 list: n = a name, 3 take (function)
class TEmberListener : public TClientListener {
    Q_OBJECT
public:
    TEmberListener(TRouterHub& hub, const TGatewayConfig& config, QObject* parent = nullptr);
    ~TEmberListener() override;

    bool Listen(const TListenAddress& at, QString* error);

    // A consumer silent this long is sent a keep-alive; one that stays silent
    // as long again is dropped.
    void SetKeepAliveMs(int ms);
    // A message (one frame or several) a consumer may send, in bytes.
    static constexpr std::size_t MaxMessageBytes = 256 * 1024;

private:
    struct TConnection : TClient {
        explicit TConnection() : Deframer(MaxMessageBytes) {}
        s101::TDeframer Deframer;
        // Elements this consumer asked for (packed paths): changes inside them reach it.
        std::set<std::uint64_t> Watched;
        qint64 LastHeard = 0;
        bool Asked = false;
    };
    struct TItem {
        glow::TKind Kind = glow::TKind::Node;
        std::string Contents;
        std::vector<std::uint32_t> Children;
    };
    struct TChange {
        glow::TPath Path;
        std::string Element;
        // Also for consumers that asked for its parent (parameters).
        bool ToParent = true;
        // Packed: the element and its parent.
        std::uint64_t Key = 0, ParentKey = 0;
    };

    std::unique_ptr<TClient> NewClient() override;
    void Connected(TClient& client) override;
    void Received(TClient& client, std::string_view bytes) override;
    void CheckKeepAlive();

    void Handle(TConnection& client, const glow::TRequest& request);
    void Directory(TConnection& client, const glow::TPath& path);
    void SetValue(TConnection& client, const glow::TRequest& request);
    void Connect(TConnection& client, const glow::TRequest& request);
    void Invoke(TConnection& client, const glow::TRequest& request);
    void SendGlow(TClient& client, const std::vector<std::string>& elements);
    // Sends `path`'s current value (or connections) to the client, once what
    // was asked of the switchers has been read back.
    void AnswerAfterReadBack(const TClient& client,
                             std::function<std::vector<std::string>()> elements);

    std::optional<TItem> Item(const glow::TPath& path) const;
    std::string Describe(const glow::TPath& path, const TItem& item) const;
    std::string ParameterValue(const glow::TPath& path) const;
    std::string Connections(int level, const std::vector<int>& targets,
                            glow::TDisposition disposition, bool directory = false) const;
    bool Writable(int level) const;
    glow::TValue LabelValue(TNames::TSide side, int index) const;

    void Publish(std::vector<TChange> changes);
    void PresenceChanged(bool present);
    void RoutesChanged(const std::vector<int>& outputs);
    void LocksChanged(const std::vector<int>& outputs);
    void NamesChanged(TNames::TSide side, int index);

    QTimer* FKeepAlive;
    QElapsedTimer FClock;
    int FKeepAliveMs = 5000;
    // What the consumers were last told per level: route and lock of each output.
    std::array<std::array<int, 256>, 4> FSentRoutes{};
    std::array<std::array<int, 256>, 4> FSentLocks{};
    QString FLastSalvo;
};
