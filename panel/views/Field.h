#pragma once

#include "CrossPoints.h"
#include "FieldGeometry.h"
#include "LogoPicture.h"
#include "Look.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

class QScrollArea;
class QTimer;
class TFieldSurface;

// Panes of the field, each a viewport over one drawing surface.
enum class TFieldPane {
    InputLogo,
    InputName,
    InputArrow,
    OutputLogo,
    OutputName,
    Monitor,
    Lock,
    OutputArrow,
    Grid,
    Corner
};

// The cross-point field: inputs as columns, outputs as rows, one colour per
// level. It draws the cross-points it is given (or its own when none is) and
// hands the operator's clicks to them.
// Names longer than this are cut when handed to the field: far more than any
// cell shows, and a hand-edited megabyte name cannot stall every repaint.
constexpr int MaxNameChars = 400;

class TField : public QWidget {
    Q_OBJECT
public:
    using TDataSArray = std::array<QString, FieldSlots>;

    explicit TField(QWidget* parent = nullptr, TCrossPoints* crossPoints = nullptr);
    ~TField() override;

    // Shape.
    void SetSize(int inputs, int outputs);
    int GetInputCount() const { return FState.Inputs(); }
    int GetOutputCount() const { return FState.Outputs(); }
    int GetLevelCount() const { return FState.LevelCount(); }
    void SetLevelCount(int n);
    int GetScale() const { return FScale; }
    void SetScale(int n);
    void SetLevelColors(const std::array<TColor, 4>& colours);
    TColor LevelColor(int level) const { return FLevelColors[static_cast<std::size_t>(level - 1)]; }
    void SetVisible(std::uint32_t packed);
    std::uint32_t GetControl() const { return FState.Control(); }
    void SetControl(std::uint32_t packed);
    // Repaints every mark: after a change of what the marks show beyond the
    // cross-points (switchers lost or back).
    void RedrawAllMarks() { RedrawMarks(); }
    void SetPresetMode(bool on) { FCross.SetPresetMode(on); }
    bool PresetMode() const { return FCross.PresetMode(); }

    // Cross-point state.
    TLevelValues GetStatus(int row) const { return FState.Status(row); }
    TLevelValues GetPreset(int row) const { return FState.Preset(row); }
    void SetStatus(int row, const TLevelValues& values) { ApplyStatus(row, values, true); }
    void SetPreset(int row, const TLevelValues& values) { ApplyPreset(row, values, true); }
    std::uint32_t GetLock(int row) const { return FState.Lock(row); }
    void SetLock(int row, std::uint32_t lockBytes) { FCross.SetLock(row, lockBytes); }
    TLevelValues GetMonitor() const { return FState.Monitor(); }
    void SetMonitor(const TLevelValues& values) { ApplyMonitor(values, true); }

    void ApplyStatus(int row, const TLevelValues& values, bool force) {
        FCross.ApplyStatus(row, values, force);
    }
    void ApplyPreset(int row, const TLevelValues& values, bool force) {
        FCross.ApplyPreset(row, values, force);
    }
    void ApplyMonitor(const TLevelValues& values, bool force) {
        FCross.ApplyMonitor(values, force);
    }
    void RedrawMarks();

    // Texts and logos, index 0..256.
    QString GetInputNumber(int i) const;
    QString GetInputName(int i) const;
    void SetInputName(int i, const QString& text);
    QString GetOutputNumber(int o) const;
    QString GetOutputName(int o) const;
    void SetOutputName(int o, const QString& text);
    QString GetInputLogo(int i) const;
    // With `deferred`, the picture is decoded later, a few at a time (an import
    // naming hundreds of large pictures must not stall the window).
    void SetInputLogo(int i, const QString& path, bool deferred = false);
    QString GetOutputLogo(int o) const;
    void SetOutputLogo(int o, const QString& path, bool deferred = false);
    // Logos named but not decoded yet.
    int PendingLogoCount() const { return static_cast<int>(FPendingLogos.size()); }
    void CopyInputLogo(int i, QImage& picture) const;
    void CopyOutputLogo(int o, QImage& picture) const;

    // Scrolling and hover.
    void ScrollColumns(int n);
    void ScrollRows(int n);
    void ScrollToRow(int row);
    void SetHoverCol(int c);
    void SetHoverRow(int r);
    int HoverCol() const { return FHoverCol; }
    int HoverRow() const { return FHoverRow; }
    TCellRange VisibleCells() const;
    const TFieldGeometry& Geometry() const { return FGeom; }

    // The state the poll engine reads from its own thread.
    const TFieldState& State() const { return FState; }
    TCrossPoints& CrossPoints() { return FCross; }

    bool Interactive = true;

    // Events; each fires only when assigned.
    std::function<void(TField*, int)> OnInputNameDblClick;
    std::function<void(TField*, int)> OnOutputNameDblClick;
    std::function<void(QWidget*, QPoint, int, int)> OnCellHover;
    std::function<void(QWidget*)> OnHoverLeave;
    // Called for every cell repaint requested (pane, column, row); for tests and benchmarks.
    std::function<void(TFieldPane, int, int)> OnRepaintCell;

    // Paints one cell into a fresh image (what the surface shows there).
    QImage RenderCell(TFieldPane pane, int col, int row);
    // Cells that look alike are painted once per look and then copied; off,
    // every cell is painted by its own painter (the reference for the copies).
    void SetLookCache(bool on);
    bool LookCache() const { return FLookCacheOn; }
    QWidget* Surface(TFieldPane pane) const;
    QWidget* Viewport(TFieldPane pane) const;

    // Mouse handling of the surfaces, surface coordinates.
    void SurfaceMouseMove(TFieldPane pane, QPoint pos);
    void SurfaceLeave(TFieldPane pane);
    void SurfaceEnter(TFieldPane pane);
    void SurfacePress(TFieldPane pane, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void SurfaceDoubleClick(TFieldPane pane);
    void PaintSurface(TFieldPane pane, QPainter& p, const QRegion& region);

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void Relayout();
    void FollowScroll();
    void RefreshHover(bool remember);
    void RepaintCell(TFieldPane pane, int col, int row);
    void RepaintAll();
    void BuildPatterns();
    // Draws logo `index` into its strip. With `deferred`, a picture not yet
    // decoded is left as the plain square and queued: RenderPendingLogos
    // decodes the queue a little at a time, so a size change naming many
    // large pictures never stalls the window.
    void RenderLogo(bool input, int index, bool deferred = false);
    void RenderPendingLogos();
    std::vector<std::pair<bool, int>> FPendingLogos;
    QTimer* FLogoTimer = nullptr;
    void PaintCell(QPainter& p, TFieldPane pane, int col, int row);
    void PaintGrid(QPainter& p, int i, int o);
    void PaintName(QPainter& p, bool input, int index);
    void PaintArrow(QPainter& p, bool input, int index);
    void PaintLogo(QPainter& p, bool input, int index);
    void PaintLock(QPainter& p, int o);
    void PaintMonitor(QPainter& p, int o);
    void PaintCorner(QPainter& p, int col, int row);
    // held: a preset mark a TAKE would leave as it is (outlined in red);
    // marks of a level whose switcher does not answer are grey.
    void PaintMarks(QPainter& p, const std::array<int, 4>& levels,
                    const std::array<bool, 4>& preset, int n, const std::array<bool, 4>& held = {});
    bool HeldPreset(int row, int level) const;
    void PaintRing(QPainter& p, const std::array<int, 4>& levels, int q, TColor ink);
    void CellBase(QPainter& p, TColor back, TColor frame);
    QFont FitFont(const QString& text);
    std::uint64_t CellLook(TFieldPane pane, int col, int row) const;
    const QImage& CellImage(TFieldPane pane, int col, int row);
    // Paints one cell into FScratch.
    void PaintScratch(TFieldPane pane, int col, int row);
    void ForgetLooks();

    std::unique_ptr<TCrossPoints> FOwnCross; // when none is given
    TCrossPoints& FCross;
    const TFieldState& FState;
    int FScale = 4;
    TFieldGeometry FGeom;
    std::array<TColor, 4> FLevelColors;
    std::array<QImage, 4> FPatterns;
    int FHoverCol = -10, FHoverRow = -10, FPrevHoverCol = -10, FPrevHoverRow = -10;
    Qt::KeyboardModifiers FLockShift;
    TDataSArray FInputNames, FOutputNames, FInputLogos, FOutputLogos;
    logo::TCache FLogoCache;
    QImage FScratch;
    bool FLookCacheOn = true;
    std::unordered_map<std::uint64_t, QImage> FLooks; // look -> its painted cell
    QImage FBand;                                     // one row of cells on its way out
    QImage FInputStrip, FOutputStrip;
    QHash<QString, QFont> FFontCache;
    int FFontCacheSize = 0;

    QScrollArea* FGridArea;
    std::array<QWidget*, 10> FViewports{};
    std::array<TFieldSurface*, 10> FSurfaces{};
};

// Standard level colours: red, green, blue, yellow.
std::array<TColor, 4> StandardLevelColors();
