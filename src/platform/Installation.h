#pragma once

#include <QString>

#include <functional>

namespace tollbook {

// The installation folder and everything in it the application starts or reads by name: config.ini, the
// journal and its copy, the capture agent and the service scripts in bin/x64 or bin/x86 by the bitness of
// the system, the print-queue viewer, the help and report folders. The one place these names are written.
class Installation
{
public:
    // The agent's process name, as the process routines compare it.
    static inline const QString AgentName = QStringLiteral("PrintJob");
    static inline const QString InstallScript = QStringLiteral("Service-Intall");
    static inline const QString RemoveScript = QStringLiteral("Service-Remove");

    // folder: a trailing '/' is added when missing.
    explicit Installation(const QString& folder);

    // With the trailing '/'.
    QString folder() const { return m_folder; }
    // A path below the folder.
    QString path(const QString& relative) const { return m_folder + relative; }

    QString configPath() const;      // config.ini
    QString jobsFolder() const;      // jobs
    QString journalPath() const;     // jobs/printjob.tlj
    QString journalCopyPath() const; // jobs/printjobnew.tlj
    // bin/x64/ or bin/x86/, by the bitness of the system.
    QString binFolder() const;
    QString agentPath() const; // <binFolder>PrintJob
    QString scriptPath(const QString& script) const;
    QString viewerPath() const; // bin/Tollwatch

    // The name the running agents are found by; tests give a name of their own, so that the agents of the
    // machine are left alone.
    QString agentName() const { return m_agentName; }
    void setAgentName(const QString& name) { m_agentName = name; }

    // Whether the system is a 64-bit one; IsWindows64Bit unless replaced.
    void setBitness(std::function<bool()> is64Bit);

private:
    QString m_folder;
    QString m_agentName = AgentName;
    std::function<bool()> m_is64Bit;
};

} // namespace tollbook
