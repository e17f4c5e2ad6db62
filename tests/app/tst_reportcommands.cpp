// The reports menu: each item selects its own report of the catalogue and opens the period dialog for it,
// and the catalogue's report reads the dataset of its name with the two period parameters.

#include "app/commands/ReportCommands.h"
#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QtTest>

#include <memory>

using namespace tollbook;
using ReportCatalogue::Report;

class TestReportCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void menuItemChoosesItsReport_data();
    void menuItemChoosesItsReport();
    void unknownNameIsNoReport();
};

void TestReportCommands::menuItemChoosesItsReport_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("dataset");

    const auto row = [](const char* item, const char* report, const char* dataset) {
        QTest::newRow(item) << QString::fromLatin1(item) << QString::fromLatin1(report) << QString::fromLatin1(dataset);
    };
    row("ImpressoporUsurios1", "Relat_ImpressaoUsuario", "SQL_ImpUsuario");
    row("ImpressoporUsurioResumo1", "Relat_UsuarioR", "SQL_ImpUsuarioR");
    row("ImpressoporSetor1", "Relat_ImpressaoSetor", "SQL_ImpSetor");
    row("ImpressoporSetorResumo1", "Relat_SetorR", "SQL_ImpSetorR");
    row("ImpressoporProjetos1", "Relat_Projeto", "SQL_ImpProjeto");
    row("ImpressoporProjetosResumo1", "Relat_ProjetoR", "SQL_ImpProjetoR");
    row("SintticoporImpressoraUsurios1", "Relat_Impressora", "SQL_ImpPrint");
    row("SintticoporImpressoras1", "Relat_Impressora2", "SQL_ImpPrint2");
}

void TestReportCommands::menuItemChoosesItsReport()
{
    QFETCH(QString, item);
    QFETCH(QString, report);
    QFETCH(QString, dataset);

    DatabaseFixture db;
    DataModuleDatasets dataModule;
    MainWindow window(&dataModule);
    ReportCommands commands;
    commands.connectMenu(window.menu());
    QStringList opened;
    commands.setPeriodDialogStart([&opened](const ReportCatalogue::Entry& entry) { opened << entry.name; });

    QVERIFY(commands.selectedReport().isEmpty());
    window.action(item)->trigger();
    QCOMPARE(opened, QStringList{ report });
    QCOMPARE(commands.selectedReport(), report);

    const ReportCatalogue::Entry* entry = ReportCatalogue::find(report);
    QVERIFY(entry);
    Dataset* read = ReportCatalogue::datasetOf(entry->report, dataModule);
    QVERIFY(read);
    QCOMPARE(read->objectName(), dataset);
    // The first day and the last day, set by position.
    read->setParam(0, QStringLiteral("01/01/2020"));
    read->setParam(1, QStringLiteral("01/31/2020"));
    read->open();
    QVERIFY(read->isOpen());
}

// Report names compare exactly.
void TestReportCommands::unknownNameIsNoReport()
{
    QVERIFY(!ReportCatalogue::find(QStringLiteral("relat_projeto")));
    QVERIFY(!ReportCatalogue::find(QString()));
}

QTEST_MAIN(TestReportCommands)
#include "tst_reportcommands.moc"
