#include "TipForm.h"

#include "Look.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <cmath>

int TipWidth = 0;
int TipHeight = 0;

TTip::TTip(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("Tip"));
    setWindowTitle(QStringLiteral("Tip"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setCursor(Qt::BlankCursor);
    setFont(MakeFont("Courier New", 13));
    setAutoFillBackground(true);

    InLogo = QImage(33, 33, QImage::Format_RGB32);
    OutLogo = QImage(33, 33, QImage::Format_RGB32);
    const QColor bk = palette().color(QPalette::ToolTipBase);
    InLogo.fill(bk);
    OutLogo.fill(bk);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, bk);
    setPalette(pal);

    const QFontMetrics fm(font());
    ColWidth = fm.horizontalAdvance(QStringLiteral("8OUTPUT:8"));
    // Rounded to the nearest integer, halves to even.
    RowHeight = static_cast<int>(std::nearbyint(fm.height() * 1.5));
    TipWidth = 2 * ColWidth + 3 * Margin;
    TipHeight = 3 * RowHeight + 33;
    setGeometry(0, 0, 0, TipHeight);
}

bool TTip::TranslucencySupported() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("offscreen"));
}

void TTip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor bk = palette().color(QPalette::Window);
    const int W = ColWidth, R = RowHeight, M = Margin;
    const QFontMetrics fm(font());
    auto text = [&](int left, int right, int top, int bottom, const QString& s) {
        const QRect band(left, top, right - left, bottom - top);
        p.fillRect(band, bk);
        p.save();
        p.setClipRect(band);
        p.setPen(Qt::black);
        const int x = (left + right) / 2 - fm.horizontalAdvance(s) / 2;
        const int y = (top + bottom) / 2 - fm.height() / 2;
        p.drawText(x, y + fm.ascent(), s);
        p.restore();
    };
    auto logo = [&](int left, int right, int top, const QImage& img) {
        p.drawImage((left + right) / 2 - 16, top, img);
    };
    const int l0 = M, r0 = M + W, l1 = W + 2 * M, r1 = 2 * W + 2 * M;
    text(l0, r0, M, M + R, QStringLiteral("OUTPUT:"));
    text(l1, r1, M, M + R, QStringLiteral("INPUT:"));
    text(l0, r0, M + R, M + 2 * R, OutNumberText);
    text(l1, r1, M + R, M + 2 * R, InNumberText);
    logo(l0, r0, M + 2 * R, OutLogo);
    logo(l1, r1, M + 2 * R, InLogo);
    text(l0, r0, M + 2 * R + 33, M + 3 * R + 33, OutNameText);
    text(l1, r1, M + 2 * R + 33, M + 3 * R + 33, InNameText);
}
