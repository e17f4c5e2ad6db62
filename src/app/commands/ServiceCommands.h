#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace tollbook {

class DataModule;
class MainWindow;

// The main window's service commands: "Iniciar como Serviço do Windows" (IniciarcomoServio1) and
// "Remover Serviço do Windows" (RemoverServio1) hand the capture over to the system service and back by
// running the installation's service scripts with administrator rights; "Fila de Impressão" (Tollwatch1)
// opens the print-queue viewer. Built once with the main window, whose menu items it connects.
//
// Install and remove write Service and an empty PID into config.ini, start the script of the system's
// bitness elevated without waiting, end every running agent, show their notice and close the main window,
// which asks the exit question.
class ServiceCommands : public QObject
{
    Q_OBJECT

public:
    // Starts a program (absolute path) without waiting; the result is not looked at.
    using Starter = std::function<void(const QString& program)>;

    static inline const QString AgentProcessName = QStringLiteral("PrintJob");
    static inline const QString InstallScript = QStringLiteral("Service-Intall");
    static inline const QString RemoveScript = QStringLiteral("Service-Remove");

    ServiceCommands(DataModule* dataModule, MainWindow* window, QObject* parent = nullptr);

    // The name the running agents are found and ended by; "PrintJob" unless replaced.
    void setAgentName(const QString& name) { m_agentName = name; }
    // How the scripts are started; the platform's elevated start unless replaced.
    void setElevatedStart(Starter start) { m_elevatedStart = std::move(start); }
    // How the viewer is started; the platform's shell execution, in a normal window, unless replaced.
    void setViewerStart(Starter start) { m_viewerStart = std::move(start); }
    // Whether the system is a 64-bit one, which chooses bin/x64 or bin/x86; IsWindows64Bit unless replaced.
    void setBitness(std::function<bool()> is64Bit) { m_is64Bit = std::move(is64Bit); }

    // bin/x64/<script> or bin/x86/<script> below the installation folder.
    QString scriptPath(const QString& script) const;
    // bin/Tollwatch below the installation folder.
    QString viewerPath() const;

    void installService(); // IniciarcomoServio1
    void removeService();  // RemoverServio1
    void openPrintQueue(); // Tollwatch1

private:
    void runServiceScript(const QString& serviceValue, const QString& script, const QString& noticeKey);

    DataModule* m_dataModule;
    MainWindow* m_window;
    QString m_agentName = AgentProcessName;
    Starter m_elevatedStart;
    Starter m_viewerStart;
    std::function<bool()> m_is64Bit;
};

} // namespace tollbook
