#pragma once

#include "JobSource.h"

#include <ctime>
#include <map>
#include <string>

typedef struct _http_s http_t;
typedef struct _ipp_s ipp_t;

namespace tollbook::agent {

// The CUPS server of the CUPS defaults (the CUPS_SERVER environment, client.conf, the local socket), asked over IPP.
// Job listing pages through Get-Jobs by job number; a job's spooled documents are fetched with CUPS-Get-Document
// (kept only when the server preserves job files).
class CupsJobSource : public JobSource
{
public:
    CupsJobSource();
    ~CupsJobSource() override;
    CupsJobSource(const CupsJobSource&) = delete;
    CupsJobSource& operator=(const CupsJobSource&) = delete;

    Result jobsFrom(int firstJob, std::vector<JobSnapshot>& jobs, std::string& error) override;
    Result job(int id, JobSnapshot& job, std::string& error) override;
    Result latestJobs(std::vector<JobSnapshot>& jobs, std::string& error) override;
    Result finishedSince(std::time_t since, std::vector<JobSnapshot>& jobs, std::string& error) override;
    Result printer(const JobSnapshot& job, PrinterInfo& printer, std::string& error) override;
    int documentPages(const JobSnapshot& job) override;

    // Drops the connection, so that the next request connects anew.
    void disconnect();

private:
    bool connect(std::string& error);
    // Sends a request (which it takes over); the response, or null with `error` set.
    ipp_t* request(ipp_t* request, std::string& error, int* status = nullptr);
    Result getJobs(const char* which, int firstJob, int limit, std::vector<JobSnapshot>& jobs, std::string& error);

    struct CachedPrinter
    {
        PrinterInfo info;
        std::time_t fetched = 0;
    };

    http_t* m_http = nullptr;
    bool m_toldHiddenOwners = false;
    std::map<std::string, CachedPrinter> m_printers;
};

} // namespace tollbook::agent
