#include "RowWriter.h"

#include "Dataset.h"
#include "DatasetValues.h"
#include "RowStatement.h"
#include "Store.h"
#include "StoreTraits.h"
#include "platform/Errors.h"

#include <QMap>

namespace tollbook {

using DatasetValues::quotedIdentifier;
using DatasetValues::sameStored;
using DatasetValues::toDatabase;

namespace {

const QString RowNotFound =
    QStringLiteral("Row cannot be located for updating. Some values may have been changed since it was last read.");

} // namespace

RowWriter::RowWriter(const Dataset& dataset)
    : m_dataset(dataset)
{
}

RowWriter::~RowWriter() = default;

void RowWriter::forget()
{
    m_tableInfo.reset();
}

const TableInfo& RowWriter::tableInfo()
{
    const QString& table = m_dataset.baseTable();
    if (m_tableInfo && m_tableInfo->table == table) {
        return *m_tableInfo;
    }
    const QString& connectionName = m_dataset.connectionName();
    if (!table.isEmpty()) {
        DatasetValues::requireOpenConnection(m_dataset.objectName(), connectionName);
    }
    m_tableInfo = std::make_unique<TableInfo>(Store::forConnection(connectionName).tableInfo(connectionName, table));
    return *m_tableInfo;
}

RowWriter::RowCriteria RowWriter::rowCriteria(const QVector<QVariant>& row)
{
    // By the table's key when the dataset carries all of it, else by every column it carries.
    const TableInfo& info = tableInfo();
    RowCriteria result;
    result.byKey = !info.keyColumns.isEmpty();
    for (const QString& key : info.keyColumns) {
        const Field* field = m_dataset.findField(key);
        result.byKey = result.byKey && field && field->kind() == FieldKind::Data;
    }
    for (const QString& column : result.byKey ? info.keyColumns : info.columns) {
        const Field* field = m_dataset.findField(column);
        if (!field || field->kind() != FieldKind::Data) {
            continue;
        }
        result.criteria << quotedIdentifier(column) + QStringLiteral(" IS ?");
        result.values << toDatabase(field, row.at(field->index()));
    }
    if (result.criteria.isEmpty()) {
        throw DatabaseError(
            QStringLiteral("%1: Table '%2' cannot be updated").arg(m_dataset.objectName(), m_dataset.baseTable()));
    }
    return result;
}

bool RowWriter::exec(const QString& command, QString* message)
{
    try {
        RowStatement::prepare(m_dataset.connectionName(), command)->execute();
        return true;
    } catch (const DriverError& error) {
        if (message) {
            *message = error.message();
        }
        return false;
    }
}

// Where a savepoint outside a transaction does not open one (PostgreSQL), the savepoint begins one, which its
// release ends: committed when it is released, rolled back when the release fails.
bool RowWriter::savepointExec(const QString& command, QString* message)
{
    const bool ownTransaction = !StoreTraits::of(m_dataset.connectionName()).savepointOpensTransaction;
    if (ownTransaction && command.startsWith(QLatin1String("SAVEPOINT "))) {
        const QString name = command.mid(10);
        if (!Database::inPostgresTransaction(m_dataset.connectionName())) {
            if (!exec(QStringLiteral("BEGIN"), message)) {
                return false;
            }
            m_savepointTransactions.insert(name);
        }
        if (!exec(command, message)) {
            if (m_savepointTransactions.remove(name)) {
                exec(QStringLiteral("ROLLBACK"));
            }
            return false;
        }
        return true;
    }
    const bool done = exec(command, message);
    if (ownTransaction && command.startsWith(QLatin1String("RELEASE ")) &&
        m_savepointTransactions.remove(command.mid(8))) {
        if (!done || !exec(QStringLiteral("COMMIT"), message)) {
            exec(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    return done;
}

void RowWriter::inSavepoint(const std::function<void()>& write, const std::function<void()>& after)
{
    QString message;
    if (!savepointExec(QStringLiteral("SAVEPOINT dataset_post"), &message)) {
        throw DriverError(message);
    }
    try {
        write();
        after();
    } catch (...) {
        savepointExec(QStringLiteral("ROLLBACK TO dataset_post"));
        savepointExec(QStringLiteral("RELEASE dataset_post"));
        throw;
    }
    if (!savepointExec(QStringLiteral("RELEASE dataset_post"), &message)) {
        savepointExec(QStringLiteral("ROLLBACK TO dataset_post"));
        savepointExec(QStringLiteral("RELEASE dataset_post"));
        throw DriverError(message);
    }
}

void RowWriter::update(const QVector<QVariant>& before, const QVector<QVariant>& after)
{
    DatasetValues::requireOpenConnection(m_dataset.objectName(), m_dataset.connectionName());
    const TableInfo& info = tableInfo();
    QStringList assignments;
    QVariantList values;
    for (const Field* field : m_dataset.fields()) {
        if (field->kind() != FieldKind::Data || info.columnIndex(field->fieldName()) < 0) {
            continue;
        }
        if (sameStored(before.at(field->index()), after.at(field->index()))) {
            continue;
        }
        assignments << quotedIdentifier(info.columns.at(info.columnIndex(field->fieldName()))) + QStringLiteral(" = ?");
        values << toDatabase(field, after.at(field->index()));
    }
    if (assignments.isEmpty()) {
        return; // nothing of the base table changed
    }
    const RowCriteria where = rowCriteria(before);
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                            .arg(quotedIdentifier(m_dataset.baseTable()), assignments.join(QStringLiteral(", ")),
                                 where.criteria.join(QStringLiteral(" AND ")));
    // Prepared before the savepoint opens: a failure to prepare must not leave the connection inside it.
    const std::unique_ptr<RowStatement> statement = RowStatement::prepare(m_dataset.connectionName(), sql);
    QString message;
    if (!where.byKey && !savepointExec(QStringLiteral("SAVEPOINT dataset_update"), &message)) {
        throw DriverError(message);
    }
    int affected = 0;
    try {
        int position = 0;
        for (const QVariant& value : std::as_const(values)) {
            statement->bind(position++, value);
        }
        for (const QVariant& value : where.values) {
            statement->bind(position++, value);
        }
        affected = statement->execute();
    } catch (const DriverError&) {
        if (!where.byKey) {
            savepointExec(QStringLiteral("ROLLBACK TO dataset_update"));
            savepointExec(QStringLiteral("RELEASE dataset_update"));
        }
        throw;
    }
    if (!where.byKey) {
        if (affected > 1) {
            savepointExec(QStringLiteral("ROLLBACK TO dataset_update"));
        }
        savepointExec(QStringLiteral("RELEASE dataset_update"));
    }
    if (affected == 0) {
        throw DatabaseError(RowNotFound);
    }
    if (affected > 1) {
        throw DatabaseError(QStringLiteral(
            "Key column information is insufficient or incorrect. Too many rows were affected by update."));
    }
}

void RowWriter::insert(QVector<QVariant>& row)
{
    DatasetValues::requireOpenConnection(m_dataset.objectName(), m_dataset.connectionName());
    const TableInfo& info = tableInfo();
    if (info.columns.isEmpty()) {
        throw DatabaseError(
            QStringLiteral("%1: Table '%2' cannot be updated").arg(m_dataset.objectName(), m_dataset.baseTable()));
    }
    const QString table = quotedIdentifier(m_dataset.baseTable());
    QStringList columns;
    QVariantList values;
    for (const Field* field : m_dataset.fields()) {
        const int column = info.columnIndex(field->fieldName());
        if (field->kind() != FieldKind::Data || column < 0 || row.at(field->index()).isNull()) {
            continue;
        }
        columns << quotedIdentifier(info.columns.at(column));
        values << toDatabase(field, row.at(field->index()));
    }
    QString sql;
    if (columns.isEmpty()) {
        sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
    } else {
        sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(table, columns.join(QStringLiteral(", ")),
                       QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
    }
    const Field* numbered = info.rowidColumn.isEmpty() ? nullptr : m_dataset.findField(info.rowidColumn);
    numbered = numbered && numbered->kind() == FieldKind::Data ? numbered : nullptr;
    const bool returning = numbered && StoreTraits::of(m_dataset.connectionName()).insertReturnsRowId;
    if (returning) {
        sql += QStringLiteral(" RETURNING ") + quotedIdentifier(info.rowidColumn);
    }
    const std::unique_ptr<RowStatement> statement = RowStatement::prepare(m_dataset.connectionName(), sql);
    for (int i = 0; i < values.size(); ++i) {
        statement->bind(i, values.at(i));
    }
    if (returning) {
        row[numbered->index()] = QVariant(statement->step() ? statement->integer(0) : qint64(0));
        return;
    }
    statement->execute();
    if (numbered) {
        row[numbered->index()] = QVariant(statement->insertedRowId());
    }
}

void RowWriter::remove(const QVector<QVariant>& row)
{
    DatasetValues::requireOpenConnection(m_dataset.objectName(), m_dataset.connectionName());
    const RowCriteria where = rowCriteria(row);
    const QString table = quotedIdentifier(m_dataset.baseTable());
    const QString criteria = where.criteria.join(QStringLiteral(" AND "));
    // Without a key, one of several equal rows by its own address.
    const QString sql = where.byKey
                            ? QStringLiteral("DELETE FROM %1 WHERE %2").arg(table, criteria)
                            : QStringLiteral("DELETE FROM %1 WHERE %3 = (SELECT %3 FROM %1 WHERE %2 LIMIT 1)")
                                  .arg(table, criteria, StoreTraits::of(m_dataset.connectionName()).rowAddressColumn);
    const std::unique_ptr<RowStatement> statement = RowStatement::prepare(m_dataset.connectionName(), sql);
    for (int i = 0; i < where.values.size(); ++i) {
        statement->bind(i, where.values.at(i));
    }
    if (statement->execute() == 0) {
        throw DatabaseError(RowNotFound);
    }
}

} // namespace tollbook
