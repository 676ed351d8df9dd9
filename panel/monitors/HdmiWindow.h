#pragma once

#include "HdmiRequests.h"
#include "Look.h"

#include <QIcon>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QSlider;
class TColorTabBar;
class TSpeedButton;

// A lamp with a caption: green when present, grey when absent.
class TLampLabel : public QWidget {
    Q_OBJECT
public:
    TLampLabel(const QString& caption, QWidget* parent = nullptr);
    void SetLit(bool on);
    bool Lit() const { return FLit; }
    QSize sizeHint() const override { return {34, 18}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString FCaption;
    bool FLit = false;
};

// Labels of the reference switches' positions.
const std::array<const char*, 20>& DbfsLabels();
const std::array<const char*, 21>& DbuLabels();

// "HDMI MONITOR": the HDMI input of the selected tab's switcher and its audio
// monitoring. The controls show a clamped copy of the wanted values, which
// only the operator's actions and the switcher's own changes set.
class THdmiWindow : public QWidget {
    Q_OBJECT
public:
    explicit THdmiWindow(QWidget* parent = nullptr);

    // GUI thread, in the poll cycle's synchronised step: repaints the controls
    // whose value changed at the switcher.
    void PublishHdmi(int tab, const THdmiState& state, const THdmiState& shadow);
    // Shared with the poll thread.
    const std::shared_ptr<THdmiRequests>& Requests() const { return FRequests; }
    // Shares the requests of an operating session (the window keeps its own until then).
    void SetRequests(std::shared_ptr<THdmiRequests> requests);

    // Showing the window or a tab change asks for a full repaint.
    std::function<void()> OnHdmiRefresh;

    TColorTabBar* HdmiTab;
    QLabel* StateSTD;
    std::array<TLampLabel*, 4> StateGR{};
    TSpeedButton *SBtnMETER0, *SBtnMETER1, *SBtnDBFS, *SBtnDBU, *SBtnHdmi0, *SBtnHdmi1;
    QComboBox *StateGRS0, *StateGRS1;
    QSlider *StateX0, *StateX1, *StateDBFSN, *StateDBUN;
    QLabel *LabelDBFSN, *LabelDBUN;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void PaintButtons(const THdmiWanted& w);
    void PaintGroups(const std::array<bool, 4>& groups);
    void SetSliderTip(QSlider* s);
    void Refresh();

    std::shared_ptr<THdmiRequests> FRequests = std::make_shared<THdmiRequests>();
    bool FPainting = false;
    std::array<QIcon, 2> FLamps; // off, on
};
