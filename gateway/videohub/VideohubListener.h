#pragma once

#include "GatewayConfig.h"
#include "RouterHub.h"
#include "VideohubCodec.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <array>
#include <memory>
#include <string>
#include <vector>

class QTcpServer;
class QTcpSocket;

// One Videohub device on a TCP port: the married device (level 0: routes and
// locks every CONTROL level, reports the primary level's routing) or the
// device of one level. Each client gets the state on connect, its requests go
// to the hub, and every change the hub reports goes to every client.
class TVideohubListener : public QObject {
    Q_OBJECT
public:
    TVideohubListener(TRouterHub& hub, const TGatewayConfig& config, int level,
                      QObject* parent = nullptr);
    ~TVideohubListener() override;

    bool Listen(const TListenAddress& at, QString* error);
    quint16 Port() const;
    int ClientCount() const;

private:
    struct TClient {
        QTcpSocket* Socket = nullptr;
        TRouterHub::TClientId Id = TRouterHub::NoClient;
        QString Peer;
        std::unique_ptr<videohub::TParser> Parser;
        // Dropped: nothing more is sent or read; freed from the event loop.
        bool Gone = false;
    };

    void Accept();
    void Read(TClient* client);
    void Drop(TClient* client, const QString& why);
    void Reap();
    std::vector<TClient*> Clients() const;
    void Handle(TClient& client, const videohub::TBlock& block);
    bool HandleRouting(TClient& client, const videohub::TBlock& block);
    bool HandleLocks(TClient& client, const videohub::TBlock& block);
    bool HandleLabels(TClient& client, const videohub::TBlock& block, TNames::TSide side);
    void Send(TClient& client, const std::string& text);
    void SendAll(const std::string& text);

    // The levels a request changes, and the level whose routing is reported.
    std::uint32_t Levels() const;
    int ReportedLevel() const;
    QString Source(const TClient& client) const;

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

    TRouterHub& FHub;
    const TGatewayConfig& FConfig;
    int FLevel;
    QTcpServer* FServer;
    std::vector<std::unique_ptr<TClient>> FClients;
    // What the clients were last told: the reported route and the lock key
    // (locked levels in scope, and their owners) per output.
    std::array<int, 256> FSentRoutes{};
    std::array<std::uint64_t, 256> FSentLockKeys{};
    int FInputs = 0, FOutputs = 0;
    bool FReapQueued = false;
    QSet<QString> FRefusedLogged;
};
