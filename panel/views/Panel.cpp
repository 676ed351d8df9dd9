#include "Panel.h"

#include <QMouseEvent>
#include <QPainter>

TPanel::TPanel(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
}

void TPanel::SetColor(TColor c) {
    if (c != FColor) {
        FColor = c;
        update();
    }
}

void TPanel::SetFontColor(TColor c) {
    if (c != FFontColor) {
        FFontColor = c;
        update();
    }
}

void TPanel::SetCaption(const QString& text) {
    if (text == FCaption)
        return;
    FCaption = text;
    update();
    Q_EMIT CaptionChanged();
}

void TPanel::SetBevels(TBevel outer, TBevel inner, int borderWidth) {
    FOuter = outer;
    FInner = inner;
    FBorder = borderWidth;
    update();
}

void TPanel::SetAlignment(Qt::Alignment a) {
    FAlign = a;
    update();
}

int TPanel::BevelInset() const {
    return (FOuter != TBevel::None ? 1 : 0) + FBorder + (FInner != TBevel::None ? 1 : 0);
}

QRect TPanel::ClientRect() const {
    const int i = BevelInset();
    return rect().adjusted(i, i, -i, -i);
}

static void DrawBevel(QPainter& p, QRect r, TPanel::TBevel bevel) {
    if (bevel == TPanel::TBevel::None)
        return;
    const QColor light = Qt::white;
    const QColor dark = ToQColor(clr::Grey);
    const QColor tl = bevel == TPanel::TBevel::Raised ? light : dark;
    const QColor br = bevel == TPanel::TBevel::Raised ? dark : light;
    p.setPen(tl);
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.setPen(br);
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
}

void TPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(FColor));
    QRect r = rect();
    DrawBevel(p, r, FOuter);
    if (FOuter != TBevel::None)
        r.adjust(1, 1, -1, -1);
    r.adjust(FBorder, FBorder, -FBorder, -FBorder);
    DrawBevel(p, r, FInner);
    if (!FCaption.isEmpty()) {
        p.setPen(ToQColor(FFontColor));
        p.setFont(font());
        p.drawText(ClientRect(), static_cast<int>(FAlign), FCaption);
    }
}

void TPanel::mousePressEvent(QMouseEvent* e) {
    Q_EMIT MouseDown(e->button(), e->modifiers(), e->position().toPoint());
    QWidget::mousePressEvent(e);
}

void TPanel::mouseMoveEvent(QMouseEvent* e) {
    Q_EMIT MouseMoved(e->position().toPoint());
    QWidget::mouseMoveEvent(e);
}

void TPanel::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Q_EMIT Resized();
}

TPanel* MakePanel(QWidget* parent, const QString& name, QRect geometry) {
    auto* p = new TPanel(parent);
    p->setObjectName(name);
    p->setGeometry(geometry);
    return p;
}
