#include "InstallFixture.h"
#include "app/Application.h"
#include "app/DataModule.h"
#include "app/LoginDialog.h"
#include "data/Catalogue.h"
#include "maintenance/Maker.h"
#include "maintenance/UrlOpener.h"

#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace tollbook;

class TestLoginDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void credentials_data();
    void credentials();
    void credentialsAreReadWhenOkIsPressed();
    void closing_data();
    void closing();
    void windowFileAppliedOnShowing();
    void siteLabel();

private:
    // The data module of a fresh installation whose login is switched on with these credentials.
    void startWith(const QString& login, const QString& password);
    QLineEdit* edit(const char* name) const { return m_dialog->findChild<QLineEdit*>(QLatin1String(name)); }
    QPushButton* button(const char* name) const { return m_dialog->findChild<QPushButton*>(QLatin1String(name)); }

    std::unique_ptr<InstallFixture> m_install;
    std::unique_ptr<ApplicationShell> m_shell;
    std::unique_ptr<LoginDialog> m_dialog;
};

void TestLoginDialog::init()
{
    m_install = std::make_unique<InstallFixture>();
}

void TestLoginDialog::cleanup()
{
    m_dialog.reset();
    m_shell.reset();
    m_install.reset();
    resetProcessWideState();
}

void TestLoginDialog::startWith(const QString& login, const QString& password)
{
    m_install->setLogin(QStringLiteral("S"), login, password);
    m_shell = std::make_unique<ApplicationShell>(m_install->folder());
    QVERIFY(m_shell->createDataModule());
    m_dialog = std::make_unique<LoginDialog>(m_shell->dataModule());
    m_dialog->show();
}

void TestLoginDialog::credentials_data()
{
    QTest::addColumn<QString>("storedLogin"); // a null text is stored as NULL
    QTest::addColumn<QString>("storedPassword");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");

    const QString password = QStringLiteral("Segredo1");
    QTest::newRow("as stored") << QStringLiteral("Admin") << password << QStringLiteral("Admin") << password << true;
    QTest::newRow("login in capitals") << QStringLiteral("Admin") << password << QStringLiteral("ADMIN") << password
                                       << true;
    QTest::newRow("login in small letters")
        << QStringLiteral("ADMIN") << password << QStringLiteral("admin") << password << true;
    QTest::newRow("password in other case")
        << QStringLiteral("Admin") << password << QStringLiteral("Admin") << QStringLiteral("segredo1") << false;
    QTest::newRow("accented letter in other case")
        << QStringLiteral("José") << password << QStringLiteral("JOSÉ") << password << false;
    QTest::newRow("only unaccented letters in other case")
        << QStringLiteral("José") << password << QStringLiteral("JOSé") << password << true;
    QTest::newRow("blank after the login")
        << QStringLiteral("Admin") << password << QStringLiteral("Admin ") << password << false;
    QTest::newRow("empty stored, empty typed") << QString() << QString() << QString() << QString() << true;
    QTest::newRow("blank stored, empty typed")
        << QStringLiteral("") << QStringLiteral("") << QString() << QString() << true;
    QTest::newRow("empty stored, something typed")
        << QString() << QString() << QStringLiteral("admin") << QString() << false;
    QTest::newRow("nothing typed") << QStringLiteral("Admin") << password << QString() << QString() << false;
}

// A wrong entry is told in an information box, and the dialog stays with both entries and the focus on the
// login.
void TestLoginDialog::credentials()
{
    QFETCH(QString, storedLogin);
    QFETCH(QString, storedPassword);
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(bool, accepted);

    startWith(storedLogin, storedPassword);
    edit("EditLogin")->setText(login);
    edit("EditSenha")->setText(password);
    button("btnCancelar")->setFocus();

    BoxRecorder boxes;
    button("btnOk")->click();

    QCOMPARE(m_dialog->result() == QDialog::Accepted, accepted);
    QCOMPARE(m_dialog->isVisible(), !accepted);
    QVERIFY(!m_shell->dataModule()->endRequested());
    if (accepted) {
        QCOMPARE(boxes.count(), 0);
        return;
    }
    QCOMPARE(boxes.texts(), QStringList{ QStringLiteral("Login inválido") });
    QCOMPARE(boxes.box(0).icon, QMessageBox::Information);
    QCOMPARE(m_dialog->focusWidget(), edit("EditLogin"));
    QCOMPARE(edit("EditLogin")->text(), login);
    QCOMPARE(edit("EditSenha")->text(), password);
}

void TestLoginDialog::credentialsAreReadWhenOkIsPressed()
{
    startWith(QStringLiteral("admin"), QStringLiteral("velha"));
    // The configuration dialog saved a new password and re-read the row while the login was open.
    m_install->setLogin(QStringLiteral("S"), QStringLiteral("admin"), QStringLiteral("nova"));
    m_shell->dataModule()->datasets()->configuration->reopen();

    edit("EditLogin")->setText(QStringLiteral("admin"));
    edit("EditSenha")->setText(QStringLiteral("nova"));
    button("btnOk")->click();

    QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
}

void TestLoginDialog::closing_data()
{
    QTest::addColumn<bool>("restoreAsked");
    QTest::addColumn<bool>("byEscape");

    QTest::newRow("Fechar at start-up") << false << false;
    QTest::newRow("Escape at start-up") << false << true;
    QTest::newRow("Fechar after a restore") << true << false;
    QTest::newRow("Escape after a restore") << true << true;
}

// Before the application was ever restored from the notification area, closing the login ends it.
void TestLoginDialog::closing()
{
    QFETCH(bool, restoreAsked);
    QFETCH(bool, byEscape);

    startWith(QStringLiteral("admin"), QStringLiteral("segredo"));
    if (restoreAsked) {
        m_shell->dataModule()->setRestoreFlag();
    }
    QCOMPARE(LoginDialog::instance(), m_dialog.get());

    if (byEscape) {
        QTest::keyClick(edit("EditLogin"), Qt::Key_Escape);
    } else {
        button("btnCancelar")->click();
    }

    QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(m_shell->dataModule()->endRequested(), !restoreAsked);
    QVERIFY(!LoginDialog::instance());
}

void TestLoginDialog::windowFileAppliedOnShowing()
{
    m_install->writeConfig(QStringLiteral("Language"), QStringLiteral("en"));
    m_install->writeText(QStringLiteral("language/en/frmLogin.lpu"),
                         { QStringLiteral("[frmLogin]"), QStringLiteral("frmLogin.Caption=Login EN"),
                           QStringLiteral("Label1.Caption=User:"), QStringLiteral("btnCancelar.Caption=Close") });
    startWith(QStringLiteral("admin"), QStringLiteral("segredo"));

    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Login EN"));
    QCOMPARE(m_dialog->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("User:"));
    QCOMPARE(m_dialog->findChild<QLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("Senha:"));
    QCOMPARE(button("btnCancelar")->text(), QStringLiteral("Close"));
    QCOMPARE(m_dialog->focusWidget(), edit("EditLogin"));
}

// The maker's address: bold while the mouse is over it, opened in the browser by a click.
void TestLoginDialog::siteLabel()
{
    startWith(QStringLiteral("admin"), QStringLiteral("segredo"));
    auto* site = m_dialog->findChild<QLabel*>(QStringLiteral("lbSite"));
    QVERIFY(site);
    QCOMPARE(site->text(), Maker::SiteAddress);
    QVERIFY(!site->font().bold());

    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(site, &enter);
    QVERIFY(site->font().bold());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(site, &leave);
    QVERIFY(!site->font().bold());

    QList<QUrl> opened;
    const UrlOpener previous = setUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    QTest::mouseClick(site, Qt::LeftButton);
    setUrlOpener(previous);
    QCOMPARE(opened, QList<QUrl>{ QUrl(QStringLiteral("https://") + Maker::SiteAddress) });
    QVERIFY(m_dialog->isVisible());
}

int main(int argc, char** argv)
{
    tollbook::Application app(argc, argv);
    TestLoginDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_logindialog.moc"
