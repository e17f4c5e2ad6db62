#pragma once

// The bytes of a language file as the installation delivers them: Windows-1252, CR LF after every line.

#include <QByteArray>
#include <QStringEncoder>
#include <QStringList>

inline QByteArray cp1252Lines(const QStringList& lines)
{
    QStringEncoder encoder("windows-1252");
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += QByteArray(encoder.encode(line)) + "\r\n";
    return bytes;
}
