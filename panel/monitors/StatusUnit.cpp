#include "StatusUnit.h"

#include "ColorTabBar.h"

#include <QVBoxLayout>

TStatusWindow::TStatusWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("StatusWindow"));
    setWindowTitle(QStringLiteral("STATUS MONITOR"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    StatusTab = new TColorTabBar(this);
    StatusTab->setObjectName(QStringLiteral("StatusTab"));
    layout->addWidget(StatusTab);
}
