#include "HoverPanel.h"

#include <QEnterEvent>
#include <QMouseEvent>

THoverPanel::THoverPanel(QWidget* parent) : TPanel(parent) {
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &THoverPanel::Hover);
}

void THoverPanel::RequestHover(int ms) {
    FTimer.setInterval(ms);
    FTimer.start();
}

void THoverPanel::enterEvent(QEnterEvent* e) {
    FInside = true;
    FLastPos = e->position().toPoint();
    TPanel::enterEvent(e);
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void THoverPanel::leaveEvent(QEvent* e) {
    FInside = false;
    FTimer.stop(); // a request ends when the mouse leaves
    TPanel::leaveEvent(e);
    if (OnMouseLeave)
        OnMouseLeave(this);
}

void THoverPanel::mouseMoveEvent(QMouseEvent* e) {
    FLastPos = e->position().toPoint();
    // The mouse must rest for the whole delay: a move starts it again.
    if (FTimer.isActive())
        FTimer.start();
    TPanel::mouseMoveEvent(e);
}

void THoverPanel::Hover() {
    if (FInside && OnMouseHover)
        OnMouseHover(this, FLastPos.x() & 0xFFFF, FLastPos.y() & 0xFFFF);
}
