#include "RowStatement.h"

#include "Database.h"
#include "Dataset.h"
#include "PostgresStore.h"
#include "platform/Errors.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include <libpq-fe.h>

namespace tollbook {

namespace {

// Type numbers of PostgreSQL's built-in types (pg_type.oid, fixed).
constexpr Oid BoolOid = 16;
constexpr Oid Int8Oid = 20;
constexpr Oid Int2Oid = 21;
constexpr Oid Int4Oid = 23;
constexpr Oid Float4Oid = 700;
constexpr Oid Float8Oid = 701;
constexpr Oid DateOid = 1082;
constexpr Oid TimestampOid = 1114;
constexpr Oid NumericOid = 1700;

// The rows of a query on the libpq connection under a PostgreSQL connection of Qt's driver, read whole in text
// form when the first row is asked for. Values are sent as text; numbers say their type, texts and nulls leave it
// to the server, so that a text compared with a citext column compares as citext and a date's text becomes a
// date.
class PostgresStatement final : public RowStatement
{
public:
    PostgresStatement(const QString& connectionName, const QString& sql)
        : m_connection(PostgresStore::handle(connectionName))
    {
        // "?" outside quotes becomes $1, $2...
        const QString translated = Database::postgresSql(sql);
        QString numbered;
        numbered.reserve(translated.size() + 16);
        QChar quote;
        int count = 0;
        for (const QChar c : translated) {
            if (!quote.isNull()) {
                quote = c == quote ? QChar() : quote;
            } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                quote = c;
            } else if (c == QLatin1Char('?')) {
                numbered += QLatin1Char('$') + QString::number(++count);
                continue;
            }
            numbered += c;
        }
        m_sql = numbered.toUtf8();
        m_values.resize(size_t(count));
        m_null.assign(size_t(count), true);
        m_types.assign(size_t(count), 0);
    }

    ~PostgresStatement() override { PQclear(m_result); }

    void bind(int index, const QVariant& value) override
    {
        if (index < 0 || size_t(index) >= m_values.size()) {
            throw DriverError(QStringLiteral("bind or column index out of range"));
        }
        const auto at = size_t(index);
        m_null[at] = !value.isValid() || value.isNull();
        m_types[at] = 0;
        if (m_null[at]) {
            return;
        }
        switch (value.typeId()) {
            case QMetaType::Bool:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
                m_types[at] = Int8Oid;
                m_values[at] = QByteArray::number(value.toLongLong());
                break;
            case QMetaType::Double:
                m_types[at] = Float8Oid;
                m_values[at] = QByteArray::number(value.toDouble(), 'g', 17);
                break;
            case QMetaType::QDateTime:
                m_types[at] = TimestampOid;
                m_values[at] = FieldValues::toIsoText(value.toDateTime()).toUtf8();
                break;
            default:
                m_values[at] = value.toString().toUtf8();
                break;
        }
    }

    bool step() override
    {
        run();
        return ++m_row < m_rows;
    }

    int columnCount() const override
    {
        run();
        return PQnfields(m_result);
    }

    QString columnName(int column) const override { return QString::fromUtf8(PQfname(m_result, column)); }

    QString columnDeclaredType(int column) const override
    {
        if (PQftable(m_result, column) == InvalidOid) {
            return QString();
        }
        switch (PQftype(m_result, column)) {
            case Int2Oid:
            case Int4Oid:
                return QStringLiteral("INTEGER");
            case Int8Oid:
                // The schema's bigint columns are the prices, in ten-thousandths.
                return QStringLiteral("CURRENCY");
            case Float4Oid:
            case Float8Oid:
            case NumericOid:
                return QStringLiteral("DOUBLE");
            case DateOid:
                return QStringLiteral("DATE");
            case TimestampOid:
                return QStringLiteral("DATETIME");
            default:
                return QStringLiteral("VARCHAR");
        }
    }

    Kind kind(int column) const override
    {
        if (PQgetisnull(m_result, m_row, column)) {
            return Kind::Null;
        }
        switch (PQftype(m_result, column)) {
            case Int2Oid:
            case Int4Oid:
            case Int8Oid:
            case BoolOid:
                return Kind::Integer;
            case NumericOid: {
                // A whole number (the sum of whole numbers) is one, as SQLite gives it.
                const char* value = PQgetvalue(m_result, m_row, column);
                return std::strchr(value, '.') || std::strchr(value, 'N') ? Kind::Real : Kind::Integer;
            }
            case Float4Oid:
            case Float8Oid:
                return Kind::Real;
            default:
                return Kind::Text;
        }
    }

    qint64 integer(int column) const override
    {
        const char* value = PQgetvalue(m_result, m_row, column);
        const int length = PQgetlength(m_result, m_row, column);
        if (PQftype(m_result, column) == BoolOid) {
            return length > 0 && value[0] == 't' ? 1 : 0;
        }
        qint64 number = 0;
        const auto [end, error] = std::from_chars(value, value + length, number);
        if (error == std::errc() && end == value + length) {
            return number;
        }
        return qint64(std::llround(real(column)));
    }

    double real(int column) const override
    {
        const char* value = PQgetvalue(m_result, m_row, column);
        const int length = PQgetlength(m_result, m_row, column);
        double number = 0;
        std::from_chars(value, value + length, number);
        return number;
    }

    const char* text(int column, int* length) const override
    {
        *length = PQgetlength(m_result, m_row, column);
        return PQgetvalue(m_result, m_row, column);
    }

    int rowsChanged() const override
    {
        run();
        return QByteArray(PQcmdTuples(m_result)).toInt();
    }

private:
    // Runs the query with the values bound, the first time its result is asked for.
    void run() const
    {
        if (m_result) {
            return;
        }
        std::vector<const char*> values(m_values.size());
        for (size_t i = 0; i < m_values.size(); ++i) {
            values[i] = m_null[i] ? nullptr : m_values[i].constData();
        }
        m_result = PQexecParams(m_connection, m_sql.constData(), int(values.size()), m_types.data(), values.data(),
                                nullptr, nullptr, 0);
        const ExecStatusType status = PQresultStatus(m_result);
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
            QString message = QString::fromUtf8(PQresultErrorMessage(m_result)).trimmed();
            if (message.isEmpty()) {
                message = QString::fromUtf8(PQerrorMessage(m_connection)).trimmed();
            }
            PQclear(m_result);
            m_result = nullptr;
            throw DriverError(message);
        }
        m_rows = PQntuples(m_result);
    }

    PGconn* m_connection;
    QByteArray m_sql;
    std::vector<QByteArray> m_values;
    std::vector<bool> m_null;
    std::vector<Oid> m_types;
    mutable PGresult* m_result = nullptr;
    mutable int m_rows = 0;
    int m_row = -1;
};

} // namespace

// Here, beside the statement it makes.
std::unique_ptr<RowStatement> PostgresStore::prepare(const QString& connectionName, const QString& sql) const
{
    return std::make_unique<PostgresStatement>(connectionName, sql);
}

int RowStatement::execute()
{
    while (step()) {
    }
    return rowsChanged();
}

std::unique_ptr<RowStatement> RowStatement::prepare(const QString& connectionName, const QString& sql)
{
    return Store::forConnection(connectionName).prepare(connectionName, sql);
}

} // namespace tollbook
