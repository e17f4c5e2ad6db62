#include "Capture.h"

#include <algorithm>
#include <vector>

namespace tollbook::agent {

namespace {

// Identifies a journal line (FNV-1a), so that after a crash the line found last in the journal can be told from an
// earlier line of the same job; never 0, which stands for "not known".
std::uint64_t lineHash(const std::string& line)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : line) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash == 0 ? 1 : hash;
}

Completion completionOf(const JobSnapshot& job)
{
    return Completion{ job.completedAt, job.impressions };
}

// The job as one more completion charges it: the spooler's impression count goes on growing over the runs of a job.
JobSnapshot runSince(const JobSnapshot& job, const std::optional<Completion>& before)
{
    JobSnapshot run = job;
    if (before) {
        run.impressions = std::max(0, job.impressions - before->impressions);
    }
    return run;
}

std::string localTimeText(std::time_t when)
{
    std::tm local{};
    char text[32] = "?";
    if (localtime_r(&when, &local)) {
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    }
    return text;
}

std::string jobList(const std::vector<int>& jobs)
{
    std::string text;
    for (int job : jobs) {
        text += (text.empty() ? "" : ", ") + std::to_string(job);
    }
    return text.empty() ? std::string("none") : text;
}

} // namespace

Capture::Capture(JobSource& source, JournalFile& journal, StateStore& store, std::string localHost)
    : m_source(source)
    , m_journal(journal)
    , m_store(store)
    , m_localHost(std::move(localHost))
{
}

bool Capture::poll(std::string& error)
{
    if (!m_ready) {
        if (!recover(error)) {
            return false;
        }
        m_ready = true;
    }
    if (!step(error)) {
        m_ready = false;
        return false;
    }
    return true;
}

bool Capture::recover(std::string& error)
{
    AgentState loaded;
    std::string message;
    switch (m_store.load(loaded, message)) {
        case StateStore::LoadResult::Failed:
            error = message;
            return false;
        case StateStore::LoadResult::Loaded:
            m_state = loaded;
            m_saved = loaded;
            if (!message.empty()) {
                tell(message);
                m_saved.nextJob = -1; // the file passed over is written again at once
            }
            break;
        case StateStore::LoadResult::Missing: {
            const JournalTrace trace = m_journal.trace();
            if (trace.empty() && m_lastRound == 0) {
                m_state = AgentState();
                m_saved = m_state;
                if (!m_toldFirstRun) {
                    tell("no saved state and no trace of an earlier run: first run, jobs that finished before now are "
                         "not journalled");
                    m_toldFirstRun = true;
                }
                break;
            }
            if (!rebuild("the saved state is gone (" + message + ") although the agent ran before", trace, error)) {
                return false;
            }
            break;
        }
        case StateStore::LoadResult::Damaged:
            if (!rebuild("the saved state is damaged (" + message + ")", m_journal.trace(), error)) {
                return false;
            }
            break;
    }

    // A line may have reached the journal just before a crash, with the state not yet saved.
    if (m_state.writingJob != 0) {
        const std::string last = m_journal.lastLine();
        const bool written = m_state.writingLine != 0 ? !last.empty() && lineHash(last) == m_state.writingLine
                                                      : jobNumberOfLine(last) == m_state.writingJob;
        if (written) {
            m_state.openJobs.erase(m_state.writingJob);
            if (m_state.writingLine != 0) {
                remember(m_state.writingJob, m_state.writingCompletion);
            }
        }
        m_state.writingJob = 0;
        m_state.writingLine = 0;
        m_state.writingCompletion = Completion();
    }
    if (!save(error)) {
        return false;
    }
    m_journal.forgetLastFile();
    return true;
}

// Every job the spooler still holds is looked at: unfinished ones are open, finished ones that the journal files do
// not hold and that may have finished after the newest line go back to the open list, so that the first round
// journals them by the usual rule. Doubt is settled by journalling: a job charged twice can be seen and put right, a
// job never charged cannot.
bool Capture::rebuild(const std::string& reason, const JournalTrace& trace, std::string& error)
{
    std::vector<JobSnapshot> jobs;
    if (m_source.jobsFrom(1, jobs, error) != JobSource::Result::Ok) {
        error = reason + "; cannot rebuild it from the print server's history: " + error;
        return false;
    }
    // Every job that finished before this had been dealt with.
    std::time_t cutoff = 0;
    const bool cutoffKnown = trace.lastWritten != 0 || m_lastRound != 0;
    if (trace.lastWritten != 0) {
        cutoff = trace.lastWritten - RoundAllowance;
    }
    if (m_lastRound != 0) {
        cutoff = std::max(cutoff, m_lastRound - ClockAllowance);
    }

    AgentState rebuilt;
    rebuilt.nextJob = 1;
    rebuilt.completionsFrom = 0;
    std::vector<int> again;
    std::vector<JobSnapshot> dealtWith;
    m_state = rebuilt;
    for (const JobSnapshot& job : jobs) {
        noteSeen(job);
        m_state.nextJob = std::max(m_state.nextJob, job.id + 1);
        if (!isFinished(job.state)) {
            m_state.openJobs.insert(job.id);
        } else if (isWorthRecording(job) && trace.jobs.count(job.id) == 0 &&
                   (!cutoffKnown || job.completedAt >= cutoff)) {
            m_state.openJobs.insert(job.id);
            again.push_back(job.id);
        } else {
            m_state.completionsFrom = std::max(m_state.completionsFrom, job.completedAt);
            dealtWith.push_back(job);
        }
    }
    rememberNewest(dealtWith);
    m_saved = AgentState();
    m_saved.nextJob = -1; // saved whatever it holds
    if (!save(error)) {
        return false;
    }

    std::string notice = reason + "; rebuilt from the journal files and the print server's history (" +
                         std::to_string(jobs.size()) + " jobs): ";
    if (cutoffKnown) {
        notice += "finished jobs missing from the journal files and finished after " + localTimeText(cutoff) + " (";
        if (trace.lastWritten != 0) {
            notice +=
                "newest journal line written at " + localTimeText(trace.lastWritten) + (m_lastRound != 0 ? ", " : "");
        }
        if (m_lastRound != 0) {
            notice += "last round begun at " + localTimeText(m_lastRound);
        }
        notice += ") are journalled: " + jobList(again);
    } else {
        notice += "nothing is left to tell which jobs were journalled already, so every finished job the print "
                  "server still holds is journalled, and those charged before are charged twice: " +
                  jobList(again);
    }
    tell(notice);
    return true;
}

bool Capture::step(std::string& error)
{
    if (m_state.nextJob == 0) {
        return startFromScratch(error);
    }
    if (!detectRenumbering(error)) {
        return false;
    }

    const std::vector<int> open(m_state.openJobs.begin(), m_state.openJobs.end());
    for (int id : open) {
        JobSnapshot job;
        switch (m_source.job(id, job, error)) {
            case JobSource::Result::Failed:
                return false;
            case JobSource::Result::NotFound:
                m_state.openJobs.erase(id); // purged before we saw it finish
                break;
            case JobSource::Result::Ok:
                if (isWorthRecording(job)) {
                    if (!record(job, false, std::nullopt, error)) {
                        return false;
                    }
                } else if (isFinished(job.state)) {
                    m_state.openJobs.erase(id);
                    remember(id, completionOf(job));
                }
                break;
        }
    }

    std::vector<JobSnapshot> jobs;
    if (m_source.jobsFrom(m_state.nextJob, jobs, error) != JobSource::Result::Ok) {
        return false;
    }
    for (const JobSnapshot& job : jobs) {
        if (job.id < m_state.nextJob) {
            continue;
        }
        noteSeen(job);
        if (isWorthRecording(job)) {
            if (!record(job, false, std::nullopt, error)) {
                return false;
            }
        } else {
            if (!isFinished(job.state)) {
                m_state.openJobs.insert(job.id);
            } else {
                remember(job.id, completionOf(job));
            }
            m_state.nextJob = job.id + 1;
        }
    }
    if (!chargeCompletionsAgain(error)) {
        return false;
    }
    return save(error);
}

bool Capture::startFromScratch(std::string& error)
{
    std::vector<JobSnapshot> jobs;
    if (m_source.jobsFrom(1, jobs, error) != JobSource::Result::Ok) {
        return false;
    }
    AgentState fresh;
    fresh.nextJob = 1;
    fresh.completionsFrom = 0;
    m_state = fresh;
    for (const JobSnapshot& job : jobs) {
        noteSeen(job);
        if (!isFinished(job.state)) {
            m_state.openJobs.insert(job.id);
        } else {
            m_state.completionsFrom = std::max(m_state.completionsFrom, job.completedAt);
        }
        m_state.nextJob = std::max(m_state.nextJob, job.id + 1);
    }
    rememberNewest(jobs);
    return save(error);
}

// A spooler that lost its job list numbers new jobs from 1 again: a job below `nextJob`, not open, and created after
// every job seen so far can only come from such a restart.
bool Capture::detectRenumbering(std::string& error)
{
    std::vector<JobSnapshot> latest;
    if (m_source.latestJobs(latest, error) != JobSource::Result::Ok) {
        return false;
    }
    const bool renumbered = std::any_of(latest.begin(), latest.end(), [this](const JobSnapshot& job) {
        return m_state.newestCreation > 0 && job.id < m_state.nextJob && m_state.openJobs.count(job.id) == 0 &&
               job.createdAt > m_state.newestCreation;
    });
    if (renumbered) {
        m_state.nextJob = 1;
        m_state.openJobs.clear();
        m_state.completions.clear(); // their job numbers belong to the old count
        m_journal.forgetLastFile();
        if (!save(error)) {
            return false;
        }
    }
    return true;
}

// A state that has never looked at completions (written by an earlier version of the agent) starts from the newest
// one: what completed before is taken as dealt with.
bool Capture::takeCompletionBaseline(std::string& error)
{
    std::vector<JobSnapshot> finished;
    if (m_source.finishedSince(0, finished, error) != JobSource::Result::Ok) {
        return false;
    }
    std::time_t newest = 0;
    for (const JobSnapshot& job : finished) {
        newest = std::max(newest, job.completedAt);
    }
    m_state.completionsFrom = newest;
    finished.erase(std::remove_if(finished.begin(), finished.end(),
                                  [this](const JobSnapshot& job) {
                                      return job.id >= m_state.nextJob || m_state.openJobs.count(job.id) != 0 ||
                                             m_state.completions.count(job.id) != 0;
                                  }),
                   finished.end());
    rememberNewest(finished);
    return true;
}

// Jobs dealt with already that have completed again since: each new completion is charged once.
bool Capture::chargeCompletionsAgain(std::string& error)
{
    if (m_state.completionsFrom < 0) {
        return takeCompletionBaseline(error);
    }
    std::vector<JobSnapshot> finished;
    if (m_source.finishedSince(m_state.completionsFrom, finished, error) != JobSource::Result::Ok) {
        return false;
    }
    std::sort(finished.begin(), finished.end(), [](const JobSnapshot& a, const JobSnapshot& b) {
        return a.completedAt != b.completedAt ? a.completedAt < b.completedAt : a.id < b.id;
    });
    std::time_t newest = m_state.completionsFrom;
    for (const JobSnapshot& job : finished) {
        newest = std::max(newest, job.completedAt);
        if (job.id >= m_state.nextJob || m_state.openJobs.count(job.id) != 0) {
            continue; // a first completion: the rounds above deal with it
        }
        const auto known = m_state.completions.find(job.id);
        std::optional<Completion> before;
        if (known != m_state.completions.end()) {
            before = known->second;
            // The same completion, unless the count grew within the same second.
            if (before->completedAt == job.completedAt && job.impressions <= before->impressions) {
                continue;
            }
        }
        if (isWorthRecording(runSince(job, before))) {
            if (!record(job, true, before, error)) {
                return false;
            }
        } else {
            remember(job.id, completionOf(job));
        }
    }
    m_state.completionsFrom = newest;
    return true;
}

bool Capture::record(const JobSnapshot& job, bool again, const std::optional<Completion>& before, std::string& error)
{
    PrinterInfo printer;
    if (m_source.printer(job, printer, error) == JobSource::Result::Failed) {
        return false;
    }
    JobSnapshot run = runSince(job, before);
    if (again && !before) {
        run.impressions = 0; // the pages of the earlier runs are not known: the document's pages tell, if anything
    }
    const int documentPages =
        run.impressions == 0 && run.state == JobState::Completed ? m_source.documentPages(job) : 0;
    if (again && !before && documentPages == 0) {
        run.impressions = job.impressions;
    }
    const std::string line = formatLine(describeJob(run, printer, documentPages, m_localHost));

    if (!again) {
        m_state.openJobs.insert(job.id);
        m_state.nextJob = std::max(m_state.nextJob, job.id + 1);
    }
    m_state.writingJob = job.id;
    m_state.writingLine = lineHash(line);
    m_state.writingCompletion = completionOf(job);
    if (!save(error) || !m_journal.append(line, error)) {
        return false;
    }
    m_state.openJobs.erase(job.id);
    m_state.writingJob = 0;
    m_state.writingLine = 0;
    m_state.writingCompletion = Completion();
    remember(job.id, completionOf(job));
    if (!save(error)) {
        return false;
    }
    m_journal.forgetLastFile();
    return true;
}

// Keeps the newest completions among finished jobs taken as dealt with: the newest are listed again in the next round
// and must not pass for new, and each one known tells the pages of a later run.
void Capture::rememberNewest(std::vector<JobSnapshot> jobs)
{
    jobs.erase(std::remove_if(jobs.begin(), jobs.end(), [](const JobSnapshot& job) { return !isFinished(job.state); }),
               jobs.end());
    std::sort(jobs.begin(), jobs.end(),
              [](const JobSnapshot& a, const JobSnapshot& b) { return a.completedAt > b.completedAt; });
    jobs.resize(std::min(jobs.size(), RememberedCompletions));
    for (const JobSnapshot& job : jobs) {
        remember(job.id, completionOf(job));
    }
}

// Keeps the completion; when too many are kept, the oldest go first, but never one that the next look at the
// completions lists again (it would pass for new).
void Capture::remember(int job, const Completion& completion)
{
    m_state.completions[job] = completion;
    if (m_state.completions.size() <= RememberedCompletions) {
        return;
    }
    std::vector<std::pair<std::time_t, int>> byAge;
    for (const auto& [id, known] : m_state.completions) {
        byAge.emplace_back(known.completedAt, id);
    }
    std::sort(byAge.begin(), byAge.end());
    for (const auto& [completedAt, id] : byAge) {
        if (m_state.completions.size() <= RememberedCompletions || completedAt >= m_state.completionsFrom) {
            break;
        }
        m_state.completions.erase(id);
    }
}

bool Capture::save(std::string& error)
{
    if (m_state == m_saved) {
        return true;
    }
    if (!m_store.save(m_state, error)) {
        return false;
    }
    m_saved = m_state;
    return true;
}

void Capture::noteSeen(const JobSnapshot& job)
{
    m_state.newestCreation = std::max(m_state.newestCreation, job.createdAt);
}

void Capture::tell(const std::string& message) const
{
    if (m_log) {
        m_log(message);
    }
}

} // namespace tollbook::agent
