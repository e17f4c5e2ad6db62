#include <QtTest>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

// Starts copies of the built executable from scratch installation folders.
class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void withoutConfigEndsSilently();
    void newDatabaseForOwnerAndGroupOnly_data();
    void newDatabaseForOwnerAndGroupOnly();
};

void TestStartup::withoutConfigEndsSilently()
{
    const QString built = qEnvironmentVariable("TOLLBOOK_EXE");
    QVERIFY2(!built.isEmpty(), "TOLLBOOK_EXE is not set");
    QTemporaryDir install;
    QVERIFY(install.isValid());
    const QString exe = install.filePath(QStringLiteral("Tollbook"));
    QVERIFY(QFile::copy(built, exe));

    QProcess tollbook;
    tollbook.setWorkingDirectory(install.path());
    tollbook.start(exe, {});
    QVERIFY(tollbook.waitForStarted());
    // Only a guard against a copy stuck on a window: it ends at once when all is well.
    QVERIFY2(tollbook.waitForFinished(120000), "Tollbook did not end");
    QCOMPARE(tollbook.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tollbook.exitCode(), 0);
    QVERIFY(!QFile::exists(install.filePath(QStringLiteral("config.ini"))));
}

void TestStartup::newDatabaseForOwnerAndGroupOnly_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("mode");

    QTest::newRow("usual umask") << 022 << 0640;
    QTest::newRow("group umask") << 002 << 0660;
    QTest::newRow("strict umask") << 077 << 0600;
}

// The database holds passwords: tollbook-newdb never makes it readable by everyone.
void TestStartup::newDatabaseForOwnerAndGroupOnly()
{
    QFETCH(int, umask);
    QFETCH(int, mode);

    const QString newdb = qEnvironmentVariable("TOLLBOOK_NEWDB");
    QVERIFY2(!newdb.isEmpty(), "TOLLBOOK_NEWDB is not set");
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Tollbook.db"));

    const mode_t previous = ::umask(static_cast<mode_t>(umask));
    QProcess process;
    process.start(newdb, { path });
    const bool finished = process.waitForFinished(120000);
    ::umask(previous);
    QVERIFY(finished);
    QCOMPARE(process.exitCode(), 0);

    struct stat info
    {
    };
    QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 07777), mode);
    QVERIFY(info.st_size > 0);

    // An existing file is refused and left as it is.
    process.start(newdb, { path });
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(::stat(QFile::encodeName(path).constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 07777), mode);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
