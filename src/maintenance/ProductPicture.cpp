#include "maintenance/ProductPicture.h"

#include <QLinearGradient>
#include <QPainter>

namespace tollbook {

QPixmap productPicture(const QSize& size)
{
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 96 x 73 grid and scaled to the size asked for.
    painter.scale(size.width() / 96.0, size.height() / 73.0);

    const QColor navy(0x1f, 0x3a, 0x68);
    const QColor outline(0x30, 0x30, 0x38);

    // The sheet coming out at the top, with printed lines.
    painter.setPen(QPen(outline, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(24.5, 2.5, 40, 30));
    painter.setPen(QPen(QColor(0x90, 0xa0, 0xb8), 2));
    for (int row = 0; row < 3; ++row)
        painter.drawLine(QLineF(30, 10 + row * 6, 58 - row * 5, 10 + row * 6));

    // The printer's body.
    QLinearGradient body(0, 24, 0, 60);
    body.setColorAt(0, QColor(0xdc, 0xe2, 0xec));
    body.setColorAt(1, QColor(0x8e, 0x99, 0xab));
    painter.setPen(QPen(outline, 1.2));
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(6, 24, 74, 34), 5, 5);
    painter.setBrush(QColor(0x3a, 0x44, 0x55));
    painter.drawRect(QRectF(18, 30, 50, 4)); // paper slot
    painter.setBrush(QColor(0x4c, 0xc0, 0x5a));
    painter.drawEllipse(QPointF(70, 48), 2.5, 2.5); // power light

    // The page it hands out at the front.
    painter.setBrush(Qt::white);
    painter.setPen(QPen(outline, 1));
    painter.drawRect(QRectF(20.5, 50.5, 40, 18));
    painter.setPen(QPen(navy, 2));
    painter.drawLine(QLineF(25, 56, 52, 56));
    painter.drawLine(QLineF(25, 62, 44, 62));

    // The coin: what the page cost.
    QRadialGradient gold(QPointF(78, 52), 16);
    gold.setColorAt(0, QColor(0xff, 0xe3, 0x7a));
    gold.setColorAt(1, QColor(0xd4, 0x9a, 0x12));
    painter.setPen(QPen(QColor(0x8a, 0x62, 0x08), 1.5));
    painter.setBrush(gold);
    painter.drawEllipse(QPointF(80, 56), 14, 14);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(17);
    painter.setFont(font);
    painter.setPen(QColor(0x6b, 0x48, 0x00));
    painter.drawText(QRectF(66, 42, 28, 28), Qt::AlignCenter, QStringLiteral("T"));
    return picture;
}

} // namespace tollbook
