#pragma once

#include <QString>

#include <memory>

class QApplication;

namespace tollbook {

class Application;
class DataModule;
class DeveloperKeys;
class MainWindow;
class MainWindowController;
class MenuCommands;
class TrayIcon;

// One run of the application behind its entry point: the data module, the notification icon, the main window with its
// controller and its menu commands, and the developer's key hook. The entry point drives it in the order of start-up;
// tests drive it the same way without the event loop.
class ApplicationShell
{
public:
    explicit ApplicationShell(const QString& installFolder);
    ~ApplicationShell();
    ApplicationShell(const ApplicationShell&) = delete;
    ApplicationShell& operator=(const ApplicationShell&) = delete;

    // Creates the notification icon, the data module and the key hook. False when the application must end at once,
    // without any window.
    bool createDataModule();
    // Creates the main window, its controller and its menu commands; the window is not shown yet.
    void createMainWindow();
    // Shows the main window; the first time this runs its first showing.
    void showMainWindow();
    // What a second copy asks for: brings forward only what the user may see. An open login dialog comes
    // forward alone; a main window behind the notification icon comes back as a restore from the icon does,
    // through the login when it is switched on; a main window on screen is raised. Before the first showing
    // is done nothing but its login comes forward.
    void bringForward();

    DataModule* dataModule() const { return m_dataModule.get(); }
    TrayIcon* tray() const { return m_tray.get(); }
    MainWindow* mainWindow() const { return m_window.get(); }
    MainWindowController* controller() const { return m_controller.get(); }
    // Owned by the main window.
    MenuCommands* commands() const { return m_commands; }
    DeveloperKeys* developerKeys() const { return m_developerKeys.get(); }

private:
    QString m_installFolder;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<DataModule> m_dataModule;
    std::unique_ptr<DeveloperKeys> m_developerKeys;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<MainWindowController> m_controller;
    MenuCommands* m_commands = nullptr;
};

// Selects the visual style: Fusion with the application's style sheet.
void applyVisualStyle(QApplication& app);

// The whole run from the entry point: single instance, visual style, splash window, data module, main
// window, event loop. Returns the exit code.
int runApplication(Application& app, const QString& installFolder);

} // namespace tollbook
