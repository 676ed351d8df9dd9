#include "DigitalPanel.h"

#include "MessageBox.h"

#include <QPainter>

#include <algorithm>

std::array<QPolygon, 8> DigitSegments(int W, int H, int B, int S) {
    S = std::max(S, 1);
    const int L = std::max(std::min(W - 1, H - 1) - 2 * B, 0);
    const int t = L / (3 * S), h = t / 2, e = t / 8 + 1, f = e / 2 + 1, m = (H - 1) / 2;
    std::array<QPolygon, 8> seg;
    seg[1] = QPolygon({QPoint(B + h, m - f), QPoint(B, m - f - h), QPoint(B, B + e),
                       QPoint(B + t, B + e + t), QPoint(B + t, m - f - h)});
    seg[2] = QPolygon({QPoint(B + e, B), QPoint(W - 1 - B - e, B), QPoint(W - 1 - B - e - t, B + t),
                       QPoint(B + e + t, B + t)});
    auto mirrorX = [W](const QPolygon& p) {
        QPolygon r;
        for (const QPoint& v : p)
            r << QPoint(W - 1 - v.x(), v.y());
        return r;
    };
    auto mirrorY = [H](const QPolygon& p) {
        QPolygon r;
        for (const QPoint& v : p)
            r << QPoint(v.x(), H - 1 - v.y());
        return r;
    };
    seg[3] = mirrorX(seg[1]);
    seg[4] = mirrorY(seg[3]);
    seg[5] = mirrorY(seg[2]);
    seg[6] = mirrorY(seg[1]);
    const int F = B + h + f;
    seg[7] = QPolygon({QPoint(F, m), QPoint(F + h, m - h), QPoint(W - 1 - F - h, m - h),
                       QPoint(W - 1 - F, m), QPoint(W - 1 - F - h, m - h + t),
                       QPoint(F + h, m - h + t)});
    return seg;
}

std::array<bool, 8> DigitPattern(int digit) {
    static const char* const lit[10] = {"123456", "34",     "23567", "23457",   "1347",
                                        "12457",  "124567", "234",   "1234567", "123457"};
    std::array<bool, 8> p{};
    if (digit >= 0 && digit <= 9)
        for (const char* c = lit[digit]; *c; ++c)
            p[static_cast<std::size_t>(*c - '0')] = true;
    return p;
}

TDigitalPanel::TDigitalPanel(QWidget* parent) : QWidget(parent) {
    resize(65, 65);
    ShowDigit(-1);
}

void TDigitalPanel::ShowDigit(int value) {
    if (value < -1 || value > 9) {
        msgbox::Show(QStringLiteral("Error"), QStringLiteral("Invalid value"),
                     msgbox::TIcon::Error);
        return;
    }
    const std::array<bool, 8> p = DigitPattern(value);
    // Written in this order so that only the segments that change are drawn.
    for (int i : {1, 2, 3, 7, 6, 5, 4})
        WriteLed(i, p[static_cast<std::size_t>(i)]);
}

void TDigitalPanel::WriteLed(int index, bool state) {
    if (index < 1 || index > 7 || FLit[static_cast<std::size_t>(index)] == state)
        return;
    FLit[static_cast<std::size_t>(index)] = state;
    DrawSegment(index);
}

bool TDigitalPanel::ReadLed(int index) const {
    return index >= 1 && index <= 7 && FLit[static_cast<std::size_t>(index)];
}

void TDigitalPanel::WriteColor(int index, TColor colour) {
    switch (index) {
    case 0:
        LedColorOFF = colour;
        break;
    case 1:
        LedColorON = colour;
        break;
    case 10:
        LedBorderColorOFF = colour;
        break;
    case 11:
        LedBorderColorON = colour;
        break;
    case 21:
        BorderColor = colour;
        break;
    case 31:
        Color = colour;
        break;
    default:
        break;
    }
    update();
}

void TDigitalPanel::WriteBorderSize(int value) {
    FBorderSize = value;
    update();
}

void TDigitalPanel::WriteScale(int value) {
    if (value < FMinScale) {
        msgbox::Show(QStringLiteral("Error"), QStringLiteral("Invalid scale value"),
                     msgbox::TIcon::Error);
        return;
    }
    FScale = value;
    update();
}

void TDigitalPanel::DrawSegment(int i) {
    if (OnDrawSegment)
        OnDrawSegment(i);
    const auto seg = DigitSegments(width(), height(), FBorderSize, FScale);
    update(seg[static_cast<std::size_t>(i)].boundingRect().adjusted(-1, -1, 1, 1));
}

void TDigitalPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(ToQColor(BorderColor));
    p.setBrush(ToQColor(Color));
    // Filled rectangle (0, 0)..(W, H - 1), right and bottom edges excluded.
    p.drawRect(0, 0, width() - 1, height() - 2);
    const auto seg = DigitSegments(width(), height(), FBorderSize, FScale);
    for (int i = 1; i <= 7; ++i) {
        const bool lit = FLit[static_cast<std::size_t>(i)];
        p.setPen(ToQColor(lit ? LedBorderColorON : LedBorderColorOFF));
        p.setBrush(ToQColor(lit ? LedColorON : LedColorOFF));
        p.drawPolygon(seg[static_cast<std::size_t>(i)]);
    }
}
