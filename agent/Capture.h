#pragma once

#include "AgentState.h"
#include "JobSource.h"
#include "JournalFile.h"

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
// On its very first run the capture starts from the jobs that come after it: jobs already finished are not
// journalled, jobs still queued are.
class Capture
{
public:
    Capture(JobSource& source, JournalFile& journal, StateStore& store, std::string localHost);

    // One round: journal the jobs that finished since the last one. After a failure the next round starts again from
    // the saved state, as after a restart.
    bool poll(std::string& error);

    const AgentState& state() const { return m_state; }

private:
    bool recover(std::string& error);
    bool step(std::string& error);
    bool startFromScratch(std::string& error);
    bool detectRenumbering(std::string& error);
    bool record(const JobSnapshot& job, std::string& error);
    bool save(std::string& error);
    void noteSeen(const JobSnapshot& job);

    JobSource& m_source;
    JournalFile& m_journal;
    StateStore& m_store;
    std::string m_localHost;
    AgentState m_state;
    AgentState m_saved;
    bool m_ready = false;
};

} // namespace tollbook::agent
