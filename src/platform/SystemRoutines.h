#pragma once

#include <QDate>
#include <QString>

// The free-standing system routines under the names the rest of the application knows them by.
namespace tollbook {

QString ReadIniValue(const QString& path, const QString& section, const QString& key);
void WriteIniValue(const QString& path, const QString& section, const QString& key, const QString& value);

// True when the operating system is a 64-bit one.
bool IsWindows64Bit();

bool IsProcessRunning(const QString& executableName);
int CountProcesses(const QString& executableName);
bool TerminateProcesses(const QString& executableName);

// The build's file version, "5.0.0.2".
QString GetVersionText();

// The date as month/day/year text, "12/31/2019", with literal slashes whatever the locale.
QString DateToQueryText(const QDate& date);

// Upper-cases the letters a to z only, as the platform's comparisons of names and messages do.
QString upperAscii(const QString& text);

} // namespace tollbook
