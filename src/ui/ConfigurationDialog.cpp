#include "ui/ConfigurationDialog.h"

#include "data/Catalogue.h"
#include "data/Dataset.h"
#include "i18n/Language.h"
#include "mail/MailConfiguration.h"
#include "mail/TollMail.h"
#include "session/Session.h"
#include "ui/ErrorHandler.h"
#include "ui/MessageBox.h"
#include "ui/WaitCursor.h"
#include "ui/WindowFile.h"
#include "ui/widgets/Panel.h"

#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tollbook {

namespace {

const QString LoginField = QStringLiteral("Usuario_Login");
const QString PasswordField = QStringLiteral("Usuario_Senha");
const QString LoginSwitchField = QStringLiteral("Ativar_Login");
const QString PortField = QStringLiteral("SMTP_Porta");
const QString Yes = QStringLiteral("S");
const QString No = QStringLiteral("N");

// The tag by which the language-file export leaves a component out: the data-bound edits carry no texts.
constexpr int SkipOnExportTag = 9;

QLabel* namedLabel(const char* name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QLineEdit* dataEdit(const char* name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setProperty("tag", SkipOnExportTag);
    return edit;
}

TabSheet* tabSheet(const char* name, const QString& caption, QTabWidget* pages)
{
    auto* sheet = new TabSheet(caption, pages);
    sheet->setObjectName(QString::fromLatin1(name));
    pages->addTab(sheet, caption);
    return sheet;
}

// A label above its edit.
QVBoxLayout* labelled(QLabel* label, QWidget* edit)
{
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    column->addWidget(label);
    column->addWidget(edit);
    label->setBuddy(edit);
    return column;
}

} // namespace

ConfigurationDialog::ConfigurationDialog(Session* session, TollMail* mail, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_session(session)
    , m_mail(mail)
{
    setObjectName(QStringLiteral("frmConfiguracao"));
    setWindowTitle(QStringLiteral("Configuração do Sistema"));
    setModal(true);

    auto* pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("PageControl1"));

    // Security: login and password side by side, then the login switch.
    TabSheet* security = tabSheet("TabSheet1", QStringLiteral("Configuração de Segurança"), pages);
    QLabel* label1 = namedLabel("Label1", QStringLiteral("Login"), security);
    m_loginEdit = dataEdit("DBEdit1", security);
    QLabel* label2 = namedLabel("Label2", QStringLiteral("Senha"), security);
    m_passwordEdit = dataEdit("DBEdit2", security);
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    auto* accessBox = new QGroupBox(QStringLiteral("Segurança de Acesso"), security);
    accessBox->setObjectName(QStringLiteral("GroupBox1"));
    QLabel* label3 = namedLabel("Label3", QStringLiteral("Ativar Tela de Login"), accessBox);
    m_loginSwitch = new QComboBox(accessBox);
    m_loginSwitch->setObjectName(QStringLiteral("wwDBComboBox1"));
    m_loginSwitch->addItems({ QStringLiteral("Sim"), QStringLiteral("Não") });
    m_loginSwitch->setCurrentIndex(-1);
    m_loginSwitch->setMinimumContentsLength(4);
    m_loginSwitch->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_loginSwitch->installEventFilter(this);
    QLabel* label4 = namedLabel(
        "Label4", QStringLiteral("Obs: Esta interface permite configurar uma caixa de login para que  somente"),
        accessBox);
    QLabel* label5 = namedLabel("Label5", QStringLiteral("o usuário autenticado tenha acesso ao sistema."), accessBox);
    {
        auto* credentials = new QHBoxLayout;
        credentials->addLayout(labelled(label1, m_loginEdit));
        credentials->addLayout(labelled(label2, m_passwordEdit));
        auto* switchRow = new QHBoxLayout;
        switchRow->addWidget(label3);
        switchRow->addWidget(m_loginSwitch);
        switchRow->addStretch();
        label3->setBuddy(m_loginSwitch);
        auto* boxLayout = new QVBoxLayout(accessBox);
        boxLayout->addLayout(switchRow);
        boxLayout->addWidget(label4);
        boxLayout->addWidget(label5);
        boxLayout->setSpacing(2);
        auto* layout = new QVBoxLayout(security);
        layout->addLayout(credentials);
        layout->addWidget(accessBox);
        layout->addStretch();
    }

    // The SMTP account.
    TabSheet* smtp = tabSheet("TabSheet2", QStringLiteral("Configuração de E-mail (SMTP)"), pages);
    QLabel* label6 = namedLabel("Label6", QStringLiteral("Email"), smtp);
    QLineEdit* editEmail = dataEdit("DBEdit3", smtp);
    QLabel* label7 = namedLabel("Label7", QStringLiteral("SMTP Host (ex: smtp.gmail.com)"), smtp);
    QLineEdit* editHost = dataEdit("DBEdit4", smtp);
    QLabel* label8 = namedLabel("Label8", QStringLiteral("SMTP Login (ex: usuario@gmail.com)"), smtp);
    QLineEdit* editSmtpLogin = dataEdit("DBEdit5", smtp);
    QLabel* label9 = namedLabel("Label9", QStringLiteral("SMTP Senha"), smtp);
    QLineEdit* editSmtpPassword = dataEdit("DBEdit6", smtp);
    editSmtpPassword->setEchoMode(QLineEdit::Password);
    QLabel* label10 = namedLabel("Label10", QStringLiteral("SMTP Porta (ex: 25)"), smtp);
    QLineEdit* editPort = dataEdit("DBEdit7", smtp);
    editPort->setValidator(new QIntValidator(0, 65535, editPort));
    auto* authenticate = new DBCheckBox(QStringLiteral("Exige Autenticação"), smtp);
    authenticate->setObjectName(QStringLiteral("DBCheckBox1"));
    auto* tls = new DBCheckBox(QStringLiteral("Habilitar TLS (gmail)"), smtp);
    tls->setObjectName(QStringLiteral("DBCheckBox3"));
    auto* ssl = new DBCheckBox(QStringLiteral("Habilitar SSL"), smtp);
    ssl->setObjectName(QStringLiteral("DBCheckBox2"));
    {
        auto* grid = new QGridLayout(smtp);
        grid->setVerticalSpacing(4);
        grid->addLayout(labelled(label6, editEmail), 0, 0);
        grid->addLayout(labelled(label7, editHost), 0, 1);
        grid->addLayout(labelled(label8, editSmtpLogin), 1, 0);
        auto* passwordAndPort = new QHBoxLayout;
        passwordAndPort->setSpacing(8);
        passwordAndPort->addLayout(labelled(label9, editSmtpPassword), 1);
        passwordAndPort->addLayout(labelled(label10, editPort), 1);
        grid->addLayout(passwordAndPort, 1, 1);
        auto* switches = new QHBoxLayout;
        switches->setSpacing(18);
        switches->addWidget(authenticate);
        switches->addWidget(tls);
        switches->addWidget(ssl);
        switches->addStretch();
        grid->addLayout(switches, 2, 0, 1, 2);
        grid->setRowStretch(3, 1);
        grid->setColumnStretch(0, 1);
        grid->setColumnStretch(1, 1);
    }

    // The test message.
    TabSheet* test = tabSheet("TabSheet3", QStringLiteral("Teste de SMTP"), pages);
    auto* testBox = new QGroupBox(QStringLiteral("Efetuar teste de envio de e-mail"), test);
    testBox->setObjectName(QStringLiteral("GroupBox2"));
    QLabel* label11 = namedLabel("Label11", QStringLiteral("Enviar para:"), testBox);
    m_testAddressEdit = new QLineEdit(testBox);
    m_testAddressEdit->setObjectName(QStringLiteral("EditEmail"));
    label11->setBuddy(m_testAddressEdit);
    m_testButton = new QPushButton(QStringLiteral("Efetuar Teste"), testBox);
    m_testButton->setObjectName(QStringLiteral("Button3"));
    m_testButton->setAutoDefault(false);
    {
        auto* row = new QHBoxLayout;
        row->addWidget(m_testAddressEdit, 1);
        row->addWidget(m_testButton);
        auto* boxLayout = new QVBoxLayout(testBox);
        boxLayout->addWidget(label11);
        boxLayout->addLayout(row);
        auto* layout = new QVBoxLayout(test);
        layout->addWidget(testBox);
        layout->addStretch();
    }

    auto* bottom = new Panel(this);
    bottom->setObjectName(QStringLiteral("Panel1"));
    m_saveButton = new QPushButton(QStringLiteral("Salvar"), bottom);
    m_saveButton->setObjectName(QStringLiteral("BitBtn1"));
    m_saveButton->setDefault(true);
    m_closeButton = new QPushButton(QStringLiteral("Fechar"), bottom);
    m_closeButton->setObjectName(QStringLiteral("BitBtn2"));
    m_closeButton->setAutoDefault(false);
    {
        auto* row = new QHBoxLayout(bottom);
        row->setContentsMargins(6, 4, 6, 4);
        row->addStretch();
        row->addWidget(m_saveButton);
        row->addWidget(m_closeButton);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(4, 4, 4, 4);
        layout->addWidget(pages, 1);
        layout->addWidget(bottom);
    }

    m_pages = pages;
    fitToTexts();

    setTabOrder(m_loginEdit, m_passwordEdit);
    setTabOrder(m_passwordEdit, m_loginSwitch);
    setTabOrder(editEmail, editHost);
    setTabOrder(editHost, editSmtpLogin);
    setTabOrder(editSmtpLogin, editSmtpPassword);
    setTabOrder(editSmtpPassword, editPort);
    setTabOrder(editPort, authenticate);
    setTabOrder(authenticate, ssl);
    setTabOrder(ssl, tls);

    // Created after the controls: the language files list its field labels after them.
    m_configuration = Catalogue::createConfigurationDataset(this);

    bindEdit(m_loginEdit, LoginField);
    bindEdit(m_passwordEdit, PasswordField);
    bindEdit(editEmail, QStringLiteral("Usuario_Email"));
    bindEdit(editHost, QStringLiteral("SMTP_Host"));
    bindEdit(editSmtpLogin, QStringLiteral("SMTP_Login"));
    bindEdit(editSmtpPassword, QStringLiteral("SMTP_Senha"));
    bindEdit(editPort, PortField);
    bindCheckBox(authenticate, QStringLiteral("SMTP_Autenticar"));
    bindCheckBox(tls, QStringLiteral("SMTP_HabilitarTLS"));
    bindCheckBox(ssl, QStringLiteral("SMTP_HabilitarSSL"));
    connect(m_loginSwitch, &QComboBox::activated, this, ErrorHandler::guarded([this] {
                setFieldValue(LoginSwitchField, m_loginSwitch->currentIndex() == 0 ? Yes : No);
            }));
    m_passwordEdit->installEventFilter(this);

    connect(m_configuration, &Dataset::resetDone, this, &ConfigurationDialog::refreshControls);
    connect(m_configuration, &Dataset::currentRowChanged, this, &ConfigurationDialog::refreshControls);
    connect(m_configuration, &Dataset::fieldChanged, this, &ConfigurationDialog::refreshControls);
    connect(m_configuration, &Dataset::stateChanged, this, &ConfigurationDialog::refreshControls);

    connect(m_saveButton, &QPushButton::clicked, this, ErrorHandler::guarded([this] { save(); }));
    connect(m_closeButton, &QPushButton::clicked, this, &ConfigurationDialog::reject);
    connect(m_testButton, &QPushButton::clicked, this, ErrorHandler::guarded([this] { testSmtp(); }));
}

void ConfigurationDialog::bindEdit(QLineEdit* edit, const QString& fieldName)
{
    const Field* field = m_configuration->fieldByName(fieldName);
    if (field->size() > 0) {
        edit->setMaxLength(field->size());
    }
    m_edits.append({ edit, fieldName });
    connect(edit, &QLineEdit::textEdited, this, [this, fieldName](const QString& text) {
        ErrorHandler::reportingErrors([&] {
            // An empty number is no number; an empty text stays a text.
            const bool number = fieldName == PortField;
            setFieldValue(fieldName, number && text.isEmpty() ? QVariant() : QVariant(text));
        });
    });
}

void ConfigurationDialog::bindCheckBox(QCheckBox* box, const QString& fieldName)
{
    m_checkBoxes.append({ box, fieldName });
    connect(box, &QCheckBox::clicked, this, [this, fieldName](bool checked) {
        ErrorHandler::reportingErrors([&] { setFieldValue(fieldName, checked ? Yes : No); });
    });
}

void ConfigurationDialog::startEditing()
{
    if (!m_configuration->isEditing()) {
        m_configuration->edit();
    }
}

void ConfigurationDialog::setFieldValue(const QString& fieldName, const QVariant& value)
{
    startEditing();
    m_configuration->fieldByName(fieldName)->setValue(value);
}

void ConfigurationDialog::refreshControls()
{
    if (m_refreshing || !m_configuration->isOpen() || m_configuration->isEmpty()) {
        return;
    }
    m_refreshing = true;
    for (const auto& [edit, fieldName] : m_edits) {
        const QString text = m_configuration->fieldByName(fieldName)->asString();
        if (edit->text() != text) {
            edit->setText(text);
        }
    }
    for (const auto& [box, fieldName] : m_checkBoxes) {
        box->setChecked(m_configuration->fieldByName(fieldName)->asString() == Yes);
    }
    const QString loginSwitch = m_configuration->fieldByName(LoginSwitchField)->asString();
    m_loginSwitch->setCurrentIndex(loginSwitch == Yes ? 0 : loginSwitch == No ? 1 : -1);
    m_refreshing = false;
}

void ConfigurationDialog::showEvent(QShowEvent* event)
{
    ErrorHandler::reportingErrors([this] {
        m_configuration->close();
        m_configuration->open();
        m_storedPassword = m_configuration->fieldByName(PasswordField)->asString();
        refreshControls();
    });
    m_loginEdit->setFocus();
    WindowFile::apply(this, Language::currentCode());
    // The window files carry no texts for a list's items.
    const QString code = Language::currentCode();
    m_loginSwitch->setItemText(0, code == QLatin1String("en")   ? QStringLiteral("Yes")
                                  : code == QLatin1String("es") ? QStringLiteral("Sí")
                                                                : QStringLiteral("Sim"));
    m_loginSwitch->setItemText(1, code == QLatin1String("en") || code == QLatin1String("es") ? QStringLiteral("No")
                                                                                             : QStringLiteral("Não"));
    fitToTexts();
    QDialog::showEvent(event);
}

void ConfigurationDialog::fitToTexts()
{
    // 412 x 271 as designed, wider where the language's captions and the desktop's font need it: every tab
    // in view at once.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    layout()->activate();
    const QSize needed = sizeHint();
    const int tabs = m_pages->tabBar()->sizeHint().width() + 24;
    setFixedSize(std::max({ 412, needed.width(), tabs }), std::max(271, needed.height()));
}

bool ConfigurationDialog::passwordChanged() const
{
    return m_configuration->isEditing() && m_configuration->fieldByName(PasswordField)->asString() != m_storedPassword;
}

void ConfigurationDialog::post()
{
    if (m_configuration->isEditing()) {
        m_configuration->post();
    }
    m_storedPassword = m_configuration->fieldByName(PasswordField)->asString();
}

bool ConfigurationDialog::confirmPassword()
{
    if (m_confirming || !passwordChanged()) {
        return true;
    }
    m_confirming = true;
    const auto release = qScopeGuard([this] { m_confirming = false; });

    const QString typed = m_configuration->fieldByName(PasswordField)->asString();
    QInputDialog box(this);
    box.setObjectName(QStringLiteral("InputBox"));
    box.setWindowTitle(Language::message(QStringLiteral("Config"), QStringLiteral("sMsgConfirmaInputCaption")));
    box.setLabelText(Language::message(QStringLiteral("Consulta"), QStringLiteral("sMsgConfirmaInputPrompt")));
    box.setTextEchoMode(QLineEdit::Password);
    box.setTextValue(QString());
    const bool answered = box.exec() == QDialog::Accepted;
    if (answered && box.textValue() == typed) {
        post();
        return true;
    }

    // A mistyped or cancelled confirmation never replaces the password: the one stored before stays.
    m_configuration->fieldByName(PasswordField)->setValue(m_storedPassword);
    post();
    MessageBox::show(BoxKind::Information,
                     Language::message(QStringLiteral("Config"), QStringLiteral("sMsgSenhaNaoConfere")),
                     MessageBox::Buttons::Ok, this);
    m_passwordEdit->setFocus();
    return false;
}

bool ConfigurationDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_passwordEdit && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Another window coming forward (a box, a menu) is not leaving the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && passwordChanged()) {
            // Asked once the focus has settled, not inside the focus change.
            QTimer::singleShot(0, this, ErrorHandler::guarded([this] {
                                   if (isVisible()) {
                                       confirmPassword();
                                   }
                               }));
        }
    } else if (watched == m_loginSwitch && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
            ErrorHandler::reportingErrors([this] { setFieldValue(LoginSwitchField, QVariant()); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ConfigurationDialog::save()
{
    if (!confirmPassword()) {
        return;
    }
    post();
    MessageBox::show(BoxKind::Information, Language::message(QStringLiteral("Config"), QStringLiteral("sMsgSalvar")),
                     MessageBox::Buttons::Ok, this);
}

void ConfigurationDialog::reopenSharedConfiguration()
{
    Dataset* shared = m_session->datasets()->configuration;
    shared->close();
    shared->open();
}

void ConfigurationDialog::testSmtp()
{
    if (!confirmPassword()) {
        return;
    }
    post();
    reopenSharedConfiguration();
    WaitCursor wait;
    if (m_testAddressEdit->text().isEmpty()) {
        MessageBox::show(Session::ProductName, QStringLiteral("Campo Enviar para: deve ser preenchido!"),
                         MessageBox::Buttons::Ok, this);
        return;
    }
    TollMail& mail = *m_mail;
    mail.clear();
    mail.settings = m_session->mailSettings();
    mail.to = MailConfiguration::splitAddresses(m_testAddressEdit->text());
    mail.subject = QStringLiteral("Tollbook - Teste de SMTP");
    mail.body = QStringList{ QStringLiteral("Teste do Serviço de Envio de Email SMTP - Tollbook") };
    mail.keepCopy = false;
    mail.notifySuccess = true;
    mail.send();
}

void ConfigurationDialog::done(int result)
{
    ErrorHandler::reportingErrors([this] {
        if (m_configuration->isEditing()) {
            m_configuration->cancel();
        }
        reopenSharedConfiguration();
    });
    QDialog::done(result);
}

} // namespace tollbook
