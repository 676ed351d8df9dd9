#include "OperatorColumn.h"

#include "ConsoleKeypad.h"
#include "IndicatorBox.h"
#include "LevelControl.h"
#include "SpeedButton.h"

#include <algorithm>

namespace {

constexpr int SectionWidth = TOperatorColumn::SectionWidth;
constexpr int CaptionHeight = TOperatorColumn::CaptionHeight;
constexpr int MinSectionHeight = 50;
// MEMORY at its smallest still shows four salvo rows above its buttons.
constexpr int MemoryMinHeight = 2 + CaptionHeight + 4 * 13 + 2 + 29 + 2;
// Room for the caption with its zoom buttons and a few cells of the field.
constexpr int MinFieldAreaWidth = 240;

enum Section { ComSec, DTSec, WindowSec, LevelsSec, ControlSec, ConsoleSec, MemorySec };

// A section of the column with its caption strip along the top.
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
    return {TOperatorColumn::Width + MinFieldAreaWidth, height};
}

TOperatorColumn::TOperatorColumn(QWidget* parent) : TPanel(parent) {
    setObjectName(QStringLiteral("PanelOperBack"));
    SetBevels(TPanel::TBevel::Raised, TPanel::TBevel::Lowered, 3);
    setFont(MakeFont("Lucida Console", 12));

    // COMMUNICATION
    PanelComBack = MakeSection(this, "PanelComBack", "PanelComCaption",
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
    SBtnOperate = MakeSpeedButton(PanelComBack, "SBtnOperate", QStringLiteral("OPERATE"),
                                  QRect(10, 40, 65, 17), true);
    SBtnSettings = MakeSpeedButton(PanelComBack, "SBtnSettings", QStringLiteral("SETTINGSD"),
                                   QRect(82, 40, 65, 17), true);

    // DATE & TIME
    PanelDTBack = MakeSection(this, "PanelDTBack", "PanelDTCaption", QStringLiteral("DATE & TIME"),
                              PanelDTCaption);
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
    PanelWindowBack = MakeSection(this, "PanelWindowBack", "PanelWindowCaption",
                                  QStringLiteral("WINDOW"), PanelWindowCaption);
    SBtnPreview = MakeSpeedButton(PanelWindowBack, "SBtnPreview", QStringLiteral("MODE"),
                                  QRect(10, 24, 65, 17), true);
    SBtnHint = MakeSpeedButton(PanelWindowBack, "SBtnHint", QStringLiteral("HINT"),
                               QRect(82, 24, 65, 17), true);
    SBtnHdmi = MakeSpeedButton(PanelWindowBack, "SBtnHdmi", QStringLiteral("HDMI"),
                               QRect(10, 48, 65, 17), true);
    SBtnStatus = MakeSpeedButton(PanelWindowBack, "SBtnStatus", QStringLiteral("STATUS"),
                                 QRect(82, 48, 65, 17), true);
    SBtnMonitor = MakeSpeedButton(PanelWindowBack, "SBtnMonitor", QStringLiteral("MONITOR"),
                                  QRect(10, 72, 65, 17), true);
    // Until an operator finds the WINDOW panel's menu, the grey buttons say how.
    SBtnStatus->SetDisabledTip(
        QStringLiteral("Right-click this WINDOW panel and tick STATUS to use it."));
    SBtnMonitor->SetDisabledTip(
        QStringLiteral("Right-click this WINDOW panel and tick MONITOR to use it."));

    // DISPLAY
    PanelLevelsBack = MakeSection(this, "PanelLevelsBack", "PanelLevelsCaption",
                                  QStringLiteral("DISPLAY"), PanelLevelsCaption);
    PanelLevelsBack->resize(SectionWidth, 78);
    LevelControl = new TLevelControl(PanelLevelsBack);
    LevelControl->setObjectName(QStringLiteral("LevelControl"));
    LevelControl->SetLevelCount(0);

    // CONTROL
    PanelControlBack = MakeSection(this, "PanelControlBack", "PanelControlCaption",
                                   QStringLiteral("CONTROL"), PanelControlCaption);
    SBtnOnLine = MakeSpeedButton(PanelControlBack, "SBtnOnLine", QStringLiteral("ON LINE"),
                                 QRect(17, 24, 64, 17), false);
    SBtnPreset = MakeSpeedButton(PanelControlBack, "SBtnPreset", QStringLiteral("PRESET"),
                                 QRect(17, 48, 65, 17), false);
    SBtnTake = MakeSpeedButton(PanelControlBack, "SBtnTake", QStringLiteral("TAKE"),
                               QRect(89, 24, 48, 41), false);
    for (TSpeedButton* b : {SBtnOnLine, SBtnPreset, SBtnTake})
        b->setEnabled(false);

    // CONSOLE
    PanelConsoleBack = MakeSection(this, "PanelConsoleBack", "PanelConsoleCaption",
                                   QStringLiteral("CONSOLE"), PanelConsoleCaption);
    Keypad = new TConsoleKeypad(PanelConsoleBack);
    Keypad->setGeometry(0, 0, SectionWidth, OperColumnHeights(0, 0)[ConsoleSec]);
    Keypad->lower(); // the caption strip stays on top

    // MEMORY: filled by the window.
    PanelMemoryBack = MakeSection(this, "PanelMemoryBack", "PanelMemoryCaption",
                                  QStringLiteral("MEMORY"), PanelMemoryCaption);

    // Date and time strips just wide enough for their digits, centred.
    for (TPanel* strip : {PanelDateBack, PanelTimeBack}) {
        int right = 0;
        for (QObject* c : strip->children())
            if (auto* w = qobject_cast<QWidget*>(c))
                right = std::max(right, w->geometry().x() + w->width());
        const int border = strip->BevelInset();
        strip->resize(right + 2 * border, strip->height());
        strip->move((SectionWidth - strip->width()) / 2, strip->y());
    }

    SizeLevels();
}

void TOperatorColumn::SizeLevels() {
    PanelLevelsBack->resize(SectionWidth, LevelControl->GetPreferredHeight() + CaptionHeight);
    Relayout();
}

QSize TOperatorColumn::MinimumWindowSize() const {
    return MinimumClientSize(PanelLevelsBack->height(), BevelInset());
}

void TOperatorColumn::Relayout() {
    const int inset = BevelInset();
    TPanel* sections[7] = {PanelComBack,     PanelDTBack,      PanelWindowBack, PanelLevelsBack,
                           PanelControlBack, PanelConsoleBack, PanelMemoryBack};
    const auto heights = OperColumnHeights(height() - 2 * inset, PanelLevelsBack->height());
    int y = inset;
    for (int i = 0; i < 7; ++i) {
        sections[i]->setGeometry(inset, y, SectionWidth, heights[static_cast<std::size_t>(i)]);
        y += heights[static_cast<std::size_t>(i)];
    }
    LevelControl->setGeometry(2, 2 + CaptionHeight, SectionWidth - 4,
                              std::max(0, PanelLevelsBack->height() - 4 - CaptionHeight));
}
