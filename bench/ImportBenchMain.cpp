// tollbook-bench-import PATH [LINES...]: measures the journal import and the monitoring tick over a copy of
// the database at PATH (one made by tollbook-gendb: a million jobs).
//
// With TOLLBOOK_BENCH_POSTGRES=postgresql://... naming an empty PostgreSQL database, it also creates the schema
// there and compares, for each journal size, our import into PostgreSQL with psql's \copy (COPY FROM STDIN) of
// the same rows into the same table, emptied before each side. Same goal: at least half the speed of COPY.
//
// For each journal size (100000 and 1000000 lines unless given) it writes a journal of generated jobs,
// imports it into a fresh copy of the database as the capture copy does (takeover by renaming, one
// transaction recording the copy's number, removal of the copy), and compares the lines per second with
// the sqlite3 shell's .import of the same rows into the same table of another fresh copy. The goal is at
// least half the speed of .import.
//
// Then it measures the monitoring tick of the capture copy with no journal to import (goal: under 50 ms
// of work), with the control view on the day of the database with most jobs and on a day without jobs,
// as well as a tick whose journal is empty and one that imports a single job (which completes the
// registries over the whole table). Always exits 0 once it has measured: the figures are the result.

#include "BenchClock.h"
#include "capture/JournalImport.h"
#include "capture/MonitoringCycle.h"
#include "data/Catalogue.h"
#include "data/Database.h"
#include "data/Field.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using tollbook::DriverError;

constexpr double GoalRatio = 0.5;
constexpr double TickGoalMs = 50;
constexpr int TickRuns = 20;

QTextStream out(stdout);

void exec(QSqlQuery& query, const QString& sql)
{
    if (!query.exec(sql)) {
        throw DriverError(tollbook::Database::driverMessage(query.lastError()));
    }
}

qint64 scalar(const QString& connection, const QString& sql)
{
    QSqlQuery query(QSqlDatabase::database(connection));
    exec(query, sql);
    return query.next() ? query.value(0).toLongLong() : -1;
}

QStringList column(const QString& connection, const QString& sql)
{
    QSqlQuery query(QSqlDatabase::database(connection));
    exec(query, sql);
    QStringList values;
    while (query.next()) {
        values << query.value(0).toString();
    }
    return values;
}

// A fresh copy of the database: the file and its write-ahead log.
QString copyDatabase(const QString& source, const QString& folder, const QString& name)
{
    const QString target = QDir(folder).filePath(name);
    for (const QString& suffix : { QString(), QStringLiteral("-wal"), QStringLiteral("-shm") }) {
        QFile::remove(target + suffix);
    }
    if (!QFile::copy(source, target)) {
        throw tollbook::PlainError(QStringLiteral("cannot copy %1 to %2").arg(source, target));
    }
    if (QFile::exists(source + QStringLiteral("-wal"))) {
        QFile::copy(source + QStringLiteral("-wal"), target + QStringLiteral("-wal"));
    }
    return target;
}

void removeDatabase(const QString& path)
{
    for (const QString& suffix : { QString(), QStringLiteral("-wal"), QStringLiteral("-shm") }) {
        QFile::remove(path + suffix);
    }
}

struct Generated
{
    QByteArray journal;  // as the agent writes it
    QByteArray rows;     // the same jobs as the rows of Impressao, for .import
    QByteArray copyRows; // the same jobs in COPY's text format, the columns of PostgresCopyColumns
};

// The columns our import fills, in the order of Generated::copyRows.
const QString PostgresCopyColumns =
    QStringLiteral("Print_Name, Computer_Id, Usuario_Id, Print_Document, Print_Drive, Print_Pages, Print_Data,"
                   " Print_Hora, dmPaperSize, Print_PaperLength, Print_PaperWidth, Print_Color, Print_Duplex,"
                   " Projeto_Id");

// Jobs of the users and printers of the database, the rows numbered on from firstId.
Generated generate(int lines, const QStringList& users, const QStringList& printers, qint64 firstId)
{
    std::mt19937_64 random(2025);
    const auto below = [&random](int count) { return int(random() % quint64(count)); };
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString now = today + QStringLiteral(" 10:30:00");
    const int papers[] = { 9, 9, 9, 1, 8 };
    Generated generated;
    generated.journal.reserve(qsizetype(lines) * 150);
    generated.rows.reserve(qsizetype(lines) * 120);
    generated.journal += "\xEF\xBB\xBF";
    for (int i = 0; i < lines; ++i) {
        const QString& user = users.at(below(int(users.size())));
        const QString& printer = printers.at(below(int(printers.size())));
        const QString computer = QStringLiteral("PC%1").arg(below(400), 3, 10, QLatin1Char('0'));
        const QString document = QStringLiteral("Relatório %1 - %2.pdf").arg(i).arg(user);
        const int pages = 1 + below(20);
        const int paper = papers[below(5)];
        const QString colour = below(4) == 0 ? QStringLiteral("S") : QStringLiteral("N");
        const QString duplex = below(3) == 0 ? QStringLiteral("S") : QStringLiteral("N");
        generated.journal += QStringLiteral("%1|%2|\\\\%3|%4|%5|%4|RAW|winprint||HP Universal Printing PCL 6|%6|"
                                            "%7|10/03/2025|10:15:00|%8|2970|2100|%9|%10|\r\n")
                                 .arg(i + 1)
                                 .arg(printer, computer, user, document)
                                 .arg(pages)
                                 .arg(QString::number(pages * 45123) + QStringLiteral(",5"))
                                 .arg(paper)
                                 .arg(duplex, colour)
                                 .toUtf8();
        // Print_Id|Print_Name|Print_Drive|Print_Port|Print_Data|Print_Hora|Usuario_Id|Print_Pages|
        // Print_Document|Print_Entregue|Computer_Id|dmPaperSize|Print_Color|Print_Duplex|Print_PaperLength|
        // Print_PaperWidth|Projeto_Id
        generated.rows +=
            QStringLiteral("%1|%2|HP Universal Printing PCL 6||%3|%4|%5|%6|%7||%8|%9|%10|%11|2970|2100|1\n")
                .arg(firstId + i)
                .arg(printer, today, now, user)
                .arg(pages)
                .arg(document, computer)
                .arg(paper)
                .arg(colour, duplex)
                .toUtf8();
        generated.copyRows +=
            QStringLiteral("%1\t%2\t%3\t%4\tHP Universal Printing PCL 6\t%5\t%6\t%7\t%8\t2970\t2100\t%9\t%10\t1\n")
                .arg(printer, computer, user, document)
                .arg(pages)
                .arg(today, now)
                .arg(paper)
                .arg(colour, duplex)
                .toUtf8();
    }
    return generated;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        throw tollbook::PlainError(QStringLiteral("cannot write %1").arg(path));
    }
}

// Seconds the capture copy takes to import the journal: takeover, rows, commit, removal of the copy.
double importOurs(const QString& database, const QString& folder, const QByteArray& journal, qint64 lines)
{
    const QString jobs = QDir(folder).filePath(QStringLiteral("jobs"));
    QDir().mkpath(jobs);
    const QString journalPath = QDir(jobs).filePath(QStringLiteral("printjob.tlj"));
    writeFile(journalPath, journal);
    double seconds = 0;
    {
        // Without a database: the one open already as the application's connection.
        if (!database.isEmpty()) {
            tollbook::Database::open(database);
        }
        // The datasets open as at start-up, where the dataset layer runs on the store.
        tollbook::DataModuleDatasets dataModule;
        tollbook::MainWindowDatasets datasets(&dataModule);
        if (!tollbook::Database::isPostgres()) {
            datasets.jobImport->open();
            datasets.users->open();
        }
        const qint64 before =
            scalar(tollbook::Database::ConnectionName, QStringLiteral("SELECT count(*) FROM Impressao"));
        tollbook::JournalImport import(journalPath, QDir(jobs).filePath(QStringLiteral("printjobnew.tlj")));
        QElapsedTimer timer;
        timer.start();
        const tollbook::JournalImport::Result result =
            import.importPending(tollbook::ImportTarget::read(tollbook::Database::ConnectionName));
        seconds = double(timer.nsecsElapsed()) / 1e9;
        const qint64 after =
            scalar(tollbook::Database::ConnectionName, QStringLiteral("SELECT count(*) FROM Impressao"));
        if (result.rows != lines || after - before != lines || QFile::exists(import.copyPath())) {
            throw tollbook::PlainError(
                QStringLiteral("the import stored %1 rows of %2").arg(after - before).arg(lines));
        }
    }
    if (!database.isEmpty()) {
        tollbook::Database::close();
    }
    return seconds;
}

// Seconds psql takes to \copy the rows into Impressao of the PostgreSQL database, the start of psql included.
double copyPsql(const QString& address, const QString& folder, const QByteArray& rows, qint64 lines)
{
    const QString rowsPath = QDir(folder).filePath(QStringLiteral("rows.copy"));
    writeFile(rowsPath, rows);
    QProcess psql;
    QElapsedTimer timer;
    timer.start();
    psql.start(QStringLiteral("psql"),
               { QStringLiteral("--no-psqlrc"), QStringLiteral("--quiet"), QStringLiteral("-v"),
                 QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), address, QStringLiteral("-c"),
                 QStringLiteral("\\copy Impressao (%1) FROM '%2'").arg(PostgresCopyColumns, rowsPath) });
    if (!psql.waitForStarted(-1)) {
        throw tollbook::PlainError(QStringLiteral("psql could not be started: %1").arg(psql.errorString()));
    }
    psql.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    QFile::remove(rowsPath);
    const QString errors = QString::fromUtf8(psql.readAllStandardError()).trimmed();
    const qint64 stored = scalar(tollbook::Database::ConnectionName, QStringLiteral("SELECT count(*) FROM Impressao"));
    if (stored != lines || psql.exitCode() != 0) {
        throw tollbook::PlainError(QStringLiteral("psql stored %1 rows of %2: %3").arg(stored).arg(lines).arg(errors));
    }
    return seconds;
}

// Our import and psql's \copy of the same jobs into the PostgreSQL database at the address, each into the
// emptied table.
void measurePostgres(const QString& address, const QString& folder, const QList<int>& sizes, const QStringList& users,
                     const QStringList& printers)
{
    tollbook::Database::create(address);
    tollbook::Database::open(address);
    const auto empty = [] {
        QSqlQuery query(QSqlDatabase::database(tollbook::Database::ConnectionName));
        exec(query, QStringLiteral("TRUNCATE Impressao, ArquivoImportado"));
        exec(query, QStringLiteral("VACUUM ANALYZE Impressao"));
    };
    out << "\nJournal import into PostgreSQL (" << address << "), against psql \\copy\n\n";
    out << QStringLiteral("  %1  %2  %3  %4  %5\n")
               .arg(QStringLiteral("lines"), 8)
               .arg(QStringLiteral("ours lines/s"), 13)
               .arg(QStringLiteral("\\copy lines/s"), 16)
               .arg(QStringLiteral("ratio"), 6)
               .arg(QStringLiteral("goal >= %1").arg(GoalRatio, 0, 'f', 1));
    out.flush();
    for (const int lines : sizes) {
        const Generated generated = generate(lines, users, printers, 1);
        empty();
        const double oursSeconds = importOurs(QString(), folder, generated.journal, lines);
        empty();
        const double copySeconds = copyPsql(address, folder, generated.copyRows, lines);
        const double oursRate = lines / oursSeconds;
        const double copyRate = lines / copySeconds;
        const double ratio = oursRate / copyRate;
        out << QStringLiteral("  %1  %2  %3  %4  %5\n")
                   .arg(lines, 8)
                   .arg(oursRate, 13, 'f', 0)
                   .arg(copyRate, 16, 'f', 0)
                   .arg(ratio, 6, 'f', 2)
                   .arg(ratio >= GoalRatio ? QStringLiteral("met") : QStringLiteral("MISSED"));
        out.flush();
    }
    empty();
    tollbook::Database::close();
}

// Seconds the sqlite3 shell takes to .import the rows, the start of the shell included.
double importShell(const QString& database, const QString& folder, const QByteArray& rows, qint64 lines)
{
    const QString rowsPath = QDir(folder).filePath(QStringLiteral("rows.txt"));
    writeFile(rowsPath, rows);
    const QString connection = QStringLiteral("bench-shell");
    qint64 before = 0;
    {
        tollbook::Database::open(database, connection);
        before = scalar(connection, QStringLiteral("SELECT count(*) FROM Impressao"));
    }
    tollbook::Database::close(connection);

    QProcess shell;
    QElapsedTimer timer;
    timer.start();
    shell.start(QStringLiteral("sqlite3"), { QStringLiteral("-batch"), QStringLiteral("-bail"), database });
    if (!shell.waitForStarted(-1)) {
        throw tollbook::PlainError(QStringLiteral("sqlite3 could not be started: %1").arg(shell.errorString()));
    }
    const QString extension = bench::sqliteExtensionPath();
    shell.write((extension.isEmpty() ? QString() : QStringLiteral(".load '%1'\n").arg(extension)).toUtf8() +
                QStringLiteral(".mode list\n.separator |\n.import '%1' Impressao\n").arg(rowsPath).toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const QString errors = QString::fromUtf8(shell.readAllStandardError()).trimmed();
    QFile::remove(rowsPath);

    qint64 after = 0;
    {
        tollbook::Database::open(database, connection);
        after = scalar(connection, QStringLiteral("SELECT count(*) FROM Impressao"));
    }
    tollbook::Database::close(connection);
    if (after - before != lines || !errors.isEmpty()) {
        throw tollbook::PlainError(
            QStringLiteral("sqlite3 stored %1 rows of %2: %3").arg(after - before).arg(lines).arg(errors));
    }
    return seconds;
}

struct Timing
{
    double best = 0;
    double median = 0;
};

Timing timeOf(const std::function<void()>& work, int runs)
{
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return { ms.front(), ms.at(ms.size() / 2) };
}

void measureTicks(const QString& source, const QString& folder)
{
    const QString database = copyDatabase(source, folder, QStringLiteral("tick.db"));
    const QString install = QDir(folder).filePath(QStringLiteral("install")) + QLatin1Char('/');
    QDir().mkpath(install + QStringLiteral("jobs"));
    const QString config = install + QStringLiteral("config.ini");
    tollbook::WriteIniValue(config, QStringLiteral("App"), QStringLiteral("PID"),
                            QString::number(QCoreApplication::applicationPid()));

    // One agent runs, as it does in the capture copy: a copy of sleep under a name of this run.
    const QString agentName = QStringLiteral("PrintJob%1").arg(QCoreApplication::applicationPid());
    QFile::copy(QStringLiteral("/bin/sleep"), install + agentName);
    QProcess agent;
    agent.start(install + agentName, { QStringLiteral("600") });
    agent.waitForStarted(-1);

    tollbook::Database::open(database);
    {
        tollbook::DataModuleDatasets dataModule;
        dataModule.openStartupDatasets();
        tollbook::MainWindowDatasets windowDatasets(&dataModule);
        tollbook::MainWindowDatasets* datasets = &windowDatasets;
        datasets->jobImport->open();
        datasets->todayJobs->setParam(QStringLiteral("Data"), tollbook::DateToQueryText(QDate::currentDate()));
        datasets->todayJobs->open();
        datasets->openRegistries();

        const QString journal = install + QStringLiteral("jobs/printjob.tlj");
        tollbook::MonitoringCycle cycle({ config, install + QStringLiteral("bin/x64/PrintJob"), journal,
                                          install + QStringLiteral("jobs/printjobnew.tlj"), QString() },
                                        &dataModule, datasets);
        cycle.agent().setProcessName(agentName);

        const QDate busiest = QDate::fromString(
            column(
                tollbook::Database::ConnectionName,
                QStringLiteral("SELECT Print_Data FROM Impressao GROUP BY Print_Data ORDER BY count(*) DESC LIMIT 1"))
                .value(0),
            Qt::ISODate);
        const qint64 busiestJobs = scalar(tollbook::Database::ConnectionName,
                                          QStringLiteral("SELECT count(*) FROM Impressao WHERE Print_Data = '%1'")
                                              .arg(busiest.toString(Qt::ISODate)));

        const auto report = [](const QString& what, const Timing& timing, bool goal) {
            out << QStringLiteral("  %1  best %2 ms  median %3 ms%4\n")
                       .arg(what, -52)
                       .arg(timing.best, 7, 'f', 1)
                       .arg(timing.median, 7, 'f', 1)
                       .arg(goal ? (timing.median < TickGoalMs ? QStringLiteral("  met") : QStringLiteral("  MISSED"))
                                 : QString());
            out.flush();
        };
        out << "\nMonitoring tick of the capture copy (" << TickRuns << " runs each; goal without a journal: under "
            << TickGoalMs << " ms)\n";

        cycle.setClock([busiest] { return QDateTime(busiest, QTime(10, 30)); });
        report(QStringLiteral("no journal, control view of %1 (%2 jobs)")
                   .arg(busiest.toString(Qt::ISODate))
                   .arg(busiestJobs),
               timeOf([&cycle] { cycle.tick(); }, TickRuns), true);

        cycle.setClock([] { return QDateTime(QDate(2026, 1, 1), QTime(10, 30)); });
        report(QStringLiteral("no journal, control view of a day without jobs"),
               timeOf([&cycle] { cycle.tick(); }, TickRuns), true);

        // The first journal completes the registries; the ticks after it with an empty journal do not.
        writeFile(journal, QByteArray());
        cycle.tick();
        report(QStringLiteral("empty journal, day without jobs"),
               timeOf(
                   [&] {
                       writeFile(journal, QByteArray());
                       cycle.tick();
                   },
                   TickRuns),
               false);

        int job = 0;
        report(QStringLiteral("one job (registries completed over all the jobs)"),
               timeOf(
                   [&] {
                       writeFile(journal, QStringLiteral("%1|P1|\\\\PC1|user001|doc|x|RAW|winprint||D|1|100|x|x|9|2970|"
                                                         "2100|N|N|\r\n")
                                              .arg(++job)
                                              .toUtf8());
                       cycle.tick();
                   },
                   5),
               false);
    }
    tollbook::Database::close();
    agent.kill();
    agent.waitForFinished(-1);
    removeDatabase(database);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        err << "usage: tollbook-bench-import PATH_OF_1M_DB [LINES...]\n";
        return 2;
    }
    const QString source = QFileInfo(args.at(1)).absoluteFilePath();
    QList<int> sizes;
    for (int i = 2; i < args.size(); ++i) {
        bool ok = false;
        sizes << args.at(i).toInt(&ok);
        if (!ok || sizes.last() <= 0) {
            err << "usage: tollbook-bench-import PATH_OF_1M_DB [LINES...]\n";
            return 2;
        }
    }
    if (sizes.isEmpty()) {
        sizes = { 100000, 1000000 };
    }

    // The copies go beside the database: same file system, and room for them.
    QTemporaryDir folder(QFileInfo(source).absolutePath() + QStringLiteral("/bench-import-XXXXXX"));
    try {
        QStringList users;
        QStringList printers;
        qint64 nextId = 0;
        qint64 jobs = 0;
        {
            tollbook::Database::open(source, QStringLiteral("bench-source"));
            users = column(QStringLiteral("bench-source"), QStringLiteral("SELECT Usuario_id FROM Usuario"));
            printers = column(QStringLiteral("bench-source"), QStringLiteral("SELECT Print_Name FROM Impressora"));
            nextId = scalar(QStringLiteral("bench-source"), QStringLiteral("SELECT max(Print_Id) FROM Impressao")) + 1;
            jobs = scalar(QStringLiteral("bench-source"), QStringLiteral("SELECT count(*) FROM Impressao"));
        }
        tollbook::Database::close(QStringLiteral("bench-source"));

        out << "Journal import into a copy of " << source << " (" << jobs << " jobs), against sqlite3 .import\n\n";
        out << QStringLiteral("  %1  %2  %3  %4  %5\n")
                   .arg(QStringLiteral("lines"), 8)
                   .arg(QStringLiteral("ours lines/s"), 13)
                   .arg(QStringLiteral(".import lines/s"), 16)
                   .arg(QStringLiteral("ratio"), 6)
                   .arg(QStringLiteral("goal >= %1").arg(GoalRatio, 0, 'f', 1));
        out.flush();
        for (const int lines : sizes) {
            const Generated generated = generate(lines, users, printers, nextId);
            const QString ours = copyDatabase(source, folder.path(), QStringLiteral("ours.db"));
            const double oursSeconds = importOurs(ours, folder.path(), generated.journal, lines);
            removeDatabase(ours);
            const QString shell = copyDatabase(source, folder.path(), QStringLiteral("shell.db"));
            const double shellSeconds = importShell(shell, folder.path(), generated.rows, lines);
            removeDatabase(shell);

            const double oursRate = lines / oursSeconds;
            const double shellRate = lines / shellSeconds;
            const double ratio = oursRate / shellRate;
            out << QStringLiteral("  %1  %2  %3  %4  %5\n")
                       .arg(lines, 8)
                       .arg(oursRate, 13, 'f', 0)
                       .arg(shellRate, 16, 'f', 0)
                       .arg(ratio, 6, 'f', 2)
                       .arg(ratio >= GoalRatio ? QStringLiteral("met") : QStringLiteral("MISSED"));
            out.flush();
        }

        const QString postgres = qEnvironmentVariable("TOLLBOOK_BENCH_POSTGRES");
        if (!postgres.isEmpty()) {
            measurePostgres(postgres, folder.path(), sizes, users, printers);
        }
        if (qEnvironmentVariableIsSet("TOLLBOOK_BENCH_NO_TICKS")) {
            return 0;
        }
        measureTicks(source, folder.path());
    } catch (const tollbook::Error& error) {
        err << "tollbook-bench-import: " << error.message() << '\n';
        return 1;
    }
    return 0;
}
