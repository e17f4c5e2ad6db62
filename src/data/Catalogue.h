#pragma once

#include "DataSource.h"
#include "Dataset.h"

#include <QObject>

// The named datasets of the application, with their SQL, parameters and fields. Members carry the names
// the windows, reports and language files know them by.
namespace tollbook {

// The data module's datasets: reference data, the configuration row, the registry completion's
// look-ups and the eight report datasets.
class DataModuleDatasets : public QObject
{
    Q_OBJECT

public:
    explicit DataModuleDatasets(QObject* parent = nullptr);

    // Opens what start-up needs, in order: papers, users, configuration.
    void openStartupDatasets();
    QList<Dataset*> reportDatasets() const;

    Dataset* const papers;
    Dataset* const users;
    Dataset* const configuration;
    Dataset* const knownUsers;
    Dataset* const knownPrinters;
    Dataset* const userReport;
    Dataset* const sectorReport;
    Dataset* const projectReport;
    Dataset* const userSummaryReport;
    Dataset* const sectorSummaryReport;
    Dataset* const projectSummaryReport;
    Dataset* const userPrinterReport;
    Dataset* const printerReport;

    DataSource* const papersSource;
    DataSource* const usersSource;
    DataSource* const configurationSource;
    DataSource* const knownUsersSource;
    DataSource* const knownPrintersSource;
};

// The main window's datasets: the print views, the import, the registries and the charts.
class MainWindowDatasets : public QObject
{
    Q_OBJECT

public:
    explicit MainWindowDatasets(DataModuleDatasets* dataModule, QObject* parent = nullptr);

    // Opens the registry datasets, in order: users, sectors, printers, printerPrices (following
    // the first printer), projects.
    void openRegistries();

    Dataset* const todayJobs;
    Dataset* const userJobs;
    Dataset* const periodJobs;
    Dataset* const jobDeletion;
    Dataset* const jobImport;
    Dataset* const users;
    Dataset* const sectors;
    Dataset* const projects;
    Dataset* const printers;
    Dataset* const printerPrices;
    Dataset* const userChart;
    Dataset* const sectorChart;

    DataSource* const todayJobsSource;
    DataSource* const userJobsSource;
    DataSource* const periodJobsSource;
    DataSource* const jobImportSource;
    DataSource* const usersSource;
    DataSource* const sectorsSource;
    DataSource* const projectsSource;
    DataSource* const printersSource;
    DataSource* const printerPricesSource;
    DataSource* const userChartSource;
    DataSource* const sectorChartSource;
};

namespace Catalogue {

// The lines of SQL that read job rows with their page prices.
QStringList pricedJobSelect();

// The configuration dialog's own dataset over the configuration row.
Dataset* createConfigurationDataset(QObject* owner);
// The purge's count of the jobs of a period (DataI, DataF) and the highest Print_Id among them.
Dataset* createPurgeCount(QObject* owner);
// The purge's deletion of at most Lote jobs of the period (DataI, DataF) up to Print_Id UltimoId.
Dataset* createPurgeStatement(QObject* owner);

} // namespace Catalogue
} // namespace tollbook
