#include "platform/SystemRoutines.h"

#include "platform/IniFile.h"
#include "platform/Processes.h"

#include <QSysInfo>

#include <Version.h>

namespace tollbook {

QString ReadIniValue(const QString& path, const QString& section, const QString& key)
{
    return IniFile::readValue(path, section, key);
}

void WriteIniValue(const QString& path, const QString& section, const QString& key, const QString& value)
{
    IniFile::writeValue(path, section, key, value);
}

bool IsWindows64Bit()
{
    // The architecture of the running kernel, not of this build: "x86_64", "arm64", ...
    return QSysInfo::currentCpuArchitecture().contains(QLatin1String("64"));
}

bool IsProcessRunning(const QString& executableName)
{
    return isProcessRunning(executableName);
}

int CountProcesses(const QString& executableName)
{
    return countProcesses(executableName);
}

bool TerminateProcesses(const QString& executableName)
{
    return terminateProcesses(executableName);
}

QString GetVersionText()
{
    return QStringLiteral(TOLLBOOK_VERSION_TEXT);
}

QString DateToQueryText(const QDate& date)
{
    if (!date.isValid())
        return {};
    // Built by hand: the locale's date separator must never slip in.
    return QStringLiteral("%1/%2/%3")
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

QString upperAscii(const QString& text)
{
    QString upper = text;
    for (QChar& c : upper) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return upper;
}

} // namespace tollbook
