#include "platform/Processes.h"

#include "platform/SystemRoutines.h"

#include <QDir>
#include <QFileInfo>

#if defined(Q_OS_WIN)
// A Windows build adds ProcessesWindows.h/.cpp: a list over the Toolhelp snapshot
// (CreateToolhelp32Snapshot, Process32FirstW/NextW) that terminates through OpenProcess(PROCESS_TERMINATE)
// and TerminateProcess(handle, 0).
#include "platform/ProcessesWindows.h"
#else
#include "platform/ProcessesLinux.h"
#endif

namespace tollbook {

const ProcessList& ProcessList::system()
{
#if defined(Q_OS_WIN)
    static const WindowsProcessList list;
#else
    static const LinuxProcessList list;
#endif
    return list;
}

QString ProcessList::executableOf(qint64 pid) const
{
    for (const ProcessEntry& process : snapshot()) {
        if (process.pid == pid)
            return process.executable;
    }
    return QString();
}

bool isProcessOfExecutable(qint64 pid, const QString& executablePath, const ProcessList& list)
{
    if (pid <= 0 || executablePath.isEmpty())
        return false;
    const QString executable = list.executableOf(pid);
    if (executable.isEmpty())
        return false;
    const QFileInfo running(executable);
    const QFileInfo wanted(executablePath);
    if (!running.isAbsolute())
        return running.fileName() == wanted.fileName();
    const QString runningFile = running.canonicalFilePath();
    const QString wantedFile = wanted.canonicalFilePath();
    // A file replaced or removed since the process started is known by its path only.
    if (runningFile.isEmpty() || wantedFile.isEmpty())
        return QDir::cleanPath(running.absoluteFilePath()) == QDir::cleanPath(wanted.absoluteFilePath());
    return runningFile == wantedFile;
}

bool processMatches(const ProcessEntry& process, const QString& wantedName)
{
    QStringList wanted{ upperAscii(wantedName) };
#if !defined(Q_OS_WIN)
    // Callers name the agent as on Windows, "PrintJob.exe"; here its file has no extension. A process
    // whose file really ends in ".exe" still matches the name as given.
    const QString extension = QStringLiteral(".EXE");
    if (wanted.front().endsWith(extension))
        wanted.append(wanted.front().chopped(extension.size()));
#endif
    const QString executable = upperAscii(process.executable);
    const QString fileName = executable.mid(executable.lastIndexOf(u'/') + 1);
    return wanted.contains(fileName) || wanted.contains(executable);
}

bool isProcessRunning(const QString& executableName, const ProcessList& list)
{
    return countProcesses(executableName, list) > 0;
}

int countProcesses(const QString& executableName, const ProcessList& list)
{
    int count = 0;
    for (const ProcessEntry& process : list.snapshot()) {
        if (processMatches(process, executableName))
            ++count;
    }
    return count;
}

bool terminateProcesses(const QString& executableName, const ProcessList& list)
{
    const qint64 self = list.currentProcessId();
    bool found = false;
    for (const ProcessEntry& process : list.snapshot()) {
        if (!processMatches(process, executableName))
            continue;
        found = true;
        // The calling process counts as found but is never ended: a caller asking to end the agent must
        // not end itself because it happens to carry the same name.
        if (process.pid != self)
            list.terminate(process.pid);
    }
    return found;
}

} // namespace tollbook
