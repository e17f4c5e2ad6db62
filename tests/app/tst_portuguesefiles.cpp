// The Portuguese window files delivered in language/pt_BR are what the export writes from the windows'
// built-in captions. Run with TOLLBOOK_WRITE_LANGUAGE_FILES=1 to write them anew after changing a window.

#include "InstallFixture.h"

#include "app/DataModule.h"
#include "app/LoginDialog.h"
#include "data/Catalogue.h"
#include "maintenance/PurgeDialog.h"
#include "platform/Printers.h"
#include "ui/ConfigurationDialog.h"
#include "ui/FilterDialog.h"
#include "ui/LocateDialog.h"
#include "ui/MainWindow.h"
#include "ui/PeriodDialog.h"
#include "ui/PrinterDialog.h"
#include "ui/RecordViewDialog.h"
#include "ui/WindowFile.h"
#include "ui/pages/PeriodJobsPage.h"

#include <QFile>
#include <QStringDecoder>
#include <QTest>

using namespace tollbook;

class TestPortugueseFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mainWindow()
    {
        DataModuleDatasets dataModule;
        MainWindow window(&dataModule);
        compareWithDelivered(&window);
    }

    // The dialogs of the by-date view, over its grid.
    void periodDialogs()
    {
        DataModuleDatasets dataModule;
        MainWindow window(&dataModule);
        JobsGrid* grid = window.periodJobsPage()->grid();
        RecordViewDialog recordView(grid);
        compareWithDelivered(&recordView);
        LocateDialog locate(grid);
        compareWithDelivered(&locate);
        FilterDialog filter(grid);
        compareWithDelivered(&filter);
    }

    void loginDialog()
    {
        InstallFixture install;
        DataModule dataModule(install.folder());
        QVERIFY(dataModule.create());
        LoginDialog login(&dataModule);
        compareWithDelivered(&login);
    }

    void printerDialog()
    {
        PrinterDialog dialog({ QStringLiteral("HP1") }, Printers::system(), nullptr);
        compareWithDelivered(&dialog);
    }

    void periodDialog()
    {
        InstallFixture install;
        DataModule dataModule(install.folder());
        QVERIFY(dataModule.create());
        PeriodDialog period(&dataModule.session(), QStringLiteral("Relat_Impressora2"));
        compareWithDelivered(&period);
    }

    void purgeDialog()
    {
        PurgeDialog purge;
        compareWithDelivered(&purge);
    }

    void configurationDialog()
    {
        InstallFixture install;
        DataModule dataModule(install.folder());
        QVERIFY(dataModule.create());
        ConfigurationDialog dialog(&dataModule.session(), dataModule.tollMail());
        compareWithDelivered(&dialog);
    }

private:
    static void compareWithDelivered(QWidget* window)
    {
        const QString path =
            QStringLiteral(TOLLBOOK_SOURCE_DIR "/language/pt_BR/") + window->objectName() + QStringLiteral(".lpu");
        const QStringList exported = WindowFile::exportLines(window);
        if (qEnvironmentVariableIsSet("TOLLBOOK_WRITE_LANGUAGE_FILES")) {
            WindowFile::writeLines(path, exported);
        }
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        QStringDecoder decoder("windows-1252");
        const QString delivered = decoder(file.readAll());
        QCOMPARE(delivered, exported.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    }
};

QTEST_MAIN(TestPortugueseFiles)
#include "tst_portuguesefiles.moc"
