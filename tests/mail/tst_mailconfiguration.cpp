// The mail sender filled from the configuration row: trimming, the port, the three switches, and the
// splitting of a typed address line.

#include "common/DatabaseFixture.h"

#include "data/Catalogue.h"
#include "data/Dataset.h"
#include "mail/MailConfiguration.h"
#include "mail/MailSettings.h"
#include "mail/TollMail.h"

#include <QTest>

using namespace tollbook;

class MailConfigurationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fill_data()
    {
        QTest::addColumn<QString>("update");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("switches"); // Autenticar, HabilitarTLS, HabilitarSSL as 0/1
        QTest::newRow("all on") << "SMTP_Autenticar = 'S', SMTP_HabilitarTLS = 'S', SMTP_HabilitarSSL = 'S'"
                                << "smtp.example.com" << 587 << " s3nha "
                                << "111";
        QTest::newRow("lower-case s, N, empty and NULL are off")
            << "SMTP_Autenticar = 's', SMTP_HabilitarTLS = 'N', SMTP_HabilitarSSL = NULL"
            << "smtp.example.com" << 587 << " s3nha "
            << "000";
        QTest::newRow("empty switch") << "SMTP_Autenticar = '', SMTP_HabilitarTLS = 'S'"
                                      << "smtp.example.com" << 587 << " s3nha "
                                      << "010";
        QTest::newRow("no port") << "SMTP_Porta = NULL"
                                 << "smtp.example.com" << 0 << " s3nha "
                                 << "000";
        QTest::newRow("control characters around the host") << "SMTP_Host = '\t mail.example.com\r\n'"
                                                            << "mail.example.com" << 587 << " s3nha "
                                                            << "000";
    }

    // Host, sender and login lose blanks and control characters at both ends; the password is taken as it is.
    void fill()
    {
        QFETCH(QString, update);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, password);
        QFETCH(QString, switches);
        DatabaseFixture database;
        DatabaseFixture::exec({ QStringLiteral("UPDATE Configuracao SET SMTP_Host = '  smtp.example.com ', "
                                               "Usuario_Email = ' eu@example.com', SMTP_Login = 'eu ', "
                                               "SMTP_Senha = ' s3nha ', SMTP_Porta = 587, SMTP_Autenticar = 'N'"),
                                QStringLiteral("UPDATE Configuracao SET ") + update });
        Dataset* configuration = Catalogue::createConfigurationDataset(this);
        configuration->open();

        TollMail mail;
        MailConfiguration::prepareReport(mail, MailSettings::fromConfiguration(*configuration),
                                         { QStringLiteral("ana@example.com"), QStringLiteral("bia@example.com") },
                                         QStringLiteral("/srv/Relatorio.pdf"));
        QCOMPARE(mail.settings.host, host);
        QCOMPARE(mail.settings.sender, QStringLiteral("eu@example.com"));
        QCOMPARE(mail.settings.login, QStringLiteral("eu"));
        QCOMPARE(mail.settings.port, port);
        QCOMPARE(mail.settings.password, password);
        QCOMPARE(QString::number(mail.settings.authenticate) + QString::number(mail.settings.startTls) +
                     QString::number(mail.settings.ssl),
                 switches);
        QCOMPARE(mail.to, QStringList({ "ana@example.com", "bia@example.com" }));
        QCOMPARE(mail.subject, QStringLiteral("Tollbook - Relatório Gerencial"));
        QCOMPARE(mail.attachments, QStringList{ QStringLiteral("/srv/Relatorio.pdf") });
        QCOMPARE(mail.body.size(), 1);
        QVERIFY(!mail.keepCopy);
        QVERIFY(mail.notifySuccess);
        delete configuration;
    }

    void splitAddresses_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("addresses");
        QTest::newRow("one") << "ana@example.com" << QStringList{ "ana@example.com" };
        QTest::newRow("blanks around") << "  ana@example.com " << QStringList{ "ana@example.com" };
        QTest::newRow("semicolon") << "ana@example.com;bia@example.com"
                                   << QStringList{ "ana@example.com", "bia@example.com" };
        QTest::newRow("comma and blanks, empty pieces")
            << " ana@example.com , , bia@example.com; " << QStringList{ "ana@example.com", "bia@example.com" };
        QTest::newRow("nothing") << " ; " << QStringList();
    }

    void splitAddresses()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, addresses);
        QCOMPARE(MailConfiguration::splitAddresses(line), addresses);
    }
};

QTEST_MAIN(MailConfigurationTest)
#include "tst_mailconfiguration.moc"
