#pragma once

#include <QObject>

namespace tollbook {

class DataModule;
class MainWindow;
struct MainMenu;

// The commands of the help menu: "Ajuda do Sistema" (F1) opens the help of the current language through
// the maintenance library's URL opener (which tests replace), "Sobre o Sistema" shows the About box.
// Built by MenuCommands with the main window.
class HelpCommands : public QObject
{
    Q_OBJECT

public:
    HelpCommands(DataModule* dataModule, MainWindow* window, QObject* parent = nullptr);

    void connectMenu(const MainMenu& menu);

    void openHelp();
    void showAbout();

private:
    DataModule* m_dataModule;
    MainWindow* m_window;
};

} // namespace tollbook
