// The built agent against a private CUPS server: jobs printed on a raw queue and on a PDF queue reach the journal with
// their owner, pages, paper, duplex and colour, and none is lost or repeated when the agent is killed at random
// moments and the journal is taken over meanwhile.

#include "SampleDocuments.h"
#include "capture/JournalImport.h"
#include "common/CupsFixture.h"
#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int Patience = 60000; // ms: a loaded machine is slow, never this slow
// How far the agent's clock and the print server's may be apart, in seconds (the agent's ClockAllowance).
constexpr qint64 ClockAllowance = 2;

} // namespace

class AgentCupsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void jobsReachTheJournal();
    void heldJobFinishingLast();
    void killedAtRandomMoments();
    void damagedStateWhileDown_data();
    void damagedStateWhileDown();
    void reprintedJobs();
    void printedJobBecomesPricedRow();

private:
    void startAgent();
    void killAgent();
    // Moves the journal aside as the application does when it imports it.
    void takeOver();
    // Every journal line written so far, taken-over files included, by job number; each line split into its fields.
    QMap<int, QList<QStringList>> journalled() const;
    // Waits until each of `jobs` has a line and the agent has nothing open.
    bool waitForJobs(const QList<int>& jobs);
    // Waits until the job has `count` lines (and the agent nothing open); false with what it has.
    bool waitForLines(int job, int count);
    // Waits until the agent has begun a round after `moment` (ms since the epoch) and gone through it: the time of its
    // lock file is that of the last round that went through.
    bool waitForRoundAfter(qint64 moment);
    // What the agent wrote to its log since it was last started.
    QString agentLog();
    int print(const QString& queue, const QStringList& options = QStringList());

    CupsFixture m_cups;
    QTemporaryDir m_installation;
    QString m_jobs;
    QString m_document;
    QProcess m_agent;
    QString m_agentLog;
    int m_taken = 0;
};

void AgentCupsTest::initTestCase()
{
    if (!m_cups.startWithPdfDescription()) {
        QSKIP(qPrintable(QStringLiteral("no private CUPS server with PDF queues: ") + m_cups.reason()));
    }
    QVERIFY(m_cups.addQueue(QStringLiteral("raw1")));
    QVERIFY(m_cups.addQueue(QStringLiteral("pdf1"), CupsFixture::GenericPdfPpd));

    QVERIFY(m_installation.isValid());
    const QDir root(m_installation.path());
    QVERIFY(root.mkpath(QStringLiteral("bin/x64")));
    // A name of this run only, so that tests ending agents by name elsewhere leave this one alone; the agent finds its
    // installation by its folder, whatever its name.
    const QString agent = root.filePath(QStringLiteral("bin/x64/PrintJob%1").arg(QCoreApplication::applicationPid()));
    QVERIFY(QFile::copy(qEnvironmentVariable("TOLLBOOK_PRINTJOB"), agent));
    m_jobs = root.filePath(QStringLiteral("jobs"));

    m_document = root.filePath(QStringLiteral("three-pages.pdf"));
    QFile document(m_document);
    QVERIFY(document.open(QIODevice::WriteOnly));
    document.write(samplePdf(3));
    document.close();

    m_agent.setProgram(agent);
    m_agent.setProcessEnvironment(m_cups.environment());
    m_agent.setProcessChannelMode(QProcess::SeparateChannels);
}

void AgentCupsTest::cleanupTestCase()
{
    killAgent();
    m_cups.stop();
}

void AgentCupsTest::startAgent()
{
    m_agentLog.clear();
    m_agent.start();
    QVERIFY2(m_agent.waitForStarted(Patience), qPrintable(m_agent.errorString()));
}

void AgentCupsTest::killAgent()
{
    if (m_agent.state() != QProcess::NotRunning) {
        m_agent.kill();
        m_agent.waitForFinished(Patience);
    }
    agentLog();
}

QString AgentCupsTest::agentLog()
{
    const QString more = QString::fromLocal8Bit(m_agent.readAllStandardError());
    if (!more.isEmpty()) {
        qDebug().noquote() << more.trimmed();
    }
    m_agentLog += more;
    return m_agentLog;
}

void AgentCupsTest::takeOver()
{
    const QString journal = QDir(m_jobs).filePath(QStringLiteral("printjob.tlj"));
    if (QFile::exists(journal)) {
        QVERIFY(QFile::rename(journal, QDir(m_jobs).filePath(QStringLiteral("taken-%1.tlj").arg(m_taken++))));
    }
}

QMap<int, QList<QStringList>> AgentCupsTest::journalled() const
{
    QMap<int, QList<QStringList>> lines;
    const QStringList names = QDir(m_jobs).entryList({ QStringLiteral("*.tlj") }, QDir::Files);
    for (const QString& name : names) {
        QFile file(QDir(m_jobs).filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        QByteArray data = file.readAll();
        if (!data.startsWith("\xEF\xBB\xBF")) {
            lines[-1] << QStringList{ name + QStringLiteral(" has no byte-order mark") };
        }
        data.remove(0, 3);
        for (const QByteArray& line : data.split('\n')) {
            if (line.isEmpty()) {
                continue;
            }
            const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('|'));
            lines[fields.value(0).toInt()] << fields;
        }
    }
    return lines;
}

bool AgentCupsTest::waitForJobs(const QList<int>& jobs)
{
    const QString state = QDir(m_jobs).filePath(QStringLiteral("printjob.state"));
    auto settled = [&] {
        const QMap<int, QList<QStringList>> lines = journalled();
        for (int job : jobs) {
            if (!lines.contains(job)) {
                return false;
            }
        }
        QFile file(state);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("\nopen\n");
    };
    for (int waited = 0; waited < Patience / 100; ++waited) {
        if (settled()) {
            return true;
        }
        QTest::qWait(100);
    }
    return settled();
}

bool AgentCupsTest::waitForLines(int job, int count)
{
    const QString state = QDir(m_jobs).filePath(QStringLiteral("printjob.state"));
    auto settled = [&] {
        QFile file(state);
        return journalled().value(job).size() >= count && file.open(QIODevice::ReadOnly) &&
               file.readAll().contains("\nopen\n");
    };
    for (int waited = 0; waited < Patience / 100 && !settled(); ++waited) {
        QTest::qWait(100);
    }
    if (!settled()) {
        qWarning() << "job" << job << "has" << journalled().value(job).size() << "lines, not" << count;
        return false;
    }
    return true;
}

bool AgentCupsTest::waitForRoundAfter(qint64 moment)
{
    const QString lock = QDir(m_jobs).filePath(QStringLiteral("printjob.lock"));
    auto roundBegun = [&] { return QFileInfo(lock).lastModified().toMSecsSinceEpoch() > moment; };
    for (int waited = 0; waited < Patience / 100 && !roundBegun(); ++waited) {
        QTest::qWait(100);
    }
    return roundBegun();
}

int AgentCupsTest::print(const QString& queue, const QStringList& options)
{
    return m_cups.print(QStringList{ QStringLiteral("-d"), queue } + options, m_document);
}

void AgentCupsTest::jobsReachTheJournal()
{
    startAgent();
    // On its first run the agent starts from the jobs that come after it.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QDir(m_jobs).filePath(QStringLiteral("printjob.state"))), Patience);

    const QStringList asked{ QStringLiteral("-U"), QStringLiteral("otheruser"),
                             QStringLiteral("-o"), QStringLiteral("media=A4"),
                             QStringLiteral("-o"), QStringLiteral("sides=two-sided-long-edge"),
                             QStringLiteral("-o"), QStringLiteral("print-color-mode=monochrome") };
    const int raw = print(QStringLiteral("raw1"), asked);
    const int pdf = print(QStringLiteral("pdf1"), asked);
    const int plain = print(QStringLiteral("pdf1"), { QStringLiteral("-U"), QStringLiteral("ana"), QStringLiteral("-o"),
                                                      QStringLiteral("media=Letter"), QStringLiteral("-o"),
                                                      QStringLiteral("print-color-mode=color") });
    QVERIFY(raw > 0 && pdf > 0 && plain > 0);
    QVERIFY2(waitForJobs({ raw, pdf, plain }), qPrintable(m_cups.errorLog()));

    const QMap<int, QList<QStringList>> lines = journalled();
    QVERIFY(!lines.contains(-1));
    struct Expected
    {
        int job;
        const char* printer;
        const char* user;
        const char* dataType;
        const char* driver;
        const char* paper;
        const char* length;
        const char* width;
        const char* duplex;
        const char* color;
    };
    const Expected expected[] = {
        { raw, "raw1", "otheruser", "RAW", "Local Raw Printer", "9", "2970", "2100", "S", "N" },
        { pdf, "pdf1", "otheruser", "application/pdf", "Generic PDF Printer", "9", "2970", "2100", "S", "N" },
        // Nothing but the paper asked: the queue's defaults are one-sided and in colour.
        { plain, "pdf1", "ana", "application/pdf", "Generic PDF Printer", "1", "2794", "2159", "N", "S" },
    };
    for (const Expected& job : expected) {
        QCOMPARE(lines.value(job.job).size(), 1);
        const QStringList fields = lines.value(job.job).first();
        QCOMPARE(fields.size(), 20); // 19 fields each closed by "|", then the CR
        QCOMPARE(fields[19], QStringLiteral("\r"));
        QCOMPARE(fields[1], QString::fromLatin1(job.printer));
        QVERIFY2(fields[2].startsWith(QStringLiteral("\\\\")) && fields[2].size() > 2, qPrintable(fields[2]));
        QCOMPARE(fields[3], QString::fromLatin1(job.user));
        QCOMPARE(fields[4], QStringLiteral("three-pages.pdf"));
        QCOMPARE(fields[5], QString::fromLatin1(job.user));
        QCOMPARE(fields[6], QString::fromLatin1(job.dataType));
        QCOMPARE(fields[7], QStringLiteral("cups"));
        QCOMPARE(fields[9], QString::fromLatin1(job.driver));
        QCOMPARE(fields[10], QStringLiteral("3"));
        QVERIFY2(fields[11].toLongLong() > 0 && fields[11].toLongLong() % 1024 == 0, qPrintable(fields[11]));
        QVERIFY2(QDate::fromString(fields[12], QStringLiteral("dd/MM/yyyy")).isValid(), qPrintable(fields[12]));
        QVERIFY2(QTime::fromString(fields[13], QStringLiteral("hh:mm:ss")).isValid(), qPrintable(fields[13]));
        QCOMPARE(fields[14], QString::fromLatin1(job.paper));
        QCOMPARE(fields[15], QString::fromLatin1(job.length));
        QCOMPARE(fields[16], QString::fromLatin1(job.width));
        QCOMPARE(fields[17], QString::fromLatin1(job.duplex));
        QCOMPARE(fields[18], QString::fromLatin1(job.color));
    }
}

// A held job finishes after a job printed later; both are journalled once.
void AgentCupsTest::heldJobFinishingLast()
{
    if (m_agent.state() == QProcess::NotRunning) {
        startAgent();
    }
    const int held = print(QStringLiteral("pdf1"), { QStringLiteral("-H"), QStringLiteral("hold") });
    const int later = print(QStringLiteral("raw1"));
    QVERIFY(held > 0 && later > 0);
    QTRY_VERIFY_WITH_TIMEOUT(journalled().contains(later), Patience);
    QVERIFY(!journalled().contains(held));

    QVERIFY(m_cups.run(QStringLiteral("lp"), { QStringLiteral("-i"), QString::number(held), QStringLiteral("-H"),
                                               QStringLiteral("resume") }));
    QVERIFY(waitForJobs({ held, later }));
    QCOMPARE(journalled().value(held).size(), 1);
    QCOMPARE(journalled().value(later).size(), 1);
}

void AgentCupsTest::killedAtRandomMoments()
{
    QList<int> printed;
    for (const auto& job : journalled().keys()) {
        printed << job;
    }
    killAgent();
    QRandomGenerator* random = QRandomGenerator::global();
    for (int round = 0; round < 12; ++round) {
        for (const char* queue : { "raw1", "pdf1" }) {
            const int job = print(QString::fromLatin1(queue));
            QVERIFY(job > 0);
            printed << job;
        }
        startAgent();
        // Somewhere in start-up, in a round, or idle between rounds.
        QTest::qWait(static_cast<int>(random->bounded(round % 4 == 3 ? 2500 : 300)));
        killAgent();
        if (round % 3 == 1) {
            takeOver();
        }
    }

    startAgent();
    QVERIFY(waitForJobs(printed));
    const QMap<int, QList<QStringList>> lines = journalled();
    QVERIFY(!lines.contains(-1));
    for (int job : printed) {
        QVERIFY2(lines.value(job).size() == 1,
                 qPrintable(QStringLiteral("job %1 journalled %2 times").arg(job).arg(lines.value(job).size())));
    }
    QCOMPARE(lines.size(), printed.size());
}

void AgentCupsTest::damagedStateWhileDown_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("copy");
    QTest::addColumn<bool>("imported"); // the journal taken over and imported while the agent was down

    QTest::newRow("garbage, copy intact") << QStringLiteral("garbage") << QStringLiteral("intact") << true;
    QTest::newRow("empty, copy deleted, journal left") << QStringLiteral("empty") << QStringLiteral("deleted") << false;
    QTest::newRow("both cut short, journal imported")
        << QStringLiteral("cut short") << QStringLiteral("cut short") << true;
    QTest::newRow("both deleted, journal imported") << QStringLiteral("deleted") << QStringLiteral("deleted") << true;
}

// The agent's state is damaged or deleted while it is down and three jobs are printed meanwhile: once it is back,
// they are journalled once, the jobs journalled before are not journalled again, and its log says what happened.
void AgentCupsTest::damagedStateWhileDown()
{
    QFETCH(QString, state);
    QFETCH(QString, copy);
    QFETCH(bool, imported);

    if (m_agent.state() == QProcess::NotRunning) {
        startAgent();
    }
    const int before = print(QStringLiteral("pdf1"));
    QVERIFY(before > 0);
    QVERIFY(waitForJobs({ before }));
    // The agent's last round began after that job finished, by more than the allowance for the clocks: a rebuilt
    // state knows it was dealt with. The line holds the time the job finished, to the second.
    const QStringList line = journalled().value(before).value(0);
    const QDateTime finished =
        QDateTime::fromString(line.value(12) + line.value(13), QStringLiteral("dd/MM/yyyyhh:mm:ss"));
    QVERIFY2(finished.isValid(), qPrintable(line.join(QLatin1Char('|'))));
    QVERIFY(waitForRoundAfter((finished.toSecsSinceEpoch() + ClockAllowance + 1) * 1000 - 1));
    killAgent();
    if (imported) {
        takeOver();
    }
    const QString statePath = QDir(m_jobs).filePath(QStringLiteral("printjob.state"));
    for (const auto& [path, how] :
         { std::pair(statePath, state), std::pair(statePath + QStringLiteral(".bak"), copy) }) {
        QFile file(path);
        if (how == QLatin1String("deleted")) {
            QVERIFY(file.remove());
        } else if (how == QLatin1String("garbage")) {
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("\xde\xad\xbe\xef garbage\n");
        } else if (how == QLatin1String("cut short")) {
            QVERIFY(file.resize(file.size() / 2));
        } else if (how == QLatin1String("empty")) {
            QVERIFY(file.resize(0));
        }
    }

    const QList<int> meanwhile{ print(QStringLiteral("raw1")), print(QStringLiteral("pdf1")),
                                print(QStringLiteral("raw1")) };
    QVERIFY(!meanwhile.contains(0));
    startAgent();
    QVERIFY2(waitForJobs(meanwhile), qPrintable(agentLog()));
    const QMap<int, QList<QStringList>> lines = journalled();
    for (int job : meanwhile) {
        QCOMPARE(lines.value(job).size(), 1);
    }
    QCOMPARE(lines.value(before).size(), 1);
    QVERIFY2(agentLog().contains(QStringLiteral("printjob.state")), qPrintable(agentLog()));
}

// Finished jobs restarted in CUPS (lp -H restart) print and complete again: one line per completion with the pages
// of that run, none twice when the agent is killed and started again in between.
void AgentCupsTest::reprintedJobs()
{
    if (m_agent.state() == QProcess::NotRunning) {
        startAgent();
    }
    const QList<int> jobs{ print(QStringLiteral("pdf1")), print(QStringLiteral("raw1")) };
    QVERIFY(!jobs.contains(0));
    QVERIFY(waitForJobs(jobs));

    auto restart = [this](int job) {
        return m_cups.run(QStringLiteral("lp"), { QStringLiteral("-i"), QString::number(job), QStringLiteral("-H"),
                                                  QStringLiteral("restart") });
    };
    // CUPS keeps completion times to the second, and a raw queue counts no pages: a run that completes within the
    // same second as the one before cannot be told from it. People restart jobs later than that.
    QTest::qWait(1100);
    if (!restart(jobs[0])) {
        QSKIP("this CUPS server does not restart finished jobs");
    }
    QVERIFY(restart(jobs[1]));
    for (int job : jobs) {
        QVERIFY2(waitForLines(job, 2), qPrintable(m_cups.errorLog()));
    }

    // Restarted again and again, the agent killed at random moments meanwhile.
    QRandomGenerator* random = QRandomGenerator::global();
    for (int round = 3; round <= 5; ++round) {
        QTest::qWait(1100);
        for (int job : jobs) {
            // A job being printed cannot be restarted: wait for its completion.
            bool restarted = restart(job);
            for (int waited = 0; !restarted && waited < Patience / 500; ++waited) {
                QTest::qWait(500);
                restarted = restart(job);
            }
            QVERIFY(restarted);
        }
        QTest::qWait(static_cast<int>(random->bounded(3000)));
        killAgent();
        if (round % 2 == 0) {
            takeOver();
        }
        startAgent();
        for (int job : jobs) {
            QVERIFY2(waitForLines(job, round), qPrintable(agentLog()));
        }
    }
    QVERIFY(waitForRoundAfter(QDateTime::currentMSecsSinceEpoch())); // nothing more comes
    const QMap<int, QList<QStringList>> lines = journalled();
    for (int job : jobs) {
        QCOMPARE(lines.value(job).size(), 5);
        for (const QStringList& fields : lines.value(job)) {
            QCOMPARE(fields.value(10), QStringLiteral("3"));
        }
    }
}

// The whole road of a job: printed with lp, journalled by the agent, imported as the monitoring tick does,
// and shown in today's jobs with its price.
void AgentCupsTest::printedJobBecomesPricedRow()
{
    if (m_agent.state() == QProcess::NotRunning) {
        startAgent();
    }
    const int job = print(QStringLiteral("pdf1"), { QStringLiteral("-U"), QStringLiteral("zelia"), QStringLiteral("-o"),
                                                    QStringLiteral("media=A4"), QStringLiteral("-o"),
                                                    QStringLiteral("sides=two-sided-long-edge"), QStringLiteral("-o"),
                                                    QStringLiteral("print-color-mode=monochrome") });
    QVERIFY(job > 0);
    QVERIFY2(waitForJobs({ job }), qPrintable(m_cups.errorLog()));

    DatabaseFixture database;
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO CustoImpressao VALUES ('pdf1', 9, 2000, 2500)") });
    tollbook::DataModuleDatasets dataModule;
    tollbook::MainWindowDatasets main(&dataModule);
    dataModule.openStartupDatasets();
    main.jobImport->open();
    main.users->open();
    tollbook::JournalImport import(QDir(m_jobs).filePath(QStringLiteral("printjob.tlj")),
                                   QDir(m_jobs).filePath(QStringLiteral("printjobnew.tlj")));
    const tollbook::JournalImport::Result result =
        import.importPending(tollbook::ImportTarget::read(tollbook::Database::ConnectionName));
    QVERIFY(result.rows >= 1);
    QCOMPARE(result.rejected, 0);

    tollbook::Dataset* today = main.todayJobs;
    today->setParam(0, QDateTime(QDate::currentDate(), QTime(0, 0)));
    today->open();
    QVERIFY(today->locate(QStringLiteral("Usuario_Id"), QStringLiteral("zelia")));
    QCOMPARE(today->fieldByName(QStringLiteral("Print_Name"))->asString(), QStringLiteral("pdf1"));
    QCOMPARE(today->fieldByName(QStringLiteral("Print_Pages"))->asInteger(), qint64(3));
    QCOMPARE(today->fieldByName(QStringLiteral("dmPaperSize"))->asInteger(), qint64(9));
    QCOMPARE(today->fieldByName(QStringLiteral("Print_Duplex"))->asString(), QStringLiteral("S"));
    QCOMPARE(today->fieldByName(QStringLiteral("Print_Color"))->asString(), QStringLiteral("N"));
    QCOMPARE(today->fieldByName(QStringLiteral("calc_Custo"))->asCurrencyUnits(), qint64(6000)); // 3 x 0.20
}

QTEST_GUILESS_MAIN(AgentCupsTest)
#include "tst_agentcups.moc"
