#include "MainUnit.h"

#include "ColorTabBar.h"
#include "DigitalPanel.h"
#include "FieldUnit.h"
#include "HdmiUnit.h"
#include "HoverPanel.h"
#include "IndicatorBox.h"
#include "IniFile.h"
#include "MessageBox.h"
#include "Panel.h"
#include "PollThreadUnit.h"
#include "ProgressUnit.h"
#include "SpeedButton.h"
#include "StatusUnit.h"
#include "TipForm.h"
#include "UnitProcIP.h"
#include "WindowMessages.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QSessionManager>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

constexpr int OperColumnWidth = 167;
constexpr int SectionWidth = 157;
constexpr int CaptionHeight = 15;
constexpr int MinSectionHeight = 50;
constexpr int ClockThreadWaitMs = 10000;

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

std::uint32_t PackLevelFlags(const std::array<bool, 4>& flags) {
    std::uint32_t packed = 0;
    for (int k = 0; k < 4; ++k)
        if (flags[static_cast<std::size_t>(k)])
            packed |= 1u << (8 * k);
    return packed;
}

QPoint ClampWindowPos(QPoint stored, QSize screen) {
    int left = stored.x(), top = stored.y();
    if (left < 0)
        left = 0;
    if (top < 0)
        top = 0;
    if (left > screen.width())
        left = screen.width() - 100;
    if (top > screen.height())
        top = screen.height() - 100;
    return {left, top};
}

QRect ClampWindowBounds(QRect stored, QSize screen) {
    const QPoint pos = ClampWindowPos(stored.topLeft(), screen);
    const int width = std::min(stored.width(), screen.width());
    const int height = std::min(stored.height(), screen.height());
    return {pos, QSize(width, height)};
}

std::array<int, 7> OperColumnHeights(int innerHeight, int levelsHeight) {
    std::array<int, 7> h{66, 84, 94, std::max(levelsHeight, MinSectionHeight), 74, 188, 0};
    int used = 0;
    for (int i = 0; i < MemorySec; ++i)
        used += h[static_cast<std::size_t>(i)];
    h[MemorySec] = std::max(innerHeight - used, MinSectionHeight);
    return h;
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
    FormCreate();
}

TMainWindow::~TMainWindow() {
    // Normally the threads are gone before the window is destroyed (the close is
    // refused until then). Should the window be destroyed otherwise, stop them
    // while serving their pending synchronised steps, so neither side blocks.
    // The pointers are cleared first: the completion handlers then leave them alone.
    FClosing = false;
    FFirstIdleDone = true; // events served below must not run start-up work
    if (TPollThread* poll = std::exchange(PollThread, nullptr)) {
        poll->Terminate();
        while (!poll->wait(5))
            QCoreApplication::processEvents();
        delete poll;
    }
    if (TTimeThread* clock = std::exchange(ClockThread, nullptr)) {
        clock->Terminate();
        while (!clock->wait(5))
            QCoreApplication::processEvents();
        delete clock;
    }
}

void TMainWindow::AttachForms(TTip* tip, THdmiWindow* hdmi, TStatusWindow* status) {
    Tip = tip;
    HdmiWindow = hdmi;
    StatusWindow = status;
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

    // 6 and 9: the cross-point field, empty and hidden until operation starts.
    Field = new TField(PanelFieldBack2);
    Field->setObjectName(QStringLiteral("Field"));
    Field->SetLevelCount(0);
    Field->SetSize(1, 1);
    Field->hide();

    // 3. Colours.
    FIndicatorColors = {clr::Aqua, clr::Lime, clr::Red, clr::White};
    FButtonColors.fill(clr::Silver);
    FButtonColors[1] = clr::Red;
    FButtonColors[5] = clr::Aqua;
    FButtonColors[7] = clr::Lime;
    FButtonColors[8] = clr::Lime;
    SetAllIndicatorsIdle();

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

    // 5. The level set lives beside the INI file.
    FLevelSetFileName = FIniFileName;
    if (FLevelSetFileName.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive))
        FLevelSetFileName.chop(4);
    FLevelSetFileName += QStringLiteral(".set");

    // 10.
    FCaptionText = QStringLiteral("KESTREL");
    PanelFieldCaption->SetCaption(FCaptionText);

    LoadIni();      // 11
    LoadLevelSet(); // 12

    // 14. The clock runs for the whole life of the window.
    ClockThread = new TTimeThread(this, ClockPanels, FTimeSource);
    ClockThread->start();

    SetMode(0);                // 15
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
    Panel1 = MakeSection(PanelOperBack, "Panel1", "Panel2", QStringLiteral("WINDOW"), Panel2);
    SBtnPreview =
        MakeButton(Panel1, "SBtnPreview", QStringLiteral("MODE"), QRect(10, 24, 65, 17), true);
    SBtnHint = MakeButton(Panel1, "SBtnHint", QStringLiteral("HINT"), QRect(82, 24, 65, 17), true);
    SBtnHdmi = MakeButton(Panel1, "SBtnHdmi", QStringLiteral("HDMI"), QRect(10, 48, 65, 17), true);
    SBtnStatus =
        MakeButton(Panel1, "SBtnStatus", QStringLiteral("STATUS"), QRect(82, 48, 65, 17), true);
    SBtnMonitor =
        MakeButton(Panel1, "SBtnMonitor", QStringLiteral("MONITOR"), QRect(10, 72, 65, 17), true);
    PMW = new QMenu(this);
    PMW->setObjectName(QStringLiteral("PMW"));
    PMWstatus = PMW->addAction(QStringLiteral("STATUS"));
    PMWstatus->setObjectName(QStringLiteral("PMWstatus"));
    PMWhdmi = PMW->addAction(QStringLiteral("HDMI"));
    PMWhdmi->setObjectName(QStringLiteral("PMWhdmi"));
    PMWmon = PMW->addAction(QStringLiteral("MONITOR"));
    PMWmon->setObjectName(QStringLiteral("PMWmon"));
    for (TPanel* p : {Panel1, Panel2}) {
        p->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(p, &QWidget::customContextMenuRequested, this,
                [this, p](const QPoint& at) { PMW->popup(p->mapToGlobal(at)); });
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
    PanelConsoleBack =
        MakeSection(PanelOperBack, "PanelConsoleBack", "Panel4", QStringLiteral("CONSOLE"), Panel4);
    // Digit read-outs: hundreds, tens, units of the output and of the input number.
    const char* outNames[3] = {"DigitOutput2", "DigitOutput1", "DigitOutput0"};
    const char* inNames[3] = {"DigitInput2", "DigitInput1", "DigitInput0"};
    auto digit = [this](const char* name, int x) {
        auto* d = new TDigitalPanel(PanelConsoleBack);
        d->setObjectName(QString::fromLatin1(name));
        d->setGeometry(x, 23, 17, 25);
        d->WriteBorderSize(3);
        d->WriteScale(3);
        return d;
    };
    for (int i = 0; i < 3; ++i) {
        DigitOutput[static_cast<std::size_t>(2 - i)] = digit(outNames[i], 8 + 16 * i);
        DigitInput[static_cast<std::size_t>(2 - i)] = digit(inNames[i], 98 + 16 * i);
    }
    SBtnConsoleOutput = MakeButton(PanelConsoleBack, "SBtnConsoleOutput", QStringLiteral("OUTPUT"),
                                   QRect(7, 51, 51, 17), true);
    SBtnConsoleInput = MakeButton(PanelConsoleBack, "SBtnConsoleInput", QStringLiteral("INPUT"),
                                  QRect(97, 51, 51, 17), true);
    SBtnConsoleOutput->SetColor(clr::Green);
    SBtnConsoleInput->SetColor(clr::Green);
    const int lefts[3] = {7, 55, 103};
    const int tops[4] = {76, 96, 116, 136};
    for (int d = 1; d <= 9; ++d) {
        const QByteArray name = "SBtn" + QByteArray::number(d);
        SBtnDigits[static_cast<std::size_t>(d)] =
            MakeButton(PanelConsoleBack, name.constData(), QString::number(d),
                       QRect(lefts[(d - 1) % 3], tops[(d - 1) / 3], 45, 17), false);
        SBtnDigits[static_cast<std::size_t>(d)]->Tag = d;
    }
    SBtnBS =
        MakeButton(PanelConsoleBack, "SBtnBS", QStringLiteral("<-"), QRect(7, 136, 45, 17), false);
    SBtnBS->Tag = -1;
    SBtnDigits[0] =
        MakeButton(PanelConsoleBack, "SBtn0", QStringLiteral("0"), QRect(55, 136, 45, 17), false);
    SBtnESC = MakeButton(PanelConsoleBack, "SBtnESC", QStringLiteral("ESC"),
                         QRect(103, 136, 45, 17), false);
    SBtnESC->Tag = -2;
    SBtnConsoleTake = MakeButton(PanelConsoleBack, "SBtnConsoleTake", QStringLiteral("TAKE"),
                                 QRect(37, 162, 85, 16), true);
    SBtnConsoleTake->setEnabled(false);

    // MEMORY
    PanelMemoryBack = MakeSection(PanelOperBack, "PanelMemoryBack", "PanelMemoryCaption",
                                  QStringLiteral("MEMORY"), PanelMemoryCaption);
    LBoxMemory = new QListWidget(PanelMemoryBack);
    LBoxMemory->setObjectName(QStringLiteral("LBoxMemory"));
    LBoxMemory->setSortingEnabled(true);
    LBoxMemory->setSelectionMode(QAbstractItemView::SingleSelection);
    LBoxMemory->setFont(MakeFont("Lucida Console", 12));
    LBoxMemory->setUniformItemSizes(true);
    LBoxMemory->setStyleSheet(QStringLiteral("QListWidget { background: white; } "
                                             "QListWidget::item { height: 13px; }"));
    LBoxMemory->setEnabled(false);
    PanelMemoryBtns =
        MakePanel(PanelMemoryBack, "PanelMemoryBtns", QRect(2, 0, SectionWidth - 4, 29));
    PanelMemoryBtns->SetBevels(TPanel::TBevel::None, TPanel::TBevel::None);
    SBtnNewSlot = MakeButton(PanelMemoryBtns, "SBtnNewSlot", QStringLiteral("New"),
                             QRect(8, 8, 41, 17), false);
    SBtnSaveSlot = MakeButton(PanelMemoryBtns, "SBtnSaveSlot", QStringLiteral("Save"),
                              QRect(56, 8, 41, 17), false);
    SBtnDelSlot = MakeButton(PanelMemoryBtns, "SBtnDelSlot", QStringLiteral("Del"),
                             QRect(104, 8, 41, 17), false);
    for (TSpeedButton* b : {SBtnNewSlot, SBtnSaveSlot, SBtnDelSlot})
        b->setEnabled(false);

    TimerMon = new QTimer(this);
    TimerMon->setObjectName(QStringLiteral("TimerMon"));
    TimerMon->setInterval(1000);
    StatusTimer = new QTimer(this);
    StatusTimer->setObjectName(QStringLiteral("StatusTimer"));
    StatusTimer->setInterval(500);
    connect(StatusTimer, &QTimer::timeout, this, &TMainWindow::StatusTimerTimer);
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

void TMainWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Relayout();
}

void TMainWindow::Relayout() {
    const int W = width(), H = height();
    PanelOperBack->setGeometry(W - OperColumnWidth, 0, OperColumnWidth, H);
    const int inset = PanelOperBack->BevelInset();
    TPanel* sections[7] = {PanelComBack,     PanelDTBack,      Panel1,         PanelLevelsBack,
                           PanelControlBack, PanelConsoleBack, PanelMemoryBack};
    const auto heights = OperColumnHeights(H - 2 * inset, PanelLevelsBack->height());
    int y = inset;
    for (int i = 0; i < 7; ++i) {
        sections[i]->setGeometry(inset, y, SectionWidth, heights[static_cast<std::size_t>(i)]);
        y += heights[static_cast<std::size_t>(i)];
    }
    const int mh = PanelMemoryBack->height();
    PanelMemoryBtns->setGeometry(2, mh - 2 - 29, SectionWidth - 4, 29);
    LBoxMemory->setGeometry(2, 2 + CaptionHeight, SectionWidth - 4,
                            std::max(0, mh - 4 - CaptionHeight - 29));

    PanelFieldBack->setGeometry(0, 0, std::max(0, W - OperColumnWidth), H);
    PanelFieldBack2->setGeometry(PanelFieldBack->ClientRect());
    const QRect inner = PanelFieldBack2->ClientRect();
    PanelFieldCaption->setGeometry(inner.x(), inner.y(), inner.width(), CaptionHeight);
    PanelInOut->setGeometry(inner.x(), inner.y() + CaptionHeight, inner.width(), 25);
    const int top = inner.y() + CaptionHeight + 25;
    Field->setGeometry(inner.x(), top, inner.width(), std::max(0, inner.bottom() + 1 - top));
}

QString CommunicationErrorText(std::uint32_t status, std::int32_t ip, int levelCount,
                               const std::array<std::string, 5>& levelNames,
                               const std::array<std::int32_t, 5>& levelAddresses) {
    const int op = status & 0xFF, error = (status >> 8) & 0xFF, detail = (status >> 16) & 0xFF,
              extra = (status >> 24) & 0xFF;
    if (error == 0)
        return {};
    const QString A =
        QStringLiteral(" (") + QString::fromStdString(FormatIP(ip)) + QStringLiteral(":10004)");
    const QString U =
        QStringLiteral("Unknown Error Code: ") +
        QString::asprintf("0x%2.2X 0x%2.2X 0x%2.2X 0x%2.2X", op, error, detail, extra);
    const QString C = QStringLiteral("CPU Error Code: ") + QString::asprintf("0x%2.2X", detail);
    QString L;
    for (int n = 1; n <= levelCount && n <= 4; ++n)
        if (levelAddresses[static_cast<std::size_t>(n)] == extra)
            L = QStringLiteral(" (") +
                QString::fromStdString(levelNames[static_cast<std::size_t>(n)]) +
                QStringLiteral(")");
    auto read = [&](const char* what) {
        // "<what>" + L + A for a missing reply, "<what>" + L + ". " + C + A for a wrong one.
        const QString w = QString::fromLatin1(what);
        if (error == 2)
            return w + L + A;
        if (error == 3)
            return w + L + QStringLiteral(". ") + C + A;
        return U + A;
    };
    switch (op) {
    case 1:
        return error == 1 ? QStringLiteral("Can not connect") + A : U + A;
    case 2:
        return (error == 2 || error == 3) ? QStringLiteral("Routing switcher not found at ") + A
                                          : U + A;
    case 4:
        if (error == 2)
            return QStringLiteral("Cannot read (extended) configuration at ") + A + L;
        if (error == 3)
            return QStringLiteral("Cannot read (extended) configuration at ") + A + L +
                   QStringLiteral(". ") + C;
        if (error == 5)
            return QStringLiteral("Invalid size of Routing Switcher") + L + A;
        return U + A;
    case 5:
        return read("Cannot read Routing Switcher State");
    case 13:
        return read("Cannot read Routing Switcher HDMI state");
    case 7:
        return read("Cannot switch data");
    case 14:
        return read("Cannot switch HDMI data");
    case 11:
        return read("Cannot send Preset salvo");
    case 12:
        if (error == 2)
            return QStringLiteral("Cannot Take Preset salvo") + A;
        if (error == 3)
            return QStringLiteral("Cannot Take Preset salvo") + QStringLiteral(". ") + C + A;
        return U + A;
    default:
        return U + A;
    }
}

void TMainWindow::SetAllIndicatorsIdle() {
    for (TIndicatorBox* s : {ShapeInit, ShapeConfig, ShapeState, ShapeProc})
        s->SetColor(FIndicatorColors[3]);
}

void TMainWindow::LoadIni() {
    TIniFile ini(FIniFileName.toStdString());
    ini.Load();
    const QRect stored(ini.ReadInteger("WINDOW", "LEFT", 20), ini.ReadInteger("WINDOW", "TOP", 20),
                       ini.ReadInteger("WINDOW", "WIDTH", 750),
                       ini.ReadInteger("WINDOW", "HEIGHT", 550));
    const QSize screen = ScreenSize();
    FStartMaximized = ini.ReadBool("WINDOW", "STATE", false);
    if (FStartMaximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
    } else {
        const QRect r = ClampWindowBounds(stored, screen);
        move(r.topLeft());
        resize(std::max(r.width(), 0), std::max(r.height(), 0));
    }
    Field->SetScale(ini.ReadInteger("WINDOW", "ZOOM", 3));
    PreviewScale = ini.ReadInteger("WINDOW", "SCALE", 64);
    FLastState = ini.ReadInteger("WINDOW", "LASTSTATE", 1);
    FPreviewMode = ini.ReadBool("WINDOW", "PREVIEW", false);
    FHintsOn = ini.ReadBool("WINDOW", "HINT", false);
    OutputLimit = ini.ReadInteger("WINDOW", "OUTPUTLIMIT", 0);
    FSfpEnabled = ini.ReadBool("WINDOW", "SFP", false);
    SBtnMonitor->setEnabled(FSfpEnabled);

    FStatusPos = ClampWindowPos(
        {ini.ReadInteger("SWINDOW", "LEFT", 100), ini.ReadInteger("SWINDOW", "TOP", 100)}, screen);
    StatusShown = ini.ReadBool("SWINDOW", "SHOW", false);
    StatusEnabled = ini.ReadBool("SWINDOW", "ENABLED", false);
    FHdmiPos = ClampWindowPos(
        {ini.ReadInteger("HWINDOW", "LEFT", 100), ini.ReadInteger("HWINDOW", "TOP", 100)}, screen);
    HdmiEnabled = ini.ReadBool("HWINDOW", "ENABLED", false);

    for (int n = 0; n < 256; ++n) {
        const std::string i = std::to_string(n);
        auto text = [&](const char* section, const std::string& key) {
            return QString::fromStdString(ini.ReadString(section, key, ""));
        };
        Field->SetInputLogo(n, text("INPUTS", "LOGO" + i));
        Field->SetInputName(n, text("INPUTS", "NAME" + i));
        Field->SetOutputLogo(n, text("OUTPUTS", "LOGO" + i));
        Field->SetOutputName(n, text("OUTPUTS", "NAME" + i));
    }
    for (int n = 1; n <= 4; ++n) {
        const std::string i = std::to_string(n);
        FVisibleLevels[static_cast<std::size_t>(n - 1)] =
            ini.ReadBool("LEVELS", "VISIBLE" + i, true);
        FControlLevels[static_cast<std::size_t>(n - 1)] =
            ini.ReadBool("LEVELS", "CONTROL" + i, true);
    }
    Field->SetVisible(PackLevelFlags(FVisibleLevels));
    Field->SetControl(PackLevelFlags(FControlLevels));
    FAppText = QString::fromStdString(ini.ReadString("WINDOW", "APP", "")).trimmed().toStdString();
}

void TMainWindow::SaveIni() {
    // Start from the file as it stands so that keys the program never writes
    // (SCALE, OUTPUTLIMIT, names and logos, hand-written extras) survive.
    TIniFile ini(FIniFileName.toStdString());
    ini.Load();
    const bool maximized = isMaximized();
    ini.WriteInteger("WINDOW", "LEFT", x());
    ini.WriteInteger("WINDOW", "TOP", y());
    ini.WriteInteger("WINDOW", "WIDTH", width());
    ini.WriteInteger("WINDOW", "HEIGHT", height());
    ini.WriteBool("WINDOW", "STATE", maximized);
    ini.WriteInteger("WINDOW", "ZOOM", Field->GetScale());
    ini.WriteInteger("WINDOW", "LASTSTATE", FLastState);
    ini.WriteBool("WINDOW", "PREVIEW", FPreviewMode);
    ini.WriteBool("WINDOW", "HINT", FHintsOn);
    ini.WriteBool("WINDOW", "SFP", FSfpEnabled);
    const QPoint sp = StatusWindow ? StatusWindow->pos() : FStatusPos;
    ini.WriteInteger("SWINDOW", "LEFT", sp.x());
    ini.WriteInteger("SWINDOW", "TOP", sp.y());
    ini.WriteBool("SWINDOW", "SHOW", StatusWindow && StatusWindow->isVisible());
    ini.WriteBool("SWINDOW", "ENABLED", StatusEnabled);
    const QPoint hp = HdmiWindow ? HdmiWindow->pos() : FHdmiPos;
    ini.WriteInteger("HWINDOW", "LEFT", hp.x());
    ini.WriteInteger("HWINDOW", "TOP", hp.y());
    ini.WriteBool("HWINDOW", "ENABLED", HdmiEnabled);
    for (int n = 1; n <= 4; ++n) {
        const std::string i = std::to_string(n);
        ini.WriteBool("LEVELS", "VISIBLE" + i, FVisibleLevels[static_cast<std::size_t>(n - 1)]);
        ini.WriteBool("LEVELS", "CONTROL" + i, FControlLevels[static_cast<std::size_t>(n - 1)]);
    }
    ini.WriteString("WINDOW", "APP", FAppText);
    ini.Save();
    Q_EMIT IniSaved();
}

void TMainWindow::LoadLevelSet() {
    const std::vector<TSettingsItem> levels = ReadLevelSet(FLevelSetFileName.toStdString());
    FLevelCount = static_cast<int>(levels.size());
    FLevelIP.fill(0);
    FLevelAddress.fill(0);
    for (int n = 1; n <= FLevelCount; ++n) {
        const TSettingsItem& item = levels[static_cast<std::size_t>(n - 1)];
        const auto k = static_cast<std::size_t>(n);
        FLevelAddress[k] = item.Address;
        FLevelIP[k] = item.IP;
        FLevelNames[k] = item.Name;
        FLevelColors[k] = item.Color;
        FLevelTextColors[k] = item.TextColor;
    }
    std::array<TColor, 4> colours = StandardLevelColors();
    for (int n = 1; n <= FLevelCount; ++n)
        colours[static_cast<std::size_t>(n - 1)] = FLevelColors[static_cast<std::size_t>(n)];
    Field->SetLevelColors(colours);
    Field->SetSize(1, 1);

    // Distinct switcher addresses in order of first appearance.
    FSwitcherCount = 0;
    FSwitcherIP.fill(0);
    for (int n = 1; n <= FLevelCount; ++n) {
        const std::int32_t ip = FLevelIP[static_cast<std::size_t>(n)];
        const auto end = FSwitcherIP.begin() + FSwitcherCount;
        if (std::find(FSwitcherIP.begin(), end, ip) == end)
            FSwitcherIP[static_cast<std::size_t>(FSwitcherCount++)] = ip;
    }

    QStringList captions;
    for (int i = 0; i < FSwitcherCount; ++i)
        captions << QString::fromStdString(FormatIP(FSwitcherIP[static_cast<std::size_t>(i)]));
    if (StatusWindow)
        StatusWindow->StatusTab->Rebuild(captions);
    if (HdmiWindow)
        HdmiWindow->HdmiTab->Rebuild(captions);
}

void TMainWindow::SetMode(int m) {
    FMode = m;
    auto colour = [this](TSpeedButton* b, int entry) {
        b->SetColor(FButtonColors[static_cast<std::size_t>(entry)]);
    };
    colour(SBtnOperate, 6 + m);
    colour(SBtnSettings, 9 + m);
    colour(SBtnOnLine, m);
    colour(SBtnPreset, 3 + m);
    SBtnOperate->setEnabled(true);
    SBtnSettings->setEnabled(true);
    SBtnOnLine->setEnabled(m > 0);
    SBtnPreset->setEnabled(m > 0);

    const bool salvoSelected = LBoxMemory->currentItem() != nullptr;
    SBtnTake->setEnabled(m == 2);
    LBoxMemory->setEnabled(m == 2);
    SBtnNewSlot->setEnabled(m == 2);
    SBtnSaveSlot->setEnabled(m == 2 && salvoSelected);
    SBtnDelSlot->setEnabled(m == 2 && salvoSelected);
    for (TSpeedButton* b : {SBtnTake, SBtnNewSlot, SBtnSaveSlot, SBtnDelSlot})
        colour(b, 9 + m);
    RefreshConsole();

    if (m > 0) {
        SBtnZoomIn->setEnabled(!FPreviewMode);
        SBtnZoomOut->setEnabled(!FPreviewMode);
        SBtnPreview->setEnabled(true);
        SBtnHdmi->setEnabled(HdmiEnabled);
        SBtnStatus->setEnabled(StatusEnabled);
        if (FPreviewMode) {
            SBtnHint->setEnabled(false);
            SBtnHint->SetColor(clr::Silver);
        } else {
            SBtnHint->setEnabled(true);
            const QColor tipBk = palette().color(QPalette::ToolTipBase);
            SBtnHint->SetColor(FHintsOn ? RGBColor(tipBk.red(), tipBk.green(), tipBk.blue())
                                        : clr::Silver);
        }
    } else {
        for (TSpeedButton* b : {SBtnZoomIn, SBtnZoomOut, SBtnPreview, SBtnHdmi, SBtnHint}) {
            b->setEnabled(false);
            b->SetColor(clr::Silver);
        }
        SBtnStatus->setEnabled(StatusEnabled);
        PanelInOut->SetColor(clr::Silver);
        PanelInOut->SetCaption(QString());
        if (HdmiWindow)
            HdmiWindow->hide();
    }
    Field->SetPresetMode(m == 2);
    Field->setVisible(m > 0 && !FPreviewMode);
    PanelMemoryBack->setVisible(!(m > 0 && FPreviewMode));
    PanelControlBack->setVisible(!(m > 0 && FPreviewMode));
}

void TMainWindow::FirstIdle() {
    if (FFirstIdleDone)
        return;
    FFirstIdleDone = true;
    if (StatusWindow)
        StatusWindow->move(FStatusPos);
    if (HdmiWindow)
        HdmiWindow->move(FHdmiPos);
    LoadLevelSet();
    if (StatusEnabled && StatusShown && StatusWindow)
        StatusWindow->show();
    StatusTimer->start();
}

void TMainWindow::StatusTimerTimer() {
    StatusTimer->stop();
    bool alarm = false;
    if (StatusWindow)
        for (int i = 0; i < StatusWindow->StatusTab->count(); ++i)
            alarm = alarm || StatusWindow->StatusTab->TabColor(i) == clr::Red;
    if (StatusEnabled && alarm)
        SBtnStatus->SetColor(SBtnStatus->Color() == clr::Red ? clr::Silver : clr::Red);
    else
        SBtnStatus->SetColor(clr::Silver);
    if (!FSfpEnabled) {
        SBtnMonitor->SetColor(clr::Silver);
        SBtnMonitor->Tag = 0;
    }
    StatusTimer->start();
}

bool TMainWindow::event(QEvent* e) {
    if (e->type() >= QEvent::User && e->type() <= QEvent::MaxUser) {
        const auto* msg = dynamic_cast<TWindowMessage*>(e);
        if (msg) {
            switch (msg->Msg) {
            case WM_CLOCKDONE:
                WMClockDone();
                return true;
            case WM_STARTPOLL:
                WMStartPoll();
                return true;
            case WM_POLLDONE:
                WMPollDone();
                return true;
            case WM_PROGRESS:
                WMProgress(msg->WParam, msg->LParam);
                return true;
            default:
                break;
            }
        }
    }
    return QWidget::event(e);
}

void TMainWindow::WMClockDone() {
    if (ClockThread) {
        // The message is the thread's last action, so the wait is short. Should
        // it still run after the wait, it is freed as soon as it has finished
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
    if (!PollThread && !ClockThread) {
        e->accept();
        SaveIni();
        return;
    }
    // Refuse for now; each thread's completion message closes the window again.
    e->ignore();
    FClosing = true;
    if (PollThread)
        PollThread->Terminate();
    if (ClockThread)
        ClockThread->Terminate();
}

void TMainWindow::IndicatorColour(TIndicatorBox* box, bool active, bool ok) {
    box->SetColor(!active ? FIndicatorColors[3] : ok ? FIndicatorColors[1] : FIndicatorColors[2]);
}

void TMainWindow::SetInitIndicator(bool active, bool ok) {
    IndicatorColour(ShapeInit, active, ok);
}

void TMainWindow::SetConfigIndicator(bool active, bool ok, int clients) {
    IndicatorColour(ShapeConfig, active, ok);
    if (clients != FClientsShown) {
        LabelClients->SetCaption(QStringLiteral("Clients ") + QString::number(clients));
        FClientsShown = clients;
        if (LabelClients->isHidden())
            LabelClients->show();
    }
}

void TMainWindow::SetStateIndicator(bool active, bool ok) {
    IndicatorColour(ShapeState, active, ok);
}

void TMainWindow::SetProcIndicator(bool busy) {
    ShapeProc->SetColor(busy ? FIndicatorColors[0] : FIndicatorColors[3]);
}

const TFieldState& TMainWindow::FieldState() const {
    return Field->State();
}

bool TMainWindow::HdmiWanted(int& switcherIndex, THdmiWanted& wanted) const {
    // The HDMI window's controls hold the wanted values once that window has
    // them; until then nothing is published or sent.
    (void)switcherIndex;
    (void)wanted;
    return false;
}

void TMainWindow::PaintStatus(bool, const std::array<TSwitcherStatus, 4>&, int) {
    // The status window's rows show these values once it has them.
}

void TMainWindow::EnableStatusRows() {}
void TMainWindow::ResetStatusRows() {}

void TMainWindow::ApplySize(int inputs, int outputs) {
    Field->SetSize(inputs, outputs);
    FCaptionText = QStringLiteral("KESTREL ROUTING SWITCHER %1 x %2").arg(inputs).arg(outputs);
    PanelFieldCaption->SetCaption(FCaptionText);
}

void TMainWindow::FirstCycle(int levelCount) {
    SetAllIndicatorsIdle();
    Field->SetLevelCount(levelCount);
    SetMode(FLastState == 2 ? 2 : 1);
    EnableStatusRows();
}

void TMainWindow::SetFieldStatus(int output, const TLevelValues& inputs) {
    Field->SetStatus(output, inputs);
}

void TMainWindow::SetFieldLock(int output, std::uint32_t lockBytes) {
    Field->SetLock(output, lockBytes);
}

void TMainWindow::SetFieldMonitor(const TLevelValues& outputs) {
    Field->SetMonitor(outputs);
}

void TMainWindow::ShowCycleRate(double cyclesPerSecond) {
    if (FShowCycleRate)
        PanelFieldCaption->SetCaption(QString::asprintf("%8.1f", cyclesPerSecond));
}

void TMainWindow::PublishHdmi(int, const THdmiState&, const THdmiState&) {
    // Repaints the HDMI window's controls once that window has them.
}

void TMainWindow::Finish() {
    SetAllIndicatorsIdle();
    FLastState = FMode == 0 ? 1 : FMode;
    LabelClients->SetCaption(QStringLiteral("Clients 0"));
    FClientsShown = 0;
    LabelClients->hide();
    ResetStatusRows();
}

void TMainWindow::PostProgress(int percent, int show) {
    PostWindowMessage(this, WM_PROGRESS, percent, show);
}

void TMainWindow::PostPollDone() {
    PostWindowMessage(this, WM_POLLDONE);
}

void TMainWindow::WMStartPoll() {
    if (PollThread)
        return;
    TPollLevels levels;
    levels.LevelCount = FLevelCount;
    levels.LevelIP = FLevelIP;
    levels.LevelAddress = FLevelAddress;
    levels.TcpPort = 10004;
    levels.OutputLimit = OutputLimit;
    PollThread = new TPollThread(levels, *this, this);
    PollThread->start();
}

void TMainWindow::WMPollDone() {
    if (!PollThread)
        return;
    const std::uint32_t error = PollThread->Cycle().FLastError;
    const std::int32_t ip = PollThread->Cycle().FLastErrorIP;
    // The message is the thread's last action: it ends at once.
    if (PollThread->wait(10000))
        delete PollThread;
    else
        connect(PollThread, &QThread::finished, PollThread, &QObject::deleteLater);
    PollThread = nullptr;

    Field->SetLevelCount(0);
    FCaptionText = QStringLiteral("KESTREL");
    PanelFieldCaption->SetCaption(FCaptionText);
    SetMode(0);
    HideHover();
    if (FProgress)
        FProgress->CloseByProgram(QDialog::Rejected);
    if (FClosing) {
        close();
        return;
    }
    const QString text = CommunicationErrorText(error, ip, FLevelCount, FLevelNames, FLevelAddress);
    if (text.isEmpty())
        return;
    Q_EMIT CommunicationErrorShown(text);
    msgbox::Show(QStringLiteral("Communication Error:"), text, msgbox::TIcon::Error);
}

void TMainWindow::WMProgress(std::intptr_t percent, std::intptr_t show) {
    if (show == 1) {
        Q_EMIT ProgressShown(static_cast<int>(percent));
        if (FProgress) {
            FProgress->SetPosition(static_cast<int>(percent));
            return;
        }
        if (Tip && Tip->width() != 0)
            HideHover();
        TProgressWindow window(this);
        FProgress = &window;
        window.SetText(QStringLiteral("Wait..."));
        window.SetPosition(0);
        window.move(geometry().center() - window.rect().center());
        // Further progress messages and the poll thread's steps are served in this loop.
        window.exec();
        FProgress = nullptr;
    } else if (FProgress) {
        FProgress->CloseByProgram(QDialog::Accepted);
    }
}

int DigitOf(int n, int p) {
    if (n <= 0)
        return -1;
    int c = 10;
    for (int i = 0; i < p; ++i)
        c *= 10;
    const int digit = p == 0 ? n % c : (n % c) / (c / 10);
    if (n / c == 0 && digit == 0)
        return -1;
    return digit;
}

QPoint TipPosition(QPoint cell, int s, QSize tip, QRect workArea) {
    int x = cell.x() + s + 2, y = cell.y() + s + 2;
    if (x + tip.width() >= workArea.right() + 1)
        x = cell.x() - tip.width() - 2;
    if (y + tip.height() >= workArea.bottom() + 1)
        y = cell.y() - tip.height() - 2;
    return {x, y};
}

QRect TMainWindow::WorkArea() const {
    if (FWorkArea.isValid())
        return FWorkArea;
    if (const QScreen* sc = screen())
        return sc->availableGeometry();
    return {0, 0, 1024, 768};
}

void TMainWindow::ConnectOperatorControls() {
    auto left = [](auto handler) {
        return [handler](Qt::MouseButton b, Qt::KeyboardModifiers) { handler(b); };
    };
    connect(SBtnOperate, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnOperateMouseDown(b); }));
    connect(SBtnSettings, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnSettingsMouseDown(b); }));
    connect(SBtnOnLine, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnOnLineMouseDown(b); }));
    connect(SBtnPreset, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnPresetMouseDown(b); }));
    connect(SBtnTake, &TSpeedButton::MouseDown, this, &TMainWindow::SBtnTakeMouseDown);
    connect(SBtnZoomIn, &TSpeedButton::MouseDown, this, [this] { SBtnZoomInMouseDown(); });
    connect(SBtnZoomOut, &TSpeedButton::MouseDown, this, [this] { SBtnZoomOutMouseDown(); });
    connect(SBtnPreview, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnPreviewMouseDown(b); }));
    connect(SBtnHint, &TSpeedButton::MouseDown, this,
            left([this](Qt::MouseButton b) { SBtnHintMouseDown(b); }));
    connect(PanelFieldCaption, &TPanel::MouseDown, this,
            [this](Qt::MouseButton b, Qt::KeyboardModifiers m, QPoint) {
                PanelFieldCaptionMouseDown(b, m);
            });
    connect(TimerMon, &QTimer::timeout, this, &TMainWindow::TimerMonTimer);
    std::vector<TSpeedButton*> keys(SBtnDigits.begin(), SBtnDigits.end());
    keys.insert(keys.end(),
                {SBtnBS, SBtnESC, SBtnConsoleOutput, SBtnConsoleInput, SBtnConsoleTake});
    for (TSpeedButton* key : keys)
        connect(key, &TSpeedButton::MouseDown, this,
                [this, key] { SBtnConsoleOutputMouseDown(key); });

    Field->OnCellHover = [this](QWidget* sender, QPoint cell, int col, int row) {
        ShowHover(sender, cell, col, row);
    };
    Field->OnHoverLeave = [this](QWidget*) { HideHover(); };
    PanelFieldBack->OnMouseEnter = [this](THoverPanel*) { PanelFieldBackMouseEnter(); };
    PanelFieldBack->OnMouseHover = [this](THoverPanel*, int x, int y) {
        PanelFieldBackMouseHover(x, y);
    };

    // The form sees every key before the focused control, and mouse moves over
    // the rest of the window take the hover display away.
    qApp->installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>())
        if (!Field->isAncestorOf(w) && w != Field)
            w->setMouseTracking(true);
    LBoxMemory->viewport()->setMouseTracking(true);
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* e) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != this)
        return QWidget::eventFilter(watched, e);
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        // A key a child does not take travels on to its parents as the same
        // event: the form handles it once, at its first delivery.
        if (k == FLastKeyEvent && k->timestamp() == FLastKeyTime)
            return false;
        FLastKeyEvent = k;
        FLastKeyTime = k->timestamp();
        if (FormKeyDown(k->key(), k->modifiers()))
            return true;
    } else if (e->type() == QEvent::MouseMove) {
        if (w != Field && !Field->isAncestorOf(w))
            PanelFieldBackMouseMove();
    } else if (e->type() == QEvent::WindowDeactivate && w == this) {
        FormDeactivate();
    }
    return QWidget::eventFilter(watched, e);
}

void TMainWindow::SBtnOperateMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton)
        return;
    if (FMode != 0) {
        SBtnOperate->setEnabled(false);
        SBtnSettings->setEnabled(false);
        if (PollThread)
            PollThread->Terminate();
        return;
    }
    LoadLevelSet();
    if (FLevelCount > 0) {
        SBtnOperate->setEnabled(false);
        SBtnSettings->setEnabled(false);
        PostWindowMessage(this, WM_STARTPOLL);
        return;
    }
    msgbox::Show(QStringLiteral("Error"), QStringLiteral("None selected Routing Switchers"),
                 msgbox::TIcon::Error);
    SBtnSettingsMouseDown(Qt::LeftButton);
}

void TMainWindow::SBtnSettingsMouseDown(Qt::MouseButton) {
    // Opens the Settings dialog once it exists.
}

void TMainWindow::SBtnOnLineMouseDown(Qt::MouseButton button) {
    if (button == Qt::LeftButton && FMode == 2)
        SetMode(1);
}

void TMainWindow::SBtnPresetMouseDown(Qt::MouseButton button) {
    if (button == Qt::LeftButton && FMode == 1)
        SetMode(2);
}

void TMainWindow::SBtnTakeMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    if (button != Qt::LeftButton || FMode == 0 || !PollThread)
        return;
    bool ignore = false;
    if ((mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) ==
        Qt::ControlModifier) {
        if (msgbox::Show(
                QStringLiteral("Confirm"), QStringLiteral("Press OK if you want to Ignore locks."),
                msgbox::TIcon::Question, msgbox::TButtons::OkCancel) != msgbox::TAnswer::Ok)
            return;
        ignore = true;
    }
    PollThread->Cycle().RequestSalvo(ignore); // stores FIgnoreLocks, then FSalvoRequest
}

void TMainWindow::SBtnZoomInMouseDown() {
    Field->SetScale(Field->GetScale() + 1);
}
void TMainWindow::SBtnZoomOutMouseDown() {
    Field->SetScale(Field->GetScale() - 1);
}

void TMainWindow::SBtnPreviewMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton)
        return;
    HideHover();
    FPreviewMode = !FPreviewMode;
    SetMode(FMode);
}

void TMainWindow::SBtnHintMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton || FMode == 0)
        return;
    FHintsOn = !FHintsOn;
    SetMode(FMode);
}

void TMainWindow::PanelFieldCaptionMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    if (button != Qt::LeftButton || FMode == 0)
        return;
    const auto only =
        mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (only == Qt::ShiftModifier) {
        FShowCycleRate = !FShowCycleRate;
        if (!FShowCycleRate)
            PanelFieldCaption->SetCaption(FCaptionText);
    } else if (only == Qt::ControlModifier) {
        MonitorTestOn = !MonitorTestOn;
        TimerMon->setProperty("Tag", 0);
        if (MonitorTestOn)
            TimerMon->start();
        else
            TimerMon->stop();
        PanelFieldCaption->SetCaption(MonitorTestOn ? QStringLiteral("MONITOR TEST")
                                                    : FCaptionText);
    }
}

void TMainWindow::TimerMonTimer() {
    TimerMon->stop();
    const int t = TimerMon->property("Tag").toInt();
    Field->ScrollToRow(t);
    Field->SetMonitor({t, t, t, t});
    PanelFieldCaption->SetCaption(QStringLiteral("MONITOR ON ") + QString::number(t + 1));
    TimerMon->setProperty("Tag", t + 1);
    if (t + 1 > Field->GetOutputCount() - 1 || FMode == 0) {
        MonitorTestOn = false;
        PanelFieldCaption->SetCaption(FCaptionText);
    }
    if (MonitorTestOn)
        TimerMon->start();
}

void TMainWindow::RefreshConsole() {
    std::vector<TSpeedButton*> keys(SBtnDigits.begin(), SBtnDigits.end());
    keys.insert(keys.end(),
                {SBtnBS, SBtnESC, SBtnConsoleOutput, SBtnConsoleInput, SBtnConsoleTake});
    if (FMode == 0) {
        for (TDigitalPanel* d : {DigitOutput[0], DigitOutput[1], DigitOutput[2], DigitInput[0],
                                 DigitInput[1], DigitInput[2]})
            d->ShowDigit(-1);
        for (TSpeedButton* k : keys)
            k->setEnabled(false);
        SBtnConsoleOutput->SetColor(clr::Silver);
        SBtnConsoleInput->SetColor(clr::Silver);
        return;
    }
    if (!SBtnDigits[1]->isEnabled())
        for (TSpeedButton* k : keys)
            k->setEnabled(true);
    SBtnConsoleOutput->SetColor(FConsoleToOutput ? clr::Lime : clr::Green);
    SBtnConsoleInput->SetColor(FConsoleToOutput ? clr::Green : clr::Lime);
    for (int p = 0; p < 3; ++p) {
        DigitOutput[static_cast<std::size_t>(p)]->ShowDigit(
            FConsoleOutput <= 0 ? -1 : DigitOf(FConsoleOutput, p));
        DigitInput[static_cast<std::size_t>(p)]->ShowDigit(
            FConsoleInput <= 0 ? -1 : DigitOf(FConsoleInput, p));
    }
    SBtnConsoleTake->setEnabled(FConsoleInput >= 1 && FConsoleInput <= Field->GetInputCount() &&
                                FConsoleOutput >= 1 && FConsoleOutput <= Field->GetOutputCount());
}

void TMainWindow::SBtnConsoleOutputMouseDown(TSpeedButton* key) {
    if (FMode == 0)
        return;
    if (key == SBtnConsoleInput || key == SBtnConsoleOutput) {
        FConsoleEntering = false;
        FConsoleToOutput = key == SBtnConsoleOutput;
        RefreshConsole();
        return;
    }
    if (key == SBtnConsoleTake) {
        FConsoleEntering = false;
        if (FConsoleInput < 1 || FConsoleInput > Field->GetInputCount() || FConsoleOutput < 1 ||
            FConsoleOutput > Field->GetOutputCount())
            return;
        const int row = FConsoleOutput - 1;
        TLevelValues values = Field->GetStatus(row);
        const std::uint32_t control = Field->GetControl(), locks = Field->GetLock(row);
        for (int k = 1; k <= Field->GetLevelCount(); ++k)
            if (LevelFlag(control, k) && !LevelFlag(locks, k))
                values[static_cast<std::size_t>(k - 1)] = FConsoleInput - 1;
        Field->SetStatus(row, values);
        return;
    }
    int& target = FConsoleToOutput ? FConsoleOutput : FConsoleInput;
    const int limit = FConsoleToOutput ? Field->GetOutputCount() : Field->GetInputCount();
    if (!FConsoleEntering)
        target = 0;
    int n = target;
    if (key->Tag >= 0)
        n = n * 10 + key->Tag;
    else if (key->Tag == -1)
        n = n / 10;
    else
        n = 0;
    FConsoleEntering = true;
    if (n > limit)
        return; // refused; the read-outs keep what they showed
    target = n;
    RefreshConsole();
}

void TMainWindow::MonitorStep(int delta) {
    TLevelValues monitor = Field->GetMonitor();
    const std::uint32_t control = Field->GetControl();
    int last = -1;
    for (int k = 1; k <= Field->GetLevelCount(); ++k) {
        int& m = monitor[static_cast<std::size_t>(k - 1)];
        if (!LevelFlag(control, k))
            continue;
        if ((delta < 0 && m > 0) || (delta > 0 && m < Field->GetOutputCount() - 1)) {
            m += delta;
            last = m;
        }
    }
    Field->SetMonitor(monitor);
    if (last >= 0)
        Field->ScrollToRow(last);
}

bool TMainWindow::FormKeyDown(int key, Qt::KeyboardModifiers mods) {
    if (FMode != 0 && !PollThread)
        return false;
    if (FMode != 0 && !FPreviewMode) {
        const bool keypad = mods & Qt::KeypadModifier;
        switch (key) {
        case Qt::Key_PageUp:
            MonitorStep(-1);
            return true;
        case Qt::Key_PageDown:
            MonitorStep(1);
            return true;
        case Qt::Key_Space:
            // A key carries no mouse button: the lock confirmation is never asked.
            if (PollThread)
                PollThread->Cycle().RequestSalvo(false);
            return true;
        case Qt::Key_O:
            SBtnOnLineMouseDown(Qt::LeftButton);
            return true;
        case Qt::Key_P:
            SBtnPresetMouseDown(Qt::LeftButton);
            return true;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            SBtnZoomInMouseDown();
            return false;
        case Qt::Key_Insert:
            SBtnZoomOutMouseDown();
            return false;
        case Qt::Key_Minus:
            if (keypad)
                SBtnZoomOutMouseDown();
            return false;
        case Qt::Key_Left:
            Field->ScrollColumns(-1);
            return false;
        case Qt::Key_Right:
            Field->ScrollColumns(1);
            return false;
        case Qt::Key_Up:
            Field->ScrollRows(-1);
            return false;
        case Qt::Key_Down:
            Field->ScrollRows(1);
            return false;
        default:
            break;
        }
    }
    if (FMode != 0 && key == Qt::Key_M) {
        SBtnPreviewMouseDown(Qt::LeftButton);
        return true;
    }
    if (FMode == 0 && key == Qt::Key_S) {
        SBtnSettingsMouseDown(Qt::LeftButton);
        return true;
    }
    if (key == Qt::Key_W) {
        SBtnOperateMouseDown(Qt::LeftButton);
        return true;
    }
    return false;
}

void TMainWindow::FormDeactivate() {
    PanelFieldBackMouseMove();
}

void TMainWindow::PanelFieldBackMouseMove() {
    if (Tip && Tip->width() != 0)
        HideHover();
    if (Field->HoverCol() != -10)
        Field->SetHoverCol(-10);
    if (Field->HoverRow() != -10)
        Field->SetHoverRow(-10);
}

void TMainWindow::PanelFieldBackMouseEnter() {
    if (!FPreviewMode)
        PanelFieldBack->RequestHover(300);
}

void TMainWindow::PanelFieldBackMouseHover(int x, int y) {
    if (FPreviewMode)
        return;
    const int margin = PanelFieldBack->BevelInset() + 10;
    if (x > PanelFieldBack->width() - margin)
        Field->ScrollColumns(2);
    else if (x < margin)
        Field->ScrollColumns(-2);
    if (y > PanelFieldBack->height() - margin)
        Field->ScrollRows(2);
    else if (y < margin)
        Field->ScrollRows(-2);
    PanelFieldBack->RequestHover(50);
}

void TMainWindow::ShowHover(QWidget*, QPoint cell, int col, int row) {
    QString in, out;
    if (col >= 0) {
        in = QStringLiteral("IN") + Field->GetInputNumber(col);
        if (!Field->GetInputName(col).isEmpty())
            in += QLatin1Char(' ') + Field->GetInputName(col);
    }
    if (row >= 0) {
        out = QStringLiteral("OUT") + Field->GetOutputNumber(row);
        if (!Field->GetOutputName(row).isEmpty())
            out += QLatin1Char(' ') + Field->GetOutputName(row);
    }
    PanelInOut->SetCaption(!in.isEmpty() && !out.isEmpty() ? in + QStringLiteral(" --> ") + out
                                                           : (in.isEmpty() ? out : in));
    PanelInOut->SetColor(RGBColor(0xEE, 0xEE, 0xEE));
    if (!FHintsOn || !Tip)
        return;
    Tip->move(TipPosition(cell, Field->Geometry().s, QSize(TipWidth, TipHeight), WorkArea()));
    if (Tip->width() != TipWidth) {
        Tip->resize(TipWidth, TipHeight);
        if (TTip::TranslucencySupported())
            Tip->setWindowOpacity(230 / 255.0);
    }
    Tip->InNumberText = col >= 0 ? Field->GetInputNumber(col) : QString();
    Tip->InNameText = col >= 0 ? Field->GetInputName(col) : QString();
    Field->CopyInputLogo(col, Tip->InLogo);
    Tip->OutNumberText = row >= 0 ? Field->GetOutputNumber(row) : QString();
    Tip->OutNameText = row >= 0 ? Field->GetOutputName(row) : QString();
    Field->CopyOutputLogo(row, Tip->OutLogo);
    Tip->update();
}

void TMainWindow::HideHover() {
    if (Tip) {
        if (TTip::TranslucencySupported())
            Tip->setWindowOpacity(1.0);
        Tip->setGeometry(0, Tip->y(), 0, Tip->height());
    }
    PanelInOut->SetCaption(QString());
    PanelInOut->SetColor(clr::Silver);
}

void TMainWindow::LevelsVisibleChanged(std::uint32_t visible) {
    Field->SetVisible(visible);
}
void TMainWindow::LevelsControlChanged(std::uint32_t control) {
    Field->SetControl(control);
}
