#include "ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace screenfit {

QPoint FitInside(const QRect& frame, const QRect& available) {
    if (!available.isValid())
        return frame.topLeft();
    auto fit = [](int pos, int size, int low, int span) {
        // Right or bottom edge first, then left or top, so that a window larger
        // than the area shows its top-left corner (title bar and first controls).
        pos = std::min(pos, low + span - size);
        return std::max(pos, low);
    };
    return {fit(frame.x(), frame.width(), available.x(), available.width()),
            fit(frame.y(), frame.height(), available.y(), available.height())};
}

void Place(QWidget& window, const QPoint& wanted) {
    // A dialog laid out but never shown has not taken its size yet.
    if (!window.testAttribute(Qt::WA_Resized) && !window.isVisible())
        window.adjustSize();
    // move() places the outer frame; its size (decoration included) is known
    // once the window was shown, and before that it is the client size.
    const QRect frame(wanted, window.frameGeometry().size());
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen)
        screen = QGuiApplication::screenAt(wanted);
    if (!screen)
        screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    window.move(screen ? FitInside(frame, screen->availableGeometry()) : wanted);
}

void KeepInside(QWidget& window) {
    Place(window, window.pos());
}

} // namespace screenfit
