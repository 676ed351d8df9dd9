#include "Session.h"

#include "CommunicationError.h"
#include "HdmiRequests.h"
#include "Index.h"
#include "IpText.h"
#include "LogCategories.h"
#include "OperatorLog.h"
#include "PollThread.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {
// Indicator entries.
enum { IndBusy, IndOk, IndError, IndIdle };
int IndicatorEntry(bool active, bool ok) {
    return !active ? IndIdle : ok ? IndOk : IndError;
}
} // namespace

TSession::TSession(QString folder, QString levelSetFileName, QObject* parent)
    : QObject(parent), FFolder(std::move(folder)), FLevelSetFileName(std::move(levelSetFileName)),
      FHdmiRequests(std::make_shared<THdmiRequests>()),
      FOperatorLog(std::make_unique<TOperatorLog>(FFolder + QLatin1Char('/') +
                                                  QLatin1String(OperatorLogName))),
      FFolderTimer(new QTimer(this)) {
    FOperatorLog->OnFailure = [this](const QString& why) {
        Q_EMIT OperatorLogFailed(FOperatorLog->FileName(), why);
    };
    FCross.OnOperatorAction = [this](TOperatorAction a, int row, const TLevelValues& before,
                                     const TLevelValues& after) {
        LogAction(a, row, before, after);
        RecordAction(a, row, before, after);
    };
    // Every rename, wherever it came from, is in the log as the model has it.
    connect(&FNames, &TNames::Changed, this, &TSession::LogNameChange);
    FCross.SetLevelCount(0);
    FCross.SetSize(1, 1);
    FFolderTimer->setSingleShot(true);
    connect(FFolderTimer, &QTimer::timeout, this, &TSession::SalvoFolderSettled);
}

TSession::~TSession() {
    EndPolling();
}

// The thread is stopped while its pending synchronised steps are served, so
// neither side blocks; the pointer is cleared first so that the completion
// message finds nothing to do.
void TSession::EndPolling() {
    if (TPollThread* poll = std::exchange(FPollThread, nullptr)) {
        poll->Terminate();
        while (!poll->wait(5))
            QCoreApplication::processEvents();
        delete poll;
    }
}

void TSession::LoadLevelSet() {
    ++FWorldVersion;
    std::string error;
    const std::vector<TSettingsItem> items = ReadLevelSet(FLevelSetFileName.toStdString(), &error);
    if (!error.empty() && QFileInfo::exists(FLevelSetFileName) && !FLevelSetWarned) {
        qCWarning(lcFiles).noquote()
            << "Cannot read" << FLevelSetFileName << "(" << error.c_str() << "): no levels";
        FLevelSetWarned = true; // read at start and on every OPERATE: one line is enough
    }
    TLevels levels;
    levels.Count = static_cast<int>(std::min<std::size_t>(items.size(), 4));
    for (int n = 1; n <= levels.Count; ++n) {
        const TSettingsItem& item = items[Ix(n - 1)];
        levels.Address[Ix(n)] = item.Address;
        levels.IP[Ix(n)] = item.IP;
        levels.Names[Ix(n)] = item.Name;
        levels.Colors[Ix(n)] = item.Color;
        levels.TextColors[Ix(n)] = item.TextColor;
        const auto end = levels.SwitcherIP.begin() + levels.SwitcherCount;
        if (std::find(levels.SwitcherIP.begin(), end, item.IP) == end)
            levels.SwitcherIP[Ix(levels.SwitcherCount++)] = item.IP;
    }
    FLevels = levels;
    FStepBack.Clear();
    FCross.SetSize(1, 1);
}

void TSession::SetMode(TMode mode) {
    if (mode != FMode)
        ++FWorldVersion;
    FMode = mode;
    if (mode != TMode::Preset)
        FRecallLeftOut.clear(); // presets are dropped with PRESET mode
    FCross.SetPresetMode(mode == TMode::Preset);
    Q_EMIT ModeChanged();
}

bool TSession::StartPolling(int outputLimit) {
    if (FPollThread)
        return false;
    TPollLevels levels;
    levels.LevelCount = FLevels.Count;
    levels.LevelIP = FLevels.IP;
    levels.LevelAddress = FLevels.Address;
    levels.TcpPort = port::DefaultPort;
    levels.OutputLimit = outputLimit;
    levels.ResumeAfterLoss = FResumeAfterLoss;
    FStopAsked = false;
    ++FWorldVersion;
    FPollThread = new TPollThread(levels, FCross.State(), *this, this);
    FPollThread->start();
    return true;
}

void TSession::StopPolling() {
    if (FPollThread) {
        FStopAsked = true;
        FPollThread->Terminate();
    }
}

bool TSession::Take(bool ignoreLocks) {
    if (FMode == TMode::Off || !FPollThread)
        return false;
    if (FLostSwitchers != 0) {
        // Nothing goes out until the switchers' state has been read back.
        Log(QStringLiteral("TAKE refused"), QStringLiteral("a switcher is not connected"));
        return false;
    }
    const TTakePlan plan = PlanTake(ignoreLocks);
    LogTake(ignoreLocks, plan);
    const TFieldState& f = FCross.State();
    std::vector<TStepEntry> changes;
    for (const TTakeHeld& t : plan.Taken)
        changes.push_back({t.Output, t.Level, false, f.Status(t.Output, t.Level), t.Input});
    if (!changes.empty())
        FStepBack.Record("TAKE", std::move(changes), f);
    FRecallLeftOut.clear();
    FPollThread->Cycle().RequestSalvo(ignoreLocks); // stores the lock choice, then the request
    return true;
}

void TSession::RequestStatus() {
    if (FPollThread)
        FPollThread->Cycle().RequestStatus();
}

void TSession::RequestHdmiRefresh() {
    if (FPollThread)
        FPollThread->Cycle().RequestHdmiRefresh();
}

int TSession::IndicatorWanted(int index) const {
    return index >= 0 && index < 4 ? FIndicatorWanted[Ix(index)].load(std::memory_order_relaxed)
                                   : IndIdle;
}

void TSession::PollDone() {
    if (!FPollThread)
        return;
    FLastLinkError = FPollThread->Cycle().LastError();
    // The message is the thread's last action: it ends at once.
    if (FPollThread->wait(10000))
        delete FPollThread;
    else
        connect(FPollThread, &QThread::finished, FPollThread, &QObject::deleteLater);
    FPollThread = nullptr;
    FCycleWanted.store(0, std::memory_order_relaxed); // counted by the thread that ended
    ++FWorldVersion;
    FStepBack.Clear(); // what happens meanwhile is not seen
    const bool wasLost = std::exchange(FLostSwitchers, 0u) != 0;
    FLinkLostText.clear();
    FCross.SetLevelsAway(0);
    FCross.SetLevelCount(0);
    SetMode(TMode::Off);
    QString text =
        CommunicationErrorText(FLastLinkError, FLevels.Count, FLevels.Names, FLevels.Address);
    if (!text.isEmpty())
        Log(QStringLiteral("COMMUNICATION ERROR"), text);
    // The loss was shown and logged when it happened: an operator who stops
    // retrying is not shown it again in a box.
    if (wasLost && FStopAsked)
        text.clear();
    if (wasLost)
        Q_EMIT LinkChanged();
    Q_EMIT PollingEnded(text);
}

// The indicator setters are called on the poll thread hundreds of times a
// second: they only store, and a view shows the stored state at its own pace
// (a GUI-thread caller is told at once).
void TSession::WantIndicator(int index, int entry) {
    FIndicatorWanted[Ix(index)].store(entry, std::memory_order_relaxed);
    if (QThread::currentThread() == thread())
        Q_EMIT IndicatorsChanged();
}

void TSession::SetInitIndicator(bool active, bool ok) {
    WantIndicator(0, IndicatorEntry(active, ok));
}

void TSession::SetConfigIndicator(bool active, bool ok, int clients) {
    FClientsWanted.store(clients, std::memory_order_relaxed);
    WantIndicator(1, IndicatorEntry(active, ok));
}

void TSession::SetStateIndicator(bool active, bool ok) {
    WantIndicator(2, IndicatorEntry(active, ok));
}

void TSession::SetProcIndicator(bool busy) {
    WantIndicator(3, busy ? IndBusy : IndIdle);
}

// Poll thread: only the requests' own lock is taken, no Qt object is touched.
bool TSession::HdmiWanted(int& switcherIndex, THdmiWanted& wanted) const {
    return FHdmiRequests->Snapshot(switcherIndex, wanted);
}

void TSession::PaintStatus(bool force, const std::array<TSwitcherStatus, 4>& status, int count) {
    Q_EMIT StatusPainted(force, status, count);
}

void TSession::ApplySize(int inputs, int outputs) {
    ++FWorldVersion;
    FStepBack.Clear();
    FRecallLeftOut.clear();
    FCross.SetSize(inputs, outputs);
    Q_EMIT SizeChanged(FCross.Inputs(), FCross.Outputs());
    if (!ManagesSalvoFolders)
        return ListSalvos();
    PrepareSalvoFolder();
    LoadSalvos();
}

void TSession::NotifyAfterCycles(int cycles) {
    const std::uint64_t done = FPollThread ? FPollThread->Cycle().CompletedCycles() : 0;
    FCycleWanted.store(done + static_cast<std::uint64_t>(std::max(cycles, 1)),
                       std::memory_order_relaxed);
}

void TSession::CycleReached(std::uint64_t) {
    FCycleWanted.store(0, std::memory_order_relaxed);
    Q_EMIT CyclesCompleted();
}

void TSession::FirstCycle(int levelCount) {
    for (int i = 0; i < 4; ++i)
        FIndicatorWanted[Ix(i)].store(IndIdle, std::memory_order_relaxed);
    Q_EMIT IndicatorsChanged();
    FCross.SetLevelCount(levelCount);
    Q_EMIT FirstCycleStarted(FCross.LevelCount());
    SetMode(FLastMode == TMode::Preset ? TMode::Preset : TMode::OnLine);
    EnableStatusRows();
}

void TSession::SetFieldStatus(int output, const TLevelValues& inputs) {
    FStepBack.ObserveStatus(output, inputs);
    FCross.ApplyStatus(output, inputs, true);
}

void TSession::SetFieldLock(int output, std::uint32_t lockBytes) {
    FStepBack.ObserveLocks(output, lockBytes);
    FCross.SetLock(output, lockBytes);
}

void TSession::SetFieldMonitor(const TLevelValues& outputs) {
    FCross.ApplyMonitor(outputs, true);
}

void TSession::SetPreviewStatus(int output, const TLevelValues& inputs) {
    Q_EMIT PreviewStatusChanged(output, inputs);
}

void TSession::PublishHdmi(int switcherIndex, const THdmiState& state, const THdmiState& shadow) {
    Q_EMIT HdmiPublished(switcherIndex, state, shadow);
}

void TSession::Finish() {
    for (int i = 0; i < 4; ++i)
        FIndicatorWanted[Ix(i)].store(IndIdle, std::memory_order_relaxed);
    FClientsWanted.store(-1, std::memory_order_relaxed);
    Q_EMIT IndicatorsChanged();
    SetLastMode(FMode);
    ResetStatusRows();
    FHdmiRequests->ResetTag();
    Q_EMIT Finished();
}

// Both are called on the poll thread and handled, in order, on the session's.
void TSession::PostProgress(int percent, int show) {
    QMetaObject::invokeMethod(
        this, [this, percent, show] { Q_EMIT ProgressRequested(percent, show); },
        Qt::QueuedConnection);
}

void TSession::PostPollDone() {
    QMetaObject::invokeMethod(this, &TSession::PollDone, Qt::QueuedConnection);
}
