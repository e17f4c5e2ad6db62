#pragma once

#include "JobRecord.h"

#include <string>
#include <vector>

namespace tollbook::agent {

// The spooler as the capture sees it.
class JobSource
{
public:
    enum class Result { Ok, NotFound, Failed };

    virtual ~JobSource() = default;

    // Every job numbered `firstJob` or higher, in job-number order.
    virtual Result jobsFrom(int firstJob, std::vector<JobSnapshot>& jobs, std::string& error) = 0;

    // One job; NotFound once the spooler has forgotten it.
    virtual Result job(int id, JobSnapshot& job, std::string& error) = 0;

    // The jobs that have not finished and the most recently numbered finished one.
    virtual Result latestJobs(std::vector<JobSnapshot>& jobs, std::string& error) = 0;

    // Every finished job whose (last) completion time is `since` or later, in any order. A job restarted after it
    // finished leaves this list until it finishes again, with a later completion time.
    virtual Result finishedSince(std::time_t since, std::vector<JobSnapshot>& jobs, std::string& error) = 0;

    // The printer a job went to; NotFound leaves `printer` as it was.
    virtual Result printer(const JobSnapshot& job, PrinterInfo& printer, std::string& error) = 0;

    // The pages of the job's spooled documents (0 when they are not kept or their format has no page count).
    virtual int documentPages(const JobSnapshot& job) = 0;
};

} // namespace tollbook::agent
