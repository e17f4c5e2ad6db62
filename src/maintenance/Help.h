#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QProcess;
class QWidget;

namespace tollbook {

// The help file of a language below the installation folder: help/Tollbook_<code>.chm.
QString helpFilePath(const QString& installFolder, const QString& code);

// How a compiled help file is shown: xchm (Debian's CHM viewer), started with the environment below.
//
// xchm shows each page as its MIME type says. It asks wxWidgets, which reads /usr/share/mime/globs without
// the weights: since shared-mime-info 2.2 that file also lists *.htm and *.html under application/xhtml+xml,
// and wxWidgets then takes every page for something other than HTML and shows its source text. The
// environment variable wx_filesys_no_mimetypesmanager makes wxWidgets use its own small table instead,
// where .htm is text/html. Nothing in the compiled file is at fault: any CHM shows the same.
struct HelpViewerCommand
{
    QString program;
    QStringList arguments;
    QStringList environment; // NAME=VALUE added to this process's environment
};

inline const QString HelpViewerName = QStringLiteral("xchm");

// xchm as found on the PATH; empty when it is not installed.
QString findHelpViewer();
HelpViewerCommand helpViewerCommand(const QString& viewerPath, const QString& helpFile);

// Sets up process to run the command: program, arguments, the environment added, no input.
void prepareHelpViewer(QProcess& process, const HelpViewerCommand& command);

// Starts a viewer without waiting; false when it could not be started. Detached unless replaced.
using HelpViewerStarter = std::function<bool(const HelpViewerCommand& command)>;
// Replaces the starter for the whole process and returns the one it replaces; an empty function brings back
// the detached start. Tests and the screenshot tool use it.
HelpViewerStarter setHelpViewerStarter(HelpViewerStarter starter);

// Opens the help file of the language in the help viewer, or, without one, with the desktop's program for
// it (openUrl, UrlOpener.h), under the hourglass cursor. A missing file opens nothing and shows nothing.
// The owner is the window the help was asked from.
void openHelp(const QString& installFolder, const QString& code, QWidget* owner);

} // namespace tollbook
