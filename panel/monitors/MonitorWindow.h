#pragma once

#include "Look.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <string>

class TSpeedButton;

// Caption of a switcher's button: "10.0.0.5 (1:VIDEO, 2:AUDIO)" for the levels
// (1..levelCount) on that switcher's IP.
QString MonitorCaption(std::int32_t switcherIP, int levelCount,
                       const std::array<std::int32_t, 5>& levelIP,
                       const std::array<std::int32_t, 5>& levelAddress,
                       const std::function<QString(int)>& levelName);

// "SFP MONITOR": one button per switcher; a press (any mouse button) reports
// the switcher number and closes the window. Esc closes it.
class TMonitorWindow : public QDialog {
    Q_OBJECT
public:
    TMonitorWindow(const QStringList& captions, QWidget* parent = nullptr);

    // Colours switcher i's button (1-based).
    void SetRunning(int i, TColor c);
    QList<TSpeedButton*> Buttons;
    std::function<void(int)> OnPress;

protected:
    void keyPressEvent(QKeyEvent* e) override;
};
