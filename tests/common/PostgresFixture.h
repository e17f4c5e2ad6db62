#pragma once

// A throwaway PostgreSQL 15 cluster for one test program: its data, its socket and its log in a temporary folder,
// reached through a Unix socket only (no TCP port), every client trusted, fsync off. PostgreSQL refuses to run as
// root, so when the tests run as root (as CI does) the folder is given to user nobody and initdb, pg_ctl and the
// server run as nobody.
//
// shared() hands back the cluster of the whole ctest run when TOLLBOOK_TEST_CLUSTER names the file that
// tests/postgres-cluster.sh wrote for it (its databases get names of this process, and are dropped when the program
// ends); otherwise it starts one cluster the first time a test asks for it. Its cases create a database each with
// createDatabase(), which hands back the database's postgresql:// address. A cluster started here is stopped by its
// process id when the fixture goes (killed if it does not stop), and a watcher started beside it stops it should the
// test program die before that.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <memory>
#include <pwd.h>
#include <unistd.h>

class PostgresFixture
{
public:
    static inline const QString BinFolder = QStringLiteral("/usr/lib/postgresql/15/bin");
    // The cluster's superuser, who owns the databases the tests create.
    static inline const QString Superuser = QStringLiteral("tollbook");

    PostgresFixture() = default;
    ~PostgresFixture()
    {
        dropOurDatabases();
        stop();
    }
    PostgresFixture(const PostgresFixture&) = delete;
    PostgresFixture& operator=(const PostgresFixture&) = delete;

    // The cluster of the ctest run, or of this test program started on first use; nullptr with sharedReason() when
    // it cannot run here.
    static PostgresFixture* shared()
    {
        static std::unique_ptr<PostgresFixture> cluster;
        static bool tried = false;
        if (!tried) {
            tried = true;
            cluster = std::make_unique<PostgresFixture>();
            if (!cluster->attachToRun() && !cluster->start()) {
                sharedReasonText() = cluster->reason();
                cluster.reset();
            }
        }
        return cluster.get();
    }
    static QString sharedReason() { return sharedReasonText(); }

    // Creates the cluster and starts its server; false with reason() when it cannot run here.
    bool start()
    {
        for (const char* tool : { "initdb", "pg_ctl", "createdb" }) {
            if (!QFileInfo(program(QString::fromLatin1(tool))).isExecutable()) {
                return fail(QStringLiteral("%1 is not installed (Debian package postgresql-15)").arg(tool));
            }
        }
        if (!m_dir.isValid()) {
            return fail(QStringLiteral("no temporary folder"));
        }
        m_folder = m_dir.path();
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::chown(QFile::encodeName(m_folder).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
                return fail(QStringLiteral("cannot give the cluster's folder to user nobody"));
            }
        }
        runAsOwner();
        QString output;
        if (!run(QStringLiteral("initdb"),
                 { QStringLiteral("-D"), dataFolder(), QStringLiteral("-U"), Superuser, QStringLiteral("--auth=trust"),
                   QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"),
                   QStringLiteral("--no-sync") },
                 &output)) {
            return fail(QStringLiteral("initdb failed: ") + output);
        }
        // Quoted for the server's command line, which pg_ctl hands to a shell.
        const QString options = QStringLiteral("-c listen_addresses='' -c unix_socket_directories='%1' -c fsync=off"
                                               " -c synchronous_commit=off -c full_page_writes=off")
                                    .arg(m_folder);
        if (!run(QStringLiteral("pg_ctl"),
                 { QStringLiteral("-D"), dataFolder(), QStringLiteral("-l"), logPath(), QStringLiteral("-w"),
                   QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("-o"), options, QStringLiteral("start") },
                 &output)) {
            return fail(QStringLiteral("the server did not start: ") + output + serverLog());
        }
        QFile pidFile(dataFolder() + QStringLiteral("/postmaster.pid"));
        if (!pidFile.open(QIODevice::ReadOnly) || (m_pid = pidFile.readLine().trimmed().toLongLong()) <= 0) {
            return fail(QStringLiteral("the server left no process id"));
        }
        watchForOurEnd();
        return true;
    }

    // Creates a database owned by the superuser, empty or a copy of `from`; its address, or empty with reason() on
    // failure.
    QString createDatabase(const QString& name, const QString& from = QString())
    {
        QStringList args{ QStringLiteral("-h"), m_folder, QStringLiteral("-U"), Superuser };
        if (!from.isEmpty()) {
            args << QStringLiteral("-T") << from;
        }
        QString output;
        if (!run(QStringLiteral("createdb"), args << name, &output)) {
            m_reason = QStringLiteral("createdb %1 failed: %2").arg(name, output);
            return QString();
        }
        if (m_attached) {
            m_ourDatabases << name;
        }
        return uri(name);
    }

    // A fresh database with a name of its own for each call (and of this process on the run's cluster), empty or a
    // copy of `from`.
    QString createDatabase() { return createDatabase(newName(), QString()); }
    QString copyDatabase(const QString& from) { return createDatabase(newName(), from); }

    // The address of a database of the cluster: the socket's folder as the host, URL-encoded.
    QString uri(const QString& database) const
    {
        return QStringLiteral("postgresql://%1@%2/%3")
            .arg(Superuser, QString::fromLatin1(QUrl::toPercentEncoding(m_folder)), database);
    }

    // Stops a server started here by its process id: a fast shutdown, then a kill when it has not ended in 30
    // seconds. The run's cluster is left to its cleanup test.
    void stop()
    {
        if (m_pid <= 0) {
            return;
        }
        const pid_t pid = pid_t(m_pid);
        m_pid = 0;
        if (::kill(pid, SIGINT) != 0) {
            return;
        }
        for (int waited = 0; waited < 300 && alive(pid); ++waited) {
            QThread::msleep(100);
        }
        if (alive(pid)) {
            ::kill(pid, SIGKILL);
            for (int waited = 0; waited < 100 && alive(pid); ++waited) {
                QThread::msleep(100);
            }
        }
    }

    // Whether this is the cluster of the ctest run, which tests/postgres-cluster.sh started with its template.
    bool attached() const { return m_attached; }
    // The database of the run's cluster that holds a new installation's schema, for copyDatabase().
    static inline const QString RunTemplate = QStringLiteral("tollbook_template");

    qint64 serverPid() const { return m_pid; }
    const QString& reason() const { return m_reason; }
    QString socketFolder() const { return m_folder; }

    // The server's log, for failure messages.
    QString serverLog() const
    {
        QFile log(logPath());
        return log.open(QIODevice::ReadOnly) ? QStringLiteral("\n") + QString::fromLocal8Bit(log.readAll()) : QString();
    }

    static bool alive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

private:
    static QString& sharedReasonText()
    {
        static QString text;
        return text;
    }

    // The cluster of the ctest run, when the file TOLLBOOK_TEST_CLUSTER names holds a folder whose server answers.
    bool attachToRun()
    {
        QFile file(qEnvironmentVariable("TOLLBOOK_TEST_CLUSTER"));
        if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly)) {
            return false;
        }
        const QString folder = QString::fromLocal8Bit(file.readAll()).trimmed();
        if (folder.isEmpty() || !QFileInfo::exists(folder + QStringLiteral("/.s.PGSQL.5432"))) {
            return false;
        }
        m_folder = folder;
        m_attached = true;
        runAsOwner();
        return true;
    }

    QString newName()
    {
        return m_attached ? QStringLiteral("tollbook_%1_%2").arg(::getpid()).arg(++m_databases)
                          : QStringLiteral("tollbook_%1").arg(++m_databases);
    }

    // The run's cluster holds the databases of every test program until its cleanup: each program drops its own.
    void dropOurDatabases()
    {
        if (m_ourDatabases.isEmpty()) {
            return;
        }
        QStringList args{ QStringLiteral("-h"),      m_folder,
                          QStringLiteral("-U"),      Superuser,
                          QStringLiteral("-q"),      QStringLiteral("-d"),
                          QStringLiteral("postgres") };
        for (const QString& name : std::as_const(m_ourDatabases)) {
            args << QStringLiteral("-c") << QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name);
        }
        m_ourDatabases.clear();
        QString output;
        run(QStringLiteral("psql"), args, &output);
    }

    // As root the server's programs run as nobody, who owns the cluster's folder.
    void runAsOwner()
    {
        if (::geteuid() != 0) {
            return;
        }
        if (const passwd* nobody = ::getpwnam("nobody")) {
            m_runAs = { QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                        QStringLiteral("--regid=%1").arg(nobody->pw_gid), QStringLiteral("--clear-groups") };
        }
    }

    QString dataFolder() const { return m_folder + QStringLiteral("/data"); }
    QString logPath() const { return m_folder + QStringLiteral("/server.log"); }
    static QString program(const QString& name) { return BinFolder + QLatin1Char('/') + name; }

    bool fail(const QString& reason)
    {
        m_reason = reason;
        stop();
        return false;
    }

    // Runs a program of the server's package, as nobody when the tests run as root.
    bool run(const QString& tool, const QStringList& args, QString* output) const
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        // The server's programs must not find a folder of root's to change into or an address of the caller's.
        process.setWorkingDirectory(m_folder);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* variable : { "PGHOST", "PGPORT", "PGUSER", "PGDATABASE", "PGSERVICE", "PGPASSFILE" }) {
            env.remove(QString::fromLatin1(variable));
        }
        process.setProcessEnvironment(env);
        if (m_runAs.isEmpty()) {
            process.start(program(tool), args);
        } else {
            process.start(QStringLiteral("setpriv"), QStringList(m_runAs) << program(tool) << args);
        }
        const bool done = process.waitForFinished(120000);
        *output = QString::fromLocal8Bit(process.readAll());
        if (!done) {
            process.kill();
            process.waitForFinished(10000);
            return false;
        }
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // A small shell beside the test program that stops the server (by its process id, once it is sure the id is
    // still the server's) when the test program has ended without stopping it: after a crash, an abort by the
    // sanitizers or a kill.
    void watchForOurEnd() const
    {
        const QString script =
            QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 1; done;"
                           " if grep -q postgres /proc/%2/cmdline 2>/dev/null; then kill -QUIT %2; sleep 5;"
                           " grep -q postgres /proc/%2/cmdline 2>/dev/null && kill -KILL %2; fi;"
                           " rm -rf '%3'");
        // Its output goes nowhere: a runner that reads the test's output would otherwise wait for it too.
        QProcess watcher;
        watcher.setProgram(QStringLiteral("/bin/sh"));
        watcher.setArguments({ QStringLiteral("-c"), script.arg(::getpid()).arg(m_pid).arg(m_folder) });
        watcher.setStandardInputFile(QProcess::nullDevice());
        watcher.setStandardOutputFile(QProcess::nullDevice());
        watcher.setStandardErrorFile(QProcess::nullDevice());
        watcher.startDetached();
    }

    QTemporaryDir m_dir;
    QString m_folder;
    QStringList m_runAs;
    QStringList m_ourDatabases;
    qint64 m_pid = 0;
    int m_databases = 0;
    bool m_attached = false;
    QString m_reason;
};
