#include "PreviewField.h"

#include "Field.h"
#include "Index.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace {

// The outline-and-fill rectangle over the pixels Left..Right-1, Top..Bottom-1.
void Box(QPainter& p, const TPreviewRect& r, TColor fill, TColor outline) {
    if (r.Right <= r.Left || r.Bottom <= r.Top)
        return;
    p.setPen(ToQColor(outline));
    p.setBrush(ToQColor(fill));
    p.drawRect(QRect(r.Left, r.Top, r.Right - r.Left - 1, r.Bottom - r.Top - 1));
}

void Centred(QPainter& p, const TPreviewRect& r, const QString& text, const QFont& font,
             TColor ink) {
    p.setFont(font);
    const QFontMetrics fm(font, p.device());
    const int x = (r.Left + r.Right) / 2 - fm.horizontalAdvance(text) / 2;
    const int y = (r.Top + r.Bottom) / 2 - fm.height() / 2;
    p.setPen(ToQColor(ink));
    p.drawText(x, y + fm.ascent(), text);
}

} // namespace

std::int64_t RoundHalfEven(std::int64_t n, std::int64_t d) {
    if (d < 0) {
        n = -n;
        d = -d;
    }
    std::int64_t q = n / d, r = n % d;
    if (r < 0) { // floor division for negative numerators
        --q;
        r += d;
    }
    if (2 * r > d || (2 * r == d && (q & 1) != 0))
        ++q;
    return q;
}

void TCells::SetWidth(int w) {
    Width = w;
    Layout();
}
void TCells::SetHeight(int h) {
    Height = h;
    Layout();
}
void TCells::SetCount(int n) {
    Count = n;
    Layout();
}
void TCells::SetLevels(int n) {
    Levels = n;
    Layout();
}
void TCells::SetScale(int n) {
    Scale = std::clamp(n, MinScale, MaxScale);
    Layout();
}

void TCells::Layout() {
    Cols = Rows = CellWidth = CellHeight = 0;
    InnerWidth = LineHeight = 0;
    FColumns.clear();
    FRows.clear();
    const std::int64_t levels = std::clamp(Levels, 0, 4);
    const std::int64_t n = std::max<std::int64_t>(std::clamp(Count, 0, FieldSlots), Scale);
    if (n < 1 || Width < 1 || Height < 1)
        return;
    // From one row of n tiles, halve the columns while two rows of the
    // resulting tiles still stay below the height.
    std::int64_t d = 0, c = 0, b = 0;
    bool found = false;
    for (int k = 0; k < 62; ++k) {
        d = n >> k;
        if (d == 0)
            break;
        c = Width / d;
        b = c * (levels + 1);
        if ((std::int64_t{2} << k) * b >= Height) {
            found = true;
            break;
        }
    }
    if (!found || c < 1)
        return;
    Cols = static_cast<int>(d);
    Rows = static_cast<int>((n + d - 1) / d);
    CellWidth = static_cast<int>(c);
    CellHeight = static_cast<int>(b);
    const int mx = CellWidth / 15, my = 3 * mx;

    FColumns.reserve(Ix(Cols));
    std::int64_t u = 0;
    int x = 0;
    for (int i = 0; i < Cols; ++i) {
        const int wi = static_cast<int>(RoundHalfEven(Width - u, Cols - i));
        u += wi;
        FColumns.push_back({x, x + wi, x + mx, x + wi - mx});
        InnerWidth = wi - 2 * mx;
        x += wi;
    }
    FRows.reserve(Ix(Rows));
    std::int64_t v = 0;
    int y = 0;
    for (int r = 0; r < Rows; ++r) {
        const int hr =
            static_cast<int>(std::min<std::int64_t>(RoundHalfEven(Height - v, Rows - r), b));
        v += hr;
        const int innerTop = y + my, innerBottom = y + hr - my;
        const int lh = (innerBottom - innerTop - 2) / static_cast<int>(2 * levels + 2);
        FRows.push_back({y, y + hr, innerTop, innerBottom, lh});
        LineHeight = lh;
        y += hr;
    }
}

TCellRect TCells::GetCell(int index) const {
    TCellRect cell;
    if (index < 0 || index >= CellCount())
        return cell;
    const TColumn& c = FColumns[Ix(ColOf(index))];
    const TRow& r = FRows[Ix(RowOf(index))];
    cell.Outer = {c.OuterLeft, r.OuterTop, c.OuterRight, r.OuterBottom};
    cell.Inner = {c.InnerLeft, r.InnerTop, c.InnerRight, r.InnerBottom};
    const int lh = r.LineHeight;
    cell.Line1 = {c.InnerLeft, r.InnerTop, c.InnerRight, r.InnerTop + lh};
    cell.Line2 = {c.InnerLeft, r.InnerTop + lh, c.InnerRight, r.InnerTop + 2 * lh};
    const int levels = std::clamp(Levels, 0, 4);
    for (int j = 0; j < levels; ++j) {
        const int top1 = r.InnerBottom - 2 * lh * (levels - j);
        const TPreviewRect l1{c.InnerLeft, top1, c.InnerRight, top1 + lh + 1};
        cell.LevelLine1.push_back(l1);
        cell.LevelLine2.push_back({c.InnerLeft, l1.Bottom - 1, c.InnerRight, l1.Bottom - 1 + lh});
    }
    return cell;
}

int TCells::CellAt(int x, int y) const {
    if (Cols <= 0 || Rows <= 0)
        return -10;
    if (Count >= 1) {
        x = std::min(x, FColumns.back().OuterRight);
        y = std::min(y, FRows.back().OuterBottom);
    }
    for (int r = 0; r < Rows; ++r) {
        const TRow& row = FRows[Ix(r)];
        if (row.OuterTop <= y && y <= row.OuterBottom) {
            for (int c = 0; c < Cols; ++c)
                if (FColumns[Ix(c)].OuterLeft <= x && x <= FColumns[Ix(c)].OuterRight)
                    return c + r * Cols;
            return -10;
        }
    }
    return -10;
}

QFont PreviewFitFont(const QString& text, int innerWidth, int lineHeight) {
    auto make = [](int size) {
        QFont f(QString::fromLatin1(size > 7 ? "MS Sans Serif" : "Small Fonts"));
        f.setPointSize(size);
        f.setBold(true);
        return f;
    };
    // Measured on an image, as the tiles are painted.
    static const QImage device(1, 1, QImage::Format_RGB32);
    int size = 3;
    QFontMetrics fm(make(size), &device);
    while (fm.horizontalAdvance(text) < innerWidth - 2 && fm.height() < lineHeight - 2) {
        ++size;
        if (size > 14)
            break;
        fm = QFontMetrics(make(size), &device);
    }
    return make(std::max(size - 1, 1));
}

void PaintPreviewTile(QImage& picture, const TCellRect& cell, const TTileContent& content,
                      const std::function<QFont(const QString&)>& fit) {
    const QSize size(std::max(cell.Outer.Width(), 0) + 1, std::max(cell.Outer.Height(), 0) + 1);
    if (picture.size() != size)
        picture = QImage(size, QImage::Format_RGB32);
    picture.fill(ToQColor(clr::Silver));
    QPainter p(&picture);
    p.translate(-cell.Outer.Left, -cell.Outer.Top);
    const TPreviewRect& in = cell.Inner;
    Box(p, {in.Left, in.Top, in.Right + 1, in.Bottom + 1}, clr::White, clr::Black);
    Centred(p, cell.Line1, content.Number, fit(content.Number), clr::Black);
    Centred(p, cell.Line2, content.Name, fit(content.Name), clr::Black);
    const std::size_t bands = std::min(content.Bands.size(), cell.LevelLine1.size());
    for (std::size_t j = 0; j < bands; ++j) {
        const TTileBand& band = content.Bands[j];
        for (const TPreviewRect* line : {&cell.LevelLine1[j], &cell.LevelLine2[j]}) {
            Box(p, {line->Left + 1, line->Top + 1, line->Right, line->Bottom}, band.Back,
                band.Back);
            const QString& text = line == &cell.LevelLine1[j] ? band.Number : band.Name;
            Centred(p, *line, text, fit(text), band.Ink);
        }
    }
    if (bands > 0) {
        const TPreviewRect& first = cell.LevelLine1[0];
        if (first.Right - 1 >= first.Left) {
            p.setPen(Qt::black);
            p.drawLine(first.Left, first.Top - 1, first.Right - 1, first.Top - 1);
        }
    }
}

TPreviewFieldParams::TPreviewFieldParams() : LevelColors(StandardLevelColors()) {
    for (int o = 0; o < FieldSlots; ++o)
        Status[Ix(o)].fill(o);
}

TPreviewField::TPreviewField(QWidget* parent, const TPreviewFieldParams* params) : QWidget(parent) {
    setObjectName(QStringLiteral("PreviewField"));
    if (params)
        FParams = *params;
    FParams.Inputs = std::clamp(FParams.Inputs, 0, FieldSlots - 1);
    FParams.Outputs = std::clamp(FParams.Outputs, 0, FieldSlots - 1);
    FParams.LevelCount = std::clamp(FParams.LevelCount, 0, 4);
    setAttribute(Qt::WA_OpaquePaintEvent);
    Relayout();
}

void TPreviewField::Relayout() {
    int levels = 0;
    for (int k = 0; k < FParams.LevelCount; ++k)
        levels += FParams.Visible[Ix(k)] ? 1 : 0;
    FCells.SetWidth(width() - 1);
    FCells.SetHeight(height() - 1);
    FCells.SetCount(FParams.Outputs);
    FCells.SetLevels(levels);
    if (FFontCache.size() > 4096)
        FFontCache.clear();
}

void TPreviewField::SetSize(int inputs, int outputs) {
    FParams.Inputs = std::clamp(inputs, 0, FieldSlots - 1);
    FParams.Outputs = std::clamp(outputs, 0, FieldSlots - 1);
    Relayout();
    update();
}

void TPreviewField::SetLevelCount(int n) {
    FParams.LevelCount = std::clamp(n, 0, 4);
    Relayout();
    update();
}

void TPreviewField::SetLevelColors(const std::array<TColor, 4>& colours) {
    FParams.LevelColors = colours;
    update();
}

void TPreviewField::SetTextColors(const std::array<TColor, 4>& colours) {
    FParams.TextColors = colours;
    update();
}

void TPreviewField::SetLevelsAway(std::uint32_t packed) {
    FParams.Away = UnpackLevelFlags(packed);
    update();
}

void TPreviewField::SetVisible(std::uint32_t packed) {
    FParams.Visible = UnpackLevelFlags(packed);
    Relayout();
    update();
}

void TPreviewField::SetScale(int n) {
    FCells.SetScale(n);
    update();
}

void TPreviewField::SetInputName(int i, const QString& text) {
    if (i >= 0 && i < FieldSlots)
        FParams.InputNames[Ix(i)] = text.left(MaxNameChars);
}

void TPreviewField::SetOutputName(int o, const QString& text) {
    if (o < 0 || o >= FieldSlots)
        return;
    FParams.OutputNames[Ix(o)] = text.left(MaxNameChars);
    RepaintTile(o);
}

QString TPreviewField::GetInputName(int i) const {
    return i >= 0 && i < FieldSlots ? FParams.InputNames[Ix(i)] : QString();
}

QString TPreviewField::GetOutputName(int o) const {
    return o >= 0 && o < FieldSlots ? FParams.OutputNames[Ix(o)] : QString();
}

TLevelValues TPreviewField::GetStatus(int o) const {
    return o >= 0 && o < FieldSlots ? FParams.Status[Ix(o)] : TLevelValues{};
}

void TPreviewField::SetStatus(int o, const TLevelValues& values) {
    if (o < 0 || o >= FieldSlots)
        return;
    TLevelValues& stored = FParams.Status[Ix(o)];
    bool same = true;
    for (int k = 0; k < FParams.LevelCount; ++k)
        same = same && stored[Ix(k)] == values[Ix(k)];
    if (same)
        return;
    stored = values;
    RepaintTile(o);
}

TTileContent TPreviewField::Content(int o) const {
    TTileContent c;
    if (o < 0 || o >= FParams.Outputs)
        return c;
    c.Number = QString::number(o + 1);
    c.Name = FParams.OutputNames[Ix(o)];
    for (int k = 0; k < FParams.LevelCount; ++k) {
        if (!FParams.Visible[Ix(k)])
            continue;
        const std::int32_t i = FParams.Status[Ix(o)][Ix(k)];
        TTileBand band;
        // What a switcher that does not answer holds is not known: grey.
        band.Back = FParams.Away[Ix(k)] ? RGBColor(0x80, 0x80, 0x80) : FParams.LevelColors[Ix(k)];
        band.Ink = FParams.Away[Ix(k)] ? clr::Silver : FParams.TextColors[Ix(k)];
        band.Number = QString::number(static_cast<std::int64_t>(i) + 1);
        // An input the switcher reports outside the table has no name.
        if (i >= 0 && i < FieldSlots)
            band.Name = FParams.InputNames[Ix(i)];
        c.Bands.push_back(band);
    }
    return c;
}

void TPreviewField::RepaintTile(int o) {
    if (o < 0 || o >= FParams.Outputs || o >= FCells.CellCount())
        return;
    if (OnRepaintTile)
        OnRepaintTile(o);
    const TPreviewRect r = FCells.GetCell(o).Outer;
    update(QRect(r.Left, r.Top, r.Width() + 1, r.Height() + 1));
}

QFont TPreviewField::Fit(const QString& text) {
    const QString key = text + QChar(1) + QString::number(FCells.InnerWidth) + QChar(1) +
                        QString::number(FCells.LineHeight);
    if (const auto it = FFontCache.constFind(key); it != FFontCache.constEnd())
        return *it;
    const QFont f = PreviewFitFont(text, FCells.InnerWidth, FCells.LineHeight);
    if (FFontCache.size() > 4096)
        FFontCache.clear();
    FFontCache.insert(key, f);
    return f;
}

void TPreviewField::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    const QRect area = e->rect();
    p.fillRect(area, ToQColor(clr::Silver));
    const int first = FCells.CellAt(area.left(), area.top());
    const int last = FCells.CellAt(area.right(), area.bottom());
    if (first < 0 || last < 0)
        return;
    const auto fit = [this](const QString& text) { return Fit(text); };
    for (int r = FCells.RowOf(first); r <= FCells.RowOf(last); ++r)
        for (int c = FCells.ColOf(first); c <= FCells.ColOf(last); ++c) {
            const int o = FCells.IndexOf(c, r);
            if (o < 0 || o >= FParams.Outputs)
                continue;
            const TCellRect cell = FCells.GetCell(o);
            PaintPreviewTile(FScratch, cell, Content(o), fit);
            p.drawImage(cell.Outer.Left, cell.Outer.Top, FScratch);
        }
}

void TPreviewField::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Relayout();
    update();
}
