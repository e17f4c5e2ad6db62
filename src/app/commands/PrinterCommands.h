#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace tollbook {

class MainWindow;
class PrinterList;
class Printers;
struct MainMenu;

// The printers of the system: "Propriedade das Impressoras" (PropriedadedasImpressoras1) opens the printer
// dialog frmImpressora, "Configurar Impressoras" (Impressoras1) the system's printer settings, and a double
// click on the side pane's ListBoxPrinters the selected printer's properties. Built by MenuCommands with the
// main window. The names come from one list made at its first use, so printers added later show after a
// restart.
class PrinterCommands : public QObject
{
    Q_OBJECT

public:
    // Starts a program found on the path, detached; false when it could not be started.
    using Starter = std::function<bool(const QString& program, const QStringList& arguments)>;
    // Opens an address in the desktop's browser.
    using UrlOpener = std::function<void(const QUrl& url)>;
    // The full path of a program on the path; empty when it is not installed.
    using ProgramFinder = std::function<QString(const QString& program)>;

    PrinterCommands(MainWindow* window, QObject* parent = nullptr);

    void connectMenu(const MainMenu& menu);

    // The system's printers and the process's list of them unless replaced.
    void setPrinters(const Printers& printers, PrinterList& list);
    void setProgramFinder(ProgramFinder find) { m_find = std::move(find); }
    void setStarter(Starter start) { m_start = std::move(start); }
    void setUrlOpener(UrlOpener open) { m_openUrl = std::move(open); }

    void openPrinterDialog();  // PropriedadedasImpressoras1
    void configurePrinters();  // Impressoras1
    void showListProperties(); // double click on ListBoxPrinters

    // The CUPS web interface of the print server this computer uses.
    static QUrl localServerPage();

private:
    MainWindow* m_window;
    const Printers* m_printers;
    PrinterList* m_list;
    ProgramFinder m_find;
    Starter m_start;
    UrlOpener m_openUrl;
};

} // namespace tollbook
