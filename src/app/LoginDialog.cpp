#include "app/LoginDialog.h"

#include "app/DataModule.h"
#include "data/Catalogue.h"
#include "data/ErrorTranslation.h"
#include "i18n/Language.h"
#include "maintenance/Maker.h"
#include "maintenance/UrlOpener.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/MessageBox.h"
#include "ui/WindowFile.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace tollbook {

namespace {

QPointer<LoginDialog> s_instance;

QLabel* namedLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

LoginDialog::LoginDialog(DataModule* dataModule, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_dataModule(dataModule)
    , m_loginLabel(namedLabel(QStringLiteral("Label1"), QStringLiteral("Usuário:"), this))
    , m_loginEdit(new QLineEdit(this))
    , m_passwordLabel(namedLabel(QStringLiteral("Label2"), QStringLiteral("Senha:"), this))
    , m_passwordEdit(new QLineEdit(this))
    , m_siteLabel(namedLabel(QStringLiteral("lbSite"), Maker::SiteAddress, this))
    , m_okButton(new QPushButton(QStringLiteral("OK"), this))
    , m_closeButton(new QPushButton(QStringLiteral("Fechar"), this))
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Login - Tollbook"));
    setModal(true);
    setFixedSize(357, 156);

    m_loginEdit->setObjectName(QStringLiteral("EditLogin"));
    m_passwordEdit->setObjectName(QStringLiteral("EditSenha"));
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_loginLabel->setBuddy(m_loginEdit);
    m_passwordLabel->setBuddy(m_passwordEdit);

    m_siteLabel->setCursor(Qt::PointingHandCursor);
    m_siteLabel->setStyleSheet(QStringLiteral("QLabel { color: grey; }"));
    m_siteLabel->installEventFilter(this);

    m_okButton->setObjectName(QStringLiteral("btnOk"));
    m_okButton->setDefault(true);
    m_closeButton->setObjectName(QStringLiteral("btnCancelar"));
    m_closeButton->setAutoDefault(false);

    auto* fields = new QGridLayout;
    fields->addWidget(m_loginLabel, 0, 0);
    fields->addWidget(m_loginEdit, 0, 1);
    fields->addWidget(m_passwordLabel, 1, 0);
    fields->addWidget(m_passwordEdit, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_siteLabel);
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->addLayout(fields);
    layout->addStretch();
    layout->addLayout(buttons);

    setTabOrder(m_loginEdit, m_passwordEdit);
    setTabOrder(m_passwordEdit, m_okButton);
    setTabOrder(m_okButton, m_closeButton);

    connect(m_okButton, &QPushButton::clicked, this, ErrorHandler::guarded([this] { okClicked(); }));
    connect(m_closeButton, &QPushButton::clicked, this, &LoginDialog::reject);

    s_instance = this;
}

LoginDialog::~LoginDialog()
{
    if (s_instance == this) {
        s_instance = nullptr;
    }
}

LoginDialog* LoginDialog::instance()
{
    return s_instance.data();
}

bool LoginDialog::matches(const QString& storedLogin, const QString& storedPassword, const QString& login,
                          const QString& password)
{
    return upperAscii(storedLogin) == upperAscii(login) && storedPassword == password;
}

void LoginDialog::showEvent(QShowEvent* event)
{
    WindowFile::apply(this, Language::currentCode());
    m_loginEdit->setFocus();
    QDialog::showEvent(event);
}

void LoginDialog::okClicked()
{
    const Dataset* configuration = m_dataModule->datasets()->configuration;
    const QString storedLogin = configuration->fieldByName(QStringLiteral("Usuario_Login"))->asString();
    const QString storedPassword = configuration->fieldByName(QStringLiteral("Usuario_Senha"))->asString();
    if (matches(storedLogin, storedPassword, m_loginEdit->text(), m_passwordEdit->text())) {
        accept();
        return;
    }
    MessageBox::show(BoxKind::Information, Language::message(QStringLiteral("Login"), QStringLiteral("sMsgLoginErro")),
                     MessageBox::Buttons::Ok, this);
    m_loginEdit->setFocus();
}

void LoginDialog::reject()
{
    if (!m_dataModule->restoreFlag()) {
        m_dataModule->endApplication();
    }
    QDialog::reject();
}

void LoginDialog::done(int result)
{
    // Closed: a later request opens a dialog of its own.
    if (s_instance == this) {
        s_instance = nullptr;
    }
    QDialog::done(result);
}

void LoginDialog::openSite()
{
    openUrl(QUrl(QStringLiteral("https://") + Maker::SiteAddress));
}

bool LoginDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_siteLabel) {
        switch (event->type()) {
            case QEvent::Enter:
            case QEvent::Leave: {
                QFont font = m_siteLabel->font();
                font.setBold(event->type() == QEvent::Enter);
                m_siteLabel->setFont(font);
                break;
            }
            case QEvent::MouseButtonRelease:
                if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                    openSite();
                    return true;
                }
                break;
            default:
                break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tollbook
