#pragma once

// The rules of a dataset's filter and search conditions, written once: each match is one entry of a table that
// gives both its SQL, which the database runs over the query's rows, and its test of a row held in memory (the
// locate dialog's find next, a row posted here). Pure: it reads the dataset's fields, never its database.

#include "Dataset.h"
#include "StoreTraits.h"

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include <functional>

namespace tollbook {

class ConditionRules
{
public:
    using Condition = Dataset::Condition;
    // One row of a lookup field's lookup: its key as it is bound, its result as the field shows it.
    struct LookupRow
    {
        QVariant key;
        QVariant result;
    };
    // The rows of a lookup field's lookup (which throws when the lookup is incomplete).
    using LookupRows = std::function<QVector<LookupRow>(const Field& field)>;

    ConditionRules(const Dataset& dataset, const StoreTraits& store, LookupRows lookupRows = {});

    // "(test)" over the query's columns, or "NOT coalesce((test), FALSE)" when negated, with "?" for the values,
    // which are appended in order. A condition on a lookup field is one on its key field. Throws DatabaseError
    // for a field that is absent or cannot be filtered on (a calculated field without an SQL expression).
    QString sql(const Condition& condition, QVariantList& values) const;

    // Whether a row held (the stored values of the dataset's fields) satisfies the condition.
    bool satisfies(const Condition& condition, const QVector<QVariant>& row) const;
    // Whether one stored value of a field satisfies a condition on it (its group's operands are not read).
    static bool satisfiesValue(const Condition& condition, const Field& field, const QVariant& stored);

private:
    QString testSql(const Condition& condition, QVariantList& values) const;
    QString lookupTestSql(const Condition& condition, const Field& field, QVariantList& values) const;

    const Dataset& m_dataset;
    StoreTraits m_store;
    LookupRows m_lookupRows;
};

} // namespace tollbook
