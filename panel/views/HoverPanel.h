#pragma once

#include "Panel.h"

#include <QTimer>

#include <functional>

// A panel that reports the mouse entering and leaving it, and resting on it:
// after RequestHover(ms) the next rest of that long yields one notification.
// Only the panel's own surface counts: the pointer moving onto a child leaves
// the panel (Qt itself sends no Leave then), and coming back enters it again.
class THoverPanel : public TPanel {
    Q_OBJECT
public:
    explicit THoverPanel(QWidget* parent = nullptr);

    void RequestHover(int ms);

    std::function<void(THoverPanel*, int, int)> OnMouseHover;
    std::function<void(THoverPanel*)> OnMouseEnter;
    std::function<void(THoverPanel*)> OnMouseLeave;

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void childEvent(QChildEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Hover();
    void Enter(QPoint pos);
    void Leave();

    QTimer FTimer;
    QPoint FLastPos;
    bool FInside = false;
};
