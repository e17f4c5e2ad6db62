// The printer commands of the main window: the printer dialog lists the names enumerated once, a double
// click on the side pane's list shows the selected printer's properties or names the printer that cannot be
// opened, and "Configurar Impressoras" opens the system's printer settings or else the CUPS web interface.

#include "app/commands/PrinterCommands.h"
#include "common/ModalHelper.h"
#include "data/Catalogue.h"
#include "i18n/Language.h"
#include "platform/Errors.h"
#include "platform/Printers.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QListWidget>
#include <QtTest>

using namespace tollbook;

namespace {

// Two printers; "broken" cannot be opened. Counts how often the names were asked for.
class FakePrinters : public Printers
{
public:
    QStringList names() const override
    {
        ++listings;
        return { QStringLiteral("zeta"), QStringLiteral("broken"), QStringLiteral("alpha") };
    }
    PrinterDescription describe(const QString& name) const override
    {
        if (name == QLatin1String("broken")) {
            throw PlainError(QStringLiteral("No such printer"));
        }
        PrinterDescription description;
        description.name = name;
        return description;
    }
    void setDefaults(const QString&, const QList<QPair<QString, QString>>&) const override {}

    mutable int listings = 0;
};

} // namespace

class TestPrinterCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void dialogListsTheNamesOfTheFirstListing();
    void doubleClickShowsPropertiesOrNamesThePrinter_data();
    void doubleClickShowsPropertiesOrNamesThePrinter();
    void printerSettings_data();
    void printerSettings();
};

void TestPrinterCommands::initTestCase()
{
    Language::setInstallFolder(QStringLiteral(TOLLBOOK_SOURCE_DIR "/"));
    Language::setCurrentCode(QStringLiteral("pt_BR"));
}

// Unsorted, as the system gives them, and the same each time the dialog opens.
void TestPrinterCommands::dialogListsTheNamesOfTheFirstListing()
{
    DataModuleDatasets dataModule;
    MainWindow window(&dataModule);
    FakePrinters printers;
    PrinterList list(printers);
    PrinterCommands commands(&window);
    commands.connectMenu(window.menu());
    commands.setPrinters(printers, list);

    for (int opening = 0; opening < 2; ++opening) {
        QStringList shown;
        QString name;
        const auto token = ModalHelper::onNextModal([&](QWidget* modal) {
            name = modal->objectName();
            auto* names = modal->findChild<QListWidget*>(QStringLiteral("ListBox1"));
            for (int row = 0; names && row < names->count(); ++row) {
                shown << names->item(row)->text();
            }
            static_cast<QDialog*>(modal)->reject();
        });
        window.menu().printerProperties->trigger();
        QCOMPARE(name, QStringLiteral("frmImpressora"));
        QCOMPARE(shown, (QStringList{ "zeta", "broken", "alpha" }));
    }
    QCOMPARE(printers.listings, 1);
}

void TestPrinterCommands::doubleClickShowsPropertiesOrNamesThePrinter_data()
{
    QTest::addColumn<QString>("printer");
    QTest::addColumn<bool>("opens");

    QTest::newRow("printer that opens") << "alpha" << true;
    QTest::newRow("printer that cannot be opened") << "broken" << false;
}

void TestPrinterCommands::doubleClickShowsPropertiesOrNamesThePrinter()
{
    QFETCH(QString, printer);
    QFETCH(bool, opens);

    DataModuleDatasets dataModule;
    MainWindow window(&dataModule);
    FakePrinters printers;
    PrinterList list(printers);
    PrinterCommands commands(&window);
    commands.setPrinters(printers, list);
    QListWidget* side = window.printersList();
    side->addItems(list.names());
    QListWidgetItem* item = side->findItems(printer, Qt::MatchExactly).value(0);
    QVERIFY(item);
    side->setCurrentItem(item);

    QString title;
    QString warning;
    const auto token = ModalHelper::onNextModal([&](QWidget* modal) {
        title = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            warning = box->text();
            box->buttons().value(0)->click();
        } else {
            static_cast<QDialog*>(modal)->reject();
        }
    });
    Q_EMIT side->itemDoubleClicked(item);
    if (opens) {
        QCOMPARE(title, QStringLiteral("Propriedades de alpha"));
    } else {
        QCOMPARE(warning, QStringLiteral("Não foi possível abrir a impressora \"broken\": No such printer"));
    }
}

void TestPrinterCommands::printerSettings_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QStringList>("started");
    QTest::addColumn<QString>("opened");

    const QString web = QStringLiteral("http://localhost:631/printers/");
    QTest::newRow("settings program installed")
        << "/usr/bin/system-config-printer" << true << QStringList{ "/usr/bin/system-config-printer" } << QString();
    QTest::newRow("installed but does not start")
        << "/usr/bin/system-config-printer" << false << QStringList{ "/usr/bin/system-config-printer" } << web;
    QTest::newRow("not installed") << QString() << true << QStringList() << web;
}

void TestPrinterCommands::printerSettings()
{
    QFETCH(QString, installed);
    QFETCH(bool, starts);
    QFETCH(QStringList, started);
    QFETCH(QString, opened);

    DataModuleDatasets dataModule;
    MainWindow window(&dataModule);
    PrinterCommands commands(&window);
    commands.connectMenu(window.menu());
    QStringList startedPrograms;
    QString openedUrl;
    commands.setProgramFinder([&](const QString& program) {
        return program == QLatin1String("system-config-printer") ? installed : QString();
    });
    commands.setStarter([&](const QString& program, const QStringList&) {
        startedPrograms << program;
        return starts;
    });
    commands.setUrlOpener([&](const QUrl& url) { openedUrl = url.toString(); });

    window.menu().printersFolder->trigger();
    QCOMPARE(startedPrograms, started);
    QCOMPARE(openedUrl, opened);
}

QTEST_MAIN(TestPrinterCommands)
#include "tst_printercommands.moc"
