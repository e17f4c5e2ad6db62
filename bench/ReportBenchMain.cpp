// Each of the eight management reports for a month and for a year of a generated database, written as
// PDF: rows, pages, the time to open the report's dataset, the time to write the PDF and the peak memory of
// the run. Each report runs in a child process of its own, so that its peak memory is its own.
//
//   tollbook-bench-reports DATABASE [REPORT]
//
// The layout and the report texts are read from the source tree. Times are processor time (user + system)
// unless BENCH_CLOCK=wall. Exits 0 whatever the figures.

#include "BenchClock.h"
#include "data/Catalogue.h"
#include "data/Database.h"
#include "data/Formats.h"
#include "i18n/Language.h"
#include "reports/ReportCatalogue.h"
#include "reports/ReportRenderer.h"
#include "reports/ReportRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

using namespace tollbook;

namespace {

using bench::Stopwatch;
using bench::wallClock;

// The child: one report for one period; prints "rows pages open-ms pdf-ms peak-KiB".
int runOne(const QString& database, const QString& report, const QDate& from, const QDate& to, const QString& pdf)
{
    Formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    Formats::setSeparators(QLatin1Char(','), QLatin1Char('.'));
    Language::setInstallFolder(QStringLiteral(TOLLBOOK_SOURCE_DIR "/"));
    Language::setCurrentCode(QStringLiteral("pt_BR"));
    Database::open(database);
    DataModuleDatasets datasets;
    datasets.papers->open();

    Stopwatch open;
    const std::optional<PreparedReport> prepared =
        prepareReport(report, from, to, datasets, QStringLiteral(TOLLBOOK_SOURCE_DIR "/report/Tollbook_report.rav"),
                      &Language::reportText);
    const double openMs = open.elapsedMs();
    Stopwatch write;
    const int pages = writeReportPdf(prepared->definition, *prepared->rows, prepared->parameters, pdf, report);
    const double pdfMs = write.elapsedMs();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%d %d %.0f %.0f %ld\n", prepared->rows->recordCount(), pages, openMs, pdfMs, usage.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    try {
        if (arguments.size() == 7 && arguments.at(1) == QLatin1String("--one")) {
            return runOne(arguments.at(2), arguments.at(3), QDate::fromString(arguments.at(4), Qt::ISODate),
                          QDate::fromString(arguments.at(5), Qt::ISODate), arguments.at(6));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: tollbook-bench-reports DATABASE [REPORT]\n");
        return 2;
    }
    QTemporaryDir folder;
    std::printf("%s ms; each report in a process of its own\n", wallClock() ? "wall-clock" : "processor");
    std::printf("| report | period | rows | pages | open dataset ms | write PDF ms | peak MiB |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|\n");
    const struct
    {
        const char* name;
        QDate from;
        QDate to;
    } periods[] = { { "March", QDate(2025, 3, 1), QDate(2025, 3, 31) },
                    { "year", QDate(2025, 1, 1), QDate(2025, 12, 31) } };
    // Every month first: a year of the detailed reports takes minutes.
    for (const auto& period : periods) {
        for (const ReportCatalogue::Entry& entry : ReportCatalogue::entries()) {
            if (arguments.size() > 2 && arguments.at(2) != entry.name) {
                continue;
            }
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(),
                        { QStringLiteral("--one"), arguments.at(1), entry.name, period.from.toString(Qt::ISODate),
                          period.to.toString(Qt::ISODate), folder.filePath(entry.name + QStringLiteral(".pdf")) });
            child.waitForFinished(-1);
            const QStringList figures = QString::fromUtf8(child.readAllStandardOutput()).simplified().split(u' ');
            if (child.exitCode() != 0 || figures.size() != 5) {
                std::printf("| %s | %s | failed |\n", qPrintable(entry.name), period.name);
                continue;
            }
            std::printf("| %s | %s | %s | %s | %s | %s | %.0f |\n", qPrintable(entry.name), period.name,
                        qPrintable(figures.at(0)), qPrintable(figures.at(1)), qPrintable(figures.at(2)),
                        qPrintable(figures.at(3)), figures.at(4).toDouble() / 1024.0);
            std::fflush(stdout);
        }
    }
    return 0;
}
