// The database file itself: opening it again after its permissions were repaired.

#include "data/Database.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
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

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
