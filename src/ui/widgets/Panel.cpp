#include "Panel.h"

#include <QPainter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace tollbook {

Panel::Panel(QWidget* parent)
    : QFrame(parent)
    , m_caption(new QLabel(this))
{
    setFrameShape(QFrame::StyledPanel);
    m_caption->setObjectName(QString()); // not a component of its own
    m_caption->setAlignment(Qt::AlignCenter);
    m_caption->hide();
}

QString Panel::caption() const
{
    return m_caption->text();
}

void Panel::setCaption(const QString& caption)
{
    m_caption->setText(caption);
    m_caption->setVisible(!caption.isEmpty());
}

CategoryPanel::CategoryPanel(QWidget* parent)
    : QWidget(parent)
    , m_header(new QToolButton(this))
    , m_content(new QWidget(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header->setCheckable(true);
    m_header->setChecked(true);
    m_header->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_header->setArrowType(Qt::DownArrow);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_header->setProperty("categoryHeader", true);
    layout->addWidget(m_header);
    layout->addWidget(m_content, 1);
    connect(m_header, &QToolButton::toggled, this, [this](bool open) {
        m_header->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        m_content->setVisible(open);
        // Collapsed, the panel is its header only and takes no room beyond it.
        setSizePolicy(QSizePolicy::Preferred, open ? QSizePolicy::Preferred : QSizePolicy::Fixed);
        Q_EMIT collapsedChanged(!open);
    });
}

QString CategoryPanel::caption() const
{
    return m_header->text();
}

void CategoryPanel::setCaption(const QString& caption)
{
    m_header->setText(caption);
}

bool CategoryPanel::isCollapsed() const
{
    return !m_header->isChecked();
}

void CategoryPanel::setCollapsed(bool collapsed)
{
    m_header->setChecked(!collapsed);
}

ToggleSwitch::ToggleSwitch(QWidget* parent)
    : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
}

QSize ToggleSwitch::sizeHint() const
{
    return QSize(44, 22);
}

void ToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 3, -1, -3);
    // Amber when on, grey when off: readable whatever the style sheet does to the palette.
    const QColor on(0xb0, 0x8d, 0x57);
    const QColor off(0x8a, 0x84, 0x80);
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? on : off);
    painter.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const qreal diameter = height() - 2;
    const qreal x = isChecked() ? width() - diameter - 1 : 1;
    painter.setBrush(isEnabled() ? QColor(0xf4, 0xf1, 0xee) : QColor(0xc8, 0xc4, 0xc0));
    painter.drawEllipse(QRectF(x, 1, diameter, diameter));
}

TabSheet::TabSheet(const QString& caption, QWidget* parent)
    : QWidget(parent)
    , m_caption(caption)
{
}

QTabWidget* TabSheet::tabWidget() const
{
    // A page's parent is the tab widget's internal stack, whose parent is the tab widget.
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(ancestor)) {
            return tabs;
        }
        if (!qobject_cast<QStackedWidget*>(ancestor)) {
            break;
        }
    }
    return nullptr;
}

QString TabSheet::caption() const
{
    if (QTabWidget* tabs = tabWidget()) {
        const int index = tabs->indexOf(const_cast<TabSheet*>(this));
        if (index >= 0) {
            return tabs->tabText(index);
        }
    }
    return m_caption;
}

void TabSheet::setCaption(const QString& caption)
{
    m_caption = caption;
    if (QTabWidget* tabs = tabWidget()) {
        const int index = tabs->indexOf(this);
        if (index >= 0) {
            tabs->setTabText(index, caption);
        }
    }
}

void Picture::setPixmap(const QPixmap& pixmap)
{
    m_pixmap = pixmap;
    updateGeometry();
    update();
}

void Picture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QSize size = m_pixmap.deviceIndependentSize().toSize().scaled(this->size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    painter.drawPixmap(target, m_pixmap);
}

} // namespace tollbook
