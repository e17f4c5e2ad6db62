#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

namespace tollbook {

// Writes a table of rows as an XLSX workbook with one sheet: a header row of titles, then one row per
// record. Every cell keeps its type: a text is always written as a text (a value starting with "=" stays a
// string and is never taken for a formula), numbers and amounts as numbers, days and times as dates. The
// workbook is written beside the target under a temporary name, flushed to disk and then renamed over it,
// so a failed export leaves the file that was there before untouched. The jobs grids export through it.
namespace XlsxTable {

enum class Kind {
    Text,     // any value, written as its text
    Integer,  // a whole number
    Number,   // a number as it is
    Money,    // an amount with two decimals in the sheet's currency format
    Date,     // the day of a date-time
    Time,     // the time of a date-time, shown "hh:mm:ss" (the day is kept in the value)
    DateTime, // day and time
};

struct Column
{
    QString title;
    Kind kind = Kind::Text;
    double width = 12; // characters
};

// The value of one cell; a null or invalid value leaves the cell empty. Money is given as a double or as
// a qint64 of ten-thousandths (the database's exact form), date kinds as QDateTime or QDate.
using CellValue = std::function<QVariant(int row, int column)>;

// Writes the workbook to path, creating the missing folders. Throws PlainError, naming the file and the
// reason, when anything fails; the file at path is then the one that was there before, or none.
void write(const QString& path, const QString& sheetName, const QList<Column>& columns, int rowCount,
           const CellValue& value);

// Excel's limit for one cell's text; longer texts are cut there.
constexpr int MaxTextLength = 32767;

} // namespace XlsxTable
} // namespace tollbook
