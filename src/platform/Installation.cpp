#include "platform/Installation.h"

#include "platform/SystemRoutines.h"

namespace tollbook {

Installation::Installation(const QString& folder)
    : m_folder(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'))
    , m_is64Bit(&IsWindows64Bit)
{
}

QString Installation::configPath() const
{
    return path(QStringLiteral("config.ini"));
}

QString Installation::jobsFolder() const
{
    return path(QStringLiteral("jobs"));
}

QString Installation::journalPath() const
{
    return path(QStringLiteral("jobs/printjob.tlj"));
}

QString Installation::journalCopyPath() const
{
    return path(QStringLiteral("jobs/printjobnew.tlj"));
}

QString Installation::binFolder() const
{
    return path(m_is64Bit() ? QStringLiteral("bin/x64/") : QStringLiteral("bin/x86/"));
}

QString Installation::agentPath() const
{
    return binFolder() + AgentName;
}

QString Installation::scriptPath(const QString& script) const
{
    return binFolder() + script;
}

QString Installation::viewerPath() const
{
    return path(QStringLiteral("bin/Tollwatch"));
}

void Installation::setBitness(std::function<bool()> is64Bit)
{
    m_is64Bit = is64Bit ? std::move(is64Bit) : std::function<bool()>(&IsWindows64Bit);
}

} // namespace tollbook
