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
    // The agent's and the application's process names, as the process routines compare them.
    static inline const QString AgentName = QStringLiteral("PrintJob");
    static inline const QString ApplicationName = QStringLiteral("Tollbook");
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

    // The names the running agent and the copies of the application are found by; tests give names of
    // their own, so that the processes of the machine are left alone.
    QString agentName() const { return m_agentName; }
    void setAgentName(const QString& name) { m_agentName = name; }
    QString applicationName() const { return m_applicationName; }
    void setApplicationName(const QString& name) { m_applicationName = name; }

    // Whether the system is a 64-bit one; IsWindows64Bit unless replaced.
    void setBitness(std::function<bool()> is64Bit);

private:
    QString m_folder;
    QString m_agentName = AgentName;
    QString m_applicationName = ApplicationName;
    std::function<bool()> m_is64Bit;
};

} // namespace tollbook
