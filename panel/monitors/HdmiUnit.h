#pragma once

#include <QWidget>

class TColorTabBar;

// "HDMI MONITOR": HDMI input state and audio monitoring, one tab per switcher.
class THdmiWindow : public QWidget {
    Q_OBJECT
public:
    explicit THdmiWindow(QWidget* parent = nullptr);

    TColorTabBar* HdmiTab;
};
