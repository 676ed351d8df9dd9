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

// Checks a window again once the window manager has put its frame around it:
// before that, its frame size was a guess. The frame's size arrives at no
// particular event, so the watch looks every 25 ms after the show; it goes
// away after that check, when the window hides, or after two seconds (no
// window manager, no frame).
class TFrameWatch : public QObject {
public:
    TFrameWatch(QWidget& window, bool shrink)
        : QObject(&window), FWindow(&window), FShrink(shrink), FTimer(new QTimer(this)) {
        setObjectName(QStringLiteral("screenfit::TFrameWatch"));
        window.installEventFilter(this);
        FTimer->setInterval(25);
        connect(FTimer, &QTimer::timeout, this, [this] {
            if (++FTicks > 80)
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
        if (FWindow->frameGeometry() == FWindow->geometry())
            return; // not framed yet
        if (FShrink)
            FitOnScreen(*FWindow);
        else
            Place(*FWindow, FWindow->pos());
        Finish();
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
    int FTicks = 0;
    bool FDone = false;
};

bool Framed(const QWidget& window) {
    return window.isVisible() && window.frameGeometry() != window.geometry();
}

QMargins MarginsOf(const QWidget& window) {
    const QRect f = window.frameGeometry(), g = window.geometry();
    return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
}

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

QMargins ExpectedFrameMargins(const QWidget& window) {
    if (window.windowFlags() & Qt::FramelessWindowHint)
        return {};
    if (Framed(window))
        return MarginsOf(window);
    QMargins widest;
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w == &window || !Framed(*w) || (w->windowFlags() & Qt::FramelessWindowHint))
            continue;
        const QMargins m = MarginsOf(*w);
        widest =
            QMargins(std::max(widest.left(), m.left()), std::max(widest.top(), m.top()),
                     std::max(widest.right(), m.right()), std::max(widest.bottom(), m.bottom()));
    }
    return widest;
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
    // move() places the outer frame; before the first show its size is the
    // client's plus the decoration the window manager is expected to add.
    const QMargins m = Framed(window) ? QMargins() : ExpectedFrameMargins(window);
    const QRect frame(wanted, window.frameGeometry().size().grownBy(m));
    window.move(FitInside(frame, AvailableFor(window, frame)));
    if (!Framed(window))
        TFrameWatch::Attach(window, false);
}

void KeepInside(QWidget& window) {
    Place(window, window.pos());
}

void FitOnScreen(QWidget& window) {
    if (window.isMaximized() || window.isFullScreen())
        return;
    const bool framed = Framed(window);
    const QMargins m = ExpectedFrameMargins(window);
    const QRect client(window.pos() + QPoint(m.left(), m.top()), window.size());
    const QRect frame = client.marginsAdded(m);
    const QRect fitted = FitClient(client, m, AvailableFor(window, frame), window.minimumSize());
    if (fitted.size() != window.size())
        window.resize(fitted.size());
    window.move(fitted.topLeft() - QPoint(m.left(), m.top()));
    if (!framed)
        TFrameWatch::Attach(window, true);
}

} // namespace screenfit
