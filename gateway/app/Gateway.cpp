#include "Gateway.h"

#include "EmberListener.h"
#include "IniFile.h"
#include "RouterHub.h"
#include "VideohubListener.h"

#include <QFileInfo>

TGateway::TGateway(TOptions options, QObject* parent)
    : QObject(parent), FOptions(std::move(options)), FConfig(DefaultGatewayConfig()) {}

TGateway::~TGateway() {
    // Listeners first: they hold the hub.
    FVideohub.clear();
    FEmber.reset();
    FHub.reset();
}

bool TGateway::Start(QString* error) {
    TIniFile ini(FOptions.IniFile.toStdString());
    if (!ini.Load() && QFileInfo::exists(FOptions.IniFile)) {
        *error = QStringLiteral("cannot read %1 (%2)")
                     .arg(FOptions.IniFile, QString::fromStdString(ini.LastError()));
        return false;
    }
    if (!ReadGatewayConfig(ini, FConfig, error))
        return false;
    if (FOptions.Videohub)
        FConfig.Videohub = FOptions.Videohub;
    if (FOptions.Ember)
        FConfig.Ember = FOptions.Ember;
    FHub = std::make_unique<TRouterHub>(FOptions.IniFile, FOptions.LevelSetFile);
    if (!FHub->Start(error))
        return false;
    auto listen = [&](const std::optional<TListenAddress>& at, int level) {
        if (!at)
            return true;
        auto listener = std::make_unique<TVideohubListener>(*FHub, FConfig, level);
        if (!listener->Listen(*at, error))
            return false;
        FVideohub.push_back(std::move(listener));
        return true;
    };
    if (!listen(FConfig.Videohub, 0))
        return false;
    for (int k = 1; k <= 4; ++k)
        if (!listen(FConfig.VideohubLevel[static_cast<std::size_t>(k - 1)], k))
            return false;
    if (FConfig.Ember) {
        FEmber = std::make_unique<TEmberListener>(*FHub, FConfig);
        if (!FEmber->Listen(*FConfig.Ember, error))
            return false;
    }
    if (FVideohub.empty() && !FEmber) {
        *error = QStringLiteral("no listener: give --videohub, --ember, or VIDEOHUB or EMBER in "
                                "[GATEWAY]");
        return false;
    }
    return true;
}
