#pragma once

// Replacing a file's whole content so that a reader sees the old bytes or the new ones, never a mix, an empty
// file or a file cut short: the bytes go to a new file beside it, every write, the flush to disk and the size
// are checked, and only then is the new file renamed over the old one. A full disk, a read-only file system or
// any other failure leaves the old file as it was and is reported, never taken for success (QSaveFile of Qt 6.4
// commits a 0-byte file after "No space left on device").
//
// Plain C++ over POSIX, no Qt: the capture agent uses it too.

#include <string>
#include <string_view>

namespace tollbook {

struct AtomicWriteResult
{
    bool ok = false;
    // Written into the file itself because its folder refuses new files (a file the user may write in a folder
    // owned by root, as under /opt); the room is reserved first, so a full disk still leaves it untouched.
    bool inPlace = false;
    // What failed, with the file's name and the system's reason; empty on success.
    std::string error;
};

// Replaces the content of path (following a symbolic link to the file it names) with bytes. A file that exists
// keeps its owner, group and mode; a new file gets newFileMode (less the umask). When the folder refuses a new
// file but the file itself may be written, the bytes are written in place.
AtomicWriteResult writeFileAtomically(const std::string& path, std::string_view bytes, unsigned newFileMode = 0666);

} // namespace tollbook

#ifdef QT_CORE_LIB
#include <QByteArray>
#include <QFile>
#include <QString>

namespace tollbook {

// The same for Qt callers; the error text names the file in the system's words.
inline AtomicWriteResult writeFileAtomically(const QString& path, const QByteArray& bytes, unsigned newFileMode = 0666)
{
    return writeFileAtomically(QFile::encodeName(path).toStdString(),
                               std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                               newFileMode);
}

} // namespace tollbook
#endif
