#include "Field.h"
#include "FieldLook.h"

#include <QApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

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

using namespace fieldlook;

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
            // A lock holds the row's presets from the TAKE: their marks show it.
            if (FCross.PresetMode())
                for (int k = 1; k <= FState.LevelCount(); ++k)
                    if (FState.Preset(row, k) != FState.Status(row, k))
                        RepaintCell(TFieldPane::Grid, FState.Preset(row, k), row);
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
    const int s = FGeom.CellSize;
    if (FScratch.width() != s)
        FScratch = QImage(s, s, QImage::Format_RGB32);
    ForgetLooks();
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
                            FGridArea->height(), FGeom.CellSize, FState.Inputs(), FState.Outputs());
}

void TField::ScrollColumns(int n) {
    QScrollBar* b = FGridArea->horizontalScrollBar();
    b->setValue(b->value() + n * FGeom.CellSize);
}

void TField::ScrollRows(int n) {
    QScrollBar* b = FGridArea->verticalScrollBar();
    b->setValue(b->value() + n * FGeom.CellSize);
}

void TField::ScrollToRow(int row) {
    const TCellRange r = VisibleCells();
    const int d = r.Bottom - r.Top;
    int first = row - d / 2;
    if (first < 0)
        first = 0;
    if (first > FState.Outputs() - d)
        first = FState.Outputs() - d;
    FGridArea->verticalScrollBar()->setValue(first * FGeom.CellSize);
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
    if (FCross.PresetMode())
        RedrawMarks(); // CONTROL decides which presets the TAKE holds
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

void TField::SetInputLogo(int i, const QString& path, bool deferred) {
    if (!TFieldState::ValidRow(i))
        return;
    FInputLogos[static_cast<std::size_t>(i)] = path;
    RenderLogo(true, i, deferred);
    RepaintCell(TFieldPane::InputLogo, i, 0);
}

void TField::SetOutputLogo(int o, const QString& path, bool deferred) {
    if (!TFieldState::ValidRow(o))
        return;
    FOutputLogos[static_cast<std::size_t>(o)] = path;
    RenderLogo(false, o, deferred);
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
    const int s = FGeom.CellSize;
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
    const int s = FGeom.CellSize, ni = FState.Inputs(), no = FState.Outputs();
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
