#include "ui/widgets/ActivityIndicator.h"

#include <QPainter>
#include <QtMath>

namespace tollbook {

ActivityIndicator::ActivityIndicator(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_timer.setInterval(90);
    connect(&m_timer, &QTimer::timeout, this, [this]() {
        m_step = (m_step + 1) % DotCount;
        update();
    });
}

void ActivityIndicator::setAnimating(bool animating)
{
    if (animating) {
        m_timer.start();
    } else {
        m_timer.stop();
    }
    update();
}

void ActivityIndicator::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void ActivityIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const qreal side = qMin(width(), height());
    const qreal dot = side / 7.0;
    const qreal radius = side / 2.0 - dot;
    painter.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < DotCount; ++i) {
        // The dot at the current step is the brightest; the ones behind it fade out.
        const int age = (m_step - i + DotCount) % DotCount;
        QColor color = m_color;
        color.setAlphaF(1.0 - age * (0.85 / DotCount));
        painter.setBrush(color);
        const qreal angle = 2 * M_PI * i / DotCount - M_PI / 2;
        painter.drawEllipse(QPointF(radius * qCos(angle), radius * qSin(angle)), dot / 2, dot / 2);
    }
}

} // namespace tollbook
