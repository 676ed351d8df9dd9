#pragma once

#include <QWidget>

class TColorTabBar;

// "STATUS MONITOR": health of each switcher, one tab per switcher.
class TStatusWindow : public QWidget {
    Q_OBJECT
public:
    explicit TStatusWindow(QWidget* parent = nullptr);

    TColorTabBar* StatusTab;
};
