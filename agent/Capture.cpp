#include "Capture.h"

#include <algorithm>
#include <vector>

namespace tollbook::agent {

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
    switch (m_store.load(loaded, error)) {
        case StateStore::LoadResult::Failed:
            return false;
        case StateStore::LoadResult::Missing:
            loaded = AgentState();
            error.clear();
            break;
        case StateStore::LoadResult::Loaded:
            break;
    }
    m_state = loaded;
    m_saved = loaded;

    // A line may have reached the journal just before a crash, with the state not yet saved.
    if (m_state.writingJob != 0) {
        if (m_journal.lastJob() == m_state.writingJob) {
            m_state.openJobs.erase(m_state.writingJob);
        }
        m_state.writingJob = 0;
    }
    if (!save(error)) {
        return false;
    }
    m_journal.forgetLastFile();
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
                    if (!record(job, error)) {
                        return false;
                    }
                } else if (isFinished(job.state)) {
                    m_state.openJobs.erase(id);
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
            if (!record(job, error)) {
                return false;
            }
        } else {
            if (!isFinished(job.state)) {
                m_state.openJobs.insert(job.id);
            }
            m_state.nextJob = job.id + 1;
        }
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
    m_state = fresh;
    for (const JobSnapshot& job : jobs) {
        noteSeen(job);
        if (!isFinished(job.state)) {
            m_state.openJobs.insert(job.id);
        }
        m_state.nextJob = std::max(m_state.nextJob, job.id + 1);
    }
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
        m_journal.forgetLastFile(); // its job numbers belong to the old count
        if (!save(error)) {
            return false;
        }
    }
    return true;
}

bool Capture::record(const JobSnapshot& job, std::string& error)
{
    PrinterInfo printer;
    if (m_source.printer(job, printer, error) == JobSource::Result::Failed) {
        return false;
    }
    const int documentPages =
        job.impressions == 0 && job.state == JobState::Completed ? m_source.documentPages(job) : 0;
    const std::string line = formatLine(describeJob(job, printer, documentPages, m_localHost));

    m_state.openJobs.insert(job.id);
    m_state.nextJob = std::max(m_state.nextJob, job.id + 1);
    m_state.writingJob = job.id;
    if (!save(error) || !m_journal.append(line, error)) {
        return false;
    }
    m_state.openJobs.erase(job.id);
    m_state.writingJob = 0;
    if (!save(error)) {
        return false;
    }
    m_journal.forgetLastFile();
    return true;
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

} // namespace tollbook::agent
