#include "platform/ProcessesLinux.h"

#include <QDir>
#include <QFile>

#include <climits>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace tollbook {
namespace {

QByteArray readProcFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// The state letter of /proc/PID/stat: the field after the command name, which is enclosed in
// parentheses and may itself hold blanks and parentheses.
char processState(const QByteArray& stat)
{
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0 || close + 2 >= stat.size())
        return '\0';
    return stat.at(close + 2);
}

QString executableInProcDir(const QString& procDir)
{
    char target[PATH_MAX];
    const ssize_t length =
        ::readlink(QFile::encodeName(procDir + QStringLiteral("/exe")).constData(), target, sizeof target);
    if (length > 0) {
        QByteArray path(target, length);
        // The kernel marks an executable whose file has been removed or replaced since it started.
        const QByteArray deleted(" (deleted)");
        if (path.endsWith(deleted))
            path.chop(deleted.size());
        return QFile::decodeName(path);
    }

    // Other users' processes (without root rights) and kernel threads have no readable link.
    const QByteArray commandLine = readProcFile(procDir + QStringLiteral("/cmdline"));
    const QByteArray argv0 = commandLine.left(commandLine.indexOf('\0'));
    if (!argv0.isEmpty())
        return QFile::decodeName(argv0);
    return QFile::decodeName(readProcFile(procDir + QStringLiteral("/comm")).trimmed());
}

} // namespace

QList<ProcessEntry> LinuxProcessList::snapshot() const
{
    QList<ProcessEntry> processes;
    const QStringList names = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool isNumber = false;
        const qint64 pid = name.toLongLong(&isNumber);
        if (!isNumber || pid <= 0)
            continue;
        const QString procDir = QStringLiteral("/proc/") + name;
        // An empty stat means the process ended while the list was walked.
        const char state = processState(readProcFile(procDir + QStringLiteral("/stat")));
        if (state == '\0' || state == 'Z')
            continue;
        processes.append(ProcessEntry{ pid, executableInProcDir(procDir) });
    }
    return processes;
}

QString LinuxProcessList::executableOf(qint64 pid) const
{
    if (pid <= 0)
        return QString();
    const QString procDir = QStringLiteral("/proc/%1").arg(pid);
    const char state = processState(readProcFile(procDir + QStringLiteral("/stat")));
    if (state == '\0' || state == 'Z')
        return QString();
    return executableInProcDir(procDir);
}

bool LinuxProcessList::terminate(qint64 pid) const
{
    // kill() with 0 or a negative id would signal whole process groups.
    if (pid <= 0 || pid != pid_t(pid))
        return false;
    return ::kill(pid_t(pid), SIGKILL) == 0;
}

qint64 LinuxProcessList::currentProcessId() const
{
    return ::getpid();
}

} // namespace tollbook
