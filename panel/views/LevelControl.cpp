#include "LevelControl.h"

#include "Field.h"
#include "FieldState.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

constexpr TColor DisabledGrey = RGBColor(128, 128, 128);

QFont SelectorFont() {
    QFont f(QStringLiteral("Courier New"));
    f.setPointSize(8);
    return f;
}

std::size_t Slot(int k) {
    return static_cast<std::size_t>(k - 1);
}

} // namespace

TLevelParams::TLevelParams() : LevelColors(StandardLevelColors()) {
    for (int k = 1; k <= 4; ++k)
        LevelNames[Slot(k)] = QStringLiteral("LEVEL") + QString::number(k);
}

TLevelLayout LevelControlLayout(int width, int height, int rowHeight, int levelCount,
                                int captionWidth) {
    TLevelLayout l;
    const int n = std::clamp(levelCount, 0, 4);
    const int rh = std::max(rowHeight, 0);
    width = std::max(width, 0);
    height = std::max(height, 0);
    l.LeftStrip = QRect(0, 0, rh, height);
    l.RightStrip = QRect(width - rh, 0, rh, height);
    const int containerWidth = std::max(0, width - 2 * rh);
    l.Container = QRect(rh, 0, containerWidth, height);
    const int v = (2 * rh) / 3, b = v / 2;
    l.Toggle = v;
    const int top = height / 2 - (rh * n) / 2;
    for (int k = 1; k <= n; ++k) {
        TLevelRowRects& r = l.Rows[Slot(k)];
        const int y = top + (k - 1) * rh + rh / 2 - b;
        r.Visible = QRect(b, y, v, v);
        r.Control = QRect(containerWidth - v - b, y, v, v);
        // On a narrow selector the toggles may overlap: the name cell is then empty.
        const int nameLeft = r.Visible.x() + v;
        r.Name = QRect(nameLeft, top + (k - 1) * rh, std::max(0, r.Control.x() - nameLeft), rh);
    }
    l.PreferredHeight = captionWidth;
    if (n >= 1)
        l.PreferredHeight =
            std::max(captionWidth, l.Rows[Slot(n)].Visible.y() - l.Rows[0].Visible.y() + 3 * v);
    return l;
}

// A rounded square toggle; tag k is its level.
class TLevelToggle : public QWidget {
public:
    TLevelToggle(TLevelControl* owner, QWidget* parent, bool control, int k)
        : QWidget(parent), FOwner(owner), FControl(control), Tag(k) {
        setObjectName(QStringLiteral("%1Toggle%2")
                          .arg(control ? QStringLiteral("Control") : QStringLiteral("Visible"))
                          .arg(k));
    }
    void SetLook(TColor fill, TColor outline, bool hand) {
        FFill = fill;
        FOutline = outline;
        setCursor(hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
    TColor Fill() const { return FFill; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(ToQColor(FOutline));
        p.setBrush(ToQColor(FFill));
        const qreal r = width() / 4.0;
        p.drawRoundedRect(QRectF(0.5, 0.5, width() - 1, height() - 1), r, r);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            FOwner->TogglePressed(FControl, Tag);
    }

private:
    TLevelControl* FOwner;
    bool FControl;
    TColor FFill = clr::Silver, FOutline = DisabledGrey;

public:
    const int Tag;
};

// A level's name, centred, in the level's colour (grey while the row is disabled).
class TLevelNameCell : public QWidget {
public:
    TLevelNameCell(TLevelControl* owner, QWidget* parent, int k)
        : QWidget(parent), FOwner(owner), Tag(k) {
        setObjectName(QStringLiteral("NameCell%1").arg(k));
        setFont(SelectorFont());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const TLevelParams& s = FOwner->FParams;
        p.fillRect(rect(), ToQColor(FOwner->FBackColor));
        const QString& text = s.LevelNames[Slot(Tag)];
        const QFontMetrics fm(font());
        const int x = width() / 2 - fm.horizontalAdvance(text) / 2;
        const int y = height() / 2 - fm.height() / 2;
        p.setPen(ToQColor(s.Enabled[Slot(Tag)] ? s.LevelColors[Slot(Tag)] : DisabledGrey));
        p.drawText(x, y + fm.ascent(), text);
    }

private:
    TLevelControl* FOwner;

public:
    const int Tag;
};

// A caption strip with its text rotated: upwards on the left, downwards on the right.
class TLevelCaptionStrip : public QWidget {
public:
    TLevelCaptionStrip(QWidget* parent, QString text, bool left, TColor back)
        : QWidget(parent), FText(std::move(text)), FLeft(left), FBack(back) {
        setFont(SelectorFont());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), ToQColor(FBack));
        QFont f = font();
        f.setBold(false);
        p.setFont(f);
        const QFontMetrics fm(f);
        const int tw = fm.horizontalAdvance(FText), th = fm.height();
        p.setPen(Qt::black);
        if (FLeft) {
            p.translate(width() / 2 - th / 2, height() / 2 + tw / 2);
            p.rotate(-90);
        } else {
            p.translate(width() / 2 + th / 2, height() / 2 - tw / 2);
            p.rotate(90);
        }
        p.drawText(0, fm.ascent(), FText);
    }

private:
    QString FText;
    bool FLeft;
    TColor FBack;
};

TLevelControl::TLevelControl(QWidget* parent, const TLevelParams* params) : QWidget(parent) {
    FCreating = true;
    if (params)
        FParams = *params;
    FParams.LevelCount = std::clamp(FParams.LevelCount, 0, 4);
    setObjectName(QStringLiteral("LevelControl"));
    setFont(SelectorFont());
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(FBackColor));
    setPalette(pal);
    FRowHeight = QFontMetrics(SelectorFont()).height() + 4;
    FLeftStrip = new TLevelCaptionStrip(this, QStringLiteral("VISIBLE"), true, FBackColor);
    FRightStrip = new TLevelCaptionStrip(this, QStringLiteral("CONTROL"), false, FBackColor);
    FContainer = new QWidget(this);
    FContainer->setObjectName(QStringLiteral("LevelRows"));
    FContainer->setFont(SelectorFont());
    const int n = FParams.LevelCount;
    FParams.LevelCount = 0;
    SetLevelCount(n);
    FCreating = false;
    Relayout();
}

TLevelControl::~TLevelControl() = default;

void TLevelControl::SetLevelCount(int n) {
    n = std::clamp(n, 0, 4);
    for (int k = FParams.LevelCount; k > n; --k) {
        TRow& r = FRows[Slot(k)];
        delete std::exchange(r.Control, nullptr);
        delete std::exchange(r.Visible, nullptr);
        delete std::exchange(r.Name, nullptr);
    }
    for (int k = FParams.LevelCount + 1; k <= n; ++k) {
        TRow& r = FRows[Slot(k)];
        r.Name = new TLevelNameCell(this, FContainer, k);
        r.Visible = new TLevelToggle(this, FContainer, false, k);
        r.Control = new TLevelToggle(this, FContainer, true, k);
        for (QWidget* w : {static_cast<QWidget*>(r.Name), static_cast<QWidget*>(r.Visible),
                           static_cast<QWidget*>(r.Control)})
            w->show();
    }
    FParams.LevelCount = n;
    SetEnabled(GetEnabled());
    if (!FCreating)
        Relayout();
}

std::uint32_t TLevelControl::GetVisible() const {
    return PackLevelFlags(FParams.Visible);
}
void TLevelControl::SetVisible(std::uint32_t flags) {
    FParams.Visible = UnpackLevelFlags(flags);
    RefreshToggles();
}
std::uint32_t TLevelControl::GetControl() const {
    return PackLevelFlags(FParams.Control);
}
void TLevelControl::SetControl(std::uint32_t flags) {
    FParams.Control = UnpackLevelFlags(flags);
    RefreshToggles();
}
std::uint32_t TLevelControl::GetEnabled() const {
    return PackLevelFlags(FParams.Enabled);
}
void TLevelControl::SetEnabled(std::uint32_t flags) {
    FParams.Enabled = UnpackLevelFlags(flags);
    RefreshToggles();
}

QString TLevelControl::GetLevelName(int k) const {
    if (k < 1 || k > 4)
        return {};
    return FParams.LevelNames[Slot(k)];
}

void TLevelControl::SetLevelName(int k, const QString& text) {
    if (k < 1 || k > 4)
        return;
    FParams.LevelNames[Slot(k)] = text;
    if (FRows[Slot(k)].Name)
        FRows[Slot(k)].Name->update();
}

void TLevelControl::SetLevelColors(const std::array<TColor, 4>& colours) {
    FParams.LevelColors = colours;
    RefreshToggles();
}

int TLevelControl::CaptionWidth() const {
    return QFontMetrics(SelectorFont()).horizontalAdvance(QStringLiteral(" CONTROL "));
}

int TLevelControl::GetPreferredHeight() const {
    return LevelControlLayout(width(), height(), FRowHeight, FParams.LevelCount, CaptionWidth())
        .PreferredHeight;
}

QWidget* TLevelControl::VisibleToggle(int k) const {
    return k >= 1 && k <= 4 ? FRows[Slot(k)].Visible : nullptr;
}
QWidget* TLevelControl::ControlToggle(int k) const {
    return k >= 1 && k <= 4 ? FRows[Slot(k)].Control : nullptr;
}
QWidget* TLevelControl::NameCell(int k) const {
    return k >= 1 && k <= 4 ? FRows[Slot(k)].Name : nullptr;
}

void TLevelControl::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (!FCreating)
        Relayout();
}

void TLevelControl::Relayout() {
    const TLevelLayout l =
        LevelControlLayout(width(), height(), FRowHeight, FParams.LevelCount, CaptionWidth());
    FLeftStrip->setGeometry(l.LeftStrip);
    FRightStrip->setGeometry(l.RightStrip);
    FContainer->setGeometry(l.Container);
    for (int k = 1; k <= FParams.LevelCount; ++k) {
        const TRow& r = FRows[Slot(k)];
        r.Visible->setGeometry(l.Rows[Slot(k)].Visible);
        r.Control->setGeometry(l.Rows[Slot(k)].Control);
        r.Name->setGeometry(l.Rows[Slot(k)].Name);
    }
}

void TLevelControl::RefreshToggles() {
    for (int k = 1; k <= FParams.LevelCount; ++k) {
        const TRow& r = FRows[Slot(k)];
        const std::size_t i = Slot(k);
        const TColor on = FParams.LevelColors[i];
        if (FParams.Enabled[i]) {
            r.Visible->SetLook(FParams.Visible[i] ? on : clr::Silver, clr::Black, true);
            r.Control->SetLook(FParams.Control[i] ? on : clr::Silver, clr::Black, true);
        } else {
            r.Visible->SetLook(clr::Silver, DisabledGrey, false);
            r.Control->SetLook(clr::Silver, DisabledGrey, false);
        }
    }
    update();
    for (const TRow& r : FRows)
        if (r.Name)
            r.Name->update();
}

void TLevelControl::TogglePressed(bool control, int k) {
    if (k < 1 || k > FParams.LevelCount || !FParams.Enabled[Slot(k)])
        return;
    bool& flag = control ? FParams.Control[Slot(k)] : FParams.Visible[Slot(k)];
    flag = !flag;
    const TRow& r = FRows[Slot(k)];
    (control ? r.Control : r.Visible)
        ->SetLook(flag ? FParams.LevelColors[Slot(k)] : clr::Silver, clr::Black, true);
    const auto& handler = control ? OnControlChange : OnVisibleChange;
    if (handler)
        handler(this, k);
}
