#include "SpeedButton.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

TSpeedButton::TSpeedButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setFont(MakeFont("MS Sans Serif", 11));
}

void TSpeedButton::SetColor(TColor c) {
    if (c != FColor) {
        FColor = c;
        update();
    }
}

void TSpeedButton::SetHandPointer(bool on) {
    if (on)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void TSpeedButton::SetDisabledTip(const QString& tip) {
    FDisabledTip = tip;
    setToolTip(isEnabled() ? QString() : FDisabledTip);
}

void TSpeedButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange && !FDisabledTip.isEmpty())
        setToolTip(isEnabled() ? QString() : FDisabledTip);
    QAbstractButton::changeEvent(e);
}

void TSpeedButton::mousePressEvent(QMouseEvent* e) {
    if (!isEnabled())
        return;
    Q_EMIT MouseDown(e->button(), e->modifiers());
    if (e->button() == Qt::LeftButton)
        QAbstractButton::mousePressEvent(e);
    else
        e->ignore();
}

void TSpeedButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, ToQColor(FColor));
    const bool down = isDown() || isChecked();
    p.setPen(down ? ToQColor(clr::Grey) : QColor(Qt::white));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(down ? QColor(Qt::white) : ToQColor(clr::Grey));
    p.drawLine(r.topRight(), r.bottomRight());
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.setFont(font());
    const QRect textRect = down ? r.translated(1, 1) : r;
    if (isEnabled()) {
        p.setPen(Qt::black);
    } else {
        // Embossed grey text, as a disabled flat button shows it.
        p.setPen(Qt::white);
        p.drawText(textRect.translated(1, 1), Qt::AlignCenter, text());
        p.setPen(ToQColor(clr::Grey));
    }
    p.drawText(textRect, Qt::AlignCenter, text());
}

TSpeedButton* MakeSpeedButton(QWidget* parent, const QString& name, const QString& caption,
                              QRect geometry, bool handPointer, int tag) {
    auto* b = new TSpeedButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setGeometry(geometry);
    b->SetHandPointer(handPointer);
    b->Tag = tag;
    return b;
}
