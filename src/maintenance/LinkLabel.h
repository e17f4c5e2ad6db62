#pragma once

#include <QLabel>
#include <QUrl>

namespace tollbook {

// A label that opens an address when clicked: navy text, a hand cursor, and an underline while the mouse
// is over it.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    LinkLabel(const QString& text, const QUrl& target, QWidget* parent = nullptr);
    QUrl target() const { return m_target; }

Q_SIGNALS:
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setUnderlined(bool underlined);

    QUrl m_target;
    bool m_pressed = false;
};

} // namespace tollbook
