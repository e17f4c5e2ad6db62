#include "chart/BarChart.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace tollbook {

namespace {

constexpr double Margin = 8;
constexpr double Gap = 4;
constexpr double BarShare = 0.8; // of its slot
constexpr double LongestLabel = 140;
constexpr int LegendRows = 2;
constexpr double SwatchSize = 10;
constexpr double LegendSpacing = 12;

// A fixed set of clearly different colours first, then hues a golden angle apart, so that no two bars of
// a few hundred look alike and neighbours never do.
const QList<QColor>& baseColors()
{
    static const QList<QColor> colors = {
        QColor(0xe0, 0x3c, 0x31), QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0xbf, 0x00), QColor(0x2c, 0xa0, 0x2c),
        QColor(0x94, 0x67, 0xbd), QColor(0xff, 0x7f, 0x0e), QColor(0x17, 0xbe, 0xcf), QColor(0xe3, 0x77, 0xc2),
        QColor(0x8c, 0x56, 0x4b), QColor(0xbc, 0xbd, 0x22), QColor(0x7f, 0x7f, 0x7f), QColor(0x00, 0x33, 0x99),
    };
    return colors;
}

// A step of 1, 2 or 5 times a power of ten that divides the axis into about five parts.
double niceStep(double maximum)
{
    const double raw = maximum / 5;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : { 1.0, 2.0, 5.0, 10.0 }) {
        if (factor * magnitude >= raw) {
            return std::max(1.0, factor * magnitude);
        }
    }
    return std::max(1.0, 10 * magnitude);
}

QString tickText(double value)
{
    return QString::number(static_cast<qint64>(std::llround(value)));
}

QFont titleFont(const QFont& font)
{
    QFont title = font;
    title.setBold(true);
    if (font.pixelSize() > 0) {
        title.setPixelSize(font.pixelSize() + 3);
    } else {
        title.setPointSizeF(font.pointSizeF() + 2);
    }
    return title;
}

} // namespace

struct BarChart::Layout
{
    double titleTop = 0;
    double legendTop = 0;
    int legendShown = 0; // bars named in the legend; the rest are summed up as "… +n"
    QRectF plot;
    double slot = 0;
    double axisMaximum = 1;
    double tickStep = 1;
    bool uprightLabels = false;
    int labelStep = 1;
    bool uprightMarks = false;
    int markStep = 1;
    double axisTitleLeft = 0;
};

BarChart::BarChart()
{
    m_font.setPixelSize(11);
}

QColor BarChart::barColor(int index)
{
    const QList<QColor>& colors = baseColors();
    if (index < colors.size()) {
        return colors.at(index);
    }
    const int hue = static_cast<int>(std::fmod(index * 137.508, 360.0));
    const int saturation = 150 + (index % 3) * 45;
    const int value = 240 - (index % 4) * 30;
    return QColor::fromHsv(hue, saturation, value);
}

double BarChart::axisMaximum() const
{
    double maximum = 0;
    for (const ChartBar& bar : m_bars) {
        maximum = std::max(maximum, bar.value);
    }
    return maximum;
}

BarChart::Layout BarChart::layout(const QRectF& area) const
{
    Layout layout;
    const QFontMetricsF metrics(m_font);
    const QFontMetricsF titleMetrics(titleFont(m_font));
    const double line = metrics.lineSpacing();

    const double highest = axisMaximum();
    layout.tickStep = highest > 0 ? niceStep(highest) : 1;
    layout.axisMaximum = highest > 0 ? std::ceil(highest / layout.tickStep) * layout.tickStep : 5;
    if (layout.axisMaximum <= highest) {
        layout.axisMaximum += layout.tickStep; // room above the highest bar for its mark
    }

    double top = area.top() + Margin;
    layout.titleTop = top;
    top += m_title.size() * titleMetrics.lineSpacing() + (m_title.isEmpty() ? 0 : Gap);

    // Legend: as many bars as fit in its rows.
    layout.legendTop = top;
    const double legendWidth = area.width() - 2 * Margin;
    double x = 0;
    int row = 0;
    for (int index = 0; index < m_bars.size(); ++index) {
        const double item = SwatchSize + Gap + metrics.horizontalAdvance(m_bars.at(index).label) + LegendSpacing;
        // The last row keeps room for the "… +n" that stands for the bars left out.
        const double reserve = row == LegendRows - 1 && index + 1 < m_bars.size()
                                   ? metrics.horizontalAdvance(QStringLiteral("… +%1").arg(m_bars.size()))
                                   : 0;
        if (x > 0 && x + item + reserve > legendWidth) {
            if (++row == LegendRows) {
                break;
            }
            x = 0;
        }
        x += item;
        layout.legendShown = index + 1;
    }
    const int legendRowsUsed = m_bars.isEmpty() ? 0 : std::min(row + 1, LegendRows);
    top += legendRowsUsed * line + (legendRowsUsed > 0 ? Gap : 0);

    // Horizontal: axis title, tick texts, plot.
    double tickWidth = metrics.horizontalAdvance(tickText(layout.axisMaximum));
    tickWidth = std::max(tickWidth, metrics.horizontalAdvance(QStringLiteral("0")));
    layout.axisTitleLeft = area.left() + Margin;
    const double plotLeft = layout.axisTitleLeft + (m_axisTitle.isEmpty() ? 0 : line + Gap) + tickWidth + Gap;
    const double plotRight = area.right() - Margin;
    const double plotWidth = std::max(1.0, plotRight - plotLeft);
    const int count = std::max(1, int(m_bars.size()));
    layout.slot = plotWidth / count;

    double labelWidth = 0;
    double markWidth = 0;
    for (const ChartBar& bar : m_bars) {
        labelWidth = std::max(labelWidth, std::min(LongestLabel, metrics.horizontalAdvance(bar.label)));
        markWidth = std::max(markWidth, metrics.horizontalAdvance(bar.valueText));
    }
    double labelRoom = line;
    if (labelWidth > layout.slot * 0.95) {
        layout.uprightLabels = true;
        labelRoom = labelWidth;
        layout.labelStep = std::max(1, int(std::ceil(line / layout.slot)));
    }
    double markRoom = line;
    if (markWidth > layout.slot) {
        layout.uprightMarks = true;
        markRoom = markWidth;
        layout.markStep = std::max(1, int(std::ceil(line / layout.slot)));
    }

    // Vertical: the marks above the plot's top need room too, as the highest tick's text does.
    const double plotTop = top + std::max(markRoom, line / 2);
    const double plotBottom = area.bottom() - Margin - labelRoom - Gap;
    layout.plot = QRectF(QPointF(plotLeft, plotTop), QPointF(plotRight, std::max(plotTop + 1, plotBottom)));
    return layout;
}

int BarChart::widthForEveryLabel() const
{
    const QFontMetricsF metrics(m_font);
    const Layout probe = layout(QRectF(0, 0, 1000, 600));
    const double overhead = probe.plot.left() + Margin;
    return int(std::ceil(overhead + m_bars.size() * (metrics.lineSpacing() + 2)));
}

void BarChart::paint(QPainter& painter, const QRectF& area) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    const Layout layout = this->layout(area);
    const QFontMetricsF metrics(m_font);
    const double line = metrics.lineSpacing();
    const QColor text(Qt::black);

    // Title
    const QFont title = titleFont(m_font);
    const QFontMetricsF titleMetrics(title);
    painter.setFont(title);
    painter.setPen(QColor(0x00, 0x00, 0x80));
    double y = layout.titleTop;
    for (const QString& titleLine : m_title) {
        painter.drawText(QRectF(area.left(), y, area.width(), titleMetrics.lineSpacing()), Qt::AlignCenter, titleLine);
        y += titleMetrics.lineSpacing();
    }

    // Legend, centred, without a frame.
    painter.setFont(m_font);
    if (layout.legendShown > 0) {
        QList<QList<int>> rows(1);
        QList<double> rowWidths(1, 0.0);
        const double legendWidth = area.width() - 2 * Margin;
        for (int index = 0; index < layout.legendShown; ++index) {
            const double item = SwatchSize + Gap + metrics.horizontalAdvance(m_bars.at(index).label) + LegendSpacing;
            if (!rows.last().isEmpty() && rowWidths.last() + item > legendWidth) {
                rows.append(QList<int>());
                rowWidths.append(0);
            }
            rows.last().append(index);
            rowWidths.last() += item;
        }
        const int leftOut = int(m_bars.size()) - layout.legendShown;
        const QString more = leftOut > 0 ? QStringLiteral("… +%1").arg(leftOut) : QString();
        for (int row = 0; row < rows.size(); ++row) {
            const bool last = row == rows.size() - 1;
            const double width = rowWidths.at(row) + (last ? metrics.horizontalAdvance(more) : 0);
            double x = area.left() + Margin + std::max(0.0, (legendWidth - width) / 2);
            const double rowTop = layout.legendTop + row * line;
            for (const int index : rows.at(row)) {
                painter.fillRect(QRectF(x, rowTop + (line - SwatchSize) / 2, SwatchSize, SwatchSize), barColor(index));
                x += SwatchSize + Gap;
                painter.setPen(text);
                const QString& label = m_bars.at(index).label;
                painter.drawText(QRectF(x, rowTop, metrics.horizontalAdvance(label) + 1, line),
                                 Qt::AlignLeft | Qt::AlignVCenter, label);
                x += metrics.horizontalAdvance(label) + LegendSpacing;
            }
            if (last && !more.isEmpty()) {
                painter.drawText(QRectF(x, rowTop, metrics.horizontalAdvance(more) + 1, line),
                                 Qt::AlignLeft | Qt::AlignVCenter, more);
            }
        }
    }

    const QRectF& plot = layout.plot;
    const auto yOf = [&](double value) { return plot.bottom() - value / layout.axisMaximum * plot.height(); };

    // Vertical axis: grid lines at the major ticks only, their values, the axis title.
    painter.setPen(text);
    for (double tick = 0; tick <= layout.axisMaximum + layout.tickStep / 2; tick += layout.tickStep) {
        const double tickY = yOf(tick);
        if (tick > 0) {
            painter.setPen(QColor(0xdd, 0xdd, 0xdd));
            painter.drawLine(QPointF(plot.left(), tickY), QPointF(plot.right(), tickY));
        }
        painter.setPen(text);
        painter.drawLine(QPointF(plot.left() - 3, tickY), QPointF(plot.left(), tickY));
        painter.drawText(QRectF(area.left(), tickY - line / 2, plot.left() - Gap - area.left(), line),
                         Qt::AlignRight | Qt::AlignVCenter, tickText(tick));
    }
    if (!m_axisTitle.isEmpty()) {
        painter.save();
        painter.translate(layout.axisTitleLeft, plot.center().y());
        painter.rotate(-90);
        painter.drawText(QRectF(-plot.height() / 2, 0, plot.height(), line), Qt::AlignCenter, m_axisTitle);
        painter.restore();
    }
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());

    // Bars first, then their marks and labels, so that no neighbouring bar covers a mark.
    const auto barRect = [&](int index) {
        const double slotLeft = plot.left() + index * layout.slot;
        const double barWidth = layout.slot * BarShare;
        return QRectF(QPointF(slotLeft + (layout.slot - barWidth) / 2, yOf(std::max(0.0, m_bars.at(index).value))),
                      QPointF(slotLeft + (layout.slot + barWidth) / 2, plot.bottom()));
    };
    for (int index = 0; index < m_bars.size(); ++index) {
        const QRectF rect = barRect(index);
        const QColor color = barColor(index);
        painter.fillRect(rect, color);
        if (rect.width() >= 4) {
            painter.setPen(color.darker(140));
            painter.drawRect(rect.adjusted(0, 0, -1, 0));
        }
    }
    painter.setPen(text);
    for (int index = 0; index < m_bars.size(); ++index) {
        const ChartBar& bar = m_bars.at(index);
        const QRectF rect = barRect(index);
        const double centre = rect.center().x();

        if (index % layout.markStep == 0) {
            const double markWidth = metrics.horizontalAdvance(bar.valueText) + 1;
            if (layout.uprightMarks) {
                painter.save();
                painter.translate(centre, rect.top() - 2);
                painter.rotate(-90);
                painter.drawText(QRectF(0, -line / 2, markWidth, line), Qt::AlignLeft | Qt::AlignVCenter,
                                 bar.valueText);
                painter.restore();
            } else {
                painter.drawText(QRectF(centre - markWidth / 2, rect.top() - line, markWidth, line), Qt::AlignCenter,
                                 bar.valueText);
            }
        }
        if (index % layout.labelStep == 0) {
            const QString label = metrics.elidedText(bar.label, Qt::ElideRight, LongestLabel);
            const double labelWidth = metrics.horizontalAdvance(label) + 1;
            if (layout.uprightLabels) {
                painter.save();
                painter.translate(centre, plot.bottom() + Gap);
                painter.rotate(-90);
                painter.drawText(QRectF(-labelWidth, -line / 2, labelWidth, line), Qt::AlignRight | Qt::AlignVCenter,
                                 label);
                painter.restore();
            } else {
                painter.drawText(QRectF(centre - labelWidth / 2, plot.bottom() + Gap, labelWidth, line),
                                 Qt::AlignCenter, label);
            }
        }
    }
    painter.restore();
}

int BarChart::barAt(const QRectF& area, const QPointF& point) const
{
    if (m_bars.isEmpty()) {
        return -1;
    }
    const Layout layout = this->layout(area);
    if (point.x() < layout.plot.left() || point.x() >= layout.plot.right() || point.y() < layout.plot.top() ||
        point.y() > layout.plot.bottom()) {
        return -1;
    }
    const int index = int((point.x() - layout.plot.left()) / layout.slot);
    return index < m_bars.size() ? index : -1;
}

QImage BarChart::toImage(const QSize& size) const
{
    // Painted in the raster engine's own format, then taken to three bytes a pixel.
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    paint(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    return image.convertToFormat(QImage::Format_RGB888);
}

} // namespace tollbook
