#pragma once

#include "Look.h"

#include <QRect>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

// The selector's state: per level (index k - 1 for level k) its colour, its
// VISIBLE and CONTROL toggles, whether its row reacts, and its name.
struct TLevelParams {
    TLevelParams();
    std::int32_t LevelCount = 4;
    std::array<TColor, 4> LevelColors{};
    std::array<bool, 4> Visible{true, true, true, true};
    std::array<bool, 4> Control{true, true, true, true};
    std::array<bool, 4> Enabled{true, true, true, true};
    std::array<QString, 4> LevelNames;
};

// Geometry of one row, in the row container's coordinates.
struct TLevelRowRects {
    QRect Visible, Name, Control;
};

struct TLevelLayout {
    QRect LeftStrip, RightStrip, Container; // selector coordinates
    int Toggle = 0;                         // v, the toggle's side
    std::array<TLevelRowRects, 4> Rows;     // rows 1..levelCount in use
    int PreferredHeight = 0;
};

// Lays out a selector of the given size: caption strips rowHeight wide at both
// edges, rows of rowHeight centred vertically between them. captionWidth is the
// width of " CONTROL " in the caption font. levelCount is clamped to 0..4.
TLevelLayout LevelControlLayout(int width, int height, int rowHeight, int levelCount,
                                int captionWidth);

class TLevelToggle;
class TLevelNameCell;
class TLevelCaptionStrip;

// The DISPLAY section's level list: per level a VISIBLE toggle, the name in the
// level's colour and a CONTROL toggle. It holds and shows the flags; the owner
// forwards changes through the two events.
class TLevelControl : public QWidget {
    Q_OBJECT
public:
    explicit TLevelControl(QWidget* parent = nullptr, const TLevelParams* params = nullptr);
    ~TLevelControl() override;

    void SetLevelCount(int n);
    int GetLevelCount() const { return FParams.LevelCount; }
    std::uint32_t GetVisible() const;
    void SetVisible(std::uint32_t flags);
    std::uint32_t GetControl() const;
    void SetControl(std::uint32_t flags);
    std::uint32_t GetEnabled() const;
    void SetEnabled(std::uint32_t flags);
    QString GetLevelName(int k) const;
    void SetLevelName(int k, const QString& text);
    void SetLevelColors(const std::array<TColor, 4>& colours);
    int GetPreferredHeight() const;
    int RowHeight() const { return FRowHeight; }
    const TLevelParams& Params() const { return FParams; }

    // Row k's widgets (null for a row that does not exist); for tests.
    QWidget* VisibleToggle(int k) const;
    QWidget* ControlToggle(int k) const;
    QWidget* NameCell(int k) const;

    std::function<void(TLevelControl*, int)> OnVisibleChange;
    std::function<void(TLevelControl*, int)> OnControlChange;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    friend class TLevelToggle;
    friend class TLevelNameCell;
    struct TRow {
        TLevelNameCell* Name = nullptr;
        TLevelToggle* Visible = nullptr;
        TLevelToggle* Control = nullptr;
    };
    void Relayout();
    void RefreshToggles();
    void TogglePressed(bool control, int k);
    int CaptionWidth() const;

    TLevelParams FParams;
    int FRowHeight = 0;
    TColor FBackColor = clr::Silver;
    bool FCreating = false;
    std::array<TRow, 4> FRows{};
    TLevelCaptionStrip* FLeftStrip = nullptr;
    TLevelCaptionStrip* FRightStrip = nullptr;
    QWidget* FContainer = nullptr;
};
