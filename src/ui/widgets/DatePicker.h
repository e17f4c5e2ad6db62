#pragma once

#include <QDateEdit>

namespace tollbook {

// A date picker as the views and charts have it: day, month and four-digit year in the short date format,
// a drop-down calendar, and a year typed with two digits read as 1950 to 2049.
class DatePicker : public QDateEdit
{
    Q_OBJECT

public:
    explicit DatePicker(QWidget* parent = nullptr);

    // The text with a two-digit year written out in four ("1/2/49" → "01/02/2049"); other texts unchanged.
    static QString withFullYear(const QString& text);

protected:
    QValidator::State validate(QString& input, int& position) const override;
    void fixup(QString& input) const override;
    // Qt's date edit leaves a year typed with two digits pending; Enter and leaving the field write it out.
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void takeTwoDigitYear();
};

} // namespace tollbook
