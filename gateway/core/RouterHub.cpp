#include "RouterHub.h"

#include "Index.h"
#include "IniFile.h"
#include "IniSettings.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

bool ValidOutput(int o) {
    return o >= 0 && o < 256;
}

} // namespace

TRouterHub::TRouterHub(const QString& iniFile, const QString& levelSetFile, QObject* parent)
    : QObject(parent), FIniFile(iniFile), FLevelSetFile(levelSetFile), FRetry(new QTimer(this)) {
    FRetry->setSingleShot(true);
    connect(FRetry, &QTimer::timeout, this, &TRouterHub::Restart);
}

TRouterHub::~TRouterHub() = default;

bool TRouterHub::Start(QString* error) {
    TIniFile ini(FIniFile.toStdString());
    if (!ini.Load() && QFileInfo::exists(FIniFile)) {
        *error = QStringLiteral("cannot read %1 (%2)")
                     .arg(FIniFile, QString::fromStdString(ini.LastError()));
        return false;
    }
    const TIniSettings settings = ReadIniSettings(ini);
    FControlLevels = PackLevelFlags(settings.FControlLevels);
    FOutputLimit = settings.OutputLimit;
    FSession = std::make_unique<TSession>(QFileInfo(FIniFile).absolutePath(), FLevelSetFile);
    FSession->Names().SetIniFile(FIniFile);
    FSession->Names().Load(ini);
    FSession->ManagesSalvoFolders = false;
    FSession->LoadLevelSet();
    if (FSession->Levels().Count == 0) {
        *error = QStringLiteral("no levels in %1").arg(FLevelSetFile);
        return false;
    }
    TSession* s = FSession.get();
    // Clients' routes are presets sent by TAKE: a block of routes goes out in one cycle.
    s->SetLastMode(TMode::Preset);
    s->CrossPoints().SetVisible(0x01010101);
    connect(s, &TSession::PreviewStatusChanged, this, &TRouterHub::RouteReported);
    connect(s, &TSession::LocksReported, this, &TRouterHub::LockReported);
    connect(&s->Names(), &TNames::Changed, this, &TRouterHub::NamesChanged);
    // Present once the first cycle has published what the switchers hold.
    connect(s, &TSession::FirstCycleStarted, this, [s] { s->NotifyAfterCycles(1); });
    connect(s, &TSession::CyclesCompleted, this, &TRouterHub::CyclesCompleted);
    // A new matrix size: the clients get the device again once it is read.
    connect(s, &TSession::SizeChanged, this, [this, s] {
        if (FPresent) {
            FPresent = false;
            s->NotifyAfterCycles(1);
        }
    });
    connect(s, &TSession::PollingEnded, this, [this] {
        FPresent = false;
        // Nothing more will be read back: whoever waits is answered now.
        for (auto& done : std::exchange(FReadBack, {}))
            done();
        if (std::exchange(FAnnounced, false))
            Q_EMIT PresenceChanged(false);
        FRetry->start(RetryMs);
    });
    s->StartPolling(FOutputLimit);
    return true;
}

void TRouterHub::CyclesCompleted() {
    // What the switchers were asked has been read back, and is published
    // before the waiting replies go out.
    Flush();
    for (auto& done : std::exchange(FReadBack, {}))
        done();
    if (FPresent)
        return;
    FPresent = true;
    FAnnounced = true;
    FRoutesDirty.clear();
    FLocksDirty.clear();
    Q_EMIT PresenceChanged(true);
}

void TRouterHub::AfterReadBack(std::function<void()> done) {
    if (!FSession || !FSession->Polling())
        return done();
    FReadBack.push_back(std::move(done));
    // The change goes out in the next cycle and is read in the one after;
    // a new request replaces an earlier one, so every waiter is served by
    // the last (the session keeps one).
    FSession->NotifyAfterCycles(ReadBackCycles);
}

void TRouterHub::ListSalvos() {
    if (FPresent)
        FSession->ListSalvos();
}

int TRouterHub::SalvoCount() const {
    return FPresent ? static_cast<int>(FSession->Salvos().size()) : 0;
}

QString TRouterHub::SalvoName(int index) const {
    if (index < 0 || index >= SalvoCount())
        return {};
    return QString::fromStdString(FSession->Salvos()[Ix(index)].Name);
}

bool TRouterHub::TakeSalvo(const QString& name, const QString& source, QString* error) {
    if (!FPresent) {
        *error = QStringLiteral("the switchers do not answer");
        return false;
    }
    FSession->ListSalvos();
    const TMemorySlot* slot = FSession->FindSalvo(name.toStdString());
    if (!slot) {
        *error = QStringLiteral("no salvo \"%1\" for this matrix size").arg(name);
        return false;
    }
    // The preset table holds what the switchers hold for every other output.
    FSession->SetLogSource(source);
    FSession->RecallSalvo(*slot);
    FSession->Take(false);
    FSession->SetLogSource({});
    return true;
}

void TRouterHub::Restart() {
    if (FSession->Polling())
        return;
    FSession->LoadLevelSet();
    if (FSession->Levels().Count == 0 || !FSession->StartPolling(FOutputLimit))
        FRetry->start(RetryMs);
}

int TRouterHub::Inputs() const {
    return FSession ? FSession->CrossPoints().Inputs() : 0;
}
int TRouterHub::Outputs() const {
    return FSession ? FSession->CrossPoints().Outputs() : 0;
}
int TRouterHub::LevelCount() const {
    return FSession ? FSession->CrossPoints().LevelCount() : 0;
}

QString TRouterHub::LevelName(int level) const {
    if (!FSession || level < 1 || level > FSession->Levels().Count)
        return {};
    return QString::fromStdString(FSession->Levels().Names[Ix(level)]);
}

int TRouterHub::Route(int output, int level) const {
    if (!ValidOutput(output) || level < 1 || level > 4)
        return 0;
    return FRoutes[Ix(output)][Ix(level - 1)];
}

bool TRouterHub::Locked(int output, int level) const {
    return ValidOutput(output) && level >= 1 && level <= 4 && LevelFlag(FLocks[Ix(output)], level);
}

TRouterHub::TClientId TRouterHub::LockOwner(int output, int level) const {
    if (!Locked(output, level))
        return NoClient;
    return FOwners[Ix(output)][Ix(level - 1)];
}

std::vector<int> TRouterHub::RouteAll(const std::vector<std::pair<int, int>>& routes,
                                      std::uint32_t levels, TClientId client,
                                      const QString& source) {
    // An output held on any of the levels is left out on all of them.
    std::vector<int> refused;
    std::vector<TLevelRoute> each;
    for (const auto& [output, input] : routes) {
        bool held = false;
        for (int k = 1; k <= LevelCount(); ++k)
            held = held ||
                   (LevelFlag(levels, k) && Locked(output, k) && LockOwner(output, k) != client);
        if (held) {
            refused.push_back(output);
            continue;
        }
        for (int k = 1; k <= LevelCount(); ++k)
            if (LevelFlag(levels, k))
                each.push_back({output, k, input});
    }
    RouteLevels(each, client, source);
    return refused;
}

std::vector<TRouterHub::TLevelRoute> TRouterHub::RouteLevels(const std::vector<TLevelRoute>& routes,
                                                             TClientId client,
                                                             const QString& source) {
    std::vector<TLevelRoute> refused;
    if (!FPresent)
        return refused;
    TCrossPoints& cross = FSession->CrossPoints();
    bool throughOwnLock = false, any = false;
    for (const TLevelRoute& r : routes) {
        if (!ValidOutput(r.Output) || r.Output >= Outputs() || r.Input < 0 || r.Input >= Inputs() ||
            r.Level < 1 || r.Level > LevelCount())
            continue;
        if (Locked(r.Output, r.Level)) {
            if (LockOwner(r.Output, r.Level) != client) {
                refused.push_back(r);
                continue;
            }
            throughOwnLock = true;
        }
        TLevelValues preset = cross.State().Preset(r.Output);
        preset[Ix(r.Level - 1)] = r.Input;
        cross.ApplyPreset(r.Output, preset, true);
        any = true;
    }
    if (any) {
        // Our switchers' locks have no owner: an owner's route through its own
        // lock is a TAKE that ignores locks. Routes others hold were left
        // out, and the rest of the preset table is what the switchers hold.
        FSession->SetLogSource(source);
        FSession->Take(throughOwnLock);
        FSession->SetLogSource({});
    }
    return refused;
}

std::vector<int> TRouterHub::SetLocks(const std::vector<int>& outputs, std::uint32_t levels,
                                      bool lock, TClientId client, bool force,
                                      const QString& source) {
    std::vector<int> refused;
    if (!FPresent)
        return refused;
    TCrossPoints& cross = FSession->CrossPoints();
    const int count = LevelCount();
    for (int output : outputs) {
        if (!ValidOutput(output) || output >= Outputs())
            continue;
        std::uint32_t wanted = cross.State().Lock(output);
        bool held = false;
        for (int k = 1; k <= count; ++k) {
            if (!LevelFlag(levels, k))
                continue;
            const TClientId owner = LockOwner(output, k);
            if (lock && !Locked(output, k)) {
                wanted |= PackedFlag(k);
                FOwners[Ix(output)][Ix(k - 1)] = client;
            } else if (lock && owner != client) {
                held = true; // someone else's lock stays theirs
            } else if (!lock && Locked(output, k)) {
                if (owner != client && !force) {
                    held = true;
                    continue;
                }
                wanted &= ~PackedFlag(k);
                FOwners[Ix(output)][Ix(k - 1)] = NoClient;
            }
        }
        if (held)
            refused.push_back(output);
        if (wanted != cross.State().Lock(output)) {
            cross.SetLock(output, wanted);
            Log(source, lock ? QStringLiteral("LOCK") : QStringLiteral("UNLOCK"),
                QStringLiteral("out %1").arg(output + 1));
        }
    }
    return refused;
}

void TRouterHub::ReleaseLocks(TClientId client, const QString& source) {
    if (client == NoClient)
        return;
    for (int o = 0; o < 256; ++o)
        for (int k = 1; k <= 4; ++k)
            if (FOwners[Ix(o)][Ix(k - 1)] == client) {
                FOwners[Ix(o)][Ix(k - 1)] = NoClient;
                if (FPresent && Locked(o, k)) {
                    FSession->CrossPoints().SetLock(o, FSession->CrossPoints().State().Lock(o) &
                                                           ~PackedFlag(k));
                    Log(source, QStringLiteral("UNLOCK"),
                        QStringLiteral("out %1 L%2: its client left").arg(o + 1).arg(k));
                }
            }
}

bool TRouterHub::Rename(TNames::TSide side, const std::vector<std::pair<int, QString>>& names,
                        const QString& source, QString* error) {
    std::vector<TNames::TEntry> entries;
    for (const auto& [index, name] : names)
        entries.push_back({index, name, FSession->Names().Logo(side, index)});
    FSession->SetLogSource(source);
    const bool saved = FSession->Names().Set(side, entries, error);
    FSession->SetLogSource({});
    return saved;
}

void TRouterHub::RouteReported(int output, const TLevelValues& inputs) {
    if (!ValidOutput(output) || FRoutes[Ix(output)] == inputs)
        return;
    FRoutes[Ix(output)] = inputs;
    FRoutesDirty.push_back(output);
    if (!std::exchange(FFlushQueued, true))
        QTimer::singleShot(0, this, &TRouterHub::Flush);
}

void TRouterHub::LockReported(int output, std::uint32_t lockBytes) {
    if (!ValidOutput(output))
        return;
    for (int k = 1; k <= 4; ++k)
        if (!LevelFlag(lockBytes, k))
            FOwners[Ix(output)][Ix(k - 1)] = NoClient;
    if (FLocks[Ix(output)] == lockBytes)
        return;
    FLocks[Ix(output)] = lockBytes;
    FLocksDirty.push_back(output);
    if (!std::exchange(FFlushQueued, true))
        QTimer::singleShot(0, this, &TRouterHub::Flush);
}

void TRouterHub::Flush() {
    FFlushQueued = false;
    std::vector<int> routes = std::exchange(FRoutesDirty, {});
    std::vector<int> locks = std::exchange(FLocksDirty, {});
    // Before presence, the whole state goes out with it.
    if (!FPresent)
        return;
    for (auto* list : {&routes, &locks}) {
        std::sort(list->begin(), list->end());
        list->erase(std::unique(list->begin(), list->end()), list->end());
    }
    if (!routes.empty())
        Q_EMIT RoutesChanged(routes);
    if (!locks.empty())
        Q_EMIT LocksChanged(locks);
}

void TRouterHub::Log(const QString& source, const QString& action, const QString& details) {
    FSession->SetLogSource(source);
    FSession->Log(action, details);
    FSession->SetLogSource({});
}
