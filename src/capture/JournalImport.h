#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <atomic>
#include <functional>

class QThread;

namespace tollbook {

// Where an import stores its rows, as plain values: the database (a SQLite file or a PostgreSQL address) and the
// projects of the registered users. The texts are cut to the widths the schema declares (Schema::textWidth).
struct ImportTarget
{
    QString databasePath;            // as Database::open() takes it
    QHash<QString, qint64> projects; // by userKey(); 0 for a registered user without a project

    // Users compare as the database compares them.
    static QString userKey(const QString& user);
    // The first project given for a user counts, as a look-up from the top of an ordered list finds it. A null
    // project is 0.
    void addUser(const QString& user, const QVariant& project);
    // The target of the database open on the connection: its file and its users in the order of their ids. Throws
    // DriverError when the database cannot be read.
    static ImportTarget read(const QString& connectionName);
};

// The journal import ("Importacao"): takes the capture agent's journal over and stores one row of
// Impressao per line, each job exactly once.
//
// The journal jobs/printjob.tlj is taken over by renaming it to jobs/printjobnew.tlj, after an id for that
// copy, unique to it, has been written beside it (jobs/printjobnew.seq) and checked on disk. The copy's rows
// are stored in one transaction that also records the copy's id in table ArquivoImportado; the copy is
// removed only after that commit. The rows go through the store's bulk insert (Store::bulkInsert): on SQLite one
// prepared insert per line under the write lock; on PostgreSQL batches sent with COPY, the copy's id recorded first,
// so that a second import of the same copy (another process) waits for the first and then finds it stored. A copy whose
// id the database has recorded already was stored before a crash could remove it: it is removed without being imported
// again. Ids, not numbers: installations sharing one database never mistake each other's copies. A copy left over by a
// failed import or a crash is imported before the journal is taken over again.
//
// A line that does not convert (or that the database refuses) does not stop the import: it is appended,
// after its reason and a tab, to jobs/printjob.rejected, and the other lines are stored. Those lines follow
// the same rule as the rows: where the file stood before a copy's lines is noted beside the copy
// (jobs/printjobnew.rejected-from), so an attempt that did not commit has its lines taken back by the next
// one, and a copy found stored adds none. Empty lines hold no job: they are counted, not refused.
//
// The copy is read line by line, never whole. The takeover and the rows run on a connection of their own
// ("Importacao") in a thread of their own, so the user's edits are never part of the import's transaction
// and the calling thread keeps processing its events (progress is reported through progress()) while it
// waits, also while the agent holds its lock on the journal.
class JournalImport : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    struct Result
    {
        bool copyProcessed = false; // a journal copy was imported (or found stored already) and removed
        bool alreadyStored = false; // the copy's rows had been committed before
        qint64 rows = 0;            // rows stored
        qint64 rejected = 0;        // lines appended to the rejected file
        qint64 emptyLines = 0;      // lines without any job, skipped
        // The users and printers of the rows stored, as ImportTarget::userKey() gives them; empty names left out.
        QSet<QString> users;
        QSet<QString> printers;
    };

    JournalImport(const QString& journalPath, const QString& copyPath, QObject* parent = nullptr);
    ~JournalImport() override;

    QString journalPath() const { return m_journalPath; }
    QString copyPath() const { return m_copyPath; }
    QString sequencePath() const;
    QString rejectedPath() const;
    QString rejectedMarkPath() const;

    // Where Print_Data and Print_Hora are read from, for every row; the system clock unless replaced. It is
    // called on the import's own thread.
    void setClock(Clock clock);
    // How long the takeover waits for the agent's lock on the journal before it gives up until the next call.
    void setLockWait(int milliseconds) { m_lockWait = milliseconds; }

    // Imports the copy left over, or else takes the journal over and imports it; then removes the copy.
    // Nothing happens when there is neither. Processes pending events until it ends. Throws when the journal
    // cannot be taken over, the copy cannot be read or removed, a file beside it cannot be written, or the
    // database fails; the copy then stays and is imported at the next call. Throws SilentAbort when
    // cancelled.
    Result importPending(const ImportTarget& target);

    bool isRunning() const { return m_running; }
    // Makes the import under way roll back and end; its copy stays for the next run. May be called from any
    // thread.
    void cancel();

    // Whether the copy of that id is stored in the database of the connection; how many copies are.
    static bool isCopyStored(const QString& connectionName, const QString& copyId);
    static int storedCopyCount(const QString& connectionName);

Q_SIGNALS:
    // Lines done out of the lines of the copy being imported.
    void progress(qint64 done, qint64 total);

private:
    struct Plan;
    struct Outcome;

    Outcome work(const Plan& plan, const std::function<void(qint64, qint64)>& report) const;
    bool takeOver() const;
    QString readCopyId() const;
    void writeCopyId(const QString& copyId) const;
    Outcome runInThread(const Plan& plan);
    static Outcome run(const Plan& plan, const QString& copyId, const std::atomic<bool>& cancel,
                       const std::function<void(qint64, qint64)>& report);

    QString m_journalPath;
    QString m_copyPath;
    Clock m_clock;
    int m_lockWait = 30000;
    bool m_running = false;
    std::atomic<bool> m_cancel{ false };
    QThread* m_thread = nullptr;
};

} // namespace tollbook
