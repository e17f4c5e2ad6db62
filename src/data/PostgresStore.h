#pragma once

#include "Store.h"

typedef struct pg_conn PGconn;

namespace tollbook {

// A PostgreSQL database, through Qt's PostgreSQL driver and libpq under it. The application's SQL is translated
// to it (StoreSql.cpp); its texts that ignore letter case are citext columns; the session speaks UTF-8, ISO dates,
// this computer's time zone, and waits 10 s at most for a row another installation holds locked.
class PostgresStore final : public Store
{
public:
    // The libpq connection under an open connection of Qt's driver; throws DatabaseError for any other.
    static PGconn* handle(const QString& connectionName);

    StoreTraits datasetTraits() const override;
    QString name() const override;
    QString canonicalLocation(const QString& location) const override;
    QSqlDatabase open(const QString& location, const QString& connectionName) const override;
    void create(const QString& location) const override;
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
