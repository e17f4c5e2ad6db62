#pragma once

#include "chart/BarChart.h"

#include <QWidget>

namespace tollbook {

// A bar chart on screen ("DBChart1"): paints its BarChart and shows a bar's label and value as a tool tip
// while the mouse is over the bar.
class BarChartView : public QWidget
{
    Q_OBJECT

public:
    explicit BarChartView(QWidget* parent = nullptr);

    BarChart& chart() { return m_chart; }
    const BarChart& chart() const { return m_chart; }
    // Repaints after the chart changed.
    void chartChanged() { update(); }

    // The chart as the view now shows it, widened where needed so that every bar keeps a label of its own.
    QImage picture() const;

    // The tool tip over that point of the view; empty where there is no bar.
    QString toolTipAt(const QPoint& position) const;

    QSize sizeHint() const override { return QSize(640, 380); }
    QSize minimumSizeHint() const override { return QSize(200, 160); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    BarChart m_chart;
};

} // namespace tollbook
