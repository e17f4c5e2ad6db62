#pragma once

// File systems and users for tests of what happens when writing fails: a small tmpfs that a test can fill
// to the last byte, and a child process that runs as user nobody (root ignores file modes). Both need root;
// the tests skip without it.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace FileSystemFixture {

inline bool isRoot()
{
    return ::geteuid() == 0;
}

// A tmpfs of the given size mounted on a temporary folder for as long as the object lives.
class SmallTmpfs
{
public:
    explicit SmallTmpfs(int kilobytes)
    {
        if (!m_dir.isValid()) {
            return;
        }
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
        m_mounted = ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallTmpfs()
    {
        if (m_mounted) {
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
        }
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool isMounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Writes a filler file until the file system has no room left, not even for a new file's first block.
    bool fill() const
    {
        const int fd = ::open(QFile::encodeName(filePath(QStringLiteral("filler"))).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) {
            return false;
        }
        const QByteArray block(4096, 'f');
        int code = 0;
        while (code == 0) {
            if (::write(fd, block.constData(), static_cast<size_t>(block.size())) < 0) {
                code = errno;
            }
        }
        // The last partial block.
        while (::write(fd, block.constData(), 1) == 1) {
        }
        ::close(fd);
        return code == ENOSPC;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

// Runs work in a child process as user nobody and returns the child's exit code (work's result), or -1
// when the child could not change user or did not end normally. work must not use the event loop.
inline int runAsNobody(const std::function<int()>& work)
{
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) {
        return -1;
    }
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
            ::_exit(255);
        }
        ::_exit(work());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// Opens a folder and the folders above it for user nobody to pass through (temporary folders are 0700).
inline bool letNobodyThrough(const QString& folder)
{
    QDir dir(folder);
    while (true) {
        struct stat info
        {
        };
        const QByteArray path = QFile::encodeName(dir.absolutePath());
        if (::stat(path.constData(), &info) != 0) {
            return false;
        }
        if ((info.st_mode & S_IXOTH) == 0 && ::chmod(path.constData(), (info.st_mode & 07777) | S_IXOTH) != 0) {
            return false;
        }
        if (dir.isRoot() || !dir.cdUp()) {
            return true;
        }
    }
}

} // namespace FileSystemFixture
