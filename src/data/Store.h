#pragma once

// What differs between the two kinds of database the application runs on, in one object per kind: opening and
// creating a database, preparing statements, reading a table's columns back, the identity of a row, the key an
// insert hands back, savepoints, the SQL fragments each writes its own way and the bulk insert of the journal
// import. The rest of the code asks the store of its connection and never which database it is on.

#include "Database.h"
#include "RowStatement.h"
#include "StoreTraits.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

class QSqlQuery;

namespace tollbook {

// A table's columns as the database has them.
struct TableInfo
{
    QString table;
    QStringList columns;           // as declared
    QHash<QString, QString> types; // lower-case name -> declared type, upper-cased, as SQLite's schema names it
    QStringList keyColumns;        // the primary key, in key order
    QString rowidColumn;           // the single whole-number key, filled by the database on insert

    int columnIndex(const QString& name) const
    {
        for (int i = 0; i < columns.size(); ++i) {
            if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0) {
                return i;
            }
        }
        return -1;
    }
};

// Many rows of one table written in one transaction, each row on its own: a row the database refuses (a value it
// does not take, a check or key it refuses) is reported and left out, the others stored. Any other failure throws
// DriverError and rolls everything back. Destroyed uncommitted, it rolls back.
class BulkInsert
{
public:
    enum class Kind { Text, Utf8, Integer };
    struct Column
    {
        QString name; // as the schema spells it
        Kind kind;
    };
    // One value per column, in the columns' order; only the member of the column's kind is read.
    struct Value
    {
        QStringView text;
        const QByteArray* utf8 = nullptr;
        qint64 integer = 0;
    };
    // A refused row: the database's words and the line the row came from.
    using Refused = std::function<void(const QString& reason, const QString& line)>;
    // A stored row: the texts of the reported columns, in their order. Stored rows may be reported in batches,
    // but always before commit() returns.
    using Stored = std::function<void(const QStringView* reported)>;

    struct Setup
    {
        QString table;
        std::vector<Column> columns;
        std::vector<int> reportedColumns; // the columns whose texts Stored is handed
        // The table that records the batches stored, by a text key and the time of the storing.
        QString recordTable;
        QString recordKeyColumn;
        QString recordTimeColumn;
        Refused refused;
        Stored stored;
    };

    virtual ~BulkInsert() = default;

    // Begins the transaction, for the batch of that key. False, and the transaction ended, when the batch is
    // recorded as stored already. A batch of the same key written meanwhile by another connection is waited for.
    virtual bool begin(const QString& key, const QString& storedAt) = 0;
    virtual void add(const Value* values, const QString& line) = 0;
    // Writes every row added; the refused ones are reported.
    virtual void flush() = 0;
    // Records the batch and commits.
    virtual void commit() = 0;
};

class Store
{
public:
    virtual ~Store() = default;

    // The store of a connection: PostgreSQL's for a connection of Qt's PostgreSQL driver, SQLite's for any other
    // (also one not open, whose statements then fail as missing).
    static const Store& forConnection(const QString& connectionName = Database::ConnectionName);
    // The store of a database location (the DataBase line of config.ini): PostgreSQL's for a postgresql:// or
    // postgres:// address, SQLite's for a file.
    static const Store& forLocation(const QString& location);
    static const Store& sqlite();
    static const Store& postgres();

    // How the dataset layer reads and writes on this store.
    virtual StoreTraits datasetTraits() const = 0;

    // "SQLite" or "PostgreSQL".
    virtual QString name() const = 0;

    // How the location reads once opened: a SQLite file's absolute path, an address with its scheme in lower
    // case. Another connection to the same database opens it.
    virtual QString canonicalLocation(const QString& location) const = 0;
    // Database::open and Database::create say what these do.
    virtual QSqlDatabase open(const QString& location, const QString& connectionName) const = 0;
    virtual void create(const QString& location) const = 0;
    // Lets go of what the store keeps of a connection, before the connection closes.
    virtual void release(const QString& connectionName) const;

    // A statement of the application, written as for SQLite, as this store runs it.
    virtual QString sql(const QString& applicationSql) const = 0;
    // One query read through the store's own client library (RowStatement says how).
    virtual std::unique_ptr<RowStatement> prepare(const QString& connectionName, const QString& sql) const = 0;
    // Whether a statement run again and again is worth keeping prepared (KeptStatement): preparing costs as much
    // as reading a page on SQLite; PostgreSQL plans the statement as it runs it.
    virtual bool keepsPreparedStatements() const = 0;

    // The columns and the primary key of a table; no columns for a table that is not there.
    virtual TableInfo tableInfo(const QString& connectionName, const QString& table) const = 0;
    // The column that tells one row of any table from another, also among equal rows: SQLite's rowid,
    // PostgreSQL's ctid.
    virtual QString rowIdentityColumn() const = 0;
    // What an INSERT ends with to hand back the number the database gave the row in that column (quoted as the
    // statement names it); empty where the number is read afterwards (QSqlQuery::lastInsertId).
    virtual QString insertReturning(const QString& quotedColumn) const = 0;

    // A condition that the subject matches a pattern counting letter case, "%" its one wildcard (any characters,
    // also none) and every other character itself; the value the condition binds is appended to values.
    virtual QString caseSensitiveLike(const QString& subject, const QString& pattern, QVariantList& values) const = 0;

    // Runs SAVEPOINT name, RELEASE name or ROLLBACK TO name on the query's connection. Where the database needs a
    // transaction around a savepoint, a SAVEPOINT outside one begins one, which its RELEASE ends: committed when
    // released, rolled back when the release fails. begun holds the savepoints that began one. False when the
    // database refused; the query's error says why.
    virtual bool savepoint(const QString& connectionName, QSqlQuery& query, const QString& command,
                           QSet<QString>& begun) const = 0;
    // Whether a transaction is open on the connection (also one that failed and waits for its rollback).
    virtual bool inTransaction(const QString& connectionName) const = 0;

    // The bulk insert on the connection, which must stay open while it lives.
    virtual std::unique_ptr<BulkInsert> bulkInsert(const QString& connectionName, BulkInsert::Setup setup) const = 0;
};

// What both stores' own code uses.
namespace StoreSupport {
// Runs a statement; throws DriverError with the database's words when it fails.
void exec(QSqlDatabase& db, const QString& statement);
// Opens the connection; when it cannot, removes it and throws what the driver said.
void openOrThrow(QSqlDatabase& db, const QString& connectionName);
// A message of the Erro section in the current language, in Portuguese where the language file has none.
QString errorMessage(const char* key, const char* portuguese);
// A name in double quotes, as both stores take it.
QString quotedIdentifier(const QString& name);
// The primary key from its columns by key position; a single whole-number key is the one the database numbers.
void findRowidColumn(TableInfo& info, const QMap<int, QString>& keys);
} // namespace StoreSupport

} // namespace tollbook
