#pragma once

#include <ctime>
#include <string>

namespace tollbook::agent {

// IPP job states.
enum class JobState {
    Pending = 3,
    Held = 4,
    Processing = 5,
    Stopped = 6,
    Canceled = 7,
    Aborted = 8,
    Completed = 9,
};

bool isFinished(JobState state);

// What the spooler tells about one job; empty texts and zero numbers stand for attributes it did not give.
struct JobSnapshot
{
    int id = 0;
    JobState state = JobState::Pending;
    std::string printerUri;
    std::string user;
    std::string host;
    std::string name;
    std::string documentFormat;
    std::string media;
    int mediaWidth = 0; // media-col's media-size, hundredths of a millimetre
    int mediaLength = 0;
    std::string sides;
    std::string colorMode;
    std::string duplexOption; // the PPD options that stand in for sides and print-color-mode
    std::string colorModelOption;
    long long kOctets = 0;
    std::time_t createdAt = 0;
    std::time_t completedAt = 0;
    int impressions = 0;
    int copies = 1;
    int documents = 1;
};

// What a job's printer says of itself; used for whatever the job did not ask for.
struct PrinterInfo
{
    std::string makeAndModel;
    std::string mediaDefault;
    std::string sidesDefault;
    std::string colorModeDefault;
    bool colorSupported = true;
};

// One journal line, field by field.
struct JournalRecord
{
    int job = 0;
    std::string printer;
    std::string machine;
    std::string user;
    std::string document;
    std::string notify;
    std::string dataType;
    std::string printProcessor;
    std::string parameters;
    std::string driver;
    int totalPages = 0;
    long long size = 0;
    std::string date;
    std::string time;
    int paperSize = 0;
    int paperLength = 0;
    int paperWidth = 0;
    bool duplex = false;
    bool color = false;
};

// Whether a finished job goes into the journal: every completed job, and a cancelled or aborted one that put pages
// on paper before it stopped.
bool isWorthRecording(const JobSnapshot& job);

// Whether the printer passes documents through untouched, so the spooler counts no pages.
bool isRawPrinter(const PrinterInfo& printer);

// The queue name at the end of a job-printer-uri ("ipp://host/printers/Office%20HP" gives "Office HP").
std::string printerNameFromUri(const std::string& uri);

// The journal record of a finished job. `documentPages` are the pages counted in the spooled document (0 when
// unknown), used when the spooler counted none; `localHost` names this computer for jobs that came from it.
JournalRecord describeJob(const JobSnapshot& job, const PrinterInfo& printer, int documentPages,
                          const std::string& localHost);

// The record as one journal line: 19 fields, each closed by "|", then CR LF. Characters that the format cannot carry
// inside a field ("|", line breaks, other control characters) become spaces.
std::string formatLine(const JournalRecord& record);

// The job number of a journal line (its first field), or -1 when the line has none.
int jobNumberOfLine(const std::string& line);

} // namespace tollbook::agent
