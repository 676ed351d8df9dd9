#pragma once

#include "GatewayConfig.h"
#include "RouterHub.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <memory>
#include <string_view>
#include <vector>

class QTcpServer;
class QTcpSocket;

// What every protocol's listener does with its TCP clients: the allow-list
// and the client limit at accept (refusals logged once per address), reads
// handed to the protocol, writes that never block the gateway (a client that
// does not read is dropped), and clients freed from the event loop, never
// while a handler holds them. A protocol derives from it.
class TClientListener : public QObject {
    Q_OBJECT
public:
    struct TClient {
        virtual ~TClient() = default;
        QTcpSocket* Socket = nullptr;
        // One id per client across every listener: a lock's owner.
        TRouterHub::TClientId Id = TRouterHub::NoClient;
        QString Peer;
        // Dropped: nothing more is sent or read; freed from the event loop.
        bool Gone = false;
    };

    // protocol: its name in the log and in the operator's log ("videohub").
    TClientListener(TRouterHub& hub, const TGatewayConfig& config, const QString& protocol,
                    QObject* parent = nullptr);
    ~TClientListener() override;

    // what: the listener in the log line ("Videohub married").
    bool Listen(const TListenAddress& at, const QString& what, QString* error);
    quint16 Port() const;
    int ClientCount() const;

protected:
    virtual std::unique_ptr<TClient> NewClient() { return std::make_unique<TClient>(); }
    // A client was accepted; a protocol greets it here.
    virtual void Connected(TClient& client) = 0;
    // Bytes from a client (a handler may drop it).
    virtual void Received(TClient& client, std::string_view bytes) = 0;

    void Send(TClient& client, std::string_view bytes);
    void SendAll(std::string_view bytes);
    void Drop(TClient* client, const QString& why);
    std::vector<TClient*> Clients() const;
    // A client still served, by its id; nullptr once it has gone.
    TClient* ClientById(TRouterHub::TClientId id) const;
    // "videohub 127.0.0.1:5000": who did it, for the operator's log.
    QString Source(const TClient& client) const;
    void LogInfo(const QString& text) const;
    void LogWarning(const QString& text) const;

    TRouterHub& FHub;
    const TGatewayConfig& FConfig;

private:
    void Accept();
    void Read(TClient* client);
    void Reap();

    QString FProtocol;
    QTcpServer* FServer;
    std::vector<std::unique_ptr<TClient>> FClients;
    bool FReapQueued = false;
    QSet<QString> FRefusedLogged;
};
