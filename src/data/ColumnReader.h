#pragma once

// How a fetch reads result columns into the stored values of a dataset's fields, sharing the texts that repeat.
// Inline: one call per value read.

#include "Field.h"
#include "RowStatement.h"
#include "platform/Errors.h"

#include <QByteArray>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace tollbook {

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

} // namespace tollbook
