#include "AppIcon.h"

#include "Look.h"

#include <QPainter>

#include <algorithm>
#include <array>

QImage PaintAppIcon(int size) {
    size = std::max(size, 16);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    // Drawn on a 48 x 48 grid, like the SVG beside the sources.
    p.setPen(QPen(ToQColor(clr::Grey), 1.5));
    p.setBrush(ToQColor(clr::Silver));
    p.drawRoundedRect(QRectF(2, 2, 44, 44), 6, 6);
    p.setPen(QPen(Qt::black, 1.2));
    for (int i = 0; i < 4; ++i) {
        const double c = 12 + 8 * i;
        p.drawLine(QPointF(c, 8), QPointF(c, 40));
        p.drawLine(QPointF(8, c), QPointF(40, c));
    }
    const std::array<TColor, 4> colours{RGBColor(255, 0, 0), RGBColor(0, 128, 0),
                                        RGBColor(0, 0, 255), RGBColor(255, 255, 0)};
    const std::array<QPointF, 4> marks{QPointF(12, 12), QPointF(28, 20), QPointF(20, 28),
                                       QPointF(36, 36)};
    for (std::size_t k = 0; k < marks.size(); ++k) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(ToQColor(colours[k]));
        p.drawEllipse(marks[k], 4.5, 4.5);
    }
    return image;
}
