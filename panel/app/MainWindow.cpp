#include "MainWindow.h"

#include "ConsoleKeypad.h"
#include "Field.h"
#include "FieldHover.h"
#include "HdmiWindow.h"
#include "HoverPanel.h"
#include "IndicatorBox.h"
#include "LevelControl.h"
#include "LogCategories.h"
#include "OperatorColumn.h"
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

constexpr int ClockThreadWaitMs = 10000;
constexpr int CaptionHeight = TOperatorColumn::CaptionHeight;

} // namespace

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
    setMinimumSize(Column->MinimumWindowSize());

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

    // 3. Colours.
    FIndicatorColors = {clr::Aqua, clr::Lime, clr::Red, clr::White};
    FButtonColors.fill(clr::Silver);
    FButtonColors[1] = clr::Red;
    FButtonColors[5] = clr::Aqua;
    FButtonColors[7] = clr::Lime;
    FButtonColors[8] = clr::Lime;
    ApplyIndicators();

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
    ClockThread = new TTimeThread(this, Column->ClockPanels, FTimeSource);
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
    Column = new TOperatorColumn(this);
    Column->setGeometry(width() - TOperatorColumn::Width, 0, TOperatorColumn::Width, height());
    Column->LevelControl->OnVisibleChange = [this](TLevelControl* s, int k) {
        VisibleLevelsChanged(s, k);
    };
    Column->LevelControl->OnControlChange = [this](TLevelControl* s, int k) {
        ControlLevelsChanged(s, k);
    };
    connect(Column->Keypad, &TConsoleKeypad::RouteRequested, this,
            [this](int output, int input) { FSession->CrossPoints().KeypadRoute(output, input); });
    // Until an operator finds the WINDOW panel's menu, the grey buttons say how.
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
    WindowMenu->addSeparator();
    // Ctrl+Z is the window's key (KeyPressed); the menu only shows it.
    WindowMenuUndo = WindowMenu->addAction(QStringLiteral("Undo\tCtrl+Z"));
    WindowMenuUndo->setObjectName(QStringLiteral("WindowMenuUndo"));
    for (TPanel* p : {Column->PanelWindowBack, Column->PanelWindowCaption}) {
        p->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(p, &QWidget::customContextMenuRequested, this,
                [this, p](const QPoint& at) { WindowMenu->popup(p->mapToGlobal(at)); });
    }

    Salvos = new TSalvoSection(
        *FSession, [this](const std::function<void()>& step) { return RunModal(step); },
        Column->PanelMemoryBack);
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
    SBtnZoomIn = MakeSpeedButton(PanelFieldCaption, "SBtnZoomIn", QStringLiteral("+"),
                                 QRect(0, 1, 13, 13), true);
    SBtnZoomOut = MakeSpeedButton(PanelFieldCaption, "SBtnZoomOut", QStringLiteral("-"),
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
    Column->setGeometry(W - TOperatorColumn::Width, 0, TOperatorColumn::Width, H);
    Column->Relayout();
    Salvos->setGeometry(Column->PanelMemoryBack->rect());
    Salvos->Layout(CaptionHeight);

    PanelFieldBack->setGeometry(0, 0, std::max(0, W - TOperatorColumn::Width), H);
    PanelFieldBack2->setGeometry(PanelFieldBack->ClientRect());
    const QRect inner = PanelFieldBack2->ClientRect();
    PanelFieldCaption->setGeometry(inner.x(), inner.y(), inner.width(), CaptionHeight);
    PanelInOut->setGeometry(inner.x(), inner.y() + CaptionHeight, inner.width(), 25);
    const int top = inner.y() + CaptionHeight + 25;
    Field->setGeometry(inner.x(), top, inner.width(), std::max(0, inner.bottom() + 1 - top));
    PreviewField->setGeometry(Field->geometry());
}

void TMainWindow::SizeLevelsPanel() {
    Column->SizeLevels();
    setMinimumSize(Column->MinimumWindowSize());
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
    const QRect controls(main.right() + 1 - TOperatorColumn::Width - 8, main.top(),
                         TOperatorColumn::Width + 8, main.height());
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
