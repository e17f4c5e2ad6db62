// tollbook-screenshot INSTALLFOLDER PICTURE.png [frmTBKPrincipal|frmLogin|frmAbout|StatusBar1|Ajuda2|tab1|tab2|
// tab3|wwRecordViewDialog1|wwLocateDialog1|wwFilterDialog1|tab5|tab5-Setores|grafico_usuario|frmImpressora|
// PrinterProperties|frmPeriodo|frmLimpa|TabSheet<n>|frmConfiguracao[.TabSheet<n>]]: starts Tollbook's windows on an
// installation folder as the application does, shows the one named and saves a picture of it. StatusBar1 is the
// main window's status bar alone; tab1 to tab3 the main window on a print view (tab2 loading the jobs of user
// Admin), and the ww... dialogs are those of the by-date view; tab5 the charts page (tab5-Setores with the sectors
// panel open); grafico_usuario the users chart as its save button writes it; TabSheet<n> an inner page of the
// registries; frmConfiguracao.TabSheet2 the configuration dialog on its second page; Ajuda2 presses F1 and
// photographs the whole screen with the help viewer open on it. Used by scripts/screenshots to look at the
// windows in every language.

#include "app/Application.h"
#include "app/ApplicationShell.h"
#include "app/DataModule.h"
#include "app/LoginDialog.h"
#include "data/Catalogue.h"
#include "maintenance/AboutBox.h"
#include "maintenance/Help.h"
#include "maintenance/PurgeDialog.h"
#include "platform/Printers.h"
#include "ui/ConfigurationDialog.h"
#include "ui/FilterDialog.h"
#include "ui/LocateDialog.h"
#include "ui/MainWindow.h"
#include "ui/PeriodDialog.h"
#include "ui/PrinterDialog.h"
#include "ui/PrinterPropertiesDialog.h"
#include "ui/RecordViewDialog.h"
#include "ui/pages/ChartsPage.h"
#include "ui/pages/PeriodJobsPage.h"
#include "ui/pages/RegistriesPage.h"
#include "ui/pages/UserJobsPage.h"
#include "ui/widgets/DatePicker.h"
#include "ui/widgets/Panel.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextStream>
#include <QThread>

namespace {

// Lets the window system lay out and paint the window before it is grabbed.
void settle(int milliseconds = 700)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    tollbook::Application app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() < 3 || args.size() > 4) {
        err << "usage: tollbook-screenshot INSTALLFOLDER PICTURE.png "
               "[frmTBKPrincipal|frmLogin|frmAbout|StatusBar1|Ajuda2|tab1|tab2|tab3|wwRecordViewDialog1|"
               "wwLocateDialog1|wwFilterDialog1|tab5|tab5-Setores|grafico_usuario|frmImpressora|PrinterProperties|"
               "frmPeriodo|frmLimpa|TabSheet2|TabSheet3|TabSheet4|TabSheet1|frmConfiguracao[.TabSheetN]]\n";
        return 2;
    }
    const QString folder = QDir(args.at(1)).absolutePath() + QLatin1Char('/');
    const QString picture = args.at(2);
    const QString window = args.size() > 3 ? args.at(3) : QStringLiteral("frmTBKPrincipal");
    app.setQuitOnLastWindowClosed(false);
    tollbook::applyVisualStyle(app);

    tollbook::ApplicationShell shell(folder);
    if (!shell.createDataModule()) {
        err << "tollbook-screenshot: the installation in " << folder << " does not start\n";
        return 1;
    }
    shell.createMainWindow();
    shell.showMainWindow();
    settle();

    QWidget* shown = shell.mainWindow();
    std::unique_ptr<QWidget> dialog;
    if (window == QLatin1String("Ajuda2")) {
        // The viewer runs as this tool's child, so that it ends with the picture taken.
        QProcess viewer;
        tollbook::setHelpViewerStarter([&viewer](const tollbook::HelpViewerCommand& command) {
            tollbook::prepareHelpViewer(viewer, command);
            viewer.start();
            return viewer.waitForStarted();
        });
        shell.mainWindow()->action(QStringLiteral("Ajuda2"))->trigger();
        if (viewer.state() != QProcess::Running) {
            err << "tollbook-screenshot: no help viewer was started\n";
            return 1;
        }
        settle(5000);
        const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(picture);
        viewer.terminate();
        viewer.waitForFinished(5000);
        tollbook::setHelpViewerStarter({});
        if (!saved) {
            err << "tollbook-screenshot: cannot write " << picture << '\n';
            return 1;
        }
        return 0;
    }
    tollbook::ChartsPage* charts = shell.mainWindow()->chartsPage();
    if (window == QLatin1String("tab5") || window == QLatin1String("tab5-Setores")) {
        shell.mainWindow()->selectNavigationEntry(5);
        if (window == QLatin1String("tab5-Setores")) {
            charts->findChild<tollbook::CategoryPanel*>(QStringLiteral("Usuários"))->setCollapsed(true);
            charts->findChild<tollbook::CategoryPanel*>(QStringLiteral("Setores"))->setCollapsed(false);
        }
        settle();
    } else if (window == QLatin1String("grafico_usuario")) {
        // The picture the save button writes, as the image viewer would show it.
        shell.mainWindow()->selectNavigationEntry(5);
        settle();
        charts->setFileOpener(nullptr);
        const QImage saved(charts->save(tollbook::ChartsPage::Users));
        if (saved.isNull() || !saved.save(picture)) {
            err << "tollbook-screenshot: cannot write " << picture << '\n';
            return 1;
        }
        return 0;
    } else if (window == QLatin1String("frmImpressora")) {
        dialog = std::make_unique<tollbook::PrinterDialog>(
            QStringList{ QStringLiteral("HP_LaserJet_4000"), QStringLiteral("PDF"), QStringLiteral("Sala2_Color") },
            tollbook::Printers::system(), shell.mainWindow());
    } else if (window == QLatin1String("PrinterProperties")) {
        tollbook::PrinterDescription printer;
        printer.name = QStringLiteral("HP_LaserJet_4000");
        printer.makeAndModel = QStringLiteral("HP LaserJet 4000 Series, driverless");
        printer.info = QStringLiteral("HP LaserJet 4000");
        printer.location = QStringLiteral("Sala 2 – térreo");
        printer.state = QStringLiteral("idle");
        printer.deviceUri = QStringLiteral("socket://192.168.0.20:9100");
        printer.defaults = {
            { QStringLiteral("media"),
              QStringLiteral("iso_a4_210x297mm"),
              { QStringLiteral("iso_a4_210x297mm"), QStringLiteral("na_letter_8.5x11in") } },
            { QStringLiteral("sides"),
              QStringLiteral("one-sided"),
              { QStringLiteral("one-sided"), QStringLiteral("two-sided-long-edge") } },
            { QStringLiteral("print-color-mode"), QStringLiteral("monochrome"), { QStringLiteral("monochrome") } },
        };
        dialog = std::make_unique<tollbook::PrinterPropertiesDialog>(printer, tollbook::Printers::system(),
                                                                     shell.mainWindow());
    } else if (window == QLatin1String("StatusBar1")) {
        shown = shell.mainWindow()->statusBar();
    } else if (window == QLatin1String("frmLogin")) {
        dialog = std::make_unique<tollbook::LoginDialog>(shell.dataModule());
    } else if (window.startsWith(QLatin1String("frmConfiguracao"))) {
        // frmConfiguracao.TabSheet2 shows its second page.
        auto configuration = std::make_unique<tollbook::ConfigurationDialog>(
            &shell.dataModule()->session(), shell.dataModule()->tollMail(), shell.mainWindow());
        if (auto* page = configuration->findChild<QWidget*>(window.section(u'.', 1))) {
            configuration->findChild<QTabWidget*>()->setCurrentWidget(page);
        }
        dialog = std::move(configuration);
    } else if (window == QLatin1String("frmAbout")) {
        dialog = std::make_unique<tollbook::AboutBox>(shell.mainWindow());
    } else if (window == QLatin1String("frmPeriodo")) {
        dialog = std::make_unique<tollbook::PeriodDialog>(&shell.dataModule()->session(),
                                                          QStringLiteral("Relat_ImpressaoUsuario"), shell.mainWindow());
    } else if (window == QLatin1String("frmLimpa")) {
        auto purge = std::make_unique<tollbook::PurgeDialog>(shell.mainWindow());
        purge->startPicker()->setDate(QDate(2025, 1, 1));
        purge->endPicker()->setDate(QDate(2025, 3, 31));
        dialog = std::move(purge);
    } else if (window.startsWith(QLatin1String("TabSheet"))) {
        // An inner page of the registries, on the printer with prices when there is one.
        shell.mainWindow()->selectNavigationEntry(4);
        QTabWidget* inner = shell.mainWindow()->registriesPage()->innerPages();
        QWidget* page = inner->findChild<QWidget*>(window);
        if (!page) {
            err << "tollbook-screenshot: no window " << window << '\n';
            return 2;
        }
        inner->setCurrentWidget(page);
        shell.mainWindow()->datasets()->printers->locate(QStringLiteral("Print_Name"), QStringLiteral("HP LaserJet"));
        settle();
    } else if (window == QLatin1String("tab1") || window == QLatin1String("tab2") || window == QLatin1String("tab3")) {
        tollbook::MainWindow* main = shell.mainWindow();
        main->selectNavigationEntry(window.mid(3).toInt());
        if (window == QLatin1String("tab2")) {
            main->userJobsPage()->userPicker()->setEditText(QStringLiteral("Admin"));
            main->userJobsPage()->reload();
        }
        settle();
    } else if (window == QLatin1String("wwRecordViewDialog1")) {
        shell.mainWindow()->selectNavigationEntry(3);
        dialog = std::make_unique<tollbook::RecordViewDialog>(shell.mainWindow()->periodJobsPage()->grid(),
                                                              shell.mainWindow());
    } else if (window == QLatin1String("wwLocateDialog1")) {
        dialog =
            std::make_unique<tollbook::LocateDialog>(shell.mainWindow()->periodJobsPage()->grid(), shell.mainWindow());
    } else if (window == QLatin1String("wwFilterDialog1")) {
        dialog =
            std::make_unique<tollbook::FilterDialog>(shell.mainWindow()->periodJobsPage()->grid(), shell.mainWindow());
    } else if (window != QLatin1String("frmTBKPrincipal")) {
        err << "tollbook-screenshot: no window " << window << '\n';
        return 2;
    }
    if (dialog) {
        dialog->show();
        settle();
        shown = dialog.get();
    }
    if (!shown->grab().save(picture)) {
        err << "tollbook-screenshot: cannot write " << picture << '\n';
        return 1;
    }
    return 0;
}
