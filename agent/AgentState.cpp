#include "AgentState.h"

#include "JournalFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace tollbook::agent {

namespace {

const char Header[] = "tollbook-printjob-state 1";

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

} // namespace

std::string serializeState(const AgentState& state)
{
    std::string text = Header;
    text += "\nnext " + std::to_string(state.nextJob) + "\nopen";
    for (int job : state.openJobs) {
        text += ' ' + std::to_string(job);
    }
    text += "\ncreated " + std::to_string(static_cast<long long>(state.newestCreation)) + "\nwriting " +
            std::to_string(state.writingJob) + "\nend\n";
    return text;
}

bool parseState(const std::string& text, AgentState& state)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != Header) {
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
            if (!(words >> word) || !parseWhole(word, value) || value > 0x7fffffff) {
                return false;
            }
            parsed.nextJob = static_cast<int>(value);
            next = true;
        } else if (key == "open") {
            while (words >> word) {
                if (!parseWhole(word, value) || value > 0x7fffffff) {
                    return false;
                }
                parsed.openJobs.insert(static_cast<int>(value));
            }
        } else if (key == "created") {
            if (!(words >> word) || !parseWhole(word, value)) {
                return false;
            }
            parsed.newestCreation = static_cast<std::time_t>(value);
            created = true;
        } else if (key == "writing") {
            if (!(words >> word) || !parseWhole(word, value) || value > 0x7fffffff) {
                return false;
            }
            parsed.writingJob = static_cast<int>(value);
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
{
}

StateStore::LoadResult StateFile::load(AgentState& state, std::string& error)
{
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return LoadResult::Missing;
        }
        error = "cannot open " + m_path + ": " + std::strerror(errno);
        return LoadResult::Failed;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = "cannot read " + m_path + ": " + std::strerror(errno);
            ::close(fd);
            return LoadResult::Failed;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!parseState(text, state)) {
        error = m_path + " is not a state file";
        return LoadResult::Missing;
    }
    return LoadResult::Loaded;
}

bool StateFile::save(const AgentState& state, std::string& error)
{
    const std::string temporary = m_path + ".tmp";
    const std::string text = serializeState(state);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "cannot create " + temporary + ": " + std::strerror(errno);
        return false;
    }
    int code = 0;
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written != static_cast<ssize_t>(text.size())) {
        code = written < 0 ? errno : ENOSPC;
    } else if (::fsync(fd) != 0) {
        code = errno;
    }
    if (::close(fd) != 0 && code == 0) {
        code = errno;
    }
    if (code != 0) {
        error = "cannot write " + temporary + ": " + std::strerror(code);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), m_path.c_str()) != 0) {
        error = "cannot replace " + m_path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    const std::size_t slash = m_path.rfind('/');
    syncFolder(slash == std::string::npos ? std::string(".") : m_path.substr(0, slash == 0 ? 1 : slash));
    return true;
}

} // namespace tollbook::agent
