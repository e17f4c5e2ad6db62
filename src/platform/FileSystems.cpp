#include "FileSystems.h"

#include <QFile>
#include <QStringList>

#include <sys/statfs.h>

namespace tollbook::FileSystems {

namespace {

// The types whose locking SQLite cannot rely on: network file systems, and FUSE file systems that reach over
// the network.
const QStringList NetworkTypes = { QStringLiteral("nfs"),        QStringLiteral("nfs4"),       QStringLiteral("cifs"),
                                   QStringLiteral("smb"),        QStringLiteral("smb2"),       QStringLiteral("smb3"),
                                   QStringLiteral("9p"),         QStringLiteral("afs"),        QStringLiteral("ceph"),
                                   QStringLiteral("fuse.sshfs"), QStringLiteral("fuse.rclone") };

TypeProbe& probe()
{
    static TypeProbe current;
    return current;
}

// Octal escapes of the mount table (a space is \040).
QString unescapeMountField(const QByteArray& field)
{
    QByteArray out;
    for (int i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size()) {
            out += char(field.mid(i + 1, 3).toInt(nullptr, 8));
            i += 3;
        } else {
            out += field.at(i);
        }
    }
    return QFile::decodeName(out);
}

// The type the mount table gives the mount point that holds path (the longest that is a prefix of it).
QString mountTableType(const QString& path)
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly)) {
        return QString();
    }
    QString best;
    QString type;
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 3) {
            continue;
        }
        const QString point = unescapeMountField(fields.at(1));
        const bool holds = path == point || point == QLatin1String("/") || path.startsWith(point + QLatin1Char('/'));
        if (holds && point.size() >= best.size()) {
            best = point;
            type = QString::fromLatin1(fields.at(2));
        }
    }
    return type;
}

} // namespace

QString systemFileSystemType(const QString& path)
{
    struct statfs info = {};
    if (::statfs(QFile::encodeName(path).constData(), &info) != 0) {
        return QString();
    }
    switch (static_cast<unsigned long>(info.f_type)) {
        case 0x6969:
            return QStringLiteral("nfs");
        case 0xFF534D42:
            return QStringLiteral("cifs");
        case 0x517B:
            return QStringLiteral("smb");
        case 0xFE534D42:
            return QStringLiteral("smb2");
        case 0x01021997:
            return QStringLiteral("9p");
        case 0x5346414F:
            return QStringLiteral("afs");
        case 0x00C36400:
            return QStringLiteral("ceph");
        case 0x65735546: // FUSE: which one only the mount table says
            return mountTableType(path);
        default:
            return QStringLiteral("local");
    }
}

void setTypeProbe(TypeProbe replacement)
{
    probe() = std::move(replacement);
}

QString networkFileSystem(const QString& path)
{
    const QString type = probe() ? probe()(path) : systemFileSystemType(path);
    return NetworkTypes.contains(type, Qt::CaseInsensitive) ? type : QString();
}

} // namespace tollbook::FileSystems
