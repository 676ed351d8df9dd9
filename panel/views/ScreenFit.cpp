#include "ScreenFit.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace screenfit {

namespace {

// The frame as the platform reports it now. QWidget's own frame geometry is
// a copy that may predate the window manager's frame.
QMargins Widest(const QMargins& a, const QMargins& b) {
    return {std::max(a.left(), b.left()), std::max(a.top(), b.top()),
            std::max(a.right(), b.right()), std::max(a.bottom(), b.bottom())};
}

// The widest frame seen on any of our windows in this run: a guess for the
// next window that stays good when no other window is framed at the moment
// (or the platform reads a frame as empty while the window manager works on it).
QMargins& WidestSeen() {
    static QMargins seen;
    return seen;
}

QMargins MarginsOf(const QWidget& window) {
    const QWindow* handle = window.windowHandle();
    const QMargins m = handle && window.isVisible() ? handle->frameMargins() : QMargins();
    if (!m.isNull() && !(window.windowFlags() & Qt::FramelessWindowHint))
        WidestSeen() = Widest(WidestSeen(), m);
    return m;
}

bool Framed(const QWidget& window) {
    return !MarginsOf(window).isNull();
}

// Where the frame's top-left corner is, or is to be before the first show.
QPoint FramePos(const QWidget& window, const QMargins& m) {
    return Framed(window) ? window.geometry().topLeft() - QPoint(m.left(), m.top()) : window.pos();
}

// Moves the window's frame to `at`. Before the window exists on the screen,
// move() takes the frame's corner; after, it places the client area offset by
// the frame Qt last knew, so the client's corner is given in its terms.
void MoveFrameTo(QWidget& window, const QPoint& at, const QMargins& m) {
    if (!window.testAttribute(Qt::WA_WState_Created)) {
        window.move(at);
        return;
    }
    const QPoint known = window.geometry().topLeft() - window.pos();
    window.move(at + QPoint(m.left(), m.top()) - known);
}

// Checks a window again once the window manager has put its frame around it:
// before that, its frame size was a guess. The frame arrives at no particular
// event, so the watch looks every 25 ms after the show and brings the window
// inside whenever it is not; it goes away once the window has stayed inside,
// framed, for a while, when the window hides, or after ten seconds (no window
// manager, no frame).
class TFrameWatch : public QObject {
public:
    TFrameWatch(QWidget& window, bool shrink)
        : QObject(&window), FWindow(&window), FShrink(shrink), FTimer(new QTimer(this)) {
        setObjectName(QStringLiteral("screenfit::TFrameWatch"));
        window.installEventFilter(this);
        FTimer->setInterval(25);
        connect(FTimer, &QTimer::timeout, this, [this] {
            if (++FTicks > 400)
                Finish();
            else
                Check();
        });
        if (window.isVisible())
            FTimer->start();
    }

    static void Attach(QWidget& window, bool shrink) {
        for (QObject* c : window.children())
            if (c->objectName() == QLatin1String("screenfit::TFrameWatch"))
                c->deleteLater();
        new TFrameWatch(window, shrink);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched != FWindow || FDone)
            return false;
        if (e->type() == QEvent::Show)
            FTimer->start();
        else if (e->type() == QEvent::Hide)
            Finish();
        return false;
    }

private:
    void Check() {
        if (!FWindow || !FWindow->isVisible() || FWindow->isMaximized() || FWindow->isFullScreen())
            return;
        if (!Framed(*FWindow))
            return; // not framed yet
        const QRect frame = FrameOf(*FWindow);
        if (AvailableFor(*FWindow, frame).contains(frame)) {
            // Inside, framed: done once it stays so (a window manager may
            // still move a window it has just mapped).
            if (++FInside >= 8)
                Finish();
            return;
        }
        FInside = 0;
        if (FShrink)
            FitOnScreen(*FWindow);
        else
            KeepInside(*FWindow);
    }
    void Finish() {
        FDone = true;
        FTimer->stop();
        if (FWindow)
            FWindow->removeEventFilter(this);
        deleteLater();
    }

    QPointer<QWidget> FWindow;
    bool FShrink;
    QTimer* FTimer;
    int FTicks = 0, FInside = 0;
    bool FDone = false;
};

} // namespace

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

QRect FitClient(const QRect& client, const QMargins& margins, const QRect& available,
                const QSize& minimum) {
    if (!available.isValid())
        return client;
    const int roomW = available.width() - margins.left() - margins.right();
    const int roomH = available.height() - margins.top() - margins.bottom();
    const QSize size(std::max(std::min(client.width(), roomW), minimum.width()),
                     std::max(std::min(client.height(), roomH), minimum.height()));
    const QRect frame(client.topLeft() - QPoint(margins.left(), margins.top()),
                      size.grownBy(margins));
    const QPoint at = FitInside(frame, available);
    return {at + QPoint(margins.left(), margins.top()), size};
}

std::optional<QPoint> FreeSpot(const QSize& frame, const QList<QRect>& avoid,
                               const QRect& available) {
    if (frame.isEmpty() || !available.isValid() || frame.width() > available.width() ||
        frame.height() > available.height())
        return std::nullopt;
    auto free = [&](const QPoint& at) {
        const QRect r(at, frame);
        if (!available.contains(r))
            return false;
        return std::none_of(avoid.begin(), avoid.end(),
                            [&](const QRect& a) { return a.intersects(r); });
    };
    for (const QRect& a : avoid) {
        const QPoint beside[] = {{a.right() + 1, a.top()},
                                 {a.left(), a.bottom() + 1},
                                 {a.left() - frame.width(), a.top()},
                                 {a.left(), a.top() - frame.height()}};
        for (QPoint at : beside) {
            // Slid along the edge into the area where it sticks out.
            at = FitInside(QRect(at, frame), available);
            if (free(at))
                return at;
        }
    }
    const int step = 16;
    for (int y = available.top(); y + frame.height() <= available.bottom() + 1; y += step)
        for (int x = available.left(); x + frame.width() <= available.right() + 1; x += step)
            if (free({x, y}))
                return QPoint(x, y);
    return std::nullopt;
}

QRect FrameOf(const QWidget& window) {
    return window.geometry().marginsAdded(MarginsOf(window));
}

QMargins ExpectedFrameMargins(const QWidget& window) {
    if (window.windowFlags() & Qt::FramelessWindowHint)
        return {};
    if (Framed(window))
        return MarginsOf(window);
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w != &window)
            MarginsOf(*w); // each framed window of ours adds to what was seen
    return WidestSeen();
}

QRect AvailableFor(const QWidget& window, const QRect& frame) {
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen)
        screen = QGuiApplication::screenAt(frame.topLeft());
    if (!screen)
        screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void Place(QWidget& window, const QPoint& wanted) {
    // A dialog laid out but never shown has not taken its size yet.
    if (!window.testAttribute(Qt::WA_Resized) && !window.isVisible())
        window.adjustSize();
    // Before the first show the frame's size is the client's plus the
    // decoration the window manager is expected to add.
    const bool framed = Framed(window);
    const QMargins m = ExpectedFrameMargins(window);
    const QRect frame(wanted, window.size().grownBy(m));
    MoveFrameTo(window, FitInside(frame, AvailableFor(window, frame)), m);
    if (!framed)
        TFrameWatch::Attach(window, false);
}

void KeepInside(QWidget& window) {
    Place(window, FramePos(window, ExpectedFrameMargins(window)));
}

void FitOnScreen(QWidget& window) {
    if (window.isMaximized() || window.isFullScreen())
        return;
    const bool framed = Framed(window);
    const QMargins m = ExpectedFrameMargins(window);
    const QRect client(FramePos(window, m) + QPoint(m.left(), m.top()), window.size());
    const QRect frame = client.marginsAdded(m);
    const QRect fitted = FitClient(client, m, AvailableFor(window, frame), window.minimumSize());
    if (fitted.size() != window.size())
        window.resize(fitted.size());
    MoveFrameTo(window, fitted.topLeft() - QPoint(m.left(), m.top()), m);
    if (!framed)
        TFrameWatch::Attach(window, true);
}

} // namespace screenfit
