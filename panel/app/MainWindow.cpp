#include "MainWindow.h"

#include "ConsoleKeypad.h"
#include "Field.h"
#include "FieldHover.h"
#include "HdmiWindow.h"
#include "HoverPanel.h"
#include "IndicatorBox.h"
#include "LevelControl.h"
#include "LogCategories.h"
#include "Panel.h"
#include "PreviewField.h"
#include "SafeFile.h"
#include "SalvoSection.h"
#include "ScreenFit.h"
#include "SpeedButton.h"
#include "StatusWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSessionManager>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace {

constexpr int OperColumnWidth = 167;
constexpr int SectionWidth = 157;
constexpr int CaptionHeight = 15;
constexpr int MinSectionHeight = 50;
constexpr int ClockThreadWaitMs = 10000;
// MEMORY at its smallest still shows four salvo rows above its buttons.
constexpr int MemoryMinHeight = 2 + CaptionHeight + 4 * 13 + 2 + 29 + 2;
// Room for the caption with its zoom buttons and a few cells of the field.
constexpr int MinFieldAreaWidth = 240;

enum Section { ComSec, DTSec, WindowSec, LevelsSec, ControlSec, ConsoleSec, MemorySec };

TPanel* MakePanel(QWidget* parent, const char* name, QRect geometry) {
    auto* p = new TPanel(parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setGeometry(geometry);
    return p;
}

// A section of the right-hand column with its caption strip along the top.
TPanel* MakeSection(QWidget* parent, const char* name, const char* captionName,
                    const QString& caption, TPanel*& captionPanel) {
    TPanel* s = MakePanel(parent, name, QRect(0, 0, SectionWidth, 50));
    s->SetBevels(TPanel::TBevel::Lowered, TPanel::TBevel::Raised);
    captionPanel = MakePanel(s, captionName, QRect(2, 2, SectionWidth - 4, CaptionHeight));
    captionPanel->SetBevels(TPanel::TBevel::None, TPanel::TBevel::None);
    captionPanel->SetColor(clr::Grey);
    captionPanel->SetFontColor(clr::White);
    captionPanel->setFont(MakeFont("MS Sans Serif", 12));
    captionPanel->SetCaption(caption);
    return s;
}

TSpeedButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry,
                         bool hand) {
    auto* b = new TSpeedButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setGeometry(geometry);
    b->SetHandPointer(hand);
    return b;
}

// One digit panel of the DATE & TIME display.
TPanel* MakeDigit(TPanel* strip, const char* name, int index, const QString& caption) {
    TPanel* p = MakePanel(strip, name, QRect(2 + 14 * index, 2, 14, 21));
    p->SetBevels(TPanel::TBevel::None, TPanel::TBevel::None);
    p->setFont(MakeFont("Verdana", 16, true));
    p->SetCaption(caption);
    return p;
}

} // namespace
std::array<int, 7> OperColumnHeights(int innerHeight, int levelsHeight) {
    std::array<int, 7> h{66, 84, 94, std::max(levelsHeight, MinSectionHeight), 74, 188, 0};
    int used = 0;
    for (int i = 0; i < MemorySec; ++i)
        used += h[static_cast<std::size_t>(i)];
    h[MemorySec] = std::max(innerHeight - used, MinSectionHeight);
    return h;
}

QSize MinimumClientSize(int levelsHeight, int columnInset) {
    const auto h = OperColumnHeights(0, levelsHeight);
    int height = MemoryMinHeight + 2 * columnInset;
    for (int i = 0; i < MemorySec; ++i)
        height += h[static_cast<std::size_t>(i)];
    return {OperColumnWidth + MinFieldAreaWidth, height};
}

TMainWindow::TMainWindow(const QString& iniFileName, TTimeSource timeSource)
    : QWidget(nullptr), FIniFileName(iniFileName), FTimeSource(std::move(timeSource)) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("HALO SERIES CONTROL PANEL"));
    setFont(MakeFont("MS Sans Serif", 11));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(clr::Silver));
    setPalette(pal);
    setGeometry(220, 88, 990, 850);
    FUtilities.SetProgram(QCoreApplication::applicationDirPath() +
                          QStringLiteral("/SFP/fibrewatch"));
    // The level set, the salvos and the operator's log live beside the INI file.
    QString levelSet = FIniFileName;
    if (levelSet.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive))
        levelSet.chop(4);
    FSession = std::make_unique<TSession>(QFileInfo(FIniFileName).absolutePath(),
                                          levelSet + QStringLiteral(".set"));
    FormCreate();
}

TMainWindow::~TMainWindow() {
    // Normally the threads are gone before the window is destroyed (the close is
    // refused until then). Should the window be destroyed otherwise, stop them
    // while serving their pending synchronised steps, so neither side blocks.
    // The pointers are cleared first: the completion handlers then leave them alone.
    FClosing = false;
    FFirstIdleDone = true; // events served below must not run start-up work
    FSession->EndPolling();
    if (TTimeThread* clock = std::exchange(ClockThread, nullptr)) {
        clock->Terminate();
        while (!clock->wait(5))
            QCoreApplication::processEvents();
        delete clock;
    }
    // The field draws the session's cross-points: it goes first.
    delete std::exchange(Field, nullptr);
}

void TMainWindow::AttachForms(TTip* tip, THdmiWindow* hdmi, TStatusWindow* status) {
    FHover->SetTip(tip);
    HdmiWindow = hdmi;
    StatusWindow = status;
    if (hdmi) {
        hdmi->SetRequests(FSession->HdmiRequests());
        FSession->HdmiRequests()->SetEnabled(FSettings.HdmiEnabled);
        hdmi->OnHdmiRefresh = [this] { FSession->RequestHdmiRefresh(); };
    }
    if (status)
        status->OnStatusRequest = [this] { FSession->RequestStatus(); };
    // STATUS and HDMI stay above the main window as its tool windows, but
    // below the dialogs it opens (a file picker must not be covered).
    winId();
    for (QWidget* monitor : {static_cast<QWidget*>(hdmi), static_cast<QWidget*>(status)})
        if (monitor) {
            monitor->winId();
            monitor->windowHandle()->setTransientParent(windowHandle());
        }
}

QSize TMainWindow::ScreenSize() const {
    if (FScreenSize.isValid())
        return FScreenSize;
    if (const QScreen* s = QGuiApplication::primaryScreen())
        return s->geometry().size();
    return {1024, 768};
}

void TMainWindow::FormCreate() {
    // 1. The first-idle handler runs once the event loop has started.
    QTimer::singleShot(0, this, [this] { FirstIdle(); });
    FClosing = false;

    CreateOperColumn();
    CreateFieldArea();
    setMinimumSize(MinimumClientSize(PanelLevelsBack->height(), PanelOperBack->BevelInset()));

    // 6 and 9: the cross-point field, empty and hidden until operation starts.
    Field = new TField(PanelFieldBack2, &FSession->CrossPoints());
    Field->setObjectName(QStringLiteral("Field"));
    Field->SetLevelCount(0);
    Field->SetSize(1, 1);
    Field->hide();
    Field->OnInputNameDblClick = [this](TField*, int i) { EditParams(true, i); };
    Field->OnOutputNameDblClick = [this](TField*, int o) { EditParams(false, o); };
    FHover = new TFieldHover(Field, PanelInOut, PanelFieldBack, FSettings, this);

    // 7. The preview, in the same place, hidden until shown instead of the field.
    PreviewField = new TPreviewField(PanelFieldBack2);
    PreviewField->SetLevelCount(0);
    PreviewField->SetSize(1, 1);
    PreviewField->hide();

    // 8. The level selector in DISPLAY, below its caption.
    LevelControl = new TLevelControl(PanelLevelsBack);
    LevelControl->setObjectName(QStringLiteral("LevelControl"));
    LevelControl->OnVisibleChange = [this](TLevelControl* s, int k) { VisibleLevelsChanged(s, k); };
    LevelControl->OnControlChange = [this](TLevelControl* s, int k) { ControlLevelsChanged(s, k); };
    LevelControl->SetLevelCount(0);
    SizeLevelsPanel();

    // 3. Colours.
    FIndicatorColors = {clr::Aqua, clr::Lime, clr::Red, clr::White};
    FButtonColors.fill(clr::Silver);
    FButtonColors[1] = clr::Red;
    FButtonColors[5] = clr::Aqua;
    FButtonColors[7] = clr::Lime;
    FButtonColors[8] = clr::Lime;
    ApplyIndicators();

    // 4. Date and time strips just wide enough for their digits, centred.
    for (TPanel* strip : {PanelDateBack, PanelTimeBack}) {
        int right = 0;
        for (QObject* c : strip->children())
            if (auto* w = qobject_cast<QWidget*>(c))
                right = std::max(right, w->geometry().x() + w->width());
        const int border = strip->BevelInset();
        strip->resize(right + 2 * border, strip->height());
        strip->move((SectionWidth - strip->width()) / 2, strip->y());
    }

    // 5. The session: what it reports is shown here.
    ConnectSession();

    // 10.
    FCaptionText = QStringLiteral("KESTREL");
    PanelFieldCaption->SetCaption(FCaptionText);

    // What a save killed before its rename left beside the program.
    for (const std::string& name :
         safefile::RemoveStaleTemporaries(QFileInfo(FIniFileName).absolutePath().toStdString()))
        qCWarning(lcFiles).noquote()
            << "Removed an unfinished save:"
            << QDir(QFileInfo(FIniFileName).absolutePath()).filePath(QString::fromStdString(name));
    LoadIni();            // 11
    LoadLevelSet();       // 12
    Salvos->ShowSalvos(); // 13: no folder yet, so the list stays empty

    // 14. The clock runs for the whole life of the window.
    ClockThread = new TTimeThread(this, ClockPanels, FTimeSource);
    // Queued: handled on this thread once the clock thread has finished.
    connect(ClockThread, &QThread::finished, this, &TMainWindow::ClockEnded, Qt::QueuedConnection);
    ClockThread->start();

    ShowMode();                // 15
    ConnectOperatorControls(); // 16

    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
            // The desktop session ends: keep the operator's layout; the threads
            // are not stopped by this request.
            SaveIni();
        });
}

void TMainWindow::CreateOperColumn() {
    PanelOperBack = MakePanel(this, "PanelOperBack", QRect(0, 0, OperColumnWidth, height()));
    PanelOperBack->SetBevels(TPanel::TBevel::Raised, TPanel::TBevel::Lowered, 3);
    PanelOperBack->setFont(MakeFont("Lucida Console", 12));

    // COMMUNICATION
    PanelComBack = MakeSection(PanelOperBack, "PanelComBack", "PanelComCaption",
                               QStringLiteral("COMMUNICATION"), PanelComCaption);
    auto indicator = [this](const char* name, int x) {
        auto* s = new TIndicatorBox(PanelComBack);
        s->setObjectName(QString::fromLatin1(name));
        s->setGeometry(x, 24, 17, 9);
        return s;
    };
    ShapeInit = indicator("ShapeInit", 10);
    ShapeConfig = indicator("ShapeConfig", 26);
    ShapeState = indicator("ShapeState", 42);
    ShapeProc = indicator("ShapeProc", 58);
    LabelClients = MakePanel(PanelComBack, "LabelClients", QRect(84, 23, 70, 11));
    LabelClients->SetBevels(TPanel::TBevel::None, TPanel::TBevel::None);
    LabelClients->SetAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    LabelClients->setFont(MakeFont("Lucida Console", 11));
    LabelClients->SetCaption(QStringLiteral("Clients 0"));
    LabelClients->hide();
    SBtnOperate = MakeButton(PanelComBack, "SBtnOperate", QStringLiteral("OPERATE"),
                             QRect(10, 40, 65, 17), true);
    SBtnSettings = MakeButton(PanelComBack, "SBtnSettings", QStringLiteral("SETTINGSD"),
                              QRect(82, 40, 65, 17), true);

    // DATE & TIME
    PanelDTBack = MakeSection(PanelOperBack, "PanelDTBack", "PanelDTCaption",
                              QStringLiteral("DATE & TIME"), PanelDTCaption);
    PanelDateBack = MakePanel(PanelDTBack, "PanelDateBack", QRect(6, 22, 146, 25));
    PanelTimeBack = MakePanel(PanelDTBack, "PanelTimeBack", QRect(20, 52, 116, 25));
    for (TPanel* strip : {PanelDateBack, PanelTimeBack})
        strip->SetBevels(TPanel::TBevel::Lowered, TPanel::TBevel::Raised);
    const QString zero = QStringLiteral("0");
    ClockPanels.DayH = MakeDigit(PanelDateBack, "PanelDayH", 0, zero);
    ClockPanels.DayL = MakeDigit(PanelDateBack, "PanelDayL", 1, zero);
    MakeDigit(PanelDateBack, "PanelDot1", 2, QStringLiteral("."));
    ClockPanels.MonthH = MakeDigit(PanelDateBack, "PanelMonthH", 3, zero);
    ClockPanels.MonthL = MakeDigit(PanelDateBack, "PanelMonthL", 4, zero);
    MakeDigit(PanelDateBack, "PanelDot2", 5, QStringLiteral("."));
    ClockPanels.AgeH = MakeDigit(PanelDateBack, "PanelAgeH", 6, zero);
    ClockPanels.AgeL = MakeDigit(PanelDateBack, "PanelAgeL", 7, zero);
    ClockPanels.YearH = MakeDigit(PanelDateBack, "PanelYearH", 8, zero);
    ClockPanels.YearL = MakeDigit(PanelDateBack, "PanelYearL", 9, zero);
    ClockPanels.HourH = MakeDigit(PanelTimeBack, "PanelHourH", 0, zero);
    ClockPanels.HourL = MakeDigit(PanelTimeBack, "PanelHourL", 1, zero);
    MakeDigit(PanelTimeBack, "PanelSemi1", 2, QStringLiteral(":"));
    ClockPanels.MinH = MakeDigit(PanelTimeBack, "PanelMinH", 3, zero);
    ClockPanels.MinL = MakeDigit(PanelTimeBack, "PanelMinL", 4, zero);
    MakeDigit(PanelTimeBack, "PanelSemi2", 5, QStringLiteral(":"));
    ClockPanels.SecH = MakeDigit(PanelTimeBack, "PanelSecH", 6, zero);
    ClockPanels.SecL = MakeDigit(PanelTimeBack, "PanelSecL", 7, zero);

    // WINDOW
    PanelWindowBack = MakeSection(PanelOperBack, "PanelWindowBack", "PanelWindowCaption",
                                  QStringLiteral("WINDOW"), PanelWindowCaption);
    SBtnPreview = MakeButton(PanelWindowBack, "SBtnPreview", QStringLiteral("MODE"),
                             QRect(10, 24, 65, 17), true);
    SBtnHint = MakeButton(PanelWindowBack, "SBtnHint", QStringLiteral("HINT"),
                          QRect(82, 24, 65, 17), true);
    SBtnHdmi = MakeButton(PanelWindowBack, "SBtnHdmi", QStringLiteral("HDMI"),
                          QRect(10, 48, 65, 17), true);
    SBtnStatus = MakeButton(PanelWindowBack, "SBtnStatus", QStringLiteral("STATUS"),
                            QRect(82, 48, 65, 17), true);
    SBtnMonitor = MakeButton(PanelWindowBack, "SBtnMonitor", QStringLiteral("MONITOR"),
                             QRect(10, 72, 65, 17), true);
    // Until an operator finds the WINDOW panel's menu, the grey buttons say how.
    SBtnStatus->SetDisabledTip(
        QStringLiteral("Right-click this WINDOW panel and tick STATUS to use it."));
    SBtnMonitor->SetDisabledTip(
        QStringLiteral("Right-click this WINDOW panel and tick MONITOR to use it."));
    WindowMenu = new QMenu(this);
    WindowMenu->setObjectName(QStringLiteral("WindowMenu"));
    WindowMenuStatus = WindowMenu->addAction(QStringLiteral("STATUS"));
    WindowMenuStatus->setObjectName(QStringLiteral("WindowMenuStatus"));
    WindowMenuHdmi = WindowMenu->addAction(QStringLiteral("HDMI"));
    WindowMenuHdmi->setObjectName(QStringLiteral("WindowMenuHdmi"));
    WindowMenuMonitor = WindowMenu->addAction(QStringLiteral("MONITOR"));
    WindowMenuMonitor->setObjectName(QStringLiteral("WindowMenuMonitor"));
    for (QAction* a : {WindowMenuStatus, WindowMenuHdmi, WindowMenuMonitor})
        a->setCheckable(true);
    WindowMenu->addSeparator();
    WindowMenuExportNames = WindowMenu->addAction(QStringLiteral("Export names..."));
    WindowMenuExportNames->setObjectName(QStringLiteral("WindowMenuExportNames"));
    WindowMenuImportNames = WindowMenu->addAction(QStringLiteral("Import names..."));
    WindowMenuImportNames->setObjectName(QStringLiteral("WindowMenuImportNames"));
    for (TPanel* p : {PanelWindowBack, PanelWindowCaption}) {
        p->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(p, &QWidget::customContextMenuRequested, this,
                [this, p](const QPoint& at) { WindowMenu->popup(p->mapToGlobal(at)); });
    }

    // DISPLAY
    PanelLevelsBack = MakeSection(PanelOperBack, "PanelLevelsBack", "PanelLevelsCaption",
                                  QStringLiteral("DISPLAY"), PanelLevelsCaption);
    PanelLevelsBack->resize(SectionWidth, 78);

    // CONTROL
    PanelControlBack = MakeSection(PanelOperBack, "PanelControlBack", "PanelControlCaption",
                                   QStringLiteral("CONTROL"), PanelControlCaption);
    SBtnOnLine = MakeButton(PanelControlBack, "SBtnOnLine", QStringLiteral("ON LINE"),
                            QRect(17, 24, 64, 17), false);
    SBtnPreset = MakeButton(PanelControlBack, "SBtnPreset", QStringLiteral("PRESET"),
                            QRect(17, 48, 65, 17), false);
    SBtnTake = MakeButton(PanelControlBack, "SBtnTake", QStringLiteral("TAKE"),
                          QRect(89, 24, 48, 41), false);
    for (TSpeedButton* b : {SBtnOnLine, SBtnPreset, SBtnTake})
        b->setEnabled(false);

    // CONSOLE
    PanelConsoleBack = MakeSection(PanelOperBack, "PanelConsoleBack", "PanelConsoleCaption",
                                   QStringLiteral("CONSOLE"), PanelConsoleCaption);
    Keypad = new TConsoleKeypad(PanelConsoleBack);
    Keypad->setGeometry(0, 0, SectionWidth, OperColumnHeights(0, 0)[ConsoleSec]);
    Keypad->lower(); // the caption strip stays on top
    connect(Keypad, &TConsoleKeypad::RouteRequested, this,
            [this](int output, int input) { FSession->CrossPoints().KeypadRoute(output, input); });

    // MEMORY
    PanelMemoryBack = MakeSection(PanelOperBack, "PanelMemoryBack", "PanelMemoryCaption",
                                  QStringLiteral("MEMORY"), PanelMemoryCaption);
    Salvos = new TSalvoSection(
        *FSession, [this](const std::function<void()>& step) { return RunModal(step); },
        PanelMemoryBack);
    Salvos->lower(); // the caption strip stays on top
    Salvos->BeforeDialog = [this] { FHover->HideTip(); };

    TimerMon = new QTimer(this);
    TimerMon->setObjectName(QStringLiteral("TimerMon"));
    TimerMon->setInterval(1000);
    StatusTimer = new QTimer(this);
    StatusTimer->setObjectName(QStringLiteral("StatusTimer"));
    StatusTimer->setInterval(500);
    connect(StatusTimer, &QTimer::timeout, this, &TMainWindow::StatusTimerBeat);
    IndicatorTimer = new QTimer(this);
    IndicatorTimer->setObjectName(QStringLiteral("IndicatorTimer"));
    IndicatorTimer->setInterval(IndicatorFrameMs);
    connect(IndicatorTimer, &QTimer::timeout, this, &TMainWindow::ApplyIndicators);
}

void TMainWindow::CreateFieldArea() {
    PanelFieldBack = new THoverPanel(this);
    PanelFieldBack->setObjectName(QStringLiteral("PanelFieldBack"));
    PanelFieldBack->setGeometry(0, 0, 100, 100);
    PanelFieldBack->SetBevels(TPanel::TBevel::Raised, TPanel::TBevel::Lowered, 3);
    PanelFieldBack->setCursor(Qt::SizeAllCursor);
    PanelFieldBack2 = MakePanel(PanelFieldBack, "PanelFieldBack2", QRect(0, 0, 90, 90));
    PanelFieldBack2->SetBevels(TPanel::TBevel::Lowered, TPanel::TBevel::None);
    PanelFieldCaption =
        MakePanel(PanelFieldBack2, "PanelFieldCaption", QRect(1, 1, 88, CaptionHeight));
    PanelFieldCaption->SetBevels(TPanel::TBevel::None, TPanel::TBevel::None);
    PanelFieldCaption->SetColor(clr::Grey);
    PanelFieldCaption->SetFontColor(clr::White);
    PanelFieldCaption->setFont(MakeFont("MS Sans Serif", 12));
    SBtnZoomIn =
        MakeButton(PanelFieldCaption, "SBtnZoomIn", QStringLiteral("+"), QRect(0, 1, 13, 13), true);
    SBtnZoomOut = MakeButton(PanelFieldCaption, "SBtnZoomOut", QStringLiteral("-"),
                             QRect(0, 1, 13, 13), true);
    for (TSpeedButton* b : {SBtnZoomIn, SBtnZoomOut})
        b->setFont(MakeFont("MS Sans Serif", 12));
    // Keeps the zoom buttons at the right end of the caption.
    connect(PanelFieldCaption, &TPanel::Resized, this, [this] {
        const int cw = PanelFieldCaption->width();
        SBtnZoomOut->move(cw - SBtnZoomOut->width() * 4 / 3, SBtnZoomOut->y());
        SBtnZoomIn->move(cw - SBtnZoomOut->width() * 8 / 3, SBtnZoomIn->y());
    });
    PanelInOut = MakePanel(PanelFieldBack2, "PanelInOut", QRect(1, 1 + CaptionHeight, 88, 25));
    PanelInOut->SetBevels(TPanel::TBevel::None, TPanel::TBevel::None);
    PanelInOut->SetColor(RGBColor(0xEE, 0xEE, 0xEE));
    PanelInOut->setFont(MakeFont("MS Sans Serif", 12, true));
}

void TMainWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // The INI's bounds stand where they fit; otherwise the window moves, and
    // shrinks if it must, to lie on the screen with its frame.
    if (!FShownOnce && !e->spontaneous()) {
        FShownOnce = true;
        screenfit::FitOnScreen(*this);
    }
}

void TMainWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Relayout();
}

void TMainWindow::Relayout() {
    const int W = width(), H = height();
    PanelOperBack->setGeometry(W - OperColumnWidth, 0, OperColumnWidth, H);
    const int inset = PanelOperBack->BevelInset();
    TPanel* sections[7] = {PanelComBack,     PanelDTBack,      PanelWindowBack, PanelLevelsBack,
                           PanelControlBack, PanelConsoleBack, PanelMemoryBack};
    const auto heights = OperColumnHeights(H - 2 * inset, PanelLevelsBack->height());
    int y = inset;
    for (int i = 0; i < 7; ++i) {
        sections[i]->setGeometry(inset, y, SectionWidth, heights[static_cast<std::size_t>(i)]);
        y += heights[static_cast<std::size_t>(i)];
    }
    LevelControl->setGeometry(2, 2 + CaptionHeight, SectionWidth - 4,
                              std::max(0, PanelLevelsBack->height() - 4 - CaptionHeight));
    Salvos->setGeometry(PanelMemoryBack->rect());
    Salvos->Layout(CaptionHeight);

    PanelFieldBack->setGeometry(0, 0, std::max(0, W - OperColumnWidth), H);
    PanelFieldBack2->setGeometry(PanelFieldBack->ClientRect());
    const QRect inner = PanelFieldBack2->ClientRect();
    PanelFieldCaption->setGeometry(inner.x(), inner.y(), inner.width(), CaptionHeight);
    PanelInOut->setGeometry(inner.x(), inner.y() + CaptionHeight, inner.width(), 25);
    const int top = inner.y() + CaptionHeight + 25;
    Field->setGeometry(inner.x(), top, inner.width(), std::max(0, inner.bottom() + 1 - top));
    PreviewField->setGeometry(Field->geometry());
}

void TMainWindow::SizeLevelsPanel() {
    PanelLevelsBack->resize(SectionWidth, LevelControl->GetPreferredHeight() + CaptionHeight);
    setMinimumSize(MinimumClientSize(PanelLevelsBack->height(), PanelOperBack->BevelInset()));
    Relayout();
}

void TMainWindow::FirstIdle() {
    if (FFirstIdleDone)
        return;
    FFirstIdleDone = true;
    if (StatusWindow)
        screenfit::Place(*StatusWindow, FSettings.FStatusPos);
    if (HdmiWindow)
        screenfit::Place(*HdmiWindow, FSettings.FHdmiPos);
    LoadLevelSet();
    PlaceMonitorsBeside();
    if (FSettings.StatusEnabled && FSettings.StatusShown && StatusWindow)
        StatusWindow->show();
    StatusTimer->start();
}

void TMainWindow::PlaceMonitorsBeside() {
    // Without a position in the INI, STATUS and HDMI go where they cover neither
    // each other nor the main window, else at least not its controls.
    auto outer = [](const QWidget& w) {
        QMargins m = screenfit::ExpectedFrameMargins(w);
        if (m.isNull() && !(w.windowFlags() & Qt::FramelessWindowHint))
            m = QMargins(8, 32, 8, 8); // not framed yet: room for a typical frame
        const QSize size = w.testAttribute(Qt::WA_Resized) ? w.size() : w.sizeHint();
        return QRect(w.pos(), size.grownBy(m));
    };
    const QRect main = outer(*this);
    const QRect controls(main.right() + 1 - OperColumnWidth - 8, main.top(), OperColumnWidth + 8,
                         main.height());
    const QRect available = screenfit::AvailableFor(*this, main);
    QList<QRect> placed;
    auto place = [&](QWidget* window, bool fromIni) {
        if (!window)
            return;
        if (!fromIni) {
            const QSize size = outer(*window).size();
            auto at = screenfit::FreeSpot(size, QList<QRect>{main} + placed, available);
            if (!at)
                at = screenfit::FreeSpot(size, QList<QRect>{controls} + placed, available);
            if (at)
                screenfit::Place(*window, *at);
        }
        placed << outer(*window);
    };
    place(StatusWindow, FStatusPosFromIni);
    place(HdmiWindow, FHdmiPosFromIni);
}

void TMainWindow::ClockEnded() {
    if (ClockThread) {
        // Reported as the thread finishes, so the wait is short. Should it still
        // run after the wait, it is freed as soon as it has finished
        // (destroying a running thread would end the process).
        if (ClockThread->wait(ClockThreadWaitMs))
            delete ClockThread;
        else
            connect(ClockThread, &QThread::finished, ClockThread, &QObject::deleteLater);
        ClockThread = nullptr;
    }
    if (FClosing)
        close();
}

void TMainWindow::closeEvent(QCloseEvent* e) {
    if (!FSession->Polling() && !ClockThread) {
        e->accept();
        FUtilities.QuitAll();
        SaveIni();
        return;
    }
    // Refuse for now; each thread's completion message closes the window again.
    e->ignore();
    FClosing = true;
    FSession->StopPolling();
    if (ClockThread)
        ClockThread->Terminate();
}
