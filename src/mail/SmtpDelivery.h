#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <stdexcept>

// Delivery of one composed message over one SMTP connection, by libcurl. Plain C++ and Qt values only, so
// that it may run on a worker thread.
//
// Security: with TLS asked, the connection is either TLS from its first byte (implicit TLS, port 465) or
// upgraded by STARTTLS, and a server that offers no STARTTLS is an error, never a reason to go on in clear
// with the password. TLS 1.2 or later, the certificate chain and the host name are verified against the
// system's authorities (or the bundle in caFile). With authentication asked, a server that offers no
// mechanism the client can use is an error before any of the message is sent.
namespace tollbook::Smtp {

enum class Security { None, StartTls, ImplicitTls };

struct Settings
{
    QString host;
    int port = 25;
    Security security = Security::None;
    bool authenticate = false;
    QString user;
    QString password;
    QString caFile;                   // extra authorities to trust (tests); empty for the system's
    int connectTimeoutSeconds = 30;   // to the greeting
    int transferTimeoutSeconds = 300; // the whole exchange
};

// What went wrong, in the words of libcurl and the server.
class DeliveryError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Sends message from envelopeFrom to every recipient; throws DeliveryError on any failure.
void deliver(const Settings& settings, const QString& envelopeFrom, const QStringList& recipients,
             const QByteArray& message);

// The environment variable naming a file of extra certificate authorities the sender trusts, for a test
// server with a certificate of its own. Never needed with a real mail server.
inline constexpr const char* CaFileVariable = "TOLLBOOK_MAIL_CA_FILE";

} // namespace tollbook::Smtp
