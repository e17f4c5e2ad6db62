#pragma once

#include "capture/CaptureAgent.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

namespace tollbook {

class DataModuleDatasets;
class Dataset;
class JournalImport;
class MainWindow;

// Where the monitoring cycle finds the installation's files.
struct CapturePaths
{
    QString configPath;      // config.ini, whose PID names the capture copy
    QString agentPath;       // the capture agent's executable
    QString journalPath;     // jobs/printjob.tlj
    QString journalCopyPath; // jobs/printjobnew.tlj
};

// The monitoring tick of the main window (Timer1). Every tick refreshes the control view (today's jobs);
// in the capture copy (the process whose id stands in config.ini's PID) it also keeps exactly one capture
// agent running, imports the journal, adds the users and printers seen for the first time (a new printer
// with its two default price rows) and refreshes the views. The countdown to the next tick starts again
// at the end of every tick that completes. A tick never starts while another runs (or while the error of
// the one before is shown): it is skipped.
class MonitoringCycle : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    MonitoringCycle(const CapturePaths& paths, DataModuleDatasets* dataModule, MainWindow* window,
                    QObject* parent = nullptr);
    ~MonitoringCycle() override;

    CaptureAgent& agent() { return m_agent; }
    JournalImport* journalImport() const { return m_import; }

    // "Today" of the control view and the day and time of the imported rows; the system clock unless
    // replaced. It is also called on the import's own thread.
    void setClock(Clock clock);

    // One tick. Throws what fails (the countdown is then not reset); a journal line that was refused is
    // reported, after everything else was done, as one PlainError naming the count and the file.
    void tick();
    // One tick whose failure is shown by the error handler: what Timer1 runs.
    void runTick();
    bool isTicking() const { return m_ticking; }

    // The application is ending: an import under way rolls back and keeps its copy for the next start, the
    // tick under way ends at its next step and no tick runs any more.
    void stop();

Q_SIGNALS:
    // The control view was refreshed after an import: the status bar's count of today's jobs is due.
    void todayCountChanged();

private:
    void runSteps();
    void checkStopped() const;
    bool isCaptureCopy() const;
    void refreshControlView();
    // Display suspended, closed, parameters set, opened, display resumed.
    void refresh(Dataset* dataset, const std::function<void()>& setParams = nullptr);
    // False when a row the user is editing puts the additions off.
    bool addNewUsers();
    bool addNewPrinters();
    void resetCountdown();
    void showProgress(qint64 done, qint64 total);

    CapturePaths m_paths;
    DataModuleDatasets* m_dataModule;
    MainWindow* m_window;
    CaptureAgent m_agent;
    JournalImport* m_import;
    Clock m_clock;
    bool m_ticking = false;
    bool m_stopped = false;
    // Users and printers are looked for after every import that stored rows, and after a tick whose
    // additions failed.
    bool m_registriesDue = true;
};

} // namespace tollbook
