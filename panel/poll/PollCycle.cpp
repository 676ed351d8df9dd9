#include "PollCycle.h"

#include "Index.h"
#include "IpText.h"
#include "LogSink.h"

#include <algorithm>
#include <limits>
#include <thread>
#include <type_traits>
#include <utility>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

TPollCycle::TPollCycle(const TPollLevels& levels, const TFieldState& table, IPollViews& views,
                       IPollExecutor& executor)
    : FLevels(levels), FTable(table), FViews(views), FExecutor(executor) {
    FLevelCount = std::clamp(levels.LevelCount, 0, 4);
    TLevelValues unknown;
    unknown.fill(std::numeric_limits<std::int32_t>::min());
    FPreviewShown.fill(unknown);
    FAddressLevel.fill(1);
    for (int r = 1; r <= FLevelCount; ++r) {
        const int a = FLevels.LevelAddress[Ix(r)];
        if (a >= 1 && a <= 4)
            FAddressLevel[Ix(a)] = r;
    }
    for (int r = 1; r <= FLevelCount; ++r) {
        const std::int32_t ip = FLevels.LevelIP[Ix(r)];
        int s = 1;
        while (s <= FSwitcherCount && FSwitcherIP[Ix(s)] != ip)
            ++s;
        if (s > FSwitcherCount)
            FSwitcherCount = s;
        const int n = ++FSwitcherLevelCount[Ix(s)];
        FSwitcherLevels[Ix(s)][Ix(n)] = r;
        FSwitcherAddresses[Ix(s)][Ix(n)] = FLevels.LevelAddress[Ix(r)];
        FLevelSwitcher[Ix(r)] = s;
        FSwitcherIP[Ix(s)] = ip;
    }
}

TPollCycle::~TPollCycle() = default;

bool TPollCycle::Count(int& counter, int s) {
    // More than FMaxErrors consecutive failures of one kind end the thread,
    // or, once operating with ResumeAfterLoss, make the switcher one to retry.
    if (counter > FMaxErrors) {
        if (FLevels.ResumeAfterLoss && FOperated)
            DeclareLost(s);
        else
            FTerminated.store(true);
        return false;
    }
    ++counter;
    return true;
}

void TPollCycle::DeclareLost(int s) {
    std::uint32_t lost = 0;
    int first = s;
    if (s > 0) {
        lost = 1u << (s - 1);
    } else {
        for (int t = FSwitcherCount; t >= 1; --t)
            if (FPorts[Ix(t)] && FPorts[Ix(t)]->ErrorCode() != 0) {
                lost |= 1u << (t - 1);
                first = t;
            }
        if (lost == 0) {
            lost = (1u << FSwitcherCount) - 1;
            first = 1;
        }
    }
    if ((lost & ~FLost) == 0)
        return;
    const bool wasLost = FLost != 0;
    FLost |= lost;
    if (!wasLost)
        FLastRetry = Clock::now();
    const TLinkError error =
        TLinkError::FromStatus(FPorts[Ix(first)]->Status(), FSwitcherIP[Ix(first)]);
    logsink::Emit(logsink::TArea::Poll, true,
                  "Gave up on " + Where(first) + " (operation " + std::to_string(error.Operation) +
                      ", error " + std::to_string(error.Code) + "); retrying once a second");
    Sync([&] { FViews.LinkLost(FLost, error); });
    // A salvo asked for before the loss is not sent after it: the views now
    // refuse new requests, and the state is read back before anything goes out.
    FSalvoRequest.store(false);
    FViews.PostProgress(0, 0);
}

// While switchers are lost, each connection attempt starts a second after the
// last one; the wait ends at once when the thread is to end.
void TPollCycle::PaceRetry() {
    const auto due = FLastRetry + RetryInterval;
    while (!FTerminated.load()) {
        const auto now = Clock::now();
        if (now >= due)
            break;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(due - now, std::chrono::milliseconds(20)));
    }
    FLastRetry = Clock::now();
}

bool TPollCycle::AnyFailure(const TCounts& c) const {
    for (int s = 1; s <= FSwitcherCount; ++s)
        if (c[Ix(s)] != 0)
            return true;
    return false;
}

void TPollCycle::TakeViewsAsSent() {
    const TFieldState& f = FTable;
    for (int o = 0; o < FOutputs; ++o) {
        FSentCrossPoints[Ix(o)] = f.Status(o);
        FSentLocks[Ix(o)] = UnpackLevelFlags(f.Lock(o));
        FCrossPoints[Ix(o)] = FSentCrossPoints[Ix(o)];
        FLocks[Ix(o)] = FSentLocks[Ix(o)];
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
        FPorts[Ix(s)] = std::make_unique<TSwitcherConnection>();
        FPorts[Ix(s)]->FHost = FormatIP(FSwitcherIP[Ix(s)]);
        FPorts[Ix(s)]->FPort = FLevels.TcpPort;
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
        needed = needed || FConnectErrors[Ix(s)] + FIdentifyErrors[Ix(s)] + FConfigErrors[Ix(s)] +
                                   FStateErrors[Ix(s)] + FHdmiErrors[Ix(s)] + FSalvoErrors >
                               0;
    if (!needed)
        return true;
    const bool connected = EachSwitcher(FConnectErrors, [&](int s) {
        TSwitcherConnection& p = *FPorts[Ix(s)];
        // One line when a working connection is lost, none per retry.
        if (FLinkState[Ix(s)] == 1) {
            FLinkState[Ix(s)] = 2;
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
            return FPorts[Ix(s)]->Identify(id);
        },
        [&] { FViews.SetInitIndicator(true, false); });
    if (!identified)
        return false;
    FRefresh = true;
    FViews.SetInitIndicator(false, true);
    for (int s = 1; s <= FSwitcherCount; ++s) {
        if (FLinkState[Ix(s)] != 1)
            logsink::Emit(logsink::TArea::Link, false,
                          (FLinkState[Ix(s)] == 2 ? "Reconnected to " : "Connected to ") +
                              Where(s));
        FLinkState[Ix(s)] = 1;
    }
    return true;
}

std::string TPollCycle::Where(int s) const {
    return FormatIP(FSwitcherIP[Ix(s)]) + ":" + std::to_string(FLevels.TcpPort);
}

bool TPollCycle::ConfigPhase(std::array<bool, 5>& stateChanged, std::array<bool, 5>& hdmiChanged) {
    FViews.SetConfigIndicator(true, !AnyFailure(FConfigErrors), FClients);
    auto read = [&](int s) {
        TSwitcherConfig cfg;
        cfg.Inputs = FInputs;
        cfg.Outputs = FSwitcherOutputs[Ix(s)];
        cfg.Clients = FClients;
        cfg.Status = FSwitcherStatus[Ix(s - 1)];
        const bool ok = FPorts[Ix(s)]->ReadConfig(cfg);
        stateChanged[Ix(s)] = cfg.StateChanged;
        hdmiChanged[Ix(s)] = cfg.HdmiChanged;
        if (ok) {
            FSwitcherOutputs[Ix(s)] = cfg.Outputs;
            FReadInputs = cfg.Inputs;
            FReadOutputs = cfg.Outputs;
            FClients = cfg.Clients;
            FSwitcherStatus[Ix(s - 1)] = cfg.Status;
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
    if (FLost != 0) {
        PaceRetry();
        if (FTerminated.load())
            return;
    }
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
            any = any || flags[Ix(s)];
        return any;
    };
    if (changed(stateChanged) && !ReadPhase(FStateErrors, [&](int s) {
            if (!FPorts[Ix(s)]->ReadState())
                return false;
            DecodeState(s);
            return true;
        }))
        return;
    if (changed(hdmiChanged) &&
        !ReadPhase(FHdmiErrors, [&](int s) { return FPorts[Ix(s)]->ReadHdmi(FHdmiState[Ix(s)]); }))
        return;

    const bool hdmiRefresh = FHdmiRefresh.exchange(false);
    if (FRefresh || hdmiRefresh)
        for (int s = 1; s <= FSwitcherCount; ++s)
            FHdmiShadow[Ix(s)] = Differing(FHdmiState[Ix(s)]);
    FRefresh = false;

    if (firstCycle) {
        Sync([&] { FViews.FirstCycle(FLevelCount); });
        firstCycle = false;
    }
    PublishState();
    if (FLost != 0) {
        // Every switcher answers and its state is shown: what the operator
        // wants may go out again.
        const std::uint32_t back = std::exchange(FLost, 0u);
        logsink::Emit(logsink::TArea::Poll, false, "Every switcher answers again; resuming");
        Sync([&] { FViews.LinkRestored(back); });
    }
    FOperated = true;
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
            errors[Ix(s)] = 0;
        } else {
            if (failed)
                failed();
            if (!Count(errors[Ix(s)], s))
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
    const TSwitcherConnection& p = *FPorts[Ix(s)];
    const int m = FSwitcherOutputs[Ix(s)];
    const int stride = m + 3;
    const int n = p.ReplyLength();
    for (int b = 0; b < 4; ++b) {
        const int first = 3 + b * stride;
        if (first + stride - 1 > n - 1) // the last word N is the checksum
            break;
        const int address = p.ReplyWord(first);
        int level = 0;
        for (int i = 1; i <= FSwitcherLevelCount[Ix(s)]; ++i)
            if (FSwitcherAddresses[Ix(s)][Ix(i)] == address)
                level = FSwitcherLevels[Ix(s)][Ix(i)];
        if (address < 1 || address > 4 || level == 0)
            continue;
        for (int k = 0; k < FOutputs && k < m; ++k) {
            const int w = p.ReplyWord(first + 1 + k);
            FCrossPoints[Ix(k)][Ix(level - 1)] = (w & 0x7FFF) - 1;
            FLocks[Ix(k)][Ix(level - 1)] = (w & 0x8000) != 0;
        }
        FMonitor[Ix(level - 1)] = p.ReplyWord(first + 1 + m) - 1;
    }
}

void TPollCycle::PublishState() {
    // The rate and the comparison are the poll thread's own; the GUI thread is
    // asked for a step only when there is something to show.
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - FLastCounter).count();
    FRateSamples[Ix(++FRateIndex)] = seconds > 0 ? 1.0 / seconds : 0.0;
    double rate = -1;
    if (FRateIndex >= 15 && !FViews.CycleRateWanted()) {
        FRateIndex = 0;
    } else if (FRateIndex >= 15) {
        double sum = 0;
        for (int i = 1; i <= 15; ++i)
            sum += FRateSamples[Ix(i)];
        FRateIndex = 0;
        rate = sum / 15;
    }
    bool changed = FMonitor != FSentMonitor;
    for (int o = 0; o < FOutputs && !changed; ++o)
        changed =
            FSentCrossPoints[Ix(o)] != FCrossPoints[Ix(o)] || FSentLocks[Ix(o)] != FLocks[Ix(o)] ||
            FPreviewShown[Ix(o)] != FCrossPoints[Ix(o)] || FLocksReported[Ix(o)] != FLocks[Ix(o)];
    if (rate >= 0 || changed)
        Sync([&] {
            if (rate >= 0)
                FViews.ShowCycleRate(rate);
            if (!changed)
                return;
            for (int o = 0; o < FOutputs; ++o) {
                if (FSentCrossPoints[Ix(o)] != FCrossPoints[Ix(o)])
                    FViews.SetFieldStatus(o, FCrossPoints[Ix(o)]);
                if (FSentLocks[Ix(o)] != FLocks[Ix(o)])
                    FViews.SetFieldLock(o, PackLevelFlags(FLocks[Ix(o)]));
                FSentCrossPoints[Ix(o)] = FCrossPoints[Ix(o)];
                FSentLocks[Ix(o)] = FLocks[Ix(o)];
                // A route the panel sent itself is not news to the field, but
                // the preview shows the switcher's report.
                if (FPreviewShown[Ix(o)] != FCrossPoints[Ix(o)]) {
                    FViews.SetPreviewStatus(o, FCrossPoints[Ix(o)]);
                    FPreviewShown[Ix(o)] = FCrossPoints[Ix(o)];
                }
                if (FLocksReported[Ix(o)] != FLocks[Ix(o)]) {
                    FViews.ReportLocks(o, PackLevelFlags(FLocks[Ix(o)]));
                    FLocksReported[Ix(o)] = FLocks[Ix(o)];
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
    Sync([&] { FViews.PublishHdmi(tab, FHdmiState[Ix(s)], FHdmiShadow[Ix(s)]); });
    FHdmiShadow[Ix(s)] = FHdmiState[Ix(s)];
}

bool TPollCycle::RunSalvo() {
    FViews.PostProgress(0, 1);
    const int step = 100 / (FLevelCount + 1);
    int progress = 0;
    const TFieldState& f = FTable;
    std::array<int, 256> inputs{};
    for (int p = 1; p <= FLevelCount; ++p) {
        const bool controlled = LevelFlag(f.Control(), p);
        for (int o = 0; o < FOutputs; ++o)
            inputs[Ix(o)] = controlled ? f.Preset(o, p) : f.Status(o, p);
        if (!FPorts[Ix(FLevelSwitcher[Ix(p)])]->SendPresetTable(FLevels.LevelAddress[Ix(p)],
                                                                FOutputs, inputs.data()))
            return false;
        progress += step;
        FViews.PostProgress(progress, 1);
        if (FTerminated.load())
            return false;
    }
    const bool ignoreLocks = FIgnoreLocks.load(std::memory_order_relaxed);
    bool lastOk = true;
    for (int s = 1; s <= FSwitcherCount; ++s) {
        const int* addresses = &FSwitcherAddresses[Ix(s)][1];
        lastOk = ignoreLocks
                     ? FPorts[Ix(s)]->TakePresetIgnoreLocks(FSwitcherLevelCount[Ix(s)], addresses)
                     : FPorts[Ix(s)]->TakePreset(FSwitcherLevelCount[Ix(s)], addresses);
    }
    if (!lastOk)
        return false;
    FViews.PostProgress(100, 1);
    FSalvoRequest.store(false);
    FViews.PostProgress(0, 0);
    return true;
}

void TPollCycle::SendRequests() {
    const TFieldState& f = FTable;
    for (int o = 0; o < FOutputs && !FTerminated.load(); ++o) {
        std::array<std::array<TLevelEntry, 4>, 5> routes{};
        std::array<std::array<int, 4>, 5> locks{};
        std::array<int, 5> nRoutes{}, nLocks{};
        const TLevelValues wanted = f.Status(o);
        const std::uint32_t lockBytes = f.Lock(o);
        for (int j = 1; j <= FLevelCount; ++j) {
            const int s = FLevelSwitcher[Ix(j)];
            const int input = wanted[Ix(j - 1)];
            if (input != FSentCrossPoints[Ix(o)][Ix(j - 1)]) {
                routes[Ix(s)][Ix(nRoutes[Ix(s)]++)] = {FLevels.LevelAddress[Ix(j)], input};
                FSentCrossPoints[Ix(o)][Ix(j - 1)] = input;
            }
            const bool locked = LevelFlag(lockBytes, j);
            if (locked != FSentLocks[Ix(o)][Ix(j - 1)]) {
                locks[Ix(s)][Ix(nLocks[Ix(s)]++)] = FLevels.LevelAddress[Ix(j)];
                FSentLocks[Ix(o)][Ix(j - 1)] = locked;
            }
        }
        for (int s = 1; s <= FSwitcherCount; ++s) {
            if (nRoutes[Ix(s)] > 0) {
                FViews.SetProcIndicator(true);
                FPorts[Ix(s)]->SwitchOutputs(o, nRoutes[Ix(s)], routes[Ix(s)].data());
                FViews.SetProcIndicator(false);
                FRefresh = true;
            }
            if (nLocks[Ix(s)] > 0) {
                FViews.SetProcIndicator(true);
                FPorts[Ix(s)]->SendLocks(o, nLocks[Ix(s)], locks[Ix(s)].data());
                FViews.SetProcIndicator(false);
                FRefresh = true;
            }
        }
    }
    std::array<std::array<TLevelEntry, 4>, 5> monitor{};
    std::array<int, 5> nMonitor{};
    const TLevelValues wantedMonitor = f.Monitor();
    for (int j = 1; j <= FLevelCount; ++j) {
        if (wantedMonitor[Ix(j - 1)] != FSentMonitor[Ix(j - 1)]) {
            const int s = FLevelSwitcher[Ix(j)];
            monitor[Ix(s)][Ix(nMonitor[Ix(s)]++)] = {FLevels.LevelAddress[Ix(j)],
                                                     wantedMonitor[Ix(j - 1)]};
            FSentMonitor[Ix(j - 1)] = wantedMonitor[Ix(j - 1)];
        }
    }
    for (int s = 1; s <= FSwitcherCount; ++s) {
        if (nMonitor[Ix(s)] > 0) {
            FViews.SetProcIndicator(true);
            FPorts[Ix(s)]->SwitchMonitor(nMonitor[Ix(s)], monitor[Ix(s)].data());
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
    THdmiState& sh = FHdmiShadow[Ix(s)];
    TSwitcherConnection& p = *FPorts[Ix(s)];
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
        if (FPorts[Ix(s)])
            FPorts[Ix(s)]->Disconnect();
    FViews.PostProgress(0, 0);
    FLastError = {};
    for (int s = 1; s <= FSwitcherCount; ++s)
        if (FPorts[Ix(s)] && FPorts[Ix(s)]->ErrorCode() != 0) {
            FLastError = TLinkError::FromStatus(FPorts[Ix(s)]->Status(), FSwitcherIP[Ix(s)]);
            logsink::Emit(logsink::TArea::Poll, true,
                          "Polling ended by an error of " + Where(s) + " (operation " +
                              std::to_string(FLastError.Operation) + ", error " +
                              std::to_string(FLastError.Code) + ", detail " +
                              std::to_string(FLastError.Detail) + ")");
            break;
        }
    for (auto& p : FPorts)
        p.reset();
    Sync([&] { FViews.Finish(); });
    FViews.PostPollDone();
}
