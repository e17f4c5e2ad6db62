#pragma once

#include <QTimer>
#include <QWidget>

namespace tollbook {

// A turning ring of dots that says "busy". It turns while it is visible and animating.
class ActivityIndicator : public QWidget
{
    Q_OBJECT

public:
    explicit ActivityIndicator(QWidget* parent = nullptr);

    bool isAnimating() const { return m_timer.isActive(); }
    void setAnimating(bool animating);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);

    QSize sizeHint() const override { return QSize(32, 32); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int DotCount = 8;

    QTimer m_timer;
    QColor m_color = Qt::white;
    int m_step = 0;
};

} // namespace tollbook
