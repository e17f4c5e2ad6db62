// tollbook-report --mail: the report mailed as Relatorio.pdf with the settings of the configuration row to
// the addresses given, and one line on standard error with a non-zero status when it cannot be.

#include "common/DatabaseFixture.h"
#include "mail/SmtpPeer.h"

#include "platform/SystemRoutines.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {

int run(const QStringList& arguments, QStringList* errorLines)
{
    QProcess process;
    process.start(qEnvironmentVariable("TOLLBOOK_REPORT_EXE"), arguments);
    if (!process.waitForFinished(120000)) {
        return -1;
    }
    *errorLines = QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

class ReportMailTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_database = std::make_unique<DatabaseFixture>();
        const QString folder = m_database->folder();
        const QString config = folder + QStringLiteral("/config.ini");
        tollbook::WriteIniValue(config, QStringLiteral("App"), QStringLiteral("DataBase"), m_database->path());
        tollbook::WriteIniValue(config, QStringLiteral("App"), QStringLiteral("Language"), QStringLiteral("pt_BR"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/report")));
        QVERIFY(QFile::copy(QStringLiteral(TOLLBOOK_SOURCE_DIR "/report/Tollbook_report.rav"),
                            folder + QStringLiteral("/report/Tollbook_report.rav")));
        DatabaseFixture::exec({ QStringLiteral(
            "INSERT INTO Impressao (Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages, dmPaperSize, "
            "Projeto_Id) VALUES ('HP1', '2020-01-01', '2020-01-01 10:00:00', 'Ana', 2, 9, 1)") });
    }

    void cleanup() { m_database.reset(); }

    void mailed()
    {
        SmtpPeer peer(SmtpPeer::Mode::Plain);
        QVERIFY2(peer.port(), qPrintable(peer.error()));
        configure(peer.port());
        QStringList errors;
        QCOMPARE(
            run(arguments({ QStringLiteral("--mail"), QStringLiteral("ana@example.com,bia@example.com") }), &errors),
            0);
        QCOMPARE(errors, QStringList());
        QCOMPARE(peer.received(), 1);
        const QJsonObject summary = peer.summary(1);
        QCOMPARE(summary.value("rcpt_tos").toVariant().toStringList(),
                 QStringList({ "ana@example.com", "bia@example.com" }));
        QCOMPARE(summary.value("subject").toString(), QStringLiteral("Tollbook - Relatório Gerencial"));
        const QJsonArray attachments = summary.value("attachments").toArray();
        QCOMPARE(attachments.size(), 1);
        QCOMPARE(attachments.at(0).toObject().value("filename").toString(), QStringLiteral("Relatorio.pdf"));
        QVERIFY(peer.attachment(1, 0).startsWith("%PDF"));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("port"); // -1: a server that takes the mail
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("line");
        QTest::newRow("both outputs") << QStringList{ "--mail", "a@example.com", "--pdf", "x.pdf" } << -1 << 2
                                      << "tollbook-report: one of --pdf and --mail is required";
        QTest::newRow("no address") << QStringList{ "--mail", " , " } << -1 << 2
                                    << "tollbook-report: --mail names no address";
        QTest::newRow("not an address") << QStringList{
            "--mail", "ana"
        } << -1 << 1 << "tollbook-report: Erro na conexão e/ou autenticação: Endereço de e-mail inválido: ana";
        QTest::newRow("no port in the configuration")
            << QStringList{ "--mail", "ana@example.com" } << 0 << 1 << "tollbook-report: A Porta não foi informada";
        QTest::newRow("in English") << QStringList{ "--mail", "ana@example.com", "--language", "en" } << 0 << 1
                                    << "tollbook-report: The door was not informed";
        QTest::newRow("nobody listening") << QStringList{ "--mail", "ana@example.com" } << 1 << 1
                                          << "tollbook-report: Erro na conexão e/ou autenticação: ";
    }

    void failures()
    {
        QFETCH(QStringList, extra);
        QFETCH(int, port);
        QFETCH(int, status);
        QFETCH(QString, line);
        SmtpPeer peer(SmtpPeer::Mode::Plain);
        QVERIFY2(peer.port(), qPrintable(peer.error()));
        configure(port < 0 ? peer.port() : port);
        QStringList errors;
        QCOMPARE(run(arguments(extra), &errors), status);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith(line), qPrintable(errors.first()));
        QCOMPARE(peer.received(), 0);
    }

private:
    QStringList arguments(const QStringList& extra) const
    {
        return QStringList{ QStringLiteral("--installation"), m_database->folder(),
                            QStringLiteral("--report"),       QStringLiteral("Relat_Impressora2"),
                            QStringLiteral("--from"),         QStringLiteral("2020-01-01"),
                            QStringLiteral("--to"),           QStringLiteral("2020-01-31") } +
               extra;
    }

    void configure(int port)
    {
        DatabaseFixture::exec({ QStringLiteral("UPDATE Configuracao SET Usuario_Email = 'relatorios@example.com', "
                                               "SMTP_Host = '127.0.0.1', SMTP_Login = 'relatorios', SMTP_Senha = 's', "
                                               "SMTP_Autenticar = 'N', SMTP_Porta = %1")
                                    .arg(port == 0 ? QStringLiteral("NULL") : QString::number(port)) });
    }

    std::unique_ptr<DatabaseFixture> m_database;
};

QTEST_MAIN(ReportMailTest)
#include "tst_reportmail.moc"
