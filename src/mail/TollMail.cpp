#include "mail/TollMail.h"

#include "mail/MimeMessage.h"
#include "mail/SmtpDelivery.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace tollbook {

namespace {

enum class Text {
    Host,
    Subject,
    Login,
    Port,
    Password,
    Body,
    Sender,
    Recipient,
    CopyInUse,
    CopyFolderMissing,
    Success,
    Failure,
    NotAnAddress,
    LineBreak,
    Attachment,
    CopyFailed,
    CopyNotWritten,
};

struct Texts
{
    Text text;
    const char* pt;
    const char* en;
    const char* es;
};

// The component's own messages. The first twelve are those it always had; the rest name what it refuses to
// put into a message (a header of the caller's making, a missing file) and a copy that failed after the mail
// went out.
constexpr Texts Messages[] = {
    { Text::Host, "O host não foi informado", "The host was not informed", "El host no fue informado" },
    { Text::Subject, "O assunto da mensagem não foi informado", "The subject of the message was not informed",
      "El tema del mensaje no fue informado" },
    { Text::Login, "O Login Usuario não foi informado", "The user Login has not been informed",
      "El login del usuario no ha sido informado" },
    { Text::Port, "A Porta não foi informada", "The door was not informed", "La puerta no estaba informada" },
    { Text::Password, "A Senha não foi informada", "The password was not informed", "La contraseña no fue informada" },
    { Text::Body, "Corpo da Mensagem não foi informado", "Message body was not informed",
      "El cuerpo del mensaje no fue informado" },
    { Text::Sender, "O e-mail do Remetente não foi informado", "Sender\"s email was not informed",
      "El correo electrónico del remitente no fue informado" },
    { Text::Recipient, "O e-mail do Destinatário não foi informado", "The recipient\"s e-mail was not informed",
      "El correo electrónico del destinatario no se inform" },
    { Text::CopyInUse, "Arquivo de E-mail está em uso, feche ele antes de gerar um novo e-mail!",
      "Email file is in use, close it before generating a new email!",
      "¡El archivo de correo electrónico está en uso, cerrarlo antes de generar un nuevo correo electrónico!" },
    { Text::CopyFolderMissing, "Diretório para Gravar o e-mail não existe: %1 . Verifique...",
      "Directory to write the e-mail does not exist: %1 . Check...",
      "El directorio para escribir el correo electrónico no existe: %1 . Compruebe..." },
    { Text::Success,
      "Email enviado com sucesso para: ", "Email sent successfully to: ", "Correo electrónico enviado con éxito a: " },
    { Text::Failure, "Erro na conexão e/ou autenticação: ", "Error in connection and/or authentication: ",
      "Error en la conexión y/o autenticación: " },
    { Text::NotAnAddress, "Endereço de e-mail inválido: %1", "Invalid e-mail address: %1",
      "Dirección de correo electrónico no válida: %1" },
    { Text::LineBreak, "O assunto e o nome do remetente não podem ter quebras de linha",
      "The subject and the sender's name cannot contain line breaks",
      "El asunto y el nombre del remitente no pueden contener saltos de línea" },
    { Text::Attachment, "O arquivo anexo não existe ou não pode ser lido: %1",
      "The attached file does not exist or cannot be read: %1", "El archivo adjunto no existe o no se puede leer: %1" },
    { Text::CopyFailed,
      "O e-mail foi enviado, mas a cópia não foi gravada: ", "The e-mail was sent, but its copy was not written: ",
      "El correo electrónico fue enviado, pero su copia no se "
      "guardó: " },
    { Text::CopyNotWritten, "Não foi possível gravar %1", "Could not write %1", "No se pudo escribir %1" },
};

bool isKnownLanguage(const QString& code)
{
    return code == QLatin1String("pt_BR") || code == QLatin1String("en") || code == QLatin1String("es");
}

// The text in the language; empty for a language the component does not speak.
QString textOf(Text text, const QString& language, const QString& argument = QString())
{
    for (const Texts& entry : Messages) {
        if (entry.text != text) {
            continue;
        }
        const char* chosen = language == QLatin1String("pt_BR") ? entry.pt
                             : language == QLatin1String("en")  ? entry.en
                             : language == QLatin1String("es")  ? entry.es
                                                                : nullptr;
        if (!chosen) {
            return {};
        }
        const QString found = QString::fromUtf8(chosen);
        return found.contains(QLatin1String("%1")) ? found.arg(argument) : found;
    }
    return {};
}

// An error after the input checks, shown behind the failure prefix.
class SendError : public Error
{
public:
    using Error::Error;
};

void checkAddresses(const QStringList& addresses, const QString& language)
{
    for (const QString& address : addresses) {
        if (!Mime::isAddress(address)) {
            throw SendError(textOf(Text::NotAnAddress, language, address));
        }
    }
}

} // namespace

TollMail::TollMail(QObject* parent)
    : QObject(parent)
    , copyFolder(defaultCopyFolder())
    , m_reporter([](Notice, const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); })
    , m_runner([](const std::function<void()>& transfer) { transfer(); })
{
    setObjectName(QStringLiteral("TollMail"));
}

QString TollMail::defaultCopyFolder()
{
    return QDir::tempPath();
}

void TollMail::setTimeouts(int connectSeconds, int transferSeconds)
{
    m_connectTimeout = connectSeconds;
    m_transferTimeout = transferSeconds;
}

void TollMail::clear()
{
    settings = MailSettings();
    senderName.clear();
    to.clear();
    cc.clear();
    bcc.clear();
    subject.clear();
    attachments.clear();
    body.clear();
    keepCopy = false;
    copyFolder = defaultCopyFolder();
    notifySuccess = true;
}

void TollMail::report(Notice kind, const QString& text) const
{
    if (isKnownLanguage(language) && m_reporter) {
        m_reporter(kind, text);
    }
}

bool TollMail::send()
{
    if (isKnownLanguage(language)) {
        const std::pair<bool, Text> checks[] = {
            { settings.host.isEmpty(), Text::Host },         { subject.isEmpty(), Text::Subject },
            { settings.login.isEmpty(), Text::Login },       { settings.port == 0, Text::Port },
            { settings.password.isEmpty(), Text::Password }, { body.isEmpty(), Text::Body },
        };
        for (const auto& [missing, text] : checks) {
            if (missing) {
                throw PlainError(textOf(text, language));
            }
        }
    }

    try {
        Mime::Message message;
        if (settings.sender.isEmpty()) {
            throw SendError(textOf(Text::Sender, language));
        }
        checkAddresses({ settings.sender }, language);
        message.fromAddress = settings.sender;
        message.fromName = senderName.isEmpty() ? settings.sender : senderName;
        if (to.isEmpty()) {
            throw SendError(textOf(Text::Recipient, language));
        }
        checkAddresses(to, language);
        checkAddresses(cc, language);
        checkAddresses(bcc, language);
        message.to = to;
        message.cc = cc;
        message.bcc = bcc;
        if (Mime::hasLineBreak(subject) || Mime::hasLineBreak(message.fromName)) {
            throw SendError(textOf(Text::LineBreak, language));
        }
        message.subject = subject;
        message.body = body.join(u'\n');
        message.mailer = Mailer;
        // Every file is read before connecting: a mail never goes out without what it should carry.
        for (const QString& path : attachments) {
            QFile file(path);
            if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
                throw SendError(textOf(Text::Attachment, language, path));
            }
            const QString name = QFileInfo(path).fileName();
            message.attachments.append({ name, Mime::contentTypeFor(name), file.readAll() });
        }

        const QDateTime date = Clock::now();
        const QByteArray sent = Mime::compose(message, date);

        Smtp::Settings delivery;
        delivery.host = settings.host;
        delivery.port = settings.port;
        delivery.authenticate = settings.authenticate;
        delivery.user = settings.login;
        delivery.password = settings.password;
        delivery.connectTimeoutSeconds = m_connectTimeout;
        delivery.transferTimeoutSeconds = m_transferTimeout;
        delivery.caFile = qEnvironmentVariable(Smtp::CaFileVariable);
        if (settings.ssl && settings.port == 465) {
            delivery.security = Smtp::Security::ImplicitTls;
        } else if (settings.ssl || settings.startTls) {
            delivery.security = Smtp::Security::StartTls;
        }
        const QStringList recipients = to + cc + bcc;
        const QString from = settings.sender;
        try {
            m_runner([&delivery, &from, &recipients, &sent] { Smtp::deliver(delivery, from, recipients, sent); });
        } catch (const Smtp::DeliveryError& error) {
            throw SendError(QString::fromStdString(error.what()));
        }

        if (keepCopy) {
            try {
                writeCopy(Mime::compose(message, date, true));
            } catch (const SendError& error) {
                report(Notice::Warning, textOf(Text::CopyFailed, language) + error.message());
            }
        }
    } catch (const SendError& error) {
        report(Notice::Warning, textOf(Text::Failure, language) + error.message());
        return false;
    }

    if (notifySuccess) {
        report(Notice::Information, textOf(Text::Success, language) + to.join(QStringLiteral(", ")));
    }
    return true;
}

void TollMail::writeCopy(const QByteArray& message)
{
    if (!copyFolder.endsWith(u'/')) {
        copyFolder += u'/';
    }
    const QString path = copyFolder + CopyFileName;
    if (QFileInfo::exists(path) && !QFile::remove(path)) {
        throw SendError(textOf(Text::CopyInUse, language));
    }
    if (!QFileInfo(copyFolder).isDir()) {
        throw SendError(textOf(Text::CopyFolderMissing, language, copyFolder));
    }
    // It may hold what the mail held: for its owner only.
    const AtomicWriteResult written = writeFileAtomically(path, message, 0600);
    if (!written.ok) {
        throw SendError(textOf(Text::CopyNotWritten, language, path) + QStringLiteral(": ") +
                        QString::fromStdString(written.error));
    }
}

} // namespace tollbook
