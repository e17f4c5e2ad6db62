#pragma once

#include <ctime>
#include <set>
#include <string>

namespace tollbook::agent {

// The application's names for the journal taken over for import and for the lines that the import refused.
constexpr const char* CopyName = "printjobnew.tlj";
constexpr const char* RejectedName = "printjob.rejected";

// The jobs of the lines in the journal files, and when the newest line was written (0 when no journal file is
// left).
struct JournalTrace
{
    std::set<int> jobs;
    std::time_t lastWritten = 0;

    bool empty() const { return jobs.empty() && lastWritten == 0; }
};

// The job journal `jobs/printjob.tlj`. Every line is appended on its own (open, lock, one write, flush to disk,
// close), so the application may copy, rename or delete the file between two lines; a missing file is created again
// and starts with a UTF-8 byte-order mark.
//
// The file each line went to is also kept under a second name (a hard link, `jobs/printjob.last`) until the caller
// has saved its state, so that after a crash the last line can still be found when the journal was taken over in the
// meantime.
class JournalFile
{
public:
    explicit JournalFile(const std::string& jobsFolder);

    const std::string& path() const { return m_path; }

    // Appends one whole line; false with a reason when it could not be written (nothing of it is left behind).
    bool append(const std::string& line, std::string& error);

    // The job number of the last line in the file that the last append went to, wherever that file now lies (the
    // journal as it stands when that file is not known); -1 when there is none.
    int lastJob() const;

    // The last whole line (with its line break, without a byte-order mark) of that same file; empty when none.
    std::string lastLine() const;

    // Lets go of the file that the last append went to.
    void forgetLastFile();

    // What the journal and the files made from it (the copy being imported, the lines the import refused) still
    // tell of the jobs written.
    JournalTrace trace() const;

private:
    std::string m_folder;
    std::string m_path;
    std::string m_lastPath;
};

// The job number of the last whole line of a journal file; -1 when there is none or the file cannot be read.
int lastJobInFile(const std::string& path);

// The last whole line of a journal file, with its line break and without a byte-order mark; empty when none.
std::string lastLineInFile(const std::string& path);

// Creates a folder unless it exists; false when it neither exists nor could be made.
bool makeFolder(const std::string& path);

// Flushes a folder's entries (a new, removed or renamed file) to disk.
void syncFolder(const std::string& path);

} // namespace tollbook::agent
