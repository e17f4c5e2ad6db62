// "E-mail" of the period dialog: the report written to Relatorio.pdf and mailed to the addresses typed,
// the dialog closed after; a cancelled prompt sends and shows nothing; a Relatorio.pdf that cannot be
// replaced and a missing mail setting stop the path with the dialog open.

#include "InstallFixture.h"
#include "mail/SmtpPeer.h"

#include "app/DataModule.h"
#include "data/Catalogue.h"
#include "data/Dataset.h"
#include "mail/TollMail.h"
#include "ui/ErrorHandler.h"
#include "ui/PeriodDialog.h"
#include "ui/ReportEmail.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QTest>

using namespace tollbook;

class ReportEmailTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_install = std::make_unique<InstallFixture>();
        m_install->copyFromSource(QStringLiteral("report/Tollbook_report.rav"));
        m_install->execSql({ QStringLiteral(
            "INSERT INTO Impressao (Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages, dmPaperSize, "
            "Projeto_Id) VALUES ('HP1', '2020-01-01', '2020-01-01 10:00:00', 'Ana', 2, 9, 1)") });
        m_dataModule = std::make_unique<DataModule>(m_install->folder());
        QVERIFY(m_dataModule->create());
        m_dialog = std::make_unique<PeriodDialog>(&m_dataModule->session(), QStringLiteral("Relat_Impressora2"));
        m_dialog->setPeriod(QDate(2020, 1, 1), QDate(2020, 1, 31));
        // The dialog itself is no window for the helpers to answer.
        m_dialog->setProperty(ModalHelper::detail::HandledProperty, true);
        m_dialog->show();
    }

    void cleanup()
    {
        m_dialog.reset();
        m_dataModule.reset();
        Database::close();
        m_install.reset();
        resetProcessWideState();
    }

    void mailed_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("recipients");
        QTest::newRow("one") << "ana@example.com" << QStringList{ "ana@example.com" };
        QTest::newRow("two by semicolon")
            << "ana@example.com; bia@example.com" << QStringList{ "ana@example.com", "bia@example.com" };
    }

    // The PDF goes out as Relatorio.pdf from the configured sender; the dialog closes; the success box lists
    // the recipients.
    void mailed()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, recipients);
        SmtpPeer peer(SmtpPeer::Mode::Plain);
        QVERIFY2(peer.port(), qPrintable(peer.error()));
        configureMail(peer.port());

        BoxRecorder boxes;
        ReportEmail email(&m_dataModule->session(), m_dataModule->tollMail(), m_dialog.get());
        email.setAddressPrompt([typed](QWidget*) { return std::optional<QString>(typed); });
        email.run();

        QCOMPARE(boxes.texts(), QStringList{ QStringLiteral("Email enviado com sucesso para: ") +
                                             recipients.join(QStringLiteral(", ")) });
        QCOMPARE(peer.received(), 1);
        const QJsonObject summary = peer.summary(1);
        QCOMPARE(summary.value("subject").toString(), QStringLiteral("Tollbook - Relatório Gerencial"));
        QCOMPARE(summary.value("mail_from").toString(), QStringLiteral("relatorios@example.com"));
        QCOMPARE(summary.value("rcpt_tos").toVariant().toStringList(), recipients);
        const QJsonArray attachments = summary.value("attachments").toArray();
        QCOMPARE(attachments.size(), 1);
        QCOMPARE(attachments.at(0).toObject().value("filename").toString(), QStringLiteral("Relatorio.pdf"));
        QFile pdf(m_install->path(QStringLiteral("Relatorio.pdf")));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(peer.attachment(1, 0), pdf.readAll());
        QVERIFY(peer.attachment(1, 0).startsWith("%PDF"));
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(!m_dialog->destinationIsFile());
    }

    // Cancel at the prompt: the PDF is written, nothing is sent, nothing shown, the dialog stays.
    void cancelledPrompt()
    {
        SmtpPeer peer(SmtpPeer::Mode::Plain);
        QVERIFY2(peer.port(), qPrintable(peer.error()));
        configureMail(peer.port());
        BoxRecorder boxes;
        ReportEmail email(&m_dataModule->session(), m_dataModule->tollMail(), m_dialog.get());
        email.setAddressPrompt([](QWidget*) { return std::optional<QString>(); });
        email.run();
        QTest::qWait(50);
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(peer.received(), 0);
        QVERIFY(m_dialog->isVisible());
        QVERIFY(QFile::exists(m_install->path(QStringLiteral("Relatorio.pdf"))));
    }

    // The standard prompt answered through the button: Cancel, then the dialog still open.
    void promptCancelledThroughTheButton()
    {
        ReportEmail::attach(&m_dataModule->session(), m_dataModule->tollMail(), m_dialog.get());
        QString asked;
        const auto answer = ModalHelper::onNextModal([&asked](QWidget* modal) {
            asked = modal->windowTitle();
            modal->close();
        });
        BoxRecorder boxes;
        m_dialog->emailButton()->click();
        QCOMPARE(asked, QStringLiteral("Entre com o e-mail de destino"));
        QCOMPARE(boxes.count(), 0);
        QVERIFY(m_dialog->isVisible());
    }

    // A Relatorio.pdf that cannot be replaced: its message, no report, no prompt, the dialog open.
    void pdfCannotBeReplaced()
    {
        m_install->writeText(QStringLiteral("language/Default_pt_BR.lpu"),
                             { QStringLiteral("[Periodo]"), QStringLiteral("sMsgPDFOpen=PDF ABERTO") });
        // A folder of that name with something in it stands for a file held by a viewer.
        QVERIFY(QDir().mkpath(m_install->path(QStringLiteral("Relatorio.pdf/held"))));
        bool prompted = false;
        BoxRecorder boxes;
        ReportEmail email(&m_dataModule->session(), m_dataModule->tollMail(), m_dialog.get());
        email.setAddressPrompt([&prompted](QWidget*) {
            prompted = true;
            return std::optional<QString>();
        });
        QVERIFY(!ErrorHandler::reportingErrors([&] { email.run(); }));
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.texts().first().contains(QStringLiteral("PDF ABERTO")), qPrintable(boxes.texts().first()));
        QVERIFY(!prompted);
        QVERIFY(m_dialog->isVisible());
    }

    // A mail setting missing in the configuration row: the sender's Portuguese message, the dialog open.
    void missingMailSetting()
    {
        configureMail(0);
        BoxRecorder boxes;
        ReportEmail email(&m_dataModule->session(), m_dataModule->tollMail(), m_dialog.get());
        email.setAddressPrompt([](QWidget*) { return std::optional<QString>(QStringLiteral("ana@example.com")); });
        QVERIFY(!ErrorHandler::reportingErrors([&] { email.run(); }));
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.texts().first().endsWith(QStringLiteral("A Porta não foi informada")),
                 qPrintable(boxes.texts().first()));
        QVERIFY(m_dialog->isVisible());
    }

private:
    void configureMail(int port)
    {
        m_install->execSql({ QStringLiteral("UPDATE Configuracao SET Usuario_Email = 'relatorios@example.com', "
                                            "SMTP_Host = '127.0.0.1', SMTP_Login = 'relatorios', SMTP_Senha = 's', "
                                            "SMTP_Autenticar = 'N', SMTP_Porta = %1")
                                 .arg(port) });
        Dataset* configuration = m_dataModule->datasets()->configuration;
        configuration->close();
        configuration->open();
    }

    std::unique_ptr<InstallFixture> m_install;
    std::unique_ptr<DataModule> m_dataModule;
    std::unique_ptr<PeriodDialog> m_dialog;
};

QTEST_MAIN(ReportEmailTest)
#include "tst_reportemail.moc"
