#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <set>
#include <string>

namespace tollbook::agent {

// One completion of a job as the spooler reported it: a job printed again (restarted after it finished) completes
// again, later, and its impression count grows by the pages of the new run.
struct Completion
{
    std::time_t completedAt = 0;
    int impressions = 0;

    bool operator==(const Completion& other) const
    {
        return completedAt == other.completedAt && impressions == other.impressions;
    }
    bool operator!=(const Completion& other) const { return !(*this == other); }
};

// What the agent remembers between runs.
//
// Every job with a number below `nextJob` has been dealt with (written to the journal, or finished without pages),
// except those in `openJobs`, which had not finished when last seen. `nextJob` 0 means nothing is known yet.
// `newestCreation` is the creation time of the newest job seen, which tells a spooler that started numbering again
// from one that merely forgot old jobs.
//
// `writingJob` is the job whose line is being written, 0 when none; `writingLine` identifies that line (a hash of its
// text, 0 when unknown) and `writingCompletion` is the completion it charges.
//
// `completions` holds the last completion dealt with of recently finished jobs, so that a job that completes again
// is charged again, for the pages of its new run only; `completionsFrom` is the newest completion time looked at:
// every completion from then on that is not in `completions` is new. -1 when not known yet.
struct AgentState
{
    int nextJob = 0;
    std::set<int> openJobs;
    std::time_t newestCreation = 0;
    int writingJob = 0;
    std::uint64_t writingLine = 0;
    Completion writingCompletion;
    std::time_t completionsFrom = -1;
    std::map<int, Completion> completions;

    bool operator==(const AgentState& other) const
    {
        return nextJob == other.nextJob && openJobs == other.openJobs && newestCreation == other.newestCreation &&
               writingJob == other.writingJob && writingLine == other.writingLine &&
               writingCompletion == other.writingCompletion && completionsFrom == other.completionsFrom &&
               completions == other.completions;
    }
    bool operator!=(const AgentState& other) const { return !(*this == other); }
};

// Where the state is kept.
class StateStore
{
public:
    enum class LoadResult {
        Loaded,  // `message`, when not empty, says what the log should know (a damaged file passed over)
        Missing, // nothing was ever saved, or it was deleted
        Damaged, // something is there but no whole state; `message` says what
        Failed,  // it could not be read now; `message` says why
    };

    virtual ~StateStore() = default;
    virtual LoadResult load(AgentState& state, std::string& message) = 0;
    virtual bool save(const AgentState& state, std::string& error) = 0;
};

// The state in a small text file, replaced whole on each save, and the same text in a second file beside it
// (`<path>.bak`), written after the first: when one of them is damaged or deleted, the other still holds the state.
// Loading also removes the new files that saves cut short by a kill left behind.
class StateFile : public StateStore
{
public:
    explicit StateFile(std::string path);

    LoadResult load(AgentState& state, std::string& message) override;
    bool save(const AgentState& state, std::string& error) override;

    const std::string& path() const { return m_path; }
    const std::string& copyPath() const { return m_copyPath; }

private:
    void removeLeftovers() const;

    std::string m_path;
    std::string m_copyPath;
};

// The state as the file holds it, and back; parse gives false for anything that is not a whole state.
std::string serializeState(const AgentState& state);
bool parseState(const std::string& text, AgentState& state);

// How many completions the state keeps at most; older ones are let go first.
constexpr std::size_t RememberedCompletions = 1000;

} // namespace tollbook::agent
