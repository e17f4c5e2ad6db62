#pragma once

// What the pieces of the dataset share: stored values as the database takes them, the key lookups and refreshes
// compare rows by, and identifiers quoted for SQL.

#include "Dataset.h"

#include <QString>
#include <QVariant>

namespace tollbook::DatasetValues {

// A name as an SQL identifier, in double quotes.
QString quotedIdentifier(const QString& name);
// A field's type and size from a column's declared type ("VARCHAR(30)", "CURRENCY", "DATETIME").
FieldType typeFromDeclared(const QString& declared);
int sizeFromDeclared(const QString& declared);
// A stored value as it is bound for the database: dates as their ISO text, null as a null text.
QVariant toDatabase(const Field* field, const QVariant& stored);
// Key of a lookup: numbers by value (a Long key finds a Double code), texts by the database's own rule
// for text keys; empty for null.
QString lookupKey(const QVariant& value);
// Throws DatabaseError, naming the dataset, when its connection is missing or closed.
void requireOpenConnection(const QString& dataset, const QString& connectionName);
// Whether an edit leaves a value as it was: null and the empty text are the same.
bool sameStored(const QVariant& a, const QVariant& b);

} // namespace tollbook::DatasetValues
