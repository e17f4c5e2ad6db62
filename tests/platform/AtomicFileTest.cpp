#include "platform/AtomicFile.h"

#include "common/FileSystemFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace tollbook;
using FileSystemFixture::SmallTmpfs;

namespace {

std::string local(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

std::string_view view(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool putFile(const QString& path, const QByteArray& bytes, mode_t mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        return false;
    }
    file.close();
    return ::chmod(local(path).c_str(), mode) == 0;
}

struct stat statOf(const QString& path)
{
    struct stat info
    {
    };
    ::lstat(local(path).c_str(), &info);
    return info;
}

QStringList namesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// What the child run as nobody reports through its exit code.
enum ChildResult { Written = 0, WrittenInPlace = 1, Failed = 2, FailedWithoutReason = 3 };

int childResult(const AtomicWriteResult& result)
{
    if (!result.ok) {
        return result.error.empty() ? FailedWithoutReason : Failed;
    }
    return result.inPlace ? WrittenInPlace : Written;
}

const QByteArray OldContent =
    QByteArray("[App]\r\nDataBase=/srv/tollbook/Tollbook.db\r\nLanguage=pt_BR\r\n").repeated(20);

} // namespace

class AtomicFileTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replacesTheContent_data();
    void replacesTheContent();
    void fullDiskLeavesTheOldFile_data();
    void fullDiskLeavesTheOldFile();
    void folderRefusingNewFiles_data();
    void folderRefusingNewFiles();
    void symbolicLinkStaysALink();
    void existingFileKeepsModeAndOwner();
    void newFileMode_data();
    void newFileMode();
    void failures_data();
    void failures();
};

void AtomicFileTest::replacesTheContent_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("new file") << false << QByteArray("[App]\r\nPID=1\r\n");
    QTest::newRow("longer content") << true << OldContent + OldContent;
    QTest::newRow("shorter content") << true << QByteArray("[App]\r\n");
    QTest::newRow("empty content") << true << QByteArray();
}

void AtomicFileTest::replacesTheContent()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    if (exists) {
        QVERIFY(putFile(path, OldContent, 0644));
    }
    const AtomicWriteResult result = writeFileAtomically(local(path), view(bytes));
    QVERIFY2(result.ok, result.error.c_str());
    QVERIFY(!result.inPlace);
    QVERIFY(result.error.empty());
    QCOMPARE(contentOf(path), bytes);
    QCOMPARE(namesIn(dir.path()), QStringList{ QStringLiteral("config.ini") });
}

void AtomicFileTest::fullDiskLeavesTheOldFile_data()
{
    QTest::addColumn<bool>("folderRefusesNewFiles");

    QTest::newRow("replaced through a new file") << false;
    QTest::newRow("written in place") << true;
}

void AtomicFileTest::fullDiskLeavesTheOldFile()
{
    QFETCH(bool, folderRefusesNewFiles);
    if (!FileSystemFixture::isRoot()) {
        QSKIP("mounting a small file system needs root");
    }
    SmallTmpfs disk(256);
    if (!disk.isMounted()) {
        QSKIP("this machine refuses to mount a tmpfs (a container without the right to mount)");
    }

    const QString folder = disk.filePath(QStringLiteral("app"));
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/config.ini");
    QVERIFY(putFile(path, OldContent, 0666));
    // Owned by root and closed to others: user nobody may write the file but create nothing beside it.
    QVERIFY(::chmod(local(folder).c_str(), folderRefusesNewFiles ? 0755 : 0777) == 0);
    QVERIFY(disk.fill());

    const QByteArray bytes = QByteArray("[App]\r\nLanguage=es\r\n").repeated(2000);
    int outcome = -1;
    std::string error;
    if (folderRefusesNewFiles) {
        outcome = FileSystemFixture::runAsNobody(
            [&]() { return childResult(writeFileAtomically(local(path), view(bytes))); });
    } else {
        const AtomicWriteResult result = writeFileAtomically(local(path), view(bytes));
        outcome = childResult(result);
        error = result.error;
        QVERIFY2(error.find("No space left on device") != std::string::npos, error.c_str());
        QVERIFY2(error.find(local(path)) != std::string::npos, error.c_str());
    }
    QCOMPARE(outcome, int(Failed));
    QCOMPARE(contentOf(path), OldContent);
    QCOMPARE(namesIn(folder), QStringList{ QStringLiteral("config.ini") });
}

void AtomicFileTest::folderRefusingNewFiles_data()
{
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expected");

    QTest::newRow("writable file, longer content") << 0666 << OldContent + "Service=start\r\n" << int(WrittenInPlace);
    QTest::newRow("writable file, shorter content") << 0666 << QByteArray("[App]\r\n") << int(WrittenInPlace);
    QTest::newRow("read-only file") << 0644 << QByteArray("[App]\r\n") << int(Failed);
}

void AtomicFileTest::folderRefusingNewFiles()
{
    QFETCH(int, fileMode);
    QFETCH(QByteArray, bytes);
    QFETCH(int, expected);
    if (!FileSystemFixture::isRoot()) {
        QSKIP("acting as another user needs root");
    }

    QTemporaryDir dir;
    QVERIFY(FileSystemFixture::letNobodyThrough(dir.path()));
    // A folder owned by root that others may only read, as an installation under /opt.
    const QString folder = dir.filePath(QStringLiteral("opt"));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(::chmod(local(folder).c_str(), 0755) == 0);
    const QString path = folder + QStringLiteral("/config.ini");
    QVERIFY(putFile(path, OldContent, static_cast<mode_t>(fileMode)));
    const struct stat before = statOf(path);

    const int outcome =
        FileSystemFixture::runAsNobody([&]() { return childResult(writeFileAtomically(local(path), view(bytes))); });
    QCOMPARE(outcome, expected);

    const struct stat after = statOf(path);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(contentOf(path), expected == WrittenInPlace ? bytes : OldContent);
    QCOMPARE(namesIn(folder), QStringList{ QStringLiteral("config.ini") });
}

void AtomicFileTest::symbolicLinkStaysALink()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("shared"))));
    QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("app"))));
    const QString target = dir.filePath(QStringLiteral("shared/config.ini"));
    QVERIFY(putFile(target, OldContent, 0640));
    // A relative link, resolved from the link's own folder.
    const QString link = dir.filePath(QStringLiteral("app/config.ini"));
    QVERIFY(::symlink("../shared/config.ini", local(link).c_str()) == 0);

    const AtomicWriteResult result = writeFileAtomically(local(link), std::string_view("[App]\r\nPID=7\r\n"));
    QVERIFY2(result.ok, result.error.c_str());

    QVERIFY(S_ISLNK(statOf(link).st_mode));
    QCOMPARE(QFile::symLinkTarget(link), target);
    QCOMPARE(contentOf(target), QByteArray("[App]\r\nPID=7\r\n"));
    QCOMPARE(statOf(target).st_mode & 07777, mode_t(0640));
    QCOMPARE(namesIn(dir.filePath(QStringLiteral("app"))), QStringList{ QStringLiteral("config.ini") });
    QCOMPARE(namesIn(dir.filePath(QStringLiteral("shared"))), QStringList{ QStringLiteral("config.ini") });
}

void AtomicFileTest::existingFileKeepsModeAndOwner()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tollbook.state"));
    QVERIFY(putFile(path, OldContent, 0640));
    if (FileSystemFixture::isRoot()) {
        QVERIFY(::chown(local(path).c_str(), 65534, 65534) == 0);
    }
    const struct stat before = statOf(path);

    const AtomicWriteResult result = writeFileAtomically(local(path), std::string_view("new"));
    QVERIFY2(result.ok, result.error.c_str());

    const struct stat after = statOf(path);
    QCOMPARE(after.st_mode & 07777, mode_t(0640));
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(contentOf(path), QByteArray("new"));
}

void AtomicFileTest::newFileMode_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("expected");

    QTest::newRow("default, usual umask") << 022 << 0666 << 0644;
    QTest::newRow("owner only") << 022 << 0600 << 0600;
    QTest::newRow("owner and group, usual umask") << 022 << 0660 << 0640;
    QTest::newRow("owner and group, group umask") << 002 << 0660 << 0660;
    QTest::newRow("strict umask") << 077 << 0666 << 0600;
}

void AtomicFileTest::newFileMode()
{
    QFETCH(int, umask);
    QFETCH(int, requested);
    QFETCH(int, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    const mode_t previous = ::umask(static_cast<mode_t>(umask));
    const AtomicWriteResult result =
        writeFileAtomically(local(path), std::string_view("[App]\r\n"), static_cast<unsigned>(requested));
    ::umask(previous);
    QVERIFY2(result.ok, result.error.c_str());
    QCOMPARE(int(statOf(path).st_mode & 07777), expected);
}

void AtomicFileTest::failures_data()
{
    QTest::addColumn<QString>("relative");

    QTest::newRow("folder missing") << QStringLiteral("missing/config.ini");
    QTest::newRow("path is a folder") << QStringLiteral("folder");
    QTest::newRow("parent is a file") << QStringLiteral("plain/config.ini");
}

void AtomicFileTest::failures()
{
    QFETCH(QString, relative);

    QTemporaryDir dir;
    QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("folder"))));
    QVERIFY(putFile(dir.filePath(QStringLiteral("plain")), "x", 0644));
    const QStringList before = namesIn(dir.path());

    const std::string path = local(dir.filePath(relative));
    const AtomicWriteResult result = writeFileAtomically(path, std::string_view("[App]\r\n"));
    QVERIFY(!result.ok);
    QVERIFY2(result.error.find(path) != std::string::npos, result.error.c_str());
    QCOMPARE(namesIn(dir.path()), before);
    QCOMPARE(namesIn(dir.filePath(QStringLiteral("folder"))), QStringList());
}

QTEST_GUILESS_MAIN(AtomicFileTest)
#include "AtomicFileTest.moc"
