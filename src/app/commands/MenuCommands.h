#pragma once

#include <QObject>

namespace tollbook {

class DataModule;
class HelpCommands;
class LanguageCommands;
class MainWindow;
class PrinterCommands;
class ReportCommands;
class ServiceCommands;
class ToolCommands;

// Every command of the main menu, one object per menu group, built and connected here and nowhere else.
// Owned by the main window, so the commands live exactly as long as the menu they serve.
class MenuCommands : public QObject
{
    Q_OBJECT

public:
    MenuCommands(DataModule* dataModule, MainWindow* window);

    ServiceCommands* service() const { return m_service; }
    PrinterCommands* printers() const { return m_printers; }
    ToolCommands* tools() const { return m_tools; }
    ReportCommands* reports() const { return m_reports; }
    LanguageCommands* languages() const { return m_languages; }
    HelpCommands* help() const { return m_help; }

private:
    ServiceCommands* m_service;
    PrinterCommands* m_printers;
    ToolCommands* m_tools;
    ReportCommands* m_reports;
    LanguageCommands* m_languages;
    HelpCommands* m_help;
};

} // namespace tollbook
