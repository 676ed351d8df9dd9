#include "GatewayConfig.h"

#include "IniFile.h"

#include <QStringList>

std::optional<TListenAddress> ParseListenAddress(const QString& text) {
    const QString t = text.trimmed();
    const int colon = t.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    QString host = t.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint port = t.mid(colon + 1).toUInt(&ok);
    TListenAddress a;
    // Port 0 takes any free port (tests).
    if (!ok || port > 65535 || !a.Address.setAddress(host))
        return std::nullopt;
    a.Port = static_cast<quint16>(port);
    return a;
}

bool TNetworkList::Parse(const QString& text, QString* error) {
    FNetworks.clear();
    for (const QString& item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString t = item.trimmed();
        QPair<QHostAddress, int> net = QHostAddress::parseSubnet(t);
        if (net.first.isNull() && !t.contains(QLatin1Char('/'))) {
            // A single address is a network of one.
            const QHostAddress one(t);
            if (!one.isNull())
                net = {one, one.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
        }
        if (net.first.isNull()) {
            if (error)
                *error = QStringLiteral("\"%1\" is not a network (ADDRESS/BITS)").arg(t);
            FNetworks.clear();
            return false;
        }
        FNetworks << net;
    }
    return true;
}

bool TNetworkList::Allows(const QHostAddress& client) const {
    // An IPv4 client reached over an IPv6 socket is matched as IPv4.
    bool isV4 = false;
    const quint32 v4 = client.toIPv4Address(&isV4);
    const QHostAddress plain = isV4 ? QHostAddress(v4) : client;
    for (const auto& net : FNetworks)
        if (plain.isInSubnet(net))
            return true;
    return false;
}

QString TNetworkList::Text() const {
    QStringList parts;
    for (const auto& net : FNetworks)
        parts << net.first.toString() + QLatin1Char('/') + QString::number(net.second);
    return parts.join(QStringLiteral(", "));
}

TGatewayConfig DefaultGatewayConfig() {
    TGatewayConfig c;
    c.Videohub = ParseListenAddress(QStringLiteral("127.0.0.1:9990"));
    c.Ember = ParseListenAddress(QStringLiteral("127.0.0.1:9000"));
    c.Swp08 = ParseListenAddress(QStringLiteral("127.0.0.1:8910"));
    c.Allowed.Parse(QStringLiteral("127.0.0.0/8, ::1/128"), nullptr);
    return c;
}

bool ReadGatewayConfig(const TIniFile& ini, TGatewayConfig& config, QString* error) {
    constexpr const char* S = "GATEWAY";
    auto fail = [&](const QString& key, const QString& why) {
        if (error)
            *error = QStringLiteral("[GATEWAY] %1: %2").arg(key, why);
        return false;
    };
    auto address = [&](const char* key, std::optional<TListenAddress>& into) {
        const QString text = QString::fromStdString(ini.ReadString(S, key, "\x01"));
        if (text == QLatin1String("\x01"))
            return true; // not given: the default stands
        if (text.trimmed().isEmpty()) {
            into.reset(); // given empty: no listener
            return true;
        }
        into = ParseListenAddress(text);
        return into.has_value() || fail(QString::fromLatin1(key),
                                        QStringLiteral("\"%1\" is not ADDRESS:PORT").arg(text));
    };
    if (!address("VIDEOHUB", config.Videohub) || !address("EMBER", config.Ember) ||
        !address("SWP08", config.Swp08))
        return false;
    for (int k = 1; k <= 4; ++k) {
        const QByteArray key = "VIDEOHUB_LEVEL" + QByteArray::number(k);
        if (!address(key.constData(), config.VideohubLevel[static_cast<std::size_t>(k - 1)]))
            return false;
    }
    auto number = [&](const char* key, int& into, int low, int high) {
        const int v = ini.ReadInteger(S, key, into);
        if (v < low || v > high)
            return fail(QString::fromLatin1(key),
                        QStringLiteral("%1 is outside %2..%3").arg(v).arg(low).arg(high));
        into = v;
        return true;
    };
    if (!number("PRIMARY_LEVEL", config.PrimaryLevel, 1, 4) ||
        !number("MAX_CLIENTS", config.MaxClients, 1, 100000) ||
        !number("MAX_LINE_BYTES", config.MaxLineBytes, 64, 1 << 20) ||
        !number("MAX_BLOCK_LINES", config.MaxBlockLines, 1, 65536) ||
        !number("MAX_QUEUED_BYTES", config.MaxQueuedBytes, 4096, 1 << 30))
        return false;
    config.ReadOnly = ini.ReadBool(S, "READ_ONLY", config.ReadOnly);
    config.ForceUnlock = ini.ReadBool(S, "FORCE_UNLOCK", config.ForceUnlock);
    config.PersistLocks = ini.ReadBool(S, "PERSIST_LOCKS", config.PersistLocks);
    config.FriendlyName =
        QString::fromStdString(ini.ReadString(S, "NAME", config.FriendlyName.toStdString()));
    const std::string allowed = ini.ReadString(S, "ALLOW", "\x01");
    if (allowed != "\x01") {
        QString why;
        if (!config.Allowed.Parse(QString::fromStdString(allowed), &why))
            return fail(QStringLiteral("ALLOW"), why);
    }
    return true;
}
