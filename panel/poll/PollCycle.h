#pragma once

#include "CyclePause.h"
#include "FieldState.h"
#include "HdmiFields.h"
#include "LinkError.h"
#include "SwitcherConnection.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

// What the poll cycle needs of the views. The step methods run on the GUI
// thread, inside IPollExecutor::Sync; the reads may come from the poll thread.
class IPollViews {
public:
    virtual ~IPollViews() = default;

    // Read from the poll thread: the switcher (0-based) of the selected HDMI tab
    // and the window's wanted values; false while HDMI monitoring is off or no tab is selected.
    // False while HDMI monitoring is off or no tab is selected.
    virtual bool HdmiWanted(int& switcherIndex, THdmiWanted& wanted) const = 0;
    // Read from the poll thread: whether the cycle rate is shown (ShowCycleRate
    // is then called about twice a second); a step costs a wake-up of the GUI.
    virtual bool CycleRateWanted() const { return true; }
    // Read from the poll thread: the number of completed cycles after which
    // CycleReached is to run (0: none is wanted). A client that waits for the
    // switchers' state to come back asks for it instead of counting reports.
    virtual std::uint64_t CycleWanted() const { return 0; }

    // Called on the poll thread, several times a cycle: they only store the
    // state (thread-safe), and the views show it at their own pace.
    virtual void SetInitIndicator(bool active, bool ok) = 0;
    virtual void SetConfigIndicator(bool active, bool ok, int clients) = 0;
    virtual void SetStateIndicator(bool active, bool ok) = 0;
    virtual void SetProcIndicator(bool busy) = 0;

    // Synchronised steps.
    virtual void PaintStatus(bool force, const std::array<TSwitcherStatus, 4>& status,
                             int count) = 0;
    virtual void EnableStatusRows() = 0;
    virtual void ResetStatusRows() = 0;
    virtual void ApplySize(int inputs, int outputs) = 0;
    virtual void FirstCycle(int levelCount) = 0;
    virtual void SetFieldStatus(int output, const TLevelValues& inputs) = 0;
    virtual void SetFieldLock(int output, std::uint32_t lockBytes) = 0;
    virtual void SetFieldMonitor(const TLevelValues& outputs) = 0;
    // The reported inputs of one output for the preview.
    virtual void SetPreviewStatus(int output, const TLevelValues& inputs) = 0;
    // The locks an output has on the switchers as read, whoever set them
    // (SetFieldLock leaves out the panel's own changes).
    virtual void ReportLocks(int /*output*/, std::uint32_t /*lockBytes*/) {}
    virtual void ShowCycleRate(double cyclesPerSecond) = 0;
    // The cycle asked for by CycleWanted has completed: its state is published.
    virtual void CycleReached(std::uint64_t completed) { (void)completed; }
    virtual void PublishHdmi(int switcherIndex, const THdmiState& state,
                             const THdmiState& shadow) = 0;
    virtual void Finish() = 0;
    // With ResumeAfterLoss: switchers (bit s - 1 for switcher s) given up on
    // after too many failures, all of them lost so far, and what failed; the
    // cycle keeps trying them once a second. LinkRestored follows once every
    // switcher answers again and their state has been read back.
    virtual void LinkLost(std::uint32_t /*switchers*/, const TLinkError& /*error*/) {}
    virtual void LinkRestored(std::uint32_t /*switchers*/) {}

    // Posted messages (any thread).
    virtual void PostProgress(int percent, int show) = 0;
    virtual void PostPollDone() = 0;
};

// Runs a step on the GUI thread while the calling thread waits for it.
class IPollExecutor {
public:
    virtual ~IPollExecutor() = default;
    virtual void Sync(const std::function<void()>& step) = 0;
};

// The level table handed to the poll thread when operation starts.
struct TPollLevels {
    int LevelCount = 0;
    std::array<std::int32_t, 5> LevelIP{};      // 1..4
    std::array<std::int32_t, 5> LevelAddress{}; // 1..4
    int TcpPort = port::DefaultPort;
    int OutputLimit = 0;
    // Once operating, a switcher that fails too often does not end polling:
    // it is retried once a second until it answers again.
    bool ResumeAfterLoss = false;
};

// One poll thread's work: connect, identify, read configuration, state and
// HDMI state every cycle, publish changes to the views and send the operator's
// changes. Plain C++; the thread that runs it and the GUI hand-over are given.
class TPollCycle {
public:
    // `table` is the operator's wanted cross-points, read every cycle from the
    // poll thread; it outlives the cycle.
    TPollCycle(const TPollLevels& levels, const TFieldState& table, IPollViews& views,
               IPollExecutor& executor);
    ~TPollCycle();

    // Runs until terminated; its last action posts the completion message.
    void Execute();

    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }

    // Requests from the GUI. FIgnoreLocks is stored before FSalvoRequest.
    void RequestSalvo(bool ignoreLocks) {
        FIgnoreLocks.store(ignoreLocks, std::memory_order_relaxed);
        FSalvoRequest.store(true, std::memory_order_release);
    }
    void RequestStatus() { FStatusRequest.store(true); }
    void RequestHdmiRefresh() { FHdmiRefresh.store(true); }
    bool SalvoRequested() const { return FSalvoRequest.load(); }
    // Cycles completed so far (any thread).
    std::uint64_t CompletedCycles() const {
        return FCompletedCycles.load(std::memory_order_relaxed);
    }

    // What ended Execute (nothing failed: Failed() is false); valid after it returned.
    const TLinkError& LastError() const { return FLastError; }

    // Tables built by the constructor (switchers and levels 1-based).
    int FLevelCount = 0;
    int FSwitcherCount = 0;
    std::array<std::int32_t, 5> FSwitcherIP{};
    std::array<int, 5> FLevelSwitcher{};
    std::array<int, 5> FSwitcherLevelCount{};
    std::array<std::array<int, 5>, 5> FSwitcherLevels{};
    std::array<std::array<int, 5>, 5> FSwitcherAddresses{};
    std::array<int, 5> FAddressLevel{};

private:
    using TCounts = std::array<int, 5>;
    // Counts a failure of switcher s (0: of the salvo, on whichever failed).
    bool Count(int& counter, int s = 0);
    void DeclareLost(int s);
    void PaceRetry();
    bool AnyFailure(const TCounts& c) const;
    void Sync(const std::function<void()>& step) { FExecutor.Sync(step); }
    void TakeViewsAsSent();
    void Cycle(bool& firstCycle);
    bool ConnectionPhase();
    bool ConfigPhase(std::array<bool, 5>& stateChanged, std::array<bool, 5>& hdmiChanged);
    bool ReadPhase(TCounts& errors, const std::function<bool(int)>& read);
    bool EachSwitcher(TCounts& errors, const std::function<bool(int)>& step,
                      const std::function<void()>& failed = {});
    void DecodeState(int s);
    bool RunSalvo();
    void SendRequests();
    void SendHdmi();
    void PublishState();
    void PublishHdmiStep();
    void EndExecute();

    TPollLevels FLevels;
    const TFieldState& FTable;
    IPollViews& FViews;
    IPollExecutor& FExecutor;
    std::atomic<bool> FTerminated{false};
    std::atomic<std::uint64_t> FCompletedCycles{0};
    TLinkError FLastError;
    std::atomic<bool> FSalvoRequest{false}, FIgnoreLocks{false}, FStatusRequest{false},
        FHdmiRefresh{false};

    std::array<std::unique_ptr<TSwitcherConnection>, 5> FPorts;
    static constexpr int FMaxErrors = 3;
    bool FOperated = false;  // a first cycle has completed
    std::uint32_t FLost = 0; // switchers given up on and retried (bit s - 1)
    std::chrono::steady_clock::time_point FLastRetry;
    static constexpr std::chrono::milliseconds RetryInterval{1000};
    // Per switcher: 0 not yet connected, 1 connected, 2 lost (for the log).
    std::array<int, 5> FLinkState{};
    std::string Where(int s) const;
    TCounts FConnectErrors{}, FIdentifyErrors{}, FConfigErrors{}, FStateErrors{}, FHdmiErrors{};
    int FSalvoErrors = 0;
    int FInputs = 0, FOutputs = 0;
    int FReadInputs = 0, FReadOutputs = 0; // as the last configuration reply gave them
    std::array<int, 5> FSwitcherOutputs{}; // each switcher's own output count (state layout)
    std::array<TLevelValues, 256> FCrossPoints{}, FSentCrossPoints{};
    // What the preview was last given; a value it cannot hold at first, so
    // every output is published once per run.
    std::array<TLevelValues, 256> FPreviewShown;
    std::array<std::array<bool, 4>, 256> FLocks{}, FSentLocks{}, FLocksReported{};
    TLevelValues FMonitor{}, FSentMonitor{};
    int FClients = 0;
    std::array<TSwitcherStatus, 4> FSwitcherStatus{};
    std::array<THdmiState, 5> FHdmiState{}, FHdmiShadow{};
    bool FRefresh = true;
    std::chrono::steady_clock::time_point FStatusTick;
    TCyclePause FPause{std::chrono::milliseconds(2)};
    static constexpr int FStatusIntervalMs = 1000;
    std::chrono::steady_clock::time_point FLastCounter;
    int FRateIndex = 0;
    std::array<double, 16> FRateSamples{};
};
