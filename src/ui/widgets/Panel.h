#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPixmap>

class QTabWidget;
class QToolButton;

namespace tollbook {

// A framed area that can show a caption, as the windows' panels do ("PanelCusto"). Child widgets are
// laid out by the owner; the caption, when not empty, sits in a label of its own at the top.
class Panel : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString caption READ caption WRITE setCaption)

public:
    explicit Panel(QWidget* parent = nullptr);
    QString caption() const;
    void setCaption(const QString& caption);
    // The label that shows the caption; hidden while the caption is empty.
    QLabel* captionLabel() const { return m_caption; }

private:
    QLabel* m_caption;
};

// A collapsible panel with a clickable header, one of a group stacked in the side pane ("CategoryPanel1").
class CategoryPanel : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString caption READ caption WRITE setCaption)

public:
    explicit CategoryPanel(QWidget* parent = nullptr);
    QString caption() const;
    void setCaption(const QString& caption);
    // Where the panel's own controls go.
    QWidget* content() const { return m_content; }
    bool isCollapsed() const;
    void setCollapsed(bool collapsed);

Q_SIGNALS:
    void collapsedChanged(bool collapsed);

private:
    QToolButton* m_header;
    QWidget* m_content;
};

// An on/off switch ("the monitoring switch"); a check box drawn as a switch.
class ToggleSwitch : public QAbstractButton
{
    Q_OBJECT

public:
    explicit ToggleSwitch(QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A check box bound to a dataset's flag field; its hint key is written "Name.Hint =" by the export.
class DBCheckBox : public QCheckBox
{
    Q_OBJECT

public:
    using QCheckBox::QCheckBox;
};

// One page of a page control. Its caption is the text of its tab in the QTabWidget that holds it.
class TabSheet : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString caption READ caption WRITE setCaption)

public:
    explicit TabSheet(const QString& caption, QWidget* parent = nullptr);
    QString caption() const;
    void setCaption(const QString& caption);
    // The tab widget holding the page, once it has been added to one.
    QTabWidget* tabWidget() const;

private:
    QString m_caption; // kept until the page is added to its tab widget
};

// A picture shown as it is; it carries no caption of its own, so no language file addresses it.
class Picture : public QWidget
{
    Q_OBJECT

public:
    explicit Picture(QWidget* parent = nullptr)
        : QWidget(parent)
    {
    }
    void setPixmap(const QPixmap& pixmap);
    QPixmap pixmap() const { return m_pixmap; }
    QSize sizeHint() const override { return m_pixmap.deviceIndependentSize().toSize(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_pixmap;
};

} // namespace tollbook
