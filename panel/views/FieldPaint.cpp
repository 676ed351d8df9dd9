// The field's painting: one cell at a time, into whatever a surface exposes.
#include "Field.h"
#include "FieldLook.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace fieldlook;

namespace {

int Deg16(double radians) {
    return static_cast<int>(std::lround(radians * 180.0 / M_PI * 16.0));
}

} // namespace

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
    ForgetLooks();
}

void TField::PaintSurface(TFieldPane pane, QPainter& p, const QRegion& region) {
    const int s = FGeom.CellSize;
    if (!FLookCacheOn) { // the reference: every cell painted and drawn on its own
        for (const QRect& r : region)
            for (int row = r.top() / s; row <= r.bottom() / s; ++row)
                for (int col = r.left() / s; col <= r.right() / s; ++col)
                    p.drawImage(col * s, row * s, CellImage(pane, col, row));
        return;
    }
    // Each row of exposed cells is assembled in a band image and drawn at once:
    // copying a cell's lines costs far less than a painter call per cell.
    for (const QRect& r : region) {
        const int c0 = r.left() / s, c1 = r.right() / s, r0 = r.top() / s, r1 = r.bottom() / s;
        const int width = (c1 - c0 + 1) * s;
        if (FBand.width() < width || FBand.height() != s)
            FBand = QImage(std::max(width, FBand.width()), s, QImage::Format_RGB32);
        uchar* band = FBand.bits();
        const qsizetype bandLine = FBand.bytesPerLine();
        const std::size_t cellBytes = static_cast<std::size_t>(s) * 4;
        for (int row = r0; row <= r1; ++row) {
            for (int col = c0; col <= c1; ++col) {
                const QImage& cell = CellImage(pane, col, row);
                uchar* to = band + static_cast<qsizetype>(col - c0) * s * 4;
                for (int y = 0; y < s; ++y, to += bandLine)
                    std::memcpy(to, cell.constScanLine(y), cellBytes);
            }
            p.drawImage(QPoint(c0 * s, row * s), FBand, QRect(0, 0, width, s));
        }
    }
}

void TField::SetLookCache(bool on) {
    FLookCacheOn = on; // looks kept meanwhile stay true: whatever stales them clears them
    RepaintAll();
}

void TField::ForgetLooks() {
    FLooks.clear();
}

const QImage& TField::CellImage(TFieldPane pane, int col, int row) {
    const std::uint64_t look = FLookCacheOn ? CellLook(pane, col, row) : 0;
    if (look) {
        if (const auto it = FLooks.find(look); it != FLooks.end())
            return it->second;
    }
    PaintScratch(pane, col, row);
    if (!look)
        return FScratch;
    if (FLooks.size() >= 4096) // more looks than a field can show: start over
        FLooks.clear();
    return FLooks.emplace(look, FScratch.copy()).first->second;
}

// Everything a cell's painter reads, packed into one number; 0 for a cell
// whose look is its own (names, logos, the hovered cell's ring), painted each
// time. Whatever the painters read beyond this (zoom, level colours) clears
// the looks when it changes.
std::uint64_t TField::CellLook(TFieldPane pane, int col, int row) const {
    std::uint64_t look = static_cast<std::uint64_t>(pane) + 1;
    int at = 4;
    auto put = [&](std::uint64_t value, int bits) {
        look |= value << at;
        at += bits;
    };
    const int ni = FState.Inputs(), no = FState.Outputs(), levels = FState.LevelCount();
    const int hc = FHoverCol, hr = FHoverRow;
    put(static_cast<std::uint64_t>(levels), 3);
    auto marks = [&](auto&& shows, auto&& presetOnly, auto&& held) {
        const int first = at;
        int n = 0;
        for (int k = 1; k <= levels; ++k)
            if (LevelFlag(FState.Visible(), k) && shows(k)) {
                put(static_cast<std::uint64_t>(k - 1), 2);
                put(presetOnly(k) ? 1 : 0, 1);
                put(held(k) ? 1 : 0, 1);
                put(FCross.Away(k) ? 1 : 0, 1);
                ++n;
            }
        at = first + 4 * 5; // past the widest set of marks
        put(static_cast<std::uint64_t>(n), 3);
    };
    switch (pane) {
    case TFieldPane::Grid: {
        const int i = col, o = row;
        if (i < 0 || i >= ni || o < 0 || o >= no)
            return look;
        if (i == hc && o == hr)
            return 0;
        put(1, 1);
        put(i == hc && o <= hr, 1);
        put(o == hr && i <= hc, 1);
        put(o < no - 1, 1);
        put(i == hc && o < hr, 1);
        put(i < ni - 1, 1);
        put(o == hr && i < hc, 1);
        marks(
            [&](int k) {
                const int st = FState.Status(o, k), pr = FState.Preset(o, k);
                return st == i || (pr == i && pr != st);
            },
            [&](int k) { return FState.Status(o, k) != i; },
            [&](int k) { return FState.Status(o, k) != i && HeldPreset(o, k); });
        return look;
    }
    case TFieldPane::Monitor: {
        const int o = row;
        if (o < 0 || o >= no)
            return look;
        if (o == hr && hc == -3)
            return 0;
        put(1, 1);
        put(o == hr && (hc >= 0 || hc == -3), 1);
        marks([&](int k) { return FState.Monitor(k) == o; }, [](int) { return false; },
              [](int) { return false; });
        return look;
    }
    case TFieldPane::Lock: {
        const int o = row;
        if (o < 0 || o >= no)
            return look;
        put(1, 1);
        put(o == hr && (hc >= 0 || hc == -2), 1);
        const std::uint32_t locks = FState.Lock(o);
        for (int k = 1; k <= levels; ++k)
            put(LevelFlag(locks, k), 1);
        return look;
    }
    case TFieldPane::InputArrow:
    case TFieldPane::OutputArrow: {
        const bool input = pane == TFieldPane::InputArrow;
        const int index = input ? col : row;
        if (index < 0 || index >= (input ? ni : no))
            return look;
        put(1, 1);
        put(index == (input ? hc : hr), 1);
        return look;
    }
    default:
        return 0;
    }
}

QImage TField::RenderCell(TFieldPane pane, int col, int row) {
    PaintScratch(pane, col, row);
    return FScratch.copy();
}

void TField::PaintScratch(TFieldPane pane, int col, int row) {
    FScratch.fill(ToQColor(GridG.Back));
    QPainter sp(&FScratch);
    PaintCell(sp, pane, col, row);
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
    p.drawRect(0, 0, FGeom.CellSize,
               FGeom.CellSize); // Box(0, 0, s + 1, s + 1): left and top edges show
}

// A preset the TAKE would leave out: the preset differs from the status and
// the rules hold it (a lock, CONTROL, an absent switcher).
bool TField::HeldPreset(int row, int level) const {
    return FCross.PresetMode() && FCross.TakeHold(row, level, false) != THold::None;
}

void TField::PaintMarks(QPainter& p, const std::array<int, 4>& levels,
                        const std::array<bool, 4>& preset, int n, const std::array<bool, 4>& held) {
    const int m = FGeom.Centre;
    const QColor away(0x80, 0x80, 0x80);
    auto brush = [&](int j) {
        const int k = levels[static_cast<std::size_t>(j)];
        if (FCross.Away(k))
            return preset[static_cast<std::size_t>(j)] ? QBrush(away, Qt::Dense4Pattern)
                                                       : QBrush(away);
        return preset[static_cast<std::size_t>(j)]
                   ? QBrush(FPatterns[static_cast<std::size_t>(k - 1)])
                   : QBrush(ToQColor(FLevelColors[static_cast<std::size_t>(k - 1)]));
    };
    const QPen heldPen(Qt::red, FGeom.MarkRadius >= 4 ? 2 : 1);
    auto pen = [&](int j) {
        p.setPen(held[static_cast<std::size_t>(j)] ? heldPen : QPen(Qt::black));
    };
    if (n == 1) {
        const int r = FGeom.MarkRadius;
        pen(0);
        p.setBrush(brush(0));
        p.drawEllipse(QRect(m - r, m - r, 2 * r, 2 * r));
    } else if (n >= 2) {
        const int r = FGeom.PieRadius;
        const TSlices sl = SliceAngles(n);
        // Held slices last, so that their red outline is not covered.
        for (int pass = 0; pass < 2; ++pass)
            for (int j = 0; j < n; ++j) {
                if (held[static_cast<std::size_t>(j)] != (pass == 1))
                    continue;
                pen(j);
                p.setBrush(brush(j));
                p.drawPie(QRect(m - r, m - r, 2 * r, 2 * r), Deg16(sl.First + j * sl.Step),
                          Deg16(sl.Step));
            }
    }
}

void TField::PaintRing(QPainter& p, const std::array<int, 4>& levels, int q, TColor ink) {
    const int s = FGeom.CellSize;
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
    const int s = FGeom.CellSize, m = FGeom.Centre, hc = FHoverCol, hr = FHoverRow;
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
    std::array<bool, 4> preset{}, held{};
    int n = 0;
    const std::uint32_t visible = FState.Visible();
    for (int k = 1; k <= FState.LevelCount(); ++k) {
        if (!LevelFlag(visible, k))
            continue;
        const int st = FState.Status(o, k), pr = FState.Preset(o, k);
        if (st == i || (pr == i && pr != st)) {
            levels[static_cast<std::size_t>(n)] = k;
            preset[static_cast<std::size_t>(n)] = st != i;
            held[static_cast<std::size_t>(n)] = st != i && HeldPreset(o, k);
            ++n;
        }
    }
    PaintMarks(p, levels, preset, n, held);
    if (std::find(held.begin(), held.begin() + n, true) != held.begin() + n) {
        // A slash across the cell: seen on the grid's background whatever the
        // level's colour, the mark's red outline then says which level.
        p.setPen(QPen(Qt::red, FGeom.MarkRadius >= 4 ? 2 : 1));
        p.drawLine(s - 3, 2, 2, s - 3);
    }

    const int rN = FGeom.NodeRadius;
    const bool lit = (i == hc && o <= hr) || (o == hr && i <= hc);
    p.setPen(ToQColor(lit ? GridG.Highlight : GridG.Ink));
    p.setBrush(ToQColor(GridG.Back));
    p.drawEllipse(QRect(m - rN, m - rN, 2 * rN, 2 * rN));

    if (i == hc && o == hr) {
        std::array<int, 4> ring{};
        int q = 0;
        for (int k = 1; k <= FState.LevelCount(); ++k)
            if (FCross.ClickableLevel(o, k, true))
                ring[static_cast<std::size_t>(q++)] = k;
        PaintRing(p, ring, q, GridG.Ink);
    }
}

QFont TField::FitFont(const QString& text) {
    const QString key = text + QChar(1) + QString::number(FGeom.CellSize);
    if (const auto it = FFontCache.constFind(key); it != FFontCache.constEnd())
        return *it;
    const int s = FGeom.CellSize, m = FGeom.Centre;
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
    const int hc = FHoverCol, hr = FHoverRow, m = FGeom.Centre;
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
    const int s = FGeom.CellSize, m = FGeom.Centre, rM = FGeom.MarkRadius, a = FGeom.ArrowSize;
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
    const int s = FGeom.CellSize, rN = FGeom.NodeRadius;
    CellBase(p, Logos.Back, Logos.Frame);
    const QRect source = input ? QRect(index * LogoSize, 0, LogoSize, LogoSize)
                               : QRect(0, index * LogoSize, LogoSize, LogoSize);
    p.drawImage(QRect(rN, rN, s - 2 * rN, s - 2 * rN), strip, source);
}

void TField::PaintLock(QPainter& p, int o) {
    if (o < 0 || o >= FState.Outputs())
        return;
    const int s = FGeom.CellSize, rM = FGeom.MarkRadius, w = FGeom.LockBarWidth,
              n = FState.LevelCount();
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
    const int m = FGeom.Centre, rN = FGeom.NodeRadius;
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
    const int m = FGeom.Centre;
    CellBase(p, CornerG.Back, CornerG.Frame);
    const QString text = QString::fromLatin1(label);
    const QFont f = FitFont(text);
    p.setFont(f);
    p.setPen(ToQColor(CornerG.Ink));
    const QFontMetrics fm(f, &FScratch);
    p.drawText(m - fm.horizontalAdvance(text) / 2, m - fm.height() / 2 + fm.ascent(), text);
}

// Hover and mouse.
