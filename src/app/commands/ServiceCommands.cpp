#include "app/commands/ServiceCommands.h"

#include "app/DataModule.h"
#include "i18n/Language.h"
#include "platform/Elevation.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindow.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QCoreApplication>
#include <QScopedValueRollback>

namespace tollbook {

namespace {

const QString AppSection = QStringLiteral("App");
const QString PrincipalSection = QStringLiteral("Principal");

} // namespace

ServiceCommands::ServiceCommands(DataModule* dataModule, MainWindow* window, QObject* parent)
    : QObject(parent)
    , m_dataModule(dataModule)
    , m_window(window)
    , m_elevatedRun([](const QString& program) { return Elevation::system().runElevated(program); })
{
    setObjectName(QStringLiteral("ServiceCommands"));
}

void ServiceCommands::connectMenu(const MainMenu& menu)
{
    connect(menu.installService, &QAction::triggered, this, &ServiceCommands::installService);
    connect(menu.removeService, &QAction::triggered, this, &ServiceCommands::removeService);
}

void ServiceCommands::installService()
{
    runServiceScript(QStringLiteral("start"), Installation::InstallScript, QStringLiteral("sMsgIniciaServico"));
}

void ServiceCommands::removeService()
{
    runServiceScript(QStringLiteral("stop"), Installation::RemoveScript, QStringLiteral("sMsgRemoveServico"));
}

void ServiceCommands::runServiceScript(const QString& serviceValue, const QString& script, const QString& noticeKey)
{
    // The window stays alive while a script runs: a second install or remove asked meanwhile is ignored.
    if (m_scriptRunning) {
        return;
    }
    QScopedValueRollback<bool> running(m_scriptRunning, true);
    ErrorHandler::reportingErrors([&] {
        // Written before anything starts: a file that cannot be written stops the command here. With PID
        // empty no running copy is the capture copy until one is shown for the first time.
        const Installation& installation = m_dataModule->installation();
        const QString config = installation.configPath();
        const QString serviceBefore = ReadIniValue(config, AppSection, QStringLiteral("Service"));
        const QString pidBefore = ReadIniValue(config, AppSection, QStringLiteral("PID"));
        WriteIniValue(config, AppSection, QStringLiteral("Service"), serviceValue);
        WriteIniValue(config, AppSection, QStringLiteral("PID"), QString());

        const QString path = installation.scriptPath(script);
        const ElevatedRun run = m_elevatedRun(path);
        QCoreApplication::processEvents();
        if (run.outcome != ElevatedRun::Outcome::Succeeded) {
            // Nothing was handed over: this copy keeps the capture, and the user learns why.
            WriteIniValue(config, AppSection, QStringLiteral("Service"), serviceBefore);
            WriteIniValue(config, AppSection, QStringLiteral("PID"), pidBefore);
            MessageBox::show(BoxKind::Error, failureText(run, path), MessageBox::Buttons::Ok, m_window);
            return;
        }

        if (IsProcessRunning(installation.agentName())) {
            TerminateProcesses(installation.agentName());
        }
        QCoreApplication::processEvents();

        MessageBox::show(BoxKind::Information, Language::message(PrincipalSection, noticeKey), MessageBox::Buttons::Ok,
                         m_window);
        // Through the exit question: No keeps this copy in the notification area, no longer capturing.
        m_window->close();
    });
}

QString ServiceCommands::failureText(const ElevatedRun& run, const QString& scriptPath) const
{
    switch (run.outcome) {
        case ElevatedRun::Outcome::NoMeansToAsk:
            return Language::format(Language::message(PrincipalSection, QStringLiteral("sMsgServicoSemDireitos")),
                                    { scriptPath });
        case ElevatedRun::Outcome::NotGranted:
            return Language::message(PrincipalSection, QStringLiteral("sMsgServicoRecusado"));
        case ElevatedRun::Outcome::Succeeded:
        case ElevatedRun::Outcome::Failed:
            break;
    }
    // The script's own words, or at least its exit code.
    const QString detail =
        run.errorOutput.isEmpty() ? QStringLiteral("%1: %2").arg(scriptPath).arg(run.exitCode) : run.errorOutput;
    return Language::format(Language::message(PrincipalSection, QStringLiteral("sMsgServicoFalhou")), { detail });
}

} // namespace tollbook
