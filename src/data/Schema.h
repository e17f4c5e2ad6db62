#pragma once

#include <QStringList>

namespace tollbook::Schema {

// The two kinds of database the schema is made for.
enum class Dialect { Sqlite, Postgres };

// The collation of the text columns on PostgreSQL (an ICU collation the schema creates).
inline constexpr const char* PostgresCollation = "tollbook_nocase";

// The statements that create the eight tables (and the record of imported journal copies), their indexes and the
// reserved and reference rows of a new installation's database. Run in order inside one transaction.
//
// How the database keeps what the queries expect of it:
// - text columns compare and sort by the application's collation (COLLATE TOLLBOOK_NOCASE, Collation.h:
//   letter case ignored also for accented letters, accented letters sorted with their base letter), in =,
//   joins, distinct, group by, order by and keys; the one-character flags compare exactly, so "s" and "S"
//   never fall into one group;
// - dates are ISO text: "yyyy-MM-dd" for a date without time, "yyyy-MM-dd HH:mm:ss" otherwise, so that
//   they order and compare as dates across months and years;
// - prices (declared CURRENCY) are integers counting ten-thousandths, fixed point with four decimals, so
//   sums over any number of jobs are exact;
// - one price row per printer and paper code, enforced by a unique index.
//
// PostgreSQL gets the same tables, columns, widths, keys and rows from the same definitions: the texts that
// ignore letter case are citext under an ICU collation (the comparison above, LIKE included), the others plain
// text; dates are date and timestamp without time zone; prices bigint ten-thousandths; the numbered keys identity
// columns that, as on SQLite, never hand out a number a row was given. Names are written unquoted there, so PostgreSQL
// keeps them in lower case.
QStringList createStatements(Dialect dialect = Dialect::Sqlite);

// The tables createStatements() makes.
QStringList tableNames();

// The most characters a text column of a table holds (names compared ignoring letter case); 0 for a column that
// is no text or has no such limit, or that the schema does not have. The one declaration of the widths: the
// tables are created with them, and the import cuts its texts to them.
int textWidth(const QString& table, const QString& column);

// Windows paper-size codes and their names, as delivered in table Papel.
struct PaperName
{
    int code;
    const char* name;
};
const QList<PaperName>& paperNames();

} // namespace tollbook::Schema
