#include "AgentState.h"

#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tollbook::agent {

namespace {

const char Header[] = "tollbook-printjob-state 2";
const char HeaderVersion1[] = "tollbook-printjob-state 1";

bool parseWhole(const std::string& word, long long& value)
{
    if (word.empty() || word.size() > 18) {
        return false;
    }
    value = 0;
    for (char c : word) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return true;
}

bool parseJob(const std::string& word, int& job)
{
    long long value = 0;
    if (!parseWhole(word, value) || value > 0x7fffffff) {
        return false;
    }
    job = static_cast<int>(value);
    return true;
}

enum class ReadResult { Read, Missing, Failed };

ReadResult readWhole(const std::string& path, std::string& text, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return ReadResult::Missing;
        }
        error = "cannot open " + path + ": " + std::strerror(errno);
        return ReadResult::Failed;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadResult::Read;
}

} // namespace

std::string serializeState(const AgentState& state)
{
    std::string text = Header;
    text += "\nnext " + std::to_string(state.nextJob) + "\nopen";
    for (int job : state.openJobs) {
        text += ' ' + std::to_string(job);
    }
    text += "\ncreated " + std::to_string(static_cast<long long>(state.newestCreation)) + "\nwriting " +
            std::to_string(state.writingJob);
    if (state.writingJob != 0) {
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(state.writingLine));
        text += std::string(" ") + hash + ' ' +
                std::to_string(static_cast<long long>(state.writingCompletion.completedAt)) + ' ' +
                std::to_string(state.writingCompletion.impressions);
    }
    if (state.completionsFrom >= 0) {
        text += "\nfrom " + std::to_string(static_cast<long long>(state.completionsFrom));
    }
    text += "\ndone";
    for (const auto& [job, completion] : state.completions) {
        text += ' ' + std::to_string(job) + ':' + std::to_string(static_cast<long long>(completion.completedAt)) + ':' +
                std::to_string(completion.impressions);
    }
    text += "\nend\n";
    return text;
}

bool parseState(const std::string& text, AgentState& state)
{
    std::istringstream in(text);
    std::string line;
    // Version 1 lacks what tells a job completed again; it is read as a state that knows no completion yet.
    if (!std::getline(in, line) || (line != Header && line != HeaderVersion1)) {
        return false;
    }
    AgentState parsed;
    bool next = false;
    bool created = false;
    bool end = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        std::string word;
        long long value = 0;
        if (key == "next") {
            if (!(words >> word) || !parseJob(word, parsed.nextJob)) {
                return false;
            }
            next = true;
        } else if (key == "open") {
            while (words >> word) {
                int job = 0;
                if (!parseJob(word, job)) {
                    return false;
                }
                parsed.openJobs.insert(job);
            }
        } else if (key == "created") {
            if (!(words >> word) || !parseWhole(word, value)) {
                return false;
            }
            parsed.newestCreation = static_cast<std::time_t>(value);
            created = true;
        } else if (key == "writing") {
            if (!(words >> word) || !parseJob(word, parsed.writingJob)) {
                return false;
            }
            if (words >> word) {
                std::string completed;
                std::string impressions;
                if (word.size() != 16 || word.find_first_not_of("0123456789abcdef") != std::string::npos ||
                    !(words >> completed >> impressions) || !parseWhole(completed, value) ||
                    !parseJob(impressions, parsed.writingCompletion.impressions)) {
                    return false;
                }
                parsed.writingLine = std::stoull(word, nullptr, 16);
                parsed.writingCompletion.completedAt = static_cast<std::time_t>(value);
            }
        } else if (key == "from") {
            if (!(words >> word) || !parseWhole(word, value)) {
                return false;
            }
            parsed.completionsFrom = static_cast<std::time_t>(value);
        } else if (key == "done") {
            while (words >> word) {
                const std::size_t first = word.find(':');
                const std::size_t second = first == std::string::npos ? first : word.find(':', first + 1);
                int job = 0;
                Completion completion;
                if (second == std::string::npos || !parseJob(word.substr(0, first), job) ||
                    !parseWhole(word.substr(first + 1, second - first - 1), value) ||
                    !parseJob(word.substr(second + 1), completion.impressions)) {
                    return false;
                }
                completion.completedAt = static_cast<std::time_t>(value);
                parsed.completions[job] = completion;
            }
        } else if (key == "end") {
            end = true;
            break;
        } else {
            return false;
        }
    }
    if (!next || !created || !end) {
        return false;
    }
    state = parsed;
    return true;
}

StateFile::StateFile(std::string path)
    : m_path(std::move(path))
    , m_copyPath(m_path + ".bak")
{
}

// A save cut short by a kill leaves its new file beside the state (the name plus a dot and six characters); only one
// agent works in a folder, so whatever such file is there at start is left over.
void StateFile::removeLeftovers() const
{
    const std::size_t slash = m_path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : m_path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
    DIR* directory = ::opendir(folder.c_str());
    if (!directory) {
        return;
    }
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        for (const std::string& prefix : { base + ".", base + ".bak." }) {
            if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0 &&
                name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                                       prefix.size()) == std::string::npos) {
                ::unlink((folder + name).c_str());
            }
        }
    }
    ::closedir(directory);
}

StateStore::LoadResult StateFile::load(AgentState& state, std::string& message)
{
    removeLeftovers();
    std::string problems;
    bool unreadable = false;
    for (const std::string* path : { &m_path, &m_copyPath }) {
        std::string text;
        std::string problem;
        switch (readWhole(*path, text, problem)) {
            case ReadResult::Missing:
                problem = *path + " is missing";
                break;
            case ReadResult::Failed:
                unreadable = true;
                break;
            case ReadResult::Read:
                if (parseState(text, state)) {
                    message = problems.empty() ? std::string() : problems + "; the state was taken from " + *path;
                    return LoadResult::Loaded;
                }
                problem = *path + (text.empty() ? " is empty" : " does not hold a whole state");
                break;
        }
        problems += (problems.empty() ? "" : "; ") + problem;
    }
    message = problems;
    if (unreadable) {
        return LoadResult::Failed;
    }
    struct stat info = {};
    const bool anything = ::stat(m_path.c_str(), &info) == 0 || ::stat(m_copyPath.c_str(), &info) == 0;
    return anything ? LoadResult::Damaged : LoadResult::Missing;
}

bool StateFile::save(const AgentState& state, std::string& error)
{
    const std::string text = serializeState(state);
    // The copy follows the file: after a crash between the two it is one state behind, which repeats work (a line
    // written again at worst) but never skips any.
    for (const std::string* path : { &m_path, &m_copyPath }) {
        const AtomicWriteResult written = writeFileAtomically(*path, text);
        if (!written.ok) {
            error = written.error;
            return false;
        }
    }
    return true;
}

} // namespace tollbook::agent
