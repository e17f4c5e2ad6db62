#include "platform/Elevation.h"

#include "platform/ShellExecution.h"

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

namespace {

#if !defined(Q_OS_WIN)
class LinuxElevation final : public Elevation
{
public:
    bool startElevated(const QString& program) const override
    {
        const ElevatedCommand command =
            elevatedCommand(program, ::geteuid() == 0, QStandardPaths::findExecutable(QStringLiteral("pkexec")));
        return ShellExecution::system().start(command.program, command.arguments, ShellExecution::Window::Hidden);
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
