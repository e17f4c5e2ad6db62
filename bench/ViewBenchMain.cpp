// tollbook-bench-views PATH [RUNS=3]: what the user of the jobs-by-period page waits for, over the database at
// PATH: the jobs of a month and of the year shown in a grid (open, model and first paint of a QTableView on the
// offscreen platform), the grid scrolled to the end, a locate and two filters on the year, and the purge of a
// month (its DELETE, rolled back). Each period runs in a process of its own, RUNS times, so that its peak
// memory (getrusage) is its own; the best time of each step counts. The sqlite3 shell runs the same
// statements on the same file with the same connection settings and the application's collation, its rows
// sent to /dev/null; the ratio is ours / the shell's. Times are processor time (user + system) unless
// BENCH_CLOCK=wall. BENCH_WHOLE=1 reads every result whole, as datasets did before they held large ones by
// their keys. Always exits 0 once it has measured: the figures are the result.

#include "BenchClock.h"
#include "data/Catalogue.h"
#include "data/Database.h"
#include "data/Field.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"
#include "ui/FilterDialog.h"
#include "ui/GridModel.h"
#include "ui/LocateDialog.h"
#include "ui/pages/GridColumns.h"
#include "ui/pages/JobsGrid.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTableView>
#include <QTextStream>

#include <sys/resource.h>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

using bench::processorSeconds;
using bench::wallClock;

using tollbook::Dataset;

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Resident memory not backed by a file (the heap, without the database's mapped pages), in KiB.
long anonymousKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("RssAnon:")) {
            return line.mid(8).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

struct Period
{
    QString name;
    QDate start;
    QDate end;
};

QList<Period> periods()
{
    return { { QStringLiteral("month"), QDate(2025, 3, 1), QDate(2025, 3, 31) },
             { QStringLiteral("year"), QDate(2025, 1, 1), QDate(2025, 12, 31) } };
}

QString isoText(const QDate& date)
{
    return date.toString(Qt::ISODate);
}

QString literal(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

// One step of the child: its times and what the shell runs for the same work ("" when nothing compares).
struct Step
{
    QString name;
    double cpuMs = 0;
    double wallMs = 0;
    qint64 rows = 0;
    QString shellSql;
};

// The child: one period, every step once, one line per step on stdout:
// "step<TAB>name<TAB>cpu<TAB>wall<TAB>rows<TAB>shell SQL", then "peak<TAB>KiB".
int runPeriod(const QString& path, const Period& period)
{
    QTextStream out(stdout);
    tollbook::Database::open(path);
    if (qEnvironmentVariable("BENCH_WHOLE") == QLatin1String("1")) {
        Dataset::setDefaultPagedAbove(std::numeric_limits<int>::max());
    }
    tollbook::DataModuleDatasets dm;
    tollbook::MainWindowDatasets main(&dm);
    dm.openStartupDatasets();
    Dataset* jobs = tollbook::presented(main.periodJobs, tollbook::GridColumns::jobs());
    tollbook::GridModel model(jobs);
    QTableView view;
    view.setModel(&model);
    view.resize(1280, 800);
    view.show();
    QApplication::processEvents();

    const QString baseSql = [&] {
        QString sql = jobs->sqlText();
        sql.replace(QRegularExpression(QStringLiteral(":datai\\b"), QRegularExpression::CaseInsensitiveOption),
                    literal(isoText(period.start)));
        sql.replace(QRegularExpression(QStringLiteral(":dataf\\b"), QRegularExpression::CaseInsensitiveOption),
                    literal(isoText(period.end)));
        return sql;
    }();

    const auto timed = [&](const QString& name, const QString& shellSql, const std::function<void()>& work) {
        QElapsedTimer wall;
        wall.start();
        const double cpu = processorSeconds();
        work();
        Step step;
        step.name = name;
        step.cpuMs = (processorSeconds() - cpu) * 1000.0;
        step.wallMs = double(wall.nsecsElapsed()) / 1e6;
        step.rows = jobs->recordCount();
        step.shellSql = shellSql;
        out << "step\t" << step.name << '\t' << step.cpuMs << '\t' << step.wallMs << '\t' << step.rows << '\t'
            << QString(step.shellSql).replace(QLatin1Char('\n'), QLatin1Char(' ')) << '\n';
        out.flush();
    };
    const auto paint = [&] { view.grab(); };

    timed(QStringLiteral("open"), baseSql, [&] {
        jobs->close();
        jobs->setParam(QStringLiteral("datai"), tollbook::DateToQueryText(period.start));
        jobs->setParam(QStringLiteral("dataf"), tollbook::DateToQueryText(period.end));
        jobs->open();
        paint();
    });
    out << "rss-open\t" << peakKiB() << '\n' << "anon-open\t" << anonymousKiB() << '\n';
    timed(QStringLiteral("scroll to the end"), QString(), [&] {
        view.scrollToBottom();
        paint();
    });
    timed(QStringLiteral("scroll back to the top"), QString(), [&] {
        view.scrollToTop();
        paint();
    });

    // Every value of every row once, as an export or a report goes through them.
    timed(QStringLiteral("read every row"), baseSql, [&] {
        const int fieldCount = int(jobs->fields().size());
        for (int row = 0; row < jobs->recordCount(); ++row) {
            for (int field = 0; field < fieldCount; ++field) {
                jobs->storedValue(row, field);
            }
        }
    });
    // A document of the last rows: the locate has to go through the whole period to find it.
    const int documentField = jobs->fieldByName(QStringLiteral("Print_Document"))->index();
    const int userField = jobs->fieldByName(QStringLiteral("Usuario_Id"))->index();
    const QString document = jobs->storedValue(jobs->recordCount() - 1, documentField).toString();
    const QString user = jobs->storedValue(jobs->recordCount() / 2, userField).toString();
    const QString searchedText = QStringLiteral("relat");
    timed(QStringLiteral("locate a document"),
          QStringLiteral("SELECT Print_Id FROM (%1) WHERE Print_Document = %2 COLLATE TOLLBOOK_NOCASE")
              .arg(baseSql, literal(document.toUpper())),
          [&] {
              if (!jobs->locate(QStringLiteral("Print_Document"), document.toUpper(), true)) {
                  throw tollbook::DatabaseError(QStringLiteral("the document was not found"));
              }
              view.scrollTo(model.index(jobs->recNo(), 0));
              paint();
          });
    const auto filtered = [&](const QList<Dataset::Condition>& conditions) {
        jobs->close();
        jobs->setFilter(conditions);
        jobs->open();
        paint();
    };
    timed(
        QStringLiteral("filter: one user"),
        QStringLiteral("SELECT * FROM (%1) WHERE Usuario_Id = %2 COLLATE TOLLBOOK_NOCASE").arg(baseSql, literal(user)),
        [&] {
            Dataset::Condition condition;
            condition.field = QStringLiteral("Usuario_Id");
            condition.value = user;
            filtered({ condition });
        });
    timed(QStringLiteral("filter: document contains"), QString(), [&] {
        Dataset::Condition condition;
        condition.field = QStringLiteral("Print_Document");
        condition.match = Dataset::Condition::Match::Contains;
        condition.value = searchedText;
        filtered({ condition });
    });
    timed(QStringLiteral("filter cleared"), baseSql, [&] { filtered({}); });

    // The same through the page's grid and its dialogs, as the user types: criteria read into bound
    // conditions, the rows read anew by the database.
    {
        tollbook::JobsGrid grid(&model, QStringLiteral("gridData"), {}, {});
        grid.resize(1280, 800);
        grid.show();
        const auto paintGrid = [&] { grid.grab(); };
        const QString lastDocument = jobs->storedValue(jobs->recordCount() - 1, documentField).toString();
        timed(QStringLiteral("locate dialog: find first (last row)"), QString(), [&] {
            tollbook::LocateDialog dialog(&grid);
            dialog.chooseField(QStringLiteral("Print_Document"));
            dialog.valueEdit()->setText(lastDocument.toUpper());
            // As find first does, without the box it would show when nothing is found.
            const int found = dialog.findFrom(0);
            if (found < 0) {
                throw tollbook::DatabaseError(QStringLiteral("the locate dialog did not find '%1'").arg(lastDocument));
            }
            grid.showRow(found);
            paintGrid();
        });
        timed(QStringLiteral("locate dialog: a date, find next"), QString(), [&] {
            tollbook::LocateDialog dialog(&grid);
            dialog.chooseField(QStringLiteral("Print_Data"));
            // The day and month of the middle row, as the grid shows them.
            const tollbook::Field* day = jobs->fieldByName(QStringLiteral("Print_Data"));
            dialog.valueEdit()->setText(
                day->displayTextOf(jobs->storedValue(jobs->recordCount() / 2, day->index())).left(5));
            const int found = dialog.findFrom(1);
            if (found < 0) {
                throw tollbook::DatabaseError(QStringLiteral("the locate dialog found no day"));
            }
            grid.showRow(found);
            paintGrid();
        });
        const auto filterDialog = [&](const std::function<void(tollbook::FilterDialog&)>& typing) {
            tollbook::FilterDialog dialog(&grid);
            dialog.clearCriteria();
            typing(dialog);
            dialog.applyToGrid();
            paintGrid();
        };
        timed(QStringLiteral("filter dialog: one user"),
              QStringLiteral("SELECT * FROM (%1) WHERE Usuario_Id = %2 COLLATE TOLLBOOK_NOCASE")
                  .arg(baseSql, literal(user)),
              [&] {
                  filterDialog([&](tollbook::FilterDialog& dialog) {
                      dialog.setValue(QStringLiteral("Usuario_Id"), user);
                      tollbook::RowFilter::Options options;
                      options.match = tollbook::RowFilter::Match::Exact;
                      dialog.setOptions(options);
                  });
              });
        timed(QStringLiteral("filter dialog: one day"), QString(), [&] {
            filterDialog([&](tollbook::FilterDialog& dialog) {
                dialog.setValue(QStringLiteral("Print_Data"),
                                period.start.addDays(9).toString(QStringLiteral("dd/MM/yyyy")));
            });
        });
        timed(QStringLiteral("filter dialog: document, a pattern or a text"), QString(), [&] {
            filterDialog([&](tollbook::FilterDialog& dialog) {
                dialog.setValue(QStringLiteral("Print_Document"),
                                QStringLiteral("relat%1 or envelope").arg(QLatin1Char('%')));
            });
        });
        timed(QStringLiteral("filter dialog: cost range, non-matching"), QString(), [&] {
            filterDialog([&](tollbook::FilterDialog& dialog) {
                dialog.setRange(QStringLiteral("calc_Custo"), QStringLiteral("0"), QStringLiteral("1"));
                tollbook::RowFilter::Options options;
                options.nonMatching = true;
                dialog.setOptions(options);
            });
        });
        timed(QStringLiteral("filter dialog cleared"), baseSql, [&] { filterDialog([](tollbook::FilterDialog&) {}); });
    }

    if (period.name == QLatin1String("month")) {
        const QString purge = QStringLiteral("Delete  from impressao where Print_Data >= %1 AND Print_Data <= %2")
                                  .arg(literal(isoText(period.start)), literal(isoText(period.end)));
        QSqlDatabase db = QSqlDatabase::database(tollbook::Database::ConnectionName);
        jobs->close();
        timed(QStringLiteral("purge (rolled back)"), QStringLiteral("BEGIN;\n") + purge, [&] {
            QSqlQuery query(db);
            if (!db.transaction()) {
                throw tollbook::DatabaseError(QStringLiteral("no transaction"));
            }
            if (!query.prepare(QStringLiteral("Delete  from impressao where Print_Data >= :DataI AND "
                                              "Print_Data <= :DataF"))) {
                throw tollbook::DatabaseError(query.lastError().text());
            }
            query.bindValue(0, isoText(period.start));
            query.bindValue(1, isoText(period.end));
            if (!query.exec()) {
                throw tollbook::DatabaseError(query.lastError().text());
            }
            out << "purged\t" << query.numRowsAffected() << '\n';
            query.finish();
        });
        db.rollback();
    }
    out << "peak\t" << peakKiB() << '\n' << "anon-end\t" << anonymousKiB() << '\n';
    jobs->close();
    return 0;
}

// The settings of the application's connection that change how fast a query runs, for the shell.
QStringList connectionPragmas(const QString& path)
{
    QStringList statements;
    {
        QSqlDatabase db = tollbook::Database::open(path);
        for (const char* name : { "mmap_size", "cache_size" }) {
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("PRAGMA %1").arg(QLatin1String(name))) || !query.next()) {
                throw tollbook::DatabaseError(QStringLiteral("PRAGMA %1 gave no value").arg(QLatin1String(name)));
            }
            statements << QStringLiteral("PRAGMA %1 = %2;").arg(QLatin1String(name), query.value(0).toString());
        }
    }
    tollbook::Database::close();
    return statements;
}

// The child that runs the shell, so that the peak memory of its children is the shell's: the script on
// stdin, the shell's output on stdout, then "peak<TAB>KiB".
int runShell(const QString& path)
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        return 1;
    }
    const QByteArray script = input.readAll();
    QProcess shell;
    shell.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    shell.start(QStringLiteral("sqlite3"), { QStringLiteral("-batch"), QStringLiteral("-bail"), path });
    if (!shell.waitForStarted()) {
        return 1;
    }
    shell.write(script);
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    QTextStream out(stdout);
    out << shell.readAllStandardOutput();
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    out << "peak\t" << usage.ru_maxrss << '\n';
    return shell.exitStatus() == QProcess::NormalExit ? shell.exitCode() : 1;
}

struct ShellResult
{
    std::optional<double> ms;
    long peakKiB = 0;
};

// The shell's time for one statement (its last, timed), best of runs, and its peak memory; a purge is rolled
// back.
ShellResult shellTime(const QString& path, const QStringList& pragmas, const QString& sql, int runs, QString& error)
{
    static const QRegularExpression runTime(QStringLiteral("^Run Time: real ([0-9.]+) user ([0-9.]+) sys ([0-9.]+)"));
    const QString extension = bench::sqliteExtensionPath();
    QString script = QStringLiteral(".output /dev/null\n");
    if (!extension.isEmpty()) {
        script += QStringLiteral(".load '%1'\n").arg(extension);
    }
    script += pragmas.join(QLatin1Char('\n'));
    script += QStringLiteral("\nSELECT count(*) FROM sqlite_master;\n");
    QStringList parts = sql.split(QStringLiteral(";\n"));
    const QString last = parts.takeLast();
    for (const QString& part : parts) {
        script += part + QStringLiteral(";\n");
    }
    script += QStringLiteral(".timer on\n") + last + QStringLiteral(";\n.timer off\n");
    if (!parts.isEmpty()) {
        script += QStringLiteral("ROLLBACK;\n");
    }
    ShellResult best;
    for (int run = 0; run < runs; ++run) {
        QProcess shell;
        shell.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--shell"), path });
        if (!shell.waitForStarted()) {
            error = QStringLiteral("sqlite3 could not be started: %1").arg(shell.errorString());
            return best;
        }
        shell.write(script.toUtf8());
        shell.closeWriteChannel();
        shell.waitForFinished(-1);
        const QString output = QString::fromUtf8(shell.readAllStandardOutput());
        // What the shell said on its error channel, without the platform's notes on our child's start.
        QStringList said = QString::fromUtf8(shell.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        said.removeIf([](const QString& line) { return line.startsWith(QLatin1String("QStandardPaths:")); });
        const QString errors = said.join(QLatin1Char(' ')).trimmed();
        if (shell.exitCode() != 0 || !errors.isEmpty()) {
            error = QStringLiteral("sqlite3 failed: %1").arg(errors);
            return best;
        }
        for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch match = runTime.match(line);
            if (match.hasMatch()) {
                const double seconds = wallClock() ? match.captured(1).toDouble()
                                                   : match.captured(2).toDouble() + match.captured(3).toDouble();
                best.ms = std::min(best.ms.value_or(std::numeric_limits<double>::infinity()), seconds * 1000.0);
            } else if (line.startsWith(QLatin1String("peak\t"))) {
                best.peakKiB = std::max(best.peakKiB, line.mid(5).toLong());
            }
        }
    }
    return best;
}

struct Result
{
    double cpuMs = std::numeric_limits<double>::infinity();
    double wallMs = std::numeric_limits<double>::infinity();
    qint64 rows = 0;
    QString shellSql;
};

QString figure(double value, int decimals = 1)
{
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QStringLiteral("-");
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments();
    try {
        if (args.size() == 3 && args.at(1) == QLatin1String("--shell")) {
            return runShell(args.at(2));
        }
        if (args.size() == 4 && args.at(1) == QLatin1String("--period")) {
            for (const Period& period : periods()) {
                if (period.name == args.at(2)) {
                    return runPeriod(args.at(3), period);
                }
            }
            return 2;
        }
        bool runsOk = true;
        const int runs = args.size() > 2 ? args.at(2).toInt(&runsOk) : 3;
        if (args.size() < 2 || args.size() > 3 || !runsOk || runs < 1) {
            err << "usage: tollbook-bench-views PATH [RUNS=3]\n";
            return 2;
        }
        const QString path = args.at(1);
        if (!QFileInfo::exists(path)) {
            err << "tollbook-bench-views: no database at " << path << '\n';
            return 1;
        }
        const QStringList pragmas = connectionPragmas(path);
        out << "Jobs by period over " << path << ", best of " << runs << " runs, "
            << (wallClock() ? "wall-clock" : "processor") << " ms"
            << (qEnvironmentVariable("BENCH_WHOLE") == QLatin1String("1") ? ", every result read whole" : "")
            << "\nsqlite3 shell: " << pragmas.join(QLatin1Char(' ')) << " .load " << bench::sqliteExtensionPath()
            << "\n\n";
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                   .arg(QStringLiteral("period"), -6)
                   .arg(QStringLiteral("step"), -28)
                   .arg(QStringLiteral("rows"), 9)
                   .arg(QStringLiteral("ours cpu"), 9)
                   .arg(QStringLiteral("ours wall"), 9)
                   .arg(QStringLiteral("sqlite3"), 9)
                   .arg(QStringLiteral("ratio"), 6);
        out.flush();
        for (const Period& period : periods()) {
            QMap<QString, Result> results;
            QStringList order;
            long peak = 0;
            long openPeak = 0;
            long openAnonymous = 0;
            long endAnonymous = 0;
            long shellPeak = 0;
            qint64 purged = -1;
            for (int run = 0; run < runs; ++run) {
                QProcess child;
                child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
                child.start(app.applicationFilePath(), { QStringLiteral("--period"), period.name, path });
                child.waitForFinished(-1);
                if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
                    err << "the " << period.name << " run failed\n";
                    return 1;
                }
                for (const QString& line : QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'))) {
                    const QStringList fields = line.split(QLatin1Char('\t'));
                    if (fields.first() == QLatin1String("step") && fields.size() == 6) {
                        Result& result = results[fields.at(1)];
                        if (!order.contains(fields.at(1))) {
                            order << fields.at(1);
                        }
                        result.cpuMs = std::min(result.cpuMs, fields.at(2).toDouble());
                        result.wallMs = std::min(result.wallMs, fields.at(3).toDouble());
                        result.rows = fields.at(4).toLongLong();
                        result.shellSql = fields.at(5);
                    } else if (fields.first() == QLatin1String("peak") && fields.size() == 2) {
                        peak = std::max(peak, fields.at(1).toLong());
                    } else if (fields.first() == QLatin1String("rss-open") && fields.size() == 2) {
                        openPeak = std::max(openPeak, fields.at(1).toLong());
                    } else if (fields.first() == QLatin1String("anon-open") && fields.size() == 2) {
                        openAnonymous = std::max(openAnonymous, fields.at(1).toLong());
                    } else if (fields.first() == QLatin1String("anon-end") && fields.size() == 2) {
                        endAnonymous = std::max(endAnonymous, fields.at(1).toLong());
                    } else if (fields.first() == QLatin1String("purged") && fields.size() == 2) {
                        purged = fields.at(1).toLongLong();
                    }
                }
            }
            for (const QString& name : std::as_const(order)) {
                const Result& result = results.value(name);
                QString error;
                std::optional<double> shell;
                if (!result.shellSql.isEmpty()) {
                    QString sql = result.shellSql;
                    sql.replace(QStringLiteral("BEGIN; "), QStringLiteral("BEGIN;\n"));
                    const ShellResult measured = shellTime(path, pragmas, sql, runs, error);
                    shell = measured.ms;
                    if (name == QLatin1String("open")) {
                        shellPeak = measured.peakKiB;
                    }
                }
                const double ours = wallClock() ? result.wallMs : result.cpuMs;
                out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7%8\n")
                           .arg(period.name, -6)
                           .arg(name, -28)
                           .arg(name.startsWith(QLatin1String("purge")) ? purged : result.rows, 9)
                           .arg(figure(result.cpuMs), 9)
                           .arg(figure(result.wallMs), 9)
                           .arg(shell ? figure(*shell) : QStringLiteral("-"), 9)
                           .arg(shell ? figure(ours / std::max(*shell, 0.001), 2) : QStringLiteral("-"), 6)
                           .arg(error.isEmpty() ? QString() : QStringLiteral("  ") + error);
                out.flush();
            }
            out << QStringLiteral("%1 peak memory (MiB): %2 after the open (heap %3), %4 at the end (heap %5); "
                                  "the sqlite3 shell's for the open %6 (ratio %7)\n\n")
                       .arg(period.name, -6)
                       .arg(openPeak / 1024)
                       .arg(openAnonymous / 1024)
                       .arg(peak / 1024)
                       .arg(endAnonymous / 1024)
                       .arg(shellPeak / 1024)
                       .arg(figure(double(openPeak) / double(std::max(shellPeak, 1L)), 2));
            out.flush();
        }
    } catch (const tollbook::Error& error) {
        err << "tollbook-bench-views: " << error.message() << '\n';
        return 1;
    }
    return 0;
}
