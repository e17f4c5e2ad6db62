#include "Dataset.h"

#include "DataSource.h"
#include "Database.h"
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
    ColumnReader(int column, FieldType type)
        : m_column(column)
        , m_type(type)
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

} // namespace

Dataset::Dataset(const QString& name, QObject* parent)
    : QObject(parent)
    , m_connectionName(Database::ConnectionName)
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

void Dataset::bindParams(SqliteStatement& statement) const
{
    for (int i = 0; i < m_occurrences.size(); ++i) {
        statement.bind(i, bindableValue(m_params.at(m_occurrences.at(i))));
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

    SqliteStatement statement(m_connectionName, m_translatedSql);
    bindParams(statement);
    try {
        if (notifying()) {
            Q_EMIT aboutToReset();
        }
        m_rows.clear();
        fetch(statement, m_rows);
    } catch (...) {
        m_rows.clear();
        m_lookups.clear();
        if (notifying()) {
            Q_EMIT resetDone();
        }
        throw;
    }
    m_current = m_rows.isEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = m_rows.isEmpty();
    setState(State::Browse);
    if (notifying()) {
        Q_EMIT resetDone();
        Q_EMIT currentRowChanged(m_current);
    }
}

void Dataset::fetch(SqliteStatement& statement, QVector<QVector<QVariant>>& rows)
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
        readers.push_back(ColumnReader(column, field->type()));
    }
    buildLookups();
    const int fieldCount = int(m_fields.size());
    sqlite3_stmt* handle = statement.handle();
    while (statement.step()) {
        QVector<QVariant> row(fieldCount);
        QVariant* values = row.data();
        const qsizetype rowCount = rows.size();
        for (int field = 0; field < fieldCount; ++field) {
            const int reader = readerOfField[size_t(field)];
            if (reader >= 0) {
                readers[size_t(reader)].read(handle, rowCount, values[field]);
            }
        }
        calculate(row);
        rows.append(std::move(row));
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
    if (isEditing()) {
        cancel();
    }
    takeMasterParams();
    QVector<QVector<QVariant>> fresh;
    {
        SqliteStatement statement(m_connectionName, m_translatedSql);
        bindParams(statement);
        fetch(statement, fresh);
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
    for (const QVector<QVariant>& row : std::as_const(m_rows)) {
        const QVariant& value = row.at(key);
        if (!value.isNull() && (!holdsKey || value.toLongLong() > highest)) {
            highest = value.toLongLong();
            holdsKey = true;
        }
    }
    SqliteStatement statement(m_connectionName,
                              QStringLiteral("SELECT * FROM (%1) WHERE %2 > ?")
                                  .arg(m_translatedSql, quotedIdentifier(fields().at(key)->fieldName())));
    bindParams(statement);
    statement.bind(int(m_occurrences.size()), holdsKey ? highest : std::numeric_limits<qint64>::min());

    QVector<QVector<QVariant>> added;
    fetch(statement, added);
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
    if (!query.prepare(m_translatedSql)) {
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
    m_eof = m_rows.isEmpty();
    setCurrent(m_rows.isEmpty() ? -1 : 0);
}

void Dataset::next()
{
    requireBrowse("next");
    m_bof = false;
    if (m_current + 1 >= m_rows.size()) {
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
    m_bof = m_rows.isEmpty();
    setCurrent(int(m_rows.size()) - 1);
}

void Dataset::moveTo(int row)
{
    requireBrowse("moveTo");
    if (row < 0 || row >= m_rows.size()) {
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
    for (int row = 0; row < m_rows.size(); ++row) {
        const QVariant& stored = m_rows.at(row).at(field->index());
        bool equal = false;
        if (wanted.isNull() || stored.isNull()) {
            equal = wanted.isNull() && stored.isNull();
        } else if (stored.typeId() == QMetaType::QString) {
            // Without case, as the database compares its text keys.
            equal = caseInsensitive ? TextCompare::equal(stored.toString(), wanted.toString())
                                    : stored.toString() == wanted.toString();
        } else {
            equal = stored == wanted;
        }
        if (equal) {
            m_bof = m_eof = false;
            setCurrent(row);
            return true;
        }
    }
    return false;
}

const QVariant& Dataset::storedValue(int row, int fieldIndex) const
{
    static const QVariant null;
    const QVector<QVariant>* values = nullptr;
    if (row == m_current && isEditing()) {
        values = &m_editBuffer;
    } else if (row >= 0 && row < m_rows.size()) {
        values = &m_rows.at(row);
    }
    return values && fieldIndex >= 0 && fieldIndex < values->size() ? values->at(fieldIndex) : null;
}

const QVariant& Dataset::storedValue(int fieldIndex) const
{
    if (m_calcRow) {
        static const QVariant null;
        return fieldIndex >= 0 && fieldIndex < m_calcRow->size() ? m_calcRow->at(fieldIndex) : null;
    }
    return storedValue(m_current, fieldIndex);
}

const QVariant& Dataset::oldStoredValue(int fieldIndex) const
{
    static const QVariant null;
    if (m_current < 0 || m_current >= m_rows.size()) {
        return null;
    }
    const QVector<QVariant>& row = m_rows.at(m_current);
    return fieldIndex >= 0 && fieldIndex < row.size() ? row.at(fieldIndex) : null;
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
    if (m_appendOnly && !m_rows.isEmpty()) {
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
    const int position = int(m_rows.size());
    calculate(row);
    if (notifying()) {
        Q_EMIT aboutToInsertRow(position);
    }
    m_rows.insert(position, row);
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
        m_rows.remove(from);
        m_current = -1;
        if (notifying()) {
            Q_EMIT rowRemoved(from);
            Q_EMIT aboutToInsertRow(position);
        }
        m_rows.insert(position, m_editBuffer);
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
    m_editBuffer = m_rows.at(m_current);
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
        writeWithAfterWrite([this] { writeUpdate(m_rows.at(m_current), m_editBuffer); });
        m_rows[m_current] = m_editBuffer;
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
        m_rows[m_current] = m_editBuffer;
        m_editBuffer.clear();
        setState(State::Browse);
        calculate(m_rows[m_current]);
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

template<typename Write>
void Dataset::writeWithAfterWrite(Write&& write)
{
    if (!afterWrite) {
        write();
        return;
    }
    QSqlQuery savepoint(database());
    if (!savepoint.exec(QStringLiteral("SAVEPOINT dataset_post"))) {
        throw DriverError(driverMessage(savepoint.lastError()));
    }
    try {
        write();
        afterWrite(*this);
    } catch (...) {
        savepoint.exec(QStringLiteral("ROLLBACK TO dataset_post"));
        savepoint.exec(QStringLiteral("RELEASE dataset_post"));
        throw;
    }
    if (!savepoint.exec(QStringLiteral("RELEASE dataset_post"))) {
        const QString message = driverMessage(savepoint.lastError());
        savepoint.exec(QStringLiteral("ROLLBACK TO dataset_post"));
        savepoint.exec(QStringLiteral("RELEASE dataset_post"));
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
    m_rows.remove(row);
    m_current = std::min(row, int(m_rows.size()) - 1);
    m_eof = m_rows.isEmpty();
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
    writeDelete(m_rows.at(m_current));
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
    if (!m_baseTable.isEmpty()) {
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

QSqlQuery& Dataset::preparedWrite(const QString& statement)
{
    auto it = m_writeQueries.find(statement);
    if (it == m_writeQueries.end()) {
        auto query = std::make_shared<QSqlQuery>(database());
        if (!query->prepare(statement)) {
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
    if (!byKey && !savepoint.exec(QStringLiteral("SAVEPOINT dataset_update"))) {
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
            savepoint.exec(QStringLiteral("ROLLBACK TO dataset_update"));
            savepoint.exec(QStringLiteral("RELEASE dataset_update"));
        }
        throw DriverError(message);
    }
    const int affected = query.numRowsAffected();
    query.finish();
    if (!byKey) {
        if (affected > 1) {
            savepoint.exec(QStringLiteral("ROLLBACK TO dataset_update"));
        }
        savepoint.exec(QStringLiteral("RELEASE dataset_update"));
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
    QSqlQuery& query = preparedWrite(statement);
    for (int i = 0; i < values.size(); ++i) {
        query.bindValue(i, values.at(i));
    }
    if (!query.exec()) {
        throw DriverError(driverMessage(query.lastError()));
    }
    if (!info.rowidColumn.isEmpty()) {
        if (const Field* key = findField(info.rowidColumn); key && key->kind() == FieldKind::Data) {
            row[key->index()] = QVariant(query.lastInsertId().toLongLong());
        }
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
              : QStringLiteral("DELETE FROM %1 WHERE rowid = (SELECT rowid FROM %1 WHERE %2 LIMIT 1)")
                    .arg(quotedIdentifier(m_baseTable), criteria.join(QStringLiteral(" AND ")));
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
