#pragma once

#include "platform/Installation.h"

#include <QString>

namespace tollbook {

// The capture agent as the application sees it: an executable it starts, counts and terminates by name.
// It is never spoken to; a start that fails is not noticed (the next supervision tries again).
class CaptureAgent
{
public:
    // The agent's name as the process routines compare it.
    static inline const QString DefaultProcessName = Installation::AgentName;

    explicit CaptureAgent(const QString& path = QString(), const QString& processName = DefaultProcessName);

    QString path() const { return m_path; }
    void setPath(const QString& path) { m_path = path; }
    QString processName() const { return m_processName; }
    // Tests give a name of their own, so that the processes of the machine are left alone.
    void setProcessName(const QString& name) { m_processName = name; }

    int runningCount() const;
    // Terminates every running agent and waits a moment until the process list no longer shows them.
    // Processes pending events.
    void terminate();
    // Starts the agent, hidden and without parameters, when none runs. Processes pending events.
    void startIfNone();

private:
    QString m_path;
    QString m_processName;
};

} // namespace tollbook
