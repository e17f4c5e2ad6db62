// A dataset's SQL, parameters and fields, and the reading of its rows: open, close, fetch and lookups.

#include "Dataset.h"

#include "ColumnReader.h"
#include "ConditionRules.h"
#include "DataSource.h"
#include "Database.h"
#include "DatasetValues.h"
#include "RowPager.h"
#include "RowStatement.h"
#include "RowWriter.h"
#include "Store.h"
#include "StoreTraits.h"
#include "platform/Errors.h"

#include <QRegularExpression>

#include <sqlite3.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cmath>

namespace tollbook {

using DatasetValues::lookupKey;
using DatasetValues::quotedIdentifier;
using DatasetValues::sizeFromDeclared;
using DatasetValues::typeFromDeclared;

namespace {

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
    , m_pager(std::make_unique<RowPager>(
          [this](RowStatement& statement, QVector<Row>& rows) { fetch(statement, rows, false); }))
    , m_writer(std::make_unique<RowWriter>(*this))
{
    setObjectName(name);
}

Dataset::~Dataset() = default;

void Dataset::setConnectionName(const QString& connectionName)
{
    close();
    m_connectionName = connectionName;
    m_writer->forget();
}

QString Dataset::sqlText() const
{
    return m_sql.join(QLatin1Char('\n'));
}

void Dataset::setSql(const QStringList& lines)
{
    close();
    m_sql = lines;
    m_writer->forget();
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
    m_writer->forget();
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

// A parameter as statements bind it, the one conversion of parameters: a date or time as a date and time on the
// clock, which SQLite receives as its ISO text and PostgreSQL as a timestamp, so that a time on it counts against a
// date column on both; a date parameter given as text is read as a date, month/day/year or ISO, whatever the
// locale; an amount as whole ten-thousandths.
QVariant Dataset::boundValue(const Parameter& param) const
{
    const QVariant& value = param.value;
    if (!value.isValid() || value.isNull()) {
        return QVariant(QMetaType(QMetaType::QString));
    }
    const auto onTheClock = [](const QDateTime& dateTime) {
        return dateTime.isValid() ? QVariant(dateTime) : QVariant(QString());
    };
    const int typeId = value.typeId();
    if (typeId == QMetaType::QDate) {
        return onTheClock(FieldValues::wallClock(value.toDate()));
    }
    if (typeId == QMetaType::QDateTime) {
        // The day and time on the clock, also where the local zone skips them.
        const QDateTime given = value.toDateTime();
        if (!given.date().isValid()) {
            return QVariant(QMetaType(QMetaType::QString)); // no date at all: null, as before
        }
        return onTheClock(FieldValues::wallClock(given.date(), given.time()));
    }
    if (param.type == FieldType::DateTime && typeId == QMetaType::QString) {
        const QString text = value.toString();
        QDateTime dateTime = FieldValues::parseQueryDate(text);
        if (!dateTime.isValid()) {
            dateTime = FieldValues::parseIsoDateTime(text);
        }
        if (!dateTime.isValid()) {
            throw ConversionError(QStringLiteral("'%1' is not a valid date").arg(text));
        }
        return QVariant(dateTime);
    }
    if (param.type == FieldType::DateTime) {
        const QDateTime dateTime = FieldValues::parseIsoDateTime(value.toString());
        return dateTime.isValid() ? QVariant(dateTime) : value;
    }
    if (param.type == FieldType::Currency) {
        switch (typeId) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
                return QVariant(value.toLongLong() * 10000); // whole amounts stay exact
            default:
                return QVariant(qint64(std::llround(value.toDouble() * 10000.0)));
        }
    }
    return value;
}

QVariantList Dataset::boundParams() const
{
    QVariantList values;
    values.reserve(m_occurrences.size());
    for (const int param : m_occurrences) {
        values << boundValue(m_params.at(param));
    }
    return values;
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
    DatasetValues::requireOpenConnection(objectName(), m_connectionName);
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
        m_pager->reset();
        // The keys first, where rows can be held by them: a large result stays in the database.
        std::vector<qint64> keys;
        if (keyField >= 0) {
            readKeys(keyField, keys);
        }
        if (keyField >= 0 && int(keys.size()) > m_pagedAbove && RowPager::allDistinct(keys)) {
            RowPager::Query query;
            query.name = objectName();
            query.connectionName = m_connectionName;
            query.sql = RowPager::withoutFinalOrder(m_translatedSql);
            query.keyColumn = m_fields.at(keyField)->fieldName();
            query.keyField = keyField;
            query.fieldCount = int(m_fields.size());
            query.keepStatement = StoreTraits::of(m_connectionName).keepsPageStatement;
            m_pager->start(query, std::move(keys));
            buildLookups();
        } else {
            keys = {};
            fetch(*statement, m_rows);
        }
    } catch (...) {
        m_rows.clear();
        m_pager->reset();
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

void Dataset::fetch(RowStatement& statement, QVector<Row>& rows, bool newLookups)
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
    m_pager->reset();
    m_editBuffer.clear();
    m_lookups.clear();
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

bool Dataset::isPaged() const
{
    return m_pager->isActive();
}

int Dataset::rowCount() const
{
    return m_pager->isActive() ? m_pager->rowCount() : int(m_rows.size());
}

const TableInfo& Dataset::tableInfo()
{
    return m_writer->tableInfo();
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

bool Dataset::readKeys(int keyField, std::vector<qint64>& keys, const QString& extraCondition,
                       const QVariantList& extraValues)
{
    const std::unique_ptr<RowStatement> statement = RowStatement::prepare(
        m_connectionName, filteredSql(quotedIdentifier(m_fields.at(keyField)->fieldName()), extraCondition));
    bindQuery(*statement, extraValues);
    if (extraCondition.isEmpty()) {
        m_pager->setBinding(boundParams());
    }
    return RowPager::readKeys(*statement, keys);
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
    int position = 0;
    for (const QVariant& value : boundParams()) {
        statement.bind(position++, value);
    }
    for (const QVariant& value : m_filterValues) {
        statement.bind(position++, value);
    }
    for (const QVariant& value : extraValues) {
        statement.bind(position++, value);
    }
}

int Dataset::execSql()
{
    DatasetValues::requireOpenConnection(objectName(), m_connectionName);
    const std::unique_ptr<RowStatement> statement = RowStatement::prepare(m_connectionName, m_translatedSql);
    bindQuery(*statement);
    return statement->execute();
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

const Dataset::Row& Dataset::rowAt(int row)
{
    return m_pager->isActive() ? m_pager->row(row) : m_rows.at(row);
}

void Dataset::insertRowAt(int position, const Row& row)
{
    if (m_pager->isActive()) {
        m_pager->insertRow(position, row);
    } else {
        m_rows.insert(position, row);
    }
}

void Dataset::removeRowAt(int position)
{
    if (m_pager->isActive()) {
        m_pager->removeRow(position);
    } else {
        m_rows.remove(position);
    }
}

void Dataset::replaceRow(int position, const Row& row)
{
    if (m_pager->isActive()) {
        m_pager->replaceRow(position, row);
    } else {
        m_rows[position] = row;
    }
}

} // namespace tollbook
