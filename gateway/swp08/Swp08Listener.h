#pragma once

#include "ClientListener.h"
#include "Swp08Codec.h"

#include <QString>

#include <array>
#include <map>
#include <string>
#include <vector>

// The switchers as a router of the general router protocol (SW-P-08): one
// matrix (0) whose levels 0..3 are our levels 1..4. Clients interrogate and
// connect crosspoints, read names in 4, 8 or 12 characters, protect
// destinations (our locks), and build salvos to take as one TAKE; every
// change the hub reports is broadcast as CONNECTED or a protect message.
class TSwp08Listener : public TClientListener {
    Q_OBJECT
public:
    TSwp08Listener(TRouterHub& hub, const TGatewayConfig& config, QObject* parent = nullptr);
    ~TSwp08Listener() override;

    bool Listen(const TListenAddress& at, QString* error);

    // The device number reported for a protect nobody here set (a panel's
    // lock, or one taken through another protocol).
    static constexpr int OtherDevice = 1023;
    // Crosspoints a client may hold waiting for GO, over all its salvo groups.
    static constexpr std::size_t MaxPending = 4096;
    // Salvo groups from here on are the stored salvos (the first listed is
    // this group); the groups below are each client's own.
    static constexpr int FirstStoredGroup = 64;

private:
    struct TConnection : TClient {
        swp08::TDeframer Deframer;
        // The device number it gave in its last protect message.
        int Device = -1;
        std::map<int, std::vector<TRouterHub::TLevelRoute>> Pending;
        std::size_t PendingCount = 0;
    };

    std::unique_ptr<TClient> NewClient() override;
    void Connected(TClient& client) override;
    void Received(TClient& client, std::string_view bytes) override;
    void Handle(TConnection& client, std::string_view message);

    // Our level (1..4) for a matrix and level on the wire, or 0.
    int Level(const swp08::TCrosspoint& x) const;
    bool Writable(int level) const;
    bool Valid(int level, int output) const;
    swp08::TCrosspoint At(int level, int output) const;
    int Device(int level, int output) const;
    std::string ProtectState(std::uint8_t command, int level, int output) const;

    void Connect(TConnection& client, const swp08::TCrosspoint& x);
    void SetProtect(TConnection& client, const swp08::TCrosspoint& x, bool protect);
    void Names(TConnection& client, std::string_view data, bool sources, bool single);
    void TallyDump(TConnection& client, int level);
    void ConnectOnGo(TConnection& client, std::string_view data);
    void Go(TConnection& client, std::string_view data);
    void SendFrames(TClient& client, const std::vector<std::string>& messages);
    void AfterReadBack(const TClient& client, std::function<std::string()> message);

    void PresenceChanged(bool present);
    void RoutesChanged(const std::vector<int>& outputs);
    void LocksChanged(const std::vector<int>& outputs);

    // What the clients were last told per level: route and protect of each output.
    std::array<std::array<int, 256>, 4> FSentRoutes{};
    std::array<std::array<int, 256>, 4> FSentProtects{};
};
