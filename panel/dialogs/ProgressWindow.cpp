#include "ProgressWindow.h"

#include "Look.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>

void TGauge::SetPosition(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent != FPosition) {
        FPosition = percent;
        update();
    }
}

void TGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    p.setPen(Qt::black);
    p.drawRect(rect().adjusted(0, 0, -1, -1)); // single-line border
    const int filled = inner.width() * FPosition / 100;
    p.fillRect(inner, Qt::white);
    p.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()), ToQColor(clr::Navy));
    // White text xor-ed with the bar: white on navy shows light, on white it turns dark.
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(Qt::white);
    p.drawText(inner, Qt::AlignCenter, QStringLiteral("%1%").arg(FPosition));
}

TProgressWindow::TProgressWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("ProgressWindow"));
    setModal(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    PanelCaption = new QLabel(this);
    PanelCaption->setTextFormat(Qt::PlainText);
    PanelCaption->setObjectName(QStringLiteral("PanelCaption"));
    PanelCaption->setGeometry(8, 8, 297, 16);
    Gauge = new TGauge(this);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setGeometry(8, PanelCaption->geometry().bottom() + 1, 297, 17);
    setFixedSize(297 + 2 * 8, Gauge->geometry().bottom() + 1 + 8);
}

void TProgressWindow::SetText(const QString& text) {
    PanelCaption->setText(text);
}
void TProgressWindow::SetPosition(int percent) {
    Gauge->SetPosition(percent);
}
int TProgressWindow::Position() const {
    return Gauge->Position();
}

void TProgressWindow::CloseByProgram(int result) {
    FCanClose = true;
    done(result);
}

void TProgressWindow::done(int r) {
    // Esc, Alt+F4 and every other request are refused until the program allows it.
    if (FCanClose)
        QDialog::done(r);
}

void TProgressWindow::closeEvent(QCloseEvent* e) {
    if (FCanClose)
        QDialog::closeEvent(e);
    else
        e->ignore();
}
