#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QFileDialog;
class QWidget;

namespace tollbook {

class DataModule;

// The developer's key hook, installed on the application: while developer mode is on, Ctrl+Alt+G writes
// the window file of the active window (modal dialogs included) from the captions it shows now, to a file
// chosen in the save dialog "SaveDialoglpu". Every other key goes on unchanged.
class DeveloperKeys : public QObject
{
    Q_OBJECT

public:
    // Runs the prepared save dialog; the chosen file, or empty when the user cancelled.
    using SaveDialog = std::function<QString(QFileDialog& dialog)>;

    explicit DeveloperKeys(DataModule* dataModule, QObject* parent = nullptr);

    // Replaces how the save dialog is run; an empty function restores the modal dialog.
    void setSaveDialog(SaveDialog saveDialog);

    // The windows that have window files.
    static bool hasWindowFile(const QString& windowName);

    // Writes the window file of the window through the save dialog; nothing for a window without one.
    void exportWindowFile(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DataModule* m_dataModule;
    SaveDialog m_saveDialog;
    bool m_exporting = false;
};

} // namespace tollbook
