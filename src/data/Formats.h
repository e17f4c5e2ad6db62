#pragma once

#include <QChar>
#include <QDateTime>
#include <QString>

// The process-wide formats every conversion between values and text uses: day-first short dates and a
// comma as decimal separator, set once at start-up.
namespace tollbook::Formats {

QString shortDateFormat(); // "dd/MM/yyyy"
void setShortDateFormat(const QString& format);
QChar decimalSeparator();  // ','
QChar thousandSeparator(); // '.'
void setSeparators(QChar decimal, QChar thousand);

// Amounts of money: two decimals, thousands grouped ("1.234,50").
inline const QString MoneyFormat = QStringLiteral("###,##0.00");

QString formatDate(const QDate& date);
// A date-time as the grids show it: the date alone at midnight, else date and "hh:mm:ss".
QString formatDateTime(const QDateTime& dateTime);
// A number with the decimal separator; a mask such as "###,##0.00" fixes the decimals and grouping.
QString formatNumber(double value, const QString& mask = QString());
// Reads a number written with the process's decimal separator (a point is taken as well).
bool parseNumber(const QString& text, double* value);

} // namespace tollbook::Formats
