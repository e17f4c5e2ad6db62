#pragma once

#include <QString>
#include <QStringList>

class QObject;
class QWidget;

// Window files: the captions, hints and field labels of one window in one language
// (language/<code>/<WindowName>.lpu), applied to a live window and exported from it.
namespace tollbook::WindowFile {

// The kind of component the files know; decides which keys are read and written.
enum class Kind {
    None,          // grids, charts, status bar, tree, pick-only combo boxes, datasets, timers...: nothing
    Label,         // QLabel: Caption, Hint
    Field,         // tollbook::Field: DisplayLabel
    Panel,         // tollbook::Panel: Caption, Hint (exported only when the caption is not empty)
    GroupBox,      // QGroupBox: Caption, Hint (exported only when the caption is not empty)
    Button,        // QPushButton, QToolButton, QCheckBox, QRadioButton: Caption, Hint
    DataCheckBox,  // tollbook::DBCheckBox: Caption, Hint (exported as "Name.Hint =")
    TabSheet,      // tollbook::TabSheet: Caption, Hint
    CategoryPanel, // tollbook::CategoryPanel: Caption, Hint
    HintOnly,      // tollbook::ToggleSwitch, QLineEdit, QListWidget, QDateEdit, tollbook::ActivityIndicator,
                   // editable QComboBox: Hint
    MenuItem,      // QAction (a menu's own action for a menu): Caption, Hint
};
Kind kindOf(const QObject* component);

// The window's components in the order the window owns them: depth first through its children, in
// creation order, including dataset fields and menu actions; unnamed objects are left out. A menu comes
// as its own action, under the menu's name. Qt's parts of composite widgets (names starting "qt_", a tab
// bar's buttons) and other windows parented to this one are not components.
QList<QObject*> components(QWidget* window);

// Applies language/<code>/<window name>.lpu to the live window; does nothing when the file is missing.
// The window's title is always assigned; every other property only from a non-empty value.
void apply(QWidget* window, const QString& code);
void applyFile(QWidget* window, const QString& path);

// The lines the export writes for the window as it now stands; components whose "tag" property is 9
// are left out.
QStringList exportLines(QWidget* window);
// Writes the lines as Windows-1252 text with CR LF line ends, replacing the file. Throws PlainError.
void writeLines(const QString& path, const QStringList& lines);

} // namespace tollbook::WindowFile
