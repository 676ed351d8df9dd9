#include "HoverPanel.h"

#include <QChildEvent>
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

void THoverPanel::Enter(QPoint pos) {
    FLastPos = pos;
    if (FInside)
        return;
    FInside = true;
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void THoverPanel::Leave() {
    FTimer.stop(); // a request ends when the mouse leaves
    if (!FInside)
        return;
    FInside = false;
    if (OnMouseLeave)
        OnMouseLeave(this);
}

void THoverPanel::enterEvent(QEnterEvent* e) {
    TPanel::enterEvent(e);
    const QPoint pos = e->position().toPoint();
    FInside = false; // the platform's enter always counts as a new entry
    if (childAt(pos) == nullptr)
        Enter(pos);
}

void THoverPanel::leaveEvent(QEvent* e) {
    TPanel::leaveEvent(e);
    Leave();
}

void THoverPanel::mouseMoveEvent(QMouseEvent* e) {
    TPanel::mouseMoveEvent(e);
    // Moves a child does not take arrive here too, in this panel's coordinates.
    const QPoint pos = e->position().toPoint();
    if (childAt(pos) != nullptr) {
        Leave();
        return;
    }
    Enter(pos);
    // The mouse must rest for the whole delay: a move starts it again.
    if (FTimer.isActive())
        FTimer.start();
}

void THoverPanel::childEvent(QChildEvent* e) {
    TPanel::childEvent(e);
    if (e->added() && e->child()->isWidgetType())
        e->child()->installEventFilter(this);
}

bool THoverPanel::eventFilter(QObject* watched, QEvent* e) {
    // Every descendant lies inside a direct child, which gets an Enter event
    // whenever the pointer moves from this panel onto any of them.
    if (e->type() == QEvent::Enter && watched->parent() == this)
        Leave();
    return TPanel::eventFilter(watched, e);
}

void THoverPanel::Hover() {
    if (FInside && OnMouseHover)
        OnMouseHover(this, FLastPos.x() & 0xFFFF, FLastPos.y() & 0xFFFF);
}
