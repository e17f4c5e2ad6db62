#pragma once

#include "AgentState.h"
#include "JobSource.h"
#include "JournalFile.h"

#include <functional>
#include <optional>
#include <string>

namespace tollbook::agent {

// Moves finished jobs from the spooler into the journal, each exactly once, across crashes.
//
// Before a job's line is written the saved state lists the job as open and as the one being written; once the line is
// on disk the job leaves the open list and the state is saved again. After a crash between the two, the next start
// finds the job as the last line of the file that the last line went to (kept even when the journal was taken over
// in the meantime, see JournalFile) and takes it as written; when it is not there, the job stays open and is written
// again.
//
// A job that completes again (restarted after it finished, and printed again) is charged again, one line per
// completion, for the pages of the new run; the state remembers the last completion dealt with of each recent job, by
// the same rule as the lines of first completions, so a completion is never charged twice.
//
// On its very first run the capture starts from the jobs that come after it: jobs already finished are not
// journalled, jobs still queued are. A state that is lost or damaged is never taken for a first run when the journal
// files show that the agent ran before: the state is rebuilt from the spooler's history, and a finished job that is
// not in the journal files is journalled when it finished after the agent was last known at work (the newest journal
// line, the last round that went through), and every one of them when nothing tells. What the agent does about it goes
// to the log.
class Capture
{
public:
    using Log = std::function<void(const std::string&)>;

    // How long before the newest journal line a job that is not in the journal may have finished unseen: the length
    // of the round that wrote that line, generously.
    static constexpr std::time_t RoundAllowance = 60;
    // The same after a round known to have gone through: the clocks of the agent and of the print server, and the
    // rounding of the server's times to the second.
    static constexpr std::time_t ClockAllowance = 2;

    Capture(JobSource& source, JournalFile& journal, StateStore& store, std::string localHost);

    // Where notices go that the administrator should read (a damaged state and what was done about it).
    void setLog(Log log) { m_log = std::move(log); }

    // When an agent of this installation last began a round that went through, as far as known (0 when not): every
    // job that finished before it had been dealt with.
    void setLastRound(std::time_t when) { m_lastRound = when; }

    // One round: journal the jobs that finished since the last one. After a failure the next round starts again from
    // the saved state, as after a restart.
    bool poll(std::string& error);

    const AgentState& state() const { return m_state; }

private:
    bool recover(std::string& error);
    bool rebuild(const std::string& reason, const JournalTrace& trace, std::string& error);
    bool step(std::string& error);
    bool startFromScratch(std::string& error);
    bool detectRenumbering(std::string& error);
    bool takeCompletionBaseline(std::string& error);
    bool chargeCompletionsAgain(std::string& error);
    // Journals a finished job: its first completion, or (`again`) a later one, whose pages are those added since
    // `before`, the completion charged last (not known when empty).
    bool record(const JobSnapshot& job, bool again, const std::optional<Completion>& before, std::string& error);
    void remember(int job, const Completion& completion);
    void rememberNewest(std::vector<JobSnapshot> jobs);
    bool save(std::string& error);
    void noteSeen(const JobSnapshot& job);
    void tell(const std::string& message) const;

    JobSource& m_source;
    JournalFile& m_journal;
    StateStore& m_store;
    std::string m_localHost;
    AgentState m_state;
    AgentState m_saved;
    bool m_ready = false;
    bool m_toldFirstRun = false;
    std::time_t m_lastRound = 0;
    Log m_log;
};

} // namespace tollbook::agent
