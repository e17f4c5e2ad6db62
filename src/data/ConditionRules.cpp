#include "ConditionRules.h"

#include "Collation.h"
#include "Database.h"
#include "DatasetValues.h"
#include "Formats.h"
#include "Store.h"
#include "TextCompare.h"
#include "platform/Errors.h"

#include <QRegularExpression>

#include <cmath>

namespace tollbook {

using DatasetValues::quotedIdentifier;
using DatasetValues::toDatabase;
using Match = Dataset::Condition::Match;

namespace {

// A date field's text as the field shows it, computed by the database from its ISO text: one piece per
// element of the display format, so that it agrees with QDateTime::toString for the elements handled.
QString shownDateSql(const QString& column, const QString& format)
{
    struct Element
    {
        const char* token;
        const char* sql; // %1: the column
    };
    static const Element elements[] = {
        { "yyyy", "strftime('%Y', %1)" },
        { "yy", "substr(strftime('%Y', %1), 3, 2)" },
        { "MM", "strftime('%m', %1)" },
        { "M", "CAST(strftime('%m', %1) AS INTEGER)" },
        { "dd", "strftime('%d', %1)" },
        { "d", "CAST(strftime('%d', %1) AS INTEGER)" },
        { "HH", "strftime('%H', %1)" },
        { "hh", "strftime('%H', %1)" },
        { "H", "CAST(strftime('%H', %1) AS INTEGER)" },
        { "h", "CAST(strftime('%H', %1) AS INTEGER)" },
        { "mm", "strftime('%M', %1)" },
        { "m", "CAST(strftime('%M', %1) AS INTEGER)" },
        { "ss", "strftime('%S', %1)" },
        { "s", "CAST(strftime('%S', %1) AS INTEGER)" },
    };
    QStringList pieces;
    QString literal;
    const auto flushLiteral = [&] {
        if (!literal.isEmpty()) {
            pieces << QLatin1Char('\'') + QString(literal).replace(QLatin1Char('\''), QLatin1String("''")) +
                          QLatin1Char('\'');
            literal.clear();
        }
    };
    for (int at = 0; at < format.size();) {
        bool matched = false;
        for (const Element& element : elements) {
            const QLatin1String token(element.token);
            if (QStringView(format).mid(at).startsWith(token)) {
                flushLiteral();
                pieces << QString::fromLatin1(element.sql).arg(column);
                at += int(token.size());
                matched = true;
                break;
            }
        }
        if (!matched) {
            literal += format.at(at++);
        }
    }
    flushLiteral();
    return pieces.isEmpty() ? QStringLiteral("''")
                            : QStringLiteral("(") + pieces.join(QLatin1String(" || ")) + QLatin1Char(')');
}

// The text of an amount in ten-thousandths with two decimals, as the database writes it (see shownSql).
QString shownAmount(qint64 units)
{
    return QString::asprintf("%.2f", double(units) / 10000.0).replace(QLatin1Char('.'), Formats::decimalSeparator());
}

// A pattern where "%" is any run of characters, as a regular expression over the whole text.
QRegularExpression likeExpression(const QString& pattern, bool caseSensitive)
{
    QStringList pieces = pattern.split(QLatin1Char('%'));
    for (QString& piece : pieces) {
        piece = QRegularExpression::escape(piece);
    }
    QRegularExpression::PatternOptions options = QRegularExpression::DotMatchesEverythingOption;
    if (!caseSensitive) {
        options |= QRegularExpression::CaseInsensitiveOption;
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(pieces.join(QLatin1String(".*"))), options);
}

// The same pattern for LIKE ... ESCAPE '\': the escape character and "_" stand for themselves.
QString likePattern(const QString& pattern)
{
    QString escaped = pattern;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('_'), QLatin1String("\\_"));
    return escaped;
}

bool isTextMatch(Dataset::Condition::Match match)
{
    using Match = Dataset::Condition::Match;
    return match == Match::Equal || match == Match::Contains || match == Match::StartsWith || match == Match::Like;
}

// A field as the SQL of one condition compares it.
struct SqlOperand
{
    const Field& field;
    const Dataset::Condition& condition;
    const StoreTraits& store;
    QString column;  // the column, or a calculated field's expression
    QString subject; // the text compared: a text field's own, or another field's as shown
    bool shown;
    QString collate; // where texts are compared: as the database's keys do unless case counts

    QVariant bound(const QVariant& value) const
    {
        return toDatabase(&field, value.isNull() ? QVariant() : field.toStored(value));
    }
    QString folded(const QString& expression) const
    {
        return condition.caseSensitive
                   ? expression
                   : QStringLiteral("%1(%2)").arg(QLatin1String(Database::FoldFunction), expression);
    }
};

// A value held in memory, not null, as one condition compares it: texts by the collation unless case counts,
// numbers by value, dates by their ISO text.
struct HeldOperand
{
    const Field& field;
    const Dataset::Condition& condition;
    QVariant held;
    bool text;
    bool shown;
    bool textual;

    QVariant bound(const QVariant& value) const
    {
        return text ? value : toDatabase(&field, value.isNull() ? QVariant() : field.toStored(value));
    }
    int compare(const QVariant& value) const
    {
        const bool asText = textual || held.typeId() == QMetaType::QString;
        if (!asText) {
            const double difference = held.toDouble() - value.toDouble();
            return difference < 0 ? -1 : difference > 0 ? 1 : 0;
        }
        if (textual && !condition.caseSensitive) {
            return TextCompare::compare(held.toString(), value.toString());
        }
        return QString::compare(held.toString(), value.toString(), Qt::CaseSensitive);
    }
    QString folded(const QString& value) const { return condition.caseSensitive ? value : TextCompare::key(value); }
};

// One rule per match: its SQL (appending its values) and its test of a value held that is not null (a null value
// satisfies the null test alone).
struct Rule
{
    Match match;
    QString (*sql)(const SqlOperand& operand, QVariantList& values);
    bool (*holds)(const HeldOperand& operand);
};

const Rule rules[] = {
    { Match::Null, [](const SqlOperand& o, QVariantList&) { return o.column + QStringLiteral(" IS NULL"); },
      [](const HeldOperand&) { return false; } },
    { Match::Equal,
      [](const SqlOperand& o, QVariantList& values) {
          if (o.shown) {
              values << o.condition.value.toString();
              return o.subject + QStringLiteral(" = ?") + o.collate;
          }
          values << o.bound(o.condition.value);
          if (o.field.type() == FieldType::Float) {
              return QStringLiteral("abs(%1 - ?) < 0.0001").arg(o.column);
          }
          return o.column + QStringLiteral(" = ?") + o.collate;
      },
      [](const HeldOperand& o) {
          if (o.field.type() == FieldType::Float && !o.shown) {
              return std::fabs(o.held.toDouble() - o.condition.value.toDouble()) < 0.0001;
          }
          if (o.textual && !o.condition.caseSensitive) {
              return TextCompare::equal(o.held.toString(), o.condition.value.toString());
          }
          return o.compare(o.shown ? o.condition.value : o.bound(o.condition.value)) == 0;
      } },
    // Contains and starts-with look for the typed text itself, not for a pattern.
    { Match::Contains,
      [](const SqlOperand& o, QVariantList& values) {
          values << o.condition.value.toString();
          return QStringLiteral("instr(%1, %2) > 0").arg(o.folded(o.subject), o.folded(QStringLiteral("?")));
      },
      [](const HeldOperand& o) {
          return o.folded(o.held.toString()).contains(o.folded(o.condition.value.toString()));
      } },
    { Match::StartsWith,
      [](const SqlOperand& o, QVariantList& values) {
          // The typed text twice: once for its length, once to compare.
          values << o.condition.value.toString() << o.condition.value.toString();
          return QStringLiteral("substr(%1, 1, length(%2)) = %3")
              .arg(o.folded(o.subject), o.folded(QStringLiteral("?")), o.folded(QStringLiteral("?")));
      },
      [](const HeldOperand& o) {
          return o.folded(o.held.toString()).startsWith(o.folded(o.condition.value.toString()));
      } },
    { Match::Like,
      [](const SqlOperand& o, QVariantList& values) {
          if (o.condition.caseSensitive) {
              return o.store.store->caseSensitiveLike(o.subject, o.condition.value.toString(), values);
          }
          values << likePattern(o.condition.value.toString());
          return QStringLiteral("%1 LIKE %2 ESCAPE '\\'").arg(o.folded(o.subject), o.folded(QStringLiteral("?")));
      },
      [](const HeldOperand& o) {
          return likeExpression(o.folded(o.condition.value.toString()), true)
              .match(o.folded(o.held.toString()))
              .hasMatch();
      } },
    // A null bound is open.
    { Match::Range,
      [](const SqlOperand& o, QVariantList& values) {
          QStringList bounds;
          if (!o.condition.value.isNull()) {
              bounds << o.column + QStringLiteral(" >= ?") + o.collate;
              values << o.bound(o.condition.value);
          }
          if (!o.condition.high.isNull()) {
              bounds << o.column + QStringLiteral(" <= ?") + o.collate;
              values << o.bound(o.condition.high);
          }
          return bounds.isEmpty() ? QStringLiteral("TRUE") : bounds.join(QStringLiteral(" AND "));
      },
      [](const HeldOperand& o) {
          return (o.condition.value.isNull() || o.compare(o.bound(o.condition.value)) >= 0) &&
                 (o.condition.high.isNull() || o.compare(o.bound(o.condition.high)) <= 0);
      } },
};

const Rule& ruleOf(Match match)
{
    for (const Rule& rule : rules) {
        if (rule.match == match) {
            return rule;
        }
    }
    Q_UNREACHABLE();
}

bool isGroup(Match match)
{
    return match == Match::AnyOf || match == Match::AllOf;
}

} // namespace

ConditionRules::ConditionRules(const Dataset& dataset, const StoreTraits& store, LookupRows lookupRows)
    : m_dataset(dataset)
    , m_store(store)
    , m_lookupRows(std::move(lookupRows))
{
}

QString ConditionRules::sql(const Condition& condition, QVariantList& values) const
{
    const QString test = testSql(condition, values);
    // A null field satisfies no condition but the null test, and so is among the rows that do not. The
    // condition itself stays as written where it is not negated, so that an index on the column serves it.
    return (condition.negated ? QStringLiteral("NOT coalesce((%1), FALSE)") : QStringLiteral("(%1)")).arg(test);
}

QString ConditionRules::testSql(const Condition& condition, QVariantList& values) const
{
    if (isGroup(condition.match)) {
        const bool any = condition.match == Match::AnyOf;
        QStringList parts;
        for (const Condition& operand : condition.operands) {
            parts << sql(operand, values);
        }
        if (parts.isEmpty()) {
            return any ? QStringLiteral("FALSE") : QStringLiteral("TRUE");
        }
        return parts.join(any ? QLatin1String(" OR ") : QLatin1String(" AND "));
    }
    const Field* field = m_dataset.fieldByName(condition.field);
    if (field->kind() == FieldKind::Lookup) {
        return lookupTestSql(condition, *field, values);
    }
    QString column;
    if (field->kind() == FieldKind::Data) {
        column = quotedIdentifier(field->fieldName());
    } else if (!field->sqlExpression().isEmpty()) {
        column = QStringLiteral("(%1)").arg(field->sqlExpression());
    } else {
        throw DatabaseError(
            QStringLiteral("%1: Field '%2' cannot be filtered on").arg(m_dataset.objectName(), field->fieldName()));
    }
    const bool text = field->type() == FieldType::String;
    const bool shown = !text && condition.asShown && isTextMatch(condition.match);
    QString subject = column;
    if (shown) {
        switch (field->type()) {
            case FieldType::DateTime:
                if (!field->displayFormat().isEmpty()) {
                    subject = shownDateSql(column, field->displayFormat());
                } else {
                    // As the application writes a date: without its time at midnight.
                    const QString day = shownDateSql(column, Formats::shortDateFormat());
                    subject = QStringLiteral("(CASE WHEN strftime('%H:%M:%S', %1) = '00:00:00' THEN %2 ELSE %2 || ' ' "
                                             "|| strftime('%H:%M:%S', %1) END)")
                                  .arg(column, day);
                }
                break;
            case FieldType::Currency:
                subject = QStringLiteral("replace(printf('%.2f', %1 / 10000.0), '.', ?)").arg(column);
                values << QString(Formats::decimalSeparator());
                break;
            case FieldType::Float:
                subject = QStringLiteral("printf('%g', %1)").arg(column);
                break;
            default:
                subject = QStringLiteral("CAST(%1 AS TEXT)").arg(column);
                break;
        }
    }
    const QString collate =
        !(text || shown) ? QString()
                         : QStringLiteral(" COLLATE ") +
                               (condition.caseSensitive ? QStringLiteral("BINARY") : QLatin1String(Collation::Name));
    const SqlOperand operand{ *field, condition, m_store, column, subject, shown, collate };
    return ruleOf(condition.match).sql(operand, values);
}

// A condition on a lookup field is one on its key: the keys of the lookup rows whose result satisfies it.
QString ConditionRules::lookupTestSql(const Condition& condition, const Field& field, QVariantList& values) const
{
    if (!m_lookupRows) {
        throw DatabaseError(QStringLiteral("%1: Lookup information for field '%2' is incomplete")
                                .arg(m_dataset.objectName(), field.fieldName()));
    }
    const QVector<LookupRow> rows = m_lookupRows(field);
    Condition onResult = condition;
    onResult.negated = false;
    const bool nullTest = condition.match == Match::Null;
    QVariantList keys;
    for (const LookupRow& row : rows) {
        if (row.key.isNull()) {
            continue;
        }
        // The null test keeps the keys that find a result: the others, and no key, are the rows it selects.
        if (nullTest ? !row.result.isNull() : satisfiesValue(onResult, field, row.result)) {
            keys << row.key;
        }
    }
    const QString column = quotedIdentifier(m_dataset.fieldByName(field.keyField())->fieldName());
    QString list;
    if (!keys.isEmpty()) {
        list = QStringLiteral("%1 IN (%2)")
                   .arg(column, QStringList(keys.size(), QStringLiteral("?")).join(QLatin1Char(',')));
        values << keys;
    }
    if (nullTest) {
        return list.isEmpty() ? QStringLiteral("TRUE") : QStringLiteral("%1 IS NULL OR NOT (%2)").arg(column, list);
    }
    return list.isEmpty() ? QStringLiteral("FALSE") : list;
}

bool ConditionRules::satisfies(const Condition& condition, const QVector<QVariant>& row) const
{
    bool judged = false;
    if (isGroup(condition.match)) {
        const bool any = condition.match == Match::AnyOf;
        judged = !any;
        for (const Condition& operand : condition.operands) {
            if (satisfies(operand, row) == any) {
                judged = any;
                break;
            }
        }
    } else {
        const Field* field = m_dataset.fieldByName(condition.field);
        Condition atom = condition;
        atom.negated = false;
        judged = satisfiesValue(atom, *field, row.at(field->index()));
    }
    return condition.negated ? !judged : judged;
}

bool ConditionRules::satisfiesValue(const Condition& condition, const Field& field, const QVariant& stored)
{
    const auto judged = [&] {
        if (isGroup(condition.match)) {
            return false;
        }
        if (stored.isNull()) {
            return condition.match == Match::Null;
        }
        const bool text = field.type() == FieldType::String;
        const bool shown = !text && condition.asShown && isTextMatch(condition.match);
        QVariant held;
        if (text) {
            held = stored;
        } else if (shown) {
            switch (field.type()) {
                case FieldType::DateTime:
                    held = field.displayTextOf(stored);
                    break;
                case FieldType::Currency:
                    held = shownAmount(stored.toLongLong());
                    break;
                case FieldType::Float:
                    held = QString::asprintf("%g", stored.toDouble());
                    break;
                default:
                    held = stored.toString();
                    break;
            }
        } else {
            held = toDatabase(&field, stored);
        }
        const HeldOperand operand{ field, condition, held, text, shown, text || shown };
        return ruleOf(condition.match).holds(operand);
    };
    return condition.negated ? !judged() : judged();
}

} // namespace tollbook
