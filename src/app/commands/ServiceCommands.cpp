#include "app/ServiceCommands.h"

#include "app/DataModule.h"
#include "i18n/Language.h"
#include "platform/Elevation.h"
#include "platform/ShellExecution.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindow.h"
#include "ui/MessageBox.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>

namespace tollbook {

namespace {

const QString AppSection = QStringLiteral("App");
const QString PrincipalSection = QStringLiteral("Principal");

// The hourglass for as long as it lives, also when what it covers fails.
class WaitCursor
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

ServiceCommands::ServiceCommands(DataModule* dataModule, MainWindow* window, QObject* parent)
    : QObject(parent)
    , m_dataModule(dataModule)
    , m_window(window)
    , m_elevatedStart([](const QString& program) { Elevation::system().startElevated(program); })
    , m_viewerStart(
          [](const QString& program) { ShellExecution::system().start(program, {}, ShellExecution::Window::Normal); })
    , m_is64Bit(&IsWindows64Bit)
{
    setObjectName(QStringLiteral("ServiceCommands"));
    const struct
    {
        const char* action;
        void (ServiceCommands::*command)();
    } items[] = { { "IniciarcomoServio1", &ServiceCommands::installService },
                  { "RemoverServio1", &ServiceCommands::removeService },
                  { "Tollwatch1", &ServiceCommands::openPrintQueue } };
    for (const auto& item : items) {
        if (QAction* action = m_window->action(QString::fromLatin1(item.action))) {
            connect(action, &QAction::triggered, this, item.command);
        }
    }
}

QString ServiceCommands::scriptPath(const QString& script) const
{
    return m_dataModule->installFolder() + (m_is64Bit() ? QStringLiteral("bin/x64/") : QStringLiteral("bin/x86/")) +
           script;
}

QString ServiceCommands::viewerPath() const
{
    return m_dataModule->installFolder() + QStringLiteral("bin/Tollwatch");
}

void ServiceCommands::installService()
{
    runServiceScript(QStringLiteral("start"), InstallScript, QStringLiteral("sMsgIniciaServico"));
}

void ServiceCommands::removeService()
{
    runServiceScript(QStringLiteral("stop"), RemoveScript, QStringLiteral("sMsgRemoveServico"));
}

void ServiceCommands::runServiceScript(const QString& serviceValue, const QString& script, const QString& noticeKey)
{
    try {
        // Written before anything starts: a file that cannot be written stops the command here. With PID
        // empty no running copy is the capture copy until one is shown for the first time.
        const QString config = m_dataModule->configPath();
        WriteIniValue(config, AppSection, QStringLiteral("Service"), serviceValue);
        WriteIniValue(config, AppSection, QStringLiteral("PID"), QString());

        // A missing script or a refused password is not noticed; the steps below run all the same.
        m_elevatedStart(scriptPath(script));
        QCoreApplication::processEvents();

        if (IsProcessRunning(m_agentName)) {
            TerminateProcesses(m_agentName);
        }
        QCoreApplication::processEvents();

        MessageBox::show(BoxKind::Information, Language::message(PrincipalSection, noticeKey), MessageBox::Buttons::Ok,
                         m_window);
        // Through the exit question: No keeps this copy in the notification area, no longer capturing.
        m_window->close();
    } catch (...) {
        ErrorHandler::handleCurrentException();
    }
}

void ServiceCommands::openPrintQueue()
{
    try {
        WaitCursor wait;
        // A missing viewer shows nothing.
        m_viewerStart(viewerPath());
        QCoreApplication::processEvents();
    } catch (...) {
        ErrorHandler::handleCurrentException();
    }
}

} // namespace tollbook
