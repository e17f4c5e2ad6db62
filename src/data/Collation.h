#pragma once

// The application's rule for comparing and ordering texts, in plain C++ without Qt: the database
// connection registers it, and the loadable SQLite extension that lets outside tools open the file is
// built from the same source.
//
// Letter case is ignored beyond A-Z (É equals é, Ç equals ç), and accented letters sort with their base
// letter (Área before Vendas, ação between aba and acre); between texts that differ only in their
// accents, the one without comes first. Texts that differ in more than letter case are never equal.
// In Spanish order ñ is a letter of its own, after n.

namespace tollbook::Collation {

// The name of the collation in the database's schema and queries.
inline constexpr const char* Name = "TOLLBOOK_NOCASE";

// Compares two UTF-8 texts of the given lengths in bytes: negative, zero or positive.
int compare(const char* a, int aLength, const char* b, int bLength);

// The code point with its letter case removed (the form equality is decided on).
char32_t fold(char32_t codePoint);

// The signature SQLite calls a collation with.
int sqliteCompare(void* context, int aLength, const void* a, int bLength, const void* b);

} // namespace tollbook::Collation
