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

namespace tollbook {

namespace {

const QString AppSection = QStringLiteral("App");
const QString PrincipalSection = QStringLiteral("Principal");

} // namespace

ServiceCommands::ServiceCommands(DataModule* dataModule, MainWindow* window, QObject* parent)
    : QObject(parent)
    , m_dataModule(dataModule)
    , m_window(window)
    , m_elevatedStart([](const QString& program) { Elevation::system().startElevated(program); })
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
    ErrorHandler::reportingErrors([&] {
        // Written before anything starts: a file that cannot be written stops the command here. With PID
        // empty no running copy is the capture copy until one is shown for the first time.
        const Installation& installation = m_dataModule->installation();
        const QString config = installation.configPath();
        WriteIniValue(config, AppSection, QStringLiteral("Service"), serviceValue);
        WriteIniValue(config, AppSection, QStringLiteral("PID"), QString());

        // A missing script or a refused password is not noticed; the steps below run all the same.
        m_elevatedStart(installation.scriptPath(script));
        QCoreApplication::processEvents();

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

} // namespace tollbook
