#include "mail/MailSettings.h"

#include "data/Dataset.h"
#include "mail/MailConfiguration.h"

namespace tollbook {

MailSettings MailSettings::fromConfiguration(const Dataset& configuration)
{
    const auto text = [&configuration](const char* name) {
        return configuration.fieldByName(QString::fromLatin1(name))->asString();
    };
    const auto on = [&text](const char* name) { return text(name) == QLatin1String("S"); };
    MailSettings settings;
    settings.host = MailConfiguration::trimmed(text("SMTP_Host"));
    settings.sender = MailConfiguration::trimmed(text("Usuario_Email"));
    settings.login = MailConfiguration::trimmed(text("SMTP_Login"));
    const Field* port = configuration.fieldByName(QStringLiteral("SMTP_Porta"));
    settings.port = port->isNull() ? 0 : int(port->asInteger());
    settings.password = text("SMTP_Senha");
    settings.authenticate = on("SMTP_Autenticar");
    settings.startTls = on("SMTP_HabilitarTLS");
    settings.ssl = on("SMTP_HabilitarSSL");
    return settings;
}

bool MailSettings::operator==(const MailSettings& other) const
{
    return host == other.host && port == other.port && login == other.login && password == other.password &&
           sender == other.sender && authenticate == other.authenticate && ssl == other.ssl &&
           startTls == other.startTls;
}

} // namespace tollbook
