#pragma once

#include <QString>
#include <QStringList>

namespace tollbook {

// Starting a program with administrator rights, as the service scripts need. One implementation per
// platform; a Windows build would use ShellExecuteW with the verb "runas" and SW_HIDE, which lets the
// system ask the user for the rights.
class Elevation
{
public:
    virtual ~Elevation() = default;

    // Starts the program hidden, without parameters and without waiting. False only when nothing could be
    // launched at all; whether the user grants the rights and the program runs is not known here.
    virtual bool startElevated(const QString& program) const = 0;

    // The implementation for the platform this build runs on.
    static const Elevation& system();
};

// What the Linux start runs for a program.
struct ElevatedCommand
{
    QString program;
    QStringList arguments;
};

// The command that runs program with administrator rights on Linux: the program itself when this process
// has them already; otherwise pkexec (at pkexecPath), which asks for them through the desktop's
// authentication agent; without pkexec, the program itself, which then finds it lacks the rights.
//
// pkexec refuses a caller whose parent has ended, and it asks on behalf of that parent. A detached start
// leaves no parent behind, so pkexec runs under a shell that waits for it and belongs to the user's
// session; the shell's "exit" keeps it from replacing itself with pkexec.
ElevatedCommand elevatedCommand(const QString& program, bool administrator, const QString& pkexecPath);

} // namespace tollbook
