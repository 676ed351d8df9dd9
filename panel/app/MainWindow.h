#pragma once

#include "IniSettings.h"
#include "LevelSetFile.h"
#include "Look.h"
#include "Session.h"
#include "TimeThread.h"
#include "UtilityLauncher.h"

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

class QMenu;
class QAction;
class QTimer;
class TPanel;
class TSpeedButton;
class TIndicatorBox;
class TTip;
class THdmiWindow;
class TStatusWindow;
class TField;
class TOperatorColumn;
class TFieldHover;
class THoverPanel;
class TProgressWindow;
class TSalvoSection;
class TLevelControl;
class TPreviewField;
class TParamsWindow;
class TSettingsWindow;
class TMonitorWindow;

// The clients label: "Clients N" where that fits, else the count in
// thousands ("Clients 65k"), else the word alone.
QString ClientsCaption(int clients, const std::function<bool(const QString&)>& fits);

class TMainWindow : public QWidget {
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
    // Reads the level set into the session and shows its levels.
    void LoadLevelSet();
    TSession& Session() { return *FSession; }

    // Screen size used by the clamping rules; defaults to the primary screen.
    void SetScreenSize(QSize s) { FScreenSize = s; }

    // The optical-module utilities (started from the SFP MONITOR window).
    TUtilityLauncher& Utilities() { return FUtilities; }

    // State for tests and tools; widgets are found by their object names.
    TIniSettings& Settings() { return FSettings; }
    bool CycleRateShown() const { return FShowCycleRate; }
    bool MonitorTestRunning() const { return FMonitorTestOn; }
    bool ClockRunning() const { return ClockThread != nullptr; }
    bool Closing() const { return FClosing; }
    bool ProgressOpen() const { return FProgress != nullptr; }
    // Changes a modal step must notice, the window's and the session's.
    quint64 WorldVersion() const { return FWorldVersion + FSession->WorldVersion(); }

Q_SIGNALS:
    void IniSaved();
    // Every percentage the progress window is given, and the report shown after polling.
    void ProgressShown(int percent);
    void CommunicationErrorShown(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    // What the operator's buttons, keys and menus ask for.
    void ToggleOperate();
    // Starts the poll thread (OPERATE queues it after its click).
    void StartOperating();
    void OpenSettings();
    void GoOnLine();
    void GoPreset();
    // Ctrl alone asks whether to ignore locks.
    void Take(Qt::KeyboardModifiers mods);
    // Undo: one step back from the last operator action.
    void StepBack();
    void ZoomIn();
    void ZoomOut();
    // Shift: the cycle rate instead of the caption; Ctrl: the monitor test.
    void CaptionClicked(Qt::KeyboardModifiers mods);
    void MonitorTestStep();
    // Flashes STATUS red and grey while a switcher's tab shows an alarm.
    void FlashStatusButton();
    // The window's keys, seen before the focused control; true when taken.
    bool KeyPressed(int key, Qt::KeyboardModifiers mods);
    void ToggleStatusEnabled();
    void ToggleHdmiEnabled();
    void ToggleMonitorEnabled();
    void ControlLevelsChanged(TLevelControl* sender, int level);
    // A modal step (message box, dialog, picker) runs a nested event loop in
    // which poll steps, the end of polling and size changes are served. Runs
    // the step and tells whether the window is still in the world it started
    // in (same mode, same poll thread, same matrix size and level set, not
    // closing); when not, the caller gives up quietly on what it held.
    bool RunModal(const std::function<void()>& step);
    void TogglePreview();
    void ToggleHints();
    // StatusTimer's 500 ms beat, stopped while it runs: it drives two jobs.
    void StatusTimerBeat();
    // Colours MONITOR and the open SFP MONITOR list's buttons by which
    // utilities run (and forgets those that have gone).
    void MarkRunningUtilities();
    void ToggleStatusWindow();
    void ToggleHdmiWindow();
    void TickWindowMenu();
    void OpenMonitorList();
    // Names and logos of inputs and outputs to and from a label file.
    void ExportNames();
    void ImportNames();
    std::pair<int, int> NameSlots() const;
    void VisibleLevelsChanged(TLevelControl* sender, int level);

    // The HDMI button's tip while it is grey.
    void ShowHdmiTip();
    // State of the INI file.
    QString FIniFileName;
    bool FClosing = false;
    TIniSettings FSettings;

    QString FCaptionText;
    std::array<TColor, 4> FIndicatorColors{}; // busy, ok, error, idle
    std::array<TColor, 12> FButtonColors{};

    TTimeThread* ClockThread = nullptr;
    TProgressWindow* FProgress = nullptr;
    bool FShowCycleRate = false;
    bool FMonitorTestOn = false;
    // Counts the window's own changes RunModal watches for (the session counts its own).
    quint64 FWorldVersion = 0;
    // Settings dialog and the optical-module utilities.
    QPointer<TSettingsWindow> FSettingsDlg;
    QPointer<TMonitorWindow> FMonitorDlg;
    // The optical-module utilities, one per switcher; SFP/fibrewatch beside the panel.
    TUtilityLauncher FUtilities;
    QPointer<TParamsWindow> FParamsDlg;
    int FClientsShown = 0;
    // Components, by their names.
    TOperatorColumn* Column = nullptr;
    THoverPanel* PanelFieldBack;
    TPanel *PanelFieldBack2, *PanelFieldCaption, *PanelInOut;
    TField* Field = nullptr;
    TPreviewField* PreviewField = nullptr;
    TSpeedButton *SBtnZoomIn, *SBtnZoomOut;
    TFieldHover* FHover = nullptr;
    TSalvoSection* Salvos = nullptr;
    QTimer *TimerMon, *StatusTimer;
    // Shows the indicators' stored state once per frame while operating.
    QTimer* IndicatorTimer;
    static constexpr int IndicatorFrameMs = 40;
    QMenu* WindowMenu;
    QAction *WindowMenuStatus, *WindowMenuHdmi, *WindowMenuMonitor;
    QAction *WindowMenuExportNames, *WindowMenuImportNames, *WindowMenuUndo;

    // The other forms; guarded, since they may go before this window does.
    QPointer<THdmiWindow> HdmiWindow;
    QPointer<TStatusWindow> StatusWindow;

    void FormCreate();
    void FirstIdle();
    void CreateOperColumn();
    void CreateFieldArea();
    void Relayout();
    void ClockEnded();
    void ConnectSession();
    void ShowNames(TNames::TSide side, int index, bool deferLogos);
    void ShowMode();
    void ShowSize(int inputs, int outputs);
    void PollingEnded(const QString& errorText);
    void ShowProgress(int percent, int show);
    void ApplyIndicators();
    // A switcher lost and retried (or back): the COMMUNICATION section and the
    // field show it.
    void ShowLink();
    QSize ScreenSize() const;

    std::unique_ptr<TSession> FSession;
    QSize FScreenSize;
    const QEvent* FLastKeyEvent = nullptr;
    quint64 FLastKeyTime = 0;
    QPointer<QWidget> FLastKeyReceiver;
    void ConnectOperatorControls();
    void MonitorStep(int delta);
    // Name and logo of an input or output (the field's double-click on a name).
    void EditParams(bool input, int index);
    void SizeLevelsPanel();
    TTimeSource FTimeSource;
    bool FFirstIdleDone = false;
    // Whether the INI placed STATUS and HDMI; the others get free places.
    bool FStatusPosFromIni = false, FHdmiPosFromIni = false;
    // LEFT, TOP, WIDTH and HEIGHT as the INI gave them: written back unchanged
    // while the window stands where they put it (moved onto the screen).
    QRect FIniBounds;
    bool FShownOnce = false;
    void PlaceMonitorsBeside();
    bool WhereIniPutIt() const;
};
