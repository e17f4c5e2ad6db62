// The database file itself: opening it again after its permissions were repaired; refusing one in a network
// folder.

#include "data/Database.h"
#include "i18n/Language.h"
#include "platform/Errors.h"
#include "platform/FileSystems.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tollbook;

namespace {

// Runs body in a child process as user nobody (root would ignore every file mode); its exit code.
int asNobody(const std::function<int()>& body)
{
    const passwd* nobody = getpwnam("nobody");
    if (!nobody) {
        return 200;
    }
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) {
            _exit(201);
        }
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) {
        return 202;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 203;
}

enum Outcome { Written = 0, NotOpened = 1, Refused = 2 };

// What a fresh copy of the application gets when it opens the database and writes to it.
int openAndWrite(const QString& path, const QString& sector)
{
    const QString connection = QStringLiteral("child");
    try {
        Database::open(path, connection);
    } catch (const Error& error) {
        qWarning("open: %s", qPrintable(error.message()));
        return NotOpened;
    }
    int outcome = Written;
    {
        QSqlQuery query(QSqlDatabase::database(connection));
        if (!query.exec(QStringLiteral("INSERT INTO Setor VALUES ('%1')").arg(sector))) {
            qWarning("write: %s", qPrintable(query.lastError().text()));
            outcome = Refused;
        }
    }
    Database::close(connection);
    return outcome;
}

bool giveToNobody(const QString& path)
{
    const passwd* nobody = getpwnam("nobody");
    return nobody && chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) == 0;
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writableAgainOnceTheFileIs();
    void localFolderIsNoNetworkFolder();
    void networkFolderRefused_data();
    void networkFolderRefused();
};

// A database made read-only leaves SQLite's -shm (and -wal) read-only behind it; making the database file
// writable again is all the repair a user should have to do.
void TestDatabase::writableAgainOnceTheFileIs()
{
    if (geteuid() != 0) {
        QSKIP("needs root to act as another user");
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tollbook.db"));
    Database::create(path);
    QVERIFY(giveToNobody(dir.path()));
    QVERIFY(giveToNobody(path));
    QVERIFY(chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);

    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const int whileReadOnly = asNobody([&] { return openAndWrite(path, QStringLiteral("RO")); });
    QVERIFY2(whileReadOnly == Refused || whileReadOnly == NotOpened, qPrintable(QString::number(whileReadOnly)));
    const QFileInfo shm(path + QStringLiteral("-shm"));
    QVERIFY2(shm.exists() && !(shm.permissions() & QFile::WriteOwner), "the read-only -shm stays behind");

    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    QCOMPARE(asNobody([&] { return openAndWrite(path, QStringLiteral("RW")); }), int(Written));
    QCOMPARE(asNobody([&] { return openAndWrite(path, QStringLiteral("RW2")); }), int(Written));
}

// The machine's own probe on a local temporary folder: a false alarm here would refuse every database.
void TestDatabase::localFolderIsNoNetworkFolder()
{
    QTemporaryDir dir;
    QVERIFY(!FileSystems::systemFileSystemType(dir.path()).isEmpty());
    QCOMPARE(FileSystems::networkFileSystem(dir.path()), QString());
    QCOMPARE(FileSystems::networkFileSystem(QDir::currentPath()), QString());
}

void TestDatabase::networkFolderRefused_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("wording"); // a word of the message in that language

    QTest::newRow("nfs, pt_BR") << "nfs"
                                << "pt_BR" << true << "pasta de rede";
    QTest::newRow("nfs4, en") << "nfs4"
                              << "en" << true << "network folder";
    QTest::newRow("cifs, es") << "cifs"
                              << "es" << true << "carpeta de red";
    QTest::newRow("smb2") << "smb2"
                          << "en" << true << "network folder";
    QTest::newRow("fuse.sshfs") << "fuse.sshfs"
                                << "en" << true << "network folder";
    QTest::newRow("9p") << "9p"
                        << "en" << true << "network folder";
    QTest::newRow("no language file") << "nfs"
                                      << "" << true << "pasta de rede";
    QTest::newRow("local") << "local"
                           << "en" << false << "";
    QTest::newRow("fuse, local") << "fuse.bindfs"
                                 << "en" << false << "";
    QTest::newRow("unknown") << ""
                             << "en" << false << "";
}

// A SQLite file on a network file system is refused at opening, in the user's language, with the way out: the
// PostgreSQL set-up of the README. Tests cannot mount one: the type probe is replaced.
void TestDatabase::networkFolderRefused()
{
    QFETCH(QString, type);
    QFETCH(QString, language);
    QFETCH(bool, refused);
    QFETCH(QString, wording);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tollbook.db"));
    Database::create(path);
    Language::setInstallFolder(language.isEmpty() ? dir.path() + QLatin1Char('/')
                                                  : QStringLiteral(TOLLBOOK_SOURCE_DIR "/"));
    Language::setCurrentCode(language.isEmpty() ? QStringLiteral("pt_BR") : language);
    QString probed;
    FileSystems::setTypeProbe([&](const QString& asked) {
        probed = asked;
        return type;
    });
    QString message;
    try {
        Database::open(path, QStringLiteral("probe"));
    } catch (const PlainError& error) {
        message = error.message();
    }
    FileSystems::setTypeProbe({});
    Language::setCurrentCode(QStringLiteral("pt_BR"));
    Language::setInstallFolder(QString());
    Database::close(QStringLiteral("probe"));

    QCOMPARE(probed, QFileInfo(path).absoluteFilePath());
    QCOMPARE(!message.isEmpty(), refused);

    // Nor is a new one made there, which could never be opened.
    const QString another = dir.filePath(QStringLiteral("Another.db"));
    FileSystems::setTypeProbe([&](const QString& asked) {
        probed = asked;
        return type;
    });
    bool created = true;
    try {
        Database::create(another);
    } catch (const PlainError&) {
        created = false;
    }
    FileSystems::setTypeProbe({});
    QCOMPARE(probed, dir.path());
    QCOMPARE(created, !refused);
    QCOMPARE(QFileInfo::exists(another), !refused);
    if (refused) {
        for (const QString& part : { wording, type, path, QStringLiteral("PostgreSQL"),
                                     QStringLiteral("Several print servers, one database") }) {
            QVERIFY2(message.contains(part), qPrintable(message));
        }
    }
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
