// tollbook-bench-tick [TODAY_JOBS] [OTHER_JOBS] [FOLDER]: measures the monitoring tick of the capture copy on a
// busy day.
//
// Makes a new database in FOLDER (the system's temporary folder unless given) with TODAY_JOBS jobs (60000 unless
// given) stored today and OTHER_JOBS (240000) on the days before, 300 registered users and 30 printers, and opens
// the datasets the tick works on with a model over today's jobs, as the window has them. Then it times, each
// over several runs: a tick without a journal; a tick that imports a journal of a few jobs (goal: under 50 ms);
// and, for comparison, reading today's jobs whole, which is what every tick did before. Exits 0 once it has
// measured: the figures are the result.

#include "capture/JournalImport.h"
#include "capture/MonitoringCycle.h"
#include "data/Catalogue.h"
#include "data/Database.h"
#include "data/DatasetModel.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

constexpr double TickGoalMs = 50;
constexpr int Runs = 20;
constexpr int JobsPerJournal = 5;
constexpr int Users = 300;
constexpr int Printers = 30;

QTextStream out(stdout);

void exec(QSqlQuery& query, const QString& sql)
{
    if (!query.exec(sql)) {
        throw tollbook::DriverError(tollbook::Database::driverMessage(query.lastError()));
    }
}

// Registered users and printers with prices, and the jobs: today's spread over office hours, the others over
// the days before.
void fillDatabase(const QDate& today, int todayJobs, int otherJobs)
{
    QSqlDatabase db = QSqlDatabase::database(tollbook::Database::ConnectionName);
    QSqlQuery query(db);
    db.transaction();
    for (int user = 0; user < Users; ++user) {
        exec(query, QStringLiteral("INSERT INTO Usuario VALUES ('user%1', 'User %1', 'ADM', 1, 'S')")
                        .arg(user, 3, 10, QLatin1Char('0')));
    }
    for (int printer = 0; printer < Printers; ++printer) {
        const QString name = QStringLiteral("P%1").arg(printer, 2, 10, QLatin1Char('0'));
        exec(query, QStringLiteral("INSERT INTO Impressora VALUES ('%1')").arg(name));
        exec(
            query,
            QStringLiteral("INSERT INTO CustoImpressao VALUES ('%1', 9, 2000, 2500), ('%1', 1, 2000, 2500)").arg(name));
    }
    query.prepare(QStringLiteral("INSERT INTO Impressao (Print_Name, Computer_Id, Usuario_Id, Print_Document,"
                                 " Print_Drive, Print_Pages, Print_Data, Print_Hora, dmPaperSize, Print_PaperLength,"
                                 " Print_PaperWidth, Print_Color, Print_Duplex, Projeto_Id, Print_Entregue)"
                                 " VALUES (?, 'PC1', ?, ?, 'Driver', ?, ?, ?, 9, 2970, 2100, ?, 'N', 1, 'N')"));
    const int total = otherJobs + todayJobs;
    for (int job = 0; job < total; ++job) {
        // The days before first, so that today's jobs carry the highest ids, as they would.
        const bool isToday = job >= otherJobs;
        const QDate day = isToday ? today : today.addDays(-1 - job % 250);
        const int second = 8 * 3600 + (isToday ? (job - otherJobs) : job) % (10 * 3600);
        const QString date = day.toString(Qt::ISODate);
        query.addBindValue(QStringLiteral("P%1").arg(job % Printers, 2, 10, QLatin1Char('0')));
        query.addBindValue(QStringLiteral("user%1").arg(job % Users, 3, 10, QLatin1Char('0')));
        query.addBindValue(QStringLiteral("document %1.pdf").arg(job));
        query.addBindValue(1 + job % 7);
        query.addBindValue(date);
        query.addBindValue(date + QLatin1Char(' ') + QTime(0, 0).addSecs(second).toString(Qt::ISODate));
        query.addBindValue(job % 5 == 0 ? QStringLiteral("S") : QStringLiteral("N"));
        if (!query.exec()) {
            throw tollbook::DriverError(tollbook::Database::driverMessage(query.lastError()));
        }
    }
    db.commit();
}

// Jobs of registered users and printers; the last one of a user never seen before when newUser is given.
void writeJournal(const QString& path, int firstJob, const QString& newUser = QString())
{
    QByteArray bytes("\xEF\xBB\xBF");
    for (int job = firstJob; job < firstJob + JobsPerJournal; ++job) {
        const bool last = job + 1 == firstJob + JobsPerJournal;
        bytes +=
            QStringLiteral("%1|P%2|\\\\PC1|%3|doc %1|n|RAW|cups||Driver|2|1024|01/01/2026|10:00:00|9|2970|"
                           "2100|N|N|\r\n")
                .arg(job)
                .arg(job % Printers, 2, 10, QLatin1Char('0'))
                .arg(last && !newUser.isEmpty() ? newUser
                                                : QStringLiteral("user%1").arg(job % Users, 3, 10, QLatin1Char('0')))
                .toUtf8();
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        throw tollbook::PlainError(QStringLiteral("cannot write ") + path);
    }
}

struct Timing
{
    double best = 0;
    double median = 0;
    double worst = 0;
};

// Each run: prepare (not timed), then work (timed).
Timing timeOf(const std::function<void()>& prepare, const std::function<void()>& work)
{
    std::vector<double> ms;
    for (int run = 0; run < Runs; ++run) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return { ms.front(), ms.at(ms.size() / 2), ms.back() };
}

void report(const QString& what, const Timing& timing, bool goal)
{
    out << QStringLiteral("  %1  best %2 ms  median %3 ms  worst %4 ms%5\n")
               .arg(what, -44)
               .arg(timing.best, 7, 'f', 1)
               .arg(timing.median, 7, 'f', 1)
               .arg(timing.worst, 7, 'f', 1)
               .arg(goal ? (timing.median < TickGoalMs ? QStringLiteral("  met") : QStringLiteral("  MISSED"))
                         : QString());
    out.flush();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int todayJobs = args.size() > 1 ? args.at(1).toInt() : 60000;
    const int otherJobs = args.size() > 2 ? args.at(2).toInt() : 240000;
    QTemporaryDir folder(args.size() > 3 ? QDir(args.at(3)).filePath(QStringLiteral("bench-tick-XXXXXX"))
                                         : QDir::tempPath() + QStringLiteral("/bench-tick-XXXXXX"));
    if (todayJobs <= 0 || otherJobs < 0 || !folder.isValid()) {
        QTextStream(stderr) << "usage: tollbook-bench-tick [TODAY_JOBS] [OTHER_JOBS] [FOLDER]\n";
        return 2;
    }
    const QString install = folder.path() + QLatin1Char('/');
    QProcess agent;
    try {
        QDir().mkpath(install + QStringLiteral("jobs"));
        const QString database = install + QStringLiteral("Tollbook.db");
        const QString config = install + QStringLiteral("config.ini");
        tollbook::WriteIniValue(config, QStringLiteral("App"), QStringLiteral("PID"),
                                QString::number(QCoreApplication::applicationPid()));
        // One agent runs, as in the capture copy: a copy of sleep under a name of this run.
        const QString agentName = QStringLiteral("PrintJob%1").arg(QCoreApplication::applicationPid());
        QFile::copy(QStringLiteral("/bin/sleep"), install + agentName);
        agent.start(install + agentName, { QStringLiteral("600") });
        agent.waitForStarted(-1);

        const QDate today = QDate::currentDate();
        tollbook::Database::create(database);
        tollbook::Database::open(database);
        QElapsedTimer filling;
        filling.start();
        fillDatabase(today, todayJobs, otherJobs);
        out << "Monitoring tick of the capture copy: " << todayJobs << " jobs today, " << otherJobs
            << " on the days before (database made in " << filling.elapsed() / 1000.0 << " s); " << Runs
            << " runs each, goal under " << TickGoalMs << " ms\n";
        {
            tollbook::DataModuleDatasets dataModule;
            dataModule.openStartupDatasets();
            tollbook::MainWindowDatasets datasets(&dataModule);
            datasets.jobImport->open();
            datasets.todayJobs->setParam(QStringLiteral("Data"), tollbook::DateToQueryText(today));
            datasets.todayJobs->open();
            datasets.openRegistries();
            tollbook::DatasetModel view(datasets.todayJobs);

            const QString journal = install + QStringLiteral("jobs/printjob.tlj");
            tollbook::MonitoringCycle cycle(
                { config, install + agentName, journal, install + QStringLiteral("jobs/printjobnew.tlj"), QString() },
                &dataModule, &datasets);
            cycle.agent().setProcessName(agentName);
            // The first import completes the registries over the whole table once.
            int job = 1;
            writeJournal(journal, job);
            job += JobsPerJournal;
            cycle.tick();

            report(QStringLiteral("tick, no journal"), timeOf([] {}, [&cycle] { cycle.tick(); }), true);
            report(QStringLiteral("tick importing a journal of %1 jobs").arg(JobsPerJournal),
                   timeOf(
                       [&] {
                           writeJournal(journal, job);
                           job += JobsPerJournal;
                       },
                       [&cycle] { cycle.tick(); }),
                   true);
            report(QStringLiteral("tick importing them, one of a new user"),
                   timeOf(
                       [&] {
                           writeJournal(journal, job, QStringLiteral("new%1").arg(job));
                           job += JobsPerJournal;
                       },
                       [&cycle] { cycle.tick(); }),
                   false);
            // Where a tick's time goes.
            report(QStringLiteral("  the import alone"),
                   timeOf(
                       [&] {
                           writeJournal(journal, job);
                           job += JobsPerJournal;
                       },
                       [&cycle] {
                           cycle.journalImport()->importPending(
                               tollbook::ImportTarget::read(tollbook::Database::ConnectionName));
                       }),
                   false);
            report(QStringLiteral("  agent supervision (one process list)"),
                   timeOf([] {}, [&cycle] { cycle.agent().runningCount(); }), false);
            report(QStringLiteral("  today's new jobs added to the view"),
                   timeOf(
                       [&] {
                           QSqlQuery query(QSqlDatabase::database(tollbook::Database::ConnectionName));
                           exec(query,
                                QStringLiteral("INSERT INTO Impressao (Print_Name, Usuario_Id, Print_Data, Print_Hora,"
                                               " Print_Pages, dmPaperSize, Print_Color, Projeto_Id)"
                                               " SELECT Print_Name, Usuario_Id, Print_Data, Print_Hora, Print_Pages,"
                                               " dmPaperSize, Print_Color, Projeto_Id FROM Impressao"
                                               " ORDER BY Print_Id DESC LIMIT %1")
                                    .arg(JobsPerJournal));
                       },
                       [&datasets] {
                           datasets.todayJobs->appendNewerRows(QStringLiteral("Print_Id"),
                                                               tollbook::Dataset::NewRowsAt::Start);
                       }),
                   false);
            report(QStringLiteral("  users of all jobs (SQL_BuscaUsuario)"),
                   timeOf([] {}, [&dataModule] { dataModule.knownUsers->reopen(); }), false);
            report(QStringLiteral("  printers of all jobs (SQL_BuscaPrint)"),
                   timeOf([] {}, [&dataModule] { dataModule.knownPrinters->reopen(); }), false);
            report(QStringLiteral("  users registered (both SQL_Usuario)"),
                   timeOf([] {},
                          [&] {
                              dataModule.users->reopen();
                              datasets.users->reopen();
                          }),
                   false);
            report(QStringLiteral("today's jobs read whole (every tick before)"),
                   timeOf([] {}, [&datasets] { datasets.todayJobs->reopen(); }), false);

            const qint64 expected = todayJobs + qint64(4 * Runs + 1) * JobsPerJournal;
            out << "  today's jobs in the view: " << view.rowCount() << " (expected " << expected << ")\n";
            if (view.rowCount() != expected) {
                throw tollbook::PlainError(QStringLiteral("the view lost or doubled rows"));
            }
        }
        tollbook::Database::close();
    } catch (const tollbook::Error& error) {
        QTextStream(stderr) << "tollbook-bench-tick: " << error.message() << '\n';
        agent.kill();
        agent.waitForFinished(-1);
        return 1;
    }
    agent.kill();
    agent.waitForFinished(-1);
    return 0;
}
