#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QVariant>

namespace tollbook {

class Dataset;

enum class FieldKind { Data, Lookup, Calculated };

// Value types of fields and parameters. Currency is fixed point with four decimals: the database keeps
// it as an integer of ten-thousandths and value() gives it as a double.
enum class FieldType { Unknown, String, Integer, AutoInc, Float, Currency, DateTime };

// One field of a dataset: a data field carries the result column of its name, a lookup field the result
// of a lookup dataset, a calculated field what the calculate hook puts in it. Its object name is the
// dataset's name followed by the field's name ("SQL_ImpressaoPrint_Hora"), the name the language files
// address it by.
class Field : public QObject
{
    Q_OBJECT

public:
    Field(Dataset* dataset, FieldKind kind, const QString& fieldName, FieldType type, int size);

    Dataset* dataset() const { return m_dataset; }
    const QString& fieldName() const { return m_fieldName; }
    FieldKind kind() const { return m_kind; }
    FieldType type() const { return m_type; }
    int size() const { return m_size; }
    int index() const { return m_index; }

    // Display properties, used by grids, combo boxes and charts.
    QString displayLabel() const { return m_label.isEmpty() ? m_fieldName : m_label; }
    Field& setDisplayLabel(const QString& label);
    int displayWidth() const { return m_displayWidth; }
    Field& setDisplayWidth(int characters);
    bool isVisible() const { return m_visible; }
    Field& setVisible(bool visible);
    bool isReadOnly() const { return m_readOnly || m_kind == FieldKind::Lookup; }
    Field& setReadOnly(bool readOnly);
    const QString& displayFormat() const { return m_displayFormat; }
    Field& setDisplayFormat(const QString& format);
    // A one-character "S"/"N" flag, shown as a check box.
    bool isFlag() const { return m_flag; }
    Field& setFlag(bool flag);

    // Lookup: the value of resultField in the first row of lookupDataset whose lookupKeyField equals
    // this dataset's keyField; the lookup rows are read once each time this dataset opens.
    Field& setLookup(Dataset* lookupDataset, const QString& keyField, const QString& lookupKeyField,
                     const QString& resultField);
    Dataset* lookupDataset() const { return m_lookupDataset; }
    const QString& lookupKeyField() const { return m_lookupKeyField; }
    const QString& keyField() const { return m_keyField; }
    const QString& lookupResultField() const { return m_lookupResultField; }

    // Calculated: the same value as an SQL expression over the query's columns, for the dataset's filter and
    // search; empty when the database cannot compute it.
    Field& setSqlExpression(const QString& expression);
    const QString& sqlExpression() const { return m_sqlExpression; }

    // The value in the current row (the edit buffer while editing, the row being calculated inside the
    // calculate hook). Currency as double, dates as QDateTime of wall-clock time without a zone (Qt::UTC:
    // no daylight-saving rule touches them, every day has its midnight), null as an invalid QVariant.
    QVariant value() const;
    // The value of the current row as it was read, before the edit under way.
    QVariant oldValue() const;
    bool isNull() const;
    QString asString() const;
    qint64 asInteger() const;
    double asFloat() const;
    qint64 asCurrencyUnits() const; // ten-thousandths
    QDateTime asDateTime() const;
    QString displayText() const;

    // Only in edit or insert state, or for calculated fields inside the calculate hook.
    void setValue(const QVariant& value);
    void setCurrencyUnits(qint64 units);
    void clear();

    // Conversion of a value to this field's stored form (Currency to units, dates to QDateTime).
    QVariant toStored(const QVariant& value) const;
    // The stored form as the field hands it out.
    QVariant fromStored(const QVariant& stored) const;
    QString displayTextOf(const QVariant& stored) const;

private:
    friend class Dataset;

    Dataset* m_dataset;
    FieldKind m_kind;
    QString m_fieldName;
    FieldType m_type;
    int m_size;
    int m_index = -1;
    QString m_label;
    int m_displayWidth = 0;
    bool m_visible = true;
    bool m_readOnly = false;
    bool m_flag = false;
    QString m_displayFormat;
    QPointer<Dataset> m_lookupDataset;
    QString m_keyField;
    QString m_lookupKeyField;
    QString m_lookupResultField;
    QString m_sqlExpression;
};

// Conversions shared by fields and parameters.
namespace FieldValues {
// A date-time from ISO text ("yyyy-MM-dd" or "yyyy-MM-dd HH:mm:ss"), or invalid.
// Dates are wall-clock times without a zone: they carry Qt::UTC so that no time-zone rule touches them.
QDateTime parseIsoDateTime(const QString& text);
QDateTime parseIsoDateTime(const char* text, int length);
// The text the database keeps for a date-time: the date alone at midnight.
QString toIsoText(const QDateTime& dateTime);
// A date-time from month/day/year query text ("12/31/2019"), or invalid.
QDateTime parseQueryDate(const QString& text);
// A day and time on the clock, without a zone; invalid when either is.
QDateTime wallClock(const QDate& date, const QTime& time = QTime(0, 0));
} // namespace FieldValues

} // namespace tollbook
