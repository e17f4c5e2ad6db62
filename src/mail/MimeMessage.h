#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The message composer: one e-mail as the bytes that go over SMTP. Lines end in CR LF; header texts that are
// not plain ASCII go as RFC 2047 encoded words, attachment names as RFC 2231 parameters; the body and the
// attachments are base64. Qt Core only.
namespace tollbook::Mime {

struct Attachment
{
    QString fileName; // the name the recipient sees, without a folder
    QString contentType;
    QByteArray bytes;
};

struct Message
{
    QString fromAddress;
    QString fromName; // shown before the address; none when empty
    QStringList to;
    QStringList cc;
    QStringList bcc; // envelope recipients; written as a header only into a kept copy
    QString subject;
    QString body; // lines separated by '\n'
    QList<Attachment> attachments;
    QString mailer; // X-Mailer
};

// Whether text is one address of the form local@domain: dot-atoms of ASCII letters, digits and the characters
// RFC 5322 allows, a domain of host-name labels or an address literal in brackets. No blanks, no line breaks,
// no display name.
bool isAddress(const QString& text);

// Whether text holds a carriage return or a line feed, which would start a header of its own.
bool hasLineBreak(const QString& text);

// The message as sent: Date (from date), Message-ID, From, Reply-To (the sender), To, Cc, Subject, MIME
// headers, then the body alone (text/plain; charset=utf-8) or, with attachments, a multipart/mixed of the body
// and the files. Bcc is written only when withBcc is true (a kept copy). The caller checks the addresses and
// the subject first; compose does not refuse anything.
QByteArray compose(const Message& message, const QDateTime& date, bool withBcc = false);

// Pieces, exposed for the tests.
QByteArray encodedWords(const QString& text, int firstLineRoom); // RFC 2047 "B" words, folded
QByteArray rfc2231FileName(const QString& fileName);             // filename*=UTF-8''...; filename="..."
QByteArray dateHeaderValue(const QDateTime& date);               // "Thu, 10 Dec 2026 15:45:31 +0100"
QString contentTypeFor(const QString& fileName);                 // application/pdf, ...

} // namespace tollbook::Mime
