#include "Dataset.h"

#include "Collation.h"
#include "DataSource.h"
#include "Database.h"
#include "Formats.h"
#include "RowStatement.h"
#include "SqliteStatement.h"
#include "TextCompare.h"
#include "platform/Errors.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>

#include <sqlite3.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

namespace tollbook {

struct Dataset::TableInfo
{
    QString table;
    QStringList columns;           // as declared
    QHash<QString, QString> types; // lower-case name -> declared type, upper-cased
    QStringList keyColumns;        // the primary key, in key order
    QString rowidColumn;           // the INTEGER PRIMARY KEY column, filled by the database on insert
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

namespace {

using Database::driverMessage;

QString quotedIdentifier(const QString& name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

FieldType typeFromDeclared(const QString& declared)
{
    const QString type = declared.toUpper();
    if (type.contains(QLatin1String("CURRENCY"))) {
        return FieldType::Currency;
    }
    if (type.contains(QLatin1String("DATE")) || type.contains(QLatin1String("TIME"))) {
        return FieldType::DateTime;
    }
    if (type.contains(QLatin1String("INT"))) {
        return FieldType::Integer;
    }
    if (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("FLOA")) ||
        type.contains(QLatin1String("DOUB"))) {
        return FieldType::Float;
    }
    return FieldType::String;
}

int sizeFromDeclared(const QString& declared)
{
    static const QRegularExpression width(QStringLiteral("\\((\\d+)\\)"));
    const QRegularExpressionMatch match = width.match(declared);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

QVariant toDatabase(const Field* field, const QVariant& stored)
{
    if (stored.isNull()) {
        return QVariant(QMetaType(QMetaType::QString));
    }
    if (field->type() == FieldType::DateTime) {
        return FieldValues::toIsoText(stored.toDateTime());
    }
    return stored;
}

// Key of a lookup: numbers by value (a Long key finds a Double code), texts by the database's own rule
// for text keys.
QString lookupKey(const QVariant& value)
{
    if (value.isNull()) {
        return QString();
    }
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Double: {
            const double number = value.toDouble();
            // Whole numbers (paper codes, ids) print the same either way; formatting a double is slow.
            if (number == std::trunc(number) && std::fabs(number) < 1e15 && !(number == 0 && std::signbit(number))) {
                return QLatin1Char('#') + QString::number(qint64(number));
            }
            return QLatin1Char('#') + QString::number(number, 'g', 17);
        }
        case QMetaType::QDateTime:
            return QLatin1Char('@') + FieldValues::toIsoText(value.toDateTime());
        default:
            return QLatin1Char('$') + TextCompare::key(value.toString());
    }
}

bool sameStored(const QVariant& a, const QVariant& b)
{
    const bool aEmpty = a.isNull() || (a.typeId() == QMetaType::QString && a.toString().isEmpty());
    const bool bEmpty = b.isNull() || (b.typeId() == QMetaType::QString && b.toString().isEmpty());
    if (aEmpty || bEmpty) {
        return aEmpty == bEmpty;
    }
    return a == b;
}

// A view reopened reads as many rows again as it just freed. Keep the freed heap for them instead of
// handing it back to the system at every close and faulting it in anew, page by page, at the next open
// (about a sixth of a month's reopen). Process-wide, set once by the first fetch.
bool keepFreedHeap()
{
#ifdef __GLIBC__
    constexpr int Retained = 256 * 1024 * 1024;
    mallopt(M_TRIM_THRESHOLD, Retained);
#endif
    return true;
}

// Texts already converted in one column of one fetch, by their bytes: open addressing over a hash of the
// length and the first and last eight bytes, which tells apart the names of one column at a fraction of
// the cost of hashing every byte. Texts alike at both ends share a slot chain and are told apart by
// comparing them whole.
class TextTable
{
public:
    int size() const { return m_count; }

    const QVariant* find(const char* bytes, int length) const
    {
        if (m_slots.empty()) {
            return nullptr;
        }
        for (size_t i = hash(bytes, length) & m_mask;; i = (i + 1) & m_mask) {
            const Slot& slot = m_slots[i];
            if (!slot.used) {
                return nullptr;
            }
            if (slot.text.size() == length && std::memcmp(slot.text.constData(), bytes, size_t(length)) == 0) {
                return &slot.value;
            }
        }
    }

    void insert(const char* bytes, int length, const QVariant& value)
    {
        if (size_t(m_count + 1) * 2 > m_slots.size()) {
            grow();
        }
        place(Slot{ QByteArray(bytes, length), value, true });
        ++m_count;
    }

    void clear()
    {
        m_slots = {};
        m_mask = 0;
        m_count = 0;
    }

private:
    struct Slot
    {
        QByteArray text;
        QVariant value;
        bool used = false;
    };

    static size_t hash(const char* bytes, int length)
    {
        const auto word = [](const char* at) {
            quint64 value = 0;
            std::memcpy(&value, at, sizeof value);
            return value;
        };
        constexpr quint64 Multiplier = 0x9E3779B97F4A7C15ull;
        quint64 h = quint64(length) * Multiplier;
        if (length >= 8) {
            h = (h ^ word(bytes)) * Multiplier;
            h = (h ^ word(bytes + length - 8)) * Multiplier;
        } else {
            for (int i = 0; i < length; ++i) {
                h = (h ^ quint8(bytes[i])) * Multiplier;
            }
        }
        return size_t(h ^ (h >> 32));
    }

    void place(Slot&& slot)
    {
        size_t i = hash(slot.text.constData(), int(slot.text.size())) & m_mask;
        while (m_slots[i].used) {
            i = (i + 1) & m_mask;
        }
        m_slots[i] = std::move(slot);
    }

    void grow()
    {
        const size_t size = std::max<size_t>(64, m_slots.size() * 2);
        std::vector<Slot> old = std::exchange(m_slots, std::vector<Slot>(size));
        m_mask = m_slots.size() - 1;
        for (Slot& slot : old) {
            if (slot.used) {
                place(std::move(slot));
            }
        }
    }

    std::vector<Slot> m_slots;
    size_t m_mask = 0;
    int m_count = 0;
};

// Reads one result column into the stored form of its field. Names of users, printers and computers repeat
// thousands of times in a month: each distinct text is converted once and its rows share the one value.
// Columns of unique texts (documents, times) give up after a while.
class ColumnReader
{
public:
    // Texts are shared only where many rows are read: on a page of a few hundred the look-ups cost more than
    // they save.
    ColumnReader(int column, FieldType type, bool shareTexts)
        : m_column(column)
        , m_type(type)
        , m_interning(shareTexts)
    {
    }

    // The value of the current row, into a null stored value.
    void read(sqlite3_stmt* statement, qsizetype rowsSoFar, QVariant& stored)
    {
        // One call on the statement per value, then the value's own accessors: each call on the statement
        // locks and unlocks the connection. The value is unprotected, which is safe while this thread alone
        // uses the connection, as every dataset does.
        sqlite3_value* value = sqlite3_column_value(statement, m_column);
        const int type = sqlite3_value_type(value);
        if (type == SQLITE_NULL) {
            return;
        }
        switch (m_type) {
            case FieldType::Integer:
            case FieldType::AutoInc:
                stored = type == SQLITE_FLOAT ? QVariant(qint64(std::llround(sqlite3_value_double(value))))
                                              : QVariant(qint64(sqlite3_value_int64(value)));
                return;
            case FieldType::Currency:
                // Whole ten-thousandths, as the application writes prices. A decimal (0.2) is an amount
                // another program wrote: never a fraction of a ten-thousandth.
                stored = type == SQLITE_FLOAT ? QVariant(qint64(std::llround(sqlite3_value_double(value) * 10000.0)))
                                              : QVariant(qint64(sqlite3_value_int64(value)));
                return;
            case FieldType::Float:
                stored = QVariant(sqlite3_value_double(value));
                return;
            case FieldType::Unknown:
                if (type == SQLITE_INTEGER) {
                    stored = QVariant(qint64(sqlite3_value_int64(value)));
                    return;
                }
                if (type == SQLITE_FLOAT) {
                    stored = QVariant(sqlite3_value_double(value));
                    return;
                }
                break;
            case FieldType::String:
            case FieldType::DateTime:
                break;
        }
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(value));
        if (!bytes) {
            throw DriverError(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(statement))));
        }
        readText(bytes, sqlite3_value_bytes(value), rowsSoFar, stored);
    }

    // The same from a statement of another store.
    void read(const RowStatement& statement, qsizetype rowsSoFar, QVariant& stored)
    {
        const RowStatement::Kind kind = statement.kind(m_column);
        if (kind == RowStatement::Kind::Null) {
            return;
        }
        switch (m_type) {
            case FieldType::Integer:
            case FieldType::AutoInc:
                stored = QVariant(statement.integer(m_column));
                return;
            case FieldType::Currency:
                stored = kind == RowStatement::Kind::Real
                             ? QVariant(qint64(std::llround(statement.real(m_column) * 10000.0)))
                             : QVariant(statement.integer(m_column));
                return;
            case FieldType::Float:
                stored = QVariant(statement.real(m_column));
                return;
            case FieldType::Unknown:
                if (kind == RowStatement::Kind::Integer) {
                    stored = QVariant(statement.integer(m_column));
                    return;
                }
                if (kind == RowStatement::Kind::Real) {
                    stored = QVariant(statement.real(m_column));
                    return;
                }
                break;
            case FieldType::String:
            case FieldType::DateTime:
                break;
        }
        int length = 0;
        const char* bytes = statement.text(m_column, &length);
        readText(bytes, length, rowsSoFar, stored);
    }

private:
    static constexpr int MaxInterned = 2048;

    void readText(const char* bytes, int length, qsizetype rowsSoFar, QVariant& stored)
    {
        if (!m_interning) {
            stored = convert(bytes, length);
            return;
        }
        if (const QVariant* found = m_seen.find(bytes, length)) {
            share(*found, stored);
            return;
        }
        stored = convert(bytes, length);
        m_seen.insert(bytes, length, stored);
        // Mostly new texts: a column of documents or times, not worth the look-up.
        const int distinct = m_seen.size();
        m_interning = distinct < MaxInterned && (rowsSoFar < 512 || distinct * 2 < rowsSoFar);
        if (!m_interning) {
            m_seen.clear();
        }
    }

    QVariant convert(const char* bytes, int length) const
    {
        if (m_type == FieldType::DateTime) {
            const QDateTime dateTime = FieldValues::parseIsoDateTime(bytes, length);
            return dateTime.isValid() ? QVariant(dateTime) : QVariant();
        }
        return QVariant(QString::fromUtf8(bytes, length));
    }

    // A copy of a converted value: built from the type itself, which costs a fraction of a generic copy of
    // the variant.
    void share(const QVariant& value, QVariant& stored) const
    {
        if (!value.isValid()) {
            return; // text that is no date
        }
        if (m_type == FieldType::DateTime) {
            stored = QVariant(*static_cast<const QDateTime*>(value.constData()));
        } else {
            stored = QVariant(*static_cast<const QString*>(value.constData()));
        }
    }

    int m_column;
    FieldType m_type;
    TextTable m_seen;
    bool m_interning = true;
};

// The query without an ORDER BY that ends it (outside parentheses, quotes and brackets, with no LIMIT after
// it): a page is read by its keys and placed by them, and sorting its rows would cost more than reading them.
QString withoutFinalOrder(const QString& sql)
{
    static const QRegularExpression orderBy(QStringLiteral("\\border\\s+by\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression limit(QStringLiteral("\\blimit\\b"), QRegularExpression::CaseInsensitiveOption);
    int depth = 0;
    QChar quote;
    int found = -1;
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('[')) {
            quote = QLatin1Char(']');
        } else if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')')) {
            --depth;
        } else if (depth == 0 && (c == QLatin1Char('o') || c == QLatin1Char('O')) &&
                   orderBy.match(sql, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption)
                       .hasMatch()) {
            found = i;
        }
    }
    if (found < 0 || depth != 0 || !quote.isNull() || limit.match(sql, found).hasMatch()) {
        return sql;
    }
    return sql.left(found);
}

// Whether no key repeats (a join to a table of many rows per key would repeat them): by a bitmap over the
// keys' range where they are dense, as row ids are, else on a sorted copy.
bool allDistinct(const std::vector<qint64>& keys)
{
    if (keys.size() < 2) {
        return true;
    }
    const auto [low, high] = std::minmax_element(keys.begin(), keys.end());
    const quint64 span = quint64(*high) - quint64(*low);
    if (span / 64 <= keys.size()) {
        std::vector<bool> seen(size_t(span) + 1, false);
        for (const qint64 key : keys) {
            const size_t bit = size_t(quint64(key) - quint64(*low));
            if (seen[bit]) {
                return false;
            }
            seen[bit] = true;
        }
        return true;
    }
    std::vector<qint64> sorted(keys);
    std::sort(sorted.begin(), sorted.end());
    return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
}

} // namespace

namespace {
// A month of jobs on a busy server is a few ten thousand rows: more is held by keys.
int defaultPagedAbove = 20000;
} // namespace

void Dataset::setDefaultPagedAbove(int rows)
{
    defaultPagedAbove = rows;
}

Dataset::Dataset(const QString& name, QObject* parent)
    : QObject(parent)
    , m_connectionName(Database::ConnectionName)
    , m_pagedAbove(defaultPagedAbove)
{
    setObjectName(name);
}

Dataset::~Dataset() = default;

void Dataset::setConnectionName(const QString& connectionName)
{
    close();
    m_connectionName = connectionName;
    m_tableInfo.reset();
}

QString Dataset::sqlText() const
{
    return m_sql.join(QLatin1Char('\n'));
}

void Dataset::setSql(const QStringList& lines)
{
    close();
    m_sql = lines;
    m_tableInfo.reset();
    const QString text = sqlText();

    // Named parameters ":Name" outside quoted text become positional placeholders.
    QList<Parameter> params;
    m_occurrences.clear();
    QString translated;
    translated.reserve(text.size());
    QChar quote;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!quote.isNull()) {
            translated += c;
            if (c == quote) {
                quote = QChar();
            }
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            translated += c;
            continue;
        }
        if (c == QLatin1Char('[')) {
            quote = QLatin1Char(']');
            translated += c;
            continue;
        }
        const bool startsName = c == QLatin1Char(':') && i + 1 < text.size() &&
                                (text.at(i + 1).isLetter() || text.at(i + 1) == QLatin1Char('_')) &&
                                (i == 0 || text.at(i - 1) != QLatin1Char(':'));
        if (!startsName) {
            translated += c;
            continue;
        }
        int end = i + 1;
        while (end < text.size() && (text.at(end).isLetterOrNumber() || text.at(end) == QLatin1Char('_'))) {
            ++end;
        }
        const QString name = text.mid(i + 1, end - i - 1);
        int index = -1;
        for (int p = 0; p < params.size(); ++p) {
            if (params.at(p).name.compare(name, Qt::CaseInsensitive) == 0) {
                index = p;
                break;
            }
        }
        if (index < 0) {
            Parameter param;
            param.name = name;
            // Keep what was set on a parameter of the same name before.
            for (const Parameter& old : std::as_const(m_params)) {
                if (old.name.compare(name, Qt::CaseInsensitive) == 0) {
                    param = old;
                    param.name = name;
                }
            }
            params << param;
            index = int(params.size()) - 1;
        }
        m_occurrences << index;
        translated += QLatin1Char('?');
        i = end - 1;
    }
    m_params = params;
    m_translatedSql = translated;

    if (!m_baseTableSet) {
        static const QRegularExpression from(QStringLiteral("\\bfrom[\\s(]+([A-Za-z_][A-Za-z0-9_]*)"),
                                             QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = from.match(text);
        m_baseTable = match.hasMatch() ? match.captured(1) : QString();
    }
}

Parameter& Dataset::param(int index)
{
    if (index < 0 || index >= m_params.size()) {
        throw DatabaseError(QStringLiteral("%1: Parameter index %2 out of bounds").arg(objectName()).arg(index));
    }
    return m_params[index];
}

Parameter& Dataset::param(const QString& name)
{
    for (Parameter& p : m_params) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0) {
            return p;
        }
    }
    throw DatabaseError(QStringLiteral("%1: Parameter '%2' not found").arg(objectName(), name));
}

void Dataset::setParamType(const QString& name, FieldType type)
{
    param(name).type = type;
}

void Dataset::setParam(int index, const QVariant& value)
{
    param(index).value = value;
}

void Dataset::setParam(const QString& name, const QVariant& value)
{
    param(name).value = value;
}

Field* Dataset::addField(FieldKind kind, const QString& name, FieldType type, int size)
{
    if (isOpen()) {
        throw DatabaseError(QStringLiteral("%1: Cannot perform this operation on an open dataset").arg(objectName()));
    }
    if (findField(name)) {
        throw DatabaseError(QStringLiteral("%1: Duplicate field name '%2'").arg(objectName(), name));
    }
    auto* field = new Field(this, kind, name, type, size);
    field->m_index = int(m_fields.size());
    m_fields << field;
    return field;
}

Field* Dataset::addDataField(const QString& name, FieldType type, int size)
{
    return addField(FieldKind::Data, name, type, size);
}

Field* Dataset::addCalculatedField(const QString& name, FieldType type, int size)
{
    return addField(FieldKind::Calculated, name, type, size);
}

Field* Dataset::addLookupField(const QString& name, int size, Dataset* lookupDataset, const QString& keyField,
                               const QString& lookupKeyField, const QString& resultField)
{
    Field* field = addField(FieldKind::Lookup, name, FieldType::String, size);
    field->setLookup(lookupDataset, keyField, lookupKeyField, resultField);
    return field;
}

Field* Dataset::findField(const QString& name) const
{
    for (Field* field : m_fields) {
        if (field->fieldName().compare(name, Qt::CaseInsensitive) == 0) {
            return field;
        }
    }
    return nullptr;
}

Field* Dataset::fieldByName(const QString& name) const
{
    Field* field = findField(name);
    if (!field) {
        throw DatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), name));
    }
    return field;
}

void Dataset::setBaseTable(const QString& table)
{
    m_baseTable = table;
    m_baseTableSet = true;
    m_tableInfo.reset();
}

void Dataset::setAppendOnly(bool appendOnly)
{
    close();
    m_appendOnly = appendOnly;
}

void Dataset::setMasterSource(DataSource* master, const QStringList& masterFields)
{
    if (m_master) {
        disconnect(m_master, nullptr, this, nullptr);
    }
    m_master = master;
    m_masterFields = masterFields;
    if (master) {
        connect(master, &DataSource::dataChange, this, [this](Field* field) {
            if (!field) {
                onMasterChanged();
            }
        });
    }
}

void Dataset::onMasterChanged()
{
    if (isOpen()) {
        reopen();
    }
}

QSqlDatabase Dataset::database() const
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.isValid() || !db.isOpen()) {
        throw DatabaseError(
            QStringLiteral("%1: Missing or closed connection '%2'").arg(objectName(), m_connectionName));
    }
    return db;
}

// A parameter as the statements of a store take it: a date or time as a date and time, which SQLite receives as
// its ISO text and PostgreSQL as a timestamp, so that a time on it counts against a date column on both.
QVariant Dataset::rowBindableValue(const Parameter& param) const
{
    QVariant value = bindableValue(param);
    const int typeId = param.value.typeId();
    if (!value.isNull() &&
        (param.type == FieldType::DateTime || typeId == QMetaType::QDate || typeId == QMetaType::QDateTime)) {
        const QDateTime dateTime = FieldValues::parseIsoDateTime(value.toString());
        if (dateTime.isValid()) {
            value = QVariant(dateTime);
        }
    }
    return value;
}

QVariant Dataset::bindableValue(const Parameter& param) const
{
    const QVariant& value = param.value;
    if (!value.isValid() || value.isNull()) {
        return QVariant(QMetaType(QMetaType::QString));
    }
    const int typeId = value.typeId();
    if (typeId == QMetaType::QDate) {
        return FieldValues::toIsoText(FieldValues::wallClock(value.toDate()));
    }
    if (typeId == QMetaType::QDateTime) {
        // The day and time on the clock, also where the local zone skips them.
        const QDateTime given = value.toDateTime();
        if (!given.date().isValid()) {
            return QVariant(QMetaType(QMetaType::QString)); // no date at all: null, as before
        }
        return FieldValues::toIsoText(FieldValues::wallClock(given.date(), given.time()));
    }
    if (param.type == FieldType::DateTime && typeId == QMetaType::QString) {
        // Dates handed over as month/day/year text are read as dates, whatever the locale.
        const QString text = value.toString();
        QDateTime dateTime = FieldValues::parseQueryDate(text);
        if (!dateTime.isValid()) {
            dateTime = FieldValues::parseIsoDateTime(text);
        }
        if (!dateTime.isValid()) {
            throw ConversionError(QStringLiteral("'%1' is not a valid date").arg(text));
        }
        return FieldValues::toIsoText(dateTime);
    }
    if (param.type == FieldType::Currency) {
        return QVariant(qint64(std::llround(value.toDouble() * 10000.0)));
    }
    return value;
}

void Dataset::bindParams(QSqlQuery& query) const
{
    for (int i = 0; i < m_occurrences.size(); ++i) {
        query.bindValue(i, bindableValue(m_params.at(m_occurrences.at(i))));
    }
}

void Dataset::bindParams(RowStatement& statement) const
{
    for (int i = 0; i < m_occurrences.size(); ++i) {
        statement.bind(i, rowBindableValue(m_params.at(m_occurrences.at(i))));
    }
}

// A detail dataset's parameters are the master's current row, or null while the master has none.
void Dataset::takeMasterParams()
{
    if (!m_master) {
        return;
    }
    Dataset* master = m_master->dataset();
    for (const QString& name : std::as_const(m_masterFields)) {
        const bool hasRow = master && master->isOpen() && master->recNo() >= 0;
        param(name).value = hasRow ? master->fieldByName(name)->value() : QVariant();
    }
}

void Dataset::open()
{
    if (isOpen()) {
        return;
    }
    takeMasterParams();
    QSqlDatabase db = database();
    QVector<int> columnOf(m_fields.size(), -1);

    if (m_appendOnly) {
        const TableInfo& info = tableInfo();
        if (info.columns.isEmpty()) {
            throw DriverError(QStringLiteral("no such table: %1").arg(m_baseTable));
        }
        if (m_fields.isEmpty()) {
            for (const QString& column : info.columns) {
                const QString declared = info.types.value(column.toLower());
                const bool rowid = column.compare(info.rowidColumn, Qt::CaseInsensitive) == 0;
                addDataField(column, rowid ? FieldType::AutoInc : typeFromDeclared(declared),
                             sizeFromDeclared(declared));
            }
        }
        for (Field* field : std::as_const(m_fields)) {
            if (field->kind() == FieldKind::Data && info.columnIndex(field->fieldName()) < 0) {
                throw DatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), field->fieldName()));
            }
        }
        if (notifying()) {
            Q_EMIT aboutToReset();
        }
        m_rows.clear();
        buildLookups();
        m_current = -1;
        m_eof = m_bof = true;
        setState(State::Browse);
        if (notifying()) {
            Q_EMIT resetDone();
            Q_EMIT currentRowChanged(m_current);
        }
        return;
    }

    const int keyField = pageableKeyField();
    const std::unique_ptr<RowStatement> statement =
        RowStatement::prepare(m_connectionName, filteredSql(QStringLiteral("*")));
    bindQuery(*statement);
    try {
        if (notifying()) {
            Q_EMIT aboutToReset();
        }
        m_rows.clear();
        resetPaging();
        // The keys first, where rows can be held by them: a large result stays in the database.
        std::vector<qint64> keys;
        if (keyField >= 0) {
            m_keyField = keyField;
            readKeys(keys);
        }
        if (keyField >= 0 && int(keys.size()) > m_pagedAbove && allDistinct(keys)) {
            m_keys = std::move(keys);
            m_paged = true;
            m_pageSql = withoutFinalOrder(m_translatedSql);
            buildLookups();
        } else {
            keys = {};
            fetch(*statement, m_rows);
        }
    } catch (...) {
        m_rows.clear();
        resetPaging();
        m_lookups.clear();
        if (notifying()) {
            Q_EMIT resetDone();
        }
        throw;
    }
    m_current = isEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = isEmpty();
    setState(State::Browse);
    if (notifying()) {
        Q_EMIT resetDone();
        Q_EMIT currentRowChanged(m_current);
    }
}

void Dataset::fetch(RowStatement& statement, QVector<QVector<QVariant>>& rows, bool newLookups)
{
    static const bool heapKept = keepFreedHeap();
    Q_UNUSED(heapKept)
    const int columnCount = statement.columnCount();
    if (m_fields.isEmpty()) {
        // No fields declared: one data field per result column, typed from the table column behind it.
        const TableInfo* info = m_baseTable.isEmpty() ? nullptr : &tableInfo();
        for (int i = 0; i < columnCount; ++i) {
            const QString name = statement.columnName(i);
            if (findField(name)) {
                continue;
            }
            const QString declared = statement.columnDeclaredType(i);
            FieldType type = declared.isEmpty() ? FieldType::Unknown : typeFromDeclared(declared);
            if (info && info->columnIndex(name) >= 0 && name.compare(info->rowidColumn, Qt::CaseInsensitive) == 0) {
                type = FieldType::AutoInc;
            }
            addDataField(name, type, sizeFromDeclared(declared));
        }
    }
    std::vector<ColumnReader> readers;
    std::vector<int> readerOfField(m_fields.size(), -1);
    for (Field* field : std::as_const(m_fields)) {
        if (field->kind() != FieldKind::Data) {
            continue;
        }
        int column = -1;
        for (int i = 0; i < columnCount && column < 0; ++i) {
            if (statement.columnName(i).compare(field->fieldName(), Qt::CaseInsensitive) == 0) {
                column = i;
            }
        }
        if (column < 0) {
            throw DatabaseError(QStringLiteral("%1: Field '%2' not found").arg(objectName(), field->fieldName()));
        }
        readerOfField[field->index()] = int(readers.size());
        readers.push_back(ColumnReader(column, field->type(), newLookups));
    }
    if (newLookups) {
        buildLookups();
    }
    const int fieldCount = int(m_fields.size());
    // The same loop over SQLite's own statement where there is one: its readers take the values straight from it.
    const auto readAll = [&](auto&& source) {
        while (statement.step()) {
            QVector<QVariant> row(fieldCount);
            QVariant* values = row.data();
            const qsizetype rowCount = rows.size();
            for (int field = 0; field < fieldCount; ++field) {
                const int reader = readerOfField[size_t(field)];
                if (reader >= 0) {
                    readers[size_t(reader)].read(source, rowCount, values[field]);
                }
            }
            calculate(row);
            rows.append(std::move(row));
        }
    };
    if (sqlite3_stmt* handle = statement.sqliteHandle()) {
        readAll(handle);
    } else {
        readAll(statement);
    }
}

void Dataset::buildLookups()
{
    m_lookups.clear();
    for (Field* field : std::as_const(m_fields)) {
        if (field->kind() != FieldKind::Lookup) {
            continue;
        }
        Dataset* lookup = field->lookupDataset();
        if (!lookup) {
            throw DatabaseError(QStringLiteral("%1: Lookup information for field '%2' is incomplete")
                                    .arg(objectName(), field->fieldName()));
        }
        Lookup entry;
        entry.field = field->index();
        entry.keyField = fieldByName(field->keyField())->index();
        if (!lookup->isOpen()) {
            lookup->open();
        }
        const Field* key = lookup->fieldByName(field->lookupKeyField());
        const Field* result = lookup->fieldByName(field->lookupResultField());
        for (int row = 0; row < lookup->recordCount(); ++row) {
            const QString k = lookupKey(lookup->storedValue(row, key->index()));
            if (!k.isEmpty() && !entry.values.contains(k)) {
                const QVariant found = result->fromStored(lookup->storedValue(row, result->index()));
                entry.values.insert(k, found.isNull() ? QVariant() : QVariant(found.toString()));
            }
        }
        m_lookups.push_back(std::move(entry));
    }
}

void Dataset::calculate(QVector<QVariant>& row)
{
    for (Lookup& lookup : m_lookups) {
        const QVariant& key = row.at(lookup.keyField);
        // Neighbouring rows mostly share their key (the same paper, the same user).
        if (!(lookup.hasLast && key == lookup.lastKey)) {
            lookup.lastKey = key;
            lookup.lastResult = lookup.values.value(lookupKey(key));
            lookup.hasLast = true;
        }
        row[lookup.field] = lookup.lastResult;
    }
    if (!onCalcFields) {
        return;
    }
    for (Field* field : std::as_const(m_fields)) {
        if (field->kind() == FieldKind::Calculated) {
            row[field->index()] = QVariant();
        }
    }
    QVector<QVariant>* previous = m_calcRow;
    m_calcRow = &row;
    try {
        onCalcFields(*this);
    } catch (...) {
        m_calcRow = previous;
        throw;
    }
    m_calcRow = previous;
}

void Dataset::close()
{
    if (m_state == State::Inactive) {
        return;
    }
    if (notifying()) {
        Q_EMIT aboutToReset();
    }
    m_rows.clear();
    resetPaging();
    m_editBuffer.clear();
    m_lookups.clear();
    m_writeQueries.clear();
    m_current = -1;
    m_eof = m_bof = true;
    setState(State::Inactive);
    if (notifying()) {
        Q_EMIT resetDone();
        Q_EMIT currentRowChanged(m_current);
    }
}

void Dataset::reopen()
{
    close();
    open();
}

void Dataset::resetPaging()
{
    m_paged = false;
    m_keyField = -1;
    m_keys = {};
    m_pages = {};
    m_pageStatement.reset();
    m_heldRows.clear();
    m_pageBinding.clear();
}

// The field of the base table's single integer key, when the rows can be held by it: a query of the base
// table (not one to append only) with that key among its data fields; else -1.
int Dataset::pageableKeyField()
{
    if (m_appendOnly || m_fields.isEmpty() || m_baseTable.isEmpty() ||
        !m_translatedSql.trimmed().startsWith(QLatin1String("select"), Qt::CaseInsensitive)) {
        return -1;
    }
    const TableInfo& info = tableInfo();
    if (info.rowidColumn.isEmpty()) {
        return -1;
    }
    const Field* key = findField(info.rowidColumn);
    return key && key->kind() == FieldKind::Data ? key->index() : -1;
}

bool Dataset::readKeys(std::vector<qint64>& keys, const QString& extraCondition, const QVariantList& extraValues)
{
    const std::unique_ptr<RowStatement> statement = RowStatement::prepare(
        m_connectionName, filteredSql(quotedIdentifier(m_fields.at(m_keyField)->fieldName()), extraCondition));
    bindQuery(*statement, extraValues);
    if (extraCondition.isEmpty()) {
        // Pages are read with the parameters of this reading, whatever is set on them until the next one.
        m_pageBinding.clear();
        for (int i = 0; i < m_occurrences.size(); ++i) {
            m_pageBinding << rowBindableValue(m_params.at(m_occurrences.at(i)));
        }
    }
    bool allKeys = true;
    if (sqlite3_stmt* handle = statement->sqliteHandle()) {
        while (statement->step()) {
            if (sqlite3_column_type(handle, 0) != SQLITE_INTEGER) {
                allKeys = false; // a row of an outer join without its base row: no key to read it by
                continue;
            }
            keys.push_back(sqlite3_column_int64(handle, 0));
        }
    } else {
        while (statement->step()) {
            if (statement->kind(0) != RowStatement::Kind::Integer) {
                allKeys = false;
                continue;
            }
            keys.push_back(statement->integer(0));
        }
    }
    if (!allKeys) {
        keys.clear();
        keys.push_back(0);
        keys.push_back(0); // not distinct: read whole
    }
    // Held for as long as the dataset is open: not the half of it more that growing left spare.
    keys.shrink_to_fit();
    return allKeys;
}

QString Dataset::filteredSql(const QString& columns, const QString& extraCondition) const
{
    QStringList conditions = m_filterSql;
    if (!extraCondition.isEmpty()) {
        conditions << extraCondition;
    }
    if (conditions.isEmpty() && columns == QLatin1String("*")) {
        return m_translatedSql;
    }
    // The query named, as PostgreSQL wants every query in a FROM clause to be.
    QString sql = QStringLiteral("SELECT %1 FROM (%2) AS query_rows").arg(columns, m_translatedSql);
    if (!conditions.isEmpty()) {
        sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    }
    return sql;
}

void Dataset::bindQuery(RowStatement& statement, const QVariantList& extraValues) const
{
    bindParams(statement);
    int position = int(m_occurrences.size());
    for (const QVariant& value : m_filterValues) {
        statement.bind(position++, value);
    }
    for (const QVariant& value : extraValues) {
        statement.bind(position++, value);
    }
}

Dataset::Condition Dataset::Condition::anyOf(std::vector<Condition> operands)
{
    Condition group;
    group.match = Match::AnyOf;
    group.operands = std::move(operands);
    return group;
}

Dataset::Condition Dataset::Condition::allOf(std::vector<Condition> operands)
{
    Condition group;
    group.match = Match::AllOf;
    group.operands = std::move(operands);
    return group;
}

namespace {

// A date field's text as the field shows it, computed by the database from its ISO text: one piece per
// element of the display format, so that it agrees with QDateTime::toString for the elements handled.
QString shownDateSql(const QString& column, const QString& format)
{
    struct Element
    {
        const char* token;
        const char* sql; // %1: the column
    };
    static const Element elements[] = {
        { "yyyy", "strftime('%Y', %1)" },
        { "yy", "substr(strftime('%Y', %1), 3, 2)" },
        { "MM", "strftime('%m', %1)" },
        { "M", "CAST(strftime('%m', %1) AS INTEGER)" },
        { "dd", "strftime('%d', %1)" },
        { "d", "CAST(strftime('%d', %1) AS INTEGER)" },
        { "HH", "strftime('%H', %1)" },
        { "hh", "strftime('%H', %1)" },
        { "H", "CAST(strftime('%H', %1) AS INTEGER)" },
        { "h", "CAST(strftime('%H', %1) AS INTEGER)" },
        { "mm", "strftime('%M', %1)" },
        { "m", "CAST(strftime('%M', %1) AS INTEGER)" },
        { "ss", "strftime('%S', %1)" },
        { "s", "CAST(strftime('%S', %1) AS INTEGER)" },
    };
    QStringList pieces;
    QString literal;
    const auto flushLiteral = [&] {
        if (!literal.isEmpty()) {
            pieces << QLatin1Char('\'') + QString(literal).replace(QLatin1Char('\''), QLatin1String("''")) +
                          QLatin1Char('\'');
            literal.clear();
        }
    };
    for (int at = 0; at < format.size();) {
        bool matched = false;
        for (const Element& element : elements) {
            const QLatin1String token(element.token);
            if (QStringView(format).mid(at).startsWith(token)) {
                flushLiteral();
                pieces << QString::fromLatin1(element.sql).arg(column);
                at += int(token.size());
                matched = true;
                break;
            }
        }
        if (!matched) {
            literal += format.at(at++);
        }
    }
    flushLiteral();
    return pieces.isEmpty() ? QStringLiteral("''")
                            : QStringLiteral("(") + pieces.join(QLatin1String(" || ")) + QLatin1Char(')');
}

// The text of an amount in ten-thousandths with two decimals, as the database writes it (see shownSql).
QString shownAmount(qint64 units)
{
    return QString::asprintf("%.2f", double(units) / 10000.0).replace(QLatin1Char('.'), Formats::decimalSeparator());
}

// A pattern where "%" is any run of characters, as a regular expression over the whole text.
QRegularExpression likeExpression(const QString& pattern, bool caseSensitive)
{
    QStringList pieces = pattern.split(QLatin1Char('%'));
    for (QString& piece : pieces) {
        piece = QRegularExpression::escape(piece);
    }
    QRegularExpression::PatternOptions options = QRegularExpression::DotMatchesEverythingOption;
    if (!caseSensitive) {
        options |= QRegularExpression::CaseInsensitiveOption;
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(pieces.join(QLatin1String(".*"))), options);
}

// The same pattern for LIKE ... ESCAPE '\': the escape character and "_" stand for themselves.
QString likePattern(const QString& pattern)
{
    QString escaped = pattern;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('_'), QLatin1String("\\_"));
    return escaped;
}

// And for GLOB, which has no escape character: its own wildcards go in brackets.
QString globPattern(const QString& pattern)
{
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
    return glob;
}

bool isTextMatch(Dataset::Condition::Match match)
{
    using Match = Dataset::Condition::Match;
    return match == Match::Equal || match == Match::Contains || match == Match::StartsWith || match == Match::Like;
}

} // namespace

QString Dataset::conditionSql(const Condition& condition, QVariantList& values) const
{
    const QString test = testSql(condition, values);
    // A null field satisfies no condition but the null test, and so is among the rows that do not. The
    // condition itself stays as written where it is not negated, so that an index on the column serves it.
    return (condition.negated ? QStringLiteral("NOT coalesce((%1), FALSE)") : QStringLiteral("(%1)")).arg(test);
}

QString Dataset::testSql(const Condition& condition, QVariantList& values) const
{
    using Match = Condition::Match;
    if (condition.match == Match::AnyOf || condition.match == Match::AllOf) {
        const bool any = condition.match == Match::AnyOf;
        QStringList parts;
        for (const Condition& operand : condition.operands) {
            parts << conditionSql(operand, values);
        }
        if (parts.isEmpty()) {
            return any ? QStringLiteral("FALSE") : QStringLiteral("TRUE");
        }
        return parts.join(any ? QLatin1String(" OR ") : QLatin1String(" AND "));
    }
    const Field* field = fieldByName(condition.field);
    if (field->kind() == FieldKind::Lookup) {
        return lookupTestSql(condition, *field, values);
    }
    QString column;
    if (field->kind() == FieldKind::Data) {
        column = quotedIdentifier(field->fieldName());
    } else if (!field->sqlExpression().isEmpty()) {
        column = QStringLiteral("(%1)").arg(field->sqlExpression());
    } else {
        throw DatabaseError(
            QStringLiteral("%1: Field '%2' cannot be filtered on").arg(objectName(), field->fieldName()));
    }
    const bool text = field->type() == FieldType::String;
    const bool shown = !text && condition.asShown && isTextMatch(condition.match);
    const auto bound = [&](const QVariant& value) {
        return toDatabase(field, value.isNull() ? QVariant() : field->toStored(value));
    };
    // The text compared: a text field's own, or another field's as shown.
    QString subject = column;
    if (shown) {
        switch (field->type()) {
            case FieldType::DateTime:
                if (!field->displayFormat().isEmpty()) {
                    subject = shownDateSql(column, field->displayFormat());
                } else {
                    // As the application writes a date: without its time at midnight.
                    const QString day = shownDateSql(column, Formats::shortDateFormat());
                    subject = QStringLiteral("(CASE WHEN strftime('%H:%M:%S', %1) = '00:00:00' THEN %2 ELSE %2 || ' ' "
                                             "|| strftime('%H:%M:%S', %1) END)")
                                  .arg(column, day);
                }
                break;
            case FieldType::Currency:
                subject = QStringLiteral("replace(printf('%.2f', %1 / 10000.0), '.', ?)").arg(column);
                values << QString(Formats::decimalSeparator());
                break;
            case FieldType::Float:
                subject = QStringLiteral("printf('%g', %1)").arg(column);
                break;
            default:
                subject = QStringLiteral("CAST(%1 AS TEXT)").arg(column);
                break;
        }
    }
    const bool textual = text || shown;
    // Texts compare as the database's keys do unless case counts; contains and starts-with look for the
    // typed text itself, not for a pattern.
    const QString collate =
        !textual ? QString()
                 : QStringLiteral(" COLLATE ") +
                       (condition.caseSensitive ? QStringLiteral("BINARY") : QLatin1String(Collation::Name));
    const QString fold = QLatin1String(Database::FoldFunction);
    const auto folded = [&](const QString& expression) {
        return condition.caseSensitive ? expression : QStringLiteral("%1(%2)").arg(fold, expression);
    };
    switch (condition.match) {
        case Match::Null:
            return column + QStringLiteral(" IS NULL");
        case Match::Equal:
            if (shown) {
                values << condition.value.toString();
                return subject + QStringLiteral(" = ?") + collate;
            }
            values << bound(condition.value);
            if (field->type() == FieldType::Float) {
                return QStringLiteral("abs(%1 - ?) < 0.0001").arg(column);
            }
            return column + QStringLiteral(" = ?") + collate;
        case Match::Contains:
            values << condition.value.toString();
            return QStringLiteral("instr(%1, %2) > 0").arg(folded(subject), folded(QStringLiteral("?")));
        case Match::StartsWith:
            // The typed text twice: once for its length, once to compare.
            values << condition.value.toString() << condition.value.toString();
            return QStringLiteral("substr(%1, 1, length(%2)) = %3")
                .arg(folded(subject), folded(QStringLiteral("?")), folded(QStringLiteral("?")));
        case Match::Like:
            if (condition.caseSensitive && Database::isPostgres(m_connectionName)) {
                // PostgreSQL's LIKE on text counts letter case; a citext column is compared as text.
                values << likePattern(condition.value.toString());
                return QStringLiteral("CAST(%1 AS TEXT) LIKE ? ESCAPE '\\'").arg(subject);
            }
            if (condition.caseSensitive) {
                values << globPattern(condition.value.toString());
                return subject + QStringLiteral(" GLOB ?");
            }
            values << likePattern(condition.value.toString());
            return QStringLiteral("%1 LIKE %2 ESCAPE '\\'").arg(folded(subject), folded(QStringLiteral("?")));
        case Match::Range: {
            QStringList bounds;
            if (!condition.value.isNull()) {
                bounds << column + QStringLiteral(" >= ?") + collate;
                values << bound(condition.value);
            }
            if (!condition.high.isNull()) {
                bounds << column + QStringLiteral(" <= ?") + collate;
                values << bound(condition.high);
            }
            return bounds.isEmpty() ? QStringLiteral("TRUE") : bounds.join(QStringLiteral(" AND "));
        }
        case Match::AnyOf:
        case Match::AllOf:
            break;
    }
    Q_UNREACHABLE();
}

// A condition on a lookup field is one on its key: the keys of the lookup rows whose result satisfies it.
QString Dataset::lookupTestSql(const Condition& condition, const Field& field, QVariantList& values) const
{
    Dataset* lookup = field.lookupDataset();
    if (!lookup) {
        throw DatabaseError(
            QStringLiteral("%1: Lookup information for field '%2' is incomplete").arg(objectName(), field.fieldName()));
    }
    if (!lookup->isOpen()) {
        lookup->open();
    }
    const Field* key = fieldByName(field.keyField());
    const Field* lookupKey = lookup->fieldByName(field.lookupKeyField());
    const Field* result = lookup->fieldByName(field.lookupResultField());
    Condition onResult = condition;
    onResult.negated = false;
    const bool nullTest = condition.match == Condition::Match::Null;
    QVariantList keys;
    for (int row = 0; row < lookup->recordCount(); ++row) {
        const QVariant keyValue = lookup->storedValue(row, lookupKey->index());
        if (keyValue.isNull()) {
            continue;
        }
        const QVariant found = result->fromStored(lookup->storedValue(row, result->index()));
        const QVariant shown = found.isNull() ? QVariant() : QVariant(found.toString());
        // The null test keeps the keys that find a result: the others, and no key, are the rows it selects.
        if (nullTest ? !shown.isNull() : satisfiesValue(onResult, field, shown)) {
            keys << toDatabase(lookupKey, keyValue);
        }
    }
    const QString column = quotedIdentifier(key->fieldName());
    QString list;
    if (!keys.isEmpty()) {
        QStringList marks;
        for (int i = 0; i < keys.size(); ++i) {
            marks << QStringLiteral("?");
        }
        list = QStringLiteral("%1 IN (%2)").arg(column, marks.join(QLatin1Char(',')));
        values << keys;
    }
    if (nullTest) {
        return list.isEmpty() ? QStringLiteral("TRUE") : QStringLiteral("%1 IS NULL OR NOT (%2)").arg(column, list);
    }
    return list.isEmpty() ? QStringLiteral("FALSE") : list;
}

// The condition judged on a row held, by the rules of conditionSql: texts by the collation unless case
// counts, numbers by value (reals within 0.0001), dates by their ISO text, a null only by the null test.
bool Dataset::satisfies(const Condition& condition, const QVector<QVariant>& row) const
{
    using Match = Condition::Match;
    bool judged = false;
    if (condition.match == Match::AnyOf || condition.match == Match::AllOf) {
        const bool any = condition.match == Match::AnyOf;
        judged = !any;
        for (const Condition& operand : condition.operands) {
            if (satisfies(operand, row) == any) {
                judged = any;
                break;
            }
        }
    } else {
        const Field* field = fieldByName(condition.field);
        Condition atom = condition;
        atom.negated = false;
        judged = satisfiesValue(atom, *field, row.at(field->index()));
    }
    return condition.negated ? !judged : judged;
}

bool Dataset::satisfiesValue(const Condition& condition, const Field& field, const QVariant& stored) const
{
    using Match = Condition::Match;
    const auto judged = [&] {
        if (condition.match == Match::Null || stored.isNull()) {
            return condition.match == Match::Null && stored.isNull();
        }
        const bool text = field.type() == FieldType::String;
        const bool shown = !text && condition.asShown && isTextMatch(condition.match);
        const bool textual = text || shown;
        QVariant held;
        if (text) {
            held = stored;
        } else if (shown) {
            switch (field.type()) {
                case FieldType::DateTime:
                    held = field.displayTextOf(stored);
                    break;
                case FieldType::Currency:
                    held = shownAmount(stored.toLongLong());
                    break;
                case FieldType::Float:
                    held = QString::asprintf("%g", stored.toDouble());
                    break;
                default:
                    held = stored.toString();
                    break;
            }
        } else {
            held = toDatabase(&field, stored);
        }
        const auto bound = [&](const QVariant& value) {
            return text ? value : toDatabase(&field, value.isNull() ? QVariant() : field.toStored(value));
        };
        const bool asText = textual || held.typeId() == QMetaType::QString;
        const auto compare = [&](const QVariant& value) {
            if (!asText) {
                const double difference = held.toDouble() - value.toDouble();
                return difference < 0 ? -1 : difference > 0 ? 1 : 0;
            }
            if (textual && !condition.caseSensitive) {
                return TextCompare::compare(held.toString(), value.toString());
            }
            return QString::compare(held.toString(), value.toString(), Qt::CaseSensitive);
        };
        const auto foldedText = [&](const QString& value) {
            return condition.caseSensitive ? value : TextCompare::key(value);
        };
        switch (condition.match) {
            case Match::Equal:
                if (field.type() == FieldType::Float && !shown) {
                    return std::fabs(held.toDouble() - condition.value.toDouble()) < 0.0001;
                }
                if (textual && !condition.caseSensitive) {
                    return TextCompare::equal(held.toString(), condition.value.toString());
                }
                return compare(shown ? condition.value : bound(condition.value)) == 0;
            case Match::Contains:
                return foldedText(held.toString()).contains(foldedText(condition.value.toString()));
            case Match::StartsWith:
                return foldedText(held.toString()).startsWith(foldedText(condition.value.toString()));
            case Match::Like:
                return likeExpression(foldedText(condition.value.toString()), true)
                    .match(foldedText(held.toString()))
                    .hasMatch();
            case Match::Range:
                return (condition.value.isNull() || compare(bound(condition.value)) >= 0) &&
                       (condition.high.isNull() || compare(bound(condition.high)) <= 0);
            case Match::Null:
            case Match::AnyOf:
            case Match::AllOf:
                break;
        }
        return false;
    };
    return condition.negated ? !judged() : judged();
}

int Dataset::findRow(const Condition& condition, int from, bool forward)
{
    requireBrowse("findRow");
    QVariantList values;
    const QString sql = conditionSql(condition, values); // refuses what cannot be searched
    const int step = forward ? 1 : -1;
    int row = forward ? std::max(from + 1, 0) : std::min(from, rowCount()) - 1;
    if (!m_paged) {
        for (; row >= 0 && row < rowCount(); row += step) {
            if (satisfies(condition, rowAt(row))) {
                return row;
            }
        }
        return -1;
    }
    std::vector<qint64> found;
    readKeys(found, sql, values);
    const QSet<qint64> candidates(found.begin(), found.end());
    for (; row >= 0 && row < rowCount(); row += step) {
        // A row posted here is judged by what it holds, which the query may no longer return.
        const qint64 key = m_keys[size_t(row)];
        const auto held = m_heldRows.constFind(key);
        if (held != m_heldRows.cend() ? satisfies(condition, *held) : candidates.contains(key)) {
            return row;
        }
    }
    return -1;
}

void Dataset::setFilter(const QList<Condition>& conditions)
{
    QStringList sql;
    QVariantList values;
    for (const Condition& condition : conditions) {
        sql << conditionSql(condition, values);
    }
    m_filter = conditions;
    m_filterSql = sql;
    m_filterValues = values;
}

QVector<int> Dataset::keyFieldIndexes()
{
    QVector<int> result;
    if (m_baseTable.isEmpty()) {
        return result;
    }
    for (const QString& column : tableInfo().keyColumns) {
        const Field* field = findField(column);
        if (!field || field->kind() != FieldKind::Data) {
            return {};
        }
        result << field->index();
    }
    return result;
}

void Dataset::refresh()
{
    const QVector<int> keyFields = isOpen() && !m_appendOnly ? keyFieldIndexes() : QVector<int>();
    if (keyFields.isEmpty()) {
        reopen();
        return;
    }
    if (m_paged) {
        refreshPaged();
        return;
    }
    if (isEditing()) {
        cancel();
    }
    takeMasterParams();
    QVector<QVector<QVariant>> fresh;
    {
        const std::unique_ptr<RowStatement> statement =
            RowStatement::prepare(m_connectionName, filteredSql(QStringLiteral("*")));
        bindQuery(*statement);
        fetch(*statement, fresh);
    }

    // Each row's identity as a number: its key itself where that is one whole number (Print_Id), else the
    // key as lookups compare it, numbered in order of appearance. A row without a key matches nothing. Where
    // an identity repeats, the first row holding it is the one matched.
    constexpr qint64 TextKeys = qint64(1) << 62;
    QHash<QString, qint64> textIds;
    const auto idsOf = [&](const QVector<QVector<QVariant>>& rows, qint64 unmatchedBase) {
        QVector<qint64> ids;
        ids.reserve(rows.size());
        for (int row = 0; row < rows.size(); ++row) {
            const QVariant& first = rows.at(row).at(keyFields.first());
            if (keyFields.size() == 1 && first.typeId() == QMetaType::LongLong) {
                ids << first.toLongLong();
                continue;
            }
            QString key;
            for (const int field : keyFields) {
                const QString part = lookupKey(rows.at(row).at(field));
                if (part.isEmpty()) {
                    key.clear();
                    break;
                }
                key += part + QChar(0x1f);
            }
            if (key.isEmpty()) {
                ids << unmatchedBase - row;
                continue;
            }
            const auto found = textIds.constFind(key);
            ids << (found != textIds.cend() ? *found : *textIds.insert(key, TextKeys + textIds.size()));
        }
        return ids;
    };
    const QVector<qint64> freshKeys = idsOf(fresh, -1);
    QVector<qint64> keys = idsOf(m_rows, std::numeric_limits<qint64>::min() / 2);
    QHash<qint64, int> freshIndex;
    freshIndex.reserve(freshKeys.size());
    for (int i = 0; i < freshKeys.size(); ++i) {
        if (!freshIndex.contains(freshKeys.at(i))) {
            freshIndex.insert(freshKeys.at(i), i);
        }
    }

    // The rows read before that stay where they are: found again, in the same order among themselves.
    QVector<bool> kept(m_rows.size(), false);
    int keptCount = 0;
    int lastPlace = -1;
    for (int i = 0; i < m_rows.size(); ++i) {
        const int place = freshIndex.value(keys.at(i), -1);
        if (place > lastPlace) {
            kept[i] = true;
            lastPlace = place;
            ++keptCount;
        }
    }

    // Where the current row is to be afterwards: on its key, else on the row that followed it, else on the
    // one before it.
    std::optional<qint64> targetKey;
    if (m_current >= 0 && m_current < m_rows.size()) {
        if (freshIndex.contains(keys.at(m_current))) {
            targetKey = keys.at(m_current);
        } else {
            for (int i = m_current + 1; i < m_rows.size() && !targetKey; ++i) {
                if (kept.at(i)) {
                    targetKey = keys.at(i);
                }
            }
            for (int i = m_current - 1; i >= 0 && !targetKey; --i) {
                if (kept.at(i)) {
                    targetKey = keys.at(i);
                }
            }
        }
    }
    const int target = fresh.isEmpty() ? -1 : (targetKey ? freshIndex.value(*targetKey, 0) : 0);
    const bool sameCurrent = m_current >= 0 && m_current < m_rows.size() && target >= 0 &&
                             keys.at(m_current) == freshKeys.at(target) && m_rows.at(m_current) == fresh.at(target);

    // Row by row for the few rows a tick or an edit elsewhere changes; a new day, or a catch-up of thousands
    // of jobs, is one reset (the current row still kept), cheaper for the views than thousands of signals.
    constexpr int MaxRowByRowChanges = 1024;
    const int changes = int(m_rows.size() + fresh.size()) - 2 * keptCount;
    if (!notifying() || changes > MaxRowByRowChanges) {
        if (notifying()) {
            Q_EMIT aboutToReset();
        }
        m_rows = std::move(fresh);
        m_current = target;
        m_bof = m_current <= 0;
        m_eof = m_rows.isEmpty();
        if (notifying()) {
            Q_EMIT resetDone();
            Q_EMIT currentRowChanged(m_current);
        }
        return;
    }
    for (int i = int(m_rows.size()) - 1; i >= 0; --i) {
        if (kept.at(i)) {
            continue;
        }
        Q_EMIT aboutToRemoveRow(i);
        m_rows.remove(i);
        keys.remove(i);
        m_current = i < m_current ? m_current - 1 : (i == m_current ? -1 : m_current);
        Q_EMIT rowRemoved(i);
    }
    for (int i = 0; i < fresh.size(); ++i) {
        if (i < m_rows.size() && keys.at(i) == freshKeys.at(i)) {
            if (m_rows.at(i) != fresh.at(i)) {
                m_rows[i] = std::move(fresh[i]);
                Q_EMIT rowDataChanged(i);
            }
            continue;
        }
        Q_EMIT aboutToInsertRow(i);
        m_rows.insert(i, std::move(fresh[i]));
        keys.insert(i, freshKeys.at(i));
        if (m_current >= i) {
            ++m_current;
        }
        Q_EMIT rowInserted(i);
    }
    m_bof = target <= 0;
    m_eof = m_rows.isEmpty();
    if (!sameCurrent || m_current != target) {
        m_current = target;
        Q_EMIT currentRowChanged(m_current);
    }
}

// refresh() of rows held by their keys: the keys are read anew and compared, the same rows at both ends
// left alone (a tick adds at one end, a deletion takes one row from the middle), and the pages the views
// read lately are read again to tell which of their rows changed.
void Dataset::refreshPaged()
{
    if (isEditing()) {
        cancel();
    }
    takeMasterParams();
    std::vector<qint64> fresh;
    readKeys(fresh);
    if (!allDistinct(fresh)) {
        reopen();
        return;
    }
    struct Seen
    {
        int row; // before, then after
        QVector<QVariant> values;
    };
    std::vector<Seen> seen;
    for (const Page& page : m_pages) {
        for (int i = 0; i < page.rows.size(); ++i) {
            if (!m_heldRows.contains(m_keys[size_t(page.first + i)])) {
                seen.push_back({ page.first + i, page.rows.at(i) });
            }
        }
    }
    for (auto it = m_heldRows.cbegin(); it != m_heldRows.cend(); ++it) {
        const auto at = std::find(m_keys.begin(), m_keys.end(), it.key());
        if (at != m_keys.end()) {
            seen.push_back({ int(at - m_keys.begin()), it.value() });
        }
    }
    dropPages();
    m_heldRows.clear();

    const int oldCount = int(m_keys.size());
    const int newCount = int(fresh.size());
    int prefix = 0;
    while (prefix < std::min(oldCount, newCount) && m_keys[size_t(prefix)] == fresh[size_t(prefix)]) {
        ++prefix;
    }
    int suffix = 0;
    while (suffix < std::min(oldCount, newCount) - prefix &&
           m_keys[size_t(oldCount - 1 - suffix)] == fresh[size_t(newCount - 1 - suffix)]) {
        ++suffix;
    }
    const int oldMiddle = oldCount - prefix - suffix;
    const int newMiddle = newCount - prefix - suffix;
    // Where an old row is now, or -1.
    std::vector<qint64> sortedMiddle(fresh.begin() + prefix, fresh.begin() + prefix + newMiddle);
    std::sort(sortedMiddle.begin(), sortedMiddle.end());
    const auto newPlace = [&](int oldRow) {
        if (oldRow < prefix) {
            return oldRow;
        }
        if (oldRow >= oldCount - suffix) {
            return oldRow + newCount - oldCount;
        }
        const qint64 key = m_keys[size_t(oldRow)];
        if (!std::binary_search(sortedMiddle.begin(), sortedMiddle.end(), key)) {
            return -1;
        }
        return int(std::find(fresh.begin() + prefix, fresh.begin() + prefix + newMiddle, key) - fresh.begin());
    };
    // The current row stays on its key, else goes to the row that followed it, else to the one before it.
    int target = newCount == 0 ? -1 : 0;
    if (m_current >= 0 && m_current < oldCount && newCount > 0) {
        int place = newPlace(m_current);
        for (int i = m_current + 1; place < 0 && i < oldCount; ++i) {
            place = newPlace(i);
        }
        for (int i = m_current - 1; place < 0 && i >= 0; --i) {
            place = newPlace(i);
        }
        target = std::max(place, 0);
    }

    constexpr int MaxRowByRowChanges = 1024;
    if (!notifying() || oldMiddle + newMiddle > MaxRowByRowChanges) {
        if (notifying()) {
            Q_EMIT aboutToReset();
        }
        m_keys = std::move(fresh);
        m_current = target;
        m_bof = m_current <= 0;
        m_eof = m_keys.empty();
        if (notifying()) {
            Q_EMIT resetDone();
            Q_EMIT currentRowChanged(m_current);
        }
        return;
    }
    // Row by row, as a whole read does: the old rows of the middle not found again, or out of their order,
    // go; then the new ones come in.
    std::vector<int> placeOfOld(static_cast<size_t>(oldMiddle));
    for (int i = 0; i < oldMiddle; ++i) {
        placeOfOld[size_t(i)] = newPlace(prefix + i);
    }
    int lastPlace = -1;
    std::vector<bool> kept(size_t(oldMiddle), false);
    for (int i = 0; i < oldMiddle; ++i) {
        if (placeOfOld[size_t(i)] > lastPlace) {
            kept[size_t(i)] = true;
            lastPlace = placeOfOld[size_t(i)];
        }
    }
    for (Seen& row : seen) {
        const bool stays = row.row < prefix || row.row >= oldCount - suffix || kept[size_t(row.row - prefix)];
        row.row = stays ? newPlace(row.row) : -1;
    }
    for (int i = oldMiddle - 1; i >= 0; --i) {
        if (kept[size_t(i)]) {
            continue;
        }
        const int row = prefix + i;
        Q_EMIT aboutToRemoveRow(row);
        m_keys.erase(m_keys.begin() + row);
        dropPages();
        m_current = row < m_current ? m_current - 1 : (row == m_current ? -1 : m_current);
        Q_EMIT rowRemoved(row);
    }
    for (int row = prefix; row < prefix + newMiddle; ++row) {
        if (row < int(m_keys.size()) - suffix && m_keys[size_t(row)] == fresh[size_t(row)]) {
            continue;
        }
        Q_EMIT aboutToInsertRow(row);
        m_keys.insert(m_keys.begin() + row, fresh[size_t(row)]);
        dropPages();
        if (m_current >= row) {
            ++m_current;
        }
        Q_EMIT rowInserted(row);
    }
    bool currentChanged = m_current != target;
    bool currentSeen = false;
    for (const Seen& row : seen) {
        const int place = row.row;
        if (place < 0) {
            continue;
        }
        const bool changed = rowAt(place) != row.values;
        if (changed) {
            Q_EMIT rowDataChanged(place);
        }
        if (place == target) {
            currentSeen = true;
            currentChanged = currentChanged || changed;
        }
    }
    m_bof = target <= 0;
    m_eof = m_keys.empty();
    if (currentChanged || !currentSeen) {
        m_current = target;
        Q_EMIT currentRowChanged(m_current);
    }
}

int Dataset::appendNewerRows(const QString& keyField, NewRowsAt at)
{
    requireActive();
    if (isEditing()) {
        throw DatabaseError(QStringLiteral("%1: Dataset not in browse mode").arg(objectName()));
    }
    if (m_appendOnly) {
        return 0;
    }
    const int key = fieldByName(keyField)->index();
    bool holdsKey = false;
    qint64 highest = 0;
    if (m_paged && key == m_keyField) {
        // Not editing: every key held is the database's.
        holdsKey = !m_keys.empty();
        highest = holdsKey ? *std::max_element(m_keys.begin(), m_keys.end()) : 0;
    } else {
        for (int row = 0; row < rowCount(); ++row) {
            const QVariant& value = rowAt(row).at(key);
            if (!value.isNull() && (!holdsKey || value.toLongLong() > highest)) {
                highest = value.toLongLong();
                holdsKey = true;
            }
        }
    }
    const QString newer = quotedIdentifier(fields().at(key)->fieldName()) + QStringLiteral(" > ?");
    const QVariant bound = holdsKey ? highest : std::numeric_limits<qint64>::min();
    if (m_paged) {
        std::vector<qint64> addedKeys;
        readKeys(addedKeys, newer, { bound });
        if (addedKeys.empty()) {
            return 0;
        }
        const int count = int(addedKeys.size());
        const int first = at == NewRowsAt::Start ? 0 : rowCount();
        if (notifying()) {
            Q_EMIT aboutToInsertRows(first, first + count - 1);
        }
        m_keys.insert(m_keys.begin() + first, addedKeys.begin(), addedKeys.end());
        dropPages();
        const int current = m_current >= first ? m_current + count : m_current;
        if (notifying()) {
            Q_EMIT rowsInserted(first, first + count - 1);
        }
        if (current < 0) {
            m_eof = false;
        }
        setCurrent(current < 0 ? 0 : current);
        return count;
    }
    const std::unique_ptr<RowStatement> statement =
        RowStatement::prepare(m_connectionName, filteredSql(QStringLiteral("*"), newer));
    bindQuery(*statement, { bound });

    QVector<QVector<QVariant>> added;
    fetch(*statement, added);
    if (added.isEmpty()) {
        return 0;
    }
    const int count = int(added.size());
    const int first = at == NewRowsAt::Start ? 0 : int(m_rows.size());
    if (notifying()) {
        Q_EMIT aboutToInsertRows(first, first + count - 1);
    }
    const bool wasEmpty = m_rows.isEmpty();
    if (at == NewRowsAt::Start) {
        added.append(std::move(m_rows));
        m_rows = std::move(added);
    } else {
        m_rows.append(std::move(added));
    }
    const int current = wasEmpty ? 0 : (m_current >= first ? m_current + count : m_current);
    if (wasEmpty) {
        m_eof = false;
    }
    if (notifying()) {
        Q_EMIT rowsInserted(first, first + count - 1);
    }
    setCurrent(current);
    return count;
}

int Dataset::execSql()
{
    QSqlQuery query(database());
    if (!query.prepare(Database::storeSql(m_translatedSql, m_connectionName))) {
        throw DriverError(driverMessage(query.lastError()));
    }
    bindParams(query);
    if (!query.exec()) {
        throw DriverError(driverMessage(query.lastError()));
    }
    return query.numRowsAffected();
}

void Dataset::setState(State state)
{
    if (m_state == state) {
        return;
    }
    m_state = state;
    if (notifying()) {
        Q_EMIT stateChanged(state);
    }
}

void Dataset::requireActive() const
{
    if (m_state == State::Inactive) {
        throw DatabaseError(QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(objectName()));
    }
}

void Dataset::requireCurrentRow() const
{
    requireActive();
    if (m_current < 0) {
        throw DatabaseError(QStringLiteral("%1: Cannot perform this operation on an empty dataset").arg(objectName()));
    }
}

void Dataset::requireBrowse(const char* operation)
{
    Q_UNUSED(operation);
    requireActive();
    if (isEditing()) {
        // Moving away from a row being edited posts it first.
        post();
    }
}

void Dataset::setCurrent(int row)
{
    if (row == m_current) {
        return;
    }
    m_current = row;
    if (notifying()) {
        Q_EMIT currentRowChanged(row);
    }
}

void Dataset::first()
{
    requireBrowse("first");
    m_bof = true;
    m_eof = isEmpty();
    setCurrent(isEmpty() ? -1 : 0);
}

void Dataset::next()
{
    requireBrowse("next");
    m_bof = false;
    if (m_current + 1 >= rowCount()) {
        m_eof = true;
        return;
    }
    m_eof = false;
    setCurrent(m_current + 1);
}

void Dataset::prior()
{
    requireBrowse("prior");
    m_eof = false;
    if (m_current <= 0) {
        m_bof = true;
        return;
    }
    m_bof = false;
    setCurrent(m_current - 1);
}

void Dataset::last()
{
    requireBrowse("last");
    m_eof = true;
    m_bof = isEmpty();
    setCurrent(rowCount() - 1);
}

void Dataset::moveTo(int row)
{
    requireBrowse("moveTo");
    if (row < 0 || row >= rowCount()) {
        throw DatabaseError(QStringLiteral("%1: Row %2 out of range").arg(objectName()).arg(row));
    }
    m_bof = m_eof = false;
    setCurrent(row);
}

bool Dataset::locate(const QString& fieldName, const QVariant& value, bool caseInsensitive)
{
    requireBrowse("locate");
    const Field* field = fieldByName(fieldName);
    const QVariant wanted = value.isNull() ? QVariant() : field->toStored(value);
    const int row = locateRow(field, wanted, caseInsensitive);
    if (row < 0) {
        return false;
    }
    m_bof = m_eof = false;
    setCurrent(row);
    return true;
}

int Dataset::locateRow(const Field* field, const QVariant& wanted, bool caseInsensitive)
{
    const auto matches = [&](const QVariant& stored) {
        if (wanted.isNull() || stored.isNull()) {
            return wanted.isNull() && stored.isNull();
        }
        if (stored.typeId() == QMetaType::QString) {
            // Without case, as the database compares its text keys.
            return caseInsensitive ? TextCompare::equal(stored.toString(), wanted.toString())
                                   : stored.toString() == wanted.toString();
        }
        return stored == wanted;
    };
    const FieldType type = field->type();
    const bool askDatabase = m_paged && field->kind() == FieldKind::Data && !wanted.isNull() &&
                             (type == FieldType::String || type == FieldType::Integer || type == FieldType::AutoInc ||
                              type == FieldType::Currency);
    if (!askDatabase) {
        for (int row = 0; row < rowCount(); ++row) {
            if (matches(rowAt(row).at(field->index()))) {
                return row;
            }
        }
        return -1;
    }
    // Held by keys: the database names the rows that may match, by a bound value; the first of them in the
    // query's order is checked as above, since a row posted here may differ from what the query returns.
    const QString column = quotedIdentifier(field->fieldName());
    const QString condition =
        type != FieldType::String
            ? column + QStringLiteral(" = ?")
            : column + (caseInsensitive ? QStringLiteral(" = ? COLLATE ") + QLatin1String(Collation::Name)
                                        : QStringLiteral(" = ? COLLATE BINARY"));
    std::vector<qint64> found;
    readKeys(found, condition, { toDatabase(field, wanted) });
    QSet<qint64> candidates(found.begin(), found.end());
    for (auto it = m_heldRows.cbegin(); it != m_heldRows.cend(); ++it) {
        candidates.insert(it.key());
    }
    for (int row = 0; row < rowCount(); ++row) {
        if (candidates.contains(m_keys[size_t(row)]) && matches(rowAt(row).at(field->index()))) {
            return row;
        }
    }
    return -1;
}

QVariant Dataset::storedValue(int row, int fieldIndex) const
{
    if (row == m_current && isEditing()) {
        return fieldIndex >= 0 && fieldIndex < m_editBuffer.size() ? m_editBuffer.at(fieldIndex) : QVariant();
    }
    if (row < 0 || row >= rowCount() || fieldIndex < 0 || fieldIndex >= m_fields.size()) {
        return QVariant();
    }
    // Reading a page is what a const look at a row held by its key costs; the pages are a cache.
    const QVector<QVariant>& values = const_cast<Dataset*>(this)->rowAt(row);
    return fieldIndex < values.size() ? values.at(fieldIndex) : QVariant();
}

QVariant Dataset::storedValue(int fieldIndex) const
{
    if (m_calcRow) {
        return fieldIndex >= 0 && fieldIndex < m_calcRow->size() ? m_calcRow->at(fieldIndex) : QVariant();
    }
    return storedValue(m_current, fieldIndex);
}

QVariant Dataset::oldStoredValue(int fieldIndex) const
{
    if (m_current < 0 || m_current >= rowCount()) {
        return QVariant();
    }
    const QVector<QVariant>& row = const_cast<Dataset*>(this)->rowAt(m_current); // a page is a cache
    return fieldIndex >= 0 && fieldIndex < row.size() ? row.at(fieldIndex) : QVariant();
}

const QVector<QVariant>& Dataset::rowAt(int row)
{
    if (!m_paged) {
        return m_rows.at(row);
    }
    const qint64 key = m_keys[size_t(row)];
    if (const auto held = m_heldRows.constFind(key); held != m_heldRows.cend()) {
        return *held;
    }
    return readPage(row);
}

// The row from its page, read when it is not among the pages kept. The page is read with the query itself,
// narrowed to its keys, so that joins, lookups and calculated fields come out as on a whole read. A key the
// query no longer returns (deleted elsewhere) shows as a row of nulls but for its key. Pages stay short: for
// a few thousand keys the database would rather scan the whole period than look each row up.
const QVector<QVariant>& Dataset::readPage(int row)
{
    constexpr int PageRows = 256;
    constexpr int KeptRows = 8192;
    if (m_lastPage < m_pages.size()) {
        const Page& page = m_pages[m_lastPage];
        if (row >= page.first && row < page.first + page.rows.size()) {
            return page.rows.at(row - page.first); // the fields of one row, the rows of one screen
        }
    }
    for (size_t i = 0; i < m_pages.size(); ++i) {
        Page& page = m_pages[i];
        if (row >= page.first && row < page.first + page.rows.size()) {
            page.lastUse = ++m_pageUse;
            m_lastPage = i;
            return page.rows.at(row - page.first);
        }
    }
    const int first = row - row % PageRows;
    const int count = std::min(PageRows, rowCount() - first);
    Page page;
    page.first = first;
    page.lastUse = ++m_pageUse;
    page.rows.resize(count);
    QHash<qint64, int> slotOf;
    slotOf.reserve(count);
    for (int i = 0; i < count; ++i) {
        slotOf.insert(m_keys[size_t(first + i)], i);
        page.rows[i].resize(m_fields.size());
        page.rows[i][m_keyField] = QVariant(m_keys[size_t(first + i)]);
    }
    try {
        // One statement for every page, prepared once (preparing costs as much as reading the page); the
        // last page binds nulls for the keys it does not have.
        static const QString placeholders = [] {
            QStringList marks;
            for (int i = 0; i < PageRows; ++i) {
                marks << QStringLiteral("?");
            }
            return marks.join(QLatin1Char(','));
        }();
        const QString pageSql =
            QStringLiteral("SELECT * FROM (%1) AS query_rows WHERE %2 IN (%3)")
                .arg(m_pageSql, quotedIdentifier(m_fields.at(m_keyField)->fieldName()), placeholders);
        // Kept on SQLite; PostgreSQL plans the page as it runs it, at a fraction of reading it.
        std::unique_ptr<RowStatement> own;
        RowStatement* statement = nullptr;
        if (Database::isPostgres(m_connectionName)) {
            own = RowStatement::prepare(m_connectionName, pageSql);
            statement = own.get();
        } else {
            if (!m_pageStatement) {
                m_pageStatement = std::make_unique<KeptStatement>();
            }
            statement = &m_pageStatement->get(m_connectionName, pageSql);
        }
        for (int i = 0; i < m_pageBinding.size(); ++i) {
            statement->bind(i, m_pageBinding.at(i));
        }
        for (int i = 0; i < PageRows; ++i) {
            statement->bind(int(m_pageBinding.size()) + i,
                            i < count ? QVariant(m_keys[size_t(first + i)]) : QVariant());
        }
        QVector<QVector<QVariant>> read;
        fetch(*statement, read, false);
        if (sqlite3_stmt* handle = statement->sqliteHandle()) {
            sqlite3_reset(handle); // not left running between pages
        }
        for (QVector<QVariant>& values : read) {
            const auto slot = slotOf.constFind(values.at(m_keyField).toLongLong());
            if (slot != slotOf.cend()) {
                page.rows[*slot] = std::move(values);
            }
        }
    } catch (const Error& error) {
        // Asked for by a view while painting: nothing may be thrown into the event loop from here.
        qWarning("%s: rows %d to %d could not be read: %s", qPrintable(objectName()), first, first + count - 1,
                 qPrintable(error.message()));
    }
    qsizetype kept = count;
    for (const Page& held : m_pages) {
        kept += held.rows.size();
    }
    while (kept > KeptRows && !m_pages.empty()) {
        const auto oldest = std::min_element(m_pages.begin(), m_pages.end(),
                                             [](const Page& a, const Page& b) { return a.lastUse < b.lastUse; });
        kept -= oldest->rows.size();
        m_pages.erase(oldest);
    }
    m_pages.push_back(std::move(page));
    m_lastPage = m_pages.size() - 1;
    return m_pages.back().rows.at(row - first);
}

void Dataset::dropPages()
{
    m_pages.clear();
}

void Dataset::insertRowAt(int position, const QVector<QVariant>& row)
{
    if (!m_paged) {
        m_rows.insert(position, row);
        return;
    }
    const qint64 key = m_nextLocalKey++;
    m_keys.insert(m_keys.begin() + position, key);
    m_heldRows.insert(key, row);
    dropPages();
}

void Dataset::removeRowAt(int position)
{
    if (!m_paged) {
        m_rows.remove(position);
        return;
    }
    m_heldRows.remove(m_keys[size_t(position)]);
    m_keys.erase(m_keys.begin() + position);
    dropPages();
}

void Dataset::replaceRow(int position, const QVector<QVariant>& row)
{
    if (!m_paged) {
        m_rows[position] = row;
        return;
    }
    // A row added here takes the key the database gave it.
    qint64& key = m_keys[size_t(position)];
    const QVariant& newKey = row.at(m_keyField);
    m_heldRows.remove(key);
    if (!newKey.isNull()) {
        key = newKey.toLongLong();
    }
    m_heldRows.insert(key, row);
    for (Page& page : m_pages) {
        if (position >= page.first && position < page.first + page.rows.size()) {
            page.rows[position - page.first] = row;
        }
    }
}

void Dataset::setFieldStored(Field* field, const QVariant& stored)
{
    if (m_calcRow) {
        if (field->kind() != FieldKind::Calculated) {
            throw DatabaseError(QStringLiteral("%1: Field '%2' cannot be modified while calculating")
                                    .arg(objectName(), field->fieldName()));
        }
        (*m_calcRow)[field->index()] = stored;
        return;
    }
    if (m_state != State::Edit && m_state != State::Insert) {
        throw DatabaseError(QStringLiteral("%1: Dataset not in edit or insert mode").arg(objectName()));
    }
    if (field->isReadOnly() || field->kind() != FieldKind::Data) {
        throw DatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(field->fieldName()));
    }
    if (field->type() == FieldType::String && field->size() > 0 && stored.toString().size() > field->size()) {
        throw DatabaseError(QStringLiteral("Field '%1' is too small to accept the amount of data you attempted to add")
                                .arg(field->fieldName()));
    }
    m_editBuffer[field->index()] = stored;
    calculate(m_editBuffer);
    if (notifying()) {
        Q_EMIT fieldChanged(field);
        Q_EMIT rowDataChanged(m_current);
    }
}

void Dataset::append()
{
    requireBrowse("append");
    if (beforeInsert) {
        beforeInsert(*this);
    }
    QVector<QVariant> row(m_fields.size());
    if (m_master) {
        Dataset* master = m_master->dataset();
        for (const QString& name : std::as_const(m_masterFields)) {
            Field* own = findField(name);
            if (own && master && master->recNo() >= 0) {
                row[own->index()] = own->toStored(master->fieldByName(name)->value());
            }
        }
    }
    if (m_appendOnly && !isEmpty()) {
        // Only the row being appended is kept: an import appends millions.
        if (notifying()) {
            Q_EMIT aboutToReset();
        }
        m_rows.clear();
        m_current = -1;
        if (notifying()) {
            Q_EMIT resetDone();
        }
    }
    const int position = rowCount();
    calculate(row);
    if (notifying()) {
        Q_EMIT aboutToInsertRow(position);
    }
    insertRowAt(position, row);
    m_editBuffer = row;
    m_current = position;
    m_bof = m_eof = false;
    m_state = State::Insert;
    if (notifying()) {
        Q_EMIT rowInserted(position);
        Q_EMIT stateChanged(m_state);
        Q_EMIT currentRowChanged(position);
    }
}

void Dataset::insert()
{
    if (m_current < 0 || m_appendOnly) {
        append();
        return;
    }
    requireBrowse("insert");
    const int position = m_current;
    append();
    if (position != m_current) {
        // Move the new row from the end to the current position.
        const int from = m_current;
        if (notifying()) {
            Q_EMIT aboutToRemoveRow(from);
        }
        removeRowAt(from);
        m_current = -1;
        if (notifying()) {
            Q_EMIT rowRemoved(from);
            Q_EMIT aboutToInsertRow(position);
        }
        insertRowAt(position, m_editBuffer);
        m_current = position;
        if (notifying()) {
            Q_EMIT rowInserted(position);
            Q_EMIT currentRowChanged(position);
        }
    }
}

void Dataset::edit()
{
    requireCurrentRow();
    if (isEditing()) {
        return;
    }
    if (beforeEdit) {
        beforeEdit(*this);
    }
    m_editBuffer = rowAt(m_current);
    setState(State::Edit);
}

void Dataset::post()
{
    requireActive();
    if (!isEditing()) {
        throw DatabaseError(QStringLiteral("%1: Dataset not in edit or insert mode").arg(objectName()));
    }
    if (beforePost) {
        beforePost(*this);
    }
    if (m_state == State::Edit) {
        const QVector<QVariant> before = rowAt(m_current);
        writeWithAfterWrite([&] { writeUpdate(before, m_editBuffer); });
        replaceRow(m_current, m_editBuffer);
    } else {
        // A failed write leaves the row as it was before: no key of an insert that was undone.
        const QVector<QVariant> unwritten = m_editBuffer;
        try {
            writeWithAfterWrite([this] { writeInsert(m_editBuffer); });
        } catch (...) {
            m_editBuffer = unwritten;
            throw;
        }
        // Stored: whatever fails from here on must not leave the row to be inserted a second time.
        QVector<QVariant> posted = std::move(m_editBuffer);
        m_editBuffer.clear();
        replaceRow(m_current, posted);
        setState(State::Browse);
        calculate(posted);
        replaceRow(m_current, posted);
        if (notifying()) {
            Q_EMIT rowDataChanged(m_current);
        }
        return;
    }
    m_editBuffer.clear();
    setState(State::Browse);
    if (notifying()) {
        Q_EMIT rowDataChanged(m_current);
    }
}

// SQLite opens a transaction for a savepoint outside one; PostgreSQL wants one open first. There a savepoint
// outside a transaction begins one, which the savepoint's release ends: committed when it is released, rolled
// back when the release fails.
bool Dataset::savepointExec(QSqlQuery& query, const QString& command)
{
    const bool postgres = Database::isPostgres(m_connectionName);
    if (postgres && command.startsWith(QLatin1String("SAVEPOINT "))) {
        if (!Database::inPostgresTransaction(m_connectionName)) {
            if (!query.exec(QStringLiteral("BEGIN"))) {
                return false;
            }
            m_savepointTransactions << command.mid(10);
        }
        if (!query.exec(command)) {
            if (m_savepointTransactions.remove(command.mid(10))) {
                QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
            }
            return false;
        }
        return true;
    }
    const bool done = query.exec(command);
    if (postgres && command.startsWith(QLatin1String("RELEASE ")) && m_savepointTransactions.remove(command.mid(8))) {
        QSqlQuery end(database());
        if (!done || !end.exec(QStringLiteral("COMMIT"))) {
            end.exec(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    return done;
}

template<typename Write>
void Dataset::writeWithAfterWrite(Write&& write)
{
    if (!afterWrite) {
        write();
        return;
    }
    QSqlQuery savepoint(database());
    if (!savepointExec(savepoint, QStringLiteral("SAVEPOINT dataset_post"))) {
        throw DriverError(driverMessage(savepoint.lastError()));
    }
    try {
        write();
        afterWrite(*this);
    } catch (...) {
        savepointExec(savepoint, QStringLiteral("ROLLBACK TO dataset_post"));
        savepointExec(savepoint, QStringLiteral("RELEASE dataset_post"));
        throw;
    }
    if (!savepointExec(savepoint, QStringLiteral("RELEASE dataset_post"))) {
        const QString message = driverMessage(savepoint.lastError());
        savepointExec(savepoint, QStringLiteral("ROLLBACK TO dataset_post"));
        savepointExec(savepoint, QStringLiteral("RELEASE dataset_post"));
        throw DriverError(message);
    }
}

void Dataset::cancel()
{
    if (m_state == State::Edit) {
        m_editBuffer.clear();
        setState(State::Browse);
        if (notifying()) {
            Q_EMIT rowDataChanged(m_current);
        }
    } else if (m_state == State::Insert) {
        m_editBuffer.clear();
        m_state = State::Browse;
        if (notifying()) {
            Q_EMIT stateChanged(m_state);
        }
        removeCurrentRow();
    }
}

void Dataset::removeCurrentRow()
{
    const int row = m_current;
    if (notifying()) {
        Q_EMIT aboutToRemoveRow(row);
    }
    removeRowAt(row);
    m_current = std::min(row, rowCount() - 1);
    m_eof = isEmpty();
    if (notifying()) {
        Q_EMIT rowRemoved(row);
        Q_EMIT currentRowChanged(m_current);
    }
}

void Dataset::remove()
{
    requireActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    requireCurrentRow();
    if (beforeDelete) {
        beforeDelete(*this);
    }
    if (m_state == State::Edit) {
        cancel();
    }
    const QVector<QVariant> removed = rowAt(m_current);
    writeDelete(removed);
    removeCurrentRow();
}

void Dataset::disableControls()
{
    ++m_disableCount;
}

void Dataset::enableControls()
{
    if (m_disableCount == 0) {
        return;
    }
    if (--m_disableCount == 0) {
        Q_EMIT aboutToReset();
        Q_EMIT resetDone();
        Q_EMIT stateChanged(m_state);
        Q_EMIT currentRowChanged(m_current);
    }
}

const Dataset::TableInfo& Dataset::tableInfo()
{
    if (m_tableInfo && m_tableInfo->table == m_baseTable) {
        return *m_tableInfo;
    }
    auto info = std::make_unique<TableInfo>();
    info->table = m_baseTable;
    if (!m_baseTable.isEmpty() && Database::isPostgres(m_connectionName)) {
        readPostgresTableInfo(*info);
    } else if (!m_baseTable.isEmpty()) {
        QSqlQuery query(database());
        if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quotedIdentifier(m_baseTable)))) {
            throw DriverError(driverMessage(query.lastError()));
        }
        QMap<int, QString> keys;
        while (query.next()) {
            const QString name = query.value(1).toString();
            const QString type = query.value(2).toString().toUpper();
            const int pk = query.value(5).toInt();
            info->columns << name;
            info->types.insert(name.toLower(), type);
            if (pk > 0) {
                keys.insert(pk, name);
            }
        }
        info->keyColumns = keys.values();
        if (info->keyColumns.size() == 1 &&
            info->types.value(info->keyColumns.first().toLower()) == QLatin1String("INTEGER")) {
            info->rowidColumn = info->keyColumns.first();
        }
    }
    m_tableInfo = std::move(info);
    return *m_tableInfo;
}

// The columns of the base table on PostgreSQL, with their types named as SQLite's schema declares them, and its
// primary key; the single whole-number key is the one the database numbers.
void Dataset::readPostgresTableInfo(TableInfo& info)
{
    const std::unique_ptr<RowStatement> columns = RowStatement::prepare(
        m_connectionName, QStringLiteral("SELECT a.attname, format_type(a.atttypid, a.atttypmod),"
                                         " coalesce(array_position(i.indkey::int2[], a.attnum)"
                                         " - array_lower(i.indkey::int2[], 1) + 1, 0)"
                                         " FROM pg_attribute a"
                                         " LEFT JOIN pg_index i ON i.indrelid = a.attrelid AND i.indisprimary"
                                         " WHERE a.attrelid = to_regclass(?) AND a.attnum > 0 AND NOT a.attisdropped"
                                         " ORDER BY a.attnum"));
    columns->bind(0, quotedIdentifier(m_baseTable.toLower()));
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
    info.keyColumns = keys.values();
    if (info.keyColumns.size() == 1 &&
        info.types.value(info.keyColumns.first().toLower()) == QLatin1String("INTEGER")) {
        info.rowidColumn = info.keyColumns.first();
    }
}

QSqlQuery& Dataset::preparedWrite(const QString& statement)
{
    auto it = m_writeQueries.find(statement);
    if (it == m_writeQueries.end()) {
        auto query = std::make_shared<QSqlQuery>(database());
        if (!query->prepare(Database::storeSql(statement, m_connectionName))) {
            throw DriverError(driverMessage(query->lastError()));
        }
        it = m_writeQueries.insert(statement, query);
    }
    return **it;
}

Dataset::RowCriteria Dataset::rowCriteria(const QVector<QVariant>& row)
{
    // By the table's key when the dataset carries all of it, else by every column it carries.
    const TableInfo& info = tableInfo();
    RowCriteria result;
    result.byKey = !info.keyColumns.isEmpty();
    for (const QString& key : info.keyColumns) {
        const Field* field = findField(key);
        result.byKey = result.byKey && field && field->kind() == FieldKind::Data;
    }
    for (const QString& column : result.byKey ? info.keyColumns : info.columns) {
        const Field* field = findField(column);
        if (!field || field->kind() != FieldKind::Data) {
            continue;
        }
        result.criteria << quotedIdentifier(column) + QStringLiteral(" IS ?");
        result.values << toDatabase(field, row.at(field->index()));
    }
    if (result.criteria.isEmpty()) {
        throw DatabaseError(QStringLiteral("%1: Table '%2' cannot be updated").arg(objectName(), m_baseTable));
    }
    return result;
}

void Dataset::writeUpdate(const QVector<QVariant>& before, const QVector<QVariant>& after)
{
    const TableInfo& info = tableInfo();
    QStringList assignments;
    QVariantList values;
    for (const Field* field : std::as_const(m_fields)) {
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
    const bool byKey = where.byKey;
    const QStringList& criteria = where.criteria;
    const QVariantList& criteriaValues = where.values;
    const QString statement = QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                                  .arg(quotedIdentifier(m_baseTable), assignments.join(QStringLiteral(", ")),
                                       criteria.join(QStringLiteral(" AND ")));
    QSqlDatabase db = database();
    // Prepared before the savepoint opens: a failure to prepare must not leave the connection inside it.
    QSqlQuery& query = preparedWrite(statement);
    QSqlQuery savepoint(db);
    if (!byKey && !savepointExec(savepoint, QStringLiteral("SAVEPOINT dataset_update"))) {
        throw DriverError(driverMessage(savepoint.lastError()));
    }
    int position = 0;
    for (const QVariant& value : std::as_const(values)) {
        query.bindValue(position++, value);
    }
    for (const QVariant& value : std::as_const(criteriaValues)) {
        query.bindValue(position++, value);
    }
    if (!query.exec()) {
        const QString message = driverMessage(query.lastError());
        if (!byKey) {
            savepointExec(savepoint, QStringLiteral("ROLLBACK TO dataset_update"));
            savepointExec(savepoint, QStringLiteral("RELEASE dataset_update"));
        }
        throw DriverError(message);
    }
    const int affected = query.numRowsAffected();
    query.finish();
    if (!byKey) {
        if (affected > 1) {
            savepointExec(savepoint, QStringLiteral("ROLLBACK TO dataset_update"));
        }
        savepointExec(savepoint, QStringLiteral("RELEASE dataset_update"));
    }
    if (affected == 0) {
        throw DatabaseError(QStringLiteral(
            "Row cannot be located for updating. Some values may have been changed since it was last read."));
    }
    if (affected > 1) {
        throw DatabaseError(QStringLiteral(
            "Key column information is insufficient or incorrect. Too many rows were affected by update."));
    }
}

void Dataset::writeInsert(QVector<QVariant>& row)
{
    const TableInfo& info = tableInfo();
    if (info.columns.isEmpty()) {
        throw DatabaseError(QStringLiteral("%1: Table '%2' cannot be updated").arg(objectName(), m_baseTable));
    }
    QStringList columns;
    QVariantList values;
    for (const Field* field : std::as_const(m_fields)) {
        const int column = info.columnIndex(field->fieldName());
        if (field->kind() != FieldKind::Data || column < 0 || row.at(field->index()).isNull()) {
            continue;
        }
        columns << quotedIdentifier(info.columns.at(column));
        values << toDatabase(field, row.at(field->index()));
    }
    QString statement;
    if (columns.isEmpty()) {
        statement = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quotedIdentifier(m_baseTable));
    } else {
        statement = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(quotedIdentifier(m_baseTable), columns.join(QStringLiteral(", ")),
                             QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
    }
    // PostgreSQL hands back the number it gave the row with the insert itself.
    const Field* numbered = info.rowidColumn.isEmpty() ? nullptr : findField(info.rowidColumn);
    numbered = numbered && numbered->kind() == FieldKind::Data ? numbered : nullptr;
    const bool returning = numbered && Database::isPostgres(m_connectionName);
    if (returning) {
        statement += QStringLiteral(" RETURNING ") + quotedIdentifier(info.rowidColumn);
    }
    QSqlQuery& query = preparedWrite(statement);
    for (int i = 0; i < values.size(); ++i) {
        query.bindValue(i, values.at(i));
    }
    if (!query.exec()) {
        throw DriverError(driverMessage(query.lastError()));
    }
    if (returning) {
        row[numbered->index()] = QVariant(query.next() ? query.value(0).toLongLong() : qint64(0));
    } else if (numbered) {
        row[numbered->index()] = QVariant(query.lastInsertId().toLongLong());
    }
    query.finish();
}

void Dataset::writeDelete(const QVector<QVariant>& row)
{
    const RowCriteria where = rowCriteria(row);
    const bool byKey = where.byKey;
    const QStringList& criteria = where.criteria;
    const QVariantList& values = where.values;
    // Without a key only one of several equal rows goes.
    const QString statement =
        byKey ? QStringLiteral("DELETE FROM %1 WHERE %2")
                    .arg(quotedIdentifier(m_baseTable), criteria.join(QStringLiteral(" AND ")))
              : QStringLiteral("DELETE FROM %1 WHERE %3 = (SELECT %3 FROM %1 WHERE %2 LIMIT 1)")
                    .arg(quotedIdentifier(m_baseTable), criteria.join(QStringLiteral(" AND ")),
                         // the row's own address: SQLite's rowid, PostgreSQL's ctid
                         Database::isPostgres(m_connectionName) ? QStringLiteral("ctid") : QStringLiteral("rowid"));
    QSqlQuery& query = preparedWrite(statement);
    for (int i = 0; i < values.size(); ++i) {
        query.bindValue(i, values.at(i));
    }
    if (!query.exec()) {
        throw DriverError(driverMessage(query.lastError()));
    }
    const int affected = query.numRowsAffected();
    query.finish();
    if (affected == 0) {
        throw DatabaseError(QStringLiteral(
            "Row cannot be located for updating. Some values may have been changed since it was last read."));
    }
}

} // namespace tollbook
