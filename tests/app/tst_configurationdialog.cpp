// The configuration dialog over a temporary installation: its fields bound to the configuration row, the
// password asked again before a changed one is saved (and kept when the confirmation fails), "Salvar", the
// data module's row read anew on closing, and the SMTP test against a server of its own.

#include "InstallFixture.h"
#include "mail/SmtpPeer.h"

#include "app/DataModule.h"
#include "data/Catalogue.h"
#include "data/Dataset.h"
#include "mail/TollMail.h"
#include "ui/ConfigurationDialog.h"
#include "ui/ModalWait.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tollbook;

namespace {

// What the installation's files say for the keys the dialog shows, marked so that a test can tell them apart.
void writeDialogMessages(InstallFixture& install)
{
    install.writeText(QStringLiteral("language/Default_pt_BR.lpu"),
                      { QStringLiteral("[Consulta]"), QStringLiteral("sMsgConfirmaInputPrompt=Digite de novo:"),
                        QStringLiteral("[Config]"), QStringLiteral("sMsgConfirmaInputCaption=Confirmação"),
                        QStringLiteral("sMsgSalvar=GRAVADO"), QStringLiteral("sMsgSenhaNaoConfere=NAO CONFERE"),
                        QStringLiteral("[Mail]"), QStringLiteral("sMsgEnviandoEmail=Enviando...") });
}

QString storedValue(InstallFixture& install, const QString& column)
{
    const QString connection = QStringLiteral("configuration-check");
    QString value;
    {
        QSqlDatabase db = Database::open(install.databasePath(), connection);
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("SELECT %1 FROM Configuracao").arg(column)) && query.next()) {
            value = query.value(0).isNull() ? QStringLiteral("<null>") : query.value(0).toString();
        }
    }
    Database::close(connection);
    return value;
}

template<typename T>
T* child(QWidget* window, const char* name)
{
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        qFatal("no %s", name);
    }
    return found;
}

// Answers the next input box with text, or cancels it when text is null; records that it was asked.
struct InputAnswer
{
    explicit InputAnswer(const QString& text)
        : asked(std::make_shared<QString>())
    {
        token = ModalHelper::onNextModal([text, asked = asked](QWidget* modal) {
            auto* box = qobject_cast<QInputDialog*>(modal);
            if (!box) {
                *asked = QStringLiteral("<other window: %1>").arg(modal->objectName());
                modal->close();
                return;
            }
            *asked = box->labelText();
            if (text.isNull()) {
                box->reject();
            } else {
                box->setTextValue(text);
                box->accept();
            }
        });
    }
    std::shared_ptr<QString> asked;
    std::shared_ptr<void> token;
};

} // namespace

class ConfigurationDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        resetProcessWideState();
        m_install = std::make_unique<InstallFixture>();
        writeDialogMessages(*m_install);
        m_install->execSql(
            { QStringLiteral("UPDATE Configuracao SET Usuario_Login = 'admin', Usuario_Senha = 'velha'") });
        m_dataModule = std::make_unique<DataModule>(m_install->folder());
        QVERIFY(m_dataModule->create());
        m_dialog = std::make_unique<ConfigurationDialog>(&m_dataModule->session(), m_dataModule->tollMail());
        // The dialog itself is no window for the helpers to answer.
        m_dialog->setProperty(ModalHelper::detail::HandledProperty, true);
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(m_dialog.get()));
    }

    void cleanup()
    {
        m_dialog.reset();
        m_dataModule.reset();
        m_install.reset();
        resetProcessWideState();
    }

    // The controls show the stored row; an edit goes to the table with "Salvar", which always says so.
    void editAndSave()
    {
        auto* login = child<QLineEdit>(m_dialog.get(), "DBEdit1");
        QCOMPARE(login->text(), QStringLiteral("admin"));
        QCOMPARE(login->maxLength(), 30);
        login->setFocus();
        login->end(false);
        QTest::keyClicks(login, QStringLiteral("istrador"));
        QTest::mouseClick(child<QCheckBox>(m_dialog.get(), "DBCheckBox3"), Qt::LeftButton);
        QVERIFY(m_dialog->configuration()->isEditing());

        BoxRecorder boxes;
        child<QPushButton>(m_dialog.get(), "BitBtn1")->click();
        QCOMPARE(boxes.texts(), QStringList{ QStringLiteral("GRAVADO") });
        QCOMPARE(storedValue(*m_install, QStringLiteral("Usuario_Login")), QStringLiteral("administrador"));
        QCOMPARE(storedValue(*m_install, QStringLiteral("SMTP_HabilitarTLS")), QStringLiteral("S"));
        QCOMPARE(storedValue(*m_install, QStringLiteral("Usuario_Senha")), QStringLiteral("velha"));

        // Nothing changed: the notice all the same.
        child<QPushButton>(m_dialog.get(), "BitBtn1")->click();
        QCOMPARE(boxes.count(), 2);
    }

    // Closing drops what was not saved and reads the data module's row anew.
    void closeRereadsDataModule()
    {
        m_install->execSql({ QStringLiteral("UPDATE Configuracao SET SMTP_Host = 'smtp.example.com'") });
        auto* host = child<QLineEdit>(m_dialog.get(), "DBEdit4");
        QTest::keyClicks(host, QStringLiteral(".br"));
        child<QPushButton>(m_dialog.get(), "BitBtn2")->click();
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(storedValue(*m_install, QStringLiteral("SMTP_Host")), QStringLiteral("smtp.example.com"));
        QCOMPARE(m_dataModule->datasets()->configuration->fieldByName(QStringLiteral("SMTP_Host"))->asString(),
                 QStringLiteral("smtp.example.com"));
    }

    void passwordConfirmation_data()
    {
        QTest::addColumn<QString>("typed");   // appended to nothing: the field is cleared first
        QTest::addColumn<QString>("answer");  // null: cancelled
        QTest::addColumn<QString>("leaveBy"); // "tab" or "save"
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("confirmed") << "nova"
                                   << "nova"
                                   << "tab"
                                   << "nova" << QStringList();
        QTest::newRow("mistyped") << "nova"
                                  << "nvoa"
                                  << "tab"
                                  << "velha" << QStringList{ "NAO CONFERE" };
        QTest::newRow("cancelled") << "nova" << QString() << "tab"
                                   << "velha" << QStringList{ "NAO CONFERE" };
        QTest::newRow("cleared and cancelled") << "" << QString() << "tab"
                                               << "velha" << QStringList{ "NAO CONFERE" };
        QTest::newRow("Enter saves: asked first") << "nova"
                                                  << "nova"
                                                  << "save"
                                                  << "nova" << QStringList{ "GRAVADO" };
        QTest::newRow("Enter saves: mistyped") << "nova"
                                               << "x"
                                               << "save"
                                               << "velha" << QStringList{ "NAO CONFERE" };
    }

    void passwordConfirmation()
    {
        QFETCH(QString, typed);
        QFETCH(QString, answer);
        QFETCH(QString, leaveBy);
        QFETCH(QString, stored);
        QFETCH(QStringList, boxes);
        auto* password = child<QLineEdit>(m_dialog.get(), "DBEdit2");
        password->setFocus();
        password->selectAll();
        QTest::keyClick(password, Qt::Key_Delete);
        QTest::keyClicks(password, typed);

        BoxRecorder recorder;
        InputAnswer input(answer);
        if (leaveBy == QLatin1String("tab")) {
            QTest::keyClick(password, Qt::Key_Tab);
        } else {
            QTest::keyClick(password, Qt::Key_Return);
        }
        QTRY_COMPARE(*input.asked, QStringLiteral("Digite de novo:"));
        QTRY_COMPARE(recorder.texts(), boxes);
        QCOMPARE(storedValue(*m_install, QStringLiteral("Usuario_Senha")), stored);
        QCOMPARE(password->text(), stored);
        QVERIFY(!m_dialog->configuration()->isEditing());
        if (stored != typed) {
            QTRY_COMPARE(m_dialog->focusWidget(), password);
        }
    }

    // Leaving the password unchanged asks nothing, also with other fields changed.
    void unchangedPasswordAsksNothing()
    {
        auto* login = child<QLineEdit>(m_dialog.get(), "DBEdit1");
        QTest::keyClicks(login, QStringLiteral("2"));
        auto* password = child<QLineEdit>(m_dialog.get(), "DBEdit2");
        password->setFocus();
        InputAnswer input(QStringLiteral("whatever"));
        QTest::keyClick(password, Qt::Key_Tab);
        QTest::qWait(100);
        QCOMPARE(*input.asked, QString());
        QCOMPARE(storedValue(*m_install, QStringLiteral("Usuario_Senha")), QStringLiteral("velha"));
    }

    // An empty address: the row is saved first, then the fixed notice, and nothing is sent.
    void smtpTestWithoutAddress()
    {
        QTest::keyClicks(child<QLineEdit>(m_dialog.get(), "DBEdit4"), QStringLiteral("smtp.example.com"));
        BoxRecorder boxes;
        child<QPushButton>(m_dialog.get(), "Button3")->click();
        QCOMPARE(boxes.texts(), QStringList{ QStringLiteral("Campo Enviar para: deve ser preenchido!") });
        QCOMPARE(boxes.box(0).title, QStringLiteral("Tollbook"));
        QCOMPARE(storedValue(*m_install, QStringLiteral("SMTP_Host")), QStringLiteral("smtp.example.com"));
    }

    // A missing mandatory setting is shown by the error handler; nothing is sent.
    void smtpTestWithMissingSetting()
    {
        m_install->execSql({ QStringLiteral("UPDATE Configuracao SET SMTP_Host = '127.0.0.1', SMTP_Login = 'x', "
                                            "SMTP_Senha = 'y', SMTP_Porta = NULL") });
        child<QLineEdit>(m_dialog.get(), "EditEmail")->setText(QStringLiteral("ana@example.com"));
        BoxRecorder boxes;
        child<QPushButton>(m_dialog.get(), "Button3")->click();
        QCOMPARE(boxes.count(), 1);
        QVERIFY2(boxes.texts().first().endsWith(QStringLiteral("\n\nA Porta não foi informada")),
                 qPrintable(boxes.texts().first()));
    }

    // The test message goes out with the stored settings (saved just before), on a worker thread behind
    // the modal wait while the event loop goes on; a server that never answers ends in the failure box.
    void smtpTest_data()
    {
        QTest::addColumn<bool>("silent");
        QTest::newRow("delivered") << false;
        QTest::newRow("server never answers") << true;
    }

    void smtpTest()
    {
        QFETCH(bool, silent);
        SmtpPeer peer(silent ? SmtpPeer::Mode::Silent : SmtpPeer::Mode::Plain);
        QVERIFY2(peer.port(), qPrintable(peer.error()));
        m_install->execSql({ QStringLiteral("UPDATE Configuracao SET Usuario_Email = ' relatorios@example.com ', "
                                            "SMTP_Host = '127.0.0.1', SMTP_Login = 'relatorios', SMTP_Senha = 's', "
                                            "SMTP_Autenticar = 'N', SMTP_Porta = NULL") });
        m_dataModule->tollMail()->setTimeouts(1, 2);
        auto* port = child<QLineEdit>(m_dialog.get(), "DBEdit7");
        m_dialog->configuration()->close();
        m_dialog->configuration()->open();
        QTest::keyClicks(port, QString::number(peer.port()));
        child<QLineEdit>(m_dialog.get(), "EditEmail")->setText(QStringLiteral("ana@example.com"));

        const QThread* mainThread = QThread::currentThread();
        int ticks = 0;
        QString waitShown;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] {
            ++ticks;
            if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
                if (modal->objectName() == ModalWait::ObjectName) {
                    waitShown = modal->findChild<QLabel*>()->text();
                }
            }
            QCOMPARE(QThread::currentThread(), mainThread);
        });
        tick.start(20);
        BoxRecorder boxes;
        child<QPushButton>(m_dialog.get(), "Button3")->click();
        tick.stop();

        QCOMPARE(storedValue(*m_install, QStringLiteral("SMTP_Porta")), QString::number(peer.port()));
        if (silent) {
            QCOMPARE(boxes.count(), 1);
            QVERIFY2(boxes.texts().first().startsWith(QStringLiteral("Erro na conexão e/ou autenticação: ")),
                     qPrintable(boxes.texts().first()));
            // The transfer waited on another thread: the loop went on and the wait window was up.
            QVERIFY(ticks > 5);
            QCOMPARE(waitShown, QStringLiteral("Enviando..."));
        } else {
            QCOMPARE(boxes.texts(), QStringList{ QStringLiteral("Email enviado com sucesso para: ana@example.com") });
            QCOMPARE(boxes.box(0).icon, QMessageBox::Information);
            QCOMPARE(peer.received(), 1);
            const QJsonObject summary = peer.summary(1);
            QCOMPARE(summary.value("subject").toString(), QStringLiteral("Tollbook - Teste de SMTP"));
            QCOMPARE(summary.value("mail_from").toString(), QStringLiteral("relatorios@example.com"));
            QCOMPARE(summary.value("body").toString(),
                     QStringLiteral("Teste do Serviço de Envio de Email SMTP - Tollbook"));
        }
    }

private:
    std::unique_ptr<InstallFixture> m_install;
    std::unique_ptr<DataModule> m_dataModule;
    std::unique_ptr<ConfigurationDialog> m_dialog;
};

QTEST_MAIN(ConfigurationDialogTest)
#include "tst_configurationdialog.moc"
