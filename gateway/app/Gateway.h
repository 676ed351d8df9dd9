#pragma once

#include "GatewayConfig.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class TRouterHub;
class TEmberListener;
class TSwp08Listener;
class TVideohubListener;

// The gateway: one hub on the switchers and the listeners of its protocols.
class TGateway : public QObject {
    Q_OBJECT
public:
    struct TOptions {
        QString IniFile, LevelSetFile;
        // Listeners named on the command line, over those of the configuration.
        std::optional<TListenAddress> Videohub;
        std::optional<TListenAddress> Ember;
        std::optional<TListenAddress> Swp08;
    };
    explicit TGateway(TOptions options, QObject* parent = nullptr);
    ~TGateway() override;

    // Reads the configuration, starts polling and listening; false with the reason.
    bool Start(QString* error);
    TRouterHub& Hub() { return *FHub; }
    const TGatewayConfig& Config() const { return FConfig; }
    // The Videohub listeners: the married one first (when configured), then per level.
    const std::vector<std::unique_ptr<TVideohubListener>>& Videohub() const { return FVideohub; }
    TEmberListener* Ember() const { return FEmber.get(); }
    TSwp08Listener* Swp08() const { return FSwp08.get(); }

private:
    TOptions FOptions;
    TGatewayConfig FConfig;
    std::unique_ptr<TRouterHub> FHub;
    std::vector<std::unique_ptr<TVideohubListener>> FVideohub;
    std::unique_ptr<TEmberListener> FEmber;
    std::unique_ptr<TSwp08Listener> FSwp08;
};
