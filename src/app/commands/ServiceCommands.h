#pragma once

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
// Install and remove write Service and an empty PID into config.ini, start the script of the system's
// bitness elevated without waiting, end every running agent, show their notice and close the main window,
// which asks the exit question.
class ServiceCommands : public QObject
{
    Q_OBJECT

public:
    // Starts a program (absolute path) without waiting; the result is not looked at.
    using Starter = std::function<void(const QString& program)>;

    // The running agents are found by the installation's agent name, the script by its bitness.
    ServiceCommands(DataModule* dataModule, MainWindow* window, QObject* parent = nullptr);

    // Connects the file menu's items.
    void connectMenu(const MainMenu& menu);

    // How the scripts are started; the platform's elevated start unless replaced.
    void setElevatedStart(Starter start) { m_elevatedStart = std::move(start); }

    void installService(); // IniciarcomoServio1
    void removeService();  // RemoverServio1

private:
    void runServiceScript(const QString& serviceValue, const QString& script, const QString& noticeKey);

    DataModule* m_dataModule;
    MainWindow* m_window;
    Starter m_elevatedStart;
};

} // namespace tollbook
