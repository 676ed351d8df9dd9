#include "Simulator.h"

#include <QStringList>

namespace sim {

TSimulator::TSimulator() : FContext(new QObject) {
    FThread.setObjectName(QStringLiteral("switchersim"));
    FContext->moveToThread(&FThread);
    FThread.start();
}

TSimulator::~TSimulator() {
    // Chassis are deleted in their own thread, then the thread stops.
    for (TChassis* c : FChassis)
        QMetaObject::invokeMethod(
            c, [c] { delete c; }, Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(
        FContext, [this] { delete FContext; }, Qt::BlockingQueuedConnection);
    FThread.quit();
    FThread.wait();
}

TChassis* TSimulator::AddChassis(const TChassisConfig& config, QString* error) {
    TChassis* chassis = nullptr;
    QMetaObject::invokeMethod(
        FContext, [&] { chassis = new TChassis(config); }, Qt::BlockingQueuedConnection);
    if (!chassis->Listen()) {
        if (error)
            *error = chassis->ErrorString();
        QMetaObject::invokeMethod(
            chassis, [chassis] { delete chassis; }, Qt::BlockingQueuedConnection);
        return nullptr;
    }
    FChassis.push_back(chassis);
    return chassis;
}

bool ParseChassisText(const QString& text, TChassisConfig& config, QString& error) {
    const QStringList parts = text.split(QLatin1Char(':'));
    config = TChassisConfig{};
    if (!config.Address.setAddress(parts.value(0)) ||
        config.Address.protocol() != QAbstractSocket::IPv4Protocol) {
        error = QStringLiteral("not an IPv4 address: %1").arg(parts.value(0));
        return false;
    }
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString& p = parts[i];
        bool ok = false;
        if (p.startsWith(QLatin1String("levels="))) {
            config.Levels.clear();
            for (const QString& a : p.mid(7).split(QLatin1Char(','))) {
                const int v = a.toInt(&ok);
                if (!ok || v < 1 || v > 4 || config.Levels.contains(v)) {
                    error = QStringLiteral("level addresses are distinct numbers 1..4: %1").arg(p);
                    return false;
                }
                config.Levels.append(v);
            }
        } else if (p.startsWith(QLatin1String("size="))) {
            const QStringList s = p.mid(5).split(QLatin1Char('x'));
            bool ok2 = false;
            const int in = s.value(0).toInt(&ok);
            const int out = s.value(1).toInt(&ok2);
            if (s.size() != 2 || !ok || !ok2 || in < 1 || in > 256 || out < 1 || out > 256) {
                error = QStringLiteral("size is INPUTSxOUTPUTS, each 1..256: %1").arg(p);
                return false;
            }
            config.Inputs = in;
            config.Outputs = out;
        } else {
            const int port = p.toInt(&ok);
            if (!ok || port < 1 || port > 65535) {
                error = QStringLiteral("bad port or option: %1").arg(p);
                return false;
            }
            config.Port = static_cast<quint16>(port);
        }
    }
    return true;
}

} // namespace sim
