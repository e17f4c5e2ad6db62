#include "mail/MailConfiguration.h"

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

void prepareReport(TollMail& mail, const MailSettings& settings, const QStringList& to, const QString& pdfPath)
{
    mail.clear();
    mail.settings = settings;
    mail.to = to;
    mail.subject = ReportSubject;
    mail.attachments = QStringList{ pdfPath };
    mail.body = QStringList{ ReportBody };
    mail.keepCopy = false;
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
