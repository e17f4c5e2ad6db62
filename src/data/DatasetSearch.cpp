// A dataset's searches: the filter, find first and find next by the condition rules, and locate.

#include "Dataset.h"

#include "Collation.h"
#include "ConditionRules.h"
#include "DatasetValues.h"
#include "RowPager.h"
#include "StoreTraits.h"
#include "TextCompare.h"
#include "platform/Errors.h"

#include <QSet>

#include <algorithm>

namespace tollbook {

using DatasetValues::quotedIdentifier;
using DatasetValues::toDatabase;

Dataset::Condition Dataset::Condition::anyOf(std::vector<Condition> operands)
{
    Condition group;
    group.match = Match::AnyOf;
    group.operands = std::move(operands);
    return group;
}

Dataset::Condition Dataset::Condition::allOf(std::vector<Condition> operands)
{
    Condition group;
    group.match = Match::AllOf;
    group.operands = std::move(operands);
    return group;
}

int Dataset::findRow(const Condition& condition, int from, bool forward)
{
    requireBrowse("findRow");
    const ConditionRules rules = conditionRules();
    QVariantList values;
    const QString sql = rules.sql(condition, values); // refuses what cannot be searched
    const int step = forward ? 1 : -1;
    int row = forward ? std::max(from + 1, 0) : std::min(from, rowCount()) - 1;
    if (!isPaged()) {
        for (; row >= 0 && row < rowCount(); row += step) {
            if (rules.satisfies(condition, rowAt(row))) {
                return row;
            }
        }
        return -1;
    }
    std::vector<qint64> found;
    readKeys(m_pager->keyField(), found, sql, values);
    const QSet<qint64> candidates(found.begin(), found.end());
    const QHash<qint64, Row>& heldRows = m_pager->heldRows();
    for (; row >= 0 && row < rowCount(); row += step) {
        // A row posted here is judged by what it holds, which the query may no longer return.
        const qint64 key = m_pager->key(row);
        const auto held = heldRows.constFind(key);
        if (held != heldRows.cend() ? rules.satisfies(condition, *held) : candidates.contains(key)) {
            return row;
        }
    }
    return -1;
}

void Dataset::setFilter(const QList<Condition>& conditions)
{
    const ConditionRules rules = conditionRules();
    QStringList sql;
    QVariantList values;
    for (const Condition& condition : conditions) {
        sql << rules.sql(condition, values);
    }
    m_filter = conditions;
    m_filterSql = sql;
    m_filterValues = values;
}

ConditionRules Dataset::conditionRules() const
{
    // A condition on a lookup field is judged on the lookup's rows, each key with its result as shown.
    return ConditionRules(*this, StoreTraits::of(m_connectionName), [this](const Field& field) {
        Dataset* lookup = field.lookupDataset();
        if (!lookup) {
            throw DatabaseError(QStringLiteral("%1: Lookup information for field '%2' is incomplete")
                                    .arg(objectName(), field.fieldName()));
        }
        if (!lookup->isOpen()) {
            lookup->open();
        }
        fieldByName(field.keyField());
        const Field* key = lookup->fieldByName(field.lookupKeyField());
        const Field* result = lookup->fieldByName(field.lookupResultField());
        QVector<ConditionRules::LookupRow> rows;
        rows.reserve(lookup->recordCount());
        for (int row = 0; row < lookup->recordCount(); ++row) {
            const QVariant found = result->fromStored(lookup->storedValue(row, result->index()));
            rows.append({ toDatabase(key, lookup->storedValue(row, key->index())),
                          found.isNull() ? QVariant() : QVariant(found.toString()) });
        }
        return rows;
    });
}

bool Dataset::locate(const QString& fieldName, const QVariant& value, bool caseInsensitive)
{
    requireBrowse("locate");
    const Field* field = fieldByName(fieldName);
    const QVariant wanted = value.isNull() ? QVariant() : field->toStored(value);
    const int row = locateRow(field, wanted, caseInsensitive);
    if (row < 0) {
        return false;
    }
    m_bof = m_eof = false;
    setCurrent(row);
    return true;
}

int Dataset::locateRow(const Field* field, const QVariant& wanted, bool caseInsensitive)
{
    const auto matches = [&](const QVariant& stored) {
        if (wanted.isNull() || stored.isNull()) {
            return wanted.isNull() && stored.isNull();
        }
        if (stored.typeId() == QMetaType::QString) {
            // Without case, as the database compares its text keys.
            return caseInsensitive ? TextCompare::equal(stored.toString(), wanted.toString())
                                   : stored.toString() == wanted.toString();
        }
        return stored == wanted;
    };
    const FieldType type = field->type();
    const bool askDatabase = isPaged() && field->kind() == FieldKind::Data && !wanted.isNull() &&
                             (type == FieldType::String || type == FieldType::Integer || type == FieldType::AutoInc ||
                              type == FieldType::Currency);
    if (!askDatabase) {
        for (int row = 0; row < rowCount(); ++row) {
            if (matches(rowAt(row).at(field->index()))) {
                return row;
            }
        }
        return -1;
    }
    // Held by keys: the database names the rows that may match, by a bound value; the first of them in the
    // query's order is checked as above, since a row posted here may differ from what the query returns.
    const QString column = quotedIdentifier(field->fieldName());
    const QString condition =
        type != FieldType::String
            ? column + QStringLiteral(" = ?")
            : column + (caseInsensitive ? QStringLiteral(" = ? COLLATE ") + QLatin1String(Collation::Name)
                                        : QStringLiteral(" = ? COLLATE BINARY"));
    std::vector<qint64> found;
    readKeys(m_pager->keyField(), found, condition, { toDatabase(field, wanted) });
    QSet<qint64> candidates(found.begin(), found.end());
    const QHash<qint64, Row>& heldRows = m_pager->heldRows();
    for (auto it = heldRows.cbegin(); it != heldRows.cend(); ++it) {
        candidates.insert(it.key());
    }
    for (int row = 0; row < rowCount(); ++row) {
        if (candidates.contains(m_pager->key(row)) && matches(rowAt(row).at(field->index()))) {
            return row;
        }
    }
    return -1;
}

} // namespace tollbook
