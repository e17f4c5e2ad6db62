// tollbook-bench-datasets PATH [RUNS=5] [DATASET]: opens the heaviest datasets of the views and reports over the
// database at PATH the way the application does, and runs the same SQL in the sqlite3 shell on the same
// file with the same connection settings (and the application's collation, loaded as an extension when the
// build makes one). Both sides are measured twice: the first open on a connection just made (empty page
// cache, nothing mapped yet) and a warm reopen on the same connection. Each of RUNS rounds makes a new
// connection and a new shell, the two sides taking turns; the best round counts. The goal is that a
// dataset costs at most 1.5 times what the database engine alone needs for its query. Times are processor
// time (user + system) unless BENCH_CLOCK=wall: on a machine shared with other work, wall-clock time
// measures the neighbours. Always exits 0 once it has measured: the figures are the result.
//
// PATH may be a postgresql:// address: the other side is then psql running the same SQL as the data layer
// translates it, with its rows sent to /dev/null and its own \timing, and times are wall-clock times (the
// server's work is done in another process than either side's). BENCH_WHOLE=1 reads every result whole.

#include "BenchClock.h"
#include "data/Catalogue.h"
#include "data/Database.h"
#include "data/Field.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTextStream>

#include <sys/resource.h>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

using bench::Stopwatch;
using bench::wallClock;

using tollbook::Dataset;

constexpr double GoalRatio = 1.5;

// Whether PATH is a PostgreSQL address.
bool onPostgres = false;

struct Case
{
    Dataset* dataset;
    QDate start;
    QDate end;
};

// Best times of one side, in milliseconds.
struct Measurement
{
    std::optional<double> first; // first open on a new connection
    std::optional<double> warm;  // reopen on the same connection
    std::optional<qint64> rows;
    QString error;
};

// Settings that make our connection and the shell's alike.
struct ShellSetup
{
    QStringList statements; // run before any query, output discarded
    QString extension;      // loadable extension, empty when none
};

// What the dataset binds for a date: the ISO text the database keeps.
QString isoText(const QDate& date)
{
    return tollbook::FieldValues::toIsoText(QDateTime(date, QTime(0, 0)));
}

// The values of the connection's settings that change how fast a query runs, read back from our own
// connection so that the shell gets exactly what the application set.
QStringList connectionPragmas(const QSqlDatabase& db)
{
    QStringList statements;
    for (const char* name : { "mmap_size", "cache_size" }) {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) || !query.next()) {
            throw tollbook::DatabaseError(QStringLiteral("PRAGMA %1 gave no value").arg(QLatin1String(name)));
        }
        statements << QStringLiteral("PRAGMA %1 = %2;").arg(QLatin1String(name), query.value(0).toString());
    }
    return statements;
}

// Best first-open and warm-reopen times of one side over the rounds.
struct Best
{
    double first = std::numeric_limits<double>::infinity();
    double warm = std::numeric_limits<double>::infinity();
    void add(double firstMs, double warmMs)
    {
        first = std::min(first, firstMs);
        warm = std::min(warm, warmMs);
    }
};

// One round of ours: a new connection, then the dataset opened as a refresh of its view or report does
// (close, set the period as month/day/year text, start first, open), once cold and once warm.
void ourRound(const QString& path, const Case& item, Best& best)
{
    item.dataset->close();
    tollbook::Database::open(path);
    double times[2] = {};
    for (double& time : times) {
        item.dataset->close();
        item.dataset->setParam(0, tollbook::DateToQueryText(item.start));
        item.dataset->setParam(1, tollbook::DateToQueryText(item.end));
        const Stopwatch stopwatch;
        item.dataset->open();
        time = stopwatch.elapsedMs();
    }
    best.add(times[0], times[1]);
}

// The dataset's SQL with each parameter replaced by the literal the dataset binds for it.
QString literalSql(const Case& item)
{
    QString sql = item.dataset->sqlText();
    const QString values[] = { isoText(item.start), isoText(item.end) };
    for (int i = 0; i < std::min(item.dataset->paramCount(), 2); ++i) {
        const QRegularExpression placeholder(
            QLatin1Char(':') + QRegularExpression::escape(item.dataset->param(i).name) + QStringLiteral("\\b"),
            QRegularExpression::CaseInsensitiveOption);
        sql.replace(placeholder, QLatin1Char('\'') + values[i] + QLatin1Char('\''));
    }
    return sql;
}

// One round of the shell: a new sqlite3 process, the settings and the schema read first, untimed, then the
// query twice with the timer on and its rows sent to /dev/null; with countRows it also counts the rows.
// The shell prints "Run Time: real S user S sys S" after each timed statement. Returns an error or
// nothing.
QString shellRound(const QString& path, const ShellSetup& setup, const QString& sql, Best& best,
                   std::optional<qint64>* countRows)
{
    static const QRegularExpression runTime(QStringLiteral("^Run Time: real ([0-9.]+) user ([0-9.]+) sys ([0-9.]+)"));
    QString script = QStringLiteral(".output /dev/null\n");
    if (!setup.extension.isEmpty()) {
        script += QStringLiteral(".load '%1'\n").arg(setup.extension);
    }
    script += setup.statements.join(QLatin1Char('\n'));
    script += QStringLiteral("\nSELECT count(*) FROM sqlite_master;\n.timer on\n");
    script += sql + QStringLiteral(";\n") + sql + QStringLiteral(";\n.timer off\n");
    if (countRows) {
        script += QStringLiteral(".output stdout\nSELECT count(*) FROM (\n%1\n);\n").arg(sql);
    }

    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
                { QStringLiteral("-batch"), QStringLiteral("-bail"), QStringLiteral("-readonly"), path });
    if (!shell.waitForStarted()) {
        return QStringLiteral("sqlite3 could not be started: %1").arg(shell.errorString());
    }
    shell.write(script.toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    const QString output = QString::fromUtf8(shell.readAllStandardOutput());
    const QString errors = QString::fromUtf8(shell.readAllStandardError()).trimmed();
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0 || !errors.isEmpty()) {
        return QStringLiteral("sqlite3 failed: %1").arg(errors.isEmpty() ? output.trimmed() : errors);
    }
    QList<double> timings;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = runTime.match(line);
        if (match.hasMatch()) {
            const double seconds = wallClock() ? match.captured(1).toDouble()
                                               : match.captured(2).toDouble() + match.captured(3).toDouble();
            timings << seconds * 1000.0;
            continue;
        }
        bool ok = false;
        const qint64 rows = line.trimmed().toLongLong(&ok);
        if (ok && countRows) {
            *countRows = rows;
        }
    }
    if (timings.size() != 2) {
        return QStringLiteral("sqlite3 printed %1 timings instead of 2").arg(timings.size());
    }
    best.add(timings.at(0), timings.at(1));
    return QString();
}

// One round of psql: a new process, the catalog read first, untimed, then the query twice with \timing on and
// its rows sent to /dev/null; with countRows it also counts the rows. psql prints "Time: N ms" after each
// timed statement.
QString psqlRound(const QString& address, const QString& sql, Best& best, std::optional<qint64>* countRows)
{
    static const QRegularExpression runTime(QStringLiteral("^Time: ([0-9.]+) ms"));
    QString script = QStringLiteral("\\o /dev/null\nSELECT count(*) FROM pg_class;\n\\timing on\n");
    script += sql + QStringLiteral(";\n") + sql + QStringLiteral(";\n\\timing off\n\\o\n");
    if (countRows) {
        script += QStringLiteral("SELECT count(*) FROM (\n%1\n) AS counted;\n").arg(sql);
    }
    QProcess psql;
    psql.start(QStringLiteral("psql"),
               { QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("-v"),
                 QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), address });
    if (!psql.waitForStarted()) {
        return QStringLiteral("psql could not be started: %1").arg(psql.errorString());
    }
    psql.write(script.toUtf8());
    psql.closeWriteChannel();
    psql.waitForFinished(-1);
    const QString output = QString::fromUtf8(psql.readAllStandardOutput());
    const QString errors = QString::fromUtf8(psql.readAllStandardError()).trimmed();
    if (psql.exitStatus() != QProcess::NormalExit || psql.exitCode() != 0 || !errors.isEmpty()) {
        return QStringLiteral("psql failed: %1").arg(errors.isEmpty() ? output.trimmed() : errors);
    }
    QList<double> timings;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = runTime.match(line.trimmed());
        if (match.hasMatch()) {
            timings << match.captured(1).toDouble();
            continue;
        }
        bool ok = false;
        const qint64 rows = line.trimmed().toLongLong(&ok);
        if (ok && countRows) {
            *countRows = rows;
        }
    }
    if (timings.size() != 2) {
        return QStringLiteral("psql printed %1 timings instead of 2").arg(timings.size());
    }
    best.add(timings.at(0), timings.at(1));
    return QString();
}

// Both sides round by round, taking turns at going first, so that both meet the same load on a shared
// machine.
void measure(const QString& path, const ShellSetup& setup, const Case& item, int runs, Measurement& ours,
             Measurement& shell)
{
    const QString sql = literalSql(item);
    Best oursBest;
    Best shellBest;
    for (int run = 0; run < runs && ours.error.isEmpty() && shell.error.isEmpty(); ++run) {
        for (int side = 0; side < 2; ++side) {
            if ((side + run) % 2 == 0) {
                try {
                    ourRound(path, item, oursBest);
                } catch (const tollbook::Error& error) {
                    ours.error = error.message();
                }
            } else {
                shell.error = onPostgres ? psqlRound(path, tollbook::Database::postgresSql(sql), shellBest,
                                                     run == 0 ? &shell.rows : nullptr)
                                         : shellRound(path, setup, sql, shellBest, run == 0 ? &shell.rows : nullptr);
            }
        }
    }
    ours.rows = item.dataset->recordCount();
    item.dataset->close();
    if (ours.error.isEmpty() && shell.error.isEmpty()) {
        ours.first = oursBest.first;
        ours.warm = oursBest.warm;
        shell.first = shellBest.first;
        shell.warm = shellBest.warm;
    }
}

QString number(const std::optional<double>& value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("-");
}

std::optional<double> ratioOf(const std::optional<double>& ours, const std::optional<double>& shell)
{
    if (!ours || !shell) {
        return std::nullopt;
    }
    return *ours / std::max(*shell, 0.001);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    bool runsOk = true;
    const int runs = args.size() > 2 ? args.at(2).toInt(&runsOk) : 5;
    // A fourth argument keeps only the dataset of that name, for profiling one of them.
    const QString only = args.size() > 3 ? args.at(3) : QString();
    if (args.size() < 2 || args.size() > 4 || !runsOk || runs < 1) {
        err << "usage: tollbook-bench-datasets PATH|postgresql://... [RUNS=5] [DATASET]\n";
        return 2;
    }
    const QString path = args.at(1);
    onPostgres = tollbook::Database::isPostgresLocation(path);
    if (onPostgres) {
        qputenv("BENCH_CLOCK", "wall");
    }
    const QString other = onPostgres ? QStringLiteral("psql") : QStringLiteral("sqlite3");
    try {
        QSqlDatabase db = tollbook::Database::open(path);
        ShellSetup setup;
        if (!onPostgres) {
            setup.statements = connectionPragmas(db);
            setup.extension = bench::sqliteExtensionPath();
        }
        if (!setup.extension.isEmpty() && !QFileInfo::exists(setup.extension)) {
            err << "tollbook-bench-datasets: no extension at " << setup.extension << '\n';
            return 1;
        }
        QSqlQuery count(db);
        const qint64 jobs = count.exec(QStringLiteral("SELECT count(*) FROM Impressao")) && count.next()
                                ? count.value(0).toLongLong()
                                : -1;
        count.finish();
        db = QSqlDatabase();

        // BENCH_WHOLE=1: every result read whole, as the views bench has it, to measure the reading of rows.
        if (qEnvironmentVariable("BENCH_WHOLE") == QLatin1String("1")) {
            tollbook::Dataset::setDefaultPagedAbove(std::numeric_limits<int>::max());
        }
        tollbook::DataModuleDatasets dm;
        tollbook::MainWindowDatasets main(&dm);
        dm.openStartupDatasets();

        const QDate monthStart(2025, 3, 1);
        const QDate yearStart(2025, 1, 1);
        const QDate yearEnd(2025, 12, 31);
        const QList<Case> cases = {
            { main.periodJobs, monthStart, monthStart.addMonths(1).addDays(-1) },
            { dm.userSummaryReport, yearStart, yearEnd },
            { dm.projectSummaryReport, yearStart, yearEnd },
            { main.userChart, yearStart, yearEnd },
        };

        out << "Datasets over " << path << " (" << jobs << " jobs), best of " << runs << " rounds, "
            << (wallClock() ? "wall-clock" : "processor") << " ms\n";
        if (onPostgres) {
            out << "psql: the same SQL as translated for PostgreSQL, the dates as literals\n\n";
        } else {
            out << "sqlite3 shell: " << setup.statements.join(QLatin1Char(' '));
            out << (setup.extension.isEmpty() ? QStringLiteral(" (no extension)")
                                              : QStringLiteral(" .load %1").arg(setup.extension))
                << "\n\n";
        }
        const QString row = QStringLiteral("%1  %2  %3 | %4  %5  %6 | %7  %8  %9  %10\n");
        out << QString(20 + 2 + 22 + 2 + 7, QLatin1Char(' ')) << " | " << QStringLiteral("first open").leftJustified(26)
            << " | " << QStringLiteral("warm reopen") << '\n';
        out << row.arg(QStringLiteral("dataset"), -20)
                   .arg(QStringLiteral("period"), -22)
                   .arg(QStringLiteral("rows"), 7)
                   .arg(QStringLiteral("ours"), 8)
                   .arg(other, 8)
                   .arg(QStringLiteral("ratio"), 6)
                   .arg(QStringLiteral("ours"), 8)
                   .arg(other, 8)
                   .arg(QStringLiteral("ratio"), 6)
                   .arg(QStringLiteral("goal <= %1").arg(GoalRatio, 0, 'f', 1));
        out.flush();
        QStringList notes;
        for (const Case& item : cases) {
            const QString name = item.dataset->objectName();
            if (!only.isEmpty() && name != only) {
                continue;
            }
            Measurement ours;
            Measurement shell;
            measure(path, setup, item, runs, ours, shell);
            const std::optional<double> firstRatio = ratioOf(ours.first, shell.first);
            const std::optional<double> warmRatio = ratioOf(ours.warm, shell.warm);
            const QString verdict = !firstRatio || !warmRatio                        ? QStringLiteral("n/a")
                                    : std::max(*firstRatio, *warmRatio) <= GoalRatio ? QStringLiteral("met")
                                                                                     : QStringLiteral("MISSED");
            out << row.arg(name, -20)
                       .arg(isoText(item.start) + QStringLiteral("..") + isoText(item.end), -22)
                       .arg(ours.rows ? QString::number(*ours.rows) : QStringLiteral("-"), 7)
                       .arg(number(ours.first, 1), 8)
                       .arg(number(shell.first, 1), 8)
                       .arg(number(firstRatio, 2), 6)
                       .arg(number(ours.warm, 1), 8)
                       .arg(number(shell.warm, 1), 8)
                       .arg(number(warmRatio, 2), 6)
                       .arg(verdict);
            out.flush();
            if (!ours.error.isEmpty()) {
                notes << name + QStringLiteral(": ") + ours.error;
            }
            if (!shell.error.isEmpty()) {
                notes << name + QStringLiteral(": ") + shell.error;
            }
            if (ours.rows && shell.rows && *ours.rows != *shell.rows) {
                notes << QStringLiteral("%1: %2 counts %3 rows, the dataset %4")
                             .arg(name, other)
                             .arg(*shell.rows)
                             .arg(*ours.rows);
            }
        }
        if (!notes.isEmpty()) {
            out << '\n' << notes.join(QLatin1Char('\n')) << '\n';
        }
        out << (onPostgres ? "\npsql times with rows written to /dev/null.\n"
                           : "\nsqlite3 times with rows written to /dev/null; its timer has millisecond resolution.\n");
    } catch (const tollbook::Error& error) {
        err << "tollbook-bench-datasets: " << error.message() << '\n';
        return 1;
    }
    tollbook::Database::close();
    return 0;
}
