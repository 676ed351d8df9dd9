#pragma once

#include "Look.h"

#include <QWidget>

// A panel in the classic style: a filled rectangle with optional outer and
// inner bevels and a border between them, and an optional centred caption.
// Children are placed inside ClientRect().
class TPanel : public QWidget {
    Q_OBJECT
public:
    enum class TBevel { None, Lowered, Raised };

    explicit TPanel(QWidget* parent = nullptr);

    void SetColor(TColor c);
    TColor Color() const { return FColor; }
    void SetFontColor(TColor c);
    void SetCaption(const QString& text);
    const QString& Caption() const { return FCaption; }
    void SetBevels(TBevel outer, TBevel inner, int borderWidth = 0);
    void SetAlignment(Qt::Alignment a);
    // Client area inside the bevels and the border.
    QRect ClientRect() const;
    int BevelInset() const;

    int Tag = 0;

Q_SIGNALS:
    void CaptionChanged();
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint pos);
    void MouseMoved(QPoint pos);
    void Resized();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    TColor FColor = clr::Silver;
    TColor FFontColor = clr::Black;
    QString FCaption;
    TBevel FOuter = TBevel::Raised;
    TBevel FInner = TBevel::None;
    int FBorder = 0;
    Qt::Alignment FAlign = Qt::AlignCenter;
};

// A panel named `name` (its object name) at geometry.
TPanel* MakePanel(QWidget* parent, const QString& name, QRect geometry);
