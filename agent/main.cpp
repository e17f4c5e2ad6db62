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
#include <sys/stat.h>
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

    // One agent per installation: a second one waits until the first has gone. The lock file's time is that of the
    // last round that went through (see below); one made now tells nothing.
    const std::string lockPath = jobsFolder + "/printjob.lock";
    int lock = -1;
    bool lockMadeNow = false;
    std::string lastComplaint;
    for (;;) {
        if (lock < 0 && makeFolder(jobsFolder)) {
            lock = ::open(lockPath.c_str(), O_RDWR | O_CLOEXEC);
            if (lock < 0 && errno == ENOENT) {
                lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
                lockMadeNow = lock >= 0;
            }
        }
        if (lock >= 0 && ::flock(lock, LOCK_EX | LOCK_NB) == 0) {
            break;
        }
        const std::string complaint = lock >= 0 && errno == EWOULDBLOCK
                                          ? "another agent is running for " + jobsFolder + "; waiting for it to end"
                                          : "cannot lock " + lockPath + ": " + std::strerror(errno);
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
    struct stat lockInfo = {};
    if (!lockMadeNow && ::fstat(lock, &lockInfo) == 0) {
        capture.setLastRound(lockInfo.st_mtime);
    }

    std::string lastError;
    bool toldMarkFailure = false;
    for (;;) {
        std::string error;
        timespec roundStart = {};
        ::clock_gettime(CLOCK_REALTIME, &roundStart);
        const bool ok = capture.poll(error);
        // Every job that finished before this round began has been dealt with: should the state be lost, the lock
        // file's time still tells from when on jobs may be missing.
        const timespec times[2] = { roundStart, roundStart };
        if (ok && ::futimens(lock, times) != 0 && !toldMarkFailure) {
            complain("cannot mark the time of the round on " + lockPath + ": " + std::strerror(errno));
            toldMarkFailure = true;
        }
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
