#include "ui/WindowFile.h"

#include "data/Dataset.h" // Field.h needs the complete Dataset
#include "i18n/Language.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"
#include "ui/widgets/ActivityIndicator.h"
#include "ui/widgets/Panel.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QSet>
#include <QStackedWidget>
#include <QStringEncoder>
#include <QTabBar>
#include <QToolButton>

namespace tollbook::WindowFile {
namespace {

// Tag number of the components the export leaves out (the main window's clock and developer labels).
constexpr int SkipOnExportTag = 9;

QMenu* menuOwning(const QAction* action)
{
    QMenu* menu = action->menu<QMenu*>();
    return menu && menu->menuAction() == action ? menu : nullptr;
}

// The name the files address a component by. A menu's own action is known by the menu's name.
QString nameOf(const QObject* component)
{
    if (const auto* action = qobject_cast<const QAction*>(component)) {
        if (action->objectName().isEmpty()) {
            if (const QMenu* menu = menuOwning(action))
                return menu->objectName();
        }
    }
    return component->objectName();
}

// Qt's own parts of composite widgets (the line edit inside a date edit, a tab widget's stack, a line
// edit's clear button) carry names starting "qt_" or "_q_"; they are not components of the window.
bool isComponentName(const QString& name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_")) && !name.startsWith(QLatin1String("_q_"));
}

// Children in the order the window owns them. A stack of pages reorders its children each time it
// raises one, so its pages are taken in page order.
QObjectList ownedChildren(QObject* object)
{
    QObjectList children = object->children();
    if (auto* stack = qobject_cast<QStackedWidget*>(object)) {
        QObjectList pages;
        for (int i = 0; i < stack->count(); ++i) {
            pages << stack->widget(i);
        }
        for (QObject* child : std::as_const(children)) {
            if (!pages.contains(child)) {
                pages << child;
            }
        }
        children = pages;
    }
    return children;
}

void collect(QObject* object, QList<QObject*>& found, QSet<QObject*>& seen)
{
    for (QObject* child : ownedChildren(object)) {
        if (seen.contains(child))
            continue;
        auto* widget = qobject_cast<QWidget*>(child);
        auto* menu = qobject_cast<QMenu*>(child);
        // Another window parented to this one has its own window file; a menu is a window only to
        // the window system.
        if (widget && widget->isWindow() && !menu)
            continue;
        seen.insert(child);
        if (menu) {
            QAction* action = menu->menuAction();
            if (!seen.contains(action)) {
                seen.insert(action);
                if (isComponentName(nameOf(action)))
                    found.append(action);
            }
        } else if (isComponentName(nameOf(child))) {
            found.append(child);
        }
        // A tab bar's scroll buttons carry names of their own but are parts of the bar.
        if (!qobject_cast<QTabBar*>(child))
            collect(child, found, seen);
    }
}

bool hasSkipTag(const QObject* object)
{
    bool ok = false;
    const int tag = object->property("tag").toInt(&ok);
    return ok && tag == SkipOnExportTag;
}

bool skippedOnExport(const QObject* component)
{
    if (hasSkipTag(component))
        return true;
    // A menu's tag may sit on the menu as well as on its own action.
    const auto* action = qobject_cast<const QAction*>(component);
    const QMenu* menu = action ? menuOwning(action) : nullptr;
    return menu && hasSkipTag(menu);
}

// QAction::toolTip() falls back to the caption without its accelerator marks and ellipsis when no hint
// was set; that fallback is not a hint of the menu item.
QString actionHint(const QAction* action)
{
    const QString hint = action->toolTip();
    QString fallback = action->text();
    fallback.remove(QLatin1String("..."));
    fallback.remove(QLatin1Char('&'));
    return hint == fallback.trimmed() ? QString() : hint;
}

QString captionOf(const QObject* component, Kind kind)
{
    switch (kind) {
        case Kind::Label:
            return static_cast<const QLabel*>(component)->text();
        case Kind::Field:
            return static_cast<const Field*>(component)->displayLabel();
        case Kind::Panel:
            return static_cast<const Panel*>(component)->caption();
        case Kind::GroupBox:
            return static_cast<const QGroupBox*>(component)->title();
        case Kind::Button:
        case Kind::DataCheckBox:
            return static_cast<const QAbstractButton*>(component)->text();
        case Kind::TabSheet:
            return static_cast<const TabSheet*>(component)->caption();
        case Kind::CategoryPanel:
            return static_cast<const CategoryPanel*>(component)->caption();
        case Kind::MenuItem:
            return static_cast<const QAction*>(component)->text();
        case Kind::HintOnly:
        case Kind::None:
            break;
    }
    return {};
}

void setCaption(QObject* component, Kind kind, const QString& caption)
{
    switch (kind) {
        case Kind::Label:
            static_cast<QLabel*>(component)->setText(caption);
            break;
        case Kind::Field:
            static_cast<Field*>(component)->setDisplayLabel(caption);
            break;
        case Kind::Panel:
            static_cast<Panel*>(component)->setCaption(caption);
            break;
        case Kind::GroupBox:
            static_cast<QGroupBox*>(component)->setTitle(caption);
            break;
        case Kind::Button:
        case Kind::DataCheckBox:
            static_cast<QAbstractButton*>(component)->setText(caption);
            break;
        case Kind::TabSheet:
            static_cast<TabSheet*>(component)->setCaption(caption);
            break;
        case Kind::CategoryPanel:
            static_cast<CategoryPanel*>(component)->setCaption(caption);
            break;
        case Kind::MenuItem:
            static_cast<QAction*>(component)->setText(caption);
            break;
        case Kind::HintOnly:
        case Kind::None:
            break;
    }
}

QString hintOf(const QObject* component)
{
    if (const auto* action = qobject_cast<const QAction*>(component))
        return actionHint(action);
    if (const auto* widget = qobject_cast<const QWidget*>(component))
        return widget->toolTip();
    return {};
}

void setHint(QObject* component, const QString& hint)
{
    if (auto* action = qobject_cast<QAction*>(component))
        action->setToolTip(hint);
    else if (auto* widget = qobject_cast<QWidget*>(component))
        widget->setToolTip(hint);
}

QByteArray toWindows1252(const QString& text)
{
    QStringEncoder encoder("windows-1252", QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError())
        return bytes;
    // A character outside the code page is written as '?', as the platform's own conversion does.
    QByteArray replaced;
    for (int i = 0; i < text.size(); ++i) {
        const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QStringEncoder single("windows-1252", QStringConverter::Flag::Stateless);
        const QByteArray one = single.encode(QStringView(text).mid(i, length));
        replaced += single.hasError() ? QByteArray("?") : one;
        i += length - 1;
    }
    return replaced;
}

bool hasCaption(Kind kind)
{
    return kind != Kind::None && kind != Kind::HintOnly;
}

bool hasHint(Kind kind)
{
    return kind != Kind::None && kind != Kind::Field;
}

} // namespace

Kind kindOf(const QObject* component)
{
    if (!component)
        return Kind::None;
    // The custom classes derive from the Qt ones further down, so they are tested first.
    if (qobject_cast<const ToggleSwitch*>(component))
        return Kind::HintOnly;
    if (qobject_cast<const DBCheckBox*>(component))
        return Kind::DataCheckBox;
    if (qobject_cast<const TabSheet*>(component))
        return Kind::TabSheet;
    if (qobject_cast<const CategoryPanel*>(component))
        return Kind::CategoryPanel;
    if (qobject_cast<const Panel*>(component))
        return Kind::Panel;
    if (qobject_cast<const Field*>(component))
        return Kind::Field;
    if (qobject_cast<const QLabel*>(component))
        return Kind::Label;
    if (qobject_cast<const QGroupBox*>(component))
        return Kind::GroupBox;
    if (qobject_cast<const QPushButton*>(component) || qobject_cast<const QToolButton*>(component) ||
        qobject_cast<const QCheckBox*>(component) || qobject_cast<const QRadioButton*>(component))
        return Kind::Button;
    if (qobject_cast<const QLineEdit*>(component) || qobject_cast<const QListWidget*>(component) ||
        qobject_cast<const QDateEdit*>(component) || qobject_cast<const ActivityIndicator*>(component))
        return Kind::HintOnly;
    // A combo box whose text is typed (the free-text user picker) is an edit box with a list; its hint is
    // translated like an edit box's. A pick-only combo box has nothing in the files.
    if (const auto* combo = qobject_cast<const QComboBox*>(component); combo && combo->isEditable())
        return Kind::HintOnly;
    if (qobject_cast<const QAction*>(component))
        return Kind::MenuItem;
    return Kind::None;
}

QList<QObject*> components(QWidget* window)
{
    QList<QObject*> found;
    if (!window)
        return found;
    QSet<QObject*> seen;
    seen.insert(window);
    collect(window, found, seen);
    return found;
}

void apply(QWidget* window, const QString& code)
{
    if (!window)
        return;
    applyFile(window, Language::windowFilePath(code, window->objectName()));
}

void applyFile(QWidget* window, const QString& path)
{
    if (!window || !QFileInfo(path).isFile())
        return;
    const QString section = window->objectName();
    const auto read = [&](const QString& name, const char* property) {
        return ReadIniValue(path, section, name + QLatin1Char('.') + QLatin1String(property));
    };

    window->setWindowTitle(read(section, "Caption"));
    for (QObject* component : components(window)) {
        const Kind kind = kindOf(component);
        const QString name = nameOf(component);
        if (kind == Kind::Field) {
            const QString label = read(name, "DisplayLabel");
            if (!label.isEmpty())
                setCaption(component, kind, label);
            continue;
        }
        if (hasCaption(kind)) {
            const QString caption = read(name, "Caption");
            if (!caption.isEmpty())
                setCaption(component, kind, caption);
        }
        if (hasHint(kind)) {
            const QString hint = read(name, "Hint");
            if (!hint.isEmpty())
                setHint(component, hint);
        }
    }
}

QStringList exportLines(QWidget* window)
{
    if (!window || window->objectName().isEmpty())
        return {};
    const QString windowName = window->objectName();
    QStringList lines;
    lines << QLatin1Char('[') + windowName + QLatin1Char(']');
    lines << windowName + QLatin1String(".Caption=") + window->windowTitle();

    for (const QObject* component : components(window)) {
        if (skippedOnExport(component))
            continue;
        const Kind kind = kindOf(component);
        const QString name = nameOf(component);
        const auto captionLine = [&] { return name + QLatin1String(".Caption=") + captionOf(component, kind); };
        const auto hintLine = [&] { return name + QLatin1String(".Hint=") + hintOf(component); };
        switch (kind) {
            case Kind::Field:
                lines << name + QLatin1String(".DisplayLabel=") + captionOf(component, kind);
                break;
            case Kind::Panel:
            case Kind::GroupBox:
                if (!captionOf(component, kind).isEmpty())
                    lines << captionLine() << hintLine();
                break;
            case Kind::DataCheckBox:
                lines << captionLine() << name + QLatin1String(".Hint =") + hintOf(component);
                break;
            case Kind::Label:
            case Kind::Button:
            case Kind::TabSheet:
            case Kind::CategoryPanel:
            case Kind::MenuItem:
                lines << captionLine() << hintLine();
                break;
            case Kind::HintOnly:
                lines << hintLine();
                break;
            case Kind::None:
                break;
        }
    }
    return lines;
}

void writeLines(const QString& path, const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += toWindows1252(line);
        bytes += "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw PlainError(QStringLiteral("Unable to write to %1").arg(path));
    }
}

} // namespace tollbook::WindowFile
