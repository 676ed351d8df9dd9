#include "MonitorWindow.h"

#include "IpText.h"
#include "SpeedButton.h"

#include <QFontMetrics>
#include <QKeyEvent>

#include <algorithm>

QString MonitorCaption(std::int32_t switcherIP, int levelCount,
                       const std::array<std::int32_t, 5>& levelIP,
                       const std::array<std::int32_t, 5>& levelAddress,
                       const std::function<QString(int)>& levelName) {
    QString s = QString::fromStdString(FormatIP(switcherIP)) + QStringLiteral(" (");
    for (int j = 1; j <= std::clamp(levelCount, 0, 4); ++j)
        if (levelIP[static_cast<std::size_t>(j)] == switcherIP)
            s += QString::number(levelAddress[static_cast<std::size_t>(j)]) + QLatin1Char(':') +
                 levelName(j) + QStringLiteral(", ");
    s.chop(2);
    return s + QLatin1Char(')');
}

TMonitorWindow::TMonitorWindow(const QStringList& captions, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("MonitorWindow"));
    setWindowTitle(QStringLiteral("SFP MONITOR"));
    setFont(MakeFont("MS Sans Serif", 13, true));
    const QFontMetrics fm(font());
    const int h = fm.height();
    int width = 0;
    for (const QString& c : captions)
        width = std::max(width, fm.horizontalAdvance(c));
    width += 30;
    int y = 0;
    for (int i = 0; i < captions.size(); ++i) {
        auto* b = new TSpeedButton(this);
        b->setObjectName(QStringLiteral("SBtnSwitcher%1").arg(i + 1));
        b->setFont(font());
        b->setText(captions[i]);
        b->setGeometry(0, y, width, 2 * h);
        b->SetHandPointer(true);
        b->Tag = i + 1;
        y += 2 * h;
        connect(b, &TSpeedButton::MouseDown, this, [this, b] {
            if (OnPress)
                OnPress(b->Tag);
            accept();
        });
        Buttons << b;
    }
    // The window sizes itself to its buttons; without a switcher it has none.
    setFixedSize(width, y);
}

void TMonitorWindow::SetRunning(int i, TColor c) {
    if (i >= 1 && i <= Buttons.size())
        Buttons[i - 1]->SetColor(c);
}

void TMonitorWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyPressEvent(e);
}
