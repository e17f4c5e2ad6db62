#include "reports/ReportRun.h"

#include "data/Catalogue.h"
#include "data/Formats.h"
#include "platform/SystemRoutines.h"
#include "reports/ReportCatalogue.h"

namespace tollbook {

void localiseReportTexts(ReportDefinition& report, const ReportTextLookup& lookup)
{
    ReportPage* page = report.page(QStringLiteral("Page1"));
    if (!page) {
        throw ReportError(QStringLiteral("Report component %1.Page1 not found").arg(report.name));
    }
    for (Component& component : page->components) {
        if (!component.isText()) {
            continue;
        }
        // Data-bound and calculated texts are told apart by their names alone.
        if (component.name.contains(QLatin1String("DataText")) || component.name.contains(QLatin1String("CalcText"))) {
            continue;
        }
        const QString text = lookup(report.name, component.name);
        if (!text.isEmpty()) {
            component.text = text;
        }
    }
}

QString reportParameterDate(const QDate& date)
{
    return Formats::formatDate(date);
}

std::optional<PreparedReport> prepareReport(const QString& reportName, const QDate& start, const QDate& end,
                                            const DataModuleDatasets& datasets, const QString& layoutPath,
                                            const ReportTextLookup& lookup)
{
    const ReportCatalogue::Entry* entry = ReportCatalogue::find(reportName);
    if (!entry) {
        return std::nullopt;
    }

    Dataset* dataset = ReportCatalogue::datasetOf(entry->report, datasets);
    dataset->close();
    dataset->setParam(0, start);
    dataset->setParam(1, end);
    dataset->open();

    const ReportLayout layout = ReportLayout::load(layoutPath);
    const ReportDefinition* definition = layout.report(reportName);
    if (!definition) {
        throw ReportError(QStringLiteral("Report %1 not found in %2").arg(reportName, layoutPath));
    }
    PreparedReport prepared;
    prepared.definition = *definition;
    localiseReportTexts(prepared.definition, lookup);

    const QHash<QString, Dataset*> connections = ReportCatalogue::connections(datasets);
    prepared.rows = connections.value(prepared.definition.connection);
    if (!prepared.rows) {
        throw ReportError(QStringLiteral("Report %1: the data view %2 reads the unknown connection %3")
                              .arg(reportName, prepared.definition.dataViewName, prepared.definition.connection));
    }
    prepared.parameters.insert(QStringLiteral("DataI"), reportParameterDate(start));
    prepared.parameters.insert(QStringLiteral("DataF"), reportParameterDate(end));

    for (const Component& component : prepared.definition.pages.first().components) {
        if (component.band == BandKind::PageHeader && component.type == ComponentType::Text &&
            !component.text.isEmpty()) {
            prepared.title = component.text;
            break;
        }
    }
    return prepared;
}

} // namespace tollbook
