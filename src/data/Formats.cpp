#include "Formats.h"

#include <QRegularExpression>

#include <cmath>

namespace tollbook::Formats {

namespace {
QString g_shortDateFormat = QStringLiteral("dd/MM/yyyy");
QChar g_decimal = QLatin1Char(',');
QChar g_thousand = QLatin1Char('.');
} // namespace

QString shortDateFormat()
{
    return g_shortDateFormat;
}
void setShortDateFormat(const QString& format)
{
    g_shortDateFormat = format;
}
QChar decimalSeparator()
{
    return g_decimal;
}
QChar thousandSeparator()
{
    return g_thousand;
}
void setSeparators(QChar decimal, QChar thousand)
{
    g_decimal = decimal;
    g_thousand = thousand;
}

QString formatDate(const QDate& date)
{
    return date.isValid() ? date.toString(g_shortDateFormat) : QString();
}

QString formatDateTime(const QDateTime& dateTime)
{
    if (!dateTime.isValid()) {
        return QString();
    }
    if (dateTime.time() == QTime(0, 0)) {
        return formatDate(dateTime.date());
    }
    return formatDate(dateTime.date()) + QLatin1Char(' ') + dateTime.time().toString(QStringLiteral("hh:mm:ss"));
}

QString formatNumber(double value, const QString& mask)
{
    if (mask.isEmpty()) {
        QString text = QString::number(value, 'g', 15);
        text.replace(QLatin1Char('.'), g_decimal);
        return text;
    }
    const int point = mask.indexOf(QLatin1Char('.'));
    const int decimals = point < 0 ? 0 : int(mask.size() - point - 1);
    const bool grouped = mask.left(point < 0 ? mask.size() : point).contains(QLatin1Char(','));
    QString text = QString::number(std::fabs(value), 'f', decimals);
    QString integral = text.section(QLatin1Char('.'), 0, 0);
    const QString fraction = decimals > 0 ? text.section(QLatin1Char('.'), 1, 1) : QString();
    if (grouped) {
        for (int i = int(integral.size()) - 3; i > 0; i -= 3) {
            integral.insert(i, g_thousand);
        }
    }
    QString result = integral;
    if (decimals > 0) {
        result += g_decimal + fraction;
    }
    const bool negative = value < 0 && result.contains(QRegularExpression(QStringLiteral("[1-9]")));
    return negative ? QLatin1Char('-') + result : result;
}

bool parseNumber(const QString& text, double* value)
{
    QString normalized = text.trimmed();
    normalized.replace(g_decimal, QLatin1Char('.'));
    bool ok = false;
    const double parsed = normalized.toDouble(&ok);
    if (ok && value) {
        *value = parsed;
    }
    return ok;
}

} // namespace tollbook::Formats
