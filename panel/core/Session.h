#pragma once

#include "CrossPoints.h"
#include "LevelSetFile.h"
#include "Levels.h"
#include "LinkError.h"
#include "Names.h"
#include "PollCycle.h"
#include "SalvoFile.h"
#include "StepBack.h"

#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class THdmiRequests;
class TOperatorLog;
class TPollThread;

// What the operator's clicks do: nothing (not operating), route at once, or
// prepare a preset that TAKE sends.
enum class TMode { Off, OnLine, Preset };

// A preset cross-point a TAKE would leave as it is, and why.
struct TTakeHeld {
    int Output = 0; // 0-based, as the salvo or the preset names it
    int Level = 1;
    int Input = 0;
    THold Why = THold::None;
};

// What a TAKE would do now: the preset cross-points it sends (Why is None)
// and those it holds.
struct TTakePlan {
    std::vector<TTakeHeld> Taken, Held;
};

// The operating session: the levels, the mode, the poll thread's life, the
// cross-points the operator wants, the HDMI values asked for, the salvos of
// the matrix size and the operator's log. It carries out the poll cycle's view
// steps and reports what a window shows through its signals; it needs no
// widgets, so a program without a window can drive it.
class TSession : public QObject, public IPollViews {
    Q_OBJECT
public:
    // folder: where the level set file (levelSetFileName), Memory/ and the
    // operator's log live.
    TSession(QString folder, QString levelSetFileName, QObject* parent = nullptr);
    ~TSession() override;

    // Levels.
    // Reads the level set file; polling must not run.
    void LoadLevelSet();
    const TLevels& Levels() const { return FLevels; }
    const QString& LevelSetFileName() const { return FLevelSetFileName; }

    // Mode.
    TMode Mode() const { return FMode; }
    void SetMode(TMode mode);
    // The mode polling starts in again (kept in the INI file).
    TMode LastMode() const { return FLastMode; }
    void SetLastMode(TMode mode) {
        FLastMode = mode == TMode::Preset ? TMode::Preset : TMode::OnLine;
    }

    // Operation.
    // Starts the poll thread on the levels read last; false when it runs already.
    bool StartPolling(int outputLimit);
    // Asks the poll thread to end; PollingEnded follows.
    void StopPolling();
    // Ends the poll thread now, serving its pending steps meanwhile; for a
    // shutdown that cannot wait for PollingEnded.
    void EndPolling();
    // A switcher lost while operating is retried once a second instead of
    // ending polling (set before StartPolling).
    void SetResumeAfterLoss(bool on) { FResumeAfterLoss = on; }
    bool ResumeAfterLoss() const { return FResumeAfterLoss; }
    // Switchers given up on and retried (bit s - 1), and what failed.
    std::uint32_t LostSwitchers() const { return FLostSwitchers; }
    const QString& LinkLostText() const { return FLinkLostText; }

    // One step back: the last operator action of this session (a route, a
    // keypad route, a TAKE, a lock change).
    TStepBack& StepBack() { return FStepBack; }
    const TStepBack& StepBack() const { return FStepBack; }
    // Operating, and the last action can be stepped back from.
    bool CanStepBack() const;
    // Restores what the last action changed, through the rules, as a new
    // action; false when there is nothing to do. `report` says what was not
    // restored and why (empty when everything was).
    bool StepBackNow(QString* report = nullptr);
    bool Polling() const { return FPollThread != nullptr; }
    TPollThread* PollThread() const { return FPollThread; }
    // Sends the preset (PRESET mode) or nothing new (ON LINE) as a salvo:
    // false when not operating.
    bool Take(bool ignoreLocks);
    // What Take would change and leave out, presets out of the matrix from the
    // last recalled salvo included; the same list for marks, boxes and scripts.
    TTakePlan PlanTake(bool ignoreLocks) const;
    // "out 3 "VTR" on L1 VIDEO: locked, ..." as the log and the front ends say it.
    QString HeldText(const std::vector<TTakeHeld>& held) const;
    void RequestStatus();
    void RequestHdmiRefresh();
    // Counts the changes a modal step must notice: mode, polling, matrix size, level set.
    quint64 WorldVersion() const { return FWorldVersion; }
    // What ended the last polling (nothing failed: Failed() is false).
    const TLinkError& LastLinkError() const { return FLastLinkError; }

    TCrossPoints& CrossPoints() { return FCross; }
    const TCrossPoints& CrossPoints() const { return FCross; }
    // The names and logos of inputs and outputs: read by the log and every
    // view, changed only through the model.
    TNames& Names() { return FNames; }
    const TNames& Names() const { return FNames; }
    QString InputName(int i) const { return FNames.Name(TNames::TSide::Input, i); }
    QString OutputName(int o) const { return FNames.Name(TNames::TSide::Output, o); }

    const std::shared_ptr<THdmiRequests>& HdmiRequests() const { return FHdmiRequests; }
    void SetCycleRateWanted(bool on) { FCycleRateWanted.store(on, std::memory_order_relaxed); }
    // CyclesCompleted follows once `cycles` more poll cycles have completed
    // (one request at a time; a new one replaces the old). Costs the poll
    // thread nothing until then.
    void NotifyAfterCycles(int cycles);

    // Indicator entries (0 busy, 1 ok, 2 error, 3 idle) of init, config,
    // state and proc as the poll thread left them, and the client count (-1 none yet).
    int IndicatorWanted(int index) const;
    int ClientsWanted() const { return FClientsWanted.load(std::memory_order_relaxed); }

    // Salvos of the matrix size.
    // The folder of the current size ("Memory/<I>x<O>-4/"); created with the
    // default salvos at once when `now` (or SizeSettleMs is 0), else once the
    // size has held for SizeSettleMs.
    void PrepareSalvoFolder(bool now = false);
    const QString& SalvoFolder() const { return FSalvoFolder; }
    // Reads the folder's salvos (sorted by name, case ignored); with `tidy`,
    // unfinished saves of an earlier run are removed first.
    void LoadSalvos(bool tidy = true);
    // The salvos of the current size as a reader sees them (see ManagesSalvoFolders).
    void ListSalvos();
    const std::vector<TMemorySlot>& Salvos() const { return FSalvos; }
    const TMemorySlot* FindSalvo(const std::string& name) const;
    // Writes a salvo file and lists it in place of `replaces` (a name), if given;
    // false with the reason in `error`.
    bool StoreSalvo(const TMemorySlot& slot, const std::string* replaces, QString* error);
    bool DeleteSalvo(const std::string& name, QString* error);
    // Writes the salvo's presets into the preset table (every level, whatever
    // CONTROL and the locks say); inputs the matrix lacks keep their preset.
    // Logged unless `log` is false (a dry run).
    void RecallSalvo(const TMemorySlot& slot, bool log = true);
    // A salvo of the current presets for the outputs named; the error text
    // shown to the operator, or empty.
    QString CheckSalvoName(const std::string& name, const std::string* ownName) const;
    TMemorySlot SalvoOfPresets(const std::string& name, const std::vector<int>& outputs) const;
    // A reader (matrixctl) lists the salvos and never writes: no folder is
    // created and nothing in one is tidied; a size without a folder lists the
    // default salvos the panel would create for it.
    bool ManagesSalvoFolders = true;
    int SizeSettleMs = 3000;
    // New size folders one run may create; more sizes get none (said once).
    // A size folder also comes by itself only while fewer than that many are
    // in the memory folder, so the bound holds across runs too.
    static constexpr int MaxNewSalvoFolders = 16;
    int NewSalvoFoldersLeft = MaxNewSalvoFolders;

    // The operator's log.
    static constexpr const char* OperatorLogName = "matrixpanel-operations.log";
    void Log(const QString& action, const QString& details);
    // Who acts, when not the panel itself: logged with every action.
    void SetLogSource(const QString& source) { FLogSource = source; }

    // Poll cycle view steps.
    bool HdmiWanted(int& switcherIndex, THdmiWanted& wanted) const override;
    bool CycleRateWanted() const override {
        return FCycleRateWanted.load(std::memory_order_relaxed);
    }
    void SetInitIndicator(bool active, bool ok) override;
    void SetConfigIndicator(bool active, bool ok, int clients) override;
    void SetStateIndicator(bool active, bool ok) override;
    void SetProcIndicator(bool busy) override;
    void PaintStatus(bool force, const std::array<TSwitcherStatus, 4>& status, int count) override;
    void EnableStatusRows() override { Q_EMIT StatusRowsEnabled(); }
    void ResetStatusRows() override { Q_EMIT StatusRowsReset(); }
    void ApplySize(int inputs, int outputs) override;
    void FirstCycle(int levelCount) override;
    void SetFieldStatus(int output, const TLevelValues& inputs) override;
    void SetFieldLock(int output, std::uint32_t lockBytes) override;
    void SetFieldMonitor(const TLevelValues& outputs) override;
    void SetPreviewStatus(int output, const TLevelValues& inputs) override;
    void ReportLocks(int output, std::uint32_t lockBytes) override {
        Q_EMIT LocksReported(output, lockBytes);
    }
    std::uint64_t CycleWanted() const override {
        return FCycleWanted.load(std::memory_order_relaxed);
    }
    void CycleReached(std::uint64_t completed) override;
    void ShowCycleRate(double cyclesPerSecond) override {
        Q_EMIT CycleRateMeasured(cyclesPerSecond);
    }
    void PublishHdmi(int switcherIndex, const THdmiState& state, const THdmiState& shadow) override;
    void Finish() override;
    void LinkLost(std::uint32_t switchers, const TLinkError& error) override;
    void LinkRestored(std::uint32_t switchers) override;
    void PostProgress(int percent, int show) override;
    void PostPollDone() override;

Q_SIGNALS:
    void ModeChanged();
    // The matrix size the switchers report (before the salvos of the size are read).
    void SizeChanged(int inputs, int outputs);
    void FirstCycleStarted(int levelCount);
    void SalvosChanged();
    // An indicator changed on the GUI thread (the poll thread's changes are read per frame).
    void IndicatorsChanged();
    // Polling has ended and the thread is gone; the report text, empty without an error.
    void PollingEnded(const QString& errorText);
    // The progress of a long step: show 1 with a percentage, 0 when done.
    void ProgressRequested(int percent, int show);
    void StatusPainted(bool force, const std::array<TSwitcherStatus, 4>& status, int count);
    void StatusRowsEnabled();
    void StatusRowsReset();
    // The switchers' report of an output's inputs and of its locks, as read.
    void PreviewStatusChanged(int output, const TLevelValues& inputs);
    void LocksReported(int output, std::uint32_t lockBytes);
    void CycleRateMeasured(double cyclesPerSecond);
    // The poll cycles NotifyAfterCycles asked for have completed: what was
    // sent before the request has come back in the published state.
    void CyclesCompleted();
    void HdmiPublished(int switcherIndex, const THdmiState& state, const THdmiState& shadow);
    void Finished();
    // Switchers were lost or came back (ResumeAfterLoss).
    void LinkChanged();
    // The operator's log could not be written (reported once).
    void OperatorLogFailed(const QString& fileName, const QString& why);

private:
    void PollDone();
    void WantIndicator(int index, int entry);
    bool CreateSalvoFolder(bool asked);
    void SalvoFolderSettled();
    void RemoveUnfinishedSaves();
    void SortSalvos();
    QString LevelPlace(int k) const;
    void LogNameChange(TNames::TSide side, int index);
    void LogAction(TOperatorAction action, int row, const TLevelValues& before,
                   const TLevelValues& after);
    void LogTake(bool ignoreLocks, const TTakePlan& plan);
    void RecordAction(TOperatorAction action, int row, const TLevelValues& before,
                      const TLevelValues& after);
    std::uint32_t LevelsOf(std::uint32_t switchers) const;

    QString FFolder;
    QString FLogSource;
    QString FLevelSetFileName;
    bool FLevelSetWarned = false;
    TLevels FLevels;
    TMode FMode = TMode::Off;
    TMode FLastMode = TMode::OnLine;
    quint64 FWorldVersion = 0;
    TLinkError FLastLinkError;
    TPollThread* FPollThread = nullptr;
    TCrossPoints FCross;
    TNames FNames;
    std::shared_ptr<THdmiRequests> FHdmiRequests;
    std::atomic<bool> FCycleRateWanted{false};
    std::atomic<std::uint64_t> FCycleWanted{0};
    std::array<std::atomic<int>, 4> FIndicatorWanted{3, 3, 3, 3};
    std::atomic<int> FClientsWanted{-1};
    std::unique_ptr<TOperatorLog> FOperatorLog;

    QString FSalvoFolder, FPendingSalvoFolder;
    QTimer* FFolderTimer;
    bool FUnstableSizeReported = false, FSalvoFoldersExhaustedReported = false;
    std::vector<TMemorySlot> FSalvos;
    // Entries of the last recalled salvo the matrix cannot hold.
    std::vector<TTakeHeld> FRecallLeftOut;
    TStepBack FStepBack;
    bool FResumeAfterLoss = false, FStopAsked = false;
    std::uint32_t FLostSwitchers = 0;
    QString FLinkLostText;
};
