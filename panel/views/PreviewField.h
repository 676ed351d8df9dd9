#pragma once

#include "FieldState.h"
#include "Look.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// A rectangle by its edges; right and bottom are the first pixel outside, as
// the tile geometry is planned.
struct TPreviewRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TPreviewRect&) const = default;
};

// Geometry of one tile, in surface pixels.
struct TCellRect {
    TPreviewRect Outer, Inner, Line1, Line2;
    std::vector<TPreviewRect> LevelLine1, LevelLine2; // one per visible level
};

// n / d rounded to the nearest integer, halves to even (d > 0).
std::int64_t RoundHalfEven(std::int64_t n, std::int64_t d);

// Tile layout of the preview: at least Scale tiles in rows, column widths and
// row heights spread so the tiles fill the area. No layout (Cols = 0) when the
// area, the tile count or the planned tile size is empty.
class TCells {
public:
    static constexpr int MinScale = 1;
    static constexpr int MaxScale = 4096;

    void SetWidth(int w);
    void SetHeight(int h);
    void SetCount(int n);
    void SetLevels(int n);
    // The smallest number of tiles planned for, clamped to MinScale..MaxScale.
    void SetScale(int n);

    TCellRect GetCell(int index) const;
    TCellRect GetCellAt(int col, int row) const { return GetCell(IndexOf(col, row)); }
    int IndexOf(int col, int row) const { return col + row * Cols; }
    int ColOf(int index) const { return Cols > 0 ? index % Cols : 0; }
    int RowOf(int index) const { return Cols > 0 ? index / Cols : 0; }
    // The tile containing the point (shared edges belong to the upper or left
    // tile), or -10.
    int CellAt(int x, int y) const;
    int CellCount() const { return Cols * Rows; }

    int Width = 0, Height = 0, Count = 0, Levels = 0, Scale = 64;
    int Cols = 0, Rows = 0, CellWidth = 0, CellHeight = 0, InnerWidth = 0, LineHeight = 0;

private:
    void Layout();
    struct TColumn {
        int OuterLeft, OuterRight, InnerLeft, InnerRight;
    };
    struct TRow {
        int OuterTop, OuterBottom, InnerTop, InnerBottom, LineHeight;
    };
    std::vector<TColumn> FColumns;
    std::vector<TRow> FRows;
};

// What one tile shows.
struct TTileBand {
    TColor Back = clr::White, Ink = clr::Black;
    QString Number, Name;
};
struct TTileContent {
    QString Number, Name;
    std::vector<TTileBand> Bands; // the visible levels, in level order
};

// Fits a text to a line of the given limits: "Small Fonts" from 3 points up,
// "MS Sans Serif" above 7, at most 14 points.
QFont PreviewFitFont(const QString& text, int innerWidth, int lineHeight);

// Paints one tile into `picture` (resized to the tile's outer size plus one
// pixel; coordinates relative to the tile's top-left corner).
void PaintPreviewTile(QImage& picture, const TCellRect& cell, const TTileContent& content,
                      const std::function<QFont(const QString&)>& fit);

struct TPreviewFieldParams {
    TPreviewFieldParams();
    std::int32_t Inputs = 8;
    std::int32_t Outputs = 8;
    std::int32_t LevelCount = 4;
    std::array<TColor, 4> LevelColors{};
    std::array<TColor, 4> TextColors{};
    std::array<bool, 4> Visible{};
    std::array<bool, 4> Away{}; // levels whose switcher does not answer: grey
    std::array<QString, FieldSlots> InputNames, OutputNames;
    std::array<TLevelValues, FieldSlots> Status{};
};

// The preview: every output as a tile with its number and name and, per
// visible level, the input the switcher reports on it. It only displays.
class TPreviewField : public QWidget {
    Q_OBJECT
public:
    explicit TPreviewField(QWidget* parent = nullptr, const TPreviewFieldParams* params = nullptr);

    void SetSize(int inputs, int outputs);
    void SetLevelCount(int n);
    void SetLevelColors(const std::array<TColor, 4>& colours);
    void SetTextColors(const std::array<TColor, 4>& colours);
    void SetVisible(std::uint32_t packed);
    void SetLevelsAway(std::uint32_t packed);
    void SetScale(int n);
    void SetInputName(int i, const QString& text);
    void SetOutputName(int o, const QString& text);
    QString GetInputName(int i) const;
    QString GetOutputName(int o) const;
    TLevelValues GetStatus(int o) const;
    void SetStatus(int o, const TLevelValues& values);

    const TPreviewFieldParams& Params() const { return FParams; }
    const TCells& Cells() const { return FCells; }
    // What tile o shows now.
    TTileContent Content(int o) const;

    // Called for every tile repaint requested; for tests and benchmarks.
    std::function<void(int)> OnRepaintTile;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void Relayout();
    void RepaintTile(int o);
    QFont Fit(const QString& text);

    TPreviewFieldParams FParams;
    TCells FCells;
    QImage FScratch;
    QHash<QString, QFont> FFontCache;
};
