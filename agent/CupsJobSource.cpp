#include "CupsJobSource.h"

#include "PageCounter.h"

#include <cups/cups.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>

namespace tollbook::agent {

namespace {

// Jobs asked for per Get-Jobs request.
constexpr int PageSize = 100;

// How long the printer defaults are taken as they are.
constexpr std::time_t PrinterLifetime = 60;

// Documents larger than this are not opened to count their pages.
constexpr off_t LargestCountedDocument = off_t(1) << 30;

const char* const JobAttributes[] = {
    "job-id",
    "job-state",
    "job-printer-uri",
    "job-originating-user-name",
    "job-originating-host-name",
    "job-name",
    "document-format",
    "media",
    "media-col",
    "sides",
    "print-color-mode",
    "Duplex",
    "ColorModel",
    "job-k-octets",
    "time-at-creation",
    "time-at-completed",
    "job-impressions-completed",
    "copies",
    "number-of-documents",
};

const char* const PrinterAttributes[] = {
    "printer-make-and-model", "media-default", "sides-default", "print-color-mode-default", "color-supported",
};

// The server's own name for its printers and jobs; the server goes by the resource path alone.
const char ServerUri[] = "ipp://localhost/";

// Never ask anyone for a password: the agent runs without a console.
const char* noPassword(const char*, http_t*, const char*, const char*, void*)
{
    return nullptr;
}

std::string text(ipp_attribute_t* attribute)
{
    const char* value = ippGetString(attribute, 0, nullptr);
    return value ? std::string(value) : std::string();
}

int number(ipp_attribute_t* attribute)
{
    const ipp_tag_t tag = ippGetValueTag(attribute);
    return tag == IPP_TAG_INTEGER || tag == IPP_TAG_ENUM ? ippGetInteger(attribute, 0) : 0;
}

void readMediaCol(ipp_attribute_t* attribute, JobSnapshot& job)
{
    ipp_t* collection = ippGetCollection(attribute, 0);
    ipp_attribute_t* size = collection ? ippFindAttribute(collection, "media-size", IPP_TAG_BEGIN_COLLECTION) : nullptr;
    ipp_t* dimensions = size ? ippGetCollection(size, 0) : nullptr;
    if (dimensions) {
        job.mediaWidth = number(ippFindAttribute(dimensions, "x-dimension", IPP_TAG_INTEGER));
        job.mediaLength = number(ippFindAttribute(dimensions, "y-dimension", IPP_TAG_INTEGER));
    }
}

void readJobAttribute(ipp_attribute_t* attribute, JobSnapshot& job)
{
    const std::string_view name = ippGetName(attribute);
    if (name == "job-id") {
        job.id = number(attribute);
    } else if (name == "job-state") {
        job.state = static_cast<JobState>(number(attribute));
    } else if (name == "job-printer-uri") {
        job.printerUri = text(attribute);
    } else if (name == "job-originating-user-name") {
        job.user = text(attribute);
    } else if (name == "job-originating-host-name") {
        job.host = text(attribute);
    } else if (name == "job-name") {
        job.name = text(attribute);
    } else if (name == "document-format") {
        job.documentFormat = text(attribute);
    } else if (name == "media") {
        job.media = text(attribute);
    } else if (name == "media-col") {
        readMediaCol(attribute, job);
    } else if (name == "sides") {
        job.sides = text(attribute);
    } else if (name == "print-color-mode") {
        job.colorMode = text(attribute);
    } else if (name == "Duplex") {
        job.duplexOption = text(attribute);
    } else if (name == "ColorModel") {
        job.colorModelOption = text(attribute);
    } else if (name == "job-k-octets") {
        job.kOctets = number(attribute);
    } else if (name == "time-at-creation") {
        job.createdAt = number(attribute);
    } else if (name == "time-at-completed") {
        job.completedAt = number(attribute);
    } else if (name == "job-impressions-completed") {
        job.impressions = number(attribute);
    } else if (name == "copies") {
        job.copies = number(attribute);
    } else if (name == "number-of-documents") {
        job.documents = number(attribute);
    }
}

// The jobs of a response, one per job group, in the order given.
std::vector<JobSnapshot> jobsOf(ipp_t* response)
{
    std::vector<JobSnapshot> jobs;
    JobSnapshot job;
    bool inJob = false;
    auto flush = [&] {
        if (inJob && job.id > 0) {
            jobs.push_back(job);
        }
        job = JobSnapshot();
        inJob = false;
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute; attribute = ippNextAttribute(response)) {
        if (!ippGetName(attribute) || ippGetGroupTag(attribute) != IPP_TAG_JOB) {
            flush();
            continue;
        }
        inJob = true;
        readJobAttribute(attribute, job);
    }
    flush();
    return jobs;
}

void addRequestingUser(ipp_t* request)
{
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
}

// "ipp://localhost/printers/Office" for a job printed on ".../printers/Office" (or ".../classes/...").
std::string localPrinterUri(const std::string& printerUri)
{
    char scheme[32];
    char user[256];
    char host[256];
    char resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_NONE, printerUri.c_str(), scheme, sizeof scheme, user, sizeof user, host,
                        sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK) {
        return std::string();
    }
    return std::string("ipp://localhost") + resource;
}

// Pages of the document that a descriptor holds.
int countPagesIn(int fd)
{
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || info.st_size <= 0 || info.st_size > LargestCountedDocument) {
        return 0;
    }
    void* data = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED) {
        return 0;
    }
    const int pages =
        countDocumentPages(std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(info.st_size)));
    ::munmap(data, static_cast<std::size_t>(info.st_size));
    return pages;
}

} // namespace

CupsJobSource::CupsJobSource()
{
    cupsSetPasswordCB2(noPassword, nullptr);
}

CupsJobSource::~CupsJobSource()
{
    disconnect();
}

void CupsJobSource::disconnect()
{
    if (m_http) {
        httpClose(m_http);
        m_http = nullptr;
    }
}

bool CupsJobSource::connect(std::string& error)
{
    if (m_http) {
        return true;
    }
    m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
    if (!m_http) {
        error = std::string("cannot reach the print server ") + cupsServer() + ": " + cupsLastErrorString();
        return false;
    }
    return true;
}

ipp_t* CupsJobSource::request(ipp_t* request, std::string& error, int* status)
{
    if (!connect(error)) {
        ippDelete(request);
        return nullptr;
    }
    ipp_t* response = cupsDoRequest(m_http, request, "/");
    if (!response) {
        error = std::string("print server ") + cupsServer() + ": " + cupsLastErrorString();
        disconnect();
        return nullptr;
    }
    if (status) {
        *status = ippGetStatusCode(response);
    }
    return response;
}

JobSource::Result CupsJobSource::getJobs(const char* which, int firstJob, int limit, std::vector<JobSnapshot>& jobs,
                                         std::string& error)
{
    ipp_t* query = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(query, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, ServerUri);
    addRequestingUser(query);
    ippAddString(query, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, which);
    if (firstJob > 0) {
        ippAddInteger(query, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "first-job-id", firstJob);
    }
    if (limit > 0) {
        ippAddInteger(query, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "limit", limit);
    }
    ippAddStrings(query, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(JobAttributes)), nullptr, JobAttributes);
    int status = 0;
    ipp_t* response = request(query, error, &status);
    if (!response) {
        return Result::Failed;
    }
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE && status != IPP_STATUS_ERROR_NOT_FOUND) {
        error = std::string("Get-Jobs: ") + ippErrorString(static_cast<ipp_status_t>(status));
        ippDelete(response);
        return Result::Failed;
    }
    jobs = jobsOf(response);
    ippDelete(response);

    // CUPS always knows a job's owner; it leaves the owner out for whoever may not see it (JobPrivateValues).
    if (!m_toldHiddenOwners && std::any_of(jobs.begin(), jobs.end(), [](const JobSnapshot& job) {
            return isFinished(job.state) && job.user.empty();
        })) {
        m_toldHiddenOwners = true;
        std::fprintf(stderr,
                     "PrintJob: the print server hides job owners and names from user %s; run the agent as a member "
                     "of its SystemGroup or set \"JobPrivateValues none\" in the server's policy\n",
                     cupsUser());
    }
    return Result::Ok;
}

JobSource::Result CupsJobSource::jobsFrom(int firstJob, std::vector<JobSnapshot>& jobs, std::string& error)
{
    jobs.clear();
    int next = std::max(firstJob, 1);
    for (;;) {
        std::vector<JobSnapshot> page;
        if (getJobs("all", next, PageSize, page, error) != Result::Ok) {
            return Result::Failed;
        }
        int highest = 0;
        for (JobSnapshot& job : page) {
            highest = std::max(highest, job.id);
            if (job.id >= next) {
                jobs.push_back(std::move(job));
            }
        }
        if (static_cast<int>(page.size()) < PageSize || highest < next) {
            break;
        }
        next = highest + 1;
    }
    std::sort(jobs.begin(), jobs.end(), [](const JobSnapshot& a, const JobSnapshot& b) { return a.id < b.id; });
    return Result::Ok;
}

JobSource::Result CupsJobSource::job(int id, JobSnapshot& job, std::string& error)
{
    ipp_t* query = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(query, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, ServerUri);
    ippAddInteger(query, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
    addRequestingUser(query);
    ippAddStrings(query, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(JobAttributes)), nullptr, JobAttributes);
    int status = 0;
    ipp_t* response = request(query, error, &status);
    if (!response) {
        return Result::Failed;
    }
    if (status == IPP_STATUS_ERROR_NOT_FOUND || status == IPP_STATUS_ERROR_GONE) {
        ippDelete(response);
        return Result::NotFound;
    }
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE) {
        error = "Get-Job-Attributes " + std::to_string(id) + ": " + ippErrorString(static_cast<ipp_status_t>(status));
        ippDelete(response);
        return Result::Failed;
    }
    const std::vector<JobSnapshot> jobs = jobsOf(response);
    ippDelete(response);
    if (jobs.empty() || jobs.front().id != id) {
        return Result::NotFound;
    }
    job = jobs.front();
    return Result::Ok;
}

JobSource::Result CupsJobSource::latestJobs(std::vector<JobSnapshot>& jobs, std::string& error)
{
    std::vector<JobSnapshot> newestFinished;
    if (getJobs("not-completed", 0, 0, jobs, error) != Result::Ok ||
        getJobs("completed", 0, 1, newestFinished, error) != Result::Ok) {
        return Result::Failed;
    }
    jobs.insert(jobs.end(), newestFinished.begin(), newestFinished.end());
    return Result::Ok;
}

JobSource::Result CupsJobSource::finishedSince(std::time_t since, std::vector<JobSnapshot>& jobs, std::string& error)
{
    // CUPS lists finished jobs newest completion first: a short page usually reaches back far enough. Should a
    // server list them in another order, the whole list is asked for.
    for (int limit = 20;; limit *= 10) {
        std::vector<JobSnapshot> page;
        if (getJobs("completed", 0, limit, page, error) != Result::Ok) {
            return Result::Failed;
        }
        const bool newestFirst =
            std::is_sorted(page.begin(), page.end(),
                           [](const JobSnapshot& a, const JobSnapshot& b) { return a.completedAt > b.completedAt; });
        const bool whole = limit == 0 || static_cast<int>(page.size()) < limit ||
                           (newestFirst && !page.empty() && page.back().completedAt < since);
        if (whole) {
            jobs.clear();
            std::copy_if(page.begin(), page.end(), std::back_inserter(jobs),
                         [since](const JobSnapshot& job) { return job.completedAt >= since; });
            return Result::Ok;
        }
        if (limit >= 20000) {
            limit = 0; // the next request has no limit
        }
    }
}

JobSource::Result CupsJobSource::printer(const JobSnapshot& job, PrinterInfo& printer, std::string& error)
{
    const std::string uri = localPrinterUri(job.printerUri);
    if (uri.empty()) {
        return Result::NotFound;
    }
    const std::time_t now = std::time(nullptr);
    auto cached = m_printers.find(uri);
    if (cached != m_printers.end() && now >= cached->second.fetched && now - cached->second.fetched < PrinterLifetime) {
        printer = cached->second.info;
        return Result::Ok;
    }

    ipp_t* query = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(query, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    addRequestingUser(query);
    ippAddStrings(query, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(PrinterAttributes)), nullptr, PrinterAttributes);
    int status = 0;
    ipp_t* response = request(query, error, &status);
    if (!response) {
        return Result::Failed;
    }
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE) {
        ippDelete(response);
        return Result::NotFound; // a printer deleted since, for instance
    }
    PrinterInfo info;
    info.makeAndModel = text(ippFindAttribute(response, "printer-make-and-model", IPP_TAG_ZERO));
    info.mediaDefault = text(ippFindAttribute(response, "media-default", IPP_TAG_ZERO));
    info.sidesDefault = text(ippFindAttribute(response, "sides-default", IPP_TAG_ZERO));
    info.colorModeDefault = text(ippFindAttribute(response, "print-color-mode-default", IPP_TAG_ZERO));
    if (ipp_attribute_t* color = ippFindAttribute(response, "color-supported", IPP_TAG_BOOLEAN)) {
        info.colorSupported = ippGetBoolean(color, 0) != 0;
    }
    ippDelete(response);

    m_printers[uri] = CachedPrinter{ info, now };
    printer = info;
    return Result::Ok;
}

int CupsJobSource::documentPages(const JobSnapshot& job)
{
    const std::string uri = localPrinterUri(job.printerUri);
    std::string error;
    if (uri.empty() || !connect(error)) {
        return 0;
    }
    int pages = 0;
    for (int document = 1; document <= std::max(job.documents, 1); ++document) {
        std::FILE* file = std::tmpfile();
        if (!file) {
            return pages;
        }
        ipp_t* query = ippNewRequest(IPP_OP_CUPS_GET_DOCUMENT);
        ippAddString(query, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
        ippAddInteger(query, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job.id);
        ippAddInteger(query, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "document-number", document);
        addRequestingUser(query);
        ipp_t* response = cupsDoIORequest(m_http, query, "/", -1, fileno(file));
        const bool fetched = response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE;
        ippDelete(response);
        if (!response) {
            disconnect();
        }
        if (fetched && std::fflush(file) == 0) {
            pages += countPagesIn(fileno(file));
        }
        std::fclose(file);
    }
    return pages;
}

} // namespace tollbook::agent
