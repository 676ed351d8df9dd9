#include "PollCycle.h"

#include "IpText.h"
#include "LogSink.h"

#include <algorithm>
#include <limits>
#include <thread>
#include <type_traits>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

std::size_t U(int i) {
    return static_cast<std::size_t>(i);
}

} // namespace

TPollCycle::TPollCycle(const TPollLevels& levels, IPollViews& views, IPollExecutor& executor)
    : FLevels(levels), FViews(views), FExecutor(executor) {
    FLevelCount = std::clamp(levels.LevelCount, 0, 4);
    TLevelValues unknown;
    unknown.fill(std::numeric_limits<std::int32_t>::min());
    FPreviewShown.fill(unknown);
    FAddressLevel.fill(1);
    for (int r = 1; r <= FLevelCount; ++r) {
        const int a = FLevels.LevelAddress[U(r)];
        if (a >= 1 && a <= 4)
            FAddressLevel[U(a)] = r;
    }
    for (int r = 1; r <= FLevelCount; ++r) {
        const std::int32_t ip = FLevels.LevelIP[U(r)];
        int s = 1;
        while (s <= FSwitcherCount && FSwitcherIP[U(s)] != ip)
            ++s;
        if (s > FSwitcherCount)
            FSwitcherCount = s;
        const int n = ++FSwitcherLevelCount[U(s)];
        FSwitcherLevels[U(s)][U(n)] = r;
        FSwitcherAddresses[U(s)][U(n)] = FLevels.LevelAddress[U(r)];
        FLevelSwitcher[U(r)] = s;
        FSwitcherIP[U(s)] = ip;
    }
}

TPollCycle::~TPollCycle() = default;

bool TPollCycle::Count(int& counter) {
    // More than FMaxErrors consecutive failures of one kind end the thread.
    if (counter > FMaxErrors) {
        FTerminated.store(true);
        return false;
    }
    ++counter;
    return true;
}

bool TPollCycle::AnyFailure(const TCounts& c) const {
    for (int s = 1; s <= FSwitcherCount; ++s)
        if (c[U(s)] != 0)
            return true;
    return false;
}

void TPollCycle::TakeViewsAsSent() {
    const TFieldState& f = FViews.FieldState();
    for (int o = 0; o < FOutputs; ++o) {
        FSentCrossPoints[U(o)] = f.Status(o);
        FSentLocks[U(o)] = UnpackLevelFlags(f.Lock(o));
        FCrossPoints[U(o)] = FSentCrossPoints[U(o)];
        FLocks[U(o)] = FSentLocks[U(o)];
    }
    FSentMonitor = f.Monitor();
    FMonitor = FSentMonitor;
}

void TPollCycle::Execute() {
#ifdef __linux__
    // The cycle's 2 ms pause bounds its rate; the default 50 us timer slack
    // would lengthen every pause by up to that much.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    FConnectErrors[1] = 1; // the first cycle runs the connection phase
    FRefresh = true;
    FSalvoRequest.store(false);
    FIgnoreLocks.store(false);
    FStatusRequest.store(false);
    FHdmiRefresh.store(false);
    bool firstCycle = true;
    FStatusTick = Clock::now();
    TakeViewsAsSent();
    for (int s = 1; s <= FSwitcherCount; ++s) {
        FPorts[U(s)] = std::make_unique<TSwitcherConnection>();
        FPorts[U(s)]->FHost = FormatIP(FSwitcherIP[U(s)]);
        FPorts[U(s)]->FPort = FLevels.TcpPort;
    }
    FLastCounter = Clock::now();
    FRateIndex = 0;

    while (!FTerminated.load())
        Cycle(firstCycle);
    EndExecute();
}

bool TPollCycle::ConnectionPhase() {
    bool needed = false;
    for (int s = 1; s <= FSwitcherCount; ++s)
        needed = needed || FConnectErrors[U(s)] + FIdentifyErrors[U(s)] + FConfigErrors[U(s)] +
                                   FStateErrors[U(s)] + FHdmiErrors[U(s)] + FSalvoErrors >
                               0;
    if (!needed)
        return true;
    const bool connected = EachSwitcher(FConnectErrors, [&](int s) {
        TSwitcherConnection& p = *FPorts[U(s)];
        // One line when a working connection is lost, none per retry.
        if (FLinkState[U(s)] == 1) {
            FLinkState[U(s)] = 2;
            logsink::Emit(logsink::TArea::Link, true,
                          "Connection to " + Where(s) + " lost (status " +
                              std::to_string(p.Status()) + ", error " +
                              std::to_string(p.ErrorCode()) + "); reconnecting");
        }
        if (p.IsConnected())
            p.Disconnect();
        return p.Connect();
    });
    if (!connected)
        return false;
    FViews.SetInitIndicator(true, !AnyFailure(FIdentifyErrors));
    const bool identified = EachSwitcher(
        FIdentifyErrors,
        [&](int s) {
            std::array<std::uint8_t, 8> id{};
            return FPorts[U(s)]->Identify(id);
        },
        [&] { FViews.SetInitIndicator(true, false); });
    if (!identified)
        return false;
    FRefresh = true;
    FViews.SetInitIndicator(false, true);
    for (int s = 1; s <= FSwitcherCount; ++s) {
        if (FLinkState[U(s)] != 1)
            logsink::Emit(logsink::TArea::Link, false,
                          (FLinkState[U(s)] == 2 ? "Reconnected to " : "Connected to ") + Where(s));
        FLinkState[U(s)] = 1;
    }
    return true;
}

std::string TPollCycle::Where(int s) const {
    return FormatIP(FSwitcherIP[U(s)]) + ":" + std::to_string(FLevels.TcpPort);
}

bool TPollCycle::ConfigPhase(std::array<bool, 5>& stateChanged, std::array<bool, 5>& hdmiChanged) {
    FViews.SetConfigIndicator(true, !AnyFailure(FConfigErrors), FClients);
    auto read = [&](int s) {
        TSwitcherConfig cfg;
        cfg.Inputs = FInputs;
        cfg.Outputs = FSwitcherOutputs[U(s)];
        cfg.Clients = FClients;
        cfg.Status = FSwitcherStatus[U(s - 1)];
        const bool ok = FPorts[U(s)]->ReadConfig(cfg);
        stateChanged[U(s)] = cfg.StateChanged;
        hdmiChanged[U(s)] = cfg.HdmiChanged;
        if (ok) {
            FSwitcherOutputs[U(s)] = cfg.Outputs;
            FReadInputs = cfg.Inputs;
            FReadOutputs = cfg.Outputs;
            FClients = cfg.Clients;
            FSwitcherStatus[U(s - 1)] = cfg.Status;
        }
        return ok;
    };
    if (!EachSwitcher(FConfigErrors, read,
                      [&] { FViews.SetConfigIndicator(true, false, FClients); }))
        return false;
    FViews.SetConfigIndicator(false, true, FClients);
    return true;
}

void TPollCycle::Cycle(bool& firstCycle) {
    if (!ConnectionPhase() || FTerminated.load())
        return;

    std::array<bool, 5> stateChanged{}, hdmiChanged{};
    if (!ConfigPhase(stateChanged, hdmiChanged) || FTerminated.load())
        return;

    const auto now = Clock::now();
    if (firstCycle || now - FStatusTick >= std::chrono::milliseconds(FStatusIntervalMs)) {
        // Taken before the step: a request made while it runs is kept for the next one.
        const bool force = FStatusRequest.exchange(false) || firstCycle;
        Sync([&] { FViews.PaintStatus(force, FSwitcherStatus, FSwitcherCount); });
        FStatusTick = now;
    }

    int outputs = FReadOutputs;
    if (FLevels.OutputLimit > 0 && FLevels.OutputLimit < outputs)
        outputs = FLevels.OutputLimit;
    if (FReadInputs != FInputs || outputs != FOutputs) {
        FInputs = FReadInputs;
        FOutputs = outputs;
        Sync([&] { FViews.ApplySize(FInputs, FOutputs); });
        TakeViewsAsSent();
        FRefresh = true;
    }

    if (FSalvoRequest.load(std::memory_order_acquire)) {
        if (!RunSalvo()) {
            Count(FSalvoErrors);
            return;
        }
        FSalvoErrors = 0;
        FRefresh = true;
    }
    if (FTerminated.load())
        return;

    auto changed = [&](const std::array<bool, 5>& flags) {
        bool any = FRefresh;
        for (int s = 1; s <= FSwitcherCount; ++s)
            any = any || flags[U(s)];
        return any;
    };
    if (changed(stateChanged) && !ReadPhase(FStateErrors, [&](int s) {
            if (!FPorts[U(s)]->ReadState())
                return false;
            DecodeState(s);
            return true;
        }))
        return;
    if (changed(hdmiChanged) &&
        !ReadPhase(FHdmiErrors, [&](int s) { return FPorts[U(s)]->ReadHdmi(FHdmiState[U(s)]); }))
        return;

    const bool hdmiRefresh = FHdmiRefresh.exchange(false);
    if (FRefresh || hdmiRefresh)
        for (int s = 1; s <= FSwitcherCount; ++s)
            FHdmiShadow[U(s)] = Differing(FHdmiState[U(s)]);
    FRefresh = false;

    if (firstCycle) {
        Sync([&] { FViews.FirstCycle(FLevelCount); });
        firstCycle = false;
    }
    PublishState();
    PublishHdmiStep();
    SendRequests();
    SendHdmi();
    const std::uint64_t completed = FCompletedCycles.fetch_add(1, std::memory_order_relaxed) + 1;
    const std::uint64_t wanted = FViews.CycleWanted();
    if (wanted != 0 && completed >= wanted)
        Sync([&] { FViews.CycleReached(completed); });
    FPause.Sleep();
}

// Reads one kind of state from every switcher with the state indicator on,
// counting failures per switcher; false when the cycle is to go no further.
bool TPollCycle::ReadPhase(TCounts& errors, const std::function<bool(int)>& read) {
    FViews.SetStateIndicator(true, true);
    if (!EachSwitcher(errors, read, [&] { FViews.SetStateIndicator(true, false); }))
        return false;
    FViews.SetStateIndicator(false, true);
    return true;
}

// Runs step for every switcher in turn. A success clears the switcher's error
// count; a failure calls failed and counts, and too many end the thread. False
// when any switcher failed or the thread is to end.
bool TPollCycle::EachSwitcher(TCounts& errors, const std::function<bool(int)>& step,
                              const std::function<void()>& failed) {
    for (int s = 1; s <= FSwitcherCount; ++s) {
        if (step(s)) {
            errors[U(s)] = 0;
        } else {
            if (failed)
                failed();
            if (!Count(errors[U(s)]))
                return false;
        }
        if (FTerminated.load())
            return false;
    }
    return !AnyFailure(errors);
}

void TPollCycle::DecodeState(int s) {
    // Blocks follow this switcher's own output count. A block is decoded only
    // when the reply carries all of it, and only into a level of this switcher
    // with the block's address; other blocks (addresses outside 1..4, levels
    // the panel does not configure here) are skipped.
    const TSwitcherConnection& p = *FPorts[U(s)];
    const int m = FSwitcherOutputs[U(s)];
    const int stride = m + 3;
    const int n = p.ReplyLength();
    for (int b = 0; b < 4; ++b) {
        const int first = 3 + b * stride;
        if (first + stride - 1 > n - 1) // the last word N is the checksum
            break;
        const int address = p.ReplyWord(first);
        int level = 0;
        for (int i = 1; i <= FSwitcherLevelCount[U(s)]; ++i)
            if (FSwitcherAddresses[U(s)][U(i)] == address)
                level = FSwitcherLevels[U(s)][U(i)];
        if (address < 1 || address > 4 || level == 0)
            continue;
        for (int k = 0; k < FOutputs && k < m; ++k) {
            const int w = p.ReplyWord(first + 1 + k);
            FCrossPoints[U(k)][U(level - 1)] = (w & 0x7FFF) - 1;
            FLocks[U(k)][U(level - 1)] = (w & 0x8000) != 0;
        }
        FMonitor[U(level - 1)] = p.ReplyWord(first + 1 + m) - 1;
    }
}

void TPollCycle::PublishState() {
    // The rate and the comparison are the poll thread's own; the GUI thread is
    // asked for a step only when there is something to show.
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - FLastCounter).count();
    FRateSamples[U(++FRateIndex)] = seconds > 0 ? 1.0 / seconds : 0.0;
    double rate = -1;
    if (FRateIndex >= 15 && !FViews.CycleRateWanted()) {
        FRateIndex = 0;
    } else if (FRateIndex >= 15) {
        double sum = 0;
        for (int i = 1; i <= 15; ++i)
            sum += FRateSamples[U(i)];
        FRateIndex = 0;
        rate = sum / 15;
    }
    bool changed = FMonitor != FSentMonitor;
    for (int o = 0; o < FOutputs && !changed; ++o)
        changed = FSentCrossPoints[U(o)] != FCrossPoints[U(o)] ||
                  FSentLocks[U(o)] != FLocks[U(o)] || FPreviewShown[U(o)] != FCrossPoints[U(o)];
    if (rate >= 0 || changed)
        Sync([&] {
            if (rate >= 0)
                FViews.ShowCycleRate(rate);
            if (!changed)
                return;
            for (int o = 0; o < FOutputs; ++o) {
                if (FSentCrossPoints[U(o)] != FCrossPoints[U(o)])
                    FViews.SetFieldStatus(o, FCrossPoints[U(o)]);
                if (FSentLocks[U(o)] != FLocks[U(o)])
                    FViews.SetFieldLock(o, PackLevelFlags(FLocks[U(o)]));
                FSentCrossPoints[U(o)] = FCrossPoints[U(o)];
                FSentLocks[U(o)] = FLocks[U(o)];
                // A route the panel sent itself is not news to the field, but
                // the preview shows the switcher's report.
                if (FPreviewShown[U(o)] != FCrossPoints[U(o)]) {
                    FViews.SetPreviewStatus(o, FCrossPoints[U(o)]);
                    FPreviewShown[U(o)] = FCrossPoints[U(o)];
                }
            }
            if (FMonitor != FSentMonitor) {
                FViews.SetFieldMonitor(FMonitor);
                FSentMonitor = FMonitor;
            }
        });
    FLastCounter = Clock::now();
}

void TPollCycle::PublishHdmiStep() {
    int tab = -1;
    THdmiWanted wanted;
    if (!FViews.HdmiWanted(tab, wanted) || tab < 0 || tab >= FSwitcherCount)
        return;
    const int s = tab + 1;
    Sync([&] { FViews.PublishHdmi(tab, FHdmiState[U(s)], FHdmiShadow[U(s)]); });
    FHdmiShadow[U(s)] = FHdmiState[U(s)];
}

bool TPollCycle::RunSalvo() {
    FViews.PostProgress(0, 1);
    const int step = 100 / (FLevelCount + 1);
    int progress = 0;
    const TFieldState& f = FViews.FieldState();
    std::array<int, 256> inputs{};
    for (int p = 1; p <= FLevelCount; ++p) {
        const bool controlled = LevelFlag(f.Control(), p);
        for (int o = 0; o < FOutputs; ++o)
            inputs[U(o)] = controlled ? f.Preset(o, p) : f.Status(o, p);
        if (!FPorts[U(FLevelSwitcher[U(p)])]->SendPresetTable(FLevels.LevelAddress[U(p)], FOutputs,
                                                              inputs.data()))
            return false;
        progress += step;
        FViews.PostProgress(progress, 1);
        if (FTerminated.load())
            return false;
    }
    const bool ignoreLocks = FIgnoreLocks.load(std::memory_order_relaxed);
    bool lastOk = true;
    for (int s = 1; s <= FSwitcherCount; ++s) {
        const int* addresses = &FSwitcherAddresses[U(s)][1];
        lastOk = ignoreLocks
                     ? FPorts[U(s)]->TakePresetIgnoreLocks(FSwitcherLevelCount[U(s)], addresses)
                     : FPorts[U(s)]->TakePreset(FSwitcherLevelCount[U(s)], addresses);
    }
    if (!lastOk)
        return false;
    FViews.PostProgress(100, 1);
    FSalvoRequest.store(false);
    FViews.PostProgress(0, 0);
    return true;
}

void TPollCycle::SendRequests() {
    const TFieldState& f = FViews.FieldState();
    for (int o = 0; o < FOutputs && !FTerminated.load(); ++o) {
        std::array<std::array<TLevelEntry, 4>, 5> routes{};
        std::array<std::array<int, 4>, 5> locks{};
        std::array<int, 5> nRoutes{}, nLocks{};
        const TLevelValues wanted = f.Status(o);
        const std::uint32_t lockBytes = f.Lock(o);
        for (int j = 1; j <= FLevelCount; ++j) {
            const int s = FLevelSwitcher[U(j)];
            const int input = wanted[U(j - 1)];
            if (input != FSentCrossPoints[U(o)][U(j - 1)]) {
                routes[U(s)][U(nRoutes[U(s)]++)] = {FLevels.LevelAddress[U(j)], input};
                FSentCrossPoints[U(o)][U(j - 1)] = input;
            }
            const bool locked = LevelFlag(lockBytes, j);
            if (locked != FSentLocks[U(o)][U(j - 1)]) {
                locks[U(s)][U(nLocks[U(s)]++)] = FLevels.LevelAddress[U(j)];
                FSentLocks[U(o)][U(j - 1)] = locked;
            }
        }
        for (int s = 1; s <= FSwitcherCount; ++s) {
            if (nRoutes[U(s)] > 0) {
                FViews.SetProcIndicator(true);
                FPorts[U(s)]->SwitchOutputs(o, nRoutes[U(s)], routes[U(s)].data());
                FViews.SetProcIndicator(false);
                FRefresh = true;
            }
            if (nLocks[U(s)] > 0) {
                FViews.SetProcIndicator(true);
                FPorts[U(s)]->SendLocks(o, nLocks[U(s)], locks[U(s)].data());
                FViews.SetProcIndicator(false);
                FRefresh = true;
            }
        }
    }
    std::array<std::array<TLevelEntry, 4>, 5> monitor{};
    std::array<int, 5> nMonitor{};
    const TLevelValues wantedMonitor = f.Monitor();
    for (int j = 1; j <= FLevelCount; ++j) {
        if (wantedMonitor[U(j - 1)] != FSentMonitor[U(j - 1)]) {
            const int s = FLevelSwitcher[U(j)];
            monitor[U(s)][U(nMonitor[U(s)]++)] = {FLevels.LevelAddress[U(j)],
                                                  wantedMonitor[U(j - 1)]};
            FSentMonitor[U(j - 1)] = wantedMonitor[U(j - 1)];
        }
    }
    for (int s = 1; s <= FSwitcherCount; ++s) {
        if (nMonitor[U(s)] > 0) {
            FViews.SetProcIndicator(true);
            FPorts[U(s)]->SwitchMonitor(nMonitor[U(s)], monitor[U(s)].data());
            FViews.SetProcIndicator(false);
            FRefresh = true;
        }
    }
}

void TPollCycle::SendHdmi() {
    int tab = -1;
    THdmiWanted w;
    // Only values painted from this very switcher are sent: the tab may have
    // changed since this cycle published.
    if (!FViews.HdmiWanted(tab, w) || tab < 0 || tab >= FSwitcherCount || w.PaintedFor != tab)
        return;
    const int s = tab + 1;
    THdmiState& sh = FHdmiShadow[U(s)];
    TSwitcherConnection& p = *FPorts[U(s)];
    auto send = [&](const std::function<void()>& command) {
        FViews.SetProcIndicator(true);
        command();
        FViews.SetProcIndicator(false);
        FRefresh = true;
    };
    // One row of the HDMI table: a control whose value differs from the shadow
    // is stored there first, then sent.
    auto row = [&](auto& shadow, auto value, const std::function<void()>& command) {
        const auto v = static_cast<std::decay_t<decltype(shadow)>>(value);
        if (v == shadow)
            return;
        shadow = v;
        send(command);
    };
    ForEachHdmiField([&](const auto& field) {
        using TField = std::decay_t<decltype(field)>;
        if constexpr (TField::Controlled) {
            const int value = static_cast<int>(w.*TField::Wanted);
            row(sh.*TField::State, value, [&] { field.Send(p, value); });
        }
    });
}

void TPollCycle::EndExecute() {
    for (int s = 1; s <= FSwitcherCount; ++s)
        if (FPorts[U(s)])
            FPorts[U(s)]->Disconnect();
    FViews.PostProgress(0, 0);
    FLastError = 0;
    FLastErrorIP = 0;
    for (int s = 1; s <= FSwitcherCount; ++s)
        if (FPorts[U(s)] && FPorts[U(s)]->ErrorCode() != 0) {
            FLastError = FPorts[U(s)]->Status();
            FLastErrorIP = FSwitcherIP[U(s)];
            logsink::Emit(logsink::TArea::Poll, true,
                          "Polling ended by an error of " + Where(s) + " (status " +
                              std::to_string(FLastError) + ")");
            break;
        }
    for (auto& p : FPorts)
        p.reset();
    Sync([&] { FViews.Finish(); });
    FViews.PostPollDone();
}
