#include "platform/ShellExecution.h"

#include <QProcess>

namespace tollbook {

namespace {

#if !defined(Q_OS_WIN)
class LinuxShellExecution final : public ShellExecution
{
public:
    bool start(const QString& program, const QStringList& arguments, Window window) const override
    {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        // Never the terminal's input: a started program must not wait for someone to type.
        process.setStandardInputFile(QProcess::nullDevice());
        if (window == Window::Hidden) {
            process.setStandardOutputFile(QProcess::nullDevice());
            process.setStandardErrorFile(QProcess::nullDevice());
        }
        return process.startDetached();
    }
};
#endif

} // namespace

const ShellExecution& ShellExecution::system()
{
#if defined(Q_OS_WIN)
#error "A Windows build adds its ShellExecuteW implementation here"
#else
    static const LinuxShellExecution execution;
#endif
    return execution;
}

} // namespace tollbook
