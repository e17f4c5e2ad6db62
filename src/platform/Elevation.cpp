#include "platform/Elevation.h"

#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>

#if !defined(Q_OS_WIN)
#include <unistd.h>
#endif

namespace tollbook {

ElevatedCommand elevatedCommand(const QString& program, bool administrator, const QString& pkexecPath)
{
    if (administrator || pkexecPath.isEmpty()) {
        return { program, {} };
    }
    return { QStringLiteral("/bin/sh"),
             { QStringLiteral("-c"), QStringLiteral("\"$@\"; exit $?"), QStringLiteral("sh"), pkexecPath, program } };
}

ProcessResult runAndWait(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());

    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            loop.quit();
        }
    });
    process.start();
    if (process.state() != QProcess::NotRunning) {
        loop.exec();
    }

    ProcessResult result;
    if (process.error() == QProcess::FailedToStart) {
        result.errorOutput = program + QStringLiteral(": ") + process.errorString();
        return result;
    }
    result.errorOutput = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    return result;
}

namespace {

#if !defined(Q_OS_WIN)
// pkexec's own exit codes: the authentication dialog was dismissed, or the rights were not granted.
constexpr int PkexecDismissed = 126;
constexpr int PkexecNotAuthorized = 127;

class LinuxElevation final : public Elevation
{
public:
    ElevatedRun runElevated(const QString& program) const override
    {
        const bool administrator = ::geteuid() == 0;
        const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
        ElevatedRun run;
        if (!administrator && pkexec.isEmpty()) {
            run.outcome = ElevatedRun::Outcome::NoMeansToAsk;
            return run;
        }
        const ElevatedCommand command = elevatedCommand(program, administrator, pkexec);
        const ProcessResult result = runAndWait(command.program, command.arguments);
        run.exitCode = result.exitCode;
        run.errorOutput = result.errorOutput;
        if (result.exitCode == 0) {
            run.outcome = ElevatedRun::Outcome::Succeeded;
        } else if (!administrator && (result.exitCode == PkexecDismissed || result.exitCode == PkexecNotAuthorized)) {
            run.outcome = ElevatedRun::Outcome::NotGranted;
        } else {
            run.outcome = ElevatedRun::Outcome::Failed;
        }
        return run;
    }
};
#endif

} // namespace

const Elevation& Elevation::system()
{
#if defined(Q_OS_WIN)
#error "A Windows build adds its ShellExecuteW \"runas\" implementation here"
#else
    static const LinuxElevation elevation;
#endif
    return elevation;
}

} // namespace tollbook
