#pragma once

#include "Session.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QTimer;

// The switchers as the gateway serves them: one operating session for every
// client of every protocol. It keeps what the switchers last reported (routes
// and locks per output and level), who took each lock through the gateway,
// and carries out the clients' requests through the session, so the switchers
// see one poller however many clients connect. Changes reach the listeners as
// batches of outputs once per poll step, whatever made them.
class TRouterHub : public QObject {
    Q_OBJECT
public:
    using TClientId = quint64;
    static constexpr TClientId NoClient = 0;

    // iniFile: the panel's INI (names, CONTROL levels); levelSetFile: its level set.
    TRouterHub(const QString& iniFile, const QString& levelSetFile, QObject* parent = nullptr);
    ~TRouterHub() override;

    // Reads the files and starts polling; false with the reason when there is nothing to poll.
    bool Start(QString* error);

    // The switchers answer and their matrix is known.
    bool Present() const { return FPresent; }
    int Inputs() const;
    int Outputs() const;
    int LevelCount() const;
    // The levels CONTROL marks in the INI file (what a married client changes).
    std::uint32_t ControlLevels() const { return FControlLevels; }
    QString LevelName(int level) const;

    // What the switchers report: the input on output's level (1-based), its lock.
    int Route(int output, int level) const;
    bool Locked(int output, int level) const;
    // Who locked it through the gateway (NoClient: a panel, or not locked).
    TClientId LockOwner(int output, int level) const;

    // Routes every (output, input) pair on the given levels as one change,
    // sent in one poll cycle. Outputs locked by someone other than `client`
    // are left out and returned; the caller says so to its client.
    std::vector<int> RouteAll(const std::vector<std::pair<int, int>>& routes, std::uint32_t levels,
                              TClientId client, const QString& source);
    // One input for one output on one level (levels from 1).
    struct TLevelRoute {
        int Output = 0, Level = 1, Input = 0;
    };
    // Routes each output on its own level, all as one change (one TAKE).
    // Routes another holds are left out and returned.
    std::vector<TLevelRoute> RouteLevels(const std::vector<TLevelRoute>& routes, TClientId client,
                                         const QString& source);
    // Locks or unlocks outputs on the given levels for `client`. Unlocking
    // another's lock needs `force`; such outputs are left out and returned.
    std::vector<int> SetLocks(const std::vector<int>& outputs, std::uint32_t levels, bool lock,
                              TClientId client, bool force, const QString& source);
    // The locks `client` took are released (a client that goes away).
    void ReleaseLocks(TClientId client, const QString& source);
    // Renames inputs or outputs (index, name) through the names model: one
    // save of the INI file, every view and the log follow.
    bool Rename(TNames::TSide side, const std::vector<std::pair<int, QString>>& names,
                const QString& source, QString* error);
    const TNames& Names() const { return FSession->Names(); }
    // Reads the salvos of the matrix size from their folder again.
    void ListSalvos();
    // The salvos as last listed: how many, and each one's name (from 0).
    int SalvoCount() const;
    QString SalvoName(int index) const;
    // Recalls a salvo and takes it as PRESET and TAKE do (locks respected);
    // false with the reason when there is no such salvo or no switchers.
    bool TakeSalvo(const QString& name, const QString& source, QString* error);
    // Runs `done` once the switchers' state has been read back after what was
    // asked of them so far (a few poll cycles), or at once without polling.
    void AfterReadBack(std::function<void()> done);
    TSession& Session() { return *FSession; }

    // Polling is tried again this long after it ended.
    int RetryMs = 1000;
    // Poll cycles after which a change asked of the switchers has been read back.
    int ReadBackCycles = 4;

Q_SIGNALS:
    // The switchers came (matrix size known) or went; the state is kept meanwhile.
    void PresenceChanged(bool present);
    // Outputs whose route (any level) or lock (any level) the switchers reported changed.
    void RoutesChanged(const std::vector<int>& outputs);
    void LocksChanged(const std::vector<int>& outputs);
    void NamesChanged(TNames::TSide side, int index);

private:
    void RouteReported(int output, const TLevelValues& inputs);
    void LockReported(int output, std::uint32_t lockBytes);
    void Flush();
    void CyclesCompleted();
    void Restart();
    void Log(const QString& source, const QString& action, const QString& details);

    QString FIniFile, FLevelSetFile;
    std::unique_ptr<TSession> FSession;
    int FOutputLimit = 0;
    std::uint32_t FControlLevels = 0x01010101;
    bool FPresent = false;
    // What the listeners were last told (a new size is present again without a gap).
    bool FAnnounced = false;
    std::array<TLevelValues, 256> FRoutes{};
    std::array<std::uint32_t, 256> FLocks{};
    std::array<std::array<TClientId, 4>, 256> FOwners{};
    std::vector<int> FRoutesDirty, FLocksDirty;
    bool FFlushQueued = false;
    std::vector<std::function<void()>> FReadBack;
    QTimer* FRetry;
};
