#include "JournalFixture.h"
#include "app/Application.h"
#include "app/DataModule.h"
#include "app/InstallFixture.h"
#include "capture/JournalImport.h"
#include "capture/MonitoringCycle.h"
#include "data/Catalogue.h"
#include "ui/MainWindow.h"

#include <QtTest>

#include <QStatusBar>

#include <atomic>

using namespace tollbook;
using namespace JournalLines;

namespace {

// Today at 10:30, the time every import of these tests takes place.
QDateTime importTime()
{
    return QDateTime(QDate::currentDate(), QTime(10, 30));
}

QString binFolder(const InstallFixture& install)
{
    return install.path(IsWindows64Bit() ? QStringLiteral("bin/x64") : QStringLiteral("bin/x86"));
}

// The installation's agent: a script that runs a copy of sleep under this run's agent name, as the
// installation's agent would run under its own.
void installAgent(const InstallFixture& install)
{
    const QString folder = binFolder(install);
    QVERIFY(QDir().mkpath(folder));
    const QString standIn = QDir(folder).filePath(ownAgentName());
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), standIn));
    QFile script(QDir(folder).filePath(QStringLiteral("PrintJob")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\nexec '%1' 600\n").arg(standIn).toUtf8());
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
}

// The application started on the installation, its agent running, its monitoring timer stopped (the
// tests tick themselves) and its clock at importTime().
std::unique_ptr<ApplicationShell> startCapture(const InstallFixture& install)
{
    auto shell = startShell(install);
    if (MainWindow* window = shell->mainWindow()) {
        window->findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
        shell->controller()->monitoring()->setClock(importTime);
    }
    return shell;
}

QString journalPath(const InstallFixture& install)
{
    return install.path(QStringLiteral("jobs/printjob.tlj"));
}

QString copyPath(const InstallFixture& install)
{
    return install.path(QStringLiteral("jobs/printjobnew.tlj"));
}

// A number out of the installation's database, read on a connection of its own.
qint64 countIn(const InstallFixture& install, const QString& sql)
{
    const QString connection = QStringLiteral("monitoring-test");
    qint64 result = -1;
    {
        Database::open(install.databasePath(), connection);
        result = JobRows::count(sql, connection);
    }
    Database::close(connection);
    return result;
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
    void refusedLinesAreReportedOnce();
    void failedTickKeepsTheCountdown();
    void journalsLeftAtTheEndAreImportedByTheNextStart();
    void tickDuringAnImportIsSkipped();
    void tickKeepsTheSelectedJob();
    void endingDuringAnImportKeepsTheCopy();
};

void TestMonitoringCycle::init()
{
    TerminateProcesses(ownAgentName());
}

void TestMonitoringCycle::cleanup()
{
    resetProcessWideState();
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

    InstallFixture install;
    installAgent(install);
    const auto shell = startCapture(install);
    // The first showing started the agent.
    QTRY_COMPARE(CountProcesses(ownAgentName()), 1);
    TerminateProcesses(ownAgentName());
    QTRY_COMPARE(CountProcesses(ownAgentName()), 0);
    QProcess agents[2];
    for (int i = 0; i < running; ++i) {
        QVERIFY(startNamedProcess(agents[i], binFolder(install), ownAgentName()));
    }
    QCOMPARE(CountProcesses(ownAgentName()), running);

    BoxRecorder boxes;
    shell->controller()->monitoring()->tick();

    QTRY_COMPARE(CountProcesses(ownAgentName()), 1);
    if (running == 1) {
        QCOMPARE(agents[0].state(), QProcess::Running);
        agents[0].kill();
        agents[0].waitForFinished(-1);
    }
    for (int i = 0; running == 2 && i < 2; ++i) {
        QVERIFY(agents[i].state() == QProcess::NotRunning || agents[i].waitForFinished(-1));
    }
    QCOMPARE(boxes.count(), 0);
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

    InstallFixture install;
    const auto shell = startCapture(install);
    MainWindow* window = shell->mainWindow();
    install.writeConfig(QStringLiteral("PID"), pid);
    QTemporaryDir bin;
    QProcess agents[2];
    for (QProcess& agent : agents) {
        QVERIFY(startNamedProcess(agent, bin.path(), ownAgentName()));
    }
    writeFile(journalPath(install), utf8Journal({ job() }));
    install.execSql({ QStringLiteral("INSERT INTO Impressao (Print_Name, Print_Data, Print_Hora, Usuario_Id,"
                                     " Print_Pages, dmPaperSize, Print_Color, Projeto_Id)"
                                     " VALUES ('HP1', '%1', '%1 09:00:00', 'Bruno', 2, 9, 'N', 1)")
                          .arg(QDate::currentDate().toString(Qt::ISODate)) });
    window->setRefreshCountdown(3);

    shell->controller()->monitoring()->tick();

    QCOMPARE(window->datasets()->SQL_Controle->recordCount(), 1);
    QCOMPARE(window->refreshCountdown(), window->monitoringInterval());
    QCOMPARE(CountProcesses(ownAgentName()), 2);
    QVERIFY(QFileInfo::exists(journalPath(install)));
    QVERIFY(!QFileInfo::exists(copyPath(install)));
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Impressao")), 1);
    for (QProcess& agent : agents) {
        agent.kill();
        agent.waitForFinished(-1);
    }
}

void TestMonitoringCycle::noJournalAddsNobody()
{
    InstallFixture install;
    install.execSql({ QStringLiteral("INSERT INTO Impressao (Print_Name, Print_Data, Usuario_Id, Print_Pages)"
                                     " VALUES ('HPX', '2020-01-01', 'zeca', 1)") });
    const auto shell = startCapture(install);
    shell->mainWindow()->setRefreshCountdown(3);

    BoxRecorder boxes;
    shell->controller()->monitoring()->tick();

    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id = 'zeca'")), 0);
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Impressora")), 0);
    QCOMPARE(shell->mainWindow()->refreshCountdown(), 50);
    QCOMPARE(boxes.count(), 0);
}

void TestMonitoringCycle::newUserAndPrinterAreRegistered()
{
    InstallFixture install;
    install.execSql({ QStringLiteral("INSERT INTO Setor VALUES ('ZZZ'), ('AAA')") });
    const auto shell = startCapture(install);
    MainWindow* window = shell->mainWindow();
    writeFile(journalPath(install), utf8Journal({ job(QStringLiteral("joao"), QStringLiteral("P")) }));

    BoxRecorder boxes;
    shell->controller()->monitoring()->tick();

    QCOMPARE(boxes.count(), 0);
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id = 'joao'"
                                             " AND Usuario_Nome = 'joao' AND Usuario_Ativo = 'S'"
                                             " AND Setor_id = 'AAA' AND Projeto_Id IS NULL")),
             1);
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Impressora WHERE Print_Name = 'P'")), 1);
    QCOMPARE(countIn(install, QStringLiteral("SELECT group_concat(dmPaperSize || ':' || Custo_Mono || ':' ||"
                                             " Custo_Color, ' ') = '1:2000:2500 9:2000:2500' FROM"
                                             " (SELECT * FROM CustoImpressao WHERE Print_Name = 'P'"
                                             "  ORDER BY dmPaperSize)")),
             1);
    // The views show the job and the new user.
    QCOMPARE(window->datasets()->SQL_Controle->recordCount(), 1);
    QCOMPARE(window->statusPanelText(2), QStringLiteral("Registros: 1"));
    QVERIFY(window->datasets()->SQL_Usuario->locate(QStringLiteral("Usuario_id"), QStringLiteral("joao")));
    QCOMPARE(window->refreshCountdown(), window->monitoringInterval());

    // A second journal of the same user and printer adds nobody.
    writeFile(journalPath(install), utf8Journal({ job(QStringLiteral("joao"), QStringLiteral("P")) }));
    shell->controller()->monitoring()->tick();
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Usuario")), 2);
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM CustoImpressao")), 2);
    QCOMPARE(window->statusPanelText(2), QStringLiteral("Registros: 2"));
}

void TestMonitoringCycle::namesDifferingInCaseAreNotRegisteredTwice()
{
    InstallFixture install;
    install.execSql(
        { QStringLiteral("INSERT INTO Projeto (Projeto_Id, Projeto_Codigo, Projeto_Nome) VALUES (2, 'P2', 'Obra')"),
          QStringLiteral("INSERT INTO Usuario VALUES ('ANA', 'Ana', 'ADM', 2, 'S'), ('JOSÉ', 'José', 'ADM', 2, 'S')"),
          QStringLiteral("INSERT INTO Impressora VALUES ('HP'), ('SALA ÓTIMA')") });
    const auto shell = startCapture(install);
    // Letter case beyond A-Z too: josé is JOSÉ.
    writeFile(journalPath(install),
              utf8Journal({ job(QStringLiteral("ana"), QStringLiteral("hp")), job(QString(), QString()),
                            job(QStringLiteral("josé"), QStringLiteral("sala ótima")) }));

    BoxRecorder boxes;
    shell->controller()->monitoring()->tick();

    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Usuario")), 3);
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Impressora")), 2);
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM CustoImpressao")), 0);
    QCOMPARE(countIn(install, QStringLiteral("SELECT Projeto_Id FROM Impressao WHERE Usuario_Id = 'ana'")), 2);
    QCOMPARE(countIn(install, QStringLiteral("SELECT Projeto_Id FROM Impressao WHERE Usuario_Id = 'JOSÉ'")), 2);
}

// A printer row removed outside the application may leave its prices behind; they stay as they are.
void TestMonitoringCycle::pricesLeftBehindAreKept()
{
    InstallFixture install;
    install.execSql({ QStringLiteral("INSERT INTO CustoImpressao VALUES ('OLD', 9, 5000, 6000)") });
    const auto shell = startCapture(install);
    writeFile(journalPath(install), utf8Journal({ job(QStringLiteral("u"), QStringLiteral("OLD")) }));

    BoxRecorder boxes;
    shell->controller()->monitoring()->tick();

    QCOMPARE(boxes.texts(), QStringList());
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Impressora WHERE Print_Name = 'OLD'")), 1);
    QCOMPARE(countIn(install, QStringLiteral("SELECT Custo_Mono FROM CustoImpressao WHERE dmPaperSize = 9")), 5000);
    QCOMPARE(countIn(install, QStringLiteral("SELECT Custo_Mono FROM CustoImpressao WHERE dmPaperSize = 1")), 2000);
}

void TestMonitoringCycle::refusedLinesAreReportedOnce()
{
    InstallFixture install;
    const auto shell = startCapture(install);
    shell->mainWindow()->setRefreshCountdown(3);
    writeFile(journalPath(install),
              utf8Journal({ job(QStringLiteral("u1")), QStringLiteral("a|b|c"),
                            line(withField(jobFields(), 10, QStringLiteral("3,5"))), job(QStringLiteral("u2")) }));

    BoxRecorder boxes;
    shell->controller()->monitoring()->runTick();

    QCOMPARE(boxes.texts(),
             QStringList{ QStringLiteral("ATENÇÃO \n\n2 linha(s) do arquivo de impressões não puderam ser importadas "
                                         "e foram guardadas em %1")
                              .arg(install.path(QStringLiteral("jobs/printjob.rejected"))) });
    // Everything else was done before.
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Impressao")), 2);
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id IN ('u1', 'u2')")), 2);
    QCOMPARE(shell->mainWindow()->refreshCountdown(), 50);
    QCOMPARE(shell->mainWindow()->statusPanelText(2), QStringLiteral("Registros: 2"));
}

void TestMonitoringCycle::failedTickKeepsTheCountdown()
{
    InstallFixture install;
    install.execSql({ QStringLiteral("CREATE TRIGGER full_disk BEFORE INSERT ON Impressao BEGIN"
                                     " SELECT RAISE(ROLLBACK, 'disco cheio'); END") });
    const auto shell = startCapture(install);
    MainWindow* window = shell->mainWindow();
    window->setRefreshCountdown(7);
    writeFile(journalPath(install), utf8Journal({ job(QStringLiteral("joao")) }));

    BoxRecorder boxes;
    shell->controller()->monitoring()->runTick();

    QCOMPARE(boxes.texts(), QStringList{ QStringLiteral("ATENÇÃO \n\ndisco cheio") });
    QCOMPARE(window->refreshCountdown(), 7);
    QVERIFY(QFileInfo::exists(copyPath(install)));
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id = 'joao'")), 0);

    install.execSql({ QStringLiteral("DROP TRIGGER full_disk") });
    shell->controller()->monitoring()->runTick();

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(window->refreshCountdown(), 50);
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Impressao")), 1);
    QCOMPARE(countIn(install, QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id = 'joao'")), 1);
    QVERIFY(!QFileInfo::exists(copyPath(install)));
}

void TestMonitoringCycle::journalsLeftAtTheEndAreImportedByTheNextStart()
{
    InstallFixture install;
    {
        const auto shell = startCapture(install);
        writeFile(copyPath(install),
                  utf8Journal({ job(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d1")) }));
        writeFile(journalPath(install),
                  utf8Journal({ job(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d2")) }));
        shell->dataModule()->finishAction()->trigger();
        QVERIFY(shell->dataModule()->endRequested());
    }
    QVERIFY(QFileInfo::exists(copyPath(install)));
    QVERIFY(QFileInfo::exists(journalPath(install)));

    const auto shell = startCapture(install);
    shell->controller()->monitoring()->tick();
    // The copy left over first; the journal waits for the next tick.
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao WHERE Print_Document = 'd1'")), 1);
    QVERIFY(QFileInfo::exists(journalPath(install)));

    shell->controller()->monitoring()->tick();
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao WHERE Print_Document = 'd2'")), 1);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), 2);
    QVERIFY(!QFileInfo::exists(journalPath(install)));
    QVERIFY(!QFileInfo::exists(copyPath(install)));
}

// While a journal imports, the window keeps working and shows the progress; a tick due meanwhile is skipped.
void TestMonitoringCycle::tickDuringAnImportIsSkipped()
{
    InstallFixture install;
    const auto shell = startCapture(install);
    MonitoringCycle* cycle = shell->controller()->monitoring();
    Dataset* control = shell->mainWindow()->datasets()->SQL_Controle;
    writeFile(journalPath(install), numberedJournal(3000));

    QString progressShown;
    bool tickingMeanwhile = false;
    int refreshesByTheSkippedTick = -1;
    cycle->setClock(clockCallingBack([&]() {
        progressShown = shell->mainWindow()->statusBar()->currentMessage();
        tickingMeanwhile = cycle->isTicking();
        QSignalSpy refreshes(control, &Dataset::resetDone);
        Q_EMIT shell->mainWindow()->monitoringTick();
        cycle->tick();
        refreshesByTheSkippedTick = int(refreshes.count());
    }));
    BoxRecorder boxes;
    cycle->runTick();

    QVERIFY2(progressShown.startsWith(QStringLiteral("Importando impressões: ")), qPrintable(progressShown));
    QVERIFY(progressShown.endsWith(QStringLiteral(" de 3000")));
    QVERIFY(tickingMeanwhile);
    QCOMPARE(refreshesByTheSkippedTick, 0);
    QCOMPARE(boxes.count(), 0);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(DISTINCT Print_Document) FROM Impressao")), 3000);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), 3000);
    QCOMPARE(shell->mainWindow()->statusBar()->currentMessage(), QString());
    QVERIFY(!cycle->isTicking());
}

// "Finalizar" while a journal imports: nothing of it is stored, its copy stays, the next start imports it.
void TestMonitoringCycle::endingDuringAnImportKeepsTheCopy()
{
    InstallFixture install;
    installAgent(install);
    {
        const auto shell = startCapture(install);
        QTRY_COMPARE(CountProcesses(ownAgentName()), 1);
        writeFile(journalPath(install), numberedJournal(2000));
        shell->controller()->monitoring()->setClock(
            clockCallingBack([&shell]() { shell->dataModule()->finishAction()->trigger(); }));
        BoxRecorder boxes;
        shell->controller()->monitoring()->runTick();

        QCOMPARE(boxes.count(), 0);
        QVERIFY(shell->dataModule()->endRequested());
        QCOMPARE(CountProcesses(ownAgentName()), 0);
        QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), 0);
        QVERIFY(QFileInfo::exists(copyPath(install)));
        // No tick runs any more.
        shell->controller()->monitoring()->tick();
        QVERIFY(QFileInfo::exists(copyPath(install)));
    }

    const auto shell = startCapture(install);
    shell->controller()->monitoring()->tick();
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(DISTINCT Print_Document) FROM Impressao")), 2000);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), 2000);
}

// The operator selects a job in today's view; a tick imports newer jobs; "mark as delivered" pressed then
// marks the job the operator selected, not the newest one.
void TestMonitoringCycle::tickKeepsTheSelectedJob()
{
    InstallFixture install;
    const auto shell = startCapture(install);
    MonitoringCycle* cycle = shell->controller()->monitoring();
    Dataset* control = shell->mainWindow()->datasets()->SQL_Controle;
    writeFile(journalPath(install), utf8Journal({ job(QStringLiteral("ana")), job(QStringLiteral("bia")) }));
    cycle->tick();
    QCOMPARE(control->recordCount(), 2);
    control->first();
    const qint64 selected = control->fieldByName(QStringLiteral("Print_Id"))->asInteger();

    cycle->setClock([] { return importTime().addSecs(600); });
    writeFile(journalPath(install), utf8Journal({ job(QStringLiteral("caio")) }));
    QSignalSpy resets(control, &Dataset::resetDone);
    cycle->tick();
    QCOMPARE(control->recordCount(), 3);
    QCOMPARE(resets.count(), 0);
    QCOMPARE(control->fieldByName(QStringLiteral("Print_Id"))->asInteger(), selected);

    control->edit();
    control->fieldByName(QStringLiteral("Print_Entregue"))->setValue(QStringLiteral("S"));
    control->post();
    QCOMPARE(countIn(install, QStringLiteral("SELECT Print_Id FROM Impressao WHERE Print_Entregue = 'S'")), selected);
}

int main(int argc, char** argv)
{
    tollbook::Application app(argc, argv);
    TestMonitoringCycle test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_monitoringcycle.moc"
