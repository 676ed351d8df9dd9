#include "StatusWindow.h"

#include "ColorTabBar.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr TColor AlarmTabColor = clr::Red;

bool Alarm(std::uint16_t w) {
    return (w & 0x8000) != 0;
}
int Value(std::uint16_t w) {
    return w & 0x7FFF;
}

TColor LampColor(TStatusLamp l) {
    switch (l) {
    case TStatusLamp::Red:
        return clr::Red;
    case TStatusLamp::Green:
        return clr::Lime;
    case TStatusLamp::Grey:
        break;
    }
    return clr::Grey;
}

} // namespace

bool SwitcherAlarm(const TSwitcherStatus& s) {
    const bool anySupply = s.Psu1Present || s.Psu2Present;
    return Alarm(s.Temperature) || Alarm(s.FanSpeed) || (Alarm(s.Voltage) && anySupply) ||
           (Alarm(s.Psu1Current) && s.Psu1Present) || (Alarm(s.Psu2Current) && s.Psu2Present);
}

TStatusRowView StatusRowView(TStatusRow row, const TSwitcherStatus& s, const QLocale& userLocale) {
    TStatusRowView v;
    // The locale's decimal separator, but no thousands separators.
    QLocale locale = userLocale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    auto measured = [&](std::uint16_t word, const QString& text) {
        v.Word = word;
        v.Text = text;
        v.Lamp = Alarm(word) ? TStatusLamp::Red : TStatusLamp::Green;
        v.Blinking = Alarm(word);
    };
    auto hundredths = [&](std::uint16_t word) {
        return locale.toString(Value(word) / 100.0, 'f', 2);
    };
    switch (row) {
    case RowRef:
        v.Word = s.RefState;
        // The name arrives as bytes; each is one Latin-1 character.
        v.Text = QString::fromLatin1(s.RefName.data(), static_cast<qsizetype>(s.RefName.size()));
        v.Lamp = s.RefState != 0 ? TStatusLamp::Green : TStatusLamp::Red;
        break;
    case RowTemp:
        measured(s.Temperature,
                 locale.toString(Value(s.Temperature) / 10.0, 'f', 1) + QStringLiteral(" °C"));
        break;
    case RowRpm:
        measured(s.FanSpeed, QString::number(Value(s.FanSpeed)) + QStringLiteral(" rpm"));
        break;
    case RowVoltage:
        measured(s.Voltage, hundredths(s.Voltage) + QStringLiteral(" V"));
        v.Shown = s.Psu1Present || s.Psu2Present;
        break;
    case RowPwr1:
        measured(s.Psu1Current, hundredths(s.Psu1Current) + QStringLiteral(" A"));
        v.Shown = s.Psu1Present;
        break;
    case RowPwr2:
        measured(s.Psu2Current, hundredths(s.Psu2Current) + QStringLiteral(" A"));
        v.Shown = s.Psu2Present;
        break;
    case StatusRowCount:
        break;
    }
    if (!v.Shown) {
        v.Text.clear();
        v.Lamp = TStatusLamp::Grey;
        v.Blinking = false;
    }
    return v;
}

TStatusPane::TStatusPane(QWidget* parent) : QWidget(parent) {
    setMinimumSize(150, 20);
}

void TStatusPane::SetView(const QString& text, TStatusLamp lamp, bool blinking) {
    FText = text;
    FLamp = lamp;
    FBlinking = blinking;
    update();
}

void TStatusPane::SetPhase(bool on) {
    FPhase = on;
    if (FBlinking)
        update();
}

void TStatusPane::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::EnabledChange)
        update();
}

void TStatusPane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const bool flash = FBlinking && FPhase && isEnabled();
    p.fillRect(rect(), ToQColor(flash ? clr::Red : clr::Silver));
    p.setPen(ToQColor(clr::Grey));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    // A disabled pane shows the grey lamp.
    const TColor lamp = isEnabled() ? LampColor(FLamp) : clr::Grey;
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::black);
    p.setBrush(ToQColor(lamp));
    const int y = (height() - 14) / 2;
    p.drawEllipse(QRectF(3.5, y + 0.5, 13, 13));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(isEnabled() ? Qt::black : ToQColor(clr::Grey));
    p.drawText(rect().adjusted(22, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, FText);
}

TStatusWindow::TStatusWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("StatusWindow"));
    setWindowTitle(QStringLiteral("STATUS MONITOR"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    StatusTab = new TColorTabBar(this);
    StatusTab->setObjectName(QStringLiteral("StatusTab"));
    layout->addWidget(StatusTab);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    const char* names[StatusRowCount][3] = {
        {"LabelREF", "StatusREF", "REF:  "},       {"LabelTEMP", "StatusTEMP", "CPU TEMP:  "},
        {"LabelRPM", "StatusRPM", "FAN SPEED:  "}, {"LabelV", "StatusV", "VOLTAGE:  "},
        {"LabelPWR1", "StatusPWR1", "POWER 1:  "}, {"LabelPWR2", "StatusPWR2", "POWER 2:  "}};
    for (int r = 0; r < StatusRowCount; ++r) {
        auto* label = new QLabel(QString::fromLatin1(names[r][2]), this);
        label->setObjectName(QString::fromLatin1(names[r][0]));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* pane = new TStatusPane(this);
        pane->setObjectName(QString::fromLatin1(names[r][1]));
        grid->addWidget(label, r, 0);
        grid->addWidget(pane, r, 1);
        FLabels[static_cast<std::size_t>(r)] = label;
        FPanes[static_cast<std::size_t>(r)] = pane;
    }
    LabelREF = FLabels[RowRef];
    LabelTEMP = FLabels[RowTemp];
    LabelRPM = FLabels[RowRpm];
    LabelV = FLabels[RowVoltage];
    LabelPWR1 = FLabels[RowPwr1];
    LabelPWR2 = FLabels[RowPwr2];
    StatusREF = FPanes[RowRef];
    StatusTEMP = FPanes[RowTemp];
    StatusRPM = FPanes[RowRpm];
    StatusV = FPanes[RowVoltage];
    StatusPWR1 = FPanes[RowPwr1];
    StatusPWR2 = FPanes[RowPwr2];

    BlinkTimer = new QTimer(this);
    BlinkTimer->setObjectName(QStringLiteral("BlinkTimer"));
    BlinkTimer->setInterval(BlinkMs);
    connect(BlinkTimer, &QTimer::timeout, this, [this] {
        FPhase = !FPhase;
        for (TStatusPane* p : FPanes)
            p->SetPhase(FPhase);
    });
    BlinkTimer->start();
    connect(StatusTab, &QTabBar::currentChanged, this, [this] {
        if (OnStatusRequest)
            OnStatusRequest();
    });
    connect(StatusTab, &QTabBar::tabBarClicked, this, [this] {
        if (OnStatusRequest)
            OnStatusRequest();
    });
    ResetStatusRows();
}

void TStatusWindow::PaintStatus(bool force, const std::array<TSwitcherStatus, 4>& status,
                                int count) {
    const int n = std::min({count, 4, StatusTab->count()});
    for (int i = 0; i < n; ++i)
        StatusTab->SetTabColor(i, SwitcherAlarm(status[static_cast<std::size_t>(i)])
                                      ? AlarmTabColor
                                      : TColorTabBar::NormalTabColor);
    const int k = StatusTab->currentIndex();
    if (k < 0 || k >= n)
        return;
    const TSwitcherStatus& s = status[static_cast<std::size_t>(k)];
    for (int r = 0; r < StatusRowCount; ++r) {
        TStatusPane* pane = FPanes[static_cast<std::size_t>(r)];
        const TStatusRowView v = StatusRowView(static_cast<TStatusRow>(r), s, FLocale);
        // Also repaint when a supply comes or goes under an unchanged word, and
        // when the reference gets a new name in the same state.
        const QString name = r == RowRef ? v.Text : QString();
        if (!force && v.Word == pane->LastWord && v.Shown == pane->LastShown &&
            name == pane->LastName)
            continue;
        pane->LastWord = v.Word;
        pane->LastShown = v.Shown;
        pane->LastName = name;
        ++pane->Paints;
        pane->SetView(v.Text, v.Lamp, v.Blinking);
    }
}

void TStatusWindow::EnableStatusRows() {
    for (int r = 0; r < StatusRowCount; ++r) {
        FLabels[static_cast<std::size_t>(r)]->setEnabled(true);
        FPanes[static_cast<std::size_t>(r)]->setEnabled(true);
    }
}

void TStatusWindow::ResetStatusRows() {
    for (int r = 0; r < StatusRowCount; ++r) {
        TStatusPane* pane = FPanes[static_cast<std::size_t>(r)];
        pane->SetView(QString(), TStatusLamp::Grey, false);
        pane->LastWord = -1;
        pane->LastShown = false;
        pane->LastName.clear();
        pane->setEnabled(false);
        FLabels[static_cast<std::size_t>(r)]->setEnabled(false);
    }
    for (int i = 0; i < StatusTab->count(); ++i)
        StatusTab->SetTabColor(i, TColorTabBar::NormalTabColor);
}

void TStatusWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (OnStatusRequest)
        OnStatusRequest();
}

void TStatusWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(e);
}
