#include "Field.h"

#include "Dataset.h"
#include "Formats.h"
#include "platform/Errors.h"

#include <cmath>

namespace tollbook {

namespace {

constexpr double CurrencyScale = 10000.0;

// Digits at text[pos, pos + count) as a number, or -1.
int digits(const QString& text, int pos, int count)
{
    if (pos + count > text.size()) {
        return -1;
    }
    int value = 0;
    for (int i = pos; i < pos + count; ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return -1;
        }
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

qint64 roundedUnits(double value)
{
    return qint64(std::llround(value * CurrencyScale));
}

} // namespace

namespace FieldValues {

QDateTime parseIsoDateTime(const char* text, int length)
{
    // Hand-parsed from the database's bytes: views fetch tens of thousands of dates at a time.
    const auto digitsAt = [&](int pos, int count) {
        if (pos + count > length) {
            return -1;
        }
        int value = 0;
        for (int i = pos; i < pos + count; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return -1;
            }
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    const int year = digitsAt(0, 4);
    const int month = digitsAt(5, 2);
    const int day = digitsAt(8, 2);
    if (year < 0 || month < 0 || day < 0 || text[4] != '-' || text[7] != '-') {
        return QDateTime();
    }
    const QDate date(year, month, day);
    if (!date.isValid()) {
        return QDateTime();
    }
    if (length == 10) {
        return QDateTime(date, QTime(0, 0), Qt::UTC);
    }
    const int hour = digitsAt(11, 2);
    const int minute = digitsAt(14, 2);
    const int second = length >= 19 ? digitsAt(17, 2) : 0;
    if (hour < 0 || minute < 0 || second < 0 || !QTime::isValid(hour, minute, second)) {
        return QDateTime();
    }
    return QDateTime(date, QTime(hour, minute, second), Qt::UTC);
}

QDateTime parseIsoDateTime(const QString& text)
{
    const QByteArray latin1 = text.toLatin1();
    return parseIsoDateTime(latin1.constData(), int(latin1.size()));
}

QString toIsoText(const QDateTime& dateTime)
{
    if (!dateTime.isValid()) {
        return QString();
    }
    const QTime time = dateTime.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0) {
        return dateTime.date().toString(Qt::ISODate);
    }
    return dateTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime parseQueryDate(const QString& text)
{
    const QString trimmed = text.trimmed();
    const int month = digits(trimmed, 0, 2);
    const int day = digits(trimmed, 3, 2);
    const int year = digits(trimmed, 6, 4);
    if (trimmed.size() != 10 || month < 0 || day < 0 || year < 0 || trimmed.at(2) != QLatin1Char('/') ||
        trimmed.at(5) != QLatin1Char('/')) {
        return QDateTime();
    }
    const QDate date(year, month, day);
    return date.isValid() ? wallClock(date) : QDateTime();
}

QDateTime wallClock(const QDate& date, const QTime& time)
{
    // Local midnight does not exist on the days clocks jump at midnight (Santiago, 2024-09-08): a date
    // made in the local zone would be invalid there.
    return date.isValid() && time.isValid() ? QDateTime(date, time, Qt::UTC) : QDateTime();
}

} // namespace FieldValues

Field::Field(Dataset* dataset, FieldKind kind, const QString& fieldName, FieldType type, int size)
    : QObject(dataset)
    , m_dataset(dataset)
    , m_kind(kind)
    , m_fieldName(fieldName)
    , m_type(type)
    , m_size(size)
{
    setObjectName(dataset->objectName() + fieldName);
    if (type == FieldType::AutoInc) {
        m_readOnly = true;
    }
}

Field& Field::setDisplayLabel(const QString& label)
{
    m_label = label;
    return *this;
}

Field& Field::setDisplayWidth(int characters)
{
    m_displayWidth = characters;
    return *this;
}

Field& Field::setVisible(bool visible)
{
    m_visible = visible;
    return *this;
}

Field& Field::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    return *this;
}

Field& Field::setSqlExpression(const QString& expression)
{
    m_sqlExpression = expression;
    return *this;
}

Field& Field::setDisplayFormat(const QString& format)
{
    m_displayFormat = format;
    return *this;
}

Field& Field::setFlag(bool flag)
{
    m_flag = flag;
    return *this;
}

Field& Field::setLookup(Dataset* lookupDataset, const QString& keyField, const QString& lookupKeyField,
                        const QString& resultField)
{
    m_lookupDataset = lookupDataset;
    m_keyField = keyField;
    m_lookupKeyField = lookupKeyField;
    m_lookupResultField = resultField;
    return *this;
}

QVariant Field::value() const
{
    return fromStored(m_dataset->storedValue(m_index));
}

QVariant Field::oldValue() const
{
    return fromStored(m_dataset->oldStoredValue(m_index));
}

bool Field::isNull() const
{
    return m_dataset->storedValue(m_index).isNull();
}

QString Field::asString() const
{
    const QVariant& stored = m_dataset->storedValue(m_index);
    if (stored.isNull()) {
        return QString();
    }
    switch (m_type) {
        case FieldType::DateTime:
            return Formats::formatDateTime(stored.toDateTime());
        case FieldType::Currency:
        case FieldType::Float:
            return Formats::formatNumber(fromStored(stored).toDouble());
        default:
            return stored.toString();
    }
}

qint64 Field::asInteger() const
{
    // Integer fields keep a qint64: read it as it is, without a copy and a conversion (cost rules read one
    // per fetched row).
    const QVariant& stored = m_dataset->storedValue(m_index);
    if (m_type != FieldType::Currency && stored.typeId() == QMetaType::LongLong) {
        return *static_cast<const qint64*>(stored.constData());
    }
    const QVariant v = value();
    if (v.isNull()) {
        return 0;
    }
    if (v.typeId() == QMetaType::Double) {
        return qint64(std::llround(v.toDouble()));
    }
    bool ok = false;
    const qint64 result = v.toLongLong(&ok);
    if (!ok) {
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
    }
    return result;
}

double Field::asFloat() const
{
    const QVariant v = value();
    if (v.isNull()) {
        return 0.0;
    }
    if (v.typeId() == QMetaType::QString) {
        double parsed = 0;
        if (!Formats::parseNumber(v.toString(), &parsed)) {
            throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(v.toString()));
        }
        return parsed;
    }
    return v.toDouble();
}

qint64 Field::asCurrencyUnits() const
{
    const QVariant& stored = m_dataset->storedValue(m_index);
    if (stored.isNull()) {
        return 0;
    }
    if (m_type == FieldType::Currency) {
        return stored.typeId() == QMetaType::LongLong ? *static_cast<const qint64*>(stored.constData())
                                                      : stored.toLongLong();
    }
    return roundedUnits(asFloat());
}

QDateTime Field::asDateTime() const
{
    const QVariant v = value();
    if (v.typeId() == QMetaType::QString) {
        return FieldValues::parseIsoDateTime(v.toString());
    }
    return v.toDateTime();
}

QString Field::displayText() const
{
    return displayTextOf(m_dataset->storedValue(m_index));
}

void Field::setValue(const QVariant& value)
{
    m_dataset->setFieldStored(this, toStored(value));
}

void Field::setCurrencyUnits(qint64 units)
{
    if (m_type == FieldType::Currency) {
        m_dataset->setFieldStored(this, QVariant(units));
    } else {
        setValue(double(units) / CurrencyScale);
    }
}

void Field::clear()
{
    m_dataset->setFieldStored(this, QVariant());
}

QVariant Field::toStored(const QVariant& value) const
{
    if (!value.isValid() || value.isNull()) {
        return QVariant();
    }
    const bool isText = value.typeId() == QMetaType::QString;
    switch (m_type) {
        case FieldType::String:
            return value.toString();
        case FieldType::Integer:
        case FieldType::AutoInc: {
            if (value.typeId() == QMetaType::Double) {
                return QVariant(qint64(std::llround(value.toDouble())));
            }
            bool ok = false;
            const qint64 number = isText ? value.toString().trimmed().toLongLong(&ok) : value.toLongLong(&ok);
            if (!ok) {
                throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(value.toString()));
            }
            return QVariant(number);
        }
        case FieldType::Float:
        case FieldType::Currency: {
            double number = 0;
            bool ok = true;
            if (isText) {
                ok = Formats::parseNumber(value.toString(), &number);
            } else {
                number = value.toDouble(&ok);
            }
            if (!ok) {
                throw ConversionError(QStringLiteral("'%1' is not a valid floating point value").arg(value.toString()));
            }
            return m_type == FieldType::Float ? QVariant(number) : QVariant(roundedUnits(number));
        }
        case FieldType::DateTime: {
            QDateTime dateTime;
            if (value.typeId() == QMetaType::QDate) {
                dateTime = FieldValues::wallClock(value.toDate());
            } else if (isText) {
                const QString text = value.toString();
                dateTime = FieldValues::parseIsoDateTime(text);
                if (!dateTime.isValid()) {
                    dateTime = FieldValues::wallClock(QDate::fromString(text.trimmed(), Formats::shortDateFormat()));
                }
            } else if (value.typeId() == QMetaType::QDateTime) {
                // Only the date and the time on the clock count: a local time that the zone skips (midnight
                // of a day whose clocks jump then) is invalid as an instant but still names that day.
                const QDateTime given = value.toDateTime();
                dateTime = FieldValues::wallClock(given.date(), given.time());
            } else {
                dateTime = value.toDateTime();
            }
            if (!dateTime.isValid()) {
                throw ConversionError(QStringLiteral("'%1' is not a valid date").arg(value.toString()));
            }
            // Kept as wall-clock time without a zone (no conversion on every row read), in whole seconds as
            // the database keeps them.
            const QTime time = dateTime.time();
            return QDateTime(dateTime.date(), QTime(time.hour(), time.minute(), time.second()), Qt::UTC);
        }
        case FieldType::Unknown:
            break;
    }
    return value;
}

QVariant Field::fromStored(const QVariant& stored) const
{
    if (stored.isNull()) {
        return stored;
    }
    if (m_type == FieldType::Currency) {
        return QVariant(double(stored.toLongLong()) / CurrencyScale);
    }
    if (m_type == FieldType::DateTime) {
        // Stored as wall-clock time without a zone (Qt::UTC), and handed out so: every day has a midnight.
        return stored;
    }
    return stored;
}

QString Field::displayTextOf(const QVariant& stored) const
{
    if (stored.isNull()) {
        return QString();
    }
    switch (m_type) {
        case FieldType::DateTime: {
            const QDateTime dateTime = stored.toDateTime();
            return m_displayFormat.isEmpty() ? Formats::formatDateTime(dateTime) : dateTime.toString(m_displayFormat);
        }
        case FieldType::Currency: {
            const double amount = double(stored.toLongLong()) / CurrencyScale;
            // The application's own number format, as the prices beside it, whatever the system's locale.
            return Formats::formatNumber(amount, m_displayFormat.isEmpty() ? Formats::MoneyFormat : m_displayFormat);
        }
        case FieldType::Float:
            return Formats::formatNumber(stored.toDouble(), m_displayFormat);
        default:
            return stored.toString();
    }
}

} // namespace tollbook
