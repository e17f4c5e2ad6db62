#pragma once

#include <QString>

namespace tollbook {

// Reading and writing of Windows initialisation files (config.ini, the language files), one value at a
// time, with the platform's profile-file rules:
// - sections and keys compare ignoring letter case; blanks around key and value are ignored;
// - a value enclosed in a matching pair of double or single quotation marks loses the marks;
// - a value is read up to 2047 characters;
// - the file is Windows-1252, or UTF-16LE (or UTF-8) starting with a byte-order mark; lines end in CR LF,
//   LF or CR;
// - a missing file, section or key reads as the empty text.
namespace IniFile {

constexpr int MaxValueLength = 2047;

// The value of key in section of the file at path; empty when anything is missing. Never fails.
QString readValue(const QString& path, const QString& section, const QString& key);

// Writes key=value into section, creating file, section and key as needed and keeping every other line
// and the file's encoding. An empty value is written as "KEY=". The file is replaced atomically: a crash
// or a full disk leaves the old content, never a file cut short. In a folder that refuses new files the
// file is written in place; a new file is readable by its owner and group only. A file the user may not
// write is not replaced. Throws PlainError "Unable to write to <path>" on failure.
void writeValue(const QString& path, const QString& section, const QString& key, const QString& value);

} // namespace IniFile
} // namespace tollbook
