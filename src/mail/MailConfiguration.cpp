#include "mail/MailConfiguration.h"

#include "data/Dataset.h"
#include "mail/TollMail.h"

#include <QRegularExpression>

namespace tollbook::MailConfiguration {

QString trimmed(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text.at(start).unicode() <= 0x20) {
        ++start;
    }
    while (end > start && text.at(end - 1).unicode() <= 0x20) {
        --end;
    }
    return text.mid(start, end - start);
}

void fill(TTollMail& mail, const Dataset& configuration)
{
    const auto text = [&configuration](const char* name) {
        return configuration.fieldByName(QString::fromLatin1(name))->asString();
    };
    const auto on = [&text](const char* name) { return text(name) == QLatin1String("S"); };
    mail.Host = trimmed(text("SMTP_Host"));
    mail.EmailOrigem = trimmed(text("Usuario_Email"));
    mail.LoginUsuario = trimmed(text("SMTP_Login"));
    const Field* port = configuration.fieldByName(QStringLiteral("SMTP_Porta"));
    mail.Porta = port->isNull() ? 0 : int(port->asInteger());
    mail.Senha = text("SMTP_Senha");
    mail.Autenticar = on("SMTP_Autenticar");
    mail.HabilitarTLS = on("SMTP_HabilitarTLS");
    mail.HabilitarSSL = on("SMTP_HabilitarSSL");
}

void prepareReport(TTollMail& mail, const Dataset& configuration, const QStringList& to, const QString& pdfPath)
{
    mail.LimpaDados();
    fill(mail, configuration);
    mail.EmailDestino = to;
    mail.Assunto = ReportSubject;
    mail.Anexo = QStringList{ pdfPath };
    mail.Mensagem = QStringList{ ReportBody };
    mail.GravarEmail = false;
}

QStringList splitAddresses(const QString& line)
{
    static const QRegularExpression separators(QStringLiteral("[,;]"));
    QStringList addresses;
    for (const QString& piece : line.split(separators)) {
        const QString address = piece.trimmed();
        if (!address.isEmpty()) {
            addresses << address;
        }
    }
    return addresses;
}

} // namespace tollbook::MailConfiguration
