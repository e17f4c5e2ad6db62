#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace tollbook {

class Dataset;
class DataModuleDatasets;
class Installation;

// The eight management reports, in the order of the reports menu. Each covers a period of days and reads
// one dataset of the data module, whose two parameters are the first and the last day, set by position.
namespace ReportCatalogue {

enum class Report {
    ByUser,
    ByUserSummary,
    BySector,
    BySectorSummary,
    ByProject,
    ByProjectSummary,
    ByUserAndPrinter,
    ByPrinter,
};

struct Entry
{
    Report report;
    QString name;       // the report's name in the layout file, "Relat_ImpressaoUsuario"
    QString dataset;    // the data module's dataset it reads, "SQL_ImpUsuario"
    QString connection; // the report connection the layout's data view reads it by, "RVImpUsuario"
};

const QList<Entry>& entries();
const Entry& entry(Report report);
// The entry of that report name, compared exactly; nullptr for a name that is none of the eight.
const Entry* find(const QString& name);

// The data module's dataset the report reads.
Dataset* datasetOf(Report report, const DataModuleDatasets& datasets);

// The report connections by name ("RVImpUsuario"): the eight report datasets as the layout's data views
// name them.
QHash<QString, Dataset*> connections(const DataModuleDatasets& datasets);

// report/Tollbook_report.rav below the installation folder.
QString layoutPath(const Installation& installation);

} // namespace ReportCatalogue
} // namespace tollbook
