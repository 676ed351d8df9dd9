#pragma once

#include "IniSettings.h"
#include "LevelSetFile.h"
#include "Look.h"
#include "PollCycle.h"
#include "TimeThread.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QListWidget;
class QMenu;
class QAction;
class QTimer;
class TPanel;
class TSpeedButton;
class TIndicatorBox;
class TTip;
class THdmiWindow;
class THdmiRequests;
class TStatusWindow;
class TIniFile;
class TField;
class TDigitalPanel;
class THoverPanel;
class TPollThread;
class TProgressWindow;
class TSalvoDialog;
class TMemoryItem;
class TLevelControl;
class TPreviewField;
class TParamsWindow;
class TSettingsWindow;
class TMonitorWindow;
class TOperatorLog;
struct TMemorySlot;

// Heights of the right-hand column's sections, top to bottom, for a column of
// the given inner height; only MEMORY (the last) takes up the rest.
std::array<int, 7> OperColumnHeights(int innerHeight, int levelsHeight);
// The smallest client size that shows every section of the right-hand column
// (MEMORY with a few salvo rows) beside a usable field area.
QSize MinimumClientSize(int levelsHeight, int columnInset);

// The clients label: "Clients N" where that fits, else the count in
// thousands ("Clients 65k"), else the word alone.
QString ClientsCaption(int clients, const std::function<bool(const QString&)>& fits);

// Digit p (0 units, 1 tens, 2 hundreds) of n, or -1 for a blank (leading zero, n <= 0).
int DigitOf(int n, int p);

// Where the tip goes for a hovered cell whose top-left corner is at `cell`
// (screen), cells of size s: below right, or above/left where it would leave
// the work area.
QPoint TipPosition(QPoint cell, int s, QSize tip, QRect workArea);

// Text of the "Communication Error:" report for a connection status (operation,
// error, detail, extra from the low byte up) and the switcher's packed IP;
// empty when the status holds no error.
QString CommunicationErrorText(std::uint32_t status, std::int32_t ip, int levelCount,
                               const std::array<std::string, 5>& levelNames,
                               const std::array<std::int32_t, 5>& levelAddresses);

class TMainWindow : public QWidget, public IPollViews {
    Q_OBJECT
public:
    // iniFileName: the INI path (beside the executable in the program); the level
    // set file is the same path with ".set". timeSource drives the clock.
    explicit TMainWindow(const QString& iniFileName, TTimeSource timeSource = {});
    ~TMainWindow() override;

    // The forms created after the main window, in program-entry order.
    void AttachForms(TTip* tip, THdmiWindow* hdmi, TStatusWindow* status);

    void LoadIni();
    // False (with one log line naming the file and the reason) when nothing could be written.
    bool SaveIni();
    void LoadLevelSet();
    void SetMode(int m);

    // Screen size used by the clamping rules; defaults to the primary screen.
    void SetScreenSize(QSize s) { FScreenSize = s; }

    // State of the INI file.
    QString FIniFileName;
    QString FLevelSetFileName;
    bool FClosing = false;
    TIniSettings FSettings;

    // Level table and switcher list (the level set).
    int FLevelCount = 0;
    std::array<std::int32_t, 5> FLevelIP{};
    std::array<std::int32_t, 5> FLevelAddress{};
    std::array<std::string, 5> FLevelNames;
    std::array<TColor, 5> FLevelColors{};
    std::array<TColor, 5> FLevelTextColors{};
    std::array<std::int32_t, 4> FSwitcherIP{};
    int FSwitcherCount = 0;

    int FMode = 0;
    QString FCaptionText;
    QString FMemoryDir;
    std::array<TColor, 4> FIndicatorColors{}; // busy, ok, error, idle
    std::array<TColor, 12> FButtonColors{};

    TTimeThread* ClockThread = nullptr;
    TPollThread* PollThread = nullptr;
    TProgressWindow* FProgress = nullptr;
    bool FShowCycleRate = false;
    std::atomic<bool> FCycleRateWanted{false}; // FShowCycleRate for the poll thread
    bool MonitorTestOn = false;
    int FConsoleInput = 0;
    int FConsoleOutput = 0;
    bool FConsoleToOutput = true;
    bool FConsoleEntering = false;

    // A modal step (message box, dialog, picker) runs a nested event loop in
    // which poll steps, the end of polling and size changes are served. Runs
    // the step and tells whether the window is still in the world it started
    // in (same mode, same poll thread, same matrix size and level set, not
    // closing); when not, the caller gives up quietly on what it held.
    bool RunModal(const std::function<void()>& step);
    // Counts the changes RunModal watches for.
    quint64 FWorldVersion = 0;
    bool FLevelSetWarned = false;

    // Salvos (MEMORY section).
    // Sets FMemoryDir for the matrix size. A missing folder is created, with the
    // default salvos, at once when `now` (or FSizeSettleMs is 0), else once the
    // size has held for FSizeSettleMs.
    void PrepareMemoryDir(bool now = false);
    bool CreateMemoryDir();
    void MemoryDirSettled();
    int FSizeSettleMs = 3000;
    // New size folders one run may create; more sizes get none (said once).
    static constexpr int MaxNewMemoryDirs = 16;
    int FNewMemoryDirsLeft = MaxNewMemoryDirs;
    bool FUnstableSizeReported = false, FMemoryDirsExhaustedReported = false;
    QString FPendingMemoryDir;
    QTimer* FFolderTimer = nullptr;
    void LoadMemory();
    // False, with the reason in `error`, when the file could not be written or removed.
    bool SaveSlotFile(const TMemorySlot& slot, QString* error = nullptr);
    bool DeleteSlotFile(const TMemorySlot& slot, QString* error = nullptr);
    // What storing an edited salvo came to: Failed shows Error and brings the
    // dialog back with the texts as typed.
    struct TCommitResult {
        enum { Done, Cancelled, Failed } Kind;
        QString Error;
    };
    using TSlotCommit = std::function<TCommitResult(const TMemorySlot&)>;
    // Runs the Edit Salvo dialog on slot; true (slot filled, and committed when
    // a commit step is given) only on OK with the window still in PRESET mode
    // on the same folder.
    bool EditSlot(TMemorySlot& slot, bool isNew, const TSlotCommit& commit = {});
    // Removes, with a warning each, what interrupted saves left in folder.
    void RemoveUnfinishedSaves(const QString& folder);
    // Asks an OK/Cancel question ("Confirm"); true on OK with the window still
    // in PRESET mode in the world it asked in.
    bool ConfirmInPreset(const QString& question);
    void SBtnNewSlotMouseDown(Qt::MouseButton button);
    void SBtnSaveSlotMouseDown(Qt::MouseButton button);
    void SBtnDelSlotMouseDown(Qt::MouseButton button);
    void LBoxMemoryClick();
    void LBoxMemoryDblClick();
    // Returns whether the key was taken (Enter recalls the selected salvo).
    bool LBoxMemoryKeyDown(int key);
    // The list item of the salvo with exactly this name, or null.
    TMemoryItem* FindSlotItem(const std::string& name) const;
    TMemoryItem* SelectedSlotItem() const;
    QPointer<TSalvoDialog> FSalvoDlg;

    // Operator control.
    void SBtnOperateMouseDown(Qt::MouseButton button);
    void SBtnSettingsMouseDown(Qt::MouseButton button);
    void SBtnOnLineMouseDown(Qt::MouseButton button);
    void SBtnPresetMouseDown(Qt::MouseButton button);
    void SBtnTakeMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void SBtnZoomInMouseDown();
    void SBtnZoomOutMouseDown();
    void SBtnPreviewMouseDown(Qt::MouseButton button);
    void SBtnHintMouseDown(Qt::MouseButton button);
    void PanelFieldCaptionMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void TimerMonTimer();
    // Every 500 ms: the STATUS button's alarm flash, then the utilities' marks.
    void StatusTimerTimer();
    void FlashStatusButton();
    // Colours MONITOR and the open SFP MONITOR list's buttons by which
    // utilities run (and forgets those that have gone).
    void MarkRunningUtilities();
    void SBtnConsoleOutputMouseDown(TSpeedButton* key);
    // Returns whether the key was consumed.
    bool FormKeyDown(int key, Qt::KeyboardModifiers mods);
    void FormDeactivate();
    void PanelFieldBackMouseEnter();
    void PanelFieldBackMouseHover(int x, int y);
    void PanelFieldBackMouseMove();
    void ShowHover(QWidget* sender, QPoint cell, int col, int row);
    void HideHover();
    void SBtnStatusMouseDown(Qt::MouseButton button);
    void SBtnHdmiMouseDown(Qt::MouseButton button);
    void PMWPopup();
    void PMWstatusClick();
    void PMWhdmiClick();
    // Settings dialog and the optical-module utilities.
    QPointer<TSettingsWindow> FSettingsDlg;
    QPointer<TMonitorWindow> FMonitorDlg;
    void SBtnMonitorMouseDown(Qt::MouseButton button);
    void PMWmonClick();
    // Fills found (slot i - 1 for switcher i) with the utility windows, clears
    // the entries of utilities that are gone; true while any still runs.
    bool FindUtilityWindows(std::array<std::uint64_t, 4>& found);
    void QuitUtilities();
    // Starts switcher i's utility, or brings the running one to the front.
    void LaunchUtility(int i);
    // Process ids of the utilities by switcher (0: none) and when each started.
    std::array<qint64, 4> FSwitcherPID{};
    std::array<qint64, 4> FSwitcherStartMs{};
    // The window role each utility was started with (its window must carry it).
    std::array<std::string, 4> FSwitcherRole{};
    // The utility program; SFP/fibrewatch beside the panel.
    QString FUtilityPath;
    // A started utility without a window yet counts as running this long.
    static constexpr qint64 UtilityGraceMs = 10000;
    // The operator's log beside the INI file, and its lines.
    std::unique_ptr<TOperatorLog> FOperatorLog;
    static constexpr const char* OperatorLogName = "matrixpanel-operations.log";
    QString LevelPlace(int k) const;
    void LogRoute(const QString& action, int row, const TLevelValues& before,
                  const TLevelValues& after);
    void LogLocks(int row, const TLevelValues& before, const TLevelValues& after);
    void LogMonitor(const TLevelValues& before, const TLevelValues& after);
    void LogTake(bool ignoreLocks);
    // The HDMI window's requests, shared with the poll thread.
    std::shared_ptr<THdmiRequests> FHdmiRequests;
    void RefreshConsole();
    void LevelsVisibleChanged(TLevelControl* sender, int level);
    void LevelsControlChanged(TLevelControl* sender, int level);
    // Name and logo of an input or output (the field's double-click on a name).
    void EditInputParams(int i);
    void EditOutputParams(int o);
    QPointer<TParamsWindow> FParamsDlg;
    QRect WorkArea() const;
    void SetWorkArea(QRect r) { FWorkArea = r; }
    int FClientsShown = 0;
    // Indicator state as the poll thread stores it: entries of FIndicatorColors
    // for init, config, state and proc; the client count (-1: none yet).
    std::array<std::atomic<int>, 4> FIndicatorWanted{3, 3, 3, 3};
    std::atomic<int> FClientsWanted{-1};

    void SetInitIndicator(bool active, bool ok) override;
    void SetConfigIndicator(bool active, bool ok, int clients) override;
    void SetStateIndicator(bool active, bool ok) override;
    void SetProcIndicator(bool busy) override;

    // The poll thread's view of this window.
    const TFieldState& FieldState() const override;
    bool HdmiWanted(int& switcherIndex, THdmiWanted& wanted) const override;
    bool CycleRateWanted() const override {
        return FCycleRateWanted.load(std::memory_order_relaxed);
    }
    void PaintStatus(bool force, const std::array<TSwitcherStatus, 4>& status, int count) override;
    void EnableStatusRows() override;
    void ResetStatusRows() override;
    void ApplySize(int inputs, int outputs) override;
    void FirstCycle(int levelCount) override;
    void SetFieldStatus(int output, const TLevelValues& inputs) override;
    void SetFieldLock(int output, std::uint32_t lockBytes) override;
    void SetFieldMonitor(const TLevelValues& outputs) override;
    void SetPreviewStatus(int output, const TLevelValues& inputs) override;
    void ShowCycleRate(double cyclesPerSecond) override;
    void PublishHdmi(int switcherIndex, const THdmiState& state, const THdmiState& shadow) override;
    void Finish() override;
    void PostProgress(int percent, int show) override;
    void PostPollDone() override;

    // Components, by their names.
    THoverPanel* PanelFieldBack;
    TPanel *PanelOperBack, *PanelFieldBack2, *PanelFieldCaption, *PanelInOut;
    TPanel *PanelComBack, *PanelComCaption, *PanelDTBack, *PanelDTCaption, *Panel1, *Panel2;
    TPanel *PanelLevelsBack, *PanelLevelsCaption, *PanelControlBack, *PanelControlCaption;
    TPanel *PanelConsoleBack, *Panel4, *PanelMemoryBack, *PanelMemoryCaption, *PanelMemoryBtns;
    TPanel *PanelDateBack, *PanelTimeBack;
    TField* Field = nullptr;
    TPreviewField* PreviewField = nullptr;
    TLevelControl* LevelControl = nullptr;
    TClockPanels ClockPanels{};
    TIndicatorBox *ShapeInit, *ShapeConfig, *ShapeState, *ShapeProc;
    TPanel* LabelClients;
    TSpeedButton *SBtnOperate, *SBtnSettings, *SBtnPreview, *SBtnHint, *SBtnHdmi, *SBtnStatus,
        *SBtnMonitor, *SBtnOnLine, *SBtnPreset, *SBtnTake, *SBtnConsoleOutput, *SBtnConsoleInput,
        *SBtnConsoleTake, *SBtnNewSlot, *SBtnSaveSlot, *SBtnDelSlot, *SBtnZoomIn, *SBtnZoomOut;
    std::array<TSpeedButton*, 10> SBtnDigits{};
    TSpeedButton *SBtnBS, *SBtnESC;
    std::array<TDigitalPanel*, 3> DigitOutput{}, DigitInput{}; // units, tens, hundreds
    QListWidget* LBoxMemory;
    QTimer *TimerMon, *StatusTimer;
    // Shows the indicators' stored state once per frame while operating.
    QTimer* IndicatorTimer;
    static constexpr int IndicatorFrameMs = 40;
    QMenu* PMW;
    QAction *PMWstatus, *PMWhdmi, *PMWmon;

    // The other forms; guarded, since they may go before this window does.
    QPointer<TTip> Tip;
    QPointer<THdmiWindow> HdmiWindow;
    QPointer<TStatusWindow> StatusWindow;

Q_SIGNALS:
    void IniSaved();
    // Every percentage the progress window is given, and the report shown after polling.
    void ProgressShown(int percent);
    void CommunicationErrorShown(const QString& text);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void FormCreate();
    void FirstIdle();
    void CreateOperColumn();
    void CreateFieldArea();
    void Relayout();
    void WMClockDone();
    void WMStartPoll();
    void WMPollDone();
    void WMProgress(std::intptr_t percent, std::intptr_t show);
    void WantIndicator(int index, int entry);
    void ApplyIndicators();
    void SetAllIndicatorsIdle();
    QSize ScreenSize() const;

    QSize FScreenSize;
    QRect FWorkArea;
    const QEvent* FLastKeyEvent = nullptr;
    quint64 FLastKeyTime = 0;
    QPointer<QWidget> FLastKeyReceiver;
    void ConnectOperatorControls();
    void MonitorStep(int delta);
    void EditParams(bool input, int index);
    void SizeLevelsPanel();
    TTimeSource FTimeSource;
    QElapsedTimer FUptime;
    bool FFirstIdleDone = false;
};
