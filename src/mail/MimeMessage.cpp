#include "mail/MimeMessage.h"

#include <QLocale>
#include <QMimeDatabase>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace tollbook::Mime {

namespace {

constexpr int LineLimit = 78; // the line length RFC 5322 asks writers to keep to
constexpr int Base64LineLength = 76;

bool isPlainAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E) {
            return false;
        }
    }
    return true;
}

QByteArray base64Lines(const QByteArray& bytes)
{
    const QByteArray encoded = bytes.toBase64();
    QByteArray lines;
    lines.reserve(encoded.size() + encoded.size() / Base64LineLength * 2 + 2);
    for (qsizetype at = 0; at < encoded.size(); at += Base64LineLength) {
        lines += encoded.mid(at, Base64LineLength);
        lines += "\r\n";
    }
    return lines;
}

QByteArray randomHex(int bytes)
{
    QByteArray random(bytes, '\0');
    for (char& byte : random) {
        byte = char(QRandomGenerator::system()->bounded(256));
    }
    return random.toHex();
}

// A display name as a quoted string, or as encoded words when it is not plain ASCII.
QByteArray displayName(const QString& name, int room)
{
    if (!isPlainAscii(name) || name.contains(QLatin1String("=?"))) {
        return encodedWords(name, room);
    }
    QByteArray quoted = "\"";
    for (const QChar c : name) {
        if (c == u'"' || c == u'\\') {
            quoted += '\\';
        }
        quoted += char(c.unicode());
    }
    return quoted + '"';
}

// "Name: a, b, c" folded between the addresses.
QByteArray addressHeader(const char* name, const QStringList& addresses)
{
    QByteArray header = name;
    header += ':';
    int lineLength = int(header.size());
    for (int i = 0; i < addresses.size(); ++i) {
        const QByteArray address = addresses.at(i).toUtf8();
        const bool last = i + 1 == addresses.size();
        const int needed = 1 + int(address.size()) + (last ? 0 : 1);
        if (i > 0 && lineLength + needed > LineLimit) {
            header += "\r\n";
            lineLength = 0;
        }
        header += ' ' + address + (last ? "" : ",");
        lineLength += needed;
    }
    return header + "\r\n";
}

// The characters RFC 2231 lets stand unencoded in a parameter value (attribute-char).
bool isAttributeChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           QByteArrayView("!#$&+-.^_`|~").contains(c);
}

QByteArray asciiFallbackName(const QString& fileName)
{
    QByteArray name;
    for (const QChar c : fileName) {
        const char16_t u = c.unicode();
        name += (u < 0x20 || u > 0x7E || u == u'"' || u == u'\\') ? '_' : char(u);
    }
    return name;
}

QByteArray bodyPart(const QString& body)
{
    QString text = body;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    text.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    return "Content-Type: text/plain; charset=utf-8\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "\r\n" +
           base64Lines(text.toUtf8());
}

} // namespace

bool isAddress(const QString& text)
{
    static const QRegularExpression address(QStringLiteral(
        "\\A[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+(?:\\.[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+)*"
        "@(?:(?:[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*"
        "|\\[[A-Za-z0-9:.]+\\])\\z"));
    return text.size() <= 254 && address.match(text).hasMatch();
}

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

QByteArray encodedWords(const QString& text, int firstLineRoom)
{
    // Each word "=?UTF-8?B?...?=" holds whole characters; words are folded onto lines of their own.
    const auto bytesFor = [](int room) { return std::max(3, (std::min(room, 75) - 12) / 4 * 3); };
    QByteArray result;
    QByteArray chunk;
    int limit = bytesFor(firstLineRoom);
    const auto flush = [&] {
        if (!result.isEmpty()) {
            result += "\r\n ";
        }
        result += "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
        limit = bytesFor(LineLimit - 1);
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype length = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            length = 2;
        }
        const QByteArray character = text.mid(i, length).toUtf8();
        i += length - 1;
        if (!chunk.isEmpty() && chunk.size() + character.size() > limit) {
            flush();
        }
        chunk += character;
    }
    if (!chunk.isEmpty() || result.isEmpty()) {
        flush();
    }
    return result;
}

QByteArray rfc2231FileName(const QString& fileName)
{
    QByteArray encoded;
    for (const char c : fileName.toUtf8()) {
        if (isAttributeChar(c)) {
            encoded += c;
        } else {
            encoded += '%' + QByteArray::number(uchar(c), 16).toUpper().rightJustified(2, '0');
        }
    }
    QByteArray parameters;
    constexpr int Piece = 56; // keeps each line within 76 characters
    if (encoded.size() + 7 <= Piece) {
        parameters = " filename*=UTF-8''" + encoded + ";\r\n";
    } else {
        // Continuations, cut outside a "%XX" escape.
        int index = 0;
        qsizetype at = 0;
        while (at < encoded.size()) {
            qsizetype end = std::min(encoded.size(), at + Piece - (index == 0 ? 7 : 0));
            if (end < encoded.size()) {
                const qsizetype percent = encoded.lastIndexOf('%', end - 1);
                if (percent >= 0 && percent > end - 3) {
                    end = percent;
                }
            }
            parameters += " filename*" + QByteArray::number(index) + "*=" + (index == 0 ? "UTF-8''" : "") +
                          encoded.mid(at, end - at) + ";\r\n";
            at = end;
            ++index;
        }
    }
    return parameters + " filename=\"" + asciiFallbackName(fileName) + '"';
}

QByteArray dateHeaderValue(const QDateTime& date)
{
    const QLocale c = QLocale::c();
    const int offsetMinutes = date.offsetFromUtc() / 60;
    const int absolute = std::abs(offsetMinutes);
    return c.toString(date, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")).toLatin1() + (offsetMinutes < 0 ? '-' : '+') +
           QByteArray::number(absolute / 60 * 100 + absolute % 60).rightJustified(4, '0');
}

QString contentTypeFor(const QString& fileName)
{
    return QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension).name();
}

QByteArray compose(const Message& message, const QDateTime& date, bool withBcc)
{
    const QString domain = message.fromAddress.section(u'@', 1);
    QByteArray out;
    out += "Date: " + dateHeaderValue(date) + "\r\n";
    out += "Message-ID: <" + randomHex(12) + '.' + QByteArray::number(date.toSecsSinceEpoch()) + '@' +
           (domain.isEmpty() ? QByteArray("tollbook.invalid") : domain.toUtf8()) + ">\r\n";
    if (message.fromName.isEmpty()) {
        out += "From: " + message.fromAddress.toUtf8() + "\r\n";
    } else {
        out +=
            "From: " + displayName(message.fromName, LineLimit - 6) + "\r\n <" + message.fromAddress.toUtf8() + ">\r\n";
    }
    out += "Reply-To: " + message.fromAddress.toUtf8() + "\r\n";
    if (!message.to.isEmpty()) {
        out += addressHeader("To", message.to);
    }
    if (!message.cc.isEmpty()) {
        out += addressHeader("Cc", message.cc);
    }
    if (withBcc && !message.bcc.isEmpty()) {
        out += addressHeader("Bcc", message.bcc);
    }
    const QByteArray subject = isPlainAscii(message.subject) && !message.subject.contains(QLatin1String("=?")) &&
                                       message.subject.size() + 9 <= LineLimit
                                   ? message.subject.toLatin1()
                                   : encodedWords(message.subject, LineLimit - 9);
    out += "Subject: " + subject + "\r\n";
    if (!message.mailer.isEmpty()) {
        out += "X-Mailer: " + message.mailer.toUtf8() + "\r\n";
    }
    out += "MIME-Version: 1.0\r\n";

    if (message.attachments.isEmpty()) {
        return out + bodyPart(message.body);
    }

    const QByteArray boundary = "=_tollbook_" + randomHex(12);
    out += "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n\r\n";
    out += "This is a multi-part message in MIME format.\r\n";
    out += "--" + boundary + "\r\n" + bodyPart(message.body);
    for (const Attachment& attachment : message.attachments) {
        const QByteArray fallback = asciiFallbackName(attachment.fileName);
        out += "--" + boundary + "\r\n";
        out += "Content-Type: " + attachment.contentType.toLatin1() + ";\r\n name=\"" + fallback + "\"\r\n";
        out += "Content-Disposition: attachment;\r\n" + rfc2231FileName(attachment.fileName) + "\r\n";
        out += "Content-Transfer-Encoding: base64\r\n\r\n";
        out += base64Lines(attachment.bytes);
    }
    out += "--" + boundary + "--\r\n";
    return out;
}

} // namespace tollbook::Mime
