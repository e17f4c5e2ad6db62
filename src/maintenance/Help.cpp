#include "maintenance/Help.h"

#include "maintenance/UrlOpener.h"
#include "ui/WaitCursor.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <utility>

namespace tollbook {

namespace {

bool startDetached(const HelpViewerCommand& command)
{
    QProcess process;
    prepareHelpViewer(process, command);
    return process.startDetached();
}

HelpViewerStarter& currentStarter()
{
    static HelpViewerStarter starter;
    return starter;
}

} // namespace

QString helpFilePath(const QString& installFolder, const QString& code)
{
    return QDir(installFolder).filePath(QStringLiteral("help/Tollbook_") + code + QStringLiteral(".chm"));
}

QString findHelpViewer()
{
    return QStandardPaths::findExecutable(HelpViewerName);
}

HelpViewerCommand helpViewerCommand(const QString& viewerPath, const QString& helpFile)
{
    return { viewerPath, { helpFile }, { QStringLiteral("wx_filesys_no_mimetypesmanager=1") } };
}

void prepareHelpViewer(QProcess& process, const HelpViewerCommand& command)
{
    process.setProgram(command.program);
    process.setArguments(command.arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& setting : command.environment) {
        const qsizetype equals = setting.indexOf(QLatin1Char('='));
        environment.insert(setting.left(equals), setting.mid(equals + 1));
    }
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
}

HelpViewerStarter setHelpViewerStarter(HelpViewerStarter starter)
{
    return std::exchange(currentStarter(), std::move(starter));
}

void openHelp(const QString& installFolder, const QString& code, QWidget* owner)
{
    // The viewer opens the file in a window of its own; the owner only marks where the request came from.
    Q_UNUSED(owner)
    const WaitCursor hourglass;
    const QString path = helpFilePath(installFolder, code);
    if (QFileInfo(path).isFile()) {
        const QString viewer = findHelpViewer();
        const HelpViewerStarter& starter = currentStarter();
        const HelpViewerCommand command = helpViewerCommand(viewer, QFileInfo(path).absoluteFilePath());
        const bool shown = !viewer.isEmpty() && (starter ? starter(command) : startDetached(command));
        if (!shown) {
            openUrl(QUrl::fromLocalFile(path));
        }
    }
    QCoreApplication::processEvents();
}

} // namespace tollbook
