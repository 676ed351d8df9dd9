#pragma once

#include "ClientListener.h"
#include "VideohubCodec.h"

#include <QString>

#include <array>
#include <memory>
#include <string>
#include <vector>

// One Videohub device on a TCP port: the married device (level 0: routes and
// locks every CONTROL level, reports the primary level's routing) or the
// device of one level. Each client gets the state on connect, its requests go
// to the hub, and every change the hub reports goes to every client.
class TVideohubListener : public TClientListener {
    Q_OBJECT
public:
    TVideohubListener(TRouterHub& hub, const TGatewayConfig& config, int level,
                      QObject* parent = nullptr);
    ~TVideohubListener() override;

    bool Listen(const TListenAddress& at, QString* error);

private:
    struct TConnection : TClient {
        std::unique_ptr<videohub::TParser> Parser;
    };

    std::unique_ptr<TClient> NewClient() override;
    void Connected(TClient& client) override;
    void Received(TClient& client, std::string_view bytes) override;
    void Handle(TClient& client, const videohub::TBlock& block);
    bool HandleRouting(TClient& client, const videohub::TBlock& block);
    bool HandleLocks(TClient& client, const videohub::TBlock& block);
    bool HandleLabels(TClient& client, const videohub::TBlock& block, TNames::TSide side);

    // The levels a request changes, and the level whose routing is reported.
    std::uint32_t Levels() const;
    int ReportedLevel() const;

    std::string DeviceBlock() const;
    std::string LabelsBlock(TNames::TSide side, const std::vector<int>& indices) const;
    std::string LocksBlock(const TClient& client, const std::vector<int>& outputs) const;
    std::string RoutingBlock(const std::vector<int>& outputs) const;
    std::string Dump(const TClient& client) const;
    std::vector<int> All(int count) const;

    void PresenceChanged(bool present);
    void RoutesChanged(const std::vector<int>& outputs);
    void LocksChanged(const std::vector<int>& outputs);
    void NamesChanged(TNames::TSide side, int index);

    int FLevel;
    // What the clients were last told: the reported route and the lock key
    // (locked levels in scope, and their owners) per output.
    std::array<int, 256> FSentRoutes{};
    std::array<std::uint64_t, 256> FSentLockKeys{};
    int FInputs = 0, FOutputs = 0;
};
