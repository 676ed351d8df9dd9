#include "Gateway.h"

#include "EmberListener.h"
#include "IniFile.h"
#include "RouterHub.h"
#include "Swp08Listener.h"
#include "VideohubListener.h"

#include <QFileInfo>

TGateway::TGateway(TOptions options, QObject* parent)
    : QObject(parent), FOptions(std::move(options)), FConfig(DefaultGatewayConfig()) {}

TGateway::~TGateway() {
    // Listeners first: they hold the hub.
    FVideohub.clear();
    FEmber.reset();
    FSwp08.reset();
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
    if (FOptions.Swp08)
        FConfig.Swp08 = FOptions.Swp08;
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
    if (FConfig.Swp08) {
        FSwp08 = std::make_unique<TSwp08Listener>(*FHub, FConfig);
        if (!FSwp08->Listen(*FConfig.Swp08, error))
            return false;
    }
    if (FVideohub.empty() && !FEmber && !FSwp08) {
        *error = QStringLiteral("no listener: give --videohub, --ember or --swp08, or VIDEOHUB, "
                                "EMBER or SWP08 in [GATEWAY]");
        return false;
    }
    return true;
}
