#include "capture/JournalFormat.h"

#include <QLocale>

#include <limits>

namespace tollbook::JournalFormat {

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Assigns without giving up the buffer the record kept from the line before.
void assign(QString& target, QStringView text)
{
    target.resize(0);
    target.append(text);
}

QString fieldText(const Fields& fields, int index)
{
    return index < fields.size() ? fields.at(index).toString() : QString();
}

QString refusal(const Fields& fields, int index, const char* expected)
{
    if (index >= fields.size()) {
        return QStringLiteral("Campo %1 (%2) ausente: a linha tem %3 campo(s)")
            .arg(index)
            .arg(QLatin1String(JournalLine::FieldDefinitions[index].name))
            .arg(fields.size());
    }
    return QStringLiteral("Campo %1 (%2) não é %3: \"%4\"")
        .arg(index)
        .arg(QLatin1String(JournalLine::FieldDefinitions[index].name), QString::fromUtf8(expected),
             fieldText(fields, index));
}

} // namespace

Fields splitFields(QStringView line)
{
    Fields fields;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line.at(i) == Separator) {
            fields.append(line.mid(begin, i - begin));
            begin = i + 1;
        }
    }
    return fields;
}

bool toWholeNumber(QStringView text, qint32* value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    // Accumulated negatively, so that the lowest value fits as well.
    qint64 result = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!isDigit(c)) {
            return false;
        }
        result = result * 10 - (c.unicode() - u'0');
        if (result < qint64(std::numeric_limits<qint32>::min())) {
            return false;
        }
    }
    if (!negative) {
        result = -result;
        if (result > std::numeric_limits<qint32>::max()) {
            return false;
        }
    }
    *value = qint32(result);
    return true;
}

bool toRealNumber(QStringView text, QChar decimalMark, double* value)
{
    qsizetype i = 0;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        ++i;
    }
    int digits = 0;
    bool plain = true; // digits only: read at once
    double whole = 0;
    for (; i < text.size() && isDigit(text.at(i)); ++i, ++digits) {
        whole = whole * 10 + (text.at(i).unicode() - u'0');
    }
    if (i < text.size() && text.at(i) == decimalMark) {
        plain = false;
        for (++i; i < text.size() && isDigit(text.at(i)); ++i) {
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < text.size() && (text.at(i) == u'e' || text.at(i) == u'E')) {
        plain = false;
        ++i;
        if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
            ++i;
        }
        const qsizetype exponentStart = i;
        while (i < text.size() && isDigit(text.at(i))) {
            ++i;
        }
        if (i == exponentStart) {
            return false;
        }
    }
    if (i != text.size()) {
        return false;
    }
    if (plain && digits <= 15) {
        *value = text.startsWith(u'-') ? -whole : whole;
        return true;
    }
    QString c = text.toString();
    if (decimalMark != u'.') {
        c.replace(decimalMark, QLatin1Char('.'));
    }
    bool ok = false;
    const double result = QLocale::c().toDouble(c, &ok);
    if (ok) {
        *value = result;
    }
    return ok;
}

QStringView readablePart(QStringView line)
{
    if (line.size() <= MaxLineLength) {
        return line;
    }
    qsizetype length = MaxLineLength;
    if (line.at(length - 1).isHighSurrogate() && line.at(length).isLowSurrogate()) {
        --length;
    }
    return line.left(length);
}

QStringView trimmed(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= u' ') {
        ++begin;
    }
    while (end > begin && text.at(end - 1).unicode() <= u' ') {
        --end;
    }
    return text.mid(begin, end - begin);
}

QStringView cutToWidth(QStringView text, int width)
{
    // A text of no more UTF-16 units than the width has no more characters either.
    if (width <= 0 || text.size() <= width) {
        return text;
    }
    qsizetype end = 0;
    for (int characters = 0; characters < width && end < text.size(); ++characters) {
        const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate();
        end += pair ? 2 : 1;
    }
    return text.left(end);
}

QString parse(QStringView line, QChar decimalMark, TToll& record)
{
    using namespace JournalLine;
    const Fields fields = splitFields(readablePart(line));
    const auto text = [&fields](int index) { return index < fields.size() ? fields.at(index) : QStringView(); };
    const auto whole = [&](int index, qint32& target) {
        return toWholeNumber(text(index), &target) ? QString() : refusal(fields, index, "um número inteiro");
    };

    if (QString reason = whole(Job, record.pJob); !reason.isNull()) {
        return reason;
    }
    assign(record.pPrinter, text(Printer));
    assign(record.pMachine, text(Machine));
    assign(record.pUser, text(User));
    assign(record.pDocument, text(Document));
    assign(record.pNotify, text(Notify));
    assign(record.pDataType, text(DataType));
    assign(record.pPrintProcessor, text(PrintProcessor));
    assign(record.pParameters, text(Parameters));
    assign(record.pDriver, text(Driver));
    if (QString reason = whole(TotalPages, record.pTotalPages); !reason.isNull()) {
        return reason;
    }
    if (!toRealNumber(text(Size), decimalMark, &record.pSize)) {
        return refusal(fields, Size, "um número");
    }
    // Fields 12 and 13, the job's own date and time, are accepted whatever they hold.
    if (QString reason = whole(PaperSize, record.pPaperSize); !reason.isNull()) {
        return reason;
    }
    if (QString reason = whole(PaperLength, record.pPaperLength); !reason.isNull()) {
        return reason;
    }
    if (QString reason = whole(PaperWidth, record.pPaperWidth); !reason.isNull()) {
        return reason;
    }
    assign(record.pDuplex, text(Duplex));
    assign(record.pColor, text(Color));
    return QString();
}

} // namespace tollbook::JournalFormat
