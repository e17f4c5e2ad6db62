#pragma once

#include <QString>
#include <QStringList>

namespace tollbook {

// Running a program with administrator rights, as the service scripts need. One implementation per
// platform; a Windows build would use ShellExecuteExW with the verb "runas", SW_HIDE and the process
// handle kept to wait on, which lets the system ask the user for the rights.
// What became of a program run with administrator rights.
struct ElevatedRun
{
    enum class Outcome {
        Succeeded,    // it ran and ended with exit code 0
        NoMeansToAsk, // this process lacks the rights and nothing is installed that could ask for them
        NotGranted,   // the user (or the system's policy) refused the rights
        Failed,       // it could not be started, or ended with an error
    };
    Outcome outcome = Outcome::Failed;
    int exitCode = -1;
    QString errorOutput; // what it wrote to its error output, trimmed
};

class Elevation
{
public:
    virtual ~Elevation() = default;

    // Runs the program hidden, without parameters, and waits for it while the event loop goes on, so that
    // the caller can report what happened: a refused password or a script that refuses is not success.
    virtual ElevatedRun runElevated(const QString& program) const = 0;

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
// authentication agent; without pkexec, the program itself, which then finds it lacks the rights (the
// elevated run does not start it then).
//
// pkexec refuses a caller whose parent has ended, and it asks on behalf of that parent. A detached start
// leaves no parent behind, so pkexec runs under a shell that waits for it and belongs to the user's
// session; the shell's "exit" keeps it from replacing itself with pkexec.
ElevatedCommand elevatedCommand(const QString& program, bool administrator, const QString& pkexecPath);

struct ProcessResult
{
    int exitCode = -1; // -1 when it could not be started or did not end normally
    QString errorOutput;
};

// Runs a program with its input and output on the null device and waits for its end while the event loop
// goes on; its error output is kept.
ProcessResult runAndWait(const QString& program, const QStringList& arguments);

} // namespace tollbook
