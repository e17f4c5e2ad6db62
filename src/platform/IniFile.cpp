#include "platform/IniFile.h"

#include "platform/AtomicFile.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"

#include <QFile>
#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>
#include <unistd.h>

namespace tollbook {
namespace IniFile {
namespace {

enum class Encoding { Windows1252, Utf8, Utf16Le };

const QByteArray Utf16LeBom("\xFF\xFE", 2);
const QByteArray Utf8Bom("\xEF\xBB\xBF", 3);

QString decode(Encoding encoding, const QByteArray& bytes)
{
    switch (encoding) {
        case Encoding::Utf16Le: {
            QStringDecoder decoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
            return decoder.decode(bytes);
        }
        case Encoding::Utf8: {
            QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            return decoder.decode(bytes);
        }
        case Encoding::Windows1252:
            break;
    }
    QStringDecoder decoder("windows-1252", QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

QByteArray encode(Encoding encoding, const QString& text)
{
    switch (encoding) {
        case Encoding::Utf16Le: {
            QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
            return encoder.encode(text);
        }
        case Encoding::Utf8: {
            QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            return encoder.encode(text);
        }
        case Encoding::Windows1252:
            break;
    }
    QStringEncoder encoder("windows-1252", QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

bool fitsWindows1252(const QString& text)
{
    QStringEncoder encoder("windows-1252", QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(text);
    Q_UNUSED(bytes)
    return !encoder.hasError();
}

// One line of the file. An untouched line keeps the bytes it was read from, so that rewriting the file
// gives back every line but the written one exactly as it was, whatever its line end or odd bytes.
struct Line
{
    QString text;    // without the line end
    QString lineEnd; // "\r\n", "\n", "\r", or empty for a last line without one
    QByteArray raw;  // text and line end as read
    bool untouched = true;
};

struct Document
{
    Encoding encoding = Encoding::Windows1252;
    QString lineEnd = QStringLiteral("\r\n"); // the file's style, taken from its first line end
    QList<Line> lines;
};

Document parse(const QByteArray& bytes)
{
    Document doc;
    qsizetype start = 0;
    int unit = 1;
    if (bytes.startsWith(Utf16LeBom)) {
        doc.encoding = Encoding::Utf16Le;
        start = Utf16LeBom.size();
        unit = 2;
    } else if (bytes.startsWith(Utf8Bom)) {
        doc.encoding = Encoding::Utf8;
        start = Utf8Bom.size();
    }

    // CR and LF are single code units in all three encodings, so lines can be cut on the bytes. An odd
    // last byte of a UTF-16 file is no character and is dropped.
    const qsizetype end = start + (bytes.size() - start) / unit * unit;
    const auto codeAt = [&](qsizetype i) -> char16_t {
        return unit == 1 ? uchar(bytes.at(i)) : char16_t(uchar(bytes.at(i)) | uchar(bytes.at(i + 1)) << 8);
    };
    bool lineEndSeen = false;
    qsizetype lineStart = start;
    for (qsizetype i = start; i < end; i += unit) {
        const char16_t c = codeAt(i);
        if (c != u'\r' && c != u'\n')
            continue;
        const bool crLf = c == u'\r' && i + unit < end && codeAt(i + unit) == u'\n';
        const qsizetype endLength = crLf ? 2 * unit : unit;
        Line line;
        line.text = decode(doc.encoding, bytes.mid(lineStart, i - lineStart));
        line.lineEnd = crLf ? QStringLiteral("\r\n") : QString(QChar(c));
        line.raw = bytes.mid(lineStart, i + endLength - lineStart);
        if (!lineEndSeen) {
            doc.lineEnd = line.lineEnd;
            lineEndSeen = true;
        }
        doc.lines.append(line);
        i += endLength - unit;
        lineStart = i + unit;
    }
    if (lineStart < end) {
        Line line;
        line.raw = bytes.mid(lineStart, end - lineStart);
        line.text = decode(doc.encoding, line.raw);
        doc.lines.append(line);
    }
    return doc;
}

QByteArray serialize(const Document& doc)
{
    QByteArray bytes;
    if (doc.encoding == Encoding::Utf16Le)
        bytes = Utf16LeBom;
    else if (doc.encoding == Encoding::Utf8)
        bytes = Utf8Bom;
    for (const Line& line : doc.lines)
        bytes += line.untouched ? line.raw : encode(doc.encoding, line.text + line.lineEnd);
    return bytes;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text.at(first)))
        ++first;
    while (last > first && isBlank(text.at(last - 1)))
        --last;
    return text.mid(first, last - first);
}

bool sameName(const QString& a, const QString& b)
{
    return upperAscii(a) == upperAscii(b);
}

// The name of the section the line opens, if it opens one: "[Name]" after optional blanks.
std::optional<QString> sectionName(const QString& line)
{
    const QString text = trimBlanks(line);
    if (!text.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = text.lastIndexOf(u']');
    if (close < 0)
        return std::nullopt;
    return trimBlanks(text.mid(1, close - 1));
}

struct Entry
{
    QString key;
    QString value;
};

// The key and value of a "key=value" line; the key is everything before the first "=".
std::optional<Entry> entry(const QString& line)
{
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return std::nullopt;
    return Entry{ trimBlanks(line.left(equals)), trimBlanks(line.mid(equals + 1)) };
}

QString unquoted(const QString& value)
{
    if (value.size() >= 2 && value.front() == value.back() && (value.front() == u'"' || value.front() == u'\''))
        return value.mid(1, value.size() - 2);
    return value;
}

// The lines [header, end) of the first section with the given name. Later sections of the same name
// are not looked at, as with the platform's own profile functions.
struct SectionRange
{
    qsizetype header = -1;
    qsizetype end = -1;
};

std::optional<SectionRange> findSection(const Document& doc, const QString& section)
{
    for (qsizetype i = 0; i < doc.lines.size(); ++i) {
        const std::optional<QString> name = sectionName(doc.lines.at(i).text);
        if (!name || !sameName(*name, section))
            continue;
        qsizetype end = i + 1;
        while (end < doc.lines.size() && !sectionName(doc.lines.at(end).text))
            ++end;
        return SectionRange{ i, end };
    }
    return std::nullopt;
}

// Index of the first line in the section that defines the key.
std::optional<qsizetype> findKey(const Document& doc, const SectionRange& range, const QString& key)
{
    for (qsizetype i = range.header + 1; i < range.end; ++i) {
        const std::optional<Entry> found = entry(doc.lines.at(i).text);
        if (found && sameName(found->key, key))
            return i;
    }
    return std::nullopt;
}

// Inserts text as a new line at the given index, first ending the line before it if that had no end.
void insertLine(Document& doc, qsizetype index, const QString& text)
{
    if (index > 0) {
        Line& previous = doc.lines[index - 1];
        if (previous.lineEnd.isEmpty()) {
            previous.lineEnd = doc.lineEnd;
            previous.raw += encode(doc.encoding, doc.lineEnd);
        }
    }
    Line line;
    line.text = text;
    line.lineEnd = doc.lineEnd;
    line.untouched = false;
    doc.lines.insert(index, line);
}

[[noreturn]] void failWrite(const QString& path)
{
    throw PlainError(QStringLiteral("Unable to write to ") + path);
}

// config.ini names the database, and the database holds the administrator's and the mail server's
// passwords: a new file is for its owner and group only.
constexpr unsigned NewFileMode = 0660;

} // namespace

QString readValue(const QString& path, const QString& section, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const Document doc = parse(file.readAll());
    const std::optional<SectionRange> range = findSection(doc, trimBlanks(section));
    if (!range)
        return {};
    const std::optional<qsizetype> index = findKey(doc, *range, trimBlanks(key));
    if (!index)
        return {};
    return unquoted(entry(doc.lines.at(*index).text)->value).left(MaxValueLength);
}

void writeValue(const QString& path, const QString& section, const QString& key, const QString& value)
{
    const QString sectionWanted = trimBlanks(section);
    const QString keyWanted = trimBlanks(key);

    Document doc;
    QFile existing(path);
    if (existing.exists()) {
        // A file that exists but cannot be read must not be replaced by one holding only the new key.
        if (!existing.open(QIODevice::ReadOnly))
            failWrite(path);
        // Nor may a file the user may not write be replaced through its folder.
        if (::access(QFile::encodeName(path).constData(), W_OK) != 0)
            failWrite(path);
        doc = parse(existing.readAll());
        existing.close();
    }

    QStringList written;
    const std::optional<SectionRange> range = findSection(doc, sectionWanted);
    if (!range) {
        const QString header = QLatin1Char('[') + sectionWanted + QLatin1Char(']');
        const QString line = keyWanted + QLatin1Char('=') + value;
        insertLine(doc, doc.lines.size(), header);
        insertLine(doc, doc.lines.size(), line);
        written << header << line;
    } else if (const std::optional<qsizetype> index = findKey(doc, *range, keyWanted)) {
        Line& line = doc.lines[*index];
        line.text = entry(line.text)->key + QLatin1Char('=') + value;
        line.untouched = false;
        if (line.lineEnd.isEmpty())
            line.lineEnd = doc.lineEnd;
        written << line.text;
    } else {
        qsizetype after = range->end;
        while (after - 1 > range->header && trimBlanks(doc.lines.at(after - 1).text).isEmpty())
            --after;
        const QString line = keyWanted + QLatin1Char('=') + value;
        insertLine(doc, after, line);
        written << line;
    }

    // Rather than lose characters the code page cannot hold, the file becomes UTF-16; every line is then
    // re-encoded from its text, which Windows-1252 decodes without loss.
    if (doc.encoding == Encoding::Windows1252 && !fitsWindows1252(written.join(QString()))) {
        doc.encoding = Encoding::Utf16Le;
        for (Line& line : doc.lines)
            line.untouched = false;
    }

    // Every write, the flush and the size are checked before the new content replaces the old, so a full
    // disk leaves the file as it was; a folder that refuses new files gets the content written in place.
    const AtomicWriteResult result = writeFileAtomically(path, serialize(doc), NewFileMode);
    if (!result.ok)
        failWrite(path);
}

} // namespace IniFile
} // namespace tollbook
