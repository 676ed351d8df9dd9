#include "ClientListener.h"

#include <QLoggingCategory>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <utility>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

Q_LOGGING_CATEGORY(lcGateway, "gateway", QtInfoMsg)

namespace {

TRouterHub::TClientId NextClientId = 1;

// Writes what the socket takes now without blocking; 0 where the platform has
// no such call (the caller queues everything then).
std::size_t SendNow(qintptr fd, const char* data, std::size_t size) {
#ifdef Q_OS_UNIX
    const ssize_t n = ::send(static_cast<int>(fd), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
#else
    (void)fd;
    (void)data;
    (void)size;
    return 0;
#endif
}

} // namespace

TClientListener::TClientListener(TRouterHub& hub, const TGatewayConfig& config,
                                 const QString& protocol, QObject* parent)
    : QObject(parent), FHub(hub), FConfig(config), FProtocol(protocol),
      FServer(new QTcpServer(this)) {
    connect(FServer, &QTcpServer::newConnection, this, &TClientListener::Accept);
}

TClientListener::~TClientListener() = default;

bool TClientListener::Listen(const TListenAddress& at, const QString& what, QString* error) {
    // Connections beyond the limit are accepted and closed at once (with a
    // log line), so the backlog never fills with clients nobody serves. A
    // long backlog lets a crowd reconnecting after a restart in without SYN
    // retransmits (the default of 50 costs each one beyond it a second or more).
    FServer->setListenBacklogSize(1024);
    if (FServer->listen(at.Address, at.Port)) {
        LogInfo(QStringLiteral("%1 on %2:%3")
                    .arg(what, at.Address.toString())
                    .arg(FServer->serverPort()));
        return true;
    }
    *error = QStringLiteral("cannot listen on %1:%2 (%3)")
                 .arg(at.Address.toString())
                 .arg(at.Port)
                 .arg(FServer->errorString());
    return false;
}

quint16 TClientListener::Port() const {
    return FServer->serverPort();
}

int TClientListener::ClientCount() const {
    return static_cast<int>(
        std::count_if(FClients.begin(), FClients.end(), [](const auto& c) { return !c->Gone; }));
}

std::vector<TClientListener::TClient*> TClientListener::Clients() const {
    std::vector<TClient*> clients;
    for (const auto& c : FClients)
        if (!c->Gone)
            clients.push_back(c.get());
    return clients;
}

TClientListener::TClient* TClientListener::ClientById(TRouterHub::TClientId id) const {
    if (id == TRouterHub::NoClient)
        return nullptr;
    for (const auto& c : FClients)
        if (c->Id == id && !c->Gone)
            return c.get();
    return nullptr;
}

QString TClientListener::Source(const TClient& client) const {
    return FProtocol + QLatin1Char(' ') + client.Peer;
}

void TClientListener::LogInfo(const QString& text) const {
    qCInfo(lcGateway).noquote() << FProtocol + QLatin1String(": ") + text;
}

void TClientListener::LogWarning(const QString& text) const {
    qCWarning(lcGateway).noquote() << FProtocol + QLatin1String(": ") + text;
}

void TClientListener::Accept() {
    while (QTcpSocket* socket = FServer->nextPendingConnection()) {
        const QString peer = socket->peerAddress().toString() + QLatin1Char(':') +
                             QString::number(socket->peerPort());
        QString refusal;
        if (!FConfig.Allowed.Allows(socket->peerAddress()))
            refusal = QStringLiteral("not in the allowed networks");
        else if (ClientCount() >= FConfig.MaxClients)
            refusal = QStringLiteral("%1 clients already").arg(ClientCount());
        if (!refusal.isEmpty()) {
            // Once per address: a connection flood does not flood the log.
            const QString from = socket->peerAddress().toString();
            if (!FRefusedLogged.contains(from) && FRefusedLogged.size() < 4096) {
                FRefusedLogged.insert(from);
                LogInfo(
                    QStringLiteral("Refused %1: %2 (said once per address)").arg(peer, refusal));
            }
            socket->abort();
            socket->deleteLater();
            continue;
        }
        std::unique_ptr<TClient> client = NewClient();
        client->Socket = socket;
        client->Id = NextClientId++;
        client->Peer = peer;
        TClient* c = client.get();
        FClients.push_back(std::move(client));
        socket->setParent(this);
        // Replies and broadcasts are small and must not wait for the peer's
        // delayed acknowledgement (Nagle's algorithm would hold the second one).
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { Read(c); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, c] { Drop(c, QStringLiteral("disconnected")); });
        LogInfo(QStringLiteral("Client %1 connected").arg(peer));
        Connected(*c);
    }
}

void TClientListener::Drop(TClient* client, const QString& why) {
    if (client->Gone)
        return;
    client->Gone = true;
    LogInfo(QStringLiteral("Client %1 left: %2").arg(client->Peer, why));
    if (!FConfig.PersistLocks)
        FHub.ReleaseLocks(client->Id, Source(*client));
    client->Socket->disconnect(this);
    client->Socket->abort();
    // Freed from the event loop: the caller may still hold the client.
    if (!std::exchange(FReapQueued, true))
        QMetaObject::invokeMethod(this, &TClientListener::Reap, Qt::QueuedConnection);
}

void TClientListener::Reap() {
    FReapQueued = false;
    for (auto it = FClients.begin(); it != FClients.end();) {
        if ((*it)->Gone) {
            (*it)->Socket->deleteLater();
            it = FClients.erase(it);
        } else {
            ++it;
        }
    }
}

void TClientListener::Read(TClient* client) {
    while (!client->Gone && client->Socket->bytesAvailable() > 0) {
        const QByteArray bytes = client->Socket->read(64 * 1024);
        Received(*client,
                 std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
}

void TClientListener::Send(TClient& client, std::string_view bytes) {
    if (client.Gone)
        return;
    // With nothing queued, the bytes go to the kernel at once: through Qt's
    // buffer a broadcast to a thousand clients spent 4 ms queueing before the
    // first byte left. Whatever the kernel does not take is queued as usual.
    std::size_t sent = 0;
    if (client.Socket->bytesToWrite() == 0)
        sent = SendNow(client.Socket->socketDescriptor(), bytes.data(), bytes.size());
    if (sent < bytes.size())
        client.Socket->write(bytes.data() + sent, static_cast<qint64>(bytes.size() - sent));
    // A client that does not read is dropped before its queue holds the gateway's memory.
    if (client.Socket->bytesToWrite() > FConfig.MaxQueuedBytes)
        Drop(&client, QStringLiteral("it does not read (%1 bytes waiting)")
                          .arg(client.Socket->bytesToWrite()));
}

void TClientListener::SendAll(std::string_view bytes) {
    for (TClient* c : Clients())
        Send(*c, bytes);
}
