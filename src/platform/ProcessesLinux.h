#pragma once

#include "platform/Processes.h"

namespace tollbook {

// The process list of Linux, read from /proc. A process's executable is the target of /proc/PID/exe,
// or, where that cannot be read, argv[0] of its command line, or else its command name.
class LinuxProcessList final : public ProcessList
{
public:
    QList<ProcessEntry> snapshot() const override;
    bool terminate(qint64 pid) const override;
    qint64 currentProcessId() const override;
    QString executableOf(qint64 pid) const override;
};

} // namespace tollbook
