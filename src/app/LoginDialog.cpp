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
    , m_label1(namedLabel(QStringLiteral("Label1"), QStringLiteral("Usuário:"), this))
    , m_editLogin(new QLineEdit(this))
    , m_label2(namedLabel(QStringLiteral("Label2"), QStringLiteral("Senha:"), this))
    , m_editSenha(new QLineEdit(this))
    , m_lbSite(namedLabel(QStringLiteral("lbSite"), Maker::SiteAddress, this))
    , m_btnOk(new QPushButton(QStringLiteral("OK"), this))
    , m_btnCancelar(new QPushButton(QStringLiteral("Fechar"), this))
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Login - Tollbook"));
    setModal(true);
    setFixedSize(357, 156);

    m_editLogin->setObjectName(QStringLiteral("EditLogin"));
    m_editSenha->setObjectName(QStringLiteral("EditSenha"));
    m_editSenha->setEchoMode(QLineEdit::Password);
    m_label1->setBuddy(m_editLogin);
    m_label2->setBuddy(m_editSenha);

    m_lbSite->setCursor(Qt::PointingHandCursor);
    m_lbSite->setStyleSheet(QStringLiteral("QLabel { color: grey; }"));
    m_lbSite->installEventFilter(this);

    m_btnOk->setObjectName(QStringLiteral("btnOk"));
    m_btnOk->setDefault(true);
    m_btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    m_btnCancelar->setAutoDefault(false);

    auto* fields = new QGridLayout;
    fields->addWidget(m_label1, 0, 0);
    fields->addWidget(m_editLogin, 0, 1);
    fields->addWidget(m_label2, 1, 0);
    fields->addWidget(m_editSenha, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_lbSite);
    buttons->addStretch();
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnCancelar);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->addLayout(fields);
    layout->addStretch();
    layout->addLayout(buttons);

    setTabOrder(m_editLogin, m_editSenha);
    setTabOrder(m_editSenha, m_btnOk);
    setTabOrder(m_btnOk, m_btnCancelar);

    connect(m_btnOk, &QPushButton::clicked, this, ErrorHandler::guarded([this] { okClicked(); }));
    connect(m_btnCancelar, &QPushButton::clicked, this, &LoginDialog::reject);

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
    m_editLogin->setFocus();
    QDialog::showEvent(event);
}

void LoginDialog::okClicked()
{
    const Dataset* configuration = m_dataModule->datasets()->SQL_Configuracao;
    const QString storedLogin = configuration->fieldByName(QStringLiteral("Usuario_Login"))->asString();
    const QString storedPassword = configuration->fieldByName(QStringLiteral("Usuario_Senha"))->asString();
    if (matches(storedLogin, storedPassword, m_editLogin->text(), m_editSenha->text())) {
        accept();
        return;
    }
    MessageBox::show(BoxKind::Information, Language::message(QStringLiteral("Login"), QStringLiteral("sMsgLoginErro")),
                     MessageBox::Buttons::Ok, this);
    m_editLogin->setFocus();
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
    if (watched == m_lbSite) {
        switch (event->type()) {
            case QEvent::Enter:
            case QEvent::Leave: {
                QFont font = m_lbSite->font();
                font.setBold(event->type() == QEvent::Enter);
                m_lbSite->setFont(font);
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
