#pragma once

#include "capture/CaptureAgent.h"
#include "capture/JournalImport.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

namespace tollbook {

class DataModuleDatasets;
class Dataset;
class MainWindowDatasets;

// Where the monitoring cycle finds the installation's files.
struct CapturePaths
{
    QString configPath;      // config.ini, whose PID names the capture copy
    QString agentPath;       // the capture agent's executable
    QString journalPath;     // jobs/printjob.tlj
    QString journalCopyPath; // jobs/printjobnew.tlj
    // The installation's own executable: PID counts only while it names a running copy of it. This process's
    // executable when empty.
    QString applicationPath;
};

// The monitoring tick (Timer1). Every tick brings the control view (today's jobs) up to date; in the capture
// copy (the process whose id stands in config.ini's PID) it also keeps exactly one capture agent running,
// imports the journal, adds the users and printers seen for the first time (a new printer with its two
// default price rows) and refreshes the views. A tick never starts while another runs (or while the error of
// the one before is shown): it is skipped.
//
// Today's jobs are read whole only when the day changes; otherwise a tick adds the jobs stored since (they
// carry higher Print_Ids), so the rows, the current row and the views' places stay as they were.
//
// It works on the datasets it is given and knows no window: progress, the countdown and the count of today's
// jobs go out as signals, failures to the error reporter.
class MonitoringCycle : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;
    // Called inside the catch block of a tick's failure, to show it.
    using ErrorReporter = std::function<void()>;

    // The datasets must outlive the cycle.
    MonitoringCycle(const CapturePaths& paths, DataModuleDatasets* dataModule, MainWindowDatasets* datasets,
                    QObject* parent = nullptr);
    ~MonitoringCycle() override;

    CaptureAgent& agent() { return m_agent; }
    JournalImport* journalImport() const { return m_import; }
    void setApplicationPath(const QString& path) { m_paths.applicationPath = path; }

    // "Today" of the control view and the day and time of the imported rows; the system clock unless
    // replaced. It is also called on the import's own thread.
    void setClock(Clock clock);
    // Without one, a failure is written to the application's output.
    void setErrorReporter(ErrorReporter reporter);

    // Takes the capture role when nobody holds it: PID empty, or naming no running copy of this installation.
    // True when this copy holds it now. When config.ini cannot be written, capture stays stopped and every
    // tick says so (and tries again) until it can.
    bool takeCaptureRole();
    // Why this copy could not take the capture role it should have; empty when nothing stands in the way.
    QString captureStoppedReason() const { return m_roleProblem; }

    // One tick. Throws what fails; a journal line that was refused is reported, after everything else was
    // done, as one PlainError naming the count and the file.
    void tick();
    // One tick whose failure goes to the error reporter: what Timer1 runs.
    void runTick();
    bool isTicking() const { return m_ticking; }

    // The application is ending: an import under way rolls back and keeps its copy for the next start, the
    // tick under way ends at its next step and no tick runs any more.
    void stop();

Q_SIGNALS:
    // A tick completed: the countdown to the next one starts again.
    void countdownRestarted();
    // Today's jobs changed after an import: count is the number of rows of the control view.
    void todayCountChanged(int count);
    // A line for the status bar while a tick works (the import's progress, the empty lines it skipped); the
    // empty text clears it.
    void statusMessage(const QString& text);

private:
    void runSteps();
    void checkStopped() const;
    bool isCaptureCopy() const;
    // Whether the rows imported name a user or a printer the registries do not hold.
    bool hasUnknownNames(const JournalImport::Result& imported, const ImportTarget& target) const;
    bool isHeldByRunningCopy(const QString& pid) const;
    void refreshControlView();
    void addNewJobs();
    // Display suspended, closed, parameters set, opened, display resumed.
    void refresh(Dataset* dataset, const std::function<void()>& setParams = nullptr);
    // False when a row the user is editing puts the additions off.
    bool addNewUsers();
    bool addNewPrinters();
    void showProgress(qint64 done, qint64 total);
    void reportCurrentError() const;

    CapturePaths m_paths;
    DataModuleDatasets* m_dataModule;
    MainWindowDatasets* m_datasets;
    CaptureAgent m_agent;
    JournalImport* m_import;
    Clock m_clock;
    ErrorReporter m_reportError;
    bool m_ticking = false;
    bool m_stopped = false;
    // Users and printers are looked for over all the jobs after the first import, after an import that stored a
    // name the registries do not hold, and after a tick whose additions failed.
    bool m_registriesDue = true;
    // The capture role was due to this copy but config.ini refused it.
    bool m_roleWanted = false;
    QString m_roleProblem;
};

} // namespace tollbook
