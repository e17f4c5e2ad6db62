// tollbook-bench-datasets PATH [RUNS=5] [DATASET]: opens the heaviest datasets of the views and reports over the
// database at PATH the way the application does, and runs the same SQL in the sqlite3 shell on the same
// file. For each it prints the best of RUNS timings of both and their ratio; the goal is that opening a
// dataset costs at most 1.5 times what the database engine alone needs for the query. Always exits 0 once
// it has measured: the figures are the result.

#include "data/Catalogue.h"
#include "data/Database.h"
#include "data/Field.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTextStream>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

using tollbook::Dataset;

constexpr double GoalRatio = 1.5;

struct Case
{
    Dataset* dataset;
    QDate start;
    QDate end;
};

struct Measurement
{
    std::optional<double> ms; // best run
    std::optional<qint64> rows;
    QString error;
};

// What the dataset binds for a date: the ISO text the database keeps.
QString isoText(const QDate& date)
{
    return tollbook::FieldValues::toIsoText(QDateTime(date, QTime(0, 0)));
}

// Opens the dataset as a refresh of its view or report does: close, set the period as month/day/year
// text, start first, and open.
Measurement measureDataset(const Case& item, int runs)
{
    Measurement result;
    double best = std::numeric_limits<double>::infinity();
    try {
        for (int run = 0; run < runs; ++run) {
            item.dataset->close();
            item.dataset->setParam(0, tollbook::DateToQueryText(item.start));
            item.dataset->setParam(1, tollbook::DateToQueryText(item.end));
            QElapsedTimer timer;
            timer.start();
            item.dataset->open();
            best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
        }
        result.ms = best;
        result.rows = item.dataset->recordCount();
    } catch (const tollbook::Error& error) {
        result.error = error.message();
    }
    return result;
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

// Runs the query RUNS times in the sqlite3 shell with its timer on and the rows sent to /dev/null, then
// once more to count the rows. The shell prints "Run Time: real S user S sys S" after each statement.
Measurement measureShell(const QString& path, const QString& sql, int runs)
{
    QString script = QStringLiteral(".timer on\n.output /dev/null\n");
    for (int run = 0; run < runs; ++run) {
        script += sql + QStringLiteral(";\n");
    }
    script += QStringLiteral(".output stdout\n.timer off\nSELECT count(*) FROM (\n%1\n);\n").arg(sql);

    Measurement result;
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
                { QStringLiteral("-batch"), QStringLiteral("-bail"), QStringLiteral("-readonly"), path });
    if (!shell.waitForStarted()) {
        result.error = QStringLiteral("sqlite3 could not be started: %1").arg(shell.errorString());
        return result;
    }
    shell.write(script.toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    const QString output = QString::fromUtf8(shell.readAllStandardOutput());
    const QString errors = QString::fromUtf8(shell.readAllStandardError()).trimmed();
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0 || !errors.isEmpty()) {
        result.error = QStringLiteral("sqlite3 failed: %1").arg(errors.isEmpty() ? output.trimmed() : errors);
        return result;
    }
    static const QRegularExpression runTime(QStringLiteral("^Run Time: real ([0-9.]+)"));
    double best = std::numeric_limits<double>::infinity();
    int timings = 0;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = runTime.match(line);
        if (match.hasMatch()) {
            best = std::min(best, match.captured(1).toDouble() * 1000.0);
            ++timings;
        } else {
            bool ok = false;
            const qint64 rows = line.trimmed().toLongLong(&ok);
            if (ok) {
                result.rows = rows;
            }
        }
    }
    if (timings != runs) {
        result.error = QStringLiteral("sqlite3 printed %1 timings instead of %2").arg(timings).arg(runs);
        return result;
    }
    result.ms = best;
    return result;
}

QString number(const std::optional<double>& value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("-");
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
        err << "usage: tollbook-bench-datasets PATH [RUNS=5] [DATASET]\n";
        return 2;
    }
    const QString path = args.at(1);
    try {
        QSqlDatabase db = tollbook::Database::open(path);
        QSqlQuery count(db);
        const qint64 jobs = count.exec(QStringLiteral("SELECT count(*) FROM Impressao")) && count.next()
                                ? count.value(0).toLongLong()
                                : -1;
        count.finish();

        tollbook::DataModuleDatasets dm;
        tollbook::MainWindowDatasets main(&dm);
        dm.openStartupDatasets();

        const QDate monthStart(2025, 3, 1);
        const QDate yearStart(2025, 1, 1);
        const QDate yearEnd(2025, 12, 31);
        const QList<Case> cases = {
            { main.SQL_Data, monthStart, monthStart.addMonths(1).addDays(-1) },
            { dm.SQL_ImpUsuarioR, yearStart, yearEnd },
            { dm.SQL_ImpProjetoR, yearStart, yearEnd },
            { main.SQL_GraficoUsuario, yearStart, yearEnd },
        };

        out << "Datasets over " << path << " (" << jobs << " jobs), best of " << runs << " runs each\n\n";
        const QString row = QStringLiteral("%1  %2  %3  %4  %5  %6  %7\n");
        out << row.arg(QStringLiteral("dataset"), -20)
                   .arg(QStringLiteral("period"), -22)
                   .arg(QStringLiteral("rows"), 7)
                   .arg(QStringLiteral("ours ms"), 9)
                   .arg(QStringLiteral("sqlite3 ms"), 10)
                   .arg(QStringLiteral("ratio"), 6)
                   .arg(QStringLiteral("goal <= %1").arg(GoalRatio, 0, 'f', 1));
        out.flush();
        QStringList notes;
        for (const Case& item : cases) {
            const QString name = item.dataset->objectName();
            if (!only.isEmpty() && name != only) {
                continue;
            }
            const Measurement ours = measureDataset(item, runs);
            const Measurement shell = measureShell(path, literalSql(item), runs);
            std::optional<double> ratio;
            if (ours.ms && shell.ms) {
                ratio = *ours.ms / std::max(*shell.ms, 0.001);
            }
            const QString verdict = !ratio                ? QStringLiteral("n/a")
                                    : *ratio <= GoalRatio ? QStringLiteral("met")
                                                          : QStringLiteral("MISSED");
            out << row.arg(name, -20)
                       .arg(isoText(item.start) + QStringLiteral("..") + isoText(item.end), -22)
                       .arg(ours.rows ? QString::number(*ours.rows) : QStringLiteral("-"), 7)
                       .arg(number(ours.ms, 1), 9)
                       .arg(number(shell.ms, 1), 10)
                       .arg(number(ratio, 2), 6)
                       .arg(verdict);
            out.flush();
            if (!ours.error.isEmpty()) {
                notes << name + QStringLiteral(": ") + ours.error;
            }
            if (!shell.error.isEmpty()) {
                notes << name + QStringLiteral(": ") + shell.error;
            }
            if (ours.rows && shell.rows && *ours.rows != *shell.rows) {
                notes << QStringLiteral("%1: sqlite3 counts %2 rows, the dataset %3")
                             .arg(name)
                             .arg(*shell.rows)
                             .arg(*ours.rows);
            }
        }
        if (!notes.isEmpty()) {
            out << '\n' << notes.join(QLatin1Char('\n')) << '\n';
        }
        out << "\nsqlite3 times with rows written to /dev/null; its timer has millisecond resolution.\n";
    } catch (const tollbook::Error& error) {
        err << "tollbook-bench-datasets: " << error.message() << '\n';
        return 1;
    }
    tollbook::Database::close();
    return 0;
}
