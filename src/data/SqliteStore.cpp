#include "SqliteStore.h"

#include "Collation.h"
#include "Schema.h"
#include "SqliteStatement.h"
#include "i18n/Language.h"
#include "platform/Errors.h"
#include "platform/FileSystems.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace tollbook {

namespace {

void appendUtf8(std::string& out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out += char(codePoint);
    } else if (codePoint < 0x800) {
        out += char(0xC0 | (codePoint >> 6));
        out += char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += char(0xE0 | (codePoint >> 12));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    } else {
        out += char(0xF0 | (codePoint >> 18));
        out += char(0x80 | ((codePoint >> 12) & 0x3F));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    }
}

// A text with its letter case removed as the collation removes it, for a search within texts that ignores
// case also for accented letters; null stays null. Runs once per row of a filter: straight on the UTF-8
// bytes, a byte that starts no valid sequence kept as it is.
void foldText(sqlite3_context* context, int, sqlite3_value** arguments)
{
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_value_text(arguments[0]));
    if (!bytes) {
        sqlite3_result_null(context);
        return;
    }
    const int length = sqlite3_value_bytes(arguments[0]);
    std::string folded;
    folded.reserve(size_t(length));
    for (int i = 0; i < length;) {
        const unsigned char lead = bytes[i];
        const int size = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
        bool valid = size > 0 && i + size <= length;
        char32_t codePoint = size == 1 ? lead : size == 2 ? lead & 0x1F : size == 3 ? lead & 0x0F : lead & 0x07;
        for (int k = 1; valid && k < size; ++k) {
            valid = (bytes[i + k] & 0xC0) == 0x80;
            codePoint = (codePoint << 6) | (bytes[i + k] & 0x3F);
        }
        if (!valid) {
            folded += char(lead);
            ++i;
            continue;
        }
        appendUtf8(folded, Collation::fold(codePoint));
        i += size;
    }
    sqlite3_result_text(context, folded.data(), int(folded.size()), SQLITE_TRANSIENT);
}

// The application's text collation, which every text column of the schema names: without it no
// statement that compares or orders those columns can even be prepared.
void registerCollation(const QString& connectionName)
{
    sqlite3* handle = SqliteStatement::connectionHandle(connectionName);
    if (sqlite3_create_collation_v2(handle, Collation::Name, SQLITE_UTF8, nullptr, &Collation::sqliteCompare,
                                    nullptr) != SQLITE_OK ||
        sqlite3_create_function_v2(handle, Database::FoldFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   &foldText, nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw DriverError(QString::fromUtf8(sqlite3_errmsg(handle)));
    }
}

// A database created before the application had its own collation compares texts with SQLite's NOCASE,
// which folds A-Z only ("JOSÉ" and "josé" are two users there). Its columns are moved to the collation
// in one transaction: the schema text is rewritten and every index rebuilt in the new order. Where a key
// already holds two rows that the collation takes for one, the rebuild refuses, the transaction is rolled
// back and the database keeps comparing as before, until the duplicate is removed; a read-only file
// likewise stays as it is. Either way it stays usable.
void adoptCollation(QSqlDatabase& db)
{
    QSqlQuery query(db);
    const auto comparesAsBefore = [&query] {
        const bool found = query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'"
                                                     " AND sql LIKE '%COLLATE NOCASE%'")) &&
                           query.next() && query.value(0).toInt() > 0;
        query.finish();
        return found;
    };
    if (!comparesAsBefore()) {
        return;
    }
    const QString collation = QString::fromLatin1(Collation::Name);
    const auto run = [&query](const QString& statement) {
        if (!query.exec(statement)) {
            throw DriverError(Database::driverMessage(query.lastError()));
        }
    };
    try {
        run(QStringLiteral("BEGIN IMMEDIATE"));
        // Another connection may have moved it meanwhile.
        if (!comparesAsBefore()) {
            run(QStringLiteral("ROLLBACK"));
            return;
        }
        run(QStringLiteral("PRAGMA schema_version"));
        const int version = query.next() ? query.value(0).toInt() : 0;
        query.finish();
        run(QStringLiteral("PRAGMA writable_schema = ON"));
        run(QStringLiteral("UPDATE sqlite_master SET sql = replace(sql, 'COLLATE NOCASE', 'COLLATE %1')"
                           " WHERE type = 'table' AND sql LIKE '%COLLATE NOCASE%'")
                .arg(collation));
        run(QStringLiteral("PRAGMA schema_version = %1").arg(version + 1));
        run(QStringLiteral("PRAGMA writable_schema = OFF"));
        // Every index: "REINDEX <collation>" would still see the schema as it was before this transaction.
        run(QStringLiteral("REINDEX"));
        run(QStringLiteral("COMMIT"));
    } catch (const DriverError& error) {
        query.exec(QStringLiteral("PRAGMA writable_schema = OFF"));
        query.exec(QStringLiteral("ROLLBACK"));
        qWarning("The database keeps comparing texts as before: %s", qUtf8Printable(error.message()));
    }
}

// Prices are whole ten-thousandths. A database created before the schema refused anything else may hold a
// price that another program wrote as a decimal amount (0.2): it becomes ten-thousandths here, so that the
// sums of the summary reports read it right too (a row read alone reads right anyway). A file that cannot
// be written is left as it is.
void convertDecimalPrices(QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM CustoImpressao WHERE typeof(Custo_Mono) = 'real'"
                                   " OR typeof(Custo_Color) = 'real'")) ||
        !query.next() || query.value(0).toInt() == 0) {
        return;
    }
    query.finish();
    for (const char* column : { "Custo_Mono", "Custo_Color" }) {
        if (!query.exec(QStringLiteral("UPDATE CustoImpressao SET %1 = CAST(round(%1 * 10000) AS INTEGER)"
                                       " WHERE typeof(%1) = 'real'")
                            .arg(QLatin1String(column)))) {
            qWarning("Prices written as decimals stay so: %s",
                     qUtf8Printable(Database::driverMessage(query.lastError())));
            return;
        }
    }
}

// SQLite creates the write-ahead log and its index (-wal, -shm) with the database file's permissions. A
// database once made read-only leaves them read-only, and SQLite then refuses every write even after the
// database file itself was made writable again. They follow the database file's permissions back.
void alignSidecarPermissions(const QString& path)
{
    const QFileInfo database(path);
    if (!database.isWritable()) {
        return;
    }
    for (const QString& suffix : { QStringLiteral("-shm"), QStringLiteral("-wal") }) {
        const QFileInfo sidecar(path + suffix);
        if (sidecar.exists() && !sidecar.isWritable()) {
            // Fails where another user owns the file: then SQLite's own message says what is wrong.
            QFile::setPermissions(sidecar.filePath(), QFile::permissions(path));
        }
    }
}

// Settings of every connection: wait for a writer of another process instead of failing at once, as a
// shared database file is read and written by the service copy and the desktop copy alike.
void configureConnection(QSqlDatabase& db)
{
    StoreSupport::exec(db, QStringLiteral("PRAGMA busy_timeout = 10000"));
    StoreSupport::exec(db, QStringLiteral("PRAGMA synchronous = NORMAL"));
    // No memory-mapped reading: a mapped file counts whole in the process's resident memory (a year's grid
    // on 1 M jobs peaked at 420 MiB mapped against 121 MiB without), and reading through the page cache
    // measured the same processor time for the views and the year's summaries.
    StoreSupport::exec(db, QStringLiteral("PRAGMA mmap_size = 0"));
    StoreSupport::exec(db, QStringLiteral("PRAGMA cache_size = -65536"));
}

// SQLite's locking cannot be relied upon on a network file system: a file there would end up corrupted when two
// installations write it. Refused with the way out, a PostgreSQL database.
void refuseNetworkFolder(const QString& path, const QString& probed)
{
    const QString network = FileSystems::networkFileSystem(probed);
    if (!network.isEmpty()) {
        throw PlainError(Language::format(
            StoreSupport::errorMessage(
                "sMsgBancoEmRede",
                "O banco de dados %s está numa pasta de rede (%s). O SQLite não funciona com segurança numa "
                "pasta de rede: seus dados podem ser corrompidos. Para vários servidores de impressão, use um "
                "banco de dados PostgreSQL (veja \"Several print servers, one database\" no README)."),
            { path, network }));
    }
}

// What the database says of one row, as opposed to a failure of the whole batch: the row is refused, the
// transaction goes on.
bool refusesTheRow(int result)
{
    switch (result & 0xff) {
        case SQLITE_CONSTRAINT:
        case SQLITE_MISMATCH:
        case SQLITE_TOOBIG:
        case SQLITE_RANGE:
            return true;
        default:
            return false;
    }
}

void execOn(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw DriverError(QString::fromUtf8(sqlite3_errmsg(db)));
    }
}

// The rows through the SQLite library, one prepared insert per row, in one transaction that holds the write lock
// from its start; the batch is recorded last.
class SqliteBulkInsert final : public BulkInsert
{
public:
    SqliteBulkInsert(const QString& connectionName, Setup setup)
        : m_connectionName(connectionName)
        , m_db(SqliteStatement::connectionHandle(connectionName))
        , m_setup(std::move(setup))
    {
    }

    ~SqliteBulkInsert() override
    {
        m_insert.reset();
        if (m_open && !sqlite3_get_autocommit(m_db)) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }

    bool begin(const QString& key, const QString& storedAt) override
    {
        m_key = key;
        m_storedAt = storedAt;
        // The commit that records the batch as stored must survive a power cut too.
        execOn(m_db, "PRAGMA synchronous = FULL");
        // Appending needs few pages at hand; a large batch spills to the log instead of filling memory.
        execOn(m_db, "PRAGMA cache_size = -8192");
        // The write lock is taken at once: whether the batch is stored is read under it.
        execOn(m_db, "BEGIN IMMEDIATE");
        m_open = true;
        {
            SqliteStatement stored(m_connectionName, QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?")
                                                         .arg(m_setup.recordTable, m_setup.recordKeyColumn));
            stored.bind(0, key);
            if (stored.step() && stored.integer(0) > 0) {
                rollback();
                return false;
            }
        }
        QStringList columns;
        for (const Column& column : m_setup.columns) {
            columns << StoreSupport::quotedIdentifier(column.name);
        }
        m_insert = std::make_unique<SqliteStatement>(
            m_connectionName, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(m_setup.table, columns.join(QStringLiteral(", ")),
                                       QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", "))));
        m_reported.resize(m_setup.reportedColumns.size());
        return true;
    }

    void add(const Value* values, const QString& line) override
    {
        sqlite3_stmt* statement = m_insert->handle();
        for (int column = 0; column < int(m_setup.columns.size()); ++column) {
            const Value& value = values[column];
            switch (m_setup.columns[size_t(column)].kind) {
                case Kind::Text: {
                    // A null pointer would bind NULL; an empty text is stored as an empty text.
                    static const char16_t empty[] = u"";
                    const void* data = value.text.isEmpty() ? static_cast<const void*>(empty)
                                                            : static_cast<const void*>(value.text.utf16());
                    sqlite3_bind_text16(statement, column + 1, data, int(value.text.size() * 2), SQLITE_STATIC);
                    break;
                }
                case Kind::Utf8:
                    sqlite3_bind_text(statement, column + 1, value.utf8->constData(), int(value.utf8->size()),
                                      SQLITE_STATIC);
                    break;
                case Kind::Integer:
                    sqlite3_bind_int64(statement, column + 1, value.integer);
                    break;
            }
        }
        const int result = sqlite3_step(statement);
        if (result == SQLITE_DONE) {
            sqlite3_reset(statement);
            for (size_t i = 0; i < m_reported.size(); ++i) {
                m_reported[i] = values[m_setup.reportedColumns[i]].text;
            }
            m_setup.stored(m_reported.data());
            return;
        }
        const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_reset(statement);
        // A failure that ended the transaction (or any other than a refused row) fails the whole batch.
        if (!refusesTheRow(result) || sqlite3_get_autocommit(m_db)) {
            throw DriverError(message);
        }
        m_setup.refused(QStringLiteral("Linha recusada pelo banco de dados: ") + message, line);
    }

    void flush() override {}

    void commit() override
    {
        {
            SqliteStatement record(m_connectionName,
                                   QStringLiteral("INSERT INTO %1 (%2, %3) VALUES (?, ?)")
                                       .arg(m_setup.recordTable, m_setup.recordKeyColumn, m_setup.recordTimeColumn));
            record.bind(0, m_key);
            record.bind(1, m_storedAt);
            record.step();
        }
        m_insert.reset();
        execOn(m_db, "COMMIT");
        m_open = false;
    }

private:
    void rollback()
    {
        m_open = false;
        if (!sqlite3_get_autocommit(m_db)) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }

    QString m_connectionName;
    sqlite3* m_db;
    Setup m_setup;
    QString m_key;
    QString m_storedAt;
    std::unique_ptr<SqliteStatement> m_insert;
    std::vector<QStringView> m_reported;
    bool m_open = false;
};

} // namespace

QString SqliteStore::name() const
{
    return QStringLiteral("SQLite");
}

QString SqliteStore::canonicalLocation(const QString& location) const
{
    return QFileInfo(location).absoluteFilePath();
}

QSqlDatabase SqliteStore::open(const QString& location, const QString& connectionName) const
{
    const QString& path = location;
    const QFileInfo file(path);
    if (path.trimmed().isEmpty() || !file.isFile()) {
        throw DriverError(QStringLiteral("Could not find file '%1'.").arg(path));
    }
    refuseNetworkFolder(file.absoluteFilePath(), file.absoluteFilePath());
    alignSidecarPermissions(file.absoluteFilePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(file.absoluteFilePath());
    StoreSupport::openOrThrow(db, connectionName);
    try {
        // A file that is no database fails here rather than at the first dataset.
        StoreSupport::exec(db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
        registerCollation(connectionName);
        configureConnection(db);
        adoptCollation(db);
        convertDecimalPrices(db);
    } catch (...) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw;
    }
    return db;
}

void SqliteStore::create(const QString& location) const
{
    const QString& path = location;
    if (QFileInfo::exists(path)) {
        throw PlainError(QStringLiteral("O arquivo já existe: %1").arg(path));
    }
    refuseNetworkFolder(QFileInfo(path).absoluteFilePath(), QFileInfo(path).absolutePath());
    // The file holds the administrator's and the mail server's passwords: it is made here for its owner
    // and group only, and SQLite gives its journal files the same mode.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0660);
    if (fd < 0) {
        if (errno == EEXIST) {
            throw PlainError(QStringLiteral("O arquivo já existe: %1").arg(path));
        }
        throw PlainError(QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    ::close(fd);
    const QString connectionName = QStringLiteral("tollbook-create");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(path);
        try {
            if (!db.open()) {
                throw DriverError(Database::driverMessage(db.lastError()));
            }
            registerCollation(connectionName);
            // Readers never wait for the writer: the views stay responsive while a journal imports.
            StoreSupport::exec(db, QStringLiteral("PRAGMA journal_mode = WAL"));
            if (!db.transaction()) {
                throw DriverError(Database::driverMessage(db.lastError()));
            }
            for (const QString& statement : Schema::createStatements(Schema::Dialect::Sqlite)) {
                StoreSupport::exec(db, statement);
            }
            if (!db.commit()) {
                throw DriverError(Database::driverMessage(db.lastError()));
            }
            db.close();
        } catch (...) {
            db.rollback();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connectionName);
            QFile::remove(path);
            QFile::remove(path + QStringLiteral("-wal"));
            QFile::remove(path + QStringLiteral("-shm"));
            throw;
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
}

void SqliteStore::release(const QString& connectionName) const
{
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    if (db.isOpen() && db.driverName() == QLatin1String("QSQLITE")) {
        KeptStatement::releaseAll(SqliteStatement::connectionHandle(connectionName));
    }
}

QString SqliteStore::sql(const QString& applicationSql) const
{
    return applicationSql;
}

std::unique_ptr<RowStatement> SqliteStore::prepare(const QString& connectionName, const QString& sql) const
{
    return std::make_unique<SqliteStatement>(connectionName, sql);
}

bool SqliteStore::keepsPreparedStatements() const
{
    return true;
}

TableInfo SqliteStore::tableInfo(const QString& connectionName, const QString& table) const
{
    TableInfo info;
    info.table = table;
    if (table.isEmpty()) {
        return info;
    }
    QSqlQuery query(QSqlDatabase::database(connectionName, false));
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(StoreSupport::quotedIdentifier(table)))) {
        throw DriverError(Database::driverMessage(query.lastError()));
    }
    QMap<int, QString> keys;
    while (query.next()) {
        const QString name = query.value(1).toString();
        const QString type = query.value(2).toString().toUpper();
        const int pk = query.value(5).toInt();
        info.columns << name;
        info.types.insert(name.toLower(), type);
        if (pk > 0) {
            keys.insert(pk, name);
        }
    }
    StoreSupport::findRowidColumn(info, keys);
    return info;
}

StoreTraits SqliteStore::datasetTraits() const
{
    StoreTraits traits;
    traits.store = this;
    return traits;
}

QString SqliteStore::rowIdentityColumn() const
{
    return QStringLiteral("rowid");
}

QString SqliteStore::insertReturning(const QString&) const
{
    return QString();
}

QString SqliteStore::caseSensitiveLike(const QString& subject, const QString& pattern, QVariantList& values) const
{
    // SQLite's LIKE ignores letter case; GLOB counts it but has no escape character: its own wildcards go in
    // brackets.
    QString glob;
    for (const QChar c : pattern) {
        if (c == QLatin1Char('%')) {
            glob += QLatin1Char('*');
        } else if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('[')) {
            glob += QLatin1Char('[') + c + QLatin1Char(']');
        } else {
            glob += c;
        }
    }
    values << glob;
    return subject + QStringLiteral(" GLOB ?");
}

bool SqliteStore::savepoint(const QString&, QSqlQuery& query, const QString& command, QSet<QString>&) const
{
    // SQLite opens a transaction for a savepoint outside one.
    return query.exec(command);
}

bool SqliteStore::inTransaction(const QString& connectionName) const
{
    return !sqlite3_get_autocommit(SqliteStatement::connectionHandle(connectionName));
}

std::unique_ptr<BulkInsert> SqliteStore::bulkInsert(const QString& connectionName, BulkInsert::Setup setup) const
{
    return std::make_unique<SqliteBulkInsert>(connectionName, std::move(setup));
}

} // namespace tollbook
