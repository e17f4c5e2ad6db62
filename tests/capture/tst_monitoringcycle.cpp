#include "JournalFixture.h"
#include "capture/JournalImport.h"
#include "capture/MonitoringCycle.h"
#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"
#include "data/DatasetModel.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"

#include <QtTest>

#include <QAbstractItemModelTester>
#include <QProcess>

#include <atomic>
#include <memory>

using namespace tollbook;
using namespace JournalLines;

namespace {

// Today at 10:30, the time every import of these tests takes place.
QDateTime importTime()
{
    return QDateTime(QDate::currentDate(), QTime(10, 30));
}

// Process names of this test run only, so that nothing else on the machine is counted or ended.
QString ownAgentName()
{
    return QStringLiteral("PrintJob%1").arg(QCoreApplication::applicationPid());
}

// A process that runs until it is ended, under the executable name given: a copy of sleep in folder.
bool startNamedProcess(QProcess& process, const QString& folder, const QString& name)
{
    const QString executable = QDir(folder).filePath(name);
    if (!QFile::exists(executable) && !QFile::copy(QStringLiteral("/bin/sleep"), executable)) {
        return false;
    }
    process.start(executable, { QStringLiteral("600") });
    return process.waitForStarted(-1);
}

void stopProcess(QProcess& process)
{
    process.kill();
    process.waitForFinished(-1);
}

// An installation folder with a new database open as the application's connection, config.ini naming this
// process as the capture copy, the datasets the tick works on open as the first showing opens them, and the
// monitoring cycle over them, its agent a script that runs a copy of sleep under this run's agent name and
// its clock at importTime(). Records what the cycle tells the window and the errors it reports.
class CycleFixture
{
public:
    // config: where config.ini is; in the installation folder unless given.
    explicit CycleFixture(const QStringList& setup = {}, const QString& config = QString())
        : m_config(config)
        , m_datasets(&m_dataModule)
    {
        DatabaseFixture::exec(setup);
        QVERIFY(QDir().mkpath(path(QStringLiteral("jobs"))));
        QVERIFY(QDir().mkpath(path(QStringLiteral("bin"))));
        writeConfig(QStringLiteral("PID"), QString::number(QCoreApplication::applicationPid()));

        m_dataModule.openStartupDatasets();
        m_datasets.jobImport->open();
        m_datasets.todayJobs->setParam(QStringLiteral("Data"), QDate::currentDate());
        m_datasets.todayJobs->open();
        m_datasets.openRegistries();

        m_cycle = std::make_unique<MonitoringCycle>(
            CapturePaths{ configPath(), path(QStringLiteral("bin/PrintJob")), journalPath(), copyPath(), QString() },
            &m_dataModule, &m_datasets);
        m_cycle->agent().setProcessName(ownAgentName());
        m_cycle->setClock(importTime);
        m_cycle->setErrorReporter([this]() {
            try {
                throw;
            } catch (const Error& error) {
                errors << error.message();
            }
        });
        QObject::connect(m_cycle.get(), &MonitoringCycle::countdownRestarted, [this]() { ++countdownRestarts; });
        QObject::connect(m_cycle.get(), &MonitoringCycle::todayCountChanged, [this](int count) { counts << count; });
        QObject::connect(m_cycle.get(), &MonitoringCycle::statusMessage,
                         [this](const QString& text) { statusMessage = text; });
    }

    MonitoringCycle* cycle() const { return m_cycle.get(); }
    QString databasePath() const { return m_database.path(); }
    MainWindowDatasets* datasets() { return &m_datasets; }
    DataModuleDatasets* dataModule() { return &m_dataModule; }
    QString path(const QString& relative) const { return m_database.folder() + QLatin1Char('/') + relative; }
    QString configPath() const { return m_config.isEmpty() ? path(QStringLiteral("config.ini")) : m_config; }
    QString journalPath() const { return path(QStringLiteral("jobs/printjob.tlj")); }
    QString copyPath() const { return path(QStringLiteral("jobs/printjobnew.tlj")); }
    void writeConfig(const QString& key, const QString& value)
    {
        WriteIniValue(configPath(), QStringLiteral("App"), key, value);
    }
    QString config(const QString& key) const { return ReadIniValue(configPath(), QStringLiteral("App"), key); }

    // The agent: a script that runs a copy of sleep under this run's agent name.
    void installAgent()
    {
        const QString standIn = path(QStringLiteral("bin/") + ownAgentName());
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), standIn));
        QFile script(path(QStringLiteral("bin/PrintJob")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nexec '%1' 600\n").arg(standIn).toUtf8());
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
    }

    QStringList errors;
    QList<int> counts;
    int countdownRestarts = 0;
    QString statusMessage;

private:
    DatabaseFixture m_database;
    QString m_config;
    DataModuleDatasets m_dataModule;
    MainWindowDatasets m_datasets;
    std::unique_ptr<MonitoringCycle> m_cycle;
};

qint64 count(const QString& sql)
{
    return JobRows::count(sql);
}

// Runs work on the main thread from the import's thread, once, when the import stores its hundredth row.
MonitoringCycle::Clock clockCallingBack(std::function<void()> work)
{
    auto rows = std::make_shared<std::atomic<int>>(0);
    return [rows, work]() {
        if (QThread::currentThread() != qApp->thread() && ++*rows == 100) {
            QMetaObject::invokeMethod(qApp, work, Qt::BlockingQueuedConnection);
        }
        return importTime();
    };
}

QString todayJob(int id, const QString& time)
{
    return QStringLiteral("INSERT INTO Impressao (Print_Id, Print_Name, Print_Data, Print_Hora, Usuario_Id,"
                          " Print_Pages, dmPaperSize, Print_Color, Projeto_Id, Print_Entregue)"
                          " VALUES (%1, 'HP1', '%2', '%2 %3', 'Bruno', 2, 9, 'N', 1, 'N')")
        .arg(id)
        .arg(QDate::currentDate().toString(Qt::ISODate), time);
}

QList<qint64> idsOf(const Dataset* dataset)
{
    QList<qint64> ids;
    const int field = dataset->fieldByName(QStringLiteral("Print_Id"))->index();
    for (int row = 0; row < dataset->recordCount(); ++row) {
        ids << dataset->storedValue(row, field).toLongLong();
    }
    return ids;
}

} // namespace

class TestMonitoringCycle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void agentSupervision_data();
    void agentSupervision();
    void otherCopyOnlyRefreshesTheControlView_data();
    void otherCopyOnlyRefreshesTheControlView();
    void noJournalAddsNobody();
    void newUserAndPrinterAreRegistered();
    void namesDifferingInCaseAreNotRegisteredTwice();
    void pricesLeftBehindAreKept();
    void registryRowsAddedMeanwhileByAnotherInstallation();
    void refusedLinesAreReportedOnce();
    void emptyLinesAreCountedInTheTicksMessage();
    void failedTickKeepsTheCountdown();
    void copyLeftOverIsImportedFirst();
    void tickDuringAnImportIsSkipped();
    void stoppingDuringAnImportKeepsTheCopy();
    void tickAddsNewJobsAndKeepsTheCurrentRow();
    void newDayReadsTheDayAgain();
    void captureRole_data();
    void captureRole();
    void readOnlyConfigIsReportedAtEveryTick();
};

void TestMonitoringCycle::init()
{
    TerminateProcesses(ownAgentName());
}

void TestMonitoringCycle::cleanup()
{
    TerminateProcesses(ownAgentName());
}

void TestMonitoringCycle::agentSupervision_data()
{
    QTest::addColumn<int>("running");

    QTest::newRow("none running: one started") << 0;
    QTest::newRow("one running: left alone") << 1;
    QTest::newRow("two running: both ended, one started") << 2;
}

void TestMonitoringCycle::agentSupervision()
{
    QFETCH(int, running);

    CycleFixture fixture;
    fixture.installAgent();
    QProcess agents[2];
    for (int i = 0; i < running; ++i) {
        QVERIFY(startNamedProcess(agents[i], fixture.path(QStringLiteral("bin")), ownAgentName()));
    }
    QCOMPARE(CountProcesses(ownAgentName()), running);

    fixture.cycle()->tick();

    QTRY_COMPARE(CountProcesses(ownAgentName()), 1);
    if (running == 1) {
        QCOMPARE(agents[0].state(), QProcess::Running);
        stopProcess(agents[0]);
    }
    for (int i = 0; running == 2 && i < 2; ++i) {
        QVERIFY(agents[i].state() == QProcess::NotRunning || agents[i].waitForFinished(-1));
    }
    QCOMPARE(fixture.errors, QStringList());
}

void TestMonitoringCycle::otherCopyOnlyRefreshesTheControlView_data()
{
    QTest::addColumn<QString>("pid");

    QTest::newRow("another copy's id") << QStringLiteral("424242");
    QTest::newRow("empty") << QString();
}

void TestMonitoringCycle::otherCopyOnlyRefreshesTheControlView()
{
    QFETCH(QString, pid);

    CycleFixture fixture;
    fixture.writeConfig(QStringLiteral("PID"), pid);
    QTemporaryDir bin;
    QProcess agents[2];
    for (QProcess& agent : agents) {
        QVERIFY(startNamedProcess(agent, bin.path(), ownAgentName()));
    }
    writeFile(fixture.journalPath(), utf8Journal({ job() }));
    DatabaseFixture::exec({ todayJob(1, QStringLiteral("09:00:00")) });

    fixture.cycle()->tick();

    QCOMPARE(fixture.datasets()->todayJobs->recordCount(), 1);
    QCOMPARE(fixture.countdownRestarts, 1);
    QCOMPARE(CountProcesses(ownAgentName()), 2);
    QVERIFY(QFileInfo::exists(fixture.journalPath()));
    QVERIFY(!QFileInfo::exists(fixture.copyPath()));
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressao")), 1);
    QCOMPARE(fixture.errors, QStringList());
    for (QProcess& agent : agents) {
        stopProcess(agent);
    }
}

void TestMonitoringCycle::noJournalAddsNobody()
{
    CycleFixture fixture({ QStringLiteral("INSERT INTO Impressao (Print_Name, Print_Data, Usuario_Id, Print_Pages)"
                                          " VALUES ('HPX', '2020-01-01', 'zeca', 1)") });

    fixture.cycle()->tick();

    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id = 'zeca'")), 0);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressora")), 0);
    QCOMPARE(fixture.countdownRestarts, 1);
    QCOMPARE(fixture.counts, QList<int>());
    QCOMPARE(fixture.errors, QStringList());
}

void TestMonitoringCycle::newUserAndPrinterAreRegistered()
{
    CycleFixture fixture({ QStringLiteral("INSERT INTO Setor VALUES ('ZZZ'), ('AAA')") });
    fixture.datasets()->sectors->reopen();
    writeFile(fixture.journalPath(), utf8Journal({ job(QStringLiteral("joao"), QStringLiteral("P")) }));

    fixture.cycle()->tick();

    QCOMPARE(fixture.errors, QStringList());
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id = 'joao'"
                                  " AND Usuario_Nome = 'joao' AND Usuario_Ativo = 'S'"
                                  " AND Setor_id = 'AAA' AND Projeto_Id IS NULL")),
             1);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressora WHERE Print_Name = 'P'")), 1);
    QCOMPARE(DatabaseFixture::joined(QStringLiteral("dmPaperSize || ':' || Custo_Mono || ':' || Custo_Color"),
                                     QStringLiteral("CustoImpressao WHERE Print_Name = 'P'"),
                                     QStringLiteral("dmPaperSize"), QStringLiteral(" ")),
             QStringLiteral("1:2000:2500 9:2000:2500"));
    // The views show the job and the new user.
    QCOMPARE(fixture.datasets()->todayJobs->recordCount(), 1);
    QCOMPARE(fixture.counts, QList<int>{ 1 });
    QVERIFY(fixture.datasets()->users->locate(QStringLiteral("Usuario_id"), QStringLiteral("joao")));
    QCOMPARE(fixture.countdownRestarts, 1);

    // A second journal of the same user and printer adds nobody.
    writeFile(fixture.journalPath(), utf8Journal({ job(QStringLiteral("joao"), QStringLiteral("P")) }));
    fixture.cycle()->tick();
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Usuario")), 2);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM CustoImpressao")), 2);
    QCOMPARE(fixture.counts, (QList<int>{ 1, 2 }));
}

void TestMonitoringCycle::namesDifferingInCaseAreNotRegisteredTwice()
{
    CycleFixture fixture(
        { QStringLiteral("INSERT INTO Projeto (Projeto_Id, Projeto_Codigo, Projeto_Nome) VALUES (2, 'P2', 'Obra')"),
          QStringLiteral("INSERT INTO Usuario VALUES ('ANA', 'Ana', 'ADM', 2, 'S'), ('JOSÉ', 'José', 'ADM', 2, 'S')"),
          QStringLiteral("INSERT INTO Impressora VALUES ('HP'), ('SALA ÓTIMA')") });
    // Letter case beyond A-Z too: josé is JOSÉ.
    writeFile(fixture.journalPath(),
              utf8Journal({ job(QStringLiteral("ana"), QStringLiteral("hp")), job(QString(), QString()),
                            job(QStringLiteral("josé"), QStringLiteral("sala ótima")) }));

    fixture.cycle()->tick();

    QCOMPARE(fixture.errors, QStringList());
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Usuario")), 3);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressora")), 2);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM CustoImpressao")), 0);
    QCOMPARE(count(QStringLiteral("SELECT Projeto_Id FROM Impressao WHERE Usuario_Id = 'ana'")), 2);
    QCOMPARE(count(QStringLiteral("SELECT Projeto_Id FROM Impressao WHERE Usuario_Id = 'JOSÉ'")), 2);
}

// A printer row removed outside the application may leave its prices behind; they stay as they are.
void TestMonitoringCycle::pricesLeftBehindAreKept()
{
    CycleFixture fixture({ QStringLiteral("INSERT INTO CustoImpressao VALUES ('OLD', 9, 5000, 6000)") });
    writeFile(fixture.journalPath(), utf8Journal({ job(QStringLiteral("u"), QStringLiteral("OLD")) }));

    fixture.cycle()->tick();

    QCOMPARE(fixture.errors, QStringList());
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressora WHERE Print_Name = 'OLD'")), 1);
    QCOMPARE(count(QStringLiteral("SELECT Custo_Mono FROM CustoImpressao WHERE dmPaperSize = 9")), 5000);
    QCOMPARE(count(QStringLiteral("SELECT Custo_Mono FROM CustoImpressao WHERE dmPaperSize = 1")), 2000);
}

// Another installation sharing the database registers the same user, printer or price between this tick's look at
// the registries and its own row: that row stands, nothing is shown, nothing stored twice.
void TestMonitoringCycle::registryRowsAddedMeanwhileByAnotherInstallation()
{
    CycleFixture fixture;
    writeFile(fixture.journalPath(), utf8Journal({ job(QStringLiteral("joao"), QStringLiteral("P")),
                                                   job(QStringLiteral("maria"), QStringLiteral("Q")) }));
    const QString other = QStringLiteral("other installation");
    Database::open(fixture.databasePath(), other);
    // As the tick fills its row, the other installation stores the row of the same key.
    const QHash<QString, QString> meanwhile = {
        { QStringLiteral("Usuario|maria"),
          QStringLiteral("INSERT INTO Usuario (usuario_id, Usuario_Nome, Usuario_Ativo) VALUES ('MARIA', 'M', 'S')") },
        { QStringLiteral("Impressora|Q"), QStringLiteral("INSERT INTO Impressora VALUES ('Q')") },
        { QStringLiteral("CustoImpressao|1"),
          QStringLiteral("INSERT INTO CustoImpressao VALUES ('P', 1, 3000, 3500)") },
    };
    QSet<QString> done;
    const QHash<Dataset*, QString> tables = { { fixture.dataModule()->users, QStringLiteral("Usuario") },
                                              { fixture.datasets()->printers, QStringLiteral("Impressora") },
                                              { fixture.datasets()->printerPrices, QStringLiteral("CustoImpressao") } };
    for (auto table = tables.cbegin(); table != tables.cend(); ++table) {
        Dataset* dataset = table.key();
        const int keyField =
            dataset
                ->fieldByName(table.value() == QLatin1String("Usuario")      ? QStringLiteral("usuario_id")
                              : table.value() == QLatin1String("Impressora") ? QStringLiteral("Print_Name")
                                                                             : QStringLiteral("dmPaperSize"))
                ->index();
        dataset->beforePost = [&, own = dataset->beforePost, name = table.value(), keyField](Dataset& posted) {
            const QString key = name + QLatin1Char('|') + posted.fields().at(keyField)->value().toString();
            if (meanwhile.contains(key) && !done.contains(key)) {
                done.insert(key);
                QSqlQuery query(QSqlDatabase::database(other));
                QVERIFY2(query.exec(meanwhile.value(key)), qPrintable(query.lastError().text()));
            }
            if (own) {
                own(posted);
            }
        };
    }

    fixture.cycle()->runTick();
    Database::close(other);

    QCOMPARE(done.size(), meanwhile.size());
    QCOMPARE(fixture.errors, QStringList());
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id IN ('joao', 'maria')")), 2);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_Nome = 'M'")), 1);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressora WHERE Print_Name IN ('P', 'Q')")), 2);
    // P's price for paper 1 is the other installation's; Q's prices are left to the installation that registered it.
    QCOMPARE(DatabaseFixture::joined(QStringLiteral("Print_Name || ':' || dmPaperSize || ':' || Custo_Mono"),
                                     QStringLiteral("CustoImpressao"), QStringLiteral("Print_Name, dmPaperSize"),
                                     QStringLiteral(" ")),
             QStringLiteral("P:1:3000 P:9:2000"));
    // The registries list the rows registered meanwhile.
    QVERIFY(fixture.datasets()->printers->locate(QStringLiteral("Print_Name"), QStringLiteral("Q")));
}

void TestMonitoringCycle::refusedLinesAreReportedOnce()
{
    CycleFixture fixture;
    writeFile(fixture.journalPath(),
              utf8Journal({ job(QStringLiteral("u1")), QStringLiteral("a|b|c"),
                            line(withField(jobFields(), 10, QStringLiteral("3,5"))), job(QStringLiteral("u2")) }));

    fixture.cycle()->runTick();

    QCOMPARE(fixture.errors, QStringList{ QStringLiteral("2 linha(s) do arquivo de impressões não puderam ser "
                                                         "importadas e foram guardadas em %1")
                                              .arg(fixture.path(QStringLiteral("jobs/printjob.rejected"))) });
    // Everything else was done before.
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressao")), 2);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id IN ('u1', 'u2')")), 2);
    QCOMPARE(fixture.countdownRestarts, 1);
    QCOMPARE(fixture.counts, QList<int>{ 2 });
}

// A journal of nothing but line breaks (or the zeros a crash leaves) holds no job and refuses nothing.
void TestMonitoringCycle::emptyLinesAreCountedInTheTicksMessage()
{
    CycleFixture fixture;
    writeFile(fixture.journalPath(),
              QByteArray(100000, '\r') + utf8Journal({ job() }).sliced(3) + QByteArray(5, '\0') + "\n \t\r\n");

    fixture.cycle()->runTick();

    QCOMPARE(fixture.errors, QStringList());
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressao")), 1);
    QVERIFY(!QFileInfo::exists(fixture.path(QStringLiteral("jobs/printjob.rejected"))));
    QCOMPARE(fixture.statusMessage,
             QStringLiteral("100002 linha(s) vazia(s) do arquivo de impressões foram ignoradas"));

    writeFile(fixture.journalPath(), utf8Journal({ job() }));
    fixture.cycle()->runTick();
    QCOMPARE(fixture.statusMessage, QString());
}

void TestMonitoringCycle::failedTickKeepsTheCountdown()
{
    // A full disk: storing a row fails the whole transaction, unlike a row the database refuses.
    const QStringList fullDisk =
        DatabaseFixture::onPostgres()
            ? QStringList{ QStringLiteral(
                               "CREATE FUNCTION full_disk() RETURNS trigger LANGUAGE plpgsql AS"
                               " $$ BEGIN RAISE EXCEPTION 'disco cheio' USING ERRCODE = 'disk_full'; END $$"),
                           QStringLiteral("CREATE TRIGGER full_disk BEFORE INSERT ON Impressao FOR EACH ROW"
                                          " EXECUTE FUNCTION full_disk()") }
            : QStringList{ QStringLiteral("CREATE TRIGGER full_disk BEFORE INSERT ON Impressao BEGIN"
                                          " SELECT RAISE(ROLLBACK, 'disco cheio'); END") };
    CycleFixture fixture(fullDisk);
    writeFile(fixture.journalPath(), utf8Journal({ job(QStringLiteral("joao")) }));

    fixture.cycle()->runTick();

    QCOMPARE(fixture.errors, QStringList{ QStringLiteral("disco cheio") });
    QCOMPARE(fixture.countdownRestarts, 0);
    QVERIFY(QFileInfo::exists(fixture.copyPath()));
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id = 'joao'")), 0);

    DatabaseFixture::exec({ DatabaseFixture::onPostgres() ? QStringLiteral("DROP TRIGGER full_disk ON Impressao")
                                                          : QStringLiteral("DROP TRIGGER full_disk") });
    fixture.cycle()->runTick();

    QCOMPARE(fixture.errors.size(), 1);
    QCOMPARE(fixture.countdownRestarts, 1);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressao")), 1);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id = 'joao'")), 1);
    QVERIFY(!QFileInfo::exists(fixture.copyPath()));
}

// A copy left by an application that ended (or crashed) goes before the journal written since.
void TestMonitoringCycle::copyLeftOverIsImportedFirst()
{
    CycleFixture fixture;
    writeFile(fixture.copyPath(), utf8Journal({ job(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d1")) }));
    writeFile(fixture.journalPath(),
              utf8Journal({ job(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d2")) }));

    fixture.cycle()->tick();
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressao WHERE Print_Document = 'd1'")), 1);
    QVERIFY(QFileInfo::exists(fixture.journalPath()));

    fixture.cycle()->tick();
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressao WHERE Print_Document = 'd2'")), 1);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressao")), 2);
    QVERIFY(!QFileInfo::exists(fixture.journalPath()));
    QVERIFY(!QFileInfo::exists(fixture.copyPath()));
}

// While a journal imports, events go on and the progress is told; a tick due meanwhile is skipped.
void TestMonitoringCycle::tickDuringAnImportIsSkipped()
{
    CycleFixture fixture;
    MonitoringCycle* cycle = fixture.cycle();
    Dataset* control = fixture.datasets()->todayJobs;
    writeFile(fixture.journalPath(), numberedJournal(3000));

    QString progressShown;
    bool tickingMeanwhile = false;
    int changesByTheSkippedTick = -1;
    cycle->setClock(clockCallingBack([&]() {
        progressShown = fixture.statusMessage;
        tickingMeanwhile = cycle->isTicking();
        QSignalSpy resets(control, &Dataset::resetDone);
        QSignalSpy inserts(control, &Dataset::rowsInserted);
        cycle->runTick();
        cycle->tick();
        changesByTheSkippedTick = int(resets.count() + inserts.count());
    }));
    cycle->runTick();

    QVERIFY2(progressShown.startsWith(QStringLiteral("Importando impressões: ")), qPrintable(progressShown));
    QVERIFY(progressShown.endsWith(QStringLiteral(" de 3000")));
    QVERIFY(tickingMeanwhile);
    QCOMPARE(changesByTheSkippedTick, 0);
    QCOMPARE(fixture.errors, QStringList());
    QCOMPARE(count(QStringLiteral("SELECT count(DISTINCT Print_Document) FROM Impressao")), 3000);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressao")), 3000);
    QCOMPARE(fixture.statusMessage, QString());
    QVERIFY(!cycle->isTicking());
}

// The application ends while a journal imports: nothing of it is stored, its copy stays for the next start,
// nothing is reported.
void TestMonitoringCycle::stoppingDuringAnImportKeepsTheCopy()
{
    {
        CycleFixture fixture;
        writeFile(fixture.journalPath(), numberedJournal(2000));
        fixture.cycle()->setClock(clockCallingBack([&fixture]() { fixture.cycle()->stop(); }));
        fixture.cycle()->runTick();

        QCOMPARE(fixture.errors, QStringList());
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressao")), 0);
        QVERIFY(QFileInfo::exists(fixture.copyPath()));
        // No tick runs any more.
        fixture.cycle()->tick();
        QVERIFY(QFileInfo::exists(fixture.copyPath()));
    }
}

// The rows of today's jobs stay as they were: a tick adds the new jobs on top, the current row stays the job
// the operator chose (so marking it as handed over marks that job), and views hear of the added rows only.
void TestMonitoringCycle::tickAddsNewJobsAndKeepsTheCurrentRow()
{
    CycleFixture fixture({ todayJob(1, QStringLiteral("08:00:00")), todayJob(2, QStringLiteral("09:00:00")),
                           todayJob(3, QStringLiteral("10:00:00")) });
    Dataset* control = fixture.datasets()->todayJobs;
    DatasetModel model(control);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(idsOf(control), (QList<qint64>{ 3, 2, 1 }));
    control->moveTo(1);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    // Nothing imported: nothing read again.
    fixture.cycle()->tick();
    QCOMPARE(resets.count(), 0);
    QCOMPARE(inserted.count(), 0);

    writeFile(fixture.journalPath(), numberedJournal(2));
    fixture.cycle()->tick();

    QCOMPARE(fixture.errors, QStringList());
    QCOMPARE(resets.count(), 0);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 0);
    QCOMPARE(inserted.at(0).at(2).toInt(), 1);
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(fixture.counts, QList<int>{ 5 });
    const QList<qint64> ids = idsOf(control);
    QCOMPARE(QSet<qint64>(ids.begin(), ids.begin() + 2), (QSet<qint64>{ 4, 5 }));
    QCOMPARE(ids.mid(2), (QList<qint64>{ 3, 2, 1 }));
    QCOMPARE(control->recNo(), 3);

    control->edit();
    control->fieldByName(QStringLiteral("Print_Entregue"))->setValue(QStringLiteral("S"));
    control->post();
    QCOMPARE(count(QStringLiteral("SELECT Print_Id FROM Impressao WHERE Print_Entregue = 'S'")), 2);
}

void TestMonitoringCycle::newDayReadsTheDayAgain()
{
    CycleFixture fixture({ todayJob(1, QStringLiteral("08:00:00")) });
    Dataset* control = fixture.datasets()->todayJobs;
    QCOMPARE(control->recordCount(), 1);

    fixture.cycle()->setClock([] { return importTime().addDays(1); });
    writeFile(fixture.journalPath(), numberedJournal(2));
    fixture.cycle()->tick();

    // Yesterday's job is gone, the new day's two are there.
    const QList<qint64> ids = idsOf(control);
    QCOMPARE(ids.size(), 2);
    QVERIFY(!ids.contains(1));
    QCOMPARE(control->param(QStringLiteral("Data")).value, QVariant(QDate::currentDate().addDays(1)));
}

void TestMonitoringCycle::captureRole_data()
{
    QTest::addColumn<QString>("holder"); // what PID names
    QTest::addColumn<bool>("takesOver");

    QTest::newRow("empty") << "empty" << true;
    QTest::newRow("this copy") << "self" << true;
    QTest::newRow("a running copy of this installation") << "copy" << false;
    // The copy named crashed: its number is free, or the system gave it to another program meanwhile.
    QTest::newRow("a copy that ended") << "ended" << true;
    QTest::newRow("another program") << "other" << true;
    QTest::newRow("a copy of another installation") << "foreign" << true;
    QTest::newRow("no number") << "garbage" << true;
}

void TestMonitoringCycle::captureRole()
{
    QFETCH(QString, holder);
    QFETCH(bool, takesOver);

    CycleFixture fixture;
    // This installation's executable is "Tollbook" in its folder; a copy of sleep stands in for it.
    const QString application = fixture.path(QStringLiteral("Tollbook"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), application));
    fixture.cycle()->setApplicationPath(application);
    QTemporaryDir elsewhere;
    QProcess process;
    QString pid;
    if (holder == QLatin1String("self")) {
        pid = QString::number(QCoreApplication::applicationPid());
    } else if (holder == QLatin1String("garbage")) {
        pid = QStringLiteral("x12");
    } else if (holder != QLatin1String("empty")) {
        const bool ofThisInstallation = holder == QLatin1String("copy") || holder == QLatin1String("ended");
        if (ofThisInstallation) {
            process.start(application, { QStringLiteral("600") });
            QVERIFY(process.waitForStarted(-1));
        } else {
            // Another program, or the same program in another installation's folder.
            QVERIFY(startNamedProcess(process, elsewhere.path(),
                                      holder == QLatin1String("foreign") ? QStringLiteral("Tollbook")
                                                                         : QStringLiteral("cupsd")));
        }
        pid = QString::number(process.processId());
        if (holder == QLatin1String("ended")) {
            stopProcess(process);
        }
    }
    fixture.writeConfig(QStringLiteral("PID"), pid);

    QCOMPARE(fixture.cycle()->takeCaptureRole(), takesOver);
    QCOMPARE(fixture.config(QStringLiteral("PID")),
             takesOver ? QString::number(QCoreApplication::applicationPid()) : pid);
    QCOMPARE(fixture.cycle()->captureStoppedReason(), QString());
    if (process.state() != QProcess::NotRunning) {
        stopProcess(process);
    }
}

// A config.ini that cannot be written keeps this copy from capturing: every tick says so, until it can be
// written again and the capture starts.
void TestMonitoringCycle::readOnlyConfigIsReportedAtEveryTick()
{
    Mount disk(QStringLiteral("size=1m"));
    if (!disk.isMounted()) {
        QSKIP("mounting a file system needs root");
    }
    const QString config = disk.path(QStringLiteral("config.ini"));
    CycleFixture fixture({}, config);
    MonitoringCycle& cycle = *fixture.cycle();
    const QStringList& errors = fixture.errors;
    fixture.writeConfig(QStringLiteral("PID"), QString());
    QVERIFY(disk.setReadOnly(true));

    QVERIFY(!cycle.takeCaptureRole());
    QVERIFY(!cycle.captureStoppedReason().isEmpty());
    writeFile(fixture.journalPath(), utf8Journal({ job() }));
    cycle.runTick();
    cycle.runTick();

    QCOMPARE(errors.size(), 2);
    for (const QString& error : std::as_const(errors)) {
        QVERIFY2(error.startsWith(QStringLiteral("A captura de impressões está parada: o arquivo %1 não pode ser "
                                                 "gravado")
                                      .arg(config)),
                 qPrintable(error));
    }
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressao")), 0);

    QVERIFY(disk.setReadOnly(false));
    cycle.runTick();
    QCOMPARE(errors.size(), 2);
    QCOMPARE(ReadIniValue(config, QStringLiteral("App"), QStringLiteral("PID")),
             QString::number(QCoreApplication::applicationPid()));
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM Impressao")), 1);
}

QTEST_GUILESS_MAIN(TestMonitoringCycle)

#include "tst_monitoringcycle.moc"
