#pragma once

#include <QPoint>
#include <QRect>

class QWidget;

namespace screenfit {

// Where a window of `frame` (its outer rectangle, decoration included) goes so
// that it lies inside `available`: moved by as little as possible, whole where
// it fits; a window larger than the area keeps its top-left corner visible.
QPoint FitInside(const QRect& frame, const QRect& available);

// Moves a top-level window to `wanted` (as QWidget::move takes it: the frame's
// top-left) and then inside the available geometry of the screen under
// that point, or of the window's own screen when no screen is there.
void Place(QWidget& window, const QPoint& wanted);
// The same for a window that already stands where its rule put it.
void KeepInside(QWidget& window);

} // namespace screenfit
