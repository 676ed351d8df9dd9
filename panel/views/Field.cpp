#include "Field.h"

#include <QApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Colour scheme: Ink, Back, Frame, Highlight per group.
struct TGroup {
    TColor Ink, Back, Frame, Highlight;
};
constexpr TGroup Logos{clr::Silver, clr::Silver, clr::Silver, clr::Silver};
constexpr TGroup Names{clr::Black, RGBColor(255, 255, 0), clr::Silver, clr::White};
constexpr TGroup LockG{clr::Black, clr::Silver, clr::Silver, clr::White};
constexpr TGroup Arrows{clr::Black, clr::Silver, clr::Silver, clr::White};
constexpr TGroup GridG{clr::Black, clr::Silver, clr::Silver, clr::White};
constexpr TGroup CornerG{clr::Black, clr::Silver, clr::Silver, clr::White};
constexpr TGroup MonitorG{clr::Black, clr::Silver, clr::Silver, clr::White};

constexpr int LogoSize = 33;

int Deg16(double radians) {
    return static_cast<int>(std::lround(radians * 180.0 / M_PI * 16.0));
}

bool IsHeaderRow(TFieldPane p) {
    return p == TFieldPane::InputLogo || p == TFieldPane::InputName || p == TFieldPane::InputArrow;
}
bool IsHeaderColumn(TFieldPane p) {
    return p == TFieldPane::OutputLogo || p == TFieldPane::OutputName || p == TFieldPane::Monitor ||
           p == TFieldPane::Lock || p == TFieldPane::OutputArrow;
}
bool IsHoverAware(TFieldPane p) {
    return p == TFieldPane::Grid || p == TFieldPane::InputName || p == TFieldPane::Monitor ||
           p == TFieldPane::Lock || p == TFieldPane::OutputName;
}

} // namespace

std::array<TColor, 4> StandardLevelColors() {
    return {RGBColor(255, 0, 0), RGBColor(0, 128, 0), RGBColor(0, 0, 255), RGBColor(255, 255, 0)};
}

// One drawing surface of a pane; hands its events to the field.
class TFieldSurface : public QWidget {
public:
    TFieldSurface(TField* field, TFieldPane pane, QWidget* parent)
        : QWidget(parent), FField(field), FPane(pane) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
        if (pane == TFieldPane::Grid || pane == TFieldPane::Monitor)
            setCursor(Qt::BlankCursor);
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        FField->PaintSurface(FPane, p, e->region());
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        FField->SurfaceMouseMove(FPane, e->position().toPoint());
    }
    void mousePressEvent(QMouseEvent* e) override {
        FField->SurfaceMouseMove(FPane, e->position().toPoint());
        FField->SurfacePress(FPane, e->button(), e->modifiers());
    }
    void mouseDoubleClickEvent(QMouseEvent*) override { FField->SurfaceDoubleClick(FPane); }
    void enterEvent(QEnterEvent*) override { FField->SurfaceEnter(FPane); }
    void leaveEvent(QEvent*) override { FField->SurfaceLeave(FPane); }

private:
    TField* FField;
    TFieldPane FPane;
};

TField::TField(QWidget* parent, TCrossPoints* crossPoints)
    : QWidget(parent), FOwnCross(crossPoints ? nullptr : std::make_unique<TCrossPoints>()),
      FCross(crossPoints ? *crossPoints : *FOwnCross), FState(FCross.State()),
      FLevelColors(StandardLevelColors()) {
    FCross.OnCellChanged = [this](TCrossPointCell cell, int col, int row) {
        switch (cell) {
        case TCrossPointCell::Grid:
            RepaintCell(TFieldPane::Grid, col, row);
            break;
        case TCrossPointCell::Monitor:
            RepaintCell(TFieldPane::Monitor, 0, row);
            break;
        case TCrossPointCell::Lock:
            RepaintCell(TFieldPane::Lock, 0, row);
            break;
        }
    };
    setAutoFillBackground(true);
    FLogoTimer = new QTimer(this);
    FLogoTimer->setSingleShot(true);
    FLogoTimer->setInterval(0);
    connect(FLogoTimer, &QTimer::timeout, this, &TField::RenderPendingLogos);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(GridG.Back));
    setPalette(pal);
    FGridArea = new QScrollArea(this);
    FGridArea->setFrameShape(QFrame::NoFrame);
    // The window scrolls the field by keys, one cell a press; the scroll area's
    // own key scrolling would add its step to that.
    FGridArea->setFocusPolicy(Qt::NoFocus);
    FGridArea->setWidgetResizable(false);
    FGridArea->setPalette(pal);
    FGridArea->viewport()->setPalette(pal);
    FGridArea->viewport()->setAutoFillBackground(true);
    for (int k = 0; k < 10; ++k) {
        const auto pane = static_cast<TFieldPane>(k);
        if (pane == TFieldPane::Grid) {
            FViewports[static_cast<std::size_t>(k)] = FGridArea;
            FSurfaces[static_cast<std::size_t>(k)] = new TFieldSurface(this, pane, nullptr);
            FGridArea->setWidget(FSurfaces[static_cast<std::size_t>(k)]);
        } else if (pane == TFieldPane::Corner) {
            FSurfaces[static_cast<std::size_t>(k)] = new TFieldSurface(this, pane, this);
            FViewports[static_cast<std::size_t>(k)] = FSurfaces[static_cast<std::size_t>(k)];
        } else {
            auto* vp = new QWidget(this);
            vp->setAutoFillBackground(true);
            vp->setPalette(pal);
            FViewports[static_cast<std::size_t>(k)] = vp;
            FSurfaces[static_cast<std::size_t>(k)] = new TFieldSurface(this, pane, vp);
        }
    }
    connect(FGridArea->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { FollowScroll(); });
    connect(FGridArea->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { FollowScroll(); });
    BuildPatterns();
    Relayout();
}

TField::~TField() {
    FCross.OnCellChanged = nullptr; // the cross-points may outlive this view
}

QWidget* TField::Surface(TFieldPane pane) const {
    return FSurfaces[static_cast<std::size_t>(pane)];
}
QWidget* TField::Viewport(TFieldPane pane) const {
    return FViewports[static_cast<std::size_t>(pane)];
}

void TField::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Relayout();
}

void TField::Relayout() {
    FGeom = ComputeFieldGeometry(FScale, FState.LevelCount());
    const int s = FGeom.s;
    if (FScratch.width() != s)
        FScratch = QImage(s, s, QImage::Format_RGB32);
    const int W = width(), H = height();
    const int ni = FState.Inputs(), no = FState.Outputs();
    auto place = [&](TFieldPane pane, QRect viewport, QSize surface) {
        Viewport(pane)->setGeometry(viewport);
        Surface(pane)->resize(surface);
    };
    const int rowW = std::max(W - 5 * s, 0), colH = std::max(H - 3 * s, 0);
    place(TFieldPane::Corner, QRect(0, 0, 5 * s, 3 * s), QSize(5 * s, 3 * s));
    place(TFieldPane::InputLogo, QRect(5 * s, 0, rowW, s), QSize(s * ni, s));
    place(TFieldPane::InputName, QRect(5 * s, s, rowW, s), QSize(s * ni, s));
    place(TFieldPane::InputArrow, QRect(5 * s, 2 * s, rowW, s), QSize(s * ni, s));
    place(TFieldPane::OutputLogo, QRect(0, 3 * s, s, colH), QSize(s, s * no));
    place(TFieldPane::OutputName, QRect(s, 3 * s, s, colH), QSize(s, s * no));
    place(TFieldPane::Monitor, QRect(2 * s, 3 * s, s, colH), QSize(s, s * no));
    place(TFieldPane::Lock, QRect(3 * s, 3 * s, s, colH), QSize(s, s * no));
    place(TFieldPane::OutputArrow, QRect(4 * s, 3 * s, s, colH), QSize(s, s * no));
    place(TFieldPane::Grid, QRect(5 * s, 3 * s, rowW, colH), QSize(s * ni, s * no));
    FollowScroll();
    RepaintAll();
}

void TField::FollowScroll() {
    const int h = FGridArea->horizontalScrollBar()->value();
    const int v = FGridArea->verticalScrollBar()->value();
    for (TFieldPane p : {TFieldPane::InputLogo, TFieldPane::InputName, TFieldPane::InputArrow})
        Surface(p)->move(-h, 0);
    for (TFieldPane p : {TFieldPane::OutputLogo, TFieldPane::OutputName, TFieldPane::Monitor,
                         TFieldPane::Lock, TFieldPane::OutputArrow})
        Surface(p)->move(0, -v);
}

TCellRange TField::VisibleCells() const {
    return VisibleCellRange(FGridArea->horizontalScrollBar()->value(),
                            FGridArea->verticalScrollBar()->value(), FGridArea->width(),
                            FGridArea->height(), FGeom.s, FState.Inputs(), FState.Outputs());
}

void TField::ScrollColumns(int n) {
    QScrollBar* b = FGridArea->horizontalScrollBar();
    b->setValue(b->value() + n * FGeom.s);
}

void TField::ScrollRows(int n) {
    QScrollBar* b = FGridArea->verticalScrollBar();
    b->setValue(b->value() + n * FGeom.s);
}

void TField::ScrollToRow(int row) {
    const TCellRange r = VisibleCells();
    const int d = r.Bottom - r.Top;
    int first = row - d / 2;
    if (first < 0)
        first = 0;
    if (first > FState.Outputs() - d)
        first = FState.Outputs() - d;
    FGridArea->verticalScrollBar()->setValue(first * FGeom.s);
}

void TField::SetSize(int inputs, int outputs) {
    FCross.SetSize(inputs, outputs);
    FInputStrip = QImage(std::max(1, FState.Inputs()) * LogoSize, LogoSize, QImage::Format_RGB32);
    FOutputStrip = QImage(LogoSize, std::max(1, FState.Outputs()) * LogoSize, QImage::Format_RGB32);
    FPendingLogos.clear();
    for (int i = 0; i < FState.Inputs(); ++i)
        RenderLogo(true, i, /*deferred*/ true);
    for (int o = 0; o < FState.Outputs(); ++o)
        RenderLogo(false, o, /*deferred*/ true);
    Relayout();
}

void TField::SetLevelCount(int n) {
    FCross.SetLevelCount(n);
    Relayout();
}

void TField::SetScale(int n) {
    if (n < 0 || n > 6)
        return;
    FScale = n;
    FFontCache.clear();
    Relayout();
}

void TField::BuildPatterns() {
    for (int k = 0; k < 4; ++k) {
        QImage img(8, 8, QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                img.setPixelColor(x, y,
                                  ((x / 2 + y / 2) % 2)
                                      ? ToQColor(FLevelColors[static_cast<std::size_t>(k)])
                                      : ToQColor(GridG.Back));
        FPatterns[static_cast<std::size_t>(k)] = img;
    }
}

void TField::SetLevelColors(const std::array<TColor, 4>& colours) {
    FLevelColors = colours;
    BuildPatterns();
    RedrawMarks();
}

void TField::SetVisible(std::uint32_t packed) {
    FCross.SetVisible(packed);
    RedrawMarks();
}

void TField::SetControl(std::uint32_t packed) {
    FCross.SetControl(packed);
    RepaintCell(TFieldPane::Grid, FHoverCol, FHoverRow);
    RepaintCell(TFieldPane::Monitor, 0, FHoverRow);
}

void TField::RedrawMarks() {
    std::vector<std::uint8_t> painted(static_cast<std::size_t>(FieldSlots) * FieldSlots, 0);
    auto once = [&](int input, int row) {
        if (input < 0 || input >= FieldSlots || row < 0 || row >= FieldSlots)
            return;
        auto& flag =
            painted[static_cast<std::size_t>(row) * FieldSlots + static_cast<std::size_t>(input)];
        if (!flag) {
            flag = 1;
            RepaintCell(TFieldPane::Grid, input, row);
        }
    };
    for (int k = 1; k <= FState.LevelCount(); ++k)
        for (int r = 0; r < FState.Outputs(); ++r) {
            once(FState.Status(r, k), r);
            once(FState.Preset(r, k), r);
        }
    for (int k = 1; k <= FState.LevelCount(); ++k)
        RepaintCell(TFieldPane::Monitor, 0, FState.Monitor(k));
}

// Texts and logos.

QString TField::GetInputNumber(int i) const {
    return QString::number(i + 1);
}
QString TField::GetOutputNumber(int o) const {
    return QString::number(o + 1);
}
QString TField::GetInputName(int i) const {
    return TFieldState::ValidRow(i) ? FInputNames[static_cast<std::size_t>(i)] : QString();
}
QString TField::GetOutputName(int o) const {
    return TFieldState::ValidRow(o) ? FOutputNames[static_cast<std::size_t>(o)] : QString();
}
QString TField::GetInputLogo(int i) const {
    return TFieldState::ValidRow(i) ? FInputLogos[static_cast<std::size_t>(i)] : QString();
}
QString TField::GetOutputLogo(int o) const {
    return TFieldState::ValidRow(o) ? FOutputLogos[static_cast<std::size_t>(o)] : QString();
}

void TField::SetInputName(int i, const QString& text) {
    if (!TFieldState::ValidRow(i))
        return;
    FInputNames[static_cast<std::size_t>(i)] = text.left(MaxNameChars);
    RepaintCell(TFieldPane::InputName, i, 0);
}

void TField::SetOutputName(int o, const QString& text) {
    if (!TFieldState::ValidRow(o))
        return;
    FOutputNames[static_cast<std::size_t>(o)] = text.left(MaxNameChars);
    RepaintCell(TFieldPane::OutputName, 0, o);
}

void TField::SetInputLogo(int i, const QString& path) {
    if (!TFieldState::ValidRow(i))
        return;
    FInputLogos[static_cast<std::size_t>(i)] = path;
    RenderLogo(true, i);
    RepaintCell(TFieldPane::InputLogo, i, 0);
}

void TField::SetOutputLogo(int o, const QString& path) {
    if (!TFieldState::ValidRow(o))
        return;
    FOutputLogos[static_cast<std::size_t>(o)] = path;
    RenderLogo(false, o);
    RepaintCell(TFieldPane::OutputLogo, 0, o);
}

void TField::RenderPendingLogos() {
    // About one frame's worth of decoding per pass; the rest comes next pass.
    QElapsedTimer budget;
    budget.start();
    std::size_t done = 0;
    while (done < FPendingLogos.size() && budget.elapsed() < 20) {
        const auto [input, index] = FPendingLogos[done++];
        RenderLogo(input, index);
        RepaintCell(input ? TFieldPane::InputLogo : TFieldPane::OutputLogo, input ? index : 0,
                    input ? 0 : index);
    }
    FPendingLogos.erase(FPendingLogos.begin(),
                        FPendingLogos.begin() + static_cast<std::ptrdiff_t>(done));
    if (!FPendingLogos.empty())
        FLogoTimer->start();
}

void TField::RenderLogo(bool input, int index, bool deferred) {
    QImage& strip = input ? FInputStrip : FOutputStrip;
    const int count = input ? FState.Inputs() : FState.Outputs();
    if (index < 0 || index >= count || strip.isNull())
        return;
    const QRect square = input ? QRect(index * LogoSize, 0, LogoSize, LogoSize)
                               : QRect(0, index * LogoSize, LogoSize, LogoSize);
    QPainter p(&strip);
    p.setPen(ToQColor(Logos.Ink));
    p.setBrush(ToQColor(Logos.Back));
    p.drawRect(square.adjusted(0, 0, -1, -1));
    QString& path = (input ? FInputLogos : FOutputLogos)[static_cast<std::size_t>(index)];
    if (path.isEmpty() || !QFile::exists(path))
        return;
    if (deferred && !FLogoCache.Holds(path, square.size())) {
        FPendingLogos.emplace_back(input, index);
        FLogoTimer->start();
        return;
    }
    const QImage picture = FLogoCache.Get(path, square.size());
    if (picture.isNull()) {
        path.clear(); // unreadable: forget it, keep the plain square
        return;
    }
    p.drawImage(square, picture);
}

void TField::CopyInputLogo(int i, QImage& picture) const {
    QPainter p(&picture);
    if (i < 0 || i >= FState.Inputs() || FInputStrip.isNull())
        p.fillRect(0, 0, LogoSize, LogoSize, QApplication::palette().color(QPalette::ToolTipBase));
    else
        p.drawImage(0, 0, FInputStrip, i * LogoSize, 0, LogoSize, LogoSize);
}

void TField::CopyOutputLogo(int o, QImage& picture) const {
    QPainter p(&picture);
    if (o < 0 || o >= FState.Outputs() || FOutputStrip.isNull())
        p.fillRect(0, 0, LogoSize, LogoSize, QApplication::palette().color(QPalette::ToolTipBase));
    else
        p.drawImage(0, 0, FOutputStrip, 0, o * LogoSize, LogoSize, LogoSize);
}

// Repainting.

void TField::RepaintCell(TFieldPane pane, int col, int row) {
    const int s = FGeom.s;
    QRect r;
    if (IsHeaderRow(pane)) {
        if (col < 0 || col >= FState.Inputs())
            return;
        r = QRect(col * s, 0, s, s);
    } else if (IsHeaderColumn(pane)) {
        if (row < 0 || row >= FState.Outputs())
            return;
        r = QRect(0, row * s, s, s);
    } else if (pane == TFieldPane::Grid) {
        if (col < 0 || col >= FState.Inputs() || row < 0 || row >= FState.Outputs())
            return;
        r = QRect(col * s, row * s, s, s);
    } else {
        r = QRect(col * s, row * s, s, s);
    }
    if (OnRepaintCell)
        OnRepaintCell(pane, col, row);
    Surface(pane)->update(r);
}

void TField::RepaintAll() {
    for (TFieldSurface* s : FSurfaces)
        s->update();
}

void TField::PaintSurface(TFieldPane pane, QPainter& p, const QRegion& region) {
    const int s = FGeom.s;
    for (const QRect& r : region) {
        const int c0 = r.left() / s, c1 = r.right() / s, r0 = r.top() / s, r1 = r.bottom() / s;
        for (int row = r0; row <= r1; ++row)
            for (int col = c0; col <= c1; ++col) {
                FScratch.fill(ToQColor(GridG.Back));
                {
                    QPainter sp(&FScratch);
                    PaintCell(sp, pane, col, row);
                }
                p.drawImage(col * s, row * s, FScratch);
            }
    }
}

QImage TField::RenderCell(TFieldPane pane, int col, int row) {
    FScratch.fill(ToQColor(GridG.Back));
    {
        QPainter sp(&FScratch);
        PaintCell(sp, pane, col, row);
    }
    return FScratch.copy();
}

void TField::PaintCell(QPainter& p, TFieldPane pane, int col, int row) {
    switch (pane) {
    case TFieldPane::Grid:
        PaintGrid(p, col, row);
        break;
    case TFieldPane::InputName:
        PaintName(p, true, col);
        break;
    case TFieldPane::OutputName:
        PaintName(p, false, row);
        break;
    case TFieldPane::InputArrow:
        PaintArrow(p, true, col);
        break;
    case TFieldPane::OutputArrow:
        PaintArrow(p, false, row);
        break;
    case TFieldPane::InputLogo:
        PaintLogo(p, true, col);
        break;
    case TFieldPane::OutputLogo:
        PaintLogo(p, false, row);
        break;
    case TFieldPane::Lock:
        PaintLock(p, row);
        break;
    case TFieldPane::Monitor:
        PaintMonitor(p, row);
        break;
    case TFieldPane::Corner:
        PaintCorner(p, col, row);
        break;
    }
}

void TField::CellBase(QPainter& p, TColor back, TColor frame) {
    p.setPen(ToQColor(frame));
    p.setBrush(ToQColor(back));
    p.drawRect(0, 0, FGeom.s, FGeom.s); // Box(0, 0, s + 1, s + 1): left and top edges show
}

void TField::PaintMarks(QPainter& p, const std::array<int, 4>& levels,
                        const std::array<bool, 4>& preset, int n) {
    const int m = FGeom.m;
    auto brush = [&](int j) {
        const int k = levels[static_cast<std::size_t>(j)];
        return preset[static_cast<std::size_t>(j)]
                   ? QBrush(FPatterns[static_cast<std::size_t>(k - 1)])
                   : QBrush(ToQColor(FLevelColors[static_cast<std::size_t>(k - 1)]));
    };
    p.setPen(Qt::black);
    if (n == 1) {
        const int r = FGeom.rM;
        p.setBrush(brush(0));
        p.drawEllipse(QRect(m - r, m - r, 2 * r, 2 * r));
    } else if (n >= 2) {
        const int r = FGeom.rP;
        const TSlices sl = SliceAngles(n);
        for (int j = 0; j < n; ++j) {
            p.setBrush(brush(j));
            p.drawPie(QRect(m - r, m - r, 2 * r, 2 * r), Deg16(sl.First + j * sl.Step),
                      Deg16(sl.Step));
        }
    }
}

void TField::PaintRing(QPainter& p, const std::array<int, 4>& levels, int q, TColor ink) {
    const int s = FGeom.s;
    p.setBrush(Qt::NoBrush);
    const QRect box(0, 0, s - 1, s - 1);
    if (q <= 1) {
        p.setPen(ToQColor(q == 0 ? ink : FLevelColors[static_cast<std::size_t>(levels[0] - 1)]));
        p.drawEllipse(box);
        return;
    }
    const TSlices sl = SliceAngles(q);
    for (int j = 0; j < q; ++j) {
        p.setPen(ToQColor(
            FLevelColors[static_cast<std::size_t>(levels[static_cast<std::size_t>(j)] - 1)]));
        p.drawArc(box, Deg16(sl.First + j * sl.Step), Deg16(sl.Step));
    }
}

void TField::PaintGrid(QPainter& p, int i, int o) {
    const int ni = FState.Inputs(), no = FState.Outputs();
    if (i < 0 || i >= ni || o < 0 || o >= no)
        return;
    const int s = FGeom.s, m = FGeom.m, hc = FHoverCol, hr = FHoverRow;
    CellBase(p, GridG.Back, GridG.Frame);
    auto wire = [&](bool lit) { p.setPen(ToQColor(lit ? GridG.Highlight : GridG.Ink)); };
    wire(i == hc && o <= hr);
    p.drawLine(m, 0, m, m - 1);
    wire(o == hr && i <= hc);
    p.drawLine(0, m, m - 1, m);
    if (o < no - 1) {
        wire(i == hc && o < hr);
        p.drawLine(m, m + 1, m, s);
    }
    if (i < ni - 1) {
        wire(o == hr && i < hc);
        p.drawLine(m + 1, m, s, m);
    }

    std::array<int, 4> levels{};
    std::array<bool, 4> preset{};
    int n = 0;
    const std::uint32_t visible = FState.Visible();
    for (int k = 1; k <= FState.LevelCount(); ++k) {
        if (!LevelFlag(visible, k))
            continue;
        const int st = FState.Status(o, k), pr = FState.Preset(o, k);
        if (st == i || (pr == i && pr != st)) {
            levels[static_cast<std::size_t>(n)] = k;
            preset[static_cast<std::size_t>(n)] = st != i;
            ++n;
        }
    }
    PaintMarks(p, levels, preset, n);

    const int rN = FGeom.rN;
    const bool lit = (i == hc && o <= hr) || (o == hr && i <= hc);
    p.setPen(ToQColor(lit ? GridG.Highlight : GridG.Ink));
    p.setBrush(ToQColor(GridG.Back));
    p.drawEllipse(QRect(m - rN, m - rN, 2 * rN, 2 * rN));

    if (i == hc && o == hr) {
        std::array<int, 4> ring{};
        int q = 0;
        for (int k = 1; k <= FState.LevelCount(); ++k)
            if (LevelFlag(FState.Control(), k) && (FCross.PresetMode() || !FState.Locked(o, k)))
                ring[static_cast<std::size_t>(q++)] = k;
        PaintRing(p, ring, q, GridG.Ink);
    }
}

QFont TField::FitFont(const QString& text) {
    const QString key = text + QChar(1) + QString::number(FGeom.s);
    if (const auto it = FFontCache.constFind(key); it != FFontCache.constEnd())
        return *it;
    const int s = FGeom.s, m = FGeom.m;
    auto make = [](int size) {
        QFont f(QString::fromLatin1(size > 7 ? "MS Sans Serif" : "Small Fonts"));
        f.setPointSize(size);
        return f;
    };
    int size = 3;
    QFont f = make(size);
    QFontMetrics fm(f, &FScratch);
    while (fm.horizontalAdvance(text) < s - 2 && fm.height() < m - 2) {
        ++size;
        if (size > 11)
            break;
        f = make(size);
        fm = QFontMetrics(f, &FScratch);
    }
    --size;
    const QFont result = make(std::max(size, 2));
    if (FFontCache.size() > 4096)
        FFontCache.clear();
    FFontCache.insert(key, result);
    return result;
}

void TField::PaintName(QPainter& p, bool input, int index) {
    const int count = input ? FState.Inputs() : FState.Outputs();
    if (index < 0 || index >= count)
        return;
    const int hc = FHoverCol, hr = FHoverRow, m = FGeom.m;
    const bool lit =
        input ? (index == hc && (hr >= 0 || hr == -2)) : (index == hr && (hc >= 0 || hc == -4));
    CellBase(p, lit ? Names.Highlight : Names.Back, Names.Frame);
    p.setPen(ToQColor(Names.Ink));
    const QString line1 = QString::number(index + 1);
    const QString line2 = (input ? FInputNames : FOutputNames)[static_cast<std::size_t>(index)];
    const int shift = input ? 1 : 0;
    auto draw = [&](const QString& text, bool first) {
        if (text.isEmpty())
            return;
        const QFont f = FitFont(text);
        p.setFont(f);
        const QFontMetrics fm(f, &FScratch);
        const int w = fm.horizontalAdvance(text), h = fm.height();
        const int y = first ? m - h - shift : m + shift;
        p.drawText(m - w / 2, y + fm.ascent(), text);
    };
    draw(line1, true);
    draw(line2, false);
}

void TField::PaintArrow(QPainter& p, bool input, int index) {
    const int count = input ? FState.Inputs() : FState.Outputs();
    if (index < 0 || index >= count)
        return;
    const int s = FGeom.s, m = FGeom.m, rM = FGeom.rM, a = FGeom.a;
    CellBase(p, Arrows.Back, Arrows.Frame);
    const bool lit = input ? index == FHoverCol : index == FHoverRow;
    const QColor c = ToQColor(lit ? Arrows.Highlight : Arrows.Ink);
    p.setPen(c);
    p.setBrush(c);
    if (input) {
        p.drawLine(m, rM + a + 1, m, s);
        const QPoint tri[3] = {{m, rM + a}, {m - a, rM}, {m + a, rM}};
        p.drawPolygon(tri, 3);
    } else {
        p.drawLine(rM + 1, m, s, m);
        const QPoint tri[3] = {{rM, m}, {rM + a, m - a}, {rM + a, m + a}};
        p.drawPolygon(tri, 3);
    }
}

void TField::PaintLogo(QPainter& p, bool input, int index) {
    const int count = input ? FState.Inputs() : FState.Outputs();
    const QImage& strip = input ? FInputStrip : FOutputStrip;
    if (index < 0 || index >= count || strip.isNull())
        return;
    const int s = FGeom.s, rN = FGeom.rN;
    CellBase(p, Logos.Back, Logos.Frame);
    const QRect source = input ? QRect(index * LogoSize, 0, LogoSize, LogoSize)
                               : QRect(0, index * LogoSize, LogoSize, LogoSize);
    p.drawImage(QRect(rN, rN, s - 2 * rN, s - 2 * rN), strip, source);
}

void TField::PaintLock(QPainter& p, int o) {
    if (o < 0 || o >= FState.Outputs())
        return;
    const int s = FGeom.s, rM = FGeom.rM, w = FGeom.w, n = FState.LevelCount();
    CellBase(p, LockG.Back, LockG.Frame);
    const bool lit = o == FHoverRow && (FHoverCol >= 0 || FHoverCol == -2);
    p.setPen(ToQColor(lit ? LockG.Highlight : LockG.Ink));
    const std::uint32_t locks = FState.Lock(o);
    for (int k = 1; k <= n; ++k) {
        p.setBrush(ToQColor(LevelFlag(locks, k) ? FLevelColors[static_cast<std::size_t>(k - 1)]
                                                : LockG.Back));
        p.drawRect(LockBarLeft(FGeom, n, k), rM, w, s - 2 * rM);
    }
}

void TField::PaintMonitor(QPainter& p, int o) {
    if (o < 0 || o >= FState.Outputs())
        return;
    const int m = FGeom.m, rN = FGeom.rN;
    CellBase(p, MonitorG.Back, MonitorG.Frame);
    std::array<int, 4> levels{};
    const std::array<bool, 4> solid{};
    int n = 0;
    for (int k = 1; k <= FState.LevelCount(); ++k)
        if (LevelFlag(FState.Visible(), k) && FState.Monitor(k) == o)
            levels[static_cast<std::size_t>(n++)] = k;
    PaintMarks(p, levels, solid, n);
    const bool lit = o == FHoverRow && (FHoverCol >= 0 || FHoverCol == -3);
    p.setPen(ToQColor(lit ? MonitorG.Highlight : MonitorG.Ink));
    p.setBrush(ToQColor(MonitorG.Back));
    p.drawEllipse(QRect(m - rN, m - rN, 2 * rN, 2 * rN));
    if (o == FHoverRow && FHoverCol == -3) {
        std::array<int, 4> ring{};
        int q = 0;
        for (int k = 1; k <= FState.LevelCount(); ++k)
            if (LevelFlag(FState.Control(), k))
                ring[static_cast<std::size_t>(q++)] = k;
        PaintRing(p, ring, q, MonitorG.Ink);
    }
}

void TField::PaintCorner(QPainter& p, int col, int row) {
    const char* label = nullptr;
    if (col == 4 && row == 1)
        label = "IN";
    else if (row == 2 && col == 1)
        label = "OUT";
    else if (row == 2 && col == 2)
        label = "MON";
    else if (row == 2 && col == 3)
        label = "LOCK";
    if (!label)
        return; // the field's background
    const int m = FGeom.m;
    CellBase(p, CornerG.Back, CornerG.Frame);
    const QString text = QString::fromLatin1(label);
    const QFont f = FitFont(text);
    p.setFont(f);
    p.setPen(ToQColor(CornerG.Ink));
    const QFontMetrics fm(f, &FScratch);
    p.drawText(m - fm.horizontalAdvance(text) / 2, m - fm.height() / 2 + fm.ascent(), text);
}

// Hover and mouse.

void TField::RefreshHover(bool remember) {
    const int pc = FPrevHoverCol, pr = FPrevHoverRow, c = FHoverCol, r = FHoverRow;
    if (pc == c && pr == r)
        return;
    const TCellRange v = VisibleCells();
    if (pc >= 0 && pr >= 0) {
        for (int y = v.Top; y <= pr; ++y)
            RepaintCell(TFieldPane::Grid, pc, y);
        RepaintCell(TFieldPane::InputArrow, pc, 0);
        RepaintCell(TFieldPane::InputName, pc, 0);
    }
    if (pr == -2)
        RepaintCell(TFieldPane::InputName, pc, 0);
    if (c >= 0 && r >= 0) {
        for (int y = v.Top; y <= r; ++y)
            RepaintCell(TFieldPane::Grid, c, y);
        RepaintCell(TFieldPane::InputArrow, c, 0);
        RepaintCell(TFieldPane::InputName, c, 0);
    }
    if (r == -2)
        RepaintCell(TFieldPane::InputName, c, 0);
    auto rowCells = [&](int row) {
        RepaintCell(TFieldPane::OutputArrow, 0, row);
        RepaintCell(TFieldPane::OutputName, 0, row);
        RepaintCell(TFieldPane::Lock, 0, row);
        RepaintCell(TFieldPane::Monitor, 0, row);
    };
    if (pr >= 0 && pc >= 0) {
        for (int x = v.Left; x <= pc; ++x)
            RepaintCell(TFieldPane::Grid, x, pr);
        rowCells(pr);
    }
    if (pc == -4)
        RepaintCell(TFieldPane::OutputName, 0, pr);
    else if (pc == -2)
        RepaintCell(TFieldPane::Lock, 0, pr);
    else if (pc == -3)
        RepaintCell(TFieldPane::Monitor, 0, pr);
    if (r >= 0 && c >= 0) {
        for (int x = v.Left; x <= c; ++x)
            RepaintCell(TFieldPane::Grid, x, r);
        rowCells(r);
    }
    if (c == -4)
        RepaintCell(TFieldPane::OutputName, 0, r);
    else if (c == -2)
        RepaintCell(TFieldPane::Lock, 0, r);
    else if (c == -3)
        RepaintCell(TFieldPane::Monitor, 0, r);
    if (remember) {
        FPrevHoverCol = c;
        FPrevHoverRow = r;
    }
}

void TField::SetHoverCol(int c) {
    FHoverCol = c;
    RefreshHover(false);
}

void TField::SetHoverRow(int r) {
    FHoverRow = r;
    RefreshHover(false);
}

void TField::SurfaceMouseMove(TFieldPane pane, QPoint pos) {
    if (!IsHoverAware(pane))
        return;
    const int s = FGeom.s, ni = FState.Inputs(), no = FState.Outputs();
    const int hPos = FGridArea->horizontalScrollBar()->value();
    const int vPos = FGridArea->verticalScrollBar()->value();
    int col = pos.x() / s, row = pos.y() / s;
    int reportCol = 0;
    QPoint local;
    switch (pane) {
    case TFieldPane::Grid:
        if (pos.x() < 0 || pos.y() < 0 || col >= ni || row >= no)
            col = row = -10;
        reportCol = col;
        local = QPoint(col * s - hPos, row * s - vPos);
        break;
    case TFieldPane::InputName:
        if (pos.x() < 0 || col >= ni)
            col = -10;
        row = -2;
        reportCol = col;
        local = QPoint(col * s - hPos, 0);
        break;
    default: { // the three output columns
        if (pos.y() < 0 || row >= no)
            row = -10;
        col = pane == TFieldPane::Monitor ? -3 : pane == TFieldPane::Lock ? -2 : -4;
        reportCol = pane == TFieldPane::Monitor ? -1 : col;
        local = QPoint(0, row * s - vPos);
        break;
    }
    }
    FHoverCol = col;
    FHoverRow = row;
    RefreshHover(true);
    if (OnCellHover)
        OnCellHover(Viewport(pane), Viewport(pane)->mapToGlobal(local), reportCol, row);
}

void TField::SurfaceLeave(TFieldPane pane) {
    if (IsHoverAware(pane)) {
        FHoverCol = FHoverRow = -10;
        RefreshHover(true);
        if (OnHoverLeave)
            OnHoverLeave(Viewport(TFieldPane::Grid));
    }
}

void TField::SurfaceEnter(TFieldPane pane) {
    if (!IsHoverAware(pane)) {
        FHoverCol = FHoverRow = -10;
        RefreshHover(true);
        if (OnHoverLeave)
            OnHoverLeave(Viewport(TFieldPane::Grid));
    }
}

void TField::SurfacePress(TFieldPane pane, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    const int c = FHoverCol, r = FHoverRow;
    if (pane == TFieldPane::Grid) {
        if (!Interactive || c < 0 || c >= FState.Inputs() || r < 0 || r >= FState.Outputs())
            return;
        if (button == Qt::LeftButton)
            FCross.Route(r, c);
        else if (button == Qt::RightButton)
            FCross.CopyStatusToPreset(r);
    } else if (pane == TFieldPane::Monitor) {
        if (button == Qt::LeftButton && Interactive && c == -3)
            FCross.SelectMonitor(r);
    } else if (pane == TFieldPane::Lock) {
        FLockShift = button == Qt::LeftButton ? mods : Qt::NoModifier;
    }
}

void TField::SurfaceDoubleClick(TFieldPane pane) {
    const int r = FHoverRow, c = FHoverCol;
    if (pane == TFieldPane::Lock) {
        const Qt::KeyboardModifiers shift =
            FLockShift & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        FLockShift = Qt::NoModifier;
        if (!Interactive || c != -2 || (shift != Qt::ShiftModifier && shift != Qt::ControlModifier))
            return;
        FCross.ChangeLocks(r, shift == Qt::ShiftModifier);
    } else if (pane == TFieldPane::InputName) {
        if (c >= 0 && c < FState.Inputs() && OnInputNameDblClick)
            OnInputNameDblClick(this, c);
    } else if (pane == TFieldPane::OutputName) {
        if (r >= 0 && r < FState.Outputs() && OnOutputNameDblClick)
            OnOutputNameDblClick(this, r);
    }
}
