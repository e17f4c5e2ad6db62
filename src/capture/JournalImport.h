#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class QThread;

namespace tollbook {

class Dataset;

// The journal import ("Importacao"): takes the capture agent's journal over and stores one row of
// Impressao per line, each job exactly once.
//
// The journal jobs/printjob.tlj is taken over by renaming it to jobs/printjobnew.tlj, after an id for that
// copy, unique to it, has been written beside it (jobs/printjobnew.seq). The copy's rows are stored in one
// transaction that also records the copy's id in table ArquivoImportado; the copy is removed only after
// that commit. A copy whose id the database has recorded already was stored before a crash could remove
// it: it is removed without being imported again. Ids, not numbers: installations sharing one database
// never mistake each other's copies. A copy left over by a
// failed import or a crash is imported before the journal is taken over again.
//
// A line that does not convert (or that the database refuses) does not stop the import: it is appended,
// after its reason and a tab, to jobs/printjob.rejected, and the other lines are stored.
//
// The rows are written on a connection of their own ("Importacao") in a thread of their own, so the
// user's edits are never part of the import's transaction and the calling thread keeps processing its
// events (progress is reported through progress()) while it waits for the import to end.
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
    };

    // importa gives the table and the columns with their widths (the main window's SQL_Importa), users the
    // projects of the users (the main window's SQL_Usuario). Both must be open when the import runs; the
    // rows go to the database of importa's connection.
    JournalImport(const QString& journalPath, const QString& copyPath, Dataset* importa, Dataset* users,
                  QObject* parent = nullptr);
    ~JournalImport() override;

    QString journalPath() const { return m_journalPath; }
    QString copyPath() const { return m_copyPath; }
    QString sequencePath() const;
    QString rejectedPath() const;

    // Where Print_Data and Print_Hora are read from, for every row; the system clock unless replaced. It is
    // called on the import's own thread.
    void setClock(Clock clock);

    // Imports the copy left over, or else takes the journal over and imports it; then removes the copy.
    // Nothing happens when there is neither. Processes pending events while the rows are written. Throws
    // when the journal cannot be taken over, the copy cannot be read or removed, or the database fails; the
    // copy then stays and is imported at the next call. Throws SilentAbort when cancelled.
    Result importPending();

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

    void takeOver();
    QString readCopyId() const;
    void writeCopyId(const QString& copyId) const;
    Plan makePlan(const QString& copyId) const;
    Outcome runInThread(const Plan& plan);
    static Outcome run(const Plan& plan, const std::atomic<bool>& cancel,
                       const std::function<void(qint64, qint64)>& report);

    QString m_journalPath;
    QString m_copyPath;
    Dataset* m_importa;
    Dataset* m_users;
    Clock m_clock;
    bool m_running = false;
    std::atomic<bool> m_cancel{ false };
    QThread* m_thread = nullptr;
};

} // namespace tollbook
