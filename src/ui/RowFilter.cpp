#include "ui/RowFilter.h"

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

QList<Dataset::Condition> RowFilter::conditions(const Dataset& dataset) const
{
    std::vector<Dataset::Condition> all;
    for (const Criterion& criterion : m_criteria) {
        if (const Field* field = dataset.findField(criterion.fieldName)) {
            if (std::optional<Dataset::Condition> condition = criterionCondition(criterion, *field)) {
                all.push_back(std::move(*condition));
            }
        }
    }
    if (all.empty()) {
        return {};
    }
    if (m_options.nonMatching) {
        // The rows that do not meet them all, those with empty fields among them.
        Dataset::Condition others = Dataset::Condition::allOf(std::move(all));
        others.negated = true;
        return { others };
    }
    return QList<Dataset::Condition>(all.begin(), all.end());
}

Dataset::Condition RowFilter::startingWith(const QString& fieldName, const QString& typed)
{
    Dataset::Condition condition;
    condition.field = fieldName;
    condition.match = Dataset::Condition::Match::StartsWith;
    condition.value = typed;
    condition.asShown = true;
    return condition;
}

std::optional<Dataset::Condition> RowFilter::criterionCondition(const Criterion& criterion, const Field& field) const
{
    const QString value = criterion.value.trimmed();
    if (value.isEmpty()) {
        if (criterion.rangeFrom.trimmed().isEmpty() && criterion.rangeTo.trimmed().isEmpty()) {
            return std::nullopt;
        }
        return rangeCondition(criterion, field);
    }
    std::vector<Dataset::Condition> alternatives;
    for (const QString& alternative : value.split(OrWord)) {
        std::vector<Dataset::Condition> parts;
        for (const QString& part : alternative.split(AndWord)) {
            parts.push_back(valueCondition(part.trimmed(), field));
        }
        alternatives.push_back(parts.size() == 1 ? parts.front() : Dataset::Condition::allOf(std::move(parts)));
    }
    return alternatives.size() == 1 ? alternatives.front() : Dataset::Condition::anyOf(std::move(alternatives));
}

Dataset::Condition RowFilter::valueCondition(const QString& typed, const Field& field) const
{
    using Condition = Dataset::Condition;
    using Match = Condition::Match;
    Condition condition;
    condition.field = field.fieldName();
    condition.caseSensitive = m_options.caseSensitive;
    const auto ranged = [&](const QVariant& low, const QVariant& high) {
        condition.match = Match::Range;
        condition.value = low;
        condition.high = high;
        return condition;
    };
    if (typed.compare(QLatin1String("null"), Qt::CaseInsensitive) == 0) {
        condition.match = Match::Null;
        if (field.type() != FieldType::String) {
            return condition;
        }
        // A text shows nothing when it is null or empty.
        Condition empty = condition;
        empty.match = Match::Equal;
        empty.value = QString();
        return Condition::anyOf({ condition, empty });
    }
    const bool wildcard = typed.contains(QLatin1Char('%'));
    if (field.type() == FieldType::DateTime && !wildcard) {
        bool hasTime = false;
        const QDateTime wanted = parseShownDate(typed, &hasTime);
        if (wanted.isValid()) {
            // The second typed, or the whole day.
            return hasTime ? ranged(wanted, wanted)
                           : ranged(wanted, FieldValues::wallClock(wanted.date(), QTime(23, 59, 59)));
        }
    }
    double number = 0;
    if (isNumeric(field.type()) && !wildcard && Formats::parseNumber(typed, &number)) {
        if (field.type() == FieldType::Float) {
            condition.value = number; // within the tolerance
            return condition;
        }
        if (field.type() == FieldType::Currency) {
            return ranged(number - NumberTolerance, number + NumberTolerance);
        }
        // A whole number holds no fraction: 3.5 finds no page count.
        if (std::fabs(number - std::round(number)) > NumberTolerance) {
            return Condition::anyOf({});
        }
        condition.value = qint64(std::llround(number));
        return condition;
    }
    // Text, or the field's text as the grid shows it: flags by their letter, dates as "31/12/2019".
    condition.asShown = true;
    condition.value = typed;
    if (wildcard) {
        condition.match = Match::Like;
        switch (m_options.match) {
            case RowFilter::Match::Exact:
                break;
            case RowFilter::Match::Start:
                condition.value = typed + QLatin1Char('%');
                break;
            case RowFilter::Match::Anywhere:
                condition.value = QLatin1Char('%') + typed + QLatin1Char('%');
                break;
        }
        return condition;
    }
    switch (m_options.match) {
        case RowFilter::Match::Exact:
            condition.match = Match::Equal;
            break;
        case RowFilter::Match::Start:
            condition.match = Match::StartsWith;
            break;
        case RowFilter::Match::Anywhere:
            condition.match = Match::Contains;
            break;
    }
    return condition;
}

Dataset::Condition RowFilter::rangeCondition(const Criterion& criterion, const Field& field) const
{
    using Condition = Dataset::Condition;
    const QString from = criterion.rangeFrom.trimmed();
    const QString to = criterion.rangeTo.trimmed();
    Condition condition;
    condition.field = field.fieldName();
    condition.match = Condition::Match::Range;
    condition.caseSensitive = m_options.caseSensitive;
    if (field.type() == FieldType::DateTime) {
        bool fromHasTime = false;
        bool toHasTime = false;
        const QDateTime low = parseShownDate(from, &fromHasTime);
        const QDateTime high = parseShownDate(to, &toHasTime);
        if ((!from.isEmpty() && !low.isValid()) || (!to.isEmpty() && !high.isValid())) {
            return Condition::anyOf({}); // not a date: no row
        }
        // From the first second of its first day to the last of its last, unless times were typed.
        if (low.isValid()) {
            condition.value = fromHasTime ? low : FieldValues::wallClock(low.date(), QTime(0, 0));
        }
        if (high.isValid()) {
            condition.high = toHasTime ? high : FieldValues::wallClock(high.date(), QTime(23, 59, 59));
        }
        return condition;
    }
    if (isNumeric(field.type())) {
        double low = 0;
        double high = 0;
        if ((!from.isEmpty() && !Formats::parseNumber(from, &low)) ||
            (!to.isEmpty() && !Formats::parseNumber(to, &high))) {
            return Condition::anyOf({}); // not a number: no row
        }
        const bool whole = field.type() == FieldType::Integer || field.type() == FieldType::AutoInc;
        if (!from.isEmpty()) {
            condition.value =
                whole ? QVariant(qint64(std::ceil(low - NumberTolerance))) : QVariant(low - NumberTolerance);
        }
        if (!to.isEmpty()) {
            condition.high =
                whole ? QVariant(qint64(std::floor(high + NumberTolerance))) : QVariant(high + NumberTolerance);
        }
        return condition;
    }
    if (!from.isEmpty()) {
        condition.value = from;
    }
    if (!to.isEmpty()) {
        condition.high = to;
    }
    return condition;
}

} // namespace tollbook
