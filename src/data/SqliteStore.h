#pragma once

#include "Store.h"

namespace tollbook {

// A SQLite file, through Qt's SQLite driver and the SQLite library under it. The file has the application's
// collation and its letter-case folding function registered on every connection, waits for another process's
// writer, and is refused on a network file system.
class SqliteStore final : public Store
{
public:
    StoreTraits datasetTraits() const override;
    QString name() const override;
    QString canonicalLocation(const QString& location) const override;
    QSqlDatabase open(const QString& location, const QString& connectionName) const override;
    void create(const QString& location) const override;
    void release(const QString& connectionName) const override;
    QString sql(const QString& applicationSql) const override;
    std::unique_ptr<RowStatement> prepare(const QString& connectionName, const QString& sql) const override;
    bool keepsPreparedStatements() const override;
    TableInfo tableInfo(const QString& connectionName, const QString& table) const override;
    QString rowIdentityColumn() const override;
    QString insertReturning(const QString& quotedColumn) const override;
    QString caseSensitiveLike(const QString& subject, const QString& pattern, QVariantList& values) const override;
    bool savepoint(const QString& connectionName, QSqlQuery& query, const QString& command,
                   QSet<QString>& begun) const override;
    bool inTransaction(const QString& connectionName) const override;
    std::unique_ptr<BulkInsert> bulkInsert(const QString& connectionName, BulkInsert::Setup setup) const override;
};

} // namespace tollbook
