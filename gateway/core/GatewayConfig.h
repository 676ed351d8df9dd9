#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

#include <array>
#include <optional>

class TIniFile;

// An address and port to listen on.
struct TListenAddress {
    QHostAddress Address;
    quint16 Port = 0;
};

// "ADDRESS:PORT" (IPv6 as "[ADDRESS]:PORT"); nothing on bad text.
std::optional<TListenAddress> ParseListenAddress(const QString& text);

// Client networks a listener accepts, as CIDR ranges ("127.0.0.0/8, ::1/128").
class TNetworkList {
public:
    // False (with the offending item in `error`) on bad text; an empty text allows nobody.
    bool Parse(const QString& text, QString* error);
    bool Allows(const QHostAddress& client) const;
    QString Text() const;

private:
    QList<QPair<QHostAddress, int>> FNetworks;
};

// What the gateway serves and to whom: the [GATEWAY] section of its INI file.
struct TGatewayConfig {
    // The married Videohub listener (every controlled level at once); none when unset.
    std::optional<TListenAddress> Videohub;
    // A listener per level (1..4), each a device of that level alone.
    std::array<std::optional<TListenAddress>, 4> VideohubLevel;
    // The Ember+ provider; none when unset.
    std::optional<TListenAddress> Ember;
    // The SW-P-08 router; none when unset.
    std::optional<TListenAddress> Swp08;
    // The level whose routing the married listener reports.
    int PrimaryLevel = 1;
    bool ReadOnly = false;
    bool ForceUnlock = false;
    bool PersistLocks = false;
    TNetworkList Allowed;
    int MaxClients = 256;
    int MaxLineBytes = 4096;
    int MaxBlockLines = 1024;
    int MaxQueuedBytes = 1 << 20;
    QString FriendlyName;
};

// Loopback only, 256 clients: what a gateway without a [GATEWAY] section does.
TGatewayConfig DefaultGatewayConfig();
// Reads [GATEWAY] over the defaults; false with the first fault (key and why) in `error`.
bool ReadGatewayConfig(const TIniFile& ini, TGatewayConfig& config, QString* error);
