// The capture round against a scripted spooler: which jobs reach the journal, and that each does so exactly once
// when the agent dies between any two of its writes, also when the journal is taken over meanwhile.

#include "AgentState.h"
#include "Capture.h"
#include "JournalFile.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace tollbook::agent;

namespace {

// A spooler whose jobs the test sets.
class ScriptedSource : public JobSource
{
public:
    void put(int id, JobState state, std::time_t created = 0, int impressions = 1)
    {
        JobSnapshot job;
        job.id = id;
        job.state = state;
        job.printerUri = "ipp://localhost/printers/p1";
        job.user = "u" + std::to_string(id);
        job.createdAt = created != 0 ? created : 1000 + id;
        job.completedAt = isFinished(state) ? job.createdAt + 1 : 0;
        job.impressions = impressions;
        m_jobs[id] = job;
    }
    void forget(int id) { m_jobs.erase(id); }
    void clear() { m_jobs.clear(); }

    bool failing = false;

    Result jobsFrom(int firstJob, std::vector<JobSnapshot>& jobs, std::string& error) override
    {
        if (failing) {
            error = "spooler down";
            return Result::Failed;
        }
        jobs.clear();
        for (auto it = m_jobs.lower_bound(firstJob); it != m_jobs.end(); ++it) {
            jobs.push_back(it->second);
        }
        return Result::Ok;
    }
    Result job(int id, JobSnapshot& job, std::string& error) override
    {
        if (failing) {
            error = "spooler down";
            return Result::Failed;
        }
        const auto it = m_jobs.find(id);
        if (it == m_jobs.end()) {
            return Result::NotFound;
        }
        job = it->second;
        return Result::Ok;
    }
    Result latestJobs(std::vector<JobSnapshot>& jobs, std::string& error) override
    {
        if (failing) {
            error = "spooler down";
            return Result::Failed;
        }
        jobs.clear();
        const JobSnapshot* newestFinished = nullptr;
        for (const auto& entry : m_jobs) {
            if (!isFinished(entry.second.state)) {
                jobs.push_back(entry.second);
            } else {
                newestFinished = &entry.second;
            }
        }
        if (newestFinished) {
            jobs.push_back(*newestFinished);
        }
        return Result::Ok;
    }
    Result finishedSince(std::time_t since, std::vector<JobSnapshot>& jobs, std::string& error) override
    {
        if (failing) {
            error = "spooler down";
            return Result::Failed;
        }
        jobs.clear();
        for (const auto& entry : m_jobs) {
            if (isFinished(entry.second.state) && entry.second.completedAt >= since) {
                jobs.push_back(entry.second);
            }
        }
        return Result::Ok;
    }
    Result printer(const JobSnapshot&, PrinterInfo& printer, std::string&) override
    {
        printer.makeAndModel = "Scripted";
        return Result::Ok;
    }
    int documentPages(const JobSnapshot&) override { return 0; }

private:
    std::map<int, JobSnapshot> m_jobs;
};

// The state file, with one save that fails as if the agent died right there: the save and everything after it in
// that round never happen.
class DyingStore : public StateStore
{
public:
    explicit DyingStore(const std::string& path)
        : m_file(path)
    {
    }

    int saves = 0;
    int dieAtSave = 0; // 0: never

    LoadResult load(AgentState& state, std::string& error) override { return m_file.load(state, error); }
    bool save(const AgentState& state, std::string& error) override
    {
        if (++saves == dieAtSave) {
            error = "died";
            return false;
        }
        return m_file.save(state, error);
    }

private:
    StateFile m_file;
};

// An installation's jobs folder with the agent's files, and everything written to the journal so far, including
// journals taken over by the application.
class Installation
{
public:
    Installation() { QVERIFY(m_dir.isValid()); }

    std::string jobs() const { return m_dir.path().toStdString(); }
    QString journal() const { return m_dir.filePath(QStringLiteral("printjob.tlj")); }
    std::string statePath() const { return m_dir.filePath(QStringLiteral("printjob.state")).toStdString(); }

    // Takes the journal over as the application does: renamed away, read later.
    void takeOver()
    {
        if (QFile::exists(journal())) {
            QVERIFY(QFile::rename(journal(), m_dir.filePath(QStringLiteral("taken-%1.tlj").arg(m_taken++))));
        }
    }

    // How often each job number occurs in all the journal files.
    QMap<int, int> journalledJobs() const
    {
        QMap<int, int> counts;
        const QStringList names = QDir(m_dir.path()).entryList({ QStringLiteral("*.tlj") }, QDir::Files);
        for (const QString& name : names) {
            QFile file(m_dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly)) {
                continue;
            }
            const QByteArray data = file.readAll();
            if (!data.startsWith("\xEF\xBB\xBF")) {
                qWarning() << name << "does not start with a byte-order mark";
                counts[-1]++;
            }
            for (const QByteArray& line : data.split('\n')) {
                if (line.isEmpty()) {
                    continue;
                }
                if (!line.endsWith("|\r")) {
                    counts[-2]++; // not a whole line
                    continue;
                }
                counts[jobNumberOfLine(line.toStdString())]++;
            }
        }
        return counts;
    }

private:
    QTemporaryDir m_dir;
    int m_taken = 0;
};

// Each of `ids` once, nothing else.
QMap<int, int> once(std::initializer_list<int> ids)
{
    QMap<int, int> counts;
    for (int id : ids) {
        counts[id] = 1;
    }
    return counts;
}

// Runs rounds until one succeeds (at most a few).
bool pollUntilDone(Capture& capture)
{
    std::string error;
    for (int round = 0; round < 5; ++round) {
        if (capture.poll(error)) {
            return true;
        }
    }
    qWarning() << QString::fromStdString(error);
    return false;
}

} // namespace

class AgentCaptureTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRunStartsFromNow();
    void jobsFinishingOutOfOrder();
    void jobsWithoutPrintedPages();
    void forgottenOpenJob();
    void spoolerDown();
    void renumberedSpooler_data();
    void renumberedSpooler();
    void deathAtEverySave_data();
    void deathAtEverySave();
    void deathBeforeTheLineIsWritten();
    void journalFile();
};

void AgentCaptureTest::firstRunStartsFromNow()
{
    Installation installation;
    ScriptedSource source;
    source.put(1, JobState::Completed);
    source.put(2, JobState::Held);
    JournalFile journal(installation.jobs());
    StateFile store(installation.statePath());
    Capture capture(source, journal, store, "pc");

    QVERIFY(pollUntilDone(capture));
    QVERIFY(installation.journalledJobs().isEmpty());
    QCOMPARE(capture.state().nextJob, 3);

    source.put(2, JobState::Completed);
    source.put(3, JobState::Completed);
    QVERIFY(pollUntilDone(capture));
    QCOMPARE(installation.journalledJobs(), once({ 2, 3 }));
}

// A held job that finishes after later jobs is neither lost nor repeated.
void AgentCaptureTest::jobsFinishingOutOfOrder()
{
    Installation installation;
    ScriptedSource source;
    JournalFile journal(installation.jobs());
    StateFile store(installation.statePath());
    Capture capture(source, journal, store, "pc");
    QVERIFY(pollUntilDone(capture));

    source.put(1, JobState::Held);
    source.put(2, JobState::Processing);
    source.put(3, JobState::Completed);
    QVERIFY(pollUntilDone(capture));
    QCOMPARE(installation.journalledJobs(), once({ 3 }));

    source.put(2, JobState::Completed);
    source.put(4, JobState::Completed);
    QVERIFY(pollUntilDone(capture));
    QVERIFY(pollUntilDone(capture));
    QCOMPARE(installation.journalledJobs(), once({ 2, 3, 4 }));

    source.put(1, JobState::Completed);
    QVERIFY(pollUntilDone(capture));
    QCOMPARE(installation.journalledJobs(), once({ 1, 2, 3, 4 }));
    QVERIFY(capture.state().openJobs.empty());
}

void AgentCaptureTest::jobsWithoutPrintedPages()
{
    Installation installation;
    ScriptedSource source;
    JournalFile journal(installation.jobs());
    StateFile store(installation.statePath());
    Capture capture(source, journal, store, "pc");
    QVERIFY(pollUntilDone(capture));

    source.put(1, JobState::Pending);
    source.put(2, JobState::Pending);
    QVERIFY(pollUntilDone(capture));
    source.put(1, JobState::Canceled, 0, 0);
    source.put(2, JobState::Canceled, 0, 2);
    source.put(3, JobState::Aborted, 0, 0);
    QVERIFY(pollUntilDone(capture));
    QCOMPARE(installation.journalledJobs(), once({ 2 }));
    QVERIFY(capture.state().openJobs.empty());
    QCOMPARE(capture.state().nextJob, 4);
}

// A queued job removed from the spooler's history before it was seen to finish is let go.
void AgentCaptureTest::forgottenOpenJob()
{
    Installation installation;
    ScriptedSource source;
    JournalFile journal(installation.jobs());
    StateFile store(installation.statePath());
    Capture capture(source, journal, store, "pc");
    QVERIFY(pollUntilDone(capture));

    source.put(1, JobState::Held);
    QVERIFY(pollUntilDone(capture));
    QCOMPARE(capture.state().openJobs, std::set<int>{ 1 });
    source.forget(1);
    QVERIFY(pollUntilDone(capture));
    QVERIFY(capture.state().openJobs.empty());
}

void AgentCaptureTest::spoolerDown()
{
    Installation installation;
    ScriptedSource source;
    JournalFile journal(installation.jobs());
    StateFile store(installation.statePath());
    Capture capture(source, journal, store, "pc");
    QVERIFY(pollUntilDone(capture));

    source.put(1, JobState::Completed);
    source.failing = true;
    std::string error;
    QVERIFY(!capture.poll(error));
    QCOMPARE(error, std::string("spooler down"));
    source.failing = false;
    source.put(2, JobState::Completed);
    QVERIFY(pollUntilDone(capture));
    QCOMPARE(installation.journalledJobs(), once({ 1, 2 }));
}

void AgentCaptureTest::renumberedSpooler_data()
{
    QTest::addColumn<int>("created");
    QTest::addColumn<bool>("journalled");

    // The agent saw jobs up to number 50, the newest created at 1050.
    QTest::newRow("new count: a low number created later") << 2000 << true;
    QTest::newRow("old jobs forgotten: an old low number remains") << 1003 << false;
}

// A spooler whose job list was wiped numbers its jobs from 1 again; an old job that merely outlived the newer ones in
// the spooler's history must not be taken for a new one.
void AgentCaptureTest::renumberedSpooler()
{
    QFETCH(int, created);
    QFETCH(bool, journalled);

    Installation installation;
    ScriptedSource source;
    JournalFile journal(installation.jobs());
    StateFile store(installation.statePath());
    Capture capture(source, journal, store, "pc");
    QVERIFY(pollUntilDone(capture));
    source.put(50, JobState::Completed);
    QVERIFY(pollUntilDone(capture));

    source.clear();
    source.put(3, JobState::Completed, created);
    QVERIFY(pollUntilDone(capture));
    QVERIFY(pollUntilDone(capture));
    QCOMPARE(installation.journalledJobs().value(3), journalled ? 1 : 0);
    QCOMPARE(installation.journalledJobs().value(50), 1);
}

void AgentCaptureTest::deathAtEverySave_data()
{
    QTest::addColumn<bool>("takenOver");

    QTest::newRow("journal left alone") << false;
    QTest::newRow("journal taken over before the restart") << true;
}

// Six jobs finish at once, held ones among them; the agent dies at one save after another and is started again each
// time. Every job is journalled exactly once in the end.
void AgentCaptureTest::deathAtEverySave()
{
    QFETCH(bool, takenOver);

    for (int dieAt = 1; dieAt <= 16; ++dieAt) {
        Installation installation;
        ScriptedSource source;
        {
            JournalFile journal(installation.jobs());
            StateFile store(installation.statePath());
            Capture capture(source, journal, store, "pc");
            QVERIFY(pollUntilDone(capture));
            source.put(1, JobState::Held);
            source.put(2, JobState::Pending);
            QVERIFY(pollUntilDone(capture));
        }
        for (int id = 1; id <= 6; ++id) {
            source.put(id, JobState::Completed);
        }

        {
            JournalFile journal(installation.jobs());
            DyingStore store(installation.statePath());
            store.dieAtSave = dieAt;
            Capture capture(source, journal, store, "pc");
            std::string error;
            capture.poll(error);
        }
        if (takenOver) {
            installation.takeOver();
        }

        JournalFile journal(installation.jobs());
        StateFile store(installation.statePath());
        Capture restarted(source, journal, store, "pc");
        QVERIFY(pollUntilDone(restarted));
        QVERIFY2(installation.journalledJobs() == once({ 1, 2, 3, 4, 5, 6 }),
                 qPrintable(QStringLiteral("died at save %1").arg(dieAt)));
        QVERIFY(restarted.state().openJobs.empty());
    }
}

// The state lists the job as being written, but the line never got out: it is written after the restart.
void AgentCaptureTest::deathBeforeTheLineIsWritten()
{
    Installation installation;
    ScriptedSource source;
    {
        JournalFile journal(installation.jobs());
        StateFile store(installation.statePath());
        Capture capture(source, journal, store, "pc");
        QVERIFY(pollUntilDone(capture));
        source.put(1, JobState::Completed);
        QVERIFY(pollUntilDone(capture));
    }

    // A folder in the journal's place makes the write fail right after the state was saved.
    installation.takeOver();
    QVERIFY(QDir().mkdir(installation.journal()));
    source.put(2, JobState::Completed);
    {
        JournalFile journal(installation.jobs());
        StateFile store(installation.statePath());
        Capture capture(source, journal, store, "pc");
        std::string error;
        QVERIFY(!capture.poll(error));
        AgentState saved;
        QVERIFY(store.load(saved, error) == StateStore::LoadResult::Loaded);
        QCOMPARE(saved.writingJob, 2);
    }
    QVERIFY(QDir().rmdir(installation.journal()));

    JournalFile journal(installation.jobs());
    StateFile store(installation.statePath());
    Capture restarted(source, journal, store, "pc");
    QVERIFY(pollUntilDone(restarted));
    QCOMPARE(installation.journalledJobs(), once({ 1, 2 }));
}

// Each new file starts with a byte-order mark and holds whole CR LF lines; a file renamed or deleted between two lines
// is simply started again.
void AgentCaptureTest::journalFile()
{
    Installation installation;
    JournalFile journal(installation.jobs());
    std::string error;

    QVERIFY(journal.append("1|a|\r\n", error));
    QVERIFY(journal.append("2|b|\r\n", error));
    QCOMPARE(journal.lastJob(), 2);
    installation.takeOver();
    QVERIFY(journal.append("3|c|\r\n", error));
    QVERIFY(QFile::remove(installation.journal()));
    QVERIFY(journal.append("4|d|\r\n", error));

    QFile file(installation.journal());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF"
                                        "4|d|\r\n"));
    QFile taken(QDir(QString::fromStdString(installation.jobs())).filePath(QStringLiteral("taken-0.tlj")));
    QVERIFY(taken.open(QIODevice::ReadOnly));
    QCOMPARE(taken.readAll(), QByteArray("\xEF\xBB\xBF"
                                         "1|a|\r\n2|b|\r\n"));

    // The file the last line went to is still found after it was taken over.
    installation.takeOver();
    QCOMPARE(journal.lastJob(), 4);
    journal.forgetLastFile();
    QCOMPARE(journal.lastJob(), -1);
}

QTEST_GUILESS_MAIN(AgentCaptureTest)
#include "tst_agentcapture.moc"
