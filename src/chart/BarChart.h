#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

namespace tollbook {

// One bar: its label under the horizontal axis, its value and the text of the value mark above it.
struct ChartBar
{
    QString label;
    double value = 0;
    QString valueText;
};

// A flat bar chart painted on any QPainter: a widget, an image file or a page of a report. One bar per entry
// in the given order, each in its own colour, 80 % of its slot wide, its value marked on top; a title of one
// or more lines, a legend of the bars without a frame near the top, a vertical axis with its title, no minor
// ticks and no outer frame.
//
// Labels stay legible however many bars there are: they lie flat while they fit their slot, stand upright
// when they do not, and when even an upright label is wider than its slot only every n-th bar is labelled.
// Value marks are thinned the same way. The value tool tip of a view finds its bar with barAt().
//
// Sizes, the font's included (set in pixels), are in the painter's logical pixels: on a printer or PDF page
// scale the painter to its resolution first.
class BarChart
{
public:
    BarChart();

    void setTitleLines(const QStringList& lines) { m_title = lines; }
    const QStringList& titleLines() const { return m_title; }
    void setAxisTitle(const QString& title) { m_axisTitle = title; }
    const QString& axisTitle() const { return m_axisTitle; }
    void setBars(const QList<ChartBar>& bars) { m_bars = bars; }
    const QList<ChartBar>& bars() const { return m_bars; }
    void setFont(const QFont& font) { m_font = font; }
    const QFont& font() const { return m_font; }

    // The colour of the bar at index; neighbours and bars far apart differ.
    static QColor barColor(int index);

    void paint(QPainter& painter, const QRectF& area) const;
    // The bar under the point when the chart is painted into area; -1 when none.
    int barAt(const QRectF& area, const QPointF& point) const;
    // The smallest width at which every bar gets a label of its own (upright where needed).
    int widthForEveryLabel() const;

    // The chart on a white image of that size, 24 bits per pixel.
    QImage toImage(const QSize& size) const;

private:
    struct Layout;
    Layout layout(const QRectF& area) const;
    double axisMaximum() const;

    QStringList m_title;
    QString m_axisTitle;
    QList<ChartBar> m_bars;
    QFont m_font;
};

} // namespace tollbook
