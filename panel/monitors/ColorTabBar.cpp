#include "ColorTabBar.h"

#include <QPainter>

TColorTabBar::TColorTabBar(QWidget* parent) : QTabBar(parent) {
    setDrawBase(false);
    setExpanding(false);
}

void TColorTabBar::Rebuild(const QStringList& captions) {
    const QSignalBlocker block(this);
    while (count() > 0)
        removeTab(count() - 1);
    for (const QString& c : captions) {
        const int i = addTab(c);
        setTabData(i, static_cast<uint>(NormalTabColor));
    }
    if (count() > 0)
        setCurrentIndex(0);
    update();
}

void TColorTabBar::SetTabColor(int index, TColor c) {
    if (index < 0 || index >= count() || TabColor(index) == c)
        return;
    setTabData(index, static_cast<uint>(c));
    update(tabRect(index));
}

TColor TColorTabBar::TabColor(int index) const {
    return static_cast<TColor>(tabData(index).toUInt());
}

void TColorTabBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (int i = 0; i < count(); ++i) {
        QRect r = tabRect(i);
        if (i != currentIndex())
            r.adjust(0, 2, 0, 0);
        p.fillRect(r, ToQColor(TabColor(i)));
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(Qt::white);
        QFont f = font();
        f.setBold(i == currentIndex());
        p.setFont(f);
        p.drawText(r, Qt::AlignCenter, tabText(i));
    }
}
