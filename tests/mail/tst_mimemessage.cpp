// The message composer on its bytes: line ends, header encodings, the attachment's name, Bcc, and the address
// rule that keeps a caller's text from becoming a header of its own.

#include "mail/MimeMessage.h"

#include <QTest>
#include <QTimeZone>

using namespace tollbook;

namespace {

// The text of a header value made of RFC 2047 "B" words, each checked to hold whole UTF-8 characters.
QString decodeWords(const QByteArray& value, int* longest)
{
    QString text;
    *longest = 0;
    for (QByteArray word : value.split('\n')) {
        word = word.trimmed();
        if (word.isEmpty()) {
            continue;
        }
        *longest = std::max(*longest, int(word.size()));
        if (!word.startsWith("=?UTF-8?B?") || !word.endsWith("?=")) {
            return QStringLiteral("<not a word: %1>").arg(QString::fromLatin1(word));
        }
        const QByteArray bytes = QByteArray::fromBase64(word.mid(10, word.size() - 12));
        const QString piece = QString::fromUtf8(bytes);
        if (piece.toUtf8() != bytes || piece.contains(QChar::ReplacementCharacter)) {
            return QStringLiteral("<character cut between words>");
        }
        text += piece;
    }
    return text;
}

Mime::Message sample()
{
    Mime::Message message;
    message.fromAddress = QStringLiteral("relatorios@example.com");
    message.fromName = QStringLiteral("Gestão de Impressão");
    message.to = QStringList{ QStringLiteral("ana@example.com"), QStringLiteral("bruno@example.org") };
    message.cc = QStringList{ QStringLiteral("chefe@example.com") };
    message.bcc = QStringList{ QStringLiteral("oculto@example.net") };
    message.subject = QStringLiteral("Relatório Gerencial");
    message.body = QStringLiteral("Segue em anexo.\nLinha dois.");
    message.mailer = QStringLiteral("TollMail");
    return message;
}

} // namespace

class MimeMessageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isAddress");
        QTest::newRow("plain") << "ana@example.com" << true;
        QTest::newRow("dots and plus") << "ana.maria+relatorios@mail.example.com.br" << true;
        QTest::newRow("address literal") << "root@[127.0.0.1]" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("no domain") << "ana@" << false;
        QTest::newRow("no at") << "ana.example.com" << false;
        QTest::newRow("two addresses by semicolon") << "a@x.com;b@y.com" << false;
        QTest::newRow("two addresses by comma") << "a@x.com, b@y.com" << false;
        QTest::newRow("display name") << "Ana <ana@example.com>" << false;
        QTest::newRow("blank inside") << "ana @example.com" << false;
        QTest::newRow("trailing blank") << "ana@example.com " << false;
        QTest::newRow("leading dot") << ".ana@example.com" << false;
        QTest::newRow("double dot") << "ana..maria@example.com" << false;
        QTest::newRow("label starting with hyphen") << "ana@-example.com" << false;
        QTest::newRow("header after line feed") << "ana@example.com\nBcc: all@example.com" << false;
        QTest::newRow("header after CR LF") << "ana@example.com\r\nSubject: x" << false;
        QTest::newRow("angle bracket to close the envelope") << "ana@example.com> NOTIFY=NEVER" << false;
        QTest::newRow("accented local part") << "joão@example.com" << false;
    }

    void addresses()
    {
        QFETCH(QString, text);
        QFETCH(bool, isAddress);
        QCOMPARE(Mime::isAddress(text), isAddress);
    }

    void encodedWords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("accented") << QStringLiteral("Tollbook - Relatório Gerencial");
        QTest::newRow("long, many words")
            << QStringLiteral("Relatório de impressão por usuários e setores — ").repeated(4);
        QTest::newRow("two-byte letters only") << QString(80, QChar(0xE7));
        QTest::newRow("outside the basic plane") << QStringLiteral(
            "Impressões "
            "🖨️🖨️🖨️🖨️🖨️🖨️🖨️🖨️🖨️🖨️🖨️🖨️🖨️🖨️");
    }

    // Every word stays within the 75 characters of the standard, and no character is cut between two words.
    void encodedWords()
    {
        QFETCH(QString, text);
        const QByteArray encoded = Mime::encodedWords(text, 69);
        int longest = 0;
        QCOMPARE(decodeWords(encoded, &longest), text);
        QVERIFY2(longest <= 75, encoded.constData());
        for (const QByteArray& line : encoded.split('\n')) {
            QVERIFY(line.endsWith("?=\r") || line.endsWith("?="));
        }
    }

    void attachmentName_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("ASCII") << QStringLiteral("Relatorio.pdf")
                               << QByteArray(" filename*=UTF-8''Relatorio.pdf;\r\n filename=\"Relatorio.pdf\"");
        QTest::newRow("accented, blank")
            << QStringLiteral("Relatório ação.pdf")
            << QByteArray(" filename*=UTF-8''Relat%C3%B3rio%20a%C3%A7%C3%A3o.pdf;\r\n filename=\"Relat_rio a__o.pdf\"");
        QTest::newRow("quote and backslash")
            << QStringLiteral("a\"b\\c.pdf")
            << QByteArray(" filename*=UTF-8''a%22b%5Cc.pdf;\r\n filename=\"a_b_c.pdf\"");
    }

    // The RFC 2231 name first, then a plain fallback for readers that know only that one.
    void attachmentName()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, expected);
        QCOMPARE(Mime::rfc2231FileName(fileName), expected);
    }

    // A long name is cut into continuations, never inside a %XX escape.
    void longAttachmentName()
    {
        const QString name = QStringLiteral("Relatório de impressão por usuário ").repeated(3) + QStringLiteral(".pdf");
        const QByteArray parameters = Mime::rfc2231FileName(name);
        QByteArray joined;
        int index = 0;
        for (const QByteArray& line : parameters.split('\n')) {
            const QByteArray piece = line.trimmed();
            if (piece.startsWith("filename=")) {
                break;
            }
            const QByteArray prefix = "filename*" + QByteArray::number(index) + "*=";
            QVERIFY2(piece.startsWith(prefix), piece.constData());
            QVERIFY(piece.size() < 78);
            joined += piece.mid(prefix.size()).chopped(1); // without the ';'
            ++index;
        }
        QVERIFY(index > 1);
        QVERIFY(joined.startsWith("UTF-8''"));
        QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(joined.mid(7))), name);
    }

    void dateHeader_data()
    {
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QByteArray>("expected");
        const QDate day(2026, 12, 10);
        const QTime time(15, 45, 31);
        QTest::newRow("UTC") << QDateTime(day, time, QTimeZone::utc()) << QByteArray("Thu, 10 Dec 2026 15:45:31 +0000");
        QTest::newRow("west") << QDateTime(day, time, QTimeZone(-3 * 3600))
                              << QByteArray("Thu, 10 Dec 2026 15:45:31 -0300");
        QTest::newRow("half hour") << QDateTime(day, time, QTimeZone(5 * 3600 + 1800))
                                   << QByteArray("Thu, 10 Dec 2026 15:45:31 +0530");
    }

    // English names whatever the locale, the zone as an offset.
    void dateHeader()
    {
        QFETCH(QDateTime, date);
        QFETCH(QByteArray, expected);
        QCOMPARE(Mime::dateHeaderValue(date), expected);
    }

    void message_data()
    {
        QTest::addColumn<bool>("withAttachment");
        QTest::newRow("body alone") << false;
        QTest::newRow("with attachment") << true;
    }

    // CR LF only, short lines, the headers a reader expects, Bcc only in a kept copy.
    void message()
    {
        QFETCH(bool, withAttachment);
        Mime::Message message = sample();
        if (withAttachment) {
            message.attachments.append(
                { QStringLiteral("Relatório.pdf"), QStringLiteral("application/pdf"), QByteArray(5000, '\x7F') });
        }
        const QDateTime date(QDate(2026, 12, 10), QTime(8, 0), QTimeZone::utc());
        const QByteArray sent = Mime::compose(message, date);

        QVERIFY(!sent.contains("\n\n"));
        for (qsizetype at = sent.indexOf('\n'); at >= 0; at = sent.indexOf('\n', at + 1)) {
            QVERIFY2(at > 0 && sent.at(at - 1) == '\r', "a line ends without CR");
        }
        for (const QByteArray& line : sent.split('\n')) {
            QVERIFY2(line.size() <= 79, line.constData());
        }
        const qsizetype headerEnd = sent.indexOf("\r\n\r\n");
        const QByteArray headers = sent.left(headerEnd + 2);
        QVERIFY(headers.startsWith("Date: Thu, 10 Dec 2026 08:00:00 +0000\r\n"));
        QVERIFY(headers.contains("\r\nMessage-ID: <"));
        QVERIFY(headers.contains("@example.com>\r\n"));
        QVERIFY(headers.contains("\r\nTo: ana@example.com, bruno@example.org\r\n"));
        QVERIFY(headers.contains("\r\nCc: chefe@example.com\r\n"));
        QVERIFY(headers.contains("\r\nReply-To: relatorios@example.com\r\n"));
        QVERIFY(headers.contains(" <relatorios@example.com>\r\n"));
        QVERIFY(headers.contains("\r\nSubject: =?UTF-8?B?"));
        QVERIFY(headers.contains("\r\nMIME-Version: 1.0\r\n"));
        QVERIFY(!sent.contains("oculto@example.net"));
        QVERIFY(!sent.contains("Bcc"));
        QVERIFY(sent.contains("Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n"));
        QCOMPARE(headers.contains("multipart/mixed"), withAttachment);
        QVERIFY(Mime::compose(message, date, true).contains("\r\nBcc: oculto@example.net\r\n"));

        // Two messages never share an identity.
        const auto messageId = [](const QByteArray& bytes) {
            const qsizetype at = bytes.indexOf("Message-ID:");
            return bytes.mid(at, bytes.indexOf('\r', at) - at);
        };
        QVERIFY(messageId(sent) != messageId(Mime::compose(message, date)));
    }

    // A list of many recipients is folded between addresses, each line short.
    void longRecipientList()
    {
        Mime::Message message = sample();
        message.to.clear();
        for (int i = 0; i < 20; ++i) {
            message.to << QStringLiteral("destinatario%1@example.com").arg(i);
        }
        const QByteArray sent = Mime::compose(message, QDateTime::currentDateTime());
        const qsizetype start = sent.indexOf("\r\nTo: ") + 2;
        const qsizetype end = sent.indexOf("\r\nCc: ");
        const QByteArray header = sent.mid(start, end - start);
        QVERIFY(header.count("\r\n ") > 3);
        QStringList unfolded = QString::fromLatin1(header.mid(4))
                                   .replace(QLatin1String("\r\n "), QLatin1String(" "))
                                   .split(QStringLiteral(", "));
        for (QString& address : unfolded) {
            address = address.trimmed();
        }
        QCOMPARE(unfolded, message.to);
    }
};

QTEST_MAIN(MimeMessageTest)
#include "tst_mimemessage.moc"
