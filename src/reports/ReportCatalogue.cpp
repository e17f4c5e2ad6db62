#include "reports/ReportCatalogue.h"

#include "data/Catalogue.h"
#include "platform/Installation.h"

namespace tollbook::ReportCatalogue {

const QList<Entry>& entries()
{
    static const QList<Entry> catalogue = {
        { Report::ByUser, QStringLiteral("Relat_ImpressaoUsuario"), QStringLiteral("SQL_ImpUsuario"),
          QStringLiteral("RVImpUsuario") },
        { Report::ByUserSummary, QStringLiteral("Relat_UsuarioR"), QStringLiteral("SQL_ImpUsuarioR"),
          QStringLiteral("RVImpUsuarioR") },
        { Report::BySector, QStringLiteral("Relat_ImpressaoSetor"), QStringLiteral("SQL_ImpSetor"),
          QStringLiteral("RVImpSetor") },
        { Report::BySectorSummary, QStringLiteral("Relat_SetorR"), QStringLiteral("SQL_ImpSetorR"),
          QStringLiteral("RVImpSetorR") },
        { Report::ByProject, QStringLiteral("Relat_Projeto"), QStringLiteral("SQL_ImpProjeto"),
          QStringLiteral("RVImpProjeto") },
        { Report::ByProjectSummary, QStringLiteral("Relat_ProjetoR"), QStringLiteral("SQL_ImpProjetoR"),
          QStringLiteral("RVImpProjetoR") },
        { Report::ByUserAndPrinter, QStringLiteral("Relat_Impressora"), QStringLiteral("SQL_ImpPrint"),
          QStringLiteral("RVImpPrint") },
        { Report::ByPrinter, QStringLiteral("Relat_Impressora2"), QStringLiteral("SQL_ImpPrint2"),
          QStringLiteral("RVImpPrint2") },
    };
    return catalogue;
}

const Entry& entry(Report report)
{
    return entries().at(int(report));
}

const Entry* find(const QString& name)
{
    for (const Entry& candidate : entries()) {
        if (candidate.name == name) {
            return &candidate;
        }
    }
    return nullptr;
}

Dataset* datasetOf(Report report, const DataModuleDatasets& datasets)
{
    switch (report) {
        case Report::ByUser:
            return datasets.userReport;
        case Report::ByUserSummary:
            return datasets.userSummaryReport;
        case Report::BySector:
            return datasets.sectorReport;
        case Report::BySectorSummary:
            return datasets.sectorSummaryReport;
        case Report::ByProject:
            return datasets.projectReport;
        case Report::ByProjectSummary:
            return datasets.projectSummaryReport;
        case Report::ByUserAndPrinter:
            return datasets.userPrinterReport;
        case Report::ByPrinter:
            return datasets.printerReport;
    }
    return nullptr;
}

QHash<QString, Dataset*> connections(const DataModuleDatasets& datasets)
{
    QHash<QString, Dataset*> byName;
    for (const Entry& candidate : entries()) {
        byName.insert(candidate.connection, datasetOf(candidate.report, datasets));
    }
    return byName;
}

QString layoutPath(const Installation& installation)
{
    return installation.path(QStringLiteral("report/Tollbook_report.rav"));
}

} // namespace tollbook::ReportCatalogue
