// PrintJob, the capture agent: journals every finished print job of the CUPS server into jobs/printjob.tlj of the
// installation folder. Started hidden and without parameters; stopped by being killed.

#include "Capture.h"
#include "CupsJobSource.h"
#include "Installation.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace tollbook::agent;

namespace {

constexpr int PollSeconds = 2;
constexpr int RetrySeconds = 5;

void complain(const std::string& message)
{
    std::fprintf(stderr, "PrintJob: %s\n", message.c_str());
    std::fflush(stderr);
}

// Waits up to `seconds` for a stop signal; true when one came.
bool stopRequested(const sigset_t& stopSignals, int seconds)
{
    timespec timeout{ seconds, 0 };
    for (;;) {
        const int signal = ::sigtimedwait(&stopSignals, nullptr, &timeout);
        if (signal > 0) {
            return true;
        }
        if (errno != EINTR) {
            return false; // timed out
        }
    }
}

} // namespace

int main()
{
    // Stop signals are taken between rounds only, so a line and its state are never cut short by them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    const std::string executable = runningExecutable();
    if (executable.empty()) {
        complain("cannot find where this program lies");
        return 1;
    }
    const std::string jobsFolder = installationFolderOf(executable) + "/jobs";

    // One agent per installation: a second one waits until the first has gone.
    int lock = -1;
    std::string lastComplaint;
    for (;;) {
        if (lock < 0 && makeFolder(jobsFolder)) {
            lock = ::open((jobsFolder + "/printjob.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        }
        if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0) {
            break;
        }
        const std::string complaint = lock >= 0 && errno == EWOULDBLOCK
                                          ? "another agent is running for " + jobsFolder + "; waiting for it to end"
                                          : "cannot lock " + jobsFolder + "/printjob.lock: " + std::strerror(errno);
        if (complaint != lastComplaint) {
            complain(complaint);
            lastComplaint = complaint;
        }
        if (stopRequested(stopSignals, RetrySeconds)) {
            return 0;
        }
    }

    CupsJobSource source;
    JournalFile journal(jobsFolder);
    StateFile store(jobsFolder + "/printjob.state");
    Capture capture(source, journal, store, localHostName());
    capture.setLog(complain);

    std::string lastError;
    for (;;) {
        std::string error;
        const bool ok = capture.poll(error);
        if (!ok && error != lastError) {
            complain(error); // once per kind of trouble, not every round
        } else if (ok && !lastError.empty()) {
            complain("working again");
        }
        lastError = ok ? std::string() : error;
        if (stopRequested(stopSignals, ok ? PollSeconds : RetrySeconds)) {
            return 0;
        }
    }
}
