#include "HdmiUnit.h"

#include "ColorTabBar.h"

#include <QVBoxLayout>

THdmiWindow::THdmiWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("HdmiWindow"));
    setWindowTitle(QStringLiteral("HDMI MONITOR"));
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    HdmiTab = new TColorTabBar(this);
    HdmiTab->setObjectName(QStringLiteral("HdmiTab"));
    layout->addWidget(HdmiTab);
}
