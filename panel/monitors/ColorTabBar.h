#pragma once

#include "Look.h"

#include <QTabBar>

// Tab row whose tabs each carry a colour of their own (normal grey, alarm red).
class TColorTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit TColorTabBar(QWidget* parent = nullptr);

    static constexpr TColor NormalTabColor = clr::Grey;

    // Replaces all tabs by one per caption, in order, each in the normal colour;
    // selects the first when there is one.
    void Rebuild(const QStringList& captions);
    void SetTabColor(int index, TColor c);
    TColor TabColor(int index) const;

protected:
    void paintEvent(QPaintEvent*) override;
};
