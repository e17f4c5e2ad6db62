#pragma once

#include <QString>
#include <QStringList>

namespace tollbook {

class TollMail;
struct MailSettings;

// What the mail sender is given the same way by the report's e-mail, the SMTP test of the
// configuration dialog and the headless report program.
namespace MailConfiguration {

// Text without leading and trailing blanks and control characters.
QString trimmed(const QString& text);

// The subject and the body line of a mailed report.
inline const QString ReportSubject = QStringLiteral("Tollbook - Relatório Gerencial");
inline const QString ReportBody =
    QStringLiteral("Segue em anexo relatório do sistema Tollbook - Gerenciador de Impressão");

// Resets the sender and fills it to mail the report's PDF to the addresses with the account's settings,
// without a kept copy.
void prepareReport(TollMail& mail, const MailSettings& settings, const QStringList& to, const QString& pdfPath);

// The addresses of a typed line: split at commas and semicolons, blanks around them removed, empty pieces
// dropped. "a@x.com; b@y.com" gives two recipients rather than one address that is none.
QStringList splitAddresses(const QString& line);

} // namespace MailConfiguration
} // namespace tollbook
