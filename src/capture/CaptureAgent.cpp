#include "capture/CaptureAgent.h"

#include "platform/SystemRoutines.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

namespace tollbook {

namespace {

// How long a terminated agent may take to leave the process list.
constexpr int TerminationWait = 1000; // milliseconds

} // namespace

CaptureAgent::CaptureAgent(const QString& path, const QString& processName)
    : m_path(path)
    , m_processName(processName)
{
}

int CaptureAgent::runningCount() const
{
    return CountProcesses(m_processName);
}

void CaptureAgent::terminate()
{
    if (IsProcessRunning(m_processName)) {
        TerminateProcesses(m_processName);
        // A killed process lingers in the list for a moment; the start that follows must not take it for a
        // running agent.
        const QDeadlineTimer deadline(TerminationWait);
        while (IsProcessRunning(m_processName) && !deadline.hasExpired()) {
            QThread::msleep(10);
        }
    }
    QCoreApplication::processEvents();
}

void CaptureAgent::startIfNone()
{
    if (IsProcessRunning(m_processName)) {
        return;
    }
    QProcess::startDetached(m_path, {});
    QCoreApplication::processEvents();
}

} // namespace tollbook
