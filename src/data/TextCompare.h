#pragma once

#include <QString>

// The database's rule for texts (see Collation.h) for the application's own comparisons: a lookup, a
// locate ignoring case, the import matching a job's owner to the users registry.
namespace tollbook::TextCompare {

// Negative, zero or positive, as the database orders the two texts.
int compare(const QString& a, const QString& b);
// Equal as the database's text keys compare them: ignoring letter case, not accents.
bool equal(const QString& a, const QString& b);
// A key under which texts equal by the rule fall together, for hashes and maps.
QString key(const QString& text);

} // namespace tollbook::TextCompare
