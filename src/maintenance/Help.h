#pragma once

#include <QString>

class QWidget;

namespace tollbook {

// The help file of a language below the installation folder: help/Tollbook_<code>.chm.
QString helpFilePath(const QString& installFolder, const QString& code);

// Opens the help file of the language with the desktop's program for it (through openUrl, UrlOpener.h),
// under the hourglass cursor. A missing file opens nothing and shows nothing. The owner is the window the
// help was asked from.
void openHelp(const QString& installFolder, const QString& code, QWidget* owner);

} // namespace tollbook
