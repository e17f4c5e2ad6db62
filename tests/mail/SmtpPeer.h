#pragma once

// An SMTP server for one test (tests/mail/smtp_peer.py run by /usr/bin/python3) on 127.0.0.1, and a certificate
// authority with server certificates made by openssl for the TLS cases.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class SmtpPeer
{
public:
    enum class Mode { Plain, StartTls, Implicit, Silent };

    // Starts the server; port() is 0 when it did not come up (the reason is in error()).
    SmtpPeer(Mode mode, const QString& certificate = QString(), const QString& key = QString(),
             const QString& credentials = QString(), int port = 0)
    {
        static const char* const Modes[] = { "plain", "starttls", "implicit", "silent" };
        QStringList arguments{ QStringLiteral(TOLLBOOK_SMTP_PEER), QStringLiteral("--out"), m_out.path(),
                               QStringLiteral("--mode"), QString::fromLatin1(Modes[int(mode)]) };
        if (!certificate.isEmpty()) {
            arguments << QStringLiteral("--cert") << certificate << QStringLiteral("--key") << key;
        }
        if (!credentials.isEmpty()) {
            arguments << QStringLiteral("--auth") << credentials;
        }
        if (port != 0) {
            arguments << QStringLiteral("--port") << QString::number(port);
        }
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
        if (!m_process.waitForStarted(10000)) {
            m_error = m_process.errorString();
            return;
        }
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running) {
            m_process.waitForReadyRead(200);
        }
        const QByteArray line = m_process.readLine().trimmed();
        if (!line.startsWith("READY ")) {
            m_error = QString::fromUtf8(line + m_process.readAllStandardError());
            return;
        }
        m_port = line.mid(6).toInt();
    }

    ~SmtpPeer()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    int port() const { return m_port; }
    QString error() const { return m_error; }

    // The messages accepted so far.
    int received() const { return int(QDir(m_out.path()).entryList({ QStringLiteral("*.json") }, QDir::Files).size()); }
    // What the server's parser read of message n (from 1), and the bytes as they arrived.
    QJsonObject summary(int n) const
    {
        QFile file(m_out.filePath(QStringLiteral("%1.json").arg(n)));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    }
    QByteArray raw(int n) const { return read(QStringLiteral("%1.eml").arg(n)); }
    QByteArray attachment(int n, int index) const { return read(QStringLiteral("%1.part%2").arg(n).arg(index)); }
    // The AUTH commands seen, one line each: "AUTH <mechanism> secure=<True|False>".
    QByteArray authLog() const { return read(QStringLiteral("auth.log")); }

private:
    QByteArray read(const QString& name) const
    {
        QFile file(m_out.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_out;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};

// A certificate authority of the test and two server certificates signed by it: one for 127.0.0.1 and
// localhost, one for another host only.
class TestAuthority
{
public:
    TestAuthority()
    {
        m_ok =
            openssl({ "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                      "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Tollbook Test CA", "-addext",
                      "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign" }) &&
            serverCertificate("local", "subjectAltName=DNS:localhost,IP:127.0.0.1") &&
            serverCertificate("other", "subjectAltName=DNS:mail.other.example");
    }

    bool ok() const { return m_ok; }
    QString error() const { return m_error; }
    QString caFile() const { return m_dir.filePath(QStringLiteral("ca.pem")); }
    QString certificate(const char* name) const { return m_dir.filePath(QString::fromLatin1(name) + ".pem"); }
    QString key(const char* name) const { return m_dir.filePath(QString::fromLatin1(name) + ".key"); }

private:
    bool serverCertificate(const char* name, const char* altNames)
    {
        const QString base = QString::fromLatin1(name);
        QFile extensions(m_dir.filePath(base + ".ext"));
        if (!extensions.open(QIODevice::WriteOnly)) {
            return false;
        }
        extensions.write(QByteArray(altNames) + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
        extensions.close();
        const QByteArray key = (base + ".key").toLatin1();
        const QByteArray request = (base + ".csr").toLatin1();
        const QByteArray certificate = (base + ".pem").toLatin1();
        const QByteArray ext = (base + ".ext").toLatin1();
        return openssl({ "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                         key.constData(), "-out", request.constData(), "-subj", "/CN=Tollbook test server" }) &&
               openssl({ "x509", "-req", "-in", request.constData(), "-CA", "ca.pem", "-CAkey", "ca.key",
                         "-CAcreateserial", "-out", certificate.constData(), "-days", "2", "-extfile",
                         ext.constData() });
    }

    bool openssl(std::initializer_list<const char*> arguments)
    {
        QStringList list;
        for (const char* argument : arguments) {
            list << QString::fromLatin1(argument);
        }
        QProcess process;
        process.setWorkingDirectory(m_dir.path());
        process.start(QStringLiteral("openssl"), list);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            m_error = QString::fromUtf8(process.readAllStandardError()) + process.errorString();
            return false;
        }
        return true;
    }

    QTemporaryDir m_dir;
    bool m_ok = false;
    QString m_error;
};
