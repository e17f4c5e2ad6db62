#pragma once

#include <QObject>
#include <QString>

namespace tollbook {

class DataModule;
class MainWindow;
struct MainMenu;

// The commands of the language menu: "Português Brasil (BR)", "Inglês (EN)" and "Espanhol (ES)" switch
// the interface language. Built by MenuCommands with the main window.
class LanguageCommands : public QObject
{
    Q_OBJECT

public:
    LanguageCommands(DataModule* dataModule, MainWindow* window, QObject* parent = nullptr);

    void connectMenu(const MainMenu& menu);

    // Stores the code in config.ini, re-labels the main window and the process-wide texts, shows the
    // restart notice and closes the main window (which asks for confirmation).
    void switchLanguage(const QString& code);

private:
    DataModule* m_dataModule;
    MainWindow* m_window;
};

} // namespace tollbook
