#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace tollbook {

class DataModule;
class MainWindow;
struct MainMenu;

// The commands of the tools menu: "Manutenção da Base" (ManutenodaBase1) opens the purge dialog, "Fila de
// Impressão" (Tollwatch1) starts the print-queue viewer, the hidden "Ativa Permissão" (AtivaPermisso1,
// Ctrl+Alt+A) switches developer mode and "Configuração do Sistema" (Configurao1) opens the configuration
// dialog. Built by MenuCommands with the main window.
class ToolCommands : public QObject
{
    Q_OBJECT

public:
    // Starts a program (absolute path) without waiting; the result is not looked at.
    using Starter = std::function<void(const QString& program)>;

    ToolCommands(DataModule* dataModule, MainWindow* window, QObject* parent = nullptr);

    void connectMenu(const MainMenu& menu);

    // How the viewer is started; the platform's shell execution, in a normal window, unless replaced.
    void setViewerStart(Starter start) { m_viewerStart = std::move(start); }

    void openPurge();           // ManutenodaBase1
    void openPrintQueue();      // Tollwatch1
    void openConfiguration();   // Configurao1
    void toggleDeveloperMode(); // AtivaPermisso1

private:
    DataModule* m_dataModule;
    MainWindow* m_window;
    Starter m_viewerStart;
};

} // namespace tollbook
