#pragma once

#include "Panel.h"
#include "TimeThread.h"

#include <QSize>

#include <array>

class TConsoleKeypad;
class TIndicatorBox;
class TLevelControl;
class TSpeedButton;

// Heights of the operator column's sections, top to bottom, for a column of
// the given inner height; only MEMORY (the last) takes up the rest.
std::array<int, 7> OperColumnHeights(int innerHeight, int levelsHeight);
// The smallest client size that shows every section of the column (MEMORY
// with a few salvo rows) beside a usable field area.
QSize MinimumClientSize(int levelsHeight, int columnInset);

// The operator's column at the window's right edge: COMMUNICATION, DATE & TIME,
// WINDOW, DISPLAY, CONTROL, CONSOLE and MEMORY. It builds and places the
// controls; the window wires them and fills MEMORY.
class TOperatorColumn : public TPanel {
public:
    static constexpr int Width = 167;
    static constexpr int SectionWidth = 157;
    static constexpr int CaptionHeight = 15;

    explicit TOperatorColumn(QWidget* parent);

    // Places the sections for the column's height.
    void Relayout();
    // DISPLAY takes the height its level selector asks for.
    void SizeLevels();
    QSize MinimumWindowSize() const;

    // Sections and controls, named as their object names.
    TPanel *PanelComBack, *PanelComCaption, *PanelDTBack, *PanelDTCaption, *PanelWindowBack,
        *PanelWindowCaption, *PanelLevelsBack, *PanelLevelsCaption, *PanelControlBack,
        *PanelControlCaption, *PanelConsoleBack, *PanelConsoleCaption, *PanelMemoryBack,
        *PanelMemoryCaption, *PanelDateBack, *PanelTimeBack, *LabelClients;
    TIndicatorBox *ShapeInit, *ShapeConfig, *ShapeState, *ShapeProc;
    TSpeedButton *SBtnOperate, *SBtnSettings, *SBtnPreview, *SBtnHint, *SBtnHdmi, *SBtnStatus,
        *SBtnMonitor, *SBtnOnLine, *SBtnPreset, *SBtnTake;
    TClockPanels ClockPanels{};
    TLevelControl* LevelControl;
    TConsoleKeypad* Keypad;
};
