#include "IndicatorBox.h"

#include <QPainter>

void TIndicatorBox::SetColor(TColor c) {
    if (c == FColor)
        return;
    FColor = c;
    update();
}

void TIndicatorBox::paintEvent(QPaintEvent*) {
    ++FPaintCount;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    p.setBrush(ToQColor(FColor));
    // Corner ellipse width and height are both height div 4.
    const qreal r = (height() / 4) / 2.0;
    p.drawRoundedRect(QRectF(0.5, 0.5, width() - 1, height() - 1), r, r);
}
