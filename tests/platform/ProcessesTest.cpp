#include "platform/Processes.h"
#include "platform/SystemRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <optional>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tollbook;

namespace {

// A process list made up by the test; remembers what it was asked to end.
class FakeProcessList : public ProcessList
{
public:
    QList<ProcessEntry> processes;
    qint64 self = 1;
    bool refuseTerminate = false;
    mutable QList<qint64> terminated;

    QList<ProcessEntry> snapshot() const override { return processes; }
    bool terminate(qint64 pid) const override
    {
        terminated.append(pid);
        return !refuseTerminate;
    }
    qint64 currentProcessId() const override { return self; }
};

char procState(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return '\0';
    const QByteArray stat = file.readAll();
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && close + 2 < stat.size() ? stat.at(close + 2) : '\0';
}

std::optional<ProcessEntry> findPid(qint64 pid)
{
    for (const ProcessEntry& process : ProcessList::system().snapshot()) {
        if (process.pid == pid)
            return process;
    }
    return std::nullopt;
}

} // namespace

class ProcessesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void matches_data();
    void matches();
    void routinesOverList_data();
    void routinesOverList();

    void agentsFoundCountedAndEnded();
    void snapshotNamesExecutables();
    void snapshotSkipsZombies();
    void processOfExecutable_data();
    void processOfExecutable();
    void runningExecutableOfAProcess();

private:
    bool startAgent(QProcess& process);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_agentName;
    QString m_agentPath;
};

void ProcessesTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // A name of this run only, so that nothing else on the machine is counted or ended.
    m_agentName = QStringLiteral("PrintJob%1").arg(QCoreApplication::applicationPid());
    m_agentPath = m_dir->filePath(m_agentName);
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), m_agentPath));
}

bool ProcessesTest::startAgent(QProcess& process)
{
    process.start(m_agentPath, { QStringLiteral("600") });
    return process.waitForStarted(-1);
}

void ProcessesTest::matches_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<bool>("expected");

    QTest::newRow("file name, other case") << "/opt/tollbook/PrintJob"
                                           << "printjob" << true;
    QTest::newRow("windows name of the agent") << "/opt/tollbook/PrintJob"
                                               << "PrintJob.exe" << true;
    QTest::newRow("extension in any case") << "/opt/tollbook/PrintJob"
                                           << "printjob.EXE" << true;
    QTest::newRow("name as the list gives it") << "PrintJob.exe"
                                               << "printjob.exe" << true;
    QTest::newRow("file really ending in .exe") << "/usr/lib/agent/printjob.exe"
                                                << "PRINTJOB.EXE" << true;
    QTest::newRow("wanted without extension") << "PrintJob.exe"
                                              << "PrintJob" << false;
    QTest::newRow("longer file name") << "/opt/tollbook/PrintJobX"
                                      << "PrintJob.exe" << false;
    QTest::newRow("shorter file name") << "/opt/tollbook/Print"
                                       << "PrintJob" << false;
    QTest::newRow("folder of the same name") << "/opt/PrintJob/agent"
                                             << "PrintJob" << false;
    QTest::newRow("whole path") << "/opt/tollbook/PrintJob"
                                << "/OPT/TOLLBOOK/PRINTJOB" << true;
    QTest::newRow("other letters compare exactly") << "/opt/Ágente"
                                                   << "ágente" << false;
    QTest::newRow("other letters equal") << "/opt/Ágente"
                                         << "Ágente" << true;
}

void ProcessesTest::matches()
{
    QFETCH(QString, executable);
    QFETCH(QString, wanted);
    QFETCH(bool, expected);

    QCOMPARE(processMatches(ProcessEntry{ 10, executable }, wanted), expected);
}

void ProcessesTest::routinesOverList_data()
{
    QTest::addColumn<QStringList>("executables"); // pids 100, 101, ...
    QTest::addColumn<qint64>("self");
    QTest::addColumn<bool>("refuseTerminate");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QList<qint64>>("terminated");

    const QStringList mixed{ QStringLiteral("/opt/tb/PrintJob"), QStringLiteral("/usr/bin/bash"),
                             QStringLiteral("/opt/tb/printjob"), QStringLiteral("/opt/tb/PrintJob") };
    QTest::newRow("three of four") << mixed << qint64(1) << false << 3 << true << QList<qint64>{ 100, 102, 103 };
    QTest::newRow("terminate refused still found")
        << mixed << qint64(1) << true << 3 << true << QList<qint64>{ 100, 102, 103 };
    QTest::newRow("calling process not ended")
        << mixed << qint64(102) << false << 3 << true << QList<qint64>{ 100, 103 };
    QTest::newRow("calling process the only one")
        << QStringList{ QStringLiteral("/opt/tb/PrintJob") } << qint64(100) << false << 1 << true << QList<qint64>{};
    QTest::newRow("none") << QStringList{ QStringLiteral("/usr/bin/bash"), QStringLiteral("/opt/tb/Tollbook") }
                          << qint64(1) << false << 0 << false << QList<qint64>{};
    QTest::newRow("empty list") << QStringList{} << qint64(1) << false << 0 << false << QList<qint64>{};
}

void ProcessesTest::routinesOverList()
{
    QFETCH(QStringList, executables);
    QFETCH(qint64, self);
    QFETCH(bool, refuseTerminate);
    QFETCH(int, count);
    QFETCH(bool, found);
    QFETCH(QList<qint64>, terminated);

    FakeProcessList list;
    for (qsizetype i = 0; i < executables.size(); ++i)
        list.processes.append(ProcessEntry{ 100 + i, executables.at(i) });
    list.self = self;
    list.refuseTerminate = refuseTerminate;
    const QString wanted = QStringLiteral("PrintJob.exe");

    QCOMPARE(countProcesses(wanted, list), count);
    QCOMPARE(isProcessRunning(wanted, list), count > 0);
    QVERIFY(list.terminated.isEmpty());
    QCOMPARE(terminateProcesses(wanted, list), found);
    QCOMPARE(list.terminated, terminated);
}

void ProcessesTest::agentsFoundCountedAndEnded()
{
    const QString lower = m_agentName.toLower();
    QCOMPARE(IsProcessRunning(lower + QStringLiteral(".exe")), false);
    QCOMPARE(CountProcesses(lower), 0);
    QCOMPARE(TerminateProcesses(m_agentName), false);

    QProcess agents[3];
    for (QProcess& agent : agents)
        QVERIFY(startAgent(agent));

    QVERIFY(IsProcessRunning(lower));
    QVERIFY(IsProcessRunning(lower + QStringLiteral(".exe")));
    QCOMPARE(CountProcesses(lower + QStringLiteral(".EXE")), 3);

    QVERIFY(TerminateProcesses(lower + QStringLiteral(".exe")));
    for (QProcess& agent : agents) {
        QVERIFY(agent.waitForFinished(-1));
        QCOMPARE(agent.exitStatus(), QProcess::CrashExit);
    }
    QCOMPARE(IsProcessRunning(lower), false);
    QCOMPARE(CountProcesses(lower), 0);
    QCOMPARE(TerminateProcesses(lower), false);
}

void ProcessesTest::snapshotNamesExecutables()
{
    const std::optional<ProcessEntry> self = findPid(QCoreApplication::applicationPid());
    QVERIFY(self);
    QCOMPARE(self->executable, QCoreApplication::applicationFilePath());

    QProcess agent;
    QVERIFY(startAgent(agent));
    std::optional<ProcessEntry> entry = findPid(agent.processId());
    QVERIFY(entry);
    QCOMPARE(entry->executable, m_agentPath);

    // The kernel then shows the link as "<path> (deleted)".
    QVERIFY(QFile::remove(m_agentPath));
    entry = findPid(agent.processId());
    QVERIFY(entry);
    QCOMPARE(entry->executable, m_agentPath);
    QCOMPARE(CountProcesses(m_agentName), 1);
}

void ProcessesTest::snapshotSkipsZombies()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    QVERIFY(child > 0);

    // Not yet waited for, the ended child stays in the table as a zombie.
    char state = procState(child);
    while (state != 'Z' && state != '\0') {
        QThread::yieldCurrentThread();
        state = procState(child);
    }
    const bool absent = !findPid(child);
    QCOMPARE(::waitpid(child, nullptr, 0), child);
    QCOMPARE(state, 'Z');
    QVERIFY(absent);
}

void ProcessesTest::processOfExecutable_data()
{
    QTest::addColumn<qint64>("pid");
    QTest::addColumn<bool>("runs");

    QTest::newRow("the file itself") << qint64(10) << true;
    QTest::newRow("through a link") << qint64(11) << true;
    QTest::newRow("by a path that no longer resolves") << qint64(12) << true;
    QTest::newRow("another file of that name") << qint64(13) << false;
    QTest::newRow("only its name known") << qint64(14) << true;
    QTest::newRow("only another name known") << qint64(15) << false;
    QTest::newRow("no such process") << qint64(16) << false;
    QTest::newRow("no process id") << qint64(0) << false;
}

void ProcessesTest::processOfExecutable()
{
    QFETCH(qint64, pid);
    QFETCH(bool, runs);

    const QString installed = m_dir->filePath(QStringLiteral("Tollbook"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), installed));
    QVERIFY(QFile::link(installed, m_dir->filePath(QStringLiteral("link"))));
    QVERIFY(QDir().mkpath(m_dir->filePath(QStringLiteral("other"))));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), m_dir->filePath(QStringLiteral("other/Tollbook"))));

    FakeProcessList list;
    list.processes = { { 10, installed },
                       { 11, m_dir->filePath(QStringLiteral("link")) },
                       { 12, m_dir->filePath(QStringLiteral("gone/../Tollbook")) },
                       { 13, m_dir->filePath(QStringLiteral("other/Tollbook")) },
                       { 14, QStringLiteral("Tollbook") },
                       { 15, QStringLiteral("PrintJob") } };
    QCOMPARE(isProcessOfExecutable(pid, installed, list), runs);
}

void ProcessesTest::runningExecutableOfAProcess()
{
    QProcess process;
    QVERIFY(startAgent(process));
    const qint64 pid = process.processId();
    QVERIFY(isProcessOfExecutable(pid, m_dir->filePath(m_agentName)));
    QVERIFY(!isProcessOfExecutable(pid, QStringLiteral("/bin/sleep")));
    QVERIFY(isProcessOfExecutable(QCoreApplication::applicationPid(), QCoreApplication::applicationFilePath()));
    process.kill();
    process.waitForFinished(-1);
    QVERIFY(!isProcessOfExecutable(pid, m_dir->filePath(m_agentName)));
}

QTEST_GUILESS_MAIN(ProcessesTest)
#include "ProcessesTest.moc"
