#include "DatasetValues.h"

#include "Dataset.h"
#include "TextCompare.h"
#include "platform/Errors.h"

#include <QRegularExpression>
#include <QSqlDatabase>

#include <cmath>

namespace tollbook::DatasetValues {

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

void requireOpenConnection(const QString& dataset, const QString& connectionName)
{
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    if (!db.isValid() || !db.isOpen()) {
        throw DatabaseError(QStringLiteral("%1: Missing or closed connection '%2'").arg(dataset, connectionName));
    }
}

} // namespace tollbook::DatasetValues
