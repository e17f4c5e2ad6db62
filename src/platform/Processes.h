#pragma once

#include <QList>
#include <QString>

#include <memory>

namespace tollbook {

// One running process as the process list gives it.
struct ProcessEntry
{
    qint64 pid = 0;
    QString executable; // the executable's name as the list gives it (full path where known)
};

// The operating system's process list. One implementation per platform; Linux reads /proc.
class ProcessList
{
public:
    virtual ~ProcessList() = default;
    // A snapshot of the running processes; empty when it cannot be taken.
    virtual QList<ProcessEntry> snapshot() const = 0;
    // Ends the process at once; false when it could not be signalled.
    virtual bool terminate(qint64 pid) const = 0;
    virtual qint64 currentProcessId() const = 0;
    // The executable of the running process pid as snapshot() gives it; empty when no such process runs.
    virtual QString executableOf(qint64 pid) const;

    // The implementation for the platform this build runs on.
    static const ProcessList& system();
};

// A process matches a wanted name when the file-name part of its executable, upper-cased (letters a to z
// only), equals the wanted name upper-cased; failing that, when its whole executable name does. On
// platforms whose executables carry no extension a trailing ".exe" of the wanted name is ignored.
bool processMatches(const ProcessEntry& process, const QString& wantedName);

// Whether the running process pid runs the executable file at executablePath: the same file (links followed)
// when the process's executable is known by its path, the same file name when only its name is known.
bool isProcessOfExecutable(qint64 pid, const QString& executablePath, const ProcessList& list = ProcessList::system());

bool isProcessRunning(const QString& executableName, const ProcessList& list = ProcessList::system());
int countProcesses(const QString& executableName, const ProcessList& list = ProcessList::system());
// Terminates every matching process without waiting for it; true when at least one matched.
bool terminateProcesses(const QString& executableName, const ProcessList& list = ProcessList::system());

} // namespace tollbook
