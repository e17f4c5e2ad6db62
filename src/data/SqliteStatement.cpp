#include "SqliteStatement.h"

#include "Dataset.h"
#include "platform/Errors.h"

#include <QMutex>
#include <QSqlDatabase>
#include <QSqlDriver>

#include <set>

#include <sqlite3.h>

namespace tollbook {

sqlite3* SqliteStatement::connectionHandle(const QString& connectionName)
{
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    const QVariant handle = db.isOpen() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        throw DatabaseError(QStringLiteral("Missing or closed connection '%1'").arg(connectionName));
    }
    return *static_cast<sqlite3* const*>(handle.constData());
}

SqliteStatement::SqliteStatement(const QString& connectionName, const QString& sql)
    : m_db(connectionHandle(connectionName))
{
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &m_statement, nullptr) != SQLITE_OK) {
        fail();
    }
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

void SqliteStatement::fail() const
{
    throw DriverError(QString::fromUtf8(sqlite3_errmsg(m_db)));
}

void SqliteStatement::bind(int index, const QVariant& value)
{
    const int position = index + 1;
    int result = SQLITE_OK;
    if (!value.isValid() || value.isNull()) {
        result = sqlite3_bind_null(m_statement, position);
    } else {
        switch (value.typeId()) {
            case QMetaType::Bool:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
                result = sqlite3_bind_int64(m_statement, position, value.toLongLong());
                break;
            case QMetaType::Double:
                result = sqlite3_bind_double(m_statement, position, value.toDouble());
                break;
            case QMetaType::QDateTime: {
                const QByteArray utf8 = FieldValues::toIsoText(value.toDateTime()).toUtf8();
                result = sqlite3_bind_text(m_statement, position, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
                break;
            }
            default: {
                const QByteArray utf8 = value.toString().toUtf8();
                result = sqlite3_bind_text(m_statement, position, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
                break;
            }
        }
    }
    if (result != SQLITE_OK) {
        fail();
    }
}

bool SqliteStatement::step()
{
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW) {
        return true;
    }
    if (result == SQLITE_DONE) {
        return false;
    }
    fail();
}

int SqliteStatement::columnCount() const
{
    return sqlite3_column_count(m_statement);
}

QString SqliteStatement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_statement, column));
}

QString SqliteStatement::columnDeclaredType(int column) const
{
    return QString::fromUtf8(sqlite3_column_decltype(m_statement, column));
}

int SqliteStatement::type(int column) const
{
    return sqlite3_column_type(m_statement, column);
}

RowStatement::Kind SqliteStatement::kind(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_NULL:
            return Kind::Null;
        case SQLITE_INTEGER:
            return Kind::Integer;
        case SQLITE_FLOAT:
            return Kind::Real;
        default:
            return Kind::Text;
    }
}

qint64 SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double SqliteStatement::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

const char* SqliteStatement::text(int column, int* length) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    *length = sqlite3_column_bytes(m_statement, column);
    return bytes;
}

QString SqliteStatement::string(int column) const
{
    int length = 0;
    const char* bytes = text(column, &length);
    return QString::fromUtf8(bytes, length);
}

int SqliteStatement::rowsChanged() const
{
    return sqlite3_changes(m_db);
}

qint64 SqliteStatement::insertedRowId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

namespace {

// Every kept statement, for the connection's close; datasets of the window and the import's own connection
// may live on different threads.
QMutex keptLock;
std::set<KeptStatement*>& keptStatements()
{
    static std::set<KeptStatement*> statements;
    return statements;
}

} // namespace

KeptStatement::KeptStatement()
{
    const QMutexLocker locker(&keptLock);
    keptStatements().insert(this);
}

KeptStatement::~KeptStatement()
{
    const QMutexLocker locker(&keptLock);
    keptStatements().erase(this);
    m_statement.reset();
}

SqliteStatement& KeptStatement::get(const QString& connectionName, const QString& sql)
{
    const QMutexLocker locker(&keptLock);
    if (m_statement && (m_connectionName != connectionName || m_sql != sql ||
                        m_statement->connection() != SqliteStatement::connectionHandle(connectionName))) {
        m_statement.reset();
    }
    if (!m_statement) {
        m_statement = std::make_unique<SqliteStatement>(connectionName, sql);
        m_connectionName = connectionName;
        m_sql = sql;
    } else {
        sqlite3_reset(m_statement->handle());
        sqlite3_clear_bindings(m_statement->handle());
    }
    return *m_statement;
}

void KeptStatement::release()
{
    const QMutexLocker locker(&keptLock);
    m_statement.reset();
}

void KeptStatement::releaseAll(sqlite3* connection)
{
    const QMutexLocker locker(&keptLock);
    for (KeptStatement* kept : keptStatements()) {
        if (kept->m_statement && kept->m_statement->connection() == connection) {
            kept->m_statement.reset();
        }
    }
}

} // namespace tollbook
