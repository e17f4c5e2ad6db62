#include "ui/Artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tollbook::Artwork {

namespace {

const QColor QuartzDark(0x3b, 0x38, 0x3a);
const QColor QuartzMid(0x6e, 0x69, 0x6b);
const QColor QuartzLight(0xb9, 0xb3, 0xb1);
const QColor Paper(0xf4, 0xf1, 0xee);

// A printer seen from the front with a sheet coming out, in a square of side `side` at the origin.
void drawPrinter(QPainter& painter, qreal side)
{
    const qreal unit = side / 16.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(Paper);
    painter.drawRect(QRectF(4 * unit, 1 * unit, 8 * unit, 5 * unit)); // sheet waiting in the tray
    painter.setBrush(QuartzLight);
    painter.drawRoundedRect(QRectF(1 * unit, 5 * unit, 14 * unit, 7 * unit), unit, unit); // body
    painter.setBrush(QuartzDark);
    painter.drawRect(QRectF(3 * unit, 9 * unit, 10 * unit, 1 * unit)); // output slot
    painter.setBrush(Paper);
    painter.drawRect(QRectF(4 * unit, 10 * unit, 8 * unit, 5 * unit)); // printed sheet
    painter.setPen(QPen(QuartzMid, qMax<qreal>(1.0, unit / 2)));
    for (int line = 0; line < 3; ++line) {
        const qreal y = (11.5 + line * 1.2) * unit;
        painter.drawLine(QPointF(5 * unit, y), QPointF((line == 2 ? 9 : 11) * unit, y));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x7f, 0xc4, 0x7f));
    painter.drawEllipse(QRectF(12 * unit, 6.5 * unit, 1.2 * unit, 1.2 * unit)); // power light
}

} // namespace

QIcon productIcon()
{
    QIcon icon;
    for (const int side : { 16, 32, 64 }) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        drawPrinter(painter, side);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap splashPicture(const QSize& size)
{
    QPixmap pixmap(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient background(0, 0, size.width(), size.height());
    background.setColorAt(0.0, QuartzMid);
    background.setColorAt(0.55, QuartzDark);
    background.setColorAt(1.0, QColor(0x24, 0x22, 0x23));
    painter.fillRect(pixmap.rect(), background);

    // Facets of a quartz crystal along the right edge.
    painter.setPen(Qt::NoPen);
    const qreal w = size.width();
    const qreal h = size.height();
    QPainterPath crystal;
    crystal.moveTo(w * 0.70, h);
    crystal.lineTo(w * 0.78, h * 0.25);
    crystal.lineTo(w * 0.86, h * 0.05);
    crystal.lineTo(w * 0.94, h * 0.25);
    crystal.lineTo(w, h * 0.55);
    crystal.lineTo(w, h);
    crystal.closeSubpath();
    painter.setBrush(QColor(255, 255, 255, 28));
    painter.drawPath(crystal);
    QPainterPath facet;
    facet.moveTo(w * 0.78, h * 0.25);
    facet.lineTo(w * 0.86, h * 0.05);
    facet.lineTo(w * 0.86, h);
    facet.lineTo(w * 0.70, h);
    facet.closeSubpath();
    painter.setBrush(QColor(255, 255, 255, 22));
    painter.drawPath(facet);

    painter.save();
    painter.translate(24, 28);
    drawPrinter(painter, 64);
    painter.restore();

    QFont title = painter.font();
    title.setPixelSize(34);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Paper);
    painter.drawText(QRectF(104, 30, w - 120, 44), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tollbook"));

    QFont subtitle = painter.font();
    subtitle.setPixelSize(13);
    subtitle.setBold(false);
    painter.setFont(subtitle);
    painter.setPen(QuartzLight);
    painter.drawText(QRectF(106, 74, w - 120, 20), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Controle de Impressão"));
    painter.end();
    return pixmap;
}

} // namespace tollbook::Artwork
