#pragma once

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

class QWidget;

namespace screenfit {

// Where a window of `frame` (its outer rectangle, decoration included) goes so
// that it lies inside `available`: moved by as little as possible, whole where
// it fits; a window larger than the area keeps its top-left corner visible.
QPoint FitInside(const QRect& frame, const QRect& available);

// The client rectangle of a window whose client area is `client` and whose
// window manager adds `margins`, moved and, where it is larger than the area,
// shrunk (never below `minimum`) so that its frame lies inside `available`.
QRect FitClient(const QRect& client, const QMargins& margins, const QRect& available,
                const QSize& minimum);

// A place for a window of outer size `frame` inside `available` that overlaps
// none of `avoid`: beside one of them first (right, below, left, above, in
// the order given), else the first free place scanning the area; none if
// there is no such place.
std::optional<QPoint> FreeSpot(const QSize& frame, const QList<QRect>& avoid,
                               const QRect& available);

// The window's outer rectangle as the platform reports it now (its client
// area alone while it has no frame).
QRect FrameOf(const QWidget& window);

// The decoration the window manager gives `window`: its own once it was
// framed, else the widest seen on our windows in this run (one window manager
// decorates them alike), else none.
QMargins ExpectedFrameMargins(const QWidget& window);

// The available area of the screen under `frame`, or of the window's own screen.
QRect AvailableFor(const QWidget& window, const QRect& frame);

// Moves a top-level window to `wanted` (as QWidget::move takes it: the frame's
// top-left) and then inside the available geometry of the screen under
// that point, or of the window's own screen when no screen is there. The
// frame counts even before the first show; once the window manager has
// framed the window, it is checked again.
void Place(QWidget& window, const QPoint& wanted);
// The same for a window that already stands where its rule put it.
void KeepInside(QWidget& window);
// As KeepInside, and a window larger than the area is shrunk to it.
void FitOnScreen(QWidget& window);

} // namespace screenfit
