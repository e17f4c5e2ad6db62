#pragma once

#include <QString>
#include <QStringList>

namespace tollbook {

// Starting another program the way the desktop shell does: detached, without waiting, and without looking
// at what the program does afterwards. One implementation per platform; a Windows build would use
// ShellExecuteW with the verb "OPEN" and SW_HIDE or SW_SHOWNORMAL.
class ShellExecution
{
public:
    // A hidden start gives the program no console: on Linux its input and output go to the null device.
    // A normal start leaves the program its own windows and the output of this process.
    enum class Window { Hidden, Normal };

    virtual ~ShellExecution() = default;

    // Starts the program in the current folder and returns at once. False when it could not be started
    // (missing, not executable); the callers that must not notice a missing program ignore the result.
    virtual bool start(const QString& program, const QStringList& arguments, Window window) const = 0;

    // The implementation for the platform this build runs on.
    static const ShellExecution& system();
};

} // namespace tollbook
