#pragma once

#include "data/Dataset.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace tollbook {

// The criteria of the filter dialog, read into the dataset's conditions: typed text is bound as values and
// never becomes SQL. Each criterion names a field and holds a value or a range:
// - a value matches anywhere in the field's text, or the whole text, or its start (the match option);
//   "%" stands for any run of characters; "null" matches an empty field; alternatives joined by "or" match
//   when one of them does, by "and" when all do;
// - dates are read as shown, day/month/year (a two-digit year is 1950 to 2049), and compared by day, or
//   to the second when a time is typed too; numbers compare as numbers within 0.0001;
// - a range keeps the rows from its first value to its last, both included; either end may be left open.
// A row passes when it meets every criterion; the non-matching option keeps the others instead.
class RowFilter
{
public:
    enum class Match { Anywhere, Exact, Start };

    struct Criterion
    {
        QString fieldName;
        QString value;     // a value criterion when not empty
        QString rangeFrom; // otherwise a range; an empty end is open
        QString rangeTo;
    };

    struct Options
    {
        Match match = Match::Anywhere;
        bool caseSensitive = false;
        bool nonMatching = false;
    };

    RowFilter() = default;
    RowFilter(QList<Criterion> criteria, Options options);

    const QList<Criterion>& criteria() const { return m_criteria; }
    const Options& options() const { return m_options; }
    // No criterion with anything typed in it: every row passes.
    bool isEmpty() const;

    // The dataset's filter that keeps the rows meeting the criteria; empty when there is none. A criterion
    // on a field the dataset does not have is left out.
    QList<Dataset::Condition> conditions(const Dataset& dataset) const;
    // Where the locate dialog goes: the field's value as shown begins with the typed text, in any case.
    static Dataset::Condition startingWith(const QString& fieldName, const QString& typed);

    // A date typed day/month/year with a two- or four-digit year, and an optional time "hh:mm[:ss]";
    // invalid when the text is not one. hasTime tells whether a time was typed.
    static QDateTime parseShownDate(const QString& text, bool* hasTime = nullptr);
    // The year a two-digit year stands for: 1950 to 2049.
    static int expandTwoDigitYear(int twoDigits);

private:
    std::optional<Dataset::Condition> criterionCondition(const Criterion& criterion, const Field& field) const;
    Dataset::Condition valueCondition(const QString& typed, const Field& field) const;
    Dataset::Condition rangeCondition(const Criterion& criterion, const Field& field) const;

    QList<Criterion> m_criteria;
    Options m_options;
};

} // namespace tollbook
