#pragma once

#include <QString>

namespace tollbook {

class Dataset;

// The SMTP account of the configuration row, as the mail sender takes it: read from the row in one place
// (fromConfiguration) and handed to the sender whole.
struct MailSettings
{
    QString host;
    int port = 25;
    QString login;
    QString password;
    QString sender; // the address the mail comes from
    bool authenticate = true;
    bool ssl = false;      // TLS: from the first byte on port 465, by STARTTLS elsewhere
    bool startTls = false; // TLS by STARTTLS

    // SMTP_Host, Usuario_Email and SMTP_Login trimmed of blanks and control characters, SMTP_Porta (an
    // empty field gives 0), SMTP_Senha as stored, and the three switches, each on exactly when its field
    // holds "S".
    static MailSettings fromConfiguration(const Dataset& configuration);

    bool operator==(const MailSettings& other) const;
    bool operator!=(const MailSettings& other) const { return !(*this == other); }
};

} // namespace tollbook
