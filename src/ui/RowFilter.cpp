#include "ui/RowFilter.h"

#include "data/Dataset.h"
#include "data/Formats.h"

#include <QRegularExpression>

#include <cmath>

namespace tollbook {

namespace {

constexpr double NumberTolerance = 0.0001;

const QRegularExpression& shownDatePattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{4}|\\d{2})(?:\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?\\s*$"));
    return pattern;
}

// The operator words, standing alone between blanks ("a or b"), in any case.
const QRegularExpression OrWord(QStringLiteral("\\s+or\\s+"), QRegularExpression::CaseInsensitiveOption);
const QRegularExpression AndWord(QStringLiteral("\\s+and\\s+"), QRegularExpression::CaseInsensitiveOption);

bool isNumeric(FieldType type)
{
    return type == FieldType::Integer || type == FieldType::AutoInc || type == FieldType::Float ||
           type == FieldType::Currency;
}

bool numberOf(const Field& field, const QVariant& stored, double* number)
{
    const QVariant value = field.fromStored(stored);
    bool ok = false;
    *number = value.toDouble(&ok);
    return ok;
}

} // namespace

RowFilter::RowFilter(QList<Criterion> criteria, Options options)
    : m_criteria(std::move(criteria))
    , m_options(options)
{
}

bool RowFilter::isEmpty() const
{
    for (const Criterion& criterion : m_criteria) {
        if (!criterion.value.trimmed().isEmpty() || !criterion.rangeFrom.trimmed().isEmpty() ||
            !criterion.rangeTo.trimmed().isEmpty()) {
            return false;
        }
    }
    return true;
}

int RowFilter::expandTwoDigitYear(int twoDigits)
{
    return twoDigits >= 50 ? 1900 + twoDigits : 2000 + twoDigits;
}

QDateTime RowFilter::parseShownDate(const QString& text, bool* hasTime)
{
    const QRegularExpressionMatch match = shownDatePattern().match(text);
    if (hasTime) {
        *hasTime = false;
    }
    if (!match.hasMatch()) {
        return QDateTime();
    }
    const QString yearText = match.captured(3);
    const int year = yearText.size() == 2 ? expandTwoDigitYear(yearText.toInt()) : yearText.toInt();
    const QDate date(year, match.captured(2).toInt(), match.captured(1).toInt());
    QTime time(0, 0);
    if (match.hasCaptured(4)) {
        time = QTime(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
        if (hasTime) {
            *hasTime = true;
        }
    }
    if (!date.isValid() || !time.isValid()) {
        return QDateTime();
    }
    return FieldValues::wallClock(date, time);
}

bool RowFilter::accepts(const Dataset& dataset, int row) const
{
    bool meetsAll = true;
    for (const Criterion& criterion : m_criteria) {
        const Field* field = dataset.findField(criterion.fieldName);
        if (!field) {
            continue;
        }
        const bool typed = !criterion.value.trimmed().isEmpty() || !criterion.rangeFrom.trimmed().isEmpty() ||
                           !criterion.rangeTo.trimmed().isEmpty();
        if (typed && !meets(criterion, *field, dataset.storedValue(row, field->index()))) {
            meetsAll = false;
            break;
        }
    }
    return meetsAll != m_options.nonMatching;
}

bool RowFilter::meets(const Criterion& criterion, const Field& field, const QVariant& stored) const
{
    if (criterion.value.trimmed().isEmpty()) {
        return inRange(criterion, field, stored);
    }
    for (const QString& alternative : criterion.value.trimmed().split(OrWord)) {
        bool all = true;
        for (const QString& part : alternative.split(AndWord)) {
            if (!matchesValue(part.trimmed(), field, stored)) {
                all = false;
                break;
            }
        }
        if (all) {
            return true;
        }
    }
    return false;
}

bool RowFilter::matchesValue(const QString& typed, const Field& field, const QVariant& stored) const
{
    if (typed.compare(QLatin1String("null"), Qt::CaseInsensitive) == 0) {
        return stored.isNull() || field.displayTextOf(stored).isEmpty();
    }
    if (field.type() == FieldType::DateTime && !typed.contains(QLatin1Char('%'))) {
        bool hasTime = false;
        const QDateTime wanted = parseShownDate(typed, &hasTime);
        if (wanted.isValid()) {
            if (stored.isNull()) {
                return false;
            }
            const QDateTime value = stored.toDateTime();
            return hasTime ? value == wanted : value.date() == wanted.date();
        }
    }
    if (isNumeric(field.type()) && !typed.contains(QLatin1Char('%'))) {
        double wanted = 0;
        double value = 0;
        if (Formats::parseNumber(typed, &wanted)) {
            return !stored.isNull() && numberOf(field, stored, &value) && std::fabs(value - wanted) <= NumberTolerance;
        }
    }
    // Flags hold "S" or "N" and are compared as they are stored.
    const QString text = field.isFlag() ? stored.toString() : field.displayTextOf(stored);
    return matchesText(typed, text);
}

bool RowFilter::matchesText(const QString& typed, const QString& text) const
{
    const Qt::CaseSensitivity sensitivity = m_options.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (!typed.contains(QLatin1Char('%'))) {
        switch (m_options.match) {
            case Match::Exact:
                return text.compare(typed, sensitivity) == 0;
            case Match::Start:
                return text.startsWith(typed, sensitivity);
            case Match::Anywhere:
                return text.contains(typed, sensitivity);
        }
    }
    // "%" is the wildcard; everything else is taken literally.
    QStringList pieces = typed.split(QLatin1Char('%'));
    for (QString& piece : pieces) {
        piece = QRegularExpression::escape(piece);
    }
    QString pattern = pieces.join(QStringLiteral(".*"));
    switch (m_options.match) {
        case Match::Exact:
            pattern = QStringLiteral("^") + pattern + QStringLiteral("$");
            break;
        case Match::Start:
            pattern = QStringLiteral("^") + pattern;
            break;
        case Match::Anywhere:
            break;
    }
    QRegularExpression::PatternOptions options = QRegularExpression::DotMatchesEverythingOption;
    if (!m_options.caseSensitive) {
        options |= QRegularExpression::CaseInsensitiveOption;
    }
    return QRegularExpression(pattern, options).match(text).hasMatch();
}

bool RowFilter::inRange(const Criterion& criterion, const Field& field, const QVariant& stored) const
{
    if (stored.isNull()) {
        return false;
    }
    const QString from = criterion.rangeFrom.trimmed();
    const QString to = criterion.rangeTo.trimmed();
    if (field.type() == FieldType::DateTime) {
        const QDateTime value = stored.toDateTime();
        bool fromHasTime = false;
        bool toHasTime = false;
        const QDateTime low = parseShownDate(from, &fromHasTime);
        const QDateTime high = parseShownDate(to, &toHasTime);
        if ((from.isEmpty() || low.isValid()) && (to.isEmpty() || high.isValid())) {
            const bool aboveLow = from.isEmpty() || (fromHasTime ? value >= low : value.date() >= low.date());
            const bool belowHigh = to.isEmpty() || (toHasTime ? value <= high : value.date() <= high.date());
            return aboveLow && belowHigh;
        }
    }
    if (isNumeric(field.type())) {
        double low = 0;
        double high = 0;
        double value = 0;
        const bool lowOk = from.isEmpty() || Formats::parseNumber(from, &low);
        const bool highOk = to.isEmpty() || Formats::parseNumber(to, &high);
        if (lowOk && highOk && numberOf(field, stored, &value)) {
            return (from.isEmpty() || value >= low - NumberTolerance) &&
                   (to.isEmpty() || value <= high + NumberTolerance);
        }
    }
    const Qt::CaseSensitivity sensitivity = m_options.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QString text = field.isFlag() ? stored.toString() : field.displayTextOf(stored);
    return (from.isEmpty() || QString::compare(text, from, sensitivity) >= 0) &&
           (to.isEmpty() || QString::compare(text, to, sensitivity) <= 0);
}

} // namespace tollbook
