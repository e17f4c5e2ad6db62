#pragma once

// A private CUPS server for one test: its own configuration, spool, state and logs in a temporary folder, listening
// only on a domain socket there, started in the foreground and stopped by its process id. Clients reach it through
// CUPS_SERVER (see environment()).
//
// Jobs and their documents are kept after printing (PreserveJobHistory, PreserveJobFiles), nobody has to log in, and
// file: device URIs are allowed, so queues can print to /dev/null.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cups/cups.h>

class CupsFixture
{
public:
    // The printer description of a PDF printer that cups-filters installs.
    static inline const QString GenericPdfPpd =
        QStringLiteral("/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd");

    CupsFixture() = default;
    ~CupsFixture() { stop(); }
    CupsFixture(const CupsFixture&) = delete;
    CupsFixture& operator=(const CupsFixture&) = delete;

    // Starts the server and waits until it answers; false with reason() when it cannot run here.
    bool start()
    {
        const QString cupsd = findProgram(QStringLiteral("cupsd"));
        if (cupsd.isEmpty()) {
            return fail(QStringLiteral("cupsd is not installed (Debian package cups-daemon)"));
        }
        for (const char* tool : { "lpadmin", "lp", "lpstat" }) {
            if (findProgram(QString::fromLatin1(tool)).isEmpty()) {
                return fail(QStringLiteral("%1 is not installed (Debian package cups-client)").arg(tool));
            }
        }
        if (!m_dir.isValid()) {
            return fail(QStringLiteral("no temporary folder"));
        }
        // The filters run as the unprivileged "lp" user and must reach the spooled files.
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        const QDir dir(m_dir.path());
        for (const char* folder : { "conf", "spool", "spool/tmp", "cache", "state", "log" }) {
            if (!dir.mkpath(QString::fromLatin1(folder))) {
                return fail(QStringLiteral("cannot create %1").arg(folder));
            }
        }
        m_socket = dir.filePath(QStringLiteral("cups.sock"));

        const QString conf = dir.filePath(QStringLiteral("conf/cupsd.conf"));
        const QString files = dir.filePath(QStringLiteral("conf/cups-files.conf"));
        // No JobPrivateValues: the tests look at other users' jobs without logging in.
        writeFile(conf, QStringLiteral("LogLevel info\n"
                                       "Listen %1\n"
                                       "WebInterface No\n"
                                       "Browsing No\n"
                                       "DefaultAuthType None\n"
                                       "PreserveJobHistory Yes\n"
                                       "PreserveJobFiles Yes\n"
                                       "MaxJobs 0\n"
                                       "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                       "<Policy default>\n"
                                       "  JobPrivateAccess all\n  JobPrivateValues none\n"
                                       "  SubscriptionPrivateAccess all\n  SubscriptionPrivateValues none\n"
                                       "  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                                       "</Policy>\n")
                            .arg(m_socket));
        // cupsd refuses to run its filters as root; as root it uses "lp" for them, as anyone else that user.
        writeFile(files, QStringLiteral("ServerRoot %1/conf\n"
                                        "RequestRoot %1/spool\n"
                                        "TempDir %1/spool/tmp\n"
                                        "CacheDir %1/cache\n"
                                        "StateDir %1/state\n"
                                        "AccessLog %1/log/access_log\n"
                                        "ErrorLog %1/log/error_log\n"
                                        "PageLog %1/log/page_log\n"
                                        "Printcap %1/state/printcap\n"
                                        "FileDevice Yes\n"
                                        "SystemGroup root\n")
                             .arg(m_dir.path()));

        m_server.setProgram(cupsd);
        m_server.setArguments({ QStringLiteral("-f"), QStringLiteral("-c"), conf, QStringLiteral("-s"), files });
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start();
        if (!m_server.waitForStarted(60000)) {
            return fail(QStringLiteral("cupsd did not start: ") + m_server.errorString());
        }
        for (int waited = 0; waited < 600; ++waited) {
            if (m_server.state() != QProcess::Running) {
                return fail(QStringLiteral("cupsd ended at once: ") + QString::fromLocal8Bit(m_server.readAll()) +
                            errorLog());
            }
            if (QFileInfo::exists(m_socket) && run(QStringLiteral("lpstat"), { QStringLiteral("-r") })) {
                return true;
            }
            QTest::qWait(100);
        }
        return fail(QStringLiteral("cupsd does not answer on ") + m_socket + errorLog());
    }

    // start(), then also false with reason() when the generic PDF printer description is missing.
    bool startWithPdfDescription()
    {
        if (!start()) {
            return false;
        }
        if (!QFileInfo::exists(GenericPdfPpd)) {
            return fail(QStringLiteral("the generic PDF printer description is not installed (Debian package "
                                       "cups-filters)"));
        }
        return true;
    }

    // Stops the server (by its process id) and waits for it.
    void stop()
    {
        if (m_server.state() == QProcess::NotRunning) {
            return;
        }
        m_server.terminate();
        if (!m_server.waitForFinished(60000)) {
            m_server.kill();
            m_server.waitForFinished(60000);
        }
    }

    const QString& reason() const { return m_reason; }
    const QString& socketPath() const { return m_socket; }
    QString folder() const { return m_dir.path(); }

    // This process's environment with CUPS_SERVER set to the private server.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CUPS_SERVER"), m_socket);
        return env;
    }

    // Points libcups in this process at the private server, with `home` as the user's home folder, so the client
    // reads no lpoptions of this machine or of the user running the test. Only tests that link libcups call it.
    void pointClientHere(const QString& home) const
    {
        qputenv("HOME", QFile::encodeName(home));
        qputenv("CUPS_SERVERROOT", QFile::encodeName(folder() + QStringLiteral("/conf")));
        qputenv("CUPS_SERVER", QFile::encodeName(m_socket));
        cupsSetServer(QFile::encodeName(m_socket).constData());
    }

    // Adds an enabled queue that prints to /dev/null; without a PPD it is a raw queue.
    bool addQueue(const QString& name, const QString& ppd = QString())
    {
        QStringList args = { QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                             QStringLiteral("file:///dev/null") };
        if (!ppd.isEmpty()) {
            args << QStringLiteral("-P") << ppd;
        }
        return run(QStringLiteral("lpadmin"), args);
    }

    // Prints a file with `lp` (options as given); the job number, or 0 on failure.
    int print(const QStringList& options, const QString& file)
    {
        QString output;
        if (!run(QStringLiteral("lp"), QStringList(options) << file, &output)) {
            return 0;
        }
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("request id is \\S+-(\\d+)")).match(output);
        return match.hasMatch() ? match.captured(1).toInt() : 0;
    }

    // Runs a CUPS client program against the server; true when it exits with 0. Its output goes to `output`.
    bool run(const QString& program, const QStringList& args, QString* output = nullptr) const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(findProgram(program), args);
        const bool done = process.waitForFinished(60000);
        const QString text = QString::fromLocal8Bit(process.readAll());
        if (output) {
            *output = text;
        }
        if (!done) {
            process.kill();
            process.waitForFinished(60000);
        }
        if (!done || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            qWarning().noquote() << program << args.join(QLatin1Char(' ')) << "failed:" << text;
            return false;
        }
        return true;
    }

    // The server's error log, for failure messages.
    QString errorLog() const
    {
        QFile log(QDir(m_dir.path()).filePath(QStringLiteral("log/error_log")));
        return log.open(QIODevice::ReadOnly) ? QStringLiteral("\n") + QString::fromLocal8Bit(log.readAll()) : QString();
    }

    // Where a program of the CUPS packages lies (they sit in sbin, which a plain PATH may lack); empty when missing.
    static QString findProgram(const QString& name)
    {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty()) {
            return found;
        }
        return QStandardPaths::findExecutable(name, { QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                                      QStringLiteral("/sbin"), QStringLiteral("/usr/local/sbin") });
    }

private:
    bool fail(const QString& reason)
    {
        m_reason = reason;
        stop();
        return false;
    }

    static void writeFile(const QString& path, const QString& text)
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(text.toUtf8());
        }
    }

    QTemporaryDir m_dir;
    QString m_socket;
    QString m_reason;
    QProcess m_server;
};
