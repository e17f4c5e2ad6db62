#include "app/DeveloperKeys.h"

#include "app/DataModule.h"
#include "ui/ErrorHandler.h"
#include "ui/WindowFile.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QScopedValueRollback>

namespace tollbook {

namespace {

QString runModal(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted) {
        return QString();
    }
    return dialog.selectedFiles().value(0);
}

} // namespace

DeveloperKeys::DeveloperKeys(DataModule* dataModule, QObject* parent)
    : QObject(parent)
    , m_dataModule(dataModule)
    , m_saveDialog(runModal)
{
}

void DeveloperKeys::setSaveDialog(SaveDialog saveDialog)
{
    m_saveDialog = saveDialog ? std::move(saveDialog) : SaveDialog(runModal);
}

bool DeveloperKeys::hasWindowFile(const QString& windowName)
{
    static const QStringList windows = { QStringLiteral("frmTBKPrincipal"), QStringLiteral("frmLogin"),
                                         QStringLiteral("frmLimpa"),        QStringLiteral("frmPeriodo"),
                                         QStringLiteral("frmImpressora"),   QStringLiteral("frmConfiguracao") };
    return windows.contains(windowName);
}

void DeveloperKeys::exportWindowFile(QWidget* window)
{
    if (!window || !hasWindowFile(window->objectName())) {
        return;
    }
    // The lines are those of the window as it stands before the save dialog takes the focus.
    const QStringList lines = WindowFile::exportLines(window);

    QFileDialog dialog(window);
    dialog.setObjectName(QStringLiteral("SaveDialoglpu"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("Arquivos de Linguagem (*.lpu)"));
    dialog.setDefaultSuffix(QStringLiteral("lpu"));
    dialog.setDirectory(m_dataModule->installFolder() + QStringLiteral("language/pt_BR"));
    dialog.selectFile(window->objectName());
    // The file is replaced without asking.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);

    const QString path = m_saveDialog(dialog);
    if (path.isEmpty()) {
        return;
    }
    WindowFile::writeLines(path, lines);
}

bool DeveloperKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !m_dataModule->developerMode() || m_exporting) {
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers held = key->modifiers();
    if (key->key() != Qt::Key_G || !(held & Qt::ControlModifier) || !(held & Qt::AltModifier)) {
        return QObject::eventFilter(watched, event);
    }
    QScopedValueRollback<bool> exporting(m_exporting, true);
    try {
        exportWindowFile(QApplication::activeWindow());
    } catch (...) {
        ErrorHandler::handleCurrentException();
    }
    return true;
}

} // namespace tollbook
