// The mail sender against real SMTP servers on 127.0.0.1: its input checks and messages, what it refuses
// before connecting, what arrives byte for byte, TLS (STARTTLS, from the first byte, certificates), the
// authentication rules, a server that never answers, and the kept copy.

#include "SmtpPeer.h"

#include "mail/SmtpDelivery.h"
#include "mail/TollMail.h"
#include "platform/Errors.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

using namespace tollbook;

namespace {

struct Notice
{
    TollMail::Notice kind;
    QString text;
};

// A sender with every mandatory setting filled for the server on port, recording its notices.
struct Sender
{
    explicit Sender(int port)
    {
        mail.setReporter([this](TollMail::Notice kind, const QString& text) { notices.append({ kind, text }); });
        mail.setTimeouts(10, 20);
        mail.settings.host = QStringLiteral("127.0.0.1");
        mail.settings.port = port;
        mail.settings.login = QStringLiteral("relatorios");
        mail.settings.password = QStringLiteral("segredo");
        mail.settings.authenticate = false;
        mail.settings.sender = QStringLiteral("relatorios@example.com");
        mail.to = QStringList{ QStringLiteral("ana@example.com") };
        mail.subject = QStringLiteral("Tollbook - Teste de SMTP");
        mail.body = QStringList{ QStringLiteral("Teste do Serviço de Envio de Email SMTP - Tollbook") };
    }

    QStringList texts() const
    {
        QStringList list;
        for (const Notice& notice : notices) {
            list << notice.text;
        }
        return list;
    }
    // The one warning shown, or a description of what was shown instead.
    QString warning() const
    {
        if (notices.size() != 1 || notices.first().kind != TollMail::Notice::Warning) {
            return QStringLiteral("<not one warning: %1>").arg(texts().join(QStringLiteral(" | ")));
        }
        return notices.first().text;
    }

    TollMail mail;
    QList<Notice> notices;
};

const QString FailurePrefix = QStringLiteral("Erro na conexão e/ou autenticação: ");

QByteArray samplePdf()
{
    QByteArray pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    for (int i = 0; i < 3000; ++i) {
        pdf += char(i * 7 % 256);
    }
    return pdf + "\n%%EOF\n";
}

} // namespace

class TollMailTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_authority.ok(), qPrintable(m_authority.error()));
        qputenv(Smtp::CaFileVariable, m_authority.caFile().toLocal8Bit());
    }

    void defaultsAndReset()
    {
        TollMail mail;
        QCOMPARE(mail.settings.port, 25);
        QVERIFY(mail.settings.authenticate);
        QVERIFY(mail.notifySuccess);
        QVERIFY(!mail.keepCopy);
        QCOMPARE(mail.copyFolder, QDir::tempPath());
        QCOMPARE(mail.language, QStringLiteral("pt_BR"));
        QCOMPARE(mail.version(), QStringLiteral("2.0.0.2"));
        mail.setVersion(QStringLiteral("9.9"));
        QCOMPARE(mail.version(), QStringLiteral("2.0.0.0"));

        mail.settings.host = QStringLiteral("smtp.example.com");
        mail.settings.port = 587;
        mail.to = QStringList{ QStringLiteral("a@example.com") };
        mail.attachments = QStringList{ QStringLiteral("/tmp/x.pdf") };
        mail.keepCopy = true;
        mail.copyFolder = QStringLiteral("/srv/mail");
        mail.settings.authenticate = false;
        mail.settings.ssl = mail.settings.startTls = true;
        mail.notifySuccess = false;
        mail.language = QStringLiteral("es");
        mail.clear();
        QVERIFY(mail.settings.host.isEmpty());
        QCOMPARE(mail.settings.port, 25);
        QVERIFY(mail.to.isEmpty());
        QVERIFY(mail.attachments.isEmpty());
        QVERIFY(!mail.keepCopy);
        QCOMPARE(mail.copyFolder, QDir::tempPath());
        QVERIFY(mail.settings.authenticate);
        QVERIFY(!mail.settings.ssl && !mail.settings.startTls);
        QVERIFY(mail.notifySuccess);
        QCOMPARE(mail.language, QStringLiteral("es")); // kept
        QCOMPARE(mail.version(), QStringLiteral("2.0.0.0"));
    }

    void inputChecks_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("message");
        // A missing setting is thrown in the sender's language; the first of several in the order below.
        QTest::newRow("host") << "pt_BR"
                              << "host"
                              << "O host não foi informado";
        QTest::newRow("subject, en") << "en"
                                     << "subject"
                                     << "The subject of the message was not informed";
        QTest::newRow("login, es") << "es"
                                   << "login"
                                   << "El login del usuario no ha sido informado";
        QTest::newRow("port 0, en") << "en"
                                    << "port"
                                    << "The door was not informed";
        QTest::newRow("password without authentication") << "pt_BR"
                                                         << "password"
                                                         << "A Senha não foi informada";
        QTest::newRow("body, es") << "es"
                                  << "body"
                                  << "El cuerpo del mensaje no fue informado";
        QTest::newRow("everything: host first") << "pt_BR"
                                                << "*"
                                                << "O host não foi informado";
        QTest::newRow("login and port: login first") << "en"
                                                     << "login,port"
                                                     << "The user Login has not been informed";
    }

    void inputChecks()
    {
        QFETCH(QString, language);
        QFETCH(QString, property);
        QFETCH(QString, message);
        Sender sender(1); // nothing may connect
        TollMail& mail = sender.mail;
        mail.language = language;
        const QStringList cleared =
            property == QLatin1String("*")
                ? QStringList{ QStringLiteral("host"), QStringLiteral("subject"),  QStringLiteral("login"),
                               QStringLiteral("port"), QStringLiteral("password"), QStringLiteral("body") }
                : property.split(u',');
        for (const QString& name : cleared) {
            if (name == QLatin1String("host"))
                mail.settings.host.clear();
            if (name == QLatin1String("subject"))
                mail.subject.clear();
            if (name == QLatin1String("login"))
                mail.settings.login.clear();
            if (name == QLatin1String("port"))
                mail.settings.port = 0;
            if (name == QLatin1String("password"))
                mail.settings.password.clear();
            if (name == QLatin1String("body"))
                mail.body.clear();
        }
        try {
            mail.send();
            QFAIL("no error");
        } catch (const PlainError& error) {
            QCOMPARE(error.message(), message);
        }
        QVERIFY(sender.notices.isEmpty());
    }

    // Refused after the checks and before any connection: the failure box, nothing at the server.
    void refusedBeforeSending_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("warning");
        QTest::newRow("no sender") << "pt_BR"
                                   << "from=" << FailurePrefix + "O e-mail do Remetente não foi informado";
        QTest::newRow("no sender, en") << "en"
                                       << "from="
                                       << "Error in connection and/or authentication: Sender\"s email was not informed";
        QTest::newRow("no recipient") << "pt_BR"
                                      << "to" << FailurePrefix + "O e-mail do Destinatário não foi informado";
        QTest::newRow("no recipient, es")
            << "es"
            << "to"
            << "Error en la conexión y/o autenticación: El correo electrónico del destinatario no se inform";
        QTest::newRow("two addresses in one line")
            << "pt_BR"
            << "to=a@example.com;b@example.com"
            << FailurePrefix + "Endereço de e-mail inválido: a@example.com;b@example.com";
        QTest::newRow("header in a recipient") << "en"
                                               << "to=a@example.com\r\nBcc: all@example.com"
                                               << "Error in connection and/or authentication: Invalid e-mail address: "
                                                  "a@example.com\r\nBcc: all@example.com";
        QTest::newRow("header in a copy recipient")
            << "pt_BR"
            << "cc=x@example.com\nX: y" << FailurePrefix + "Endereço de e-mail inválido: x@example.com\nX: y";
        QTest::newRow("header in the subject")
            << "pt_BR"
            << "subject=Oi\r\nBcc: all@example.com"
            << FailurePrefix + "O assunto e o nome do remetente não podem ter quebras de linha";
        QTest::newRow("header in the sender's name")
            << "pt_BR"
            << "name=Ana\nBcc: all@example.com"
            << FailurePrefix + "O assunto e o nome do remetente não podem ter quebras de linha";
        QTest::newRow("sender not an address")
            << "pt_BR"
            << "from=relatorios" << FailurePrefix + "Endereço de e-mail inválido: relatorios";
        QTest::newRow("missing attachment")
            << "pt_BR"
            << "attach=/nonexistent/Relatorio.pdf"
            << FailurePrefix + "O arquivo anexo não existe ou não pode ser lido: /nonexistent/Relatorio.pdf";
        QTest::newRow("attachment is a folder")
            << "es"
            << "attach=/tmp"
            << "Error en la conexión y/o autenticación: El archivo adjunto no existe o no se puede leer: /tmp";
    }

    void refusedBeforeSending()
    {
        QFETCH(QString, language);
        QFETCH(QString, change);
        QFETCH(QString, warning);
        SmtpPeer peer(SmtpPeer::Mode::Plain);
        QVERIFY2(peer.port(), qPrintable(peer.error()));
        Sender sender(peer.port());
        TollMail& mail = sender.mail;
        mail.language = language;
        const QString field = change.section(u'=', 0, 0);
        const QString value = change.section(u'=', 1);
        if (field == QLatin1String("from"))
            mail.settings.sender = value;
        if (field == QLatin1String("to"))
            mail.to = value.isEmpty() ? QStringList() : QStringList{ value };
        if (field == QLatin1String("cc"))
            mail.cc = QStringList{ value };
        if (field == QLatin1String("subject"))
            mail.subject = value;
        if (field == QLatin1String("name"))
            mail.senderName = value;
        if (field == QLatin1String("attach"))
            mail.attachments = QStringList{ value };

        QVERIFY(!mail.send());
        QCOMPARE(sender.warning(), warning);
        QCOMPARE(peer.received(), 0);
    }

    // With a language it does not speak the sender checks nothing and shows nothing; it still sends nothing
    // it would refuse.
    void unknownLanguageIsSilent()
    {
        Sender sender(1);
        sender.mail.language = QStringLiteral("fr");
        sender.mail.settings.host.clear();
        sender.mail.to.clear();
        QVERIFY(!sender.mail.send());
        QVERIFY(sender.notices.isEmpty());
    }

    // What the server receives, as bytes and as a mail reader parses it.
    void deliveredMessage()
    {
        SmtpPeer peer(SmtpPeer::Mode::Plain);
        QVERIFY2(peer.port(), qPrintable(peer.error()));
        QTemporaryDir folder;
        const QString pdfPath = folder.filePath(QStringLiteral("Relatório de impressão.pdf"));
        QFile pdf(pdfPath);
        QVERIFY(pdf.open(QIODevice::WriteOnly));
        pdf.write(samplePdf());
        pdf.close();

        Sender sender(peer.port());
        TollMail& mail = sender.mail;
        mail.senderName = QStringLiteral("Gestão de Impressão");
        mail.to = QStringList{ QStringLiteral("ana@example.com"), QStringLiteral("bruno@example.org") };
        mail.cc = QStringList{ QStringLiteral("chefe@example.com") };
        mail.bcc = QStringList{ QStringLiteral("auditoria@example.net") };
        mail.subject = QStringLiteral("Tollbook - Relatório Gerencial");
        mail.body = QStringList{ QStringLiteral("Segue em anexo relatório do sistema Tollbook"),
                                 QStringLiteral("Linha com acentuação") };
        mail.attachments = QStringList{ pdfPath };
        QVERIFY(mail.send());

        QCOMPARE(sender.notices.size(), 1);
        QCOMPARE(sender.notices.first().kind, TollMail::Notice::Information);
        QCOMPARE(sender.notices.first().text,
                 QStringLiteral("Email enviado com sucesso para: ana@example.com, bruno@example.org"));

        QCOMPARE(peer.received(), 1);
        const QJsonObject summary = peer.summary(1);
        QCOMPARE(summary.value("mail_from").toString(), QStringLiteral("relatorios@example.com"));
        QCOMPARE(summary.value("rcpt_tos").toArray(),
                 QJsonArray({ "ana@example.com", "bruno@example.org", "chefe@example.com", "auditoria@example.net" }));
        QCOMPARE(summary.value("subject").toString(), mail.subject);
        QCOMPARE(summary.value("from").toString(), QStringLiteral("Gestão de Impressão <relatorios@example.com>"));
        QCOMPARE(summary.value("to").toString(), QStringLiteral("ana@example.com, bruno@example.org"));
        QCOMPARE(summary.value("body_type").toString(), QStringLiteral("text/plain"));
        QCOMPARE(summary.value("body_charset").toString(), QStringLiteral("utf-8"));
        QCOMPARE(summary.value("body").toString(),
                 QStringLiteral("Segue em anexo relatório do sistema Tollbook\r\nLinha com acentuação"));
        const QJsonArray attachments = summary.value("attachments").toArray();
        QCOMPARE(attachments.size(), 1);
        QCOMPARE(attachments.at(0).toObject().value("filename").toString(),
                 QStringLiteral("Relatório de impressão.pdf"));
        QCOMPARE(attachments.at(0).toObject().value("type").toString(), QStringLiteral("application/pdf"));
        QCOMPARE(peer.attachment(1, 0), samplePdf());

        const QStringList headers = summary.value("headers").toVariant().toStringList();
        for (const char* expected : { "Date", "Message-ID", "From", "Reply-To", "To", "Cc", "Subject", "X-Mailer",
                                      "MIME-Version", "Content-Type" }) {
            QVERIFY2(headers.contains(QString::fromLatin1(expected)), expected);
        }
        QVERIFY(!headers.contains(QStringLiteral("Bcc")));
        const QByteArray raw = peer.raw(1);
        QVERIFY(!raw.contains("auditoria@example.net"));
        QVERIFY(!raw.contains("\r\r"));
        QCOMPARE(raw.count('\n'), raw.count("\r\n"));
        for (char byte : raw) {
            QVERIFY2(uchar(byte) < 0x80, "8-bit byte on the wire");
        }
    }

    // Which connection each switch makes, and that the password crosses only a secured one when TLS is asked.
    void security_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<bool>("ssl");
        QTest::addColumn<bool>("authenticate");
        QTest::addColumn<bool>("serverAuth"); // the server demands a login, and offers it also in clear
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("delivered");
        QTest::addColumn<QString>("warningContains");
        using M = SmtpPeer::Mode;
        QTest::newRow("plain") << int(M::Plain) << "" << false << false << false << false << "" << true << "";
        QTest::newRow("plain with login in clear")
            << int(M::Plain) << "" << false << false << true << true << "segredo" << true << "";
        QTest::newRow("STARTTLS by the TLS switch")
            << int(M::StartTls) << "local" << true << false << true << true << "segredo" << true << "";
        QTest::newRow("STARTTLS by the SSL switch off port 465")
            << int(M::StartTls) << "local" << false << true << false << false << "" << true << "";
        QTest::newRow("STARTTLS server, no switch")
            << int(M::StartTls) << "local" << false << false << false << false << "" << false << "STARTTLS";
        QTest::newRow("wrong password") << int(M::StartTls) << "local" << true << false << true << true << "errada"
                                        << false << "535";
        QTest::newRow("certificate for another host")
            << int(M::StartTls) << "other" << true << false << true << true << "segredo" << false << "certificate";
        QTest::newRow("TLS asked, server has no STARTTLS")
            << int(M::Plain) << "" << true << false << true << true << "segredo" << false << "STARTTLS";
        QTest::newRow("authentication off, server demands it")
            << int(M::StartTls) << "local" << true << false << false << true << "" << false << "530";
    }

    void security()
    {
        QFETCH(int, mode);
        QFETCH(QString, certificate);
        QFETCH(bool, tls);
        QFETCH(bool, ssl);
        QFETCH(bool, authenticate);
        QFETCH(bool, serverAuth);
        QFETCH(QString, password);
        QFETCH(bool, delivered);
        QFETCH(QString, warningContains);
        const QByteArray name = certificate.toLatin1();
        SmtpPeer peer(SmtpPeer::Mode(mode),
                      certificate.isEmpty() ? QString() : m_authority.certificate(name.constData()),
                      certificate.isEmpty() ? QString() : m_authority.key(name.constData()),
                      serverAuth ? QStringLiteral("relatorios:segredo") : QString());
        QVERIFY2(peer.port(), qPrintable(peer.error()));
        Sender sender(peer.port());
        sender.mail.settings.startTls = tls;
        sender.mail.settings.ssl = ssl;
        sender.mail.settings.authenticate = authenticate;
        if (!password.isEmpty()) {
            sender.mail.settings.password = password;
        }

        QCOMPARE(sender.mail.send(), delivered);
        QCOMPARE(peer.received(), delivered ? 1 : 0);
        if (delivered) {
            QCOMPARE(sender.notices.size(), 1);
            QCOMPARE(sender.notices.first().kind, TollMail::Notice::Information);
            QCOMPARE(peer.summary(1).value("secure").toBool(), tls || ssl);
            QCOMPARE(peer.summary(1).value("login").toString(),
                     authenticate ? QStringLiteral("relatorios") : QString());
        } else {
            QVERIFY2(sender.warning().startsWith(FailurePrefix), qPrintable(sender.warning()));
            QVERIFY2(sender.warning().contains(warningContains, Qt::CaseInsensitive), qPrintable(sender.warning()));
        }
        if (tls || ssl) {
            // Whatever happened, no AUTH went over a connection in clear.
            QVERIFY2(!peer.authLog().contains("secure=False"), peer.authLog().constData());
        }
    }

    // With SSL on port 465 the connection is TLS from its first byte. Port 465 needs the right to bind it.
    void implicitTlsOnPort465()
    {
        SmtpPeer peer(SmtpPeer::Mode::Implicit, m_authority.certificate("local"), m_authority.key("local"),
                      QStringLiteral("relatorios:segredo"), 465);
        if (!peer.port()) {
            QSKIP(qPrintable(QStringLiteral("port 465 unavailable: ") + peer.error()));
        }
        Sender sender(465);
        sender.mail.settings.ssl = true;
        sender.mail.settings.authenticate = true;
        QVERIFY2(sender.mail.send(), qPrintable(sender.texts().join(u'|')));
        QCOMPARE(peer.received(), 1);
        QVERIFY(peer.summary(1).value("secure").toBool());
        QCOMPARE(peer.summary(1).value("login").toString(), QStringLiteral("relatorios"));
    }

    // A server that offers no login at all while one is asked: an error, and the message never reaches it.
    void noMechanismOffered()
    {
        SmtpPeer peer(SmtpPeer::Mode::Plain);
        QVERIFY2(peer.port(), qPrintable(peer.error()));
        Sender sender(peer.port());
        sender.mail.settings.authenticate = true;
        QVERIFY(!sender.mail.send());
        QVERIFY2(sender.warning().startsWith(FailurePrefix + QStringLiteral("The server offers no authentication")),
                 qPrintable(sender.warning()));
        QCOMPARE(peer.received(), 0);
    }

    void silentServerTimesOut()
    {
        SmtpPeer peer(SmtpPeer::Mode::Silent);
        QVERIFY2(peer.port(), qPrintable(peer.error()));
        Sender sender(peer.port());
        sender.mail.setTimeouts(1, 2);
        QVERIFY(!sender.mail.send());
        QVERIFY2(sender.warning().contains(QStringLiteral("timed out"), Qt::CaseInsensitive) ||
                     sender.warning().contains(QStringLiteral("timeout"), Qt::CaseInsensitive),
                 qPrintable(sender.warning()));
    }

    void connectionRefused()
    {
        Sender sender(1);
        QVERIFY(!sender.mail.send());
        QVERIFY2(sender.warning().startsWith(FailurePrefix), qPrintable(sender.warning()));
    }

    // The kept copy: in the folder given (a separator added to it), with the Bcc line the sent one lacks; a
    // copy that cannot be written after a good send says so in its own words, next to the success notice.
    void keptCopy_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("copyWarning");
        QTest::newRow("written") << ""
                                 << "";
        QTest::newRow("folder missing") << "missing"
                                        << "O e-mail foi enviado, mas a cópia não foi gravada: Diretório para Gravar o "
                                           "e-mail não existe: %1/ . Verifique...";
    }

    void keptCopy()
    {
        QFETCH(QString, folder);
        QFETCH(QString, copyWarning);
        SmtpPeer peer(SmtpPeer::Mode::Plain);
        QVERIFY2(peer.port(), qPrintable(peer.error()));
        QTemporaryDir dir;
        const QString copyFolder = folder.isEmpty() ? dir.path() : dir.filePath(folder);
        Sender sender(peer.port());
        sender.mail.bcc = QStringList{ QStringLiteral("auditoria@example.net") };
        sender.mail.keepCopy = true;
        sender.mail.copyFolder = copyFolder;
        QVERIFY(sender.mail.send());
        QCOMPARE(peer.received(), 1);
        QCOMPARE(sender.mail.copyFolder, copyFolder + u'/');

        const QString copyPath = copyFolder + QStringLiteral("/MsgMail.eml");
        const QString success = QStringLiteral("Email enviado com sucesso para: ana@example.com");
        if (copyWarning.isEmpty()) {
            QCOMPARE(sender.texts(), QStringList{ success });
            QFile copy(copyPath);
            QVERIFY(copy.open(QIODevice::ReadOnly));
            const QByteArray bytes = copy.readAll();
            QVERIFY(bytes.contains("\r\nBcc: auditoria@example.net\r\n"));
            QVERIFY(!peer.raw(1).contains("Bcc"));
            QCOMPARE(copy.permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        } else {
            QCOMPARE(sender.texts(), QStringList({ copyWarning.arg(copyFolder), success }));
            QCOMPARE(sender.notices.first().kind, TollMail::Notice::Warning);
            QVERIFY(!QFile::exists(copyPath));
        }
    }

private:
    TestAuthority m_authority;
};

QTEST_MAIN(TollMailTest)
#include "tst_tollmail.moc"
