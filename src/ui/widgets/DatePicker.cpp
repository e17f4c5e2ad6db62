#include "ui/widgets/DatePicker.h"

#include "data/Formats.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>

namespace tollbook {

namespace {

const QRegularExpression& twoDigitYear()
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,2})/(\\d{1,2})/(\\d{2})\\s*$"));
    return pattern;
}

} // namespace

DatePicker::DatePicker(QWidget* parent)
    : QDateEdit(parent)
{
    setDisplayFormat(Formats::shortDateFormat());
    setCalendarPopup(true);
}

QString DatePicker::withFullYear(const QString& text)
{
    const QRegularExpressionMatch match = twoDigitYear().match(text);
    if (!match.hasMatch()) {
        return text;
    }
    const int year = match.captured(3).toInt();
    return QStringLiteral("%1/%2/%3")
        .arg(match.captured(1).toInt(), 2, 10, QLatin1Char('0'))
        .arg(match.captured(2).toInt(), 2, 10, QLatin1Char('0'))
        .arg(year < 50 ? 2000 + year : 1900 + year);
}

QValidator::State DatePicker::validate(QString& input, int& position) const
{
    // "31/12/19" is not yet a date: the year is written out when the editing ends.
    if (twoDigitYear().match(input).hasMatch()) {
        return QValidator::Intermediate;
    }
    return QDateEdit::validate(input, position);
}

void DatePicker::fixup(QString& input) const
{
    input = withFullYear(input);
    QDateEdit::fixup(input);
}

void DatePicker::takeTwoDigitYear()
{
    const QString text = lineEdit()->text();
    if (!twoDigitYear().match(text).hasMatch()) {
        return;
    }
    const QDate date = QDate::fromString(withFullYear(text), displayFormat());
    if (date.isValid()) {
        setDate(date);
    }
}

void DatePicker::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Enter || event->key() == Qt::Key_Return) {
        takeTwoDigitYear();
    }
    QDateEdit::keyPressEvent(event);
}

void DatePicker::focusOutEvent(QFocusEvent* event)
{
    takeTwoDigitYear();
    QDateEdit::focusOutEvent(event);
}

} // namespace tollbook
