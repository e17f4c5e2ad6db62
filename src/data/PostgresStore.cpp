#include "PostgresStore.h"

#include "Schema.h"
#include "platform/Errors.h"

#include <QMap>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTimeZone>

#include <libpq-fe.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace tollbook {

namespace {

QString quotedOption(const QString& value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

// Opens the PostgreSQL database of an address through Qt's driver, handing it the settings libpq itself reads
// from the address: the host and the database as the driver's own, every other one as a connection option.
// Nothing is filled in here: what the address leaves out libpq takes from its environment (PGUSER, PGPORT, a
// service file, ~/.pgpass), as psql would.
QSqlDatabase openPostgres(const QString& location, const QString& connectionName)
{
    char* parseError = nullptr;
    const std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
        PQconninfoParse(location.toUtf8().constData(), &parseError), &PQconninfoFree);
    if (!options) {
        const QString reason = parseError ? QString::fromUtf8(parseError).trimmed() : QStringLiteral("out of memory");
        PQfreemem(parseError);
        // Not the address itself: it may carry a password.
        throw DriverError(reason);
    }
    QString host;
    QString database;
    QStringList settings;
    bool hasConnectTimeout = false;
    for (const PQconninfoOption* option = options.get(); option->keyword; ++option) {
        if (!option->val) {
            continue;
        }
        const QString keyword = QString::fromUtf8(option->keyword);
        const QString value = QString::fromUtf8(option->val);
        if (keyword == QLatin1String("password")) {
            throw PlainError(StoreSupport::errorMessage(
                "sMsgBancoSenhaNoEndereco",
                "O endereço do banco de dados no config.ini contém uma senha. Retire-a do endereço e guarde-a no "
                "arquivo ~/.pgpass do usuário (ou no arquivo que a variável PGPASSFILE indicar)."));
        }
        if (keyword == QLatin1String("host")) {
            host = value;
        } else if (keyword == QLatin1String("dbname")) {
            database = value;
        } else {
            // Qt's driver joins its options with ";" and turns every ";" into a space.
            if (value.contains(QLatin1Char(';'))) {
                throw DriverError(
                    QStringLiteral("The database address: the value of %1 cannot hold a semicolon").arg(keyword));
            }
            hasConnectTimeout = hasConnectTimeout || keyword == QLatin1String("connect_timeout");
            settings << keyword + QLatin1Char('=') + quotedOption(value);
        }
    }
    // A server that does not answer ends the start-up with a message instead of holding it for minutes.
    if (!hasConnectTimeout) {
        settings << QStringLiteral("connect_timeout=10");
    }
    settings << QStringLiteral("fallback_application_name=") + quotedOption(QStringLiteral("Tollbook"));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    db.setHostName(host);
    db.setDatabaseName(database);
    db.setConnectOptions(settings.join(QLatin1Char(';')));
    StoreSupport::openOrThrow(db, connectionName);
    try {
        StoreSupport::exec(db, QStringLiteral("SET client_encoding = 'UTF8'"));
        StoreSupport::exec(db, QStringLiteral("SET DateStyle = 'ISO, YMD'"));
        // Dates and times are stored without a time zone, as the local wall-clock time of the installation that
        // wrote them. Qt's driver sends a date and time as UTC with its zone, which the server turns into the
        // session's zone: the session's zone is this computer's, so the stored time is the one the program
        // meant (and the server's current_date is today here). A zone the server does not know leaves its own.
        const QByteArray zone = QTimeZone::systemTimeZoneId();
        if (!zone.isEmpty()) {
            QSqlQuery query(db);
            QString literal = QString::fromUtf8(zone);
            literal.replace(QLatin1Char('\''), QLatin1String("''"));
            if (!query.exec(QStringLiteral("SET TimeZone = '%1'").arg(literal))) {
                qWarning("The database keeps its own time zone: %s",
                         qUtf8Printable(Database::driverMessage(query.lastError())));
            }
        }
        // As on SQLite, a row another installation holds locked is waited for (10 s), not for ever.
        StoreSupport::exec(db, QStringLiteral("SET lock_timeout = '10s'"));
    } catch (...) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw;
    }
    return db;
}

// The address as libpq reads it: without the blanks around it, its scheme in lower case.
QString postgresAddress(const QString& location)
{
    const QString trimmed = location.trimmed();
    const int schemeEnd = int(trimmed.indexOf(QLatin1String("://")));
    return trimmed.left(schemeEnd).toLower() + trimmed.mid(schemeEnd);
}

using PgResult = std::unique_ptr<PGresult, decltype(&PQclear)>;

// The database's own words for a failure: its primary message where it gave one.
QString postgresMessage(PGconn* pg, const PGresult* result)
{
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    return QString::fromUtf8(primary ? primary : PQerrorMessage(pg)).trimmed();
}

// What the database says of the rows it was sent, as opposed to a failure of the whole batch (a lost connection,
// a lock waited for too long): a value it does not take, a key or check it refuses, a trigger that raises.
bool refusesTheRows(const PGresult* result)
{
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    return state &&
           (std::strncmp(state, "22", 2) == 0 || std::strncmp(state, "23", 2) == 0 || std::strcmp(state, "P0001") == 0);
}

// The rows through libpq in one transaction, the batch recorded first, so that a second writer of the same batch
// (another process) waits on the record's key until this one ends, and then finds the batch stored. Rows are
// gathered into parts sent with COPY; a part the database refuses (COPY stores all of it or nothing) is sent again
// in halves under savepoints, down to the refused rows: a few refused rows among many cost a few statements each.
class PostgresBulkInsert final : public BulkInsert
{
public:
    static constexpr int PartRows = 10000;

    PostgresBulkInsert(PGconn* pg, Setup setup)
        : m_pg(pg)
        , m_setup(std::move(setup))
    {
        QStringList columns;
        for (const Column& column : m_setup.columns) {
            // Unquoted, as the schema was created: PostgreSQL keeps its names in lower case.
            columns << column.name;
        }
        m_copySql =
            QStringLiteral("COPY %1 (%2) FROM STDIN").arg(m_setup.table, columns.join(QStringLiteral(", "))).toUtf8();
        m_reported.resize(m_setup.reportedColumns.size());
    }

    ~PostgresBulkInsert() override
    {
        if (m_open) {
            PgResult(PQexec(m_pg, "ROLLBACK"), &PQclear);
        }
    }

    bool begin(const QString& key, const QString& storedAt) override
    {
        command("BEGIN");
        m_open = true;
        const QByteArray id = key.toUtf8();
        const QByteArray time = storedAt.toUtf8();
        const char* values[] = { id.constData(), time.constData() };
        const QByteArray record = QStringLiteral("INSERT INTO %1 (%2, %3) VALUES ($1, $2)")
                                      .arg(m_setup.recordTable, m_setup.recordKeyColumn, m_setup.recordTimeColumn)
                                      .toUtf8();
        const PgResult result(PQexecParams(m_pg, record.constData(), 2, nullptr, values, nullptr, nullptr, 0),
                              &PQclear);
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK) {
            return true;
        }
        const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
        if (state && std::strcmp(state, "23505") == 0) {
            command("ROLLBACK");
            m_open = false;
            return false;
        }
        throw DriverError(postgresMessage(m_pg, result.get()));
    }

    void add(const Value* values, const QString& line) override
    {
        const qsizetype start = m_data.size();
        for (int column = 0; column < int(m_setup.columns.size()); ++column) {
            if (column > 0) {
                m_data += '\t';
            }
            const Value& value = values[column];
            switch (m_setup.columns[size_t(column)].kind) {
                case Kind::Text:
                    appendEscaped(value.text);
                    break;
                case Kind::Utf8:
                    m_data += *value.utf8;
                    break;
                case Kind::Integer:
                    m_data += QByteArray::number(value.integer);
                    break;
            }
        }
        m_data += '\n';
        m_pending.push_back({ line, start, m_data.size() });
        for (const int column : m_setup.reportedColumns) {
            m_reportedTexts.push_back(values[column].text.toString());
        }
        if (int(m_pending.size()) >= PartRows) {
            flush();
        }
    }

    void flush() override
    {
        if (m_pending.empty()) {
            return;
        }
        send(0, qsizetype(m_pending.size()));
        m_data.clear();
        m_pending.clear();
        m_reportedTexts.clear();
    }

    void commit() override
    {
        flush();
        const PgResult result(PQexec(m_pg, "COMMIT"), &PQclear);
        m_open = false;
        // A transaction that had failed answers COMMIT with a rollback.
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK || std::strcmp(PQcmdStatus(result.get()), "COMMIT") != 0) {
            throw DriverError(postgresMessage(m_pg, result.get()));
        }
    }

private:
    struct Pending
    {
        QString line;
        qsizetype start;
        qsizetype end;
    };

    // Sends the gathered rows first to last (excluded) with one COPY under a savepoint; when the database refuses
    // them, each half on its own.
    void send(qsizetype first, qsizetype last)
    {
        const qsizetype start = m_pending[size_t(first)].start;
        command("SAVEPOINT rows");
        const PgResult result = copy(m_data.constData() + start, m_pending[size_t(last - 1)].end - start);
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK) {
            command("RELEASE SAVEPOINT rows");
            const size_t reportedCount = m_reported.size();
            for (qsizetype row = first; row < last; ++row) {
                for (size_t i = 0; i < reportedCount; ++i) {
                    m_reported[i] = m_reportedTexts[size_t(row) * reportedCount + i];
                }
                m_setup.stored(m_reported.data());
            }
            return;
        }
        if (!refusesTheRows(result.get())) {
            throw DriverError(postgresMessage(m_pg, result.get()));
        }
        command("ROLLBACK TO SAVEPOINT rows");
        command("RELEASE SAVEPOINT rows");
        if (last - first == 1) {
            m_setup.refused(QStringLiteral("Linha recusada pelo banco de dados: ") +
                                postgresMessage(m_pg, result.get()),
                            m_pending[size_t(first)].line);
            return;
        }
        const qsizetype middle = first + (last - first) / 2;
        send(first, middle);
        send(middle, last);
    }

    void command(const char* sql)
    {
        const PgResult result(PQexec(m_pg, sql), &PQclear);
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
            throw DriverError(postgresMessage(m_pg, result.get()));
        }
    }

    // COPY's text format: a backslash, a tab and a line break are escaped; everything else stands as it is (a
    // NUL character, which no PostgreSQL text can hold, is refused by the database with its row).
    void appendEscaped(QStringView text)
    {
        const QByteArray bytes = text.toUtf8();
        for (const char c : bytes) {
            switch (c) {
                case '\\':
                    m_data += "\\\\";
                    break;
                case '\t':
                    m_data += "\\t";
                    break;
                case '\n':
                    m_data += "\\n";
                    break;
                case '\r':
                    m_data += "\\r";
                    break;
                default:
                    m_data += c;
            }
        }
    }

    // One COPY of rows in its text format; the result that ends it.
    PgResult copy(const char* data, qsizetype size)
    {
        PgResult result(PQexec(m_pg, m_copySql.constData()), &PQclear);
        if (PQresultStatus(result.get()) != PGRES_COPY_IN) {
            throw DriverError(postgresMessage(m_pg, result.get()));
        }
        // Sent in pieces: libpq takes an int per call.
        constexpr qsizetype Piece = 1 << 20;
        for (qsizetype sent = 0; sent < size; sent += Piece) {
            if (PQputCopyData(m_pg, data + sent, int(std::min(Piece, size - sent))) != 1) {
                throw DriverError(postgresMessage(m_pg, nullptr));
            }
        }
        if (PQputCopyEnd(m_pg, nullptr) != 1) {
            throw DriverError(postgresMessage(m_pg, nullptr));
        }
        result.reset(PQgetResult(m_pg));
        // The end of the command's results.
        while (PGresult* more = PQgetResult(m_pg)) {
            PQclear(more);
        }
        return result;
    }

    PGconn* m_pg;
    Setup m_setup;
    QByteArray m_copySql;
    QByteArray m_data;
    std::vector<Pending> m_pending;
    std::vector<QString> m_reportedTexts; // of the pending rows, reportedColumns per row
    std::vector<QStringView> m_reported;
    bool m_open = false;
};

} // namespace

PGconn* PostgresStore::handle(const QString& connectionName)
{
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    const QVariant handle = db.isOpen() ? db.driver()->handle() : QVariant();
    // Qt names the type by libpq's own structure.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0)) {
        throw DatabaseError(QStringLiteral("Missing or closed connection '%1'").arg(connectionName));
    }
    return *static_cast<PGconn* const*>(handle.constData());
}

QString PostgresStore::name() const
{
    return QStringLiteral("PostgreSQL");
}

QString PostgresStore::canonicalLocation(const QString& location) const
{
    return postgresAddress(location);
}

QSqlDatabase PostgresStore::open(const QString& location, const QString& connectionName) const
{
    return openPostgres(postgresAddress(location), connectionName);
}

void PostgresStore::create(const QString& location) const
{
    const QString address = postgresAddress(location);
    const QString connectionName = QStringLiteral("tollbook-create");
    QSqlDatabase db = openPostgres(address, connectionName);
    try {
        if (!db.transaction()) {
            throw DriverError(Database::driverMessage(db.lastError()));
        }
        {
            QSqlQuery query(db);
            QStringList names;
            for (const QString& table : Schema::tableNames()) {
                names << QLatin1Char('\'') + table.toLower() + QLatin1Char('\'');
            }
            if (!query.exec(QStringLiteral("SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname ="
                                           " current_schema() AND tablename IN (%1)")
                                .arg(names.join(QLatin1Char(',')))) ||
                !query.next()) {
                throw DriverError(Database::driverMessage(query.lastError()));
            }
            if (query.value(0).toInt() > 0) {
                throw PlainError(QStringLiteral("O banco de dados já tem as tabelas do Tollbook: %1").arg(address));
            }
        }
        for (const QString& statement : Schema::createStatements(Schema::Dialect::Postgres)) {
            StoreSupport::exec(db, statement);
        }
        if (!db.commit()) {
            throw DriverError(Database::driverMessage(db.lastError()));
        }
    } catch (...) {
        db.rollback();
        db = QSqlDatabase();
        Database::close(connectionName);
        throw;
    }
    db = QSqlDatabase();
    Database::close(connectionName);
}

QString PostgresStore::sql(const QString& applicationSql) const
{
    return Database::postgresSql(applicationSql);
}

bool PostgresStore::keepsPreparedStatements() const
{
    return false;
}

// The columns of a table with their types named as SQLite's schema declares them, and its primary key.
TableInfo PostgresStore::tableInfo(const QString& connectionName, const QString& table) const
{
    TableInfo info;
    info.table = table;
    if (table.isEmpty()) {
        return info;
    }
    const std::unique_ptr<RowStatement> columns = prepare(
        connectionName, QStringLiteral("SELECT a.attname, format_type(a.atttypid, a.atttypmod),"
                                       " coalesce(array_position(i.indkey::int2[], a.attnum)"
                                       " - array_lower(i.indkey::int2[], 1) + 1, 0)"
                                       " FROM pg_attribute a"
                                       " LEFT JOIN pg_index i ON i.indrelid = a.attrelid AND i.indisprimary"
                                       " WHERE a.attrelid = to_regclass(?) AND a.attnum > 0 AND NOT a.attisdropped"
                                       " ORDER BY a.attnum"));
    columns->bind(0, StoreSupport::quotedIdentifier(table.toLower()));
    QMap<int, QString> keys;
    while (columns->step()) {
        int length = 0;
        const char* bytes = columns->text(0, &length);
        const QString name = QString::fromUtf8(bytes, length);
        bytes = columns->text(1, &length);
        const QString declared = QString::fromUtf8(bytes, length).toUpper();
        QString type = declared;
        if (declared == QLatin1String("INTEGER") || declared == QLatin1String("SMALLINT")) {
            type = QStringLiteral("INTEGER");
        } else if (declared == QLatin1String("BIGINT")) {
            type = QStringLiteral("CURRENCY"); // the schema's bigint columns are the prices, in ten-thousandths
        } else if (declared == QLatin1String("DOUBLE PRECISION") || declared == QLatin1String("REAL")) {
            type = QStringLiteral("DOUBLE");
        } else if (declared == QLatin1String("DATE")) {
            type = QStringLiteral("DATE");
        } else if (declared.startsWith(QLatin1String("TIMESTAMP"))) {
            type = QStringLiteral("DATETIME");
        } else {
            type = QStringLiteral("VARCHAR");
        }
        info.columns << name;
        info.types.insert(name.toLower(), type);
        const int key = int(columns->integer(2));
        if (key > 0) {
            keys.insert(key, name);
        }
    }
    StoreSupport::findRowidColumn(info, keys);
    return info;
}

StoreTraits PostgresStore::datasetTraits() const
{
    StoreTraits traits;
    traits.store = this;
    traits.keepsPageStatement = false;
    traits.savepointOpensTransaction = false;
    traits.insertReturnsRowId = true;
    traits.rowAddressColumn = rowIdentityColumn();
    return traits;
}

QString PostgresStore::rowIdentityColumn() const
{
    return QStringLiteral("ctid");
}

QString PostgresStore::insertReturning(const QString& quotedColumn) const
{
    // PostgreSQL hands back the number it gave the row with the insert itself.
    return QStringLiteral(" RETURNING ") + quotedColumn;
}

QString PostgresStore::caseSensitiveLike(const QString& subject, const QString& pattern, QVariantList& values) const
{
    // PostgreSQL's LIKE on text counts letter case; a citext column is compared as text. The escape character and
    // "_" stand for themselves.
    QString escaped = pattern;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('_'), QLatin1String("\\_"));
    values << escaped;
    return QStringLiteral("CAST(%1 AS TEXT) LIKE ? ESCAPE '\\'").arg(subject);
}

bool PostgresStore::savepoint(const QString& connectionName, QSqlQuery& query, const QString& command,
                              QSet<QString>& begun) const
{
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    if (command.startsWith(QLatin1String("SAVEPOINT "))) {
        if (!inTransaction(connectionName)) {
            if (!query.exec(QStringLiteral("BEGIN"))) {
                return false;
            }
            begun << command.mid(10);
        }
        if (!query.exec(command)) {
            if (begun.remove(command.mid(10))) {
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            }
            return false;
        }
        return true;
    }
    const bool done = query.exec(command);
    if (command.startsWith(QLatin1String("RELEASE ")) && begun.remove(command.mid(8))) {
        QSqlQuery end(db);
        if (!done || !end.exec(QStringLiteral("COMMIT"))) {
            end.exec(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    return done;
}

bool PostgresStore::inTransaction(const QString& connectionName) const
{
    return PQtransactionStatus(handle(connectionName)) != PQTRANS_IDLE;
}

std::unique_ptr<BulkInsert> PostgresStore::bulkInsert(const QString& connectionName, BulkInsert::Setup setup) const
{
    return std::make_unique<PostgresBulkInsert>(handle(connectionName), std::move(setup));
}

} // namespace tollbook
