#include "JournalFile.h"

#include "JobRecord.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tollbook::agent {

namespace {

const char ByteOrderMark[] = "\xEF\xBB\xBF";

std::string errorText(const std::string& what, int code)
{
    return what + ": " + std::strerror(code);
}

// Closes a descriptor when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

JournalFile::JournalFile(const std::string& jobsFolder)
    : m_folder(jobsFolder)
    , m_path(jobsFolder + "/printjob.tlj")
    , m_lastPath(jobsFolder + "/printjob.last")
{
}

bool JournalFile::append(const std::string& line, std::string& error)
{
    // A few tries: the file can be taken over between our open and our lock.
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (!makeFolder(m_folder)) {
            error = errorText("cannot create " + m_folder, errno);
            return false;
        }
        Descriptor file(::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
        if (file.get() < 0) {
            if (errno == ENOENT) {
                continue;
            }
            error = errorText("cannot open " + m_path, errno);
            return false;
        }
        // The application may lock the journal while it takes it over; wait for it.
        while (::flock(file.get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                error = errorText("cannot lock " + m_path, errno);
                return false;
            }
        }
        struct stat opened = {};
        struct stat named = {};
        if (::fstat(file.get(), &opened) != 0) {
            error = errorText("cannot examine " + m_path, errno);
            return false;
        }
        if (::stat(m_path.c_str(), &named) != 0 || !sameFile(opened, named)) {
            continue; // renamed or deleted after we opened it
        }

        ::unlink(m_lastPath.c_str());
        struct stat pinned = {};
        if (::link(m_path.c_str(), m_lastPath.c_str()) == 0 &&
            (::stat(m_lastPath.c_str(), &pinned) != 0 || !sameFile(opened, pinned))) {
            continue; // the name moved on to another file between the checks
        }

        std::string data;
        if (opened.st_size == 0) {
            data = ByteOrderMark;
        }
        data += line;
        const ssize_t written = ::write(file.get(), data.data(), data.size());
        if (written != static_cast<ssize_t>(data.size())) {
            const int code = written < 0 ? errno : ENOSPC;
            if (written > 0 && ::ftruncate(file.get(), opened.st_size) != 0) {
                error = errorText("cannot remove a part line from " + m_path, errno);
                return false;
            }
            error = errorText("cannot write " + m_path, code);
            return false;
        }
        if (::fsync(file.get()) != 0) {
            error = errorText("cannot flush " + m_path, errno);
            return false;
        }
        if (opened.st_size == 0) {
            syncFolder(m_folder);
        }
        if (::close(file.release()) != 0) {
            error = errorText("cannot close " + m_path, errno);
            return false;
        }
        return true;
    }
    error = "cannot open " + m_path + ": it keeps being replaced";
    return false;
}

int JournalFile::lastJob() const
{
    return jobNumberOfLine(lastLine());
}

std::string JournalFile::lastLine() const
{
    struct stat info = {};
    return lastLineInFile(::stat(m_lastPath.c_str(), &info) == 0 ? m_lastPath : m_path);
}

void JournalFile::forgetLastFile()
{
    ::unlink(m_lastPath.c_str());
}

JournalTrace JournalFile::trace() const
{
    JournalTrace trace;
    const std::string copy = m_folder + "/" + CopyName;
    const std::string rejected = m_folder + "/" + RejectedName;
    for (const std::string* path : { &m_path, &copy, &m_lastPath, &rejected }) {
        std::ifstream in(*path, std::ios::binary);
        if (!in) {
            continue;
        }
        std::string line;
        while (std::getline(in, line)) {
            // The rejected file holds each refused line after its reason and a tab.
            const std::size_t tab = path == &rejected ? line.find('\t') : std::string::npos;
            const int job = jobNumberOfLine(tab == std::string::npos ? line : line.substr(tab + 1));
            if (job > 0) {
                trace.jobs.insert(job);
            }
        }
        struct stat info = {};
        if (path != &rejected && ::stat(path->c_str(), &info) == 0) {
            trace.lastWritten = std::max(trace.lastWritten, info.st_mtime);
        }
    }
    return trace;
}

int lastJobInFile(const std::string& path)
{
    return jobNumberOfLine(lastLineInFile(path));
}

std::string lastLineInFile(const std::string& path)
{
    // Lines are short: the end of the file holds the last one.
    constexpr std::streamoff Tail = 64 * 1024;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return std::string();
    }
    const std::streamoff size = in.tellg();
    const std::streamoff start = size > Tail ? size - Tail : 0;
    std::string text(static_cast<std::size_t>(size - start), '\0');
    in.seekg(start);
    if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
        return std::string();
    }
    const std::size_t end = text.find_last_of('\n');
    if (end == std::string::npos) {
        return std::string();
    }
    const std::size_t begin = end == 0 ? std::string::npos : text.find_last_of('\n', end - 1);
    if (begin == std::string::npos && start > 0) {
        return std::string();
    }
    std::string line =
        text.substr(begin == std::string::npos ? 0 : begin + 1, end + 1 - (begin == std::string::npos ? 0 : begin + 1));
    if (begin == std::string::npos && line.rfind(ByteOrderMark, 0) == 0) {
        line.erase(0, 3);
    }
    return line;
}

bool makeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0777) == 0) {
        return true;
    }
    struct stat info = {};
    return errno == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void syncFolder(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace tollbook::agent
