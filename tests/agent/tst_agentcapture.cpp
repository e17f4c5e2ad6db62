// The capture round against a scripted spooler: which jobs reach the journal, and that each does so exactly once
// when the agent dies between any two of its writes, also when the journal is taken over meanwhile.

#include "AgentState.h"
#include "Capture.h"
#include "JournalFile.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

    // The job printed once more, as a restart of a finished job does: it completes again, later, and the spooler's
    // count of impressions goes on from where it stood.
    void reprint(int id, std::time_t completedAt, int addedImpressions)
    {
        JobSnapshot& job = m_jobs.at(id);
        job.state = JobState::Completed;
        job.completedAt = completedAt;
        job.impressions += addedImpressions;
    }
    // A job that was queued or held finishes.
    void finish(int id, std::time_t completedAt, int impressions)
    {
        JobSnapshot& job = m_jobs.at(id);
        job.state = JobState::Completed;
        job.completedAt = completedAt;
        job.impressions = impressions;
    }
    // The job, restarted, is printing.
    void restart(int id)
    {
        JobSnapshot& job = m_jobs.at(id);
        job.state = JobState::Processing;
    }

    bool failing = false;
    int pagesInDocuments = 0;

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
    int documentPages(const JobSnapshot&) override { return pagesInDocuments; }

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

// The state files, with one save that writes the first file only, as if the agent died between the two.
class HalfSavingStore : public StateStore
{
public:
    explicit HalfSavingStore(const std::string& path)
        : m_file(path)
    {
    }

    int saves = 0;
    int dieAtSave = 0;

    LoadResult load(AgentState& state, std::string& message) override { return m_file.load(state, message); }
    bool save(const AgentState& state, std::string& error) override
    {
        if (++saves == dieAtSave) {
            tollbook::writeFileAtomically(m_file.path(), serializeState(state));
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

    std::string copyPath() const { return statePath() + ".bak"; }
    QString folder() const { return m_dir.path(); }

    // The page count of each line of a job, in all the journal files (in file order within one file).
    QMap<int, QList<int>> journalledPages() const
    {
        QMap<int, QList<int>> pages;
        QStringList names = QDir(m_dir.path()).entryList({ QStringLiteral("*.tlj") }, QDir::Files, QDir::Time);
        std::reverse(names.begin(), names.end());
        for (const QString& name : names) {
            QFile file(m_dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly)) {
                continue;
            }
            for (const QByteArray& line : file.readAll().split('\n')) {
                const QList<QByteArray> fields = line.split('|');
                if (fields.size() > 10) {
                    pages[jobNumberOfLine(line.toStdString())] << fields[10].toInt();
                }
            }
        }
        return pages;
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

// Damages a file as a row says: "intact", "garbage", "cut short", "empty" or "deleted".
void damage(const std::string& path, const QString& how)
{
    const QString name = QString::fromStdString(path);
    QFile file(name);
    if (how == QLatin1String("deleted")) {
        QVERIFY(file.remove());
    } else if (how == QLatin1String("garbage")) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("\x13\x37 tollbook? \xff\xfe\n next 99\n");
    } else if (how == QLatin1String("cut short")) {
        QVERIFY(file.resize(file.size() / 2));
    } else if (how == QLatin1String("empty")) {
        QVERIFY(file.resize(0));
    } else {
        QCOMPARE(how, QStringLiteral("intact"));
    }
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
    void stateFile();
    void stateWriteOnAFullDisk();
    void damagedState_data();
    void damagedState();
    void deathWhileRecovering();
    void deathBetweenTheTwoStateFiles();
    void reprintedJob_data();
    void reprintedJob();
    void deathAtEverySaveOfAReprint_data();
    void deathAtEverySaveOfAReprint();
    void stateOfAnEarlierVersion();

private:
    // Jobs 1 and 2 journalled and job 3 held; then the agent stops and `damageState` happens to its state files.
    // Meanwhile job 3 is released, jobs 4 to 6 are printed and job 7 is held.
    void stopWithDamagedState(Installation& installation, ScriptedSource& source, std::time_t now, const QString& state,
                              const QString& copy, bool journalLeft);
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

void AgentCaptureTest::stateFile()
{
    Installation installation;
    StateFile store(installation.statePath());
    AgentState state;
    std::string message;
    QVERIFY(store.load(state, message) == StateStore::LoadResult::Missing);

    AgentState full;
    full.nextJob = 42;
    full.openJobs = { 7, 40 };
    full.newestCreation = 1765000000;
    full.writingJob = 41;
    full.writingLine = 0x0123456789abcdefull;
    full.writingCompletion = Completion{ 1765000100, 12 };
    full.completionsFrom = 1765000050;
    full.completions = { { 39, Completion{ 1765000050, 3 } }, { 40, Completion{ 1765000001, 0 } } };
    std::string error;
    QVERIFY2(store.save(full, error), error.c_str());
    QVERIFY(store.load(state, message) == StateStore::LoadResult::Loaded);
    QVERIFY(state == full);
    QVERIFY(message.empty());

    // Either file alone holds the state; the log is told which one was passed over.
    damage(store.path(), QStringLiteral("cut short"));
    state = AgentState();
    QVERIFY(store.load(state, message) == StateStore::LoadResult::Loaded);
    QVERIFY(state == full);
    QVERIFY2(message.find(store.path()) != std::string::npos, message.c_str());

    damage(store.copyPath(), QStringLiteral("garbage"));
    QVERIFY(store.load(state, message) == StateStore::LoadResult::Damaged);
    QVERIFY2(message.find(store.copyPath()) != std::string::npos, message.c_str());
    damage(store.path(), QStringLiteral("deleted"));
    QVERIFY(store.load(state, message) == StateStore::LoadResult::Damaged);
    damage(store.copyPath(), QStringLiteral("deleted"));
    QVERIFY(store.load(state, message) == StateStore::LoadResult::Missing);

    // Saves cut short by a kill leave their new files behind; the next start removes them, nothing else.
    const QDir folder(installation.folder());
    for (const char* name : { "printjob.state.Ab12Cd", "printjob.state.bak.x1Y2z3", "printjob.state.notes" }) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(store.load(state, message) == StateStore::LoadResult::Missing);
    QCOMPARE(folder.entryList(QDir::Files), QStringList{ QStringLiteral("printjob.state.notes") });
}

// A save that runs out of room fails and says so; both files keep the state saved before, and nothing is left
// beside them. The room is limited with the file size limit, in a child process.
void AgentCaptureTest::stateWriteOnAFullDisk()
{
    Installation installation;
    StateFile store(installation.statePath());
    AgentState before;
    before.nextJob = 5;
    std::string error;
    QVERIFY2(store.save(before, error), error.c_str());

    AgentState larger = before;
    for (int job = 1; job <= 500; ++job) {
        larger.completions[job] = Completion{ 1765000000 + job, job };
    }
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{ 1024, 1024 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string childError;
        const bool saved = store.save(larger, childError);
        ::_exit(saved ? 0 : childError.find(store.path()) != std::string::npos ? 1 : 2);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 1);

    AgentState state;
    std::string message;
    QVERIFY(store.load(state, message) == StateStore::LoadResult::Loaded);
    QVERIFY(state == before);
    QVERIFY(message.empty());
    QCOMPARE(QDir(installation.folder()).entryList(QDir::Files),
             QStringList({ QStringLiteral("printjob.state"), QStringLiteral("printjob.state.bak") }));
}

void AgentCaptureTest::stopWithDamagedState(Installation& installation, ScriptedSource& source, std::time_t now,
                                            const QString& state, const QString& copy, bool journalLeft)
{
    {
        JournalFile journal(installation.jobs());
        StateFile store(installation.statePath());
        Capture capture(source, journal, store, "pc");
        QVERIFY(pollUntilDone(capture));
        source.put(1, JobState::Completed, now - 600);
        source.put(2, JobState::Completed, now - 590);
        source.put(3, JobState::Held, now - 580, 0);
        QVERIFY(pollUntilDone(capture));
    }
    QCOMPARE(installation.journalledJobs(), once({ 1, 2 }));
    if (!journalLeft) {
        installation.takeOver(); // imported: gone from the agent's sight
    }
    damage(installation.statePath(), state);
    damage(installation.copyPath(), copy);

    source.finish(3, now + 1, 2);
    source.put(4, JobState::Completed, now + 1);
    source.put(5, JobState::Completed, now + 2);
    source.put(6, JobState::Completed, now + 3);
    source.put(7, JobState::Held, now + 4);
}

void AgentCaptureTest::damagedState_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("copy");
    QTest::addColumn<bool>("journalLeft");    // not imported since the agent stopped
    QTest::addColumn<bool>("lastRoundKnown"); // the time of the agent's last round (the lock file's) is known
    QTest::addColumn<int>("earlierLines");    // lines of each job journalled before the agent stopped, in the end
    QTest::addColumn<bool>("meanwhileJournalled");
    QTest::addColumn<QString>("told"); // what the log says

    const QString intact = QStringLiteral("intact");
    const QString garbage = QStringLiteral("garbage");
    const QString cut = QStringLiteral("cut short");
    const QString empty = QStringLiteral("empty");
    const QString deleted = QStringLiteral("deleted");
    const QString fromCopy = QStringLiteral("taken from");
    const QString rebuilt = QStringLiteral("rebuilt");

    QTest::newRow("garbage, copy intact") << garbage << intact << false << false << 1 << true << fromCopy;
    QTest::newRow("cut short, copy intact") << cut << intact << false << false << 1 << true << fromCopy;
    QTest::newRow("empty, copy intact") << empty << intact << false << false << 1 << true << fromCopy;
    QTest::newRow("deleted, copy intact") << deleted << intact << false << false << 1 << true << fromCopy;
    QTest::newRow("both garbage, journal left") << garbage << garbage << true << false << 1 << true << rebuilt;
    QTest::newRow("both empty, journal left") << empty << empty << true << false << 1 << true << rebuilt;
    QTest::newRow("both deleted, journal left") << deleted << deleted << true << false << 1 << true << rebuilt;
    QTest::newRow("cut short, copy deleted, last round known")
        << cut << deleted << false << true << 1 << true << rebuilt;
    QTest::newRow("both deleted, last round known") << deleted << deleted << false << true << 1 << true << rebuilt;
    // Nothing tells which jobs were journalled: charged twice rather than lost.
    QTest::newRow("both cut short, nothing known") << cut << cut << false << false << 2 << true << rebuilt;
    // Nothing at all is left of an earlier run: a first run.
    QTest::newRow("both deleted, nothing known")
        << deleted << deleted << false << false << 1 << false << QStringLiteral("first run");
}

// The state is damaged or gone while the agent is down and jobs finish meanwhile: they are journalled, and the log
// says what happened.
void AgentCaptureTest::damagedState()
{
    QFETCH(QString, state);
    QFETCH(QString, copy);
    QFETCH(bool, journalLeft);
    QFETCH(bool, lastRoundKnown);
    QFETCH(int, earlierLines);
    QFETCH(bool, meanwhileJournalled);
    QFETCH(QString, told);

    const std::time_t now = std::time(nullptr);
    Installation installation;
    ScriptedSource source;
    stopWithDamagedState(installation, source, now, state, copy, journalLeft);
    if (QTest::currentTestFailed()) {
        return;
    }

    JournalFile journal(installation.jobs());
    StateFile store(installation.statePath());
    Capture capture(source, journal, store, "pc");
    QStringList log;
    capture.setLog([&log](const std::string& message) { log << QString::fromStdString(message); });
    if (lastRoundKnown) {
        capture.setLastRound(now);
    }
    QVERIFY(pollUntilDone(capture));
    QVERIFY(pollUntilDone(capture));

    const QMap<int, int> counts = installation.journalledJobs();
    QCOMPARE(counts.value(1), earlierLines);
    QCOMPARE(counts.value(2), earlierLines);
    for (int job : { 3, 4, 5, 6 }) {
        QCOMPARE(counts.value(job), meanwhileJournalled ? 1 : 0);
    }
    QCOMPARE(counts.value(7), 0);
    QCOMPARE(capture.state().openJobs, std::set<int>{ 7 });
    QVERIFY2(log.join(QLatin1Char('\n')).contains(told), qPrintable(log.join(QLatin1Char('\n'))));
    // Both files are whole again.
    AgentState saved;
    std::string message;
    QVERIFY(store.load(saved, message) == StateStore::LoadResult::Loaded);
    QVERIFY2(message.empty(), message.c_str());

    // The state is whole again: the next jobs are journalled once, nothing else is.
    source.finish(7, now + 20, 1);
    QVERIFY(pollUntilDone(capture));
    QCOMPARE(installation.journalledJobs().value(7), 1);
    QCOMPARE(installation.journalledJobs().value(4), meanwhileJournalled ? 1 : 0);
}

// The agent dies at every save of the recovery from a damaged state and is started again: every job once.
void AgentCaptureTest::deathWhileRecovering()
{
    const std::time_t now = std::time(nullptr);
    for (int dieAt = 1; dieAt <= 10; ++dieAt) {
        Installation installation;
        ScriptedSource source;
        stopWithDamagedState(installation, source, now, QStringLiteral("garbage"), QStringLiteral("cut short"), true);
        if (QTest::currentTestFailed()) {
            return;
        }
        {
            JournalFile journal(installation.jobs());
            DyingStore store(installation.statePath());
            store.dieAtSave = dieAt;
            Capture capture(source, journal, store, "pc");
            std::string error;
            capture.poll(error);
        }
        JournalFile journal(installation.jobs());
        StateFile store(installation.statePath());
        Capture restarted(source, journal, store, "pc");
        QVERIFY(pollUntilDone(restarted));
        QVERIFY(pollUntilDone(restarted));
        QVERIFY2(installation.journalledJobs() == once({ 1, 2, 3, 4, 5, 6 }),
                 qPrintable(QStringLiteral("died at save %1").arg(dieAt)));
    }
}

// The agent dies after writing the first state file and before the second, and then the first is damaged: the
// second, one state behind, still gives every job exactly once.
void AgentCaptureTest::deathBetweenTheTwoStateFiles()
{
    for (int dieAt = 1; dieAt <= 16; ++dieAt) {
        Installation installation;
        ScriptedSource source;
        {
            JournalFile journal(installation.jobs());
            StateFile store(installation.statePath());
            Capture capture(source, journal, store, "pc");
            QVERIFY(pollUntilDone(capture));
            source.put(1, JobState::Held);
            QVERIFY(pollUntilDone(capture));
        }
        for (int id = 1; id <= 6; ++id) {
            source.put(id, JobState::Completed);
        }
        {
            JournalFile journal(installation.jobs());
            HalfSavingStore store(installation.statePath());
            store.dieAtSave = dieAt;
            Capture capture(source, journal, store, "pc");
            std::string error;
            capture.poll(error);
        }
        damage(installation.statePath(), QStringLiteral("garbage"));

        JournalFile journal(installation.jobs());
        StateFile store(installation.statePath());
        Capture restarted(source, journal, store, "pc");
        QVERIFY(pollUntilDone(restarted));
        QVERIFY2(installation.journalledJobs() == once({ 1, 2, 3, 4, 5, 6 }),
                 qPrintable(QStringLiteral("died at save %1").arg(dieAt)));
    }
}

void AgentCaptureTest::reprintedJob_data()
{
    QTest::addColumn<int>("impressions");   // the spooler's count for one run
    QTest::addColumn<int>("documentPages"); // the pages counted in the kept document
    QTest::addColumn<int>("secondsApart");  // between two completions
    QTest::addColumn<int>("pages");         // charged per completion

    QTest::newRow("the spooler counts the pages") << 3 << 0 << 30 << 3;
    QTest::newRow("raw queue: the document's pages") << 0 << 2 << 30 << 2;
    QTest::newRow("printed again within the same second") << 3 << 0 << 0 << 3;
}

// A finished job restarted in the spooler prints and completes again: each completion is one line with the pages of
// that run, also when it happened while the agent was down.
void AgentCaptureTest::reprintedJob()
{
    QFETCH(int, impressions);
    QFETCH(int, documentPages);
    QFETCH(int, secondsApart);
    QFETCH(int, pages);

    const std::time_t now = std::time(nullptr);
    Installation installation;
    ScriptedSource source;
    source.pagesInDocuments = documentPages;
    JournalFile journal(installation.jobs());
    {
        StateFile store(installation.statePath());
        Capture capture(source, journal, store, "pc");
        QVERIFY(pollUntilDone(capture));
        source.put(1, JobState::Completed, now, impressions);
        source.put(2, JobState::Completed, now, impressions);
        QVERIFY(pollUntilDone(capture));
        QVERIFY(pollUntilDone(capture));
        QCOMPARE(installation.journalledJobs(), once({ 1, 2 }));

        source.restart(1);
        QVERIFY(pollUntilDone(capture));
        source.reprint(1, now + 1 + secondsApart, impressions);
        QVERIFY(pollUntilDone(capture));
        QVERIFY(pollUntilDone(capture));
        source.reprint(1, now + 1 + 2 * secondsApart, impressions);
        QVERIFY(pollUntilDone(capture));
        QCOMPARE(installation.journalledPages().value(1), QList<int>({ pages, pages, pages }));
        QCOMPARE(installation.journalledPages().value(2), QList<int>({ pages }));
    }
    // Printed again while the agent was down.
    source.reprint(2, now + 1 + 3 * secondsApart, impressions);
    StateFile store(installation.statePath());
    Capture restarted(source, journal, store, "pc");
    QVERIFY(pollUntilDone(restarted));
    QVERIFY(pollUntilDone(restarted));
    QCOMPARE(installation.journalledPages().value(1), QList<int>({ pages, pages, pages }));
    QCOMPARE(installation.journalledPages().value(2), QList<int>({ pages, pages }));
}

void AgentCaptureTest::deathAtEverySaveOfAReprint_data()
{
    QTest::addColumn<bool>("takenOver");

    QTest::newRow("journal left alone") << false;
    QTest::newRow("journal taken over before the restart") << true;
}

// Two jobs completed again; the agent dies at one save after another and is started again: each completion is
// journalled exactly once, even though the job's first line may be the journal's last one.
void AgentCaptureTest::deathAtEverySaveOfAReprint()
{
    QFETCH(bool, takenOver);

    const std::time_t now = std::time(nullptr);
    for (int dieAt = 1; dieAt <= 8; ++dieAt) {
        Installation installation;
        ScriptedSource source;
        {
            JournalFile journal(installation.jobs());
            StateFile store(installation.statePath());
            Capture capture(source, journal, store, "pc");
            QVERIFY(pollUntilDone(capture));
            source.put(1, JobState::Completed, now, 3);
            source.put(2, JobState::Completed, now, 4);
            QVERIFY(pollUntilDone(capture));
        }
        source.reprint(1, now + 20, 3);
        source.reprint(2, now + 21, 4);
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
        QVERIFY(pollUntilDone(restarted));
        const QMap<int, QList<int>> pages = installation.journalledPages();
        QVERIFY2(pages.value(1) == QList<int>({ 3, 3 }) && pages.value(2) == QList<int>({ 4, 4 }),
                 qPrintable(QStringLiteral("died at save %1").arg(dieAt)));
    }
}

// A state written before completions were looked at: what completed before is not charged again, what completes
// again afterwards is.
void AgentCaptureTest::stateOfAnEarlierVersion()
{
    const std::time_t now = std::time(nullptr);
    Installation installation;
    QFile file(QString::fromStdString(installation.statePath()));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("tollbook-printjob-state 1\nnext 3\nopen\ncreated " + QByteArray::number(qint64(now)) +
               "\nwriting 0\nend\n");
    file.close();

    ScriptedSource source;
    source.put(1, JobState::Completed, now - 100, 2);
    source.put(2, JobState::Completed, now - 50, 2);
    JournalFile journal(installation.jobs());
    StateFile store(installation.statePath());
    Capture capture(source, journal, store, "pc");
    QVERIFY(pollUntilDone(capture));
    QVERIFY(pollUntilDone(capture));
    QVERIFY(installation.journalledJobs().isEmpty());

    source.reprint(1, now + 10, 2);
    source.put(3, JobState::Completed, now + 10, 2);
    QVERIFY(pollUntilDone(capture));
    QCOMPARE(installation.journalledPages(), (QMap<int, QList<int>>{ { 1, { 2 } }, { 3, { 2 } } }));
}

QTEST_GUILESS_MAIN(AgentCaptureTest)
#include "tst_agentcapture.moc"
