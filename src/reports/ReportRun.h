#pragma once

#include "reports/ReportLayout.h"

#include <QDate>
#include <QHash>
#include <QString>

#include <functional>
#include <optional>

namespace tollbook {

class DataModuleDatasets;
class Dataset;

// Looks a report text up: (section = report name, key = component name) -> text; empty when missing.
using ReportTextLookup = std::function<QString(const QString& section, const QString& key)>;

// Puts the current language's texts on the report's first page: every text component of
// "<report>.Page1" whose name contains neither "DataText" nor "CalcText" (case-sensitive) takes the text
// found for it, unless that text is empty. Lines and other components are left alone. Throws ReportError
// when the report has no Page1.
void localiseReportTexts(ReportDefinition& report, const ReportTextLookup& lookup);

// A report ready to be painted: its layout with localised texts, the rows of its period and its
// parameters "DataI" and "DataF".
struct PreparedReport
{
    ReportDefinition definition;
    const Dataset* rows = nullptr;
    QHash<QString, QString> parameters;
    QString title; // the first text of its page header, for the PDF's document information
};

// The run-report steps up to the output: finds the report among the eight by its exact name (none:
// nullopt, nothing is run), reopens its dataset for the two days (inclusive), reads the layout file,
// localises the texts and sets the parameters. Throws what the database raises, ReportError for a
// layout that is missing, unreadable or lacks the report.
std::optional<PreparedReport> prepareReport(const QString& reportName, const QDate& start, const QDate& end,
                                            const DataModuleDatasets& datasets, const QString& layoutPath,
                                            const ReportTextLookup& lookup);

// The report's parameter text of a day: "dd/MM/yyyy" with the process-wide date format.
QString reportParameterDate(const QDate& date);

} // namespace tollbook
