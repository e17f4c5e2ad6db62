#include "maintenance/LinkLabel.h"

#include "maintenance/UrlOpener.h"

#include <QMouseEvent>

namespace tollbook {

LinkLabel::LinkLabel(const QString& text, const QUrl& target, QWidget* parent)
    : QLabel(text, parent)
    , m_target(target)
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, QColor(0, 0, 128)); // navy
    setPalette(colours);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    connect(this, &LinkLabel::clicked, this, [this] { openUrl(m_target); });
}

void LinkLabel::enterEvent(QEnterEvent* event)
{
    setUnderlined(true);
    QLabel::enterEvent(event);
}

void LinkLabel::mouseMoveEvent(QMouseEvent* event)
{
    setUnderlined(true);
    QLabel::mouseMoveEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event)
{
    setUnderlined(false);
    QLabel::leaveEvent(event);
}

void LinkLabel::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    // A click is a press and a release of the left button, both on the label.
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        Q_EMIT clicked();
}

void LinkLabel::setUnderlined(bool underlined)
{
    if (font().underline() == underlined)
        return;
    QFont changed = font();
    changed.setUnderline(underlined);
    setFont(changed);
}

} // namespace tollbook
