#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

class TField;
class THoverPanel;
class TPanel;
class TTip;
struct TIniSettings;

// Where the tip goes for a hovered cell whose top-left corner is at `cell`
// (screen), cells of size s: below right, or above/left where it would leave
// the work area.
QPoint TipPosition(QPoint cell, int s, QSize tip, QRect workArea);

// What the pointer over the field shows: the IN/OUT line above the field, the
// tip beside the hovered cell while hints are on, and the scrolling while the
// pointer rests near the frame's edges.
class TFieldHover : public QObject {
    Q_OBJECT
public:
    TFieldHover(TField* field, TPanel* inOut, THoverPanel* frame, const TIniSettings& settings,
                QObject* parent);

    void SetTip(TTip* tip);
    // The tip keeps inside this area; by default the field's screen's.
    void SetWorkArea(QRect r) { FWorkArea = r; }

    // The pointer rests on a cell (col or row -1: a name or the MON column).
    void ShowCell(QPoint cellOnScreen, int col, int row);
    // Takes the line and the tip away.
    void Hide();
    // Takes the tip away if it is shown.
    void HideTip();
    // The pointer went elsewhere in the window: no hover display, no highlight.
    void PointerLeft();

private:
    void FrameEntered();
    void FrameRest(int x, int y);
    QRect WorkArea() const;

    TField* FField;
    TPanel* FInOut;
    THoverPanel* FFrame;
    const TIniSettings& FSettings;
    QPointer<TTip> FTip;
    QRect FWorkArea;
};
