#pragma once

#include "Look.h"

#include <QWidget>

// A communication indicator: a rounded rectangle over the whole box, black
// outline, filled with its colour. Repainted only when the colour changes.
class TIndicatorBox : public QWidget {
    Q_OBJECT
public:
    explicit TIndicatorBox(QWidget* parent = nullptr) : QWidget(parent) {}

    void SetColor(TColor c);
    TColor Color() const { return FColor; }
    int PaintCount() const { return FPaintCount; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    TColor FColor = clr::White;
    int FPaintCount = 0;
};
