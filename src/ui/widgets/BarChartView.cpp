#include "ui/widgets/BarChartView.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace tollbook {

namespace {

// Room for upright labels under the bars and the title above them.
constexpr int MinimumPictureHeight = 420;

} // namespace

BarChartView::BarChartView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void BarChartView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    m_chart.paint(painter, QRectF(rect()));
}

bool BarChartView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QWidget::event(event);
}

QString BarChartView::toolTipAt(const QPoint& position) const
{
    const int index = m_chart.barAt(QRectF(rect()), QPointF(position));
    if (index < 0) {
        return QString();
    }
    const ChartBar& bar = m_chart.bars().at(index);
    return bar.label.isEmpty() ? bar.valueText : bar.label + QStringLiteral(": ") + bar.valueText;
}

QImage BarChartView::picture() const
{
    const QSize shown = size().isValid() && !size().isEmpty() ? size() : sizeHint();
    return m_chart.toImage(
        QSize(std::max(shown.width(), m_chart.widthForEveryLabel()), std::max(shown.height(), MinimumPictureHeight)));
}

} // namespace tollbook
