#include "platform/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tollbook {

namespace {

std::string reason(int code)
{
    return std::strerror(code);
}

// The file a symbolic link finally names, so that the link itself stays a link.
std::string resolveLinks(const std::string& path)
{
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info
        {
        };
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return target;
        }
        char buffer[PATH_MAX];
        const ssize_t length = ::readlink(target.c_str(), buffer, sizeof buffer - 1);
        if (length < 0) {
            return target;
        }
        std::string link(buffer, static_cast<std::size_t>(length));
        if (!link.empty() && link.front() != '/') {
            const std::size_t slash = target.rfind('/');
            link = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
        }
        target = link;
    }
    return target;
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Writes every byte or returns the error; a write that stores nothing counts as a full disk.
int writeAll(int fd, std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            return ENOSPC;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// The flush to disk and the size the file system reports afterwards.
int syncAndCheckSize(int fd, std::size_t size)
{
    if (::fsync(fd) != 0) {
        return errno;
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0) {
        return errno;
    }
    return static_cast<std::size_t>(info.st_size) == size ? 0 : EIO;
}

void syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool refusesNewFiles(int code)
{
    return code == EACCES || code == EPERM;
}

AtomicWriteResult failure(const std::string& what, const std::string& path, int code)
{
    AtomicWriteResult result;
    result.error = what + " " + path + ": " + reason(code);
    return result;
}

// The folder refuses a new file: the file is written where it is. posix_fallocate reserves the room before
// the first byte changes, so a full disk fails with the old content intact.
AtomicWriteResult writeInPlace(const std::string& path, std::string_view bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return failure("cannot write", path, errno);
    }
    int code = 0;
    if (!bytes.empty()) {
        code = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes.size()));
        if (code == EOPNOTSUPP || code == EINVAL) {
            code = 0; // the file system reserves nothing ahead; the checks below still catch a short write
        }
    }
    if (code == 0) {
        code = writeAll(fd, bytes);
    }
    if (code == 0 && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
        code = errno;
    }
    if (code == 0) {
        code = syncAndCheckSize(fd, bytes.size());
    }
    if (::close(fd) != 0 && code == 0) {
        code = errno;
    }
    if (code != 0) {
        return failure("cannot write", path, code);
    }
    AtomicWriteResult result;
    result.ok = true;
    result.inPlace = true;
    return result;
}

} // namespace

AtomicWriteResult writeFileAtomically(const std::string& path, std::string_view bytes, unsigned newFileMode)
{
    const std::string target = resolveLinks(path);
    const std::string folder = folderOf(target);

    struct stat existing
    {
    };
    const bool exists = ::stat(target.c_str(), &existing) == 0;

    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        const int code = errno;
        if (exists && refusesNewFiles(code)) {
            return writeInPlace(target, bytes);
        }
        return failure("cannot create a file beside", target, code);
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);

    int code = 0;
    if (exists) {
        // Owner first: changing it may clear set-id bits that the mode then puts back.
        if (::fchown(fd, existing.st_uid, existing.st_gid) != 0 && errno != EPERM) {
            code = errno;
        }
        if (code == 0 && ::fchmod(fd, existing.st_mode & 07777) != 0) {
            code = errno;
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(fd, static_cast<mode_t>(newFileMode) & ~mask & 07777) != 0) {
            code = errno;
        }
    }
    if (code == 0) {
        code = writeAll(fd, bytes);
    }
    if (code == 0) {
        code = syncAndCheckSize(fd, bytes.size());
    }
    if (::close(fd) != 0 && code == 0) {
        code = errno;
    }
    if (code == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) {
        code = errno;
    }
    if (code != 0) {
        ::unlink(temporary.c_str());
        return failure("cannot write", target, code);
    }
    syncFolder(folder);
    AtomicWriteResult result;
    result.ok = true;
    return result;
}

} // namespace tollbook
