#pragma once

#include "platform/Elevation.h"

#include <QObject>
#include <QString>

#include <functional>

namespace tollbook {

class DataModule;
class MainWindow;
struct MainMenu;

// The commands of the file menu: "Iniciar como Serviço do Windows" (IniciarcomoServio1) and "Remover
// Serviço do Windows" (RemoverServio1) hand the capture over to the system service and back by running the
// installation's service scripts with administrator rights. "Sair" is the window's own close. Built by
// MenuCommands with the main window.
//
// Install and remove write Service and an empty PID into config.ini and run the script of the system's
// bitness elevated. When it succeeds they end every running agent, show their notice and close the main
// window, which asks the exit question. When it does not (no means to ask for the rights, the rights
// refused, the script's own refusal) config.ini gets its values back, this copy goes on capturing, and an
// error box says what happened.
class ServiceCommands : public QObject
{
    Q_OBJECT

public:
    // Runs a program (absolute path) with administrator rights and tells what became of it.
    using ElevatedRunner = std::function<ElevatedRun(const QString& program)>;

    // The running agents are found by the installation's agent name, the script by its bitness.
    ServiceCommands(DataModule* dataModule, MainWindow* window, QObject* parent = nullptr);

    // Connects the file menu's items.
    void connectMenu(const MainMenu& menu);

    // How the scripts are run; the platform's elevated run unless replaced.
    void setElevatedRun(ElevatedRunner run) { m_elevatedRun = std::move(run); }

    void installService(); // IniciarcomoServio1
    void removeService();  // RemoverServio1

private:
    void runServiceScript(const QString& serviceValue, const QString& script, const QString& noticeKey);
    QString failureText(const ElevatedRun& run, const QString& scriptPath) const;

    DataModule* m_dataModule;
    MainWindow* m_window;
    ElevatedRunner m_elevatedRun;
    bool m_scriptRunning = false;
};

} // namespace tollbook
