#include "HdmiWindow.h"

#include "ColorTabBar.h"
#include "SpeedButton.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace {

constexpr TColor Lit = clr::Lime;
constexpr TColor Unlit = clr::Silver;
constexpr int DesignSliderMax = 404;
// The label of a reference switch whose reported value has no position.
const QString UnknownReference = QStringLiteral("?");
// Item data of a group list entry: which lamp it shows (0 none yet, 1 off, 2 on).
constexpr int LampRole = Qt::UserRole + 1;

QIcon LampIcon(bool on) {
    QPixmap p(12, 12);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setPen(Qt::black);
    g.setBrush(ToQColor(on ? clr::Lime : clr::Grey));
    g.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    return QIcon(p);
}

// A group list that reports every closing of its list, with a choice or
// without (Esc, a click outside), once Qt has handed the focus back.
class TGroupList : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> OnListClosed;

    void showPopup() override {
        QWidget* popup = view()->window();
        if (popup != FWatched) {
            popup->installEventFilter(this);
            FWatched = popup;
        }
        QComboBox::showPopup();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == FWatched && e->type() == QEvent::Hide && OnListClosed)
            QMetaObject::invokeMethod(
                this, [this] { OnListClosed(); }, Qt::QueuedConnection);
        return QComboBox::eventFilter(watched, e);
    }

private:
    QWidget* FWatched = nullptr;
};

// A click on the groove moves a slider straight to the point clicked.
class TJumpStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

int Clamp(int v, int lo, int hi) {
    return std::clamp(v, lo, std::max(lo, hi));
}

} // namespace

const std::array<const char*, 20>& DbfsLabels() {
    static const std::array<const char*, 20> l{"-30", "-26", "-24", "-22", "-20", "-18", "-16",
                                               "-14", "-12", "-10", "-9",  "-8",  "-7",  "-6",
                                               "-5",  "-4",  "-3",  "-2",  "-1",  "0"};
    return l;
}

const std::array<const char*, 21>& DbuLabels() {
    static const std::array<const char*, 21> l{"-16", "-14", "-12", "-10", "-8", "-6", "-5",
                                               "-4",  "-3",  "-2",  "-1",  "+0", "+1", "+2",
                                               "+3",  "+4",  "+5",  "+6",  "+7", "+8", "+9"};
    return l;
}

TLampLabel::TLampLabel(const QString& caption, QWidget* parent)
    : QWidget(parent), FCaption(caption) {
    setMinimumSize(34, 18);
}

void TLampLabel::SetLit(bool on) {
    if (on == FLit)
        return;
    FLit = on;
    update();
}

void TLampLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    p.setBrush(ToQColor(FLit ? clr::Lime : clr::Grey));
    p.drawEllipse(QRectF(1.5, (height() - 13) / 2.0, 12, 12));
    p.drawText(rect().adjusted(18, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, FCaption);
}

THdmiWindow::THdmiWindow(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("HdmiWindow"));
    setWindowTitle(QStringLiteral("HDMI MONITOR"));
    FLamps = {LampIcon(false), LampIcon(true)};
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    HdmiTab = new TColorTabBar(this);
    HdmiTab->setObjectName(QStringLiteral("HdmiTab"));
    layout->addWidget(HdmiTab);

    auto group = [&](const char* caption) {
        auto* g = new QGroupBox(QString::fromLatin1(caption), this);
        layout->addWidget(g);
        return g;
    };
    auto button = [](QWidget* parent, const char* name, const char* caption) {
        auto* b = new TSpeedButton(parent);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(QString::fromLatin1(caption));
        b->setFixedSize(65, 17);
        b->SetHandPointer(true);
        return b;
    };

    QGroupBox* standard = group("INPUT STANDARD");
    StateSTD = new QLabel(standard);
    // The standard's name comes from the switcher: shown as it is, never as markup.
    StateSTD->setTextFormat(Qt::PlainText);
    StateSTD->setObjectName(QStringLiteral("StateSTD"));
    StateSTD->setFocusPolicy(Qt::StrongFocus);
    StateSTD->setMinimumWidth(200);
    (new QHBoxLayout(standard))->addWidget(StateSTD);

    QGroupBox* groups = group("AUDIO GROUPS");
    auto* gl = new QHBoxLayout(groups);
    for (int g = 0; g < 4; ++g) {
        StateGR[static_cast<std::size_t>(g)] = new TLampLabel(QString::number(g + 1), groups);
        StateGR[static_cast<std::size_t>(g)]->setObjectName(QStringLiteral("StateGR%1").arg(g));
        gl->addWidget(StateGR[static_cast<std::size_t>(g)]);
    }

    auto meter = [&](int m, TSpeedButton*& on, QComboBox*& list, QSlider*& slider) {
        QGroupBox* box = group(m == 0 ? "VU METER 1" : "VU METER 2");
        auto* l = new QHBoxLayout(box);
        on = button(box, m == 0 ? "SBtnMETER0" : "SBtnMETER1", "ON");
        auto* groupList = new TGroupList(box);
        // Closing the list, chosen or not, hands the focus back, so that no
        // later arrow key changes the group unseen.
        groupList->OnListClosed = [this] { StateSTD->setFocus(); };
        list = groupList;
        list->setObjectName(QStringLiteral("StateGRS%1").arg(m));
        for (int g = 1; g <= 4; ++g)
            list->addItem(FLamps[0], QStringLiteral("GROUP%1").arg(g));
        list->setCurrentIndex(-1);
        slider = new QSlider(Qt::Horizontal, box);
        slider->setObjectName(QStringLiteral("StateX%1").arg(m));
        slider->setRange(0, DesignSliderMax);
        slider->setSingleStep(1);
        slider->setPageStep(10);
        slider->setTickPosition(QSlider::TicksBelow);
        slider->setTickInterval(DesignSliderMax / 5);
        slider->setMinimumWidth(160);
        l->addWidget(on);
        l->addWidget(list);
        l->addWidget(slider);
    };
    meter(0, SBtnMETER0, StateGRS0, StateX0);
    meter(1, SBtnMETER1, StateGRS1, StateX1);

    QGroupBox* scale = group("VU METER SCALE");
    auto* sl = new QGridLayout(scale);
    SBtnDBFS = button(scale, "SBtnDBFS", "DBFS");
    SBtnDBU = button(scale, "SBtnDBU", "DBU");
    auto position = [&](const char* name, int positions, QSlider*& s, QLabel*& label) {
        s = new QSlider(Qt::Horizontal, scale);
        s->setObjectName(QString::fromLatin1(name));
        s->setRange(0, positions - 1);
        s->setSingleStep(1);
        s->setPageStep(3);
        s->setTickPosition(QSlider::TicksBelow);
        s->setTickInterval(1);
        label = new QLabel(scale);
        label->setTextFormat(Qt::PlainText);
        label->setMinimumWidth(30);
    };
    position("StateDBFSN", 20, StateDBFSN, LabelDBFSN);
    position("StateDBUN", 21, StateDBUN, LabelDBUN);
    sl->addWidget(SBtnDBFS, 0, 0);
    sl->addWidget(StateDBFSN, 0, 1);
    sl->addWidget(LabelDBFSN, 0, 2);
    sl->addWidget(SBtnDBU, 1, 0);
    sl->addWidget(StateDBUN, 1, 1);
    sl->addWidget(LabelDBUN, 1, 2);

    QGroupBox* stream = group("3G LEVEL B");
    auto* stl = new QHBoxLayout(stream);
    SBtnHdmi0 = button(stream, "SBtnHdmi0", "Stream 1");
    SBtnHdmi1 = button(stream, "SBtnHdmi1", "Stream 2");
    stl->addWidget(SBtnHdmi0);
    stl->addWidget(SBtnHdmi1);

    // Operator actions: each changes the wanted values, then the controls show them.
    auto act = [this](TSpeedButton* b, const std::function<void(THdmiWanted&)>& change) {
        connect(b, &TSpeedButton::MouseDown, this, [this, change](Qt::MouseButton button) {
            if (button != Qt::LeftButton)
                return;
            FRequests->Change(change);
            PaintButtons(FRequests->Wanted());
        });
    };
    act(SBtnMETER0, [](THdmiWanted& w) { w.Meter1On = !w.Meter1On; });
    act(SBtnMETER1, [](THdmiWanted& w) { w.Meter2On = !w.Meter2On; });
    act(SBtnDBFS, [](THdmiWanted& w) { w.ScaleMode = 0; });
    act(SBtnDBU, [](THdmiWanted& w) { w.ScaleMode = 1; });
    act(SBtnHdmi0, [](THdmiWanted& w) { w.StreamMode = 0; });
    act(SBtnHdmi1, [](THdmiWanted& w) { w.StreamMode = 1; });
    // Only the operator's own choices count; the values set while painting
    // (a lowered maximum clamping a slider included) are not requests.
    auto follow = [this](QSlider* s, const std::function<void(THdmiWanted&, int)>& store) {
        connect(s, &QSlider::valueChanged, this, [this, s, store](int v) {
            if (FPainting)
                return;
            FRequests->Change([&](THdmiWanted& w) { store(w, v); });
            SetSliderTip(s);
        });
    };
    follow(StateX0, [](THdmiWanted& w, int v) { w.Meter1Slider = v; });
    follow(StateX1, [](THdmiWanted& w, int v) { w.Meter2Slider = v; });
    follow(StateDBFSN, [](THdmiWanted& w, int v) { w.DbfsRef = v; });
    follow(StateDBUN, [](THdmiWanted& w, int v) { w.DbuRef = v; });
    for (int m = 0; m < 2; ++m) {
        QComboBox* list = m == 0 ? StateGRS0 : StateGRS1;
        connect(list, &QComboBox::activated, this, [this, m](int index) {
            FRequests->Change(
                [&](THdmiWanted& w) { (m == 0 ? w.Meter1Group : w.Meter2Group) = index; });
        });
    }
    connect(HdmiTab, &QTabBar::currentChanged, this, [this](int index) {
        FRequests->SetTab(index);
        Refresh();
    });
    connect(HdmiTab, &QTabBar::tabBarClicked, this, [this] { Refresh(); });

    // A widget does not own its style: this one is the window's last child, so
    // it goes after the sliders that use it.
    auto* jumpStyle = new TJumpStyle;
    jumpStyle->setParent(this);
    for (QSlider* s : {StateX0, StateX1, StateDBFSN, StateDBUN})
        s->setStyle(jumpStyle);

    // Design-time state until the first paint.
    THdmiWanted design;
    PaintButtons(design);
    for (QSlider* s : {StateX0, StateX1, StateDBFSN, StateDBUN})
        SetSliderTip(s);
}

void THdmiWindow::Refresh() {
    if (OnHdmiRefresh)
        OnHdmiRefresh();
}

void THdmiWindow::SetSliderTip(QSlider* s) {
    s->setToolTip(QString::number(s->value()));
    if (s == StateDBFSN)
        LabelDBFSN->setText(QString::fromLatin1(
            DbfsLabels()[static_cast<std::size_t>(std::clamp(s->value(), 0, 19))]));
    else if (s == StateDBUN)
        LabelDBUN->setText(QString::fromLatin1(
            DbuLabels()[static_cast<std::size_t>(std::clamp(s->value(), 0, 20))]));
}

void THdmiWindow::PaintButtons(const THdmiWanted& w) {
    auto lit = [](TSpeedButton* b, bool on) { b->SetColor(on ? Lit : Unlit); };
    lit(SBtnMETER0, w.Meter1On);
    lit(SBtnMETER1, w.Meter2On);
    lit(SBtnDBFS, w.PaintedFor >= 0 && w.ScaleMode == 0);
    lit(SBtnDBU, w.ScaleMode == 1);
    lit(SBtnHdmi0, w.PaintedFor >= 0 && w.StreamMode == 0);
    lit(SBtnHdmi1, w.StreamMode == 1);
}

void THdmiWindow::PaintGroups(const std::array<bool, 4>& groups) {
    for (int g = 0; g < 4; ++g) {
        const bool on = groups[static_cast<std::size_t>(g)];
        StateGR[static_cast<std::size_t>(g)]->SetLit(on);
        // The two shared lamp pictures, set only on a change: repainting the
        // same groups every cycle must not pile up pixmaps.
        for (QComboBox* list : {StateGRS0, StateGRS1})
            if (list->itemData(g, LampRole).toInt() != int(on) + 1) {
                list->setItemIcon(g, FLamps[on ? 1 : 0]);
                list->setItemData(g, int(on) + 1, LampRole);
            }
    }
}

void THdmiWindow::PublishHdmi(int tab, const THdmiState& state, const THdmiState& shadow) {
    if (tab != HdmiTab->currentIndex())
        return;
    const unsigned m = FRequests->Publish(tab, state, shadow);
    if (m == 0)
        return;
    const THdmiWanted w = FRequests->Wanted();
    FPainting = true;
    if (m & HdmiStandard)
        StateSTD->setText(QString::fromLatin1(state.StandardName.data(),
                                              static_cast<qsizetype>(state.StandardName.size())));
    if (m & HdmiGroups)
        PaintGroups(state.Groups);
    if (m & HdmiSliderMax)
        for (QSlider* s : {StateX0, StateX1}) {
            s->setMaximum(state.SliderMax);
            s->setTickInterval(std::max(1, state.SliderMax / 5));
        }
    // The controls cannot show every value a switcher may report: they show
    // the nearest one, while the wanted values keep what was reported.
    if (m & (HdmiMeter1Slider | HdmiSliderMax))
        StateX0->setValue(Clamp(w.Meter1Slider, 0, StateX0->maximum()));
    if (m & (HdmiMeter2Slider | HdmiSliderMax))
        StateX1->setValue(Clamp(w.Meter2Slider, 0, StateX1->maximum()));
    if (m & HdmiMeter1Group)
        StateGRS0->setCurrentIndex(w.Meter1Group >= 0 && w.Meter1Group <= 3 ? w.Meter1Group : -1);
    if (m & HdmiMeter2Group)
        StateGRS1->setCurrentIndex(w.Meter2Group >= 0 && w.Meter2Group <= 3 ? w.Meter2Group : -1);
    if (m & HdmiDbfsRef)
        StateDBFSN->setValue(Clamp(w.DbfsRef, 0, 19));
    if (m & HdmiDbuRef)
        StateDBUN->setValue(Clamp(w.DbuRef, 0, 20));
    PaintButtons(w);
    for (QSlider* s : {StateX0, StateX1, StateDBFSN, StateDBUN})
        SetSliderTip(s);
    // A reference the switches have no position for is not shown as the
    // nearest one: its label says it is unknown.
    if (w.DbfsRef < 0 || w.DbfsRef > 19)
        LabelDBFSN->setText(UnknownReference);
    if (w.DbuRef < 0 || w.DbuRef > 20)
        LabelDBUN->setText(UnknownReference);
    FPainting = false;
}

void THdmiWindow::SetRequests(std::shared_ptr<THdmiRequests> requests) {
    FRequests = std::move(requests);
    FRequests->SetTab(HdmiTab->currentIndex());
}

void THdmiWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    FRequests->SetTab(HdmiTab->currentIndex());
    Refresh();
}

void THdmiWindow::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    FRequests->ResetTag();
}

void THdmiWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(e);
}
