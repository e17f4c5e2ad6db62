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

TTollMail::TTollMail(QObject* parent)
    : QObject(parent)
    , GravarLocal(defaultCopyFolder())
    , m_reporter([](Notice, const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); })
    , m_runner([](const std::function<void()>& transfer) { transfer(); })
{
    setObjectName(QStringLiteral("TollMail"));
}

QString TTollMail::defaultCopyFolder()
{
    return QDir::tempPath();
}

void TTollMail::setTimeouts(int connectSeconds, int transferSeconds)
{
    m_connectTimeout = connectSeconds;
    m_transferTimeout = transferSeconds;
}

void TTollMail::LimpaDados()
{
    Host.clear();
    LoginUsuario.clear();
    Porta = 25;
    Senha.clear();
    EmailOrigem.clear();
    EmailOrigemNome.clear();
    EmailDestino.clear();
    ComCopia.clear();
    ComCopiaOculta.clear();
    Assunto.clear();
    Anexo.clear();
    Mensagem.clear();
    GravarEmail = false;
    GravarLocal = defaultCopyFolder();
    Autenticar = true;
    HabilitarSSL = false;
    HabilitarTLS = false;
    NoficarMsg = true;
}

void TTollMail::report(Notice kind, const QString& text) const
{
    if (isKnownLanguage(Language) && m_reporter) {
        m_reporter(kind, text);
    }
}

bool TTollMail::SendMail()
{
    if (isKnownLanguage(Language)) {
        const std::pair<bool, Text> checks[] = {
            { Host.isEmpty(), Text::Host },          { Assunto.isEmpty(), Text::Subject },
            { LoginUsuario.isEmpty(), Text::Login }, { Porta == 0, Text::Port },
            { Senha.isEmpty(), Text::Password },     { Mensagem.isEmpty(), Text::Body },
        };
        for (const auto& [missing, text] : checks) {
            if (missing) {
                throw PlainError(textOf(text, Language));
            }
        }
    }

    try {
        Mime::Message message;
        if (EmailOrigem.isEmpty()) {
            throw SendError(textOf(Text::Sender, Language));
        }
        checkAddresses({ EmailOrigem }, Language);
        message.fromAddress = EmailOrigem;
        message.fromName = EmailOrigemNome.isEmpty() ? EmailOrigem : EmailOrigemNome;
        if (EmailDestino.isEmpty()) {
            throw SendError(textOf(Text::Recipient, Language));
        }
        checkAddresses(EmailDestino, Language);
        checkAddresses(ComCopia, Language);
        checkAddresses(ComCopiaOculta, Language);
        message.to = EmailDestino;
        message.cc = ComCopia;
        message.bcc = ComCopiaOculta;
        if (Mime::hasLineBreak(Assunto) || Mime::hasLineBreak(message.fromName)) {
            throw SendError(textOf(Text::LineBreak, Language));
        }
        message.subject = Assunto;
        message.body = Mensagem.join(u'\n');
        message.mailer = Mailer;
        // Every file is read before connecting: a mail never goes out without what it should carry.
        for (const QString& path : Anexo) {
            QFile file(path);
            if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
                throw SendError(textOf(Text::Attachment, Language, path));
            }
            const QString name = QFileInfo(path).fileName();
            message.attachments.append({ name, Mime::contentTypeFor(name), file.readAll() });
        }

        const QDateTime date = Clock::now();
        const QByteArray sent = Mime::compose(message, date);

        Smtp::Settings settings;
        settings.host = Host;
        settings.port = Porta;
        settings.authenticate = Autenticar;
        settings.user = LoginUsuario;
        settings.password = Senha;
        settings.connectTimeoutSeconds = m_connectTimeout;
        settings.transferTimeoutSeconds = m_transferTimeout;
        settings.caFile = qEnvironmentVariable(Smtp::CaFileVariable);
        if (HabilitarSSL && Porta == 465) {
            settings.security = Smtp::Security::ImplicitTls;
        } else if (HabilitarSSL || HabilitarTLS) {
            settings.security = Smtp::Security::StartTls;
        }
        const QStringList recipients = EmailDestino + ComCopia + ComCopiaOculta;
        const QString from = EmailOrigem;
        try {
            m_runner([&settings, &from, &recipients, &sent] { Smtp::deliver(settings, from, recipients, sent); });
        } catch (const Smtp::DeliveryError& error) {
            throw SendError(QString::fromStdString(error.what()));
        }

        if (GravarEmail) {
            try {
                writeCopy(Mime::compose(message, date, true));
            } catch (const SendError& error) {
                report(Notice::Warning, textOf(Text::CopyFailed, Language) + error.message());
            }
        }
    } catch (const SendError& error) {
        report(Notice::Warning, textOf(Text::Failure, Language) + error.message());
        return false;
    }

    if (NoficarMsg) {
        report(Notice::Information, textOf(Text::Success, Language) + EmailDestino.join(QStringLiteral(", ")));
    }
    return true;
}

void TTollMail::writeCopy(const QByteArray& message)
{
    if (!GravarLocal.endsWith(u'/')) {
        GravarLocal += u'/';
    }
    const QString path = GravarLocal + CopyFileName;
    if (QFileInfo::exists(path) && !QFile::remove(path)) {
        throw SendError(textOf(Text::CopyInUse, Language));
    }
    if (!QFileInfo(GravarLocal).isDir()) {
        throw SendError(textOf(Text::CopyFolderMissing, Language, GravarLocal));
    }
    // It may hold what the mail held: for its owner only.
    const AtomicWriteResult written = writeFileAtomically(path, message, 0600);
    if (!written.ok) {
        throw SendError(textOf(Text::CopyNotWritten, Language, path) + QStringLiteral(": ") +
                        QString::fromStdString(written.error));
    }
}

} // namespace tollbook
