#pragma once

#include <ctime>
#include <set>
#include <string>

namespace tollbook::agent {

// What the agent remembers between runs.
//
// Every job with a number below `nextJob` has been dealt with (written to the journal, or finished without pages),
// except those in `openJobs`, which had not finished when last seen. `nextJob` 0 means nothing is known yet.
// `newestCreation` is the creation time of the newest job seen, which tells a spooler that started numbering again
// from one that merely forgot old jobs. `writingJob` is the open job whose line is being written, 0 when none.
struct AgentState
{
    int nextJob = 0;
    std::set<int> openJobs;
    std::time_t newestCreation = 0;
    int writingJob = 0;

    bool operator==(const AgentState& other) const
    {
        return nextJob == other.nextJob && openJobs == other.openJobs && newestCreation == other.newestCreation &&
               writingJob == other.writingJob;
    }
    bool operator!=(const AgentState& other) const { return !(*this == other); }
};

// Where the state is kept.
class StateStore
{
public:
    enum class LoadResult { Loaded, Missing, Failed };

    virtual ~StateStore() = default;
    // Missing when there is no state yet or it is unreadable as a state; Failed when it could not be read now.
    virtual LoadResult load(AgentState& state, std::string& error) = 0;
    virtual bool save(const AgentState& state, std::string& error) = 0;
};

// The state in a small text file, replaced whole on each save (written beside it, flushed, renamed over it).
class StateFile : public StateStore
{
public:
    explicit StateFile(std::string path);

    LoadResult load(AgentState& state, std::string& error) override;
    bool save(const AgentState& state, std::string& error) override;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// The state as the file holds it, and back; parse gives false for anything that is not a whole state.
std::string serializeState(const AgentState& state);
bool parseState(const std::string& text, AgentState& state);

} // namespace tollbook::agent
