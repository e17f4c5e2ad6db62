// The one translation of the application's SQL to PostgreSQL. Every statement of the data layer (the catalogue's
// queries, the dataset layer's filters, pages and writes, the registry rules, the purge) is written as for SQLite
// and goes through its store's sql() on its way to the database: unchanged on SQLite, translated on PostgreSQL as
// follows. What a statement can ask its store for (the row identity, RETURNING, a LIKE that counts letter case) is
// not translated here.
//
// - "Name" and [Name]: a quoted name is written in lower case, as PostgreSQL folds the unquoted names the schema
//   was created with (Impressao.Print_Id is the column print_id).
// - x IS ?, x IS NOT ?: IS [NOT] DISTINCT FROM, PostgreSQL's IS takes NULL, TRUE or FALSE only.
// - ? COLLATE BINARY: the value as text under the "C" collation, so that a comparison with a citext column
//   counts letter case; any other COLLATE BINARY is COLLATE "C".
// - x op ? COLLATE TOLLBOOK_NOCASE: CAST(x AS citext) op CAST(? AS citext), so that a text column (the one-letter
//   flags) compares ignoring letter case as the citext columns do; any other COLLATE TOLLBOOK_NOCASE is dropped,
//   the texts that ignore letter case are citext columns under the tollbook_nocase collation.
// - strftime('%Y-%m-%d %H:%M:%S', x): to_char(x, 'YYYY-MM-DD HH24:MI:SS').
// - printf(format, ...): its pieces joined by ||, with %d, %0Nd, %s, %.2f (rounded to two decimals) and %g.
// - ORDER BY: each term gets NULLS FIRST (NULLS LAST after DESC), where SQLite puts nulls (a job of a user without
//   a sector heads the sectors, as on SQLite); a term that says where its nulls go is left as written.
// - instr(a, b): strpos(a, b) of both as text, counting letter case as SQLite's does; group_concat(x[, separator]):
// string_agg(CAST(x AS text), separator or ','). tollbook_fold, substr, length, replace, coalesce, ||, LIMIT, LIKE ...
// ESCAPE '\', CAST(x AS TEXT), TRUE and FALSE are the same on both. Values are bound, never written into the SQL, so
// the placeholders stay "?".

#include "Collation.h"
#include "Database.h"

#include <QStringList>

namespace tollbook {

namespace {

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// From the character after an opening parenthesis: the arguments at its own depth and the index of its closing
// parenthesis; -1 when it does not close.
int splitArguments(const QString& sql, int from, QStringList& arguments)
{
    int depth = 0;
    QChar quote;
    int start = from;
    for (int i = from; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')')) {
            if (depth == 0) {
                arguments << sql.mid(start, i - start).trimmed();
                return i;
            }
            --depth;
        } else if (c == QLatin1Char(',') && depth == 0) {
            arguments << sql.mid(start, i - start).trimmed();
            start = i + 1;
        }
    }
    return -1;
}

// A strftime format as a to_char one, in quotes; empty when it holds what has no equivalent.
QString toCharFormat(const QString& quoted)
{
    if (quoted.size() < 2 || !quoted.startsWith(QLatin1Char('\'')) || !quoted.endsWith(QLatin1Char('\''))) {
        return QString();
    }
    const QString format = quoted.mid(1, quoted.size() - 2);
    QString result;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('%')) {
            if (c.isLetter()) {
                result += QLatin1Char('"') + c + QLatin1Char('"'); // literal, not a to_char pattern
            } else {
                result += c;
            }
            continue;
        }
        if (++i >= format.size()) {
            return QString();
        }
        switch (format.at(i).toLatin1()) {
            case 'Y':
                result += QLatin1String("YYYY");
                break;
            case 'm':
                result += QLatin1String("MM");
                break;
            case 'd':
                result += QLatin1String("DD");
                break;
            case 'H':
                result += QLatin1String("HH24");
                break;
            case 'M':
                result += QLatin1String("MI");
                break;
            case 'S':
                result += QLatin1String("SS");
                break;
            case '%':
                result += QLatin1Char('%');
                break;
            default:
                return QString();
        }
    }
    return QLatin1Char('\'') + result + QLatin1Char('\'');
}

// printf(format, values...) as a concatenation of its pieces; empty when the format holds what has no
// equivalent. %d and %0Nd (zero-padded), %s, %.2f (rounded to two decimals) and %g (the number as text).
QString printfSql(const QStringList& arguments)
{
    const QString& quoted = arguments.at(0);
    if (quoted.size() < 2 || !quoted.startsWith(QLatin1Char('\'')) || !quoted.endsWith(QLatin1Char('\''))) {
        return QString();
    }
    const QString format = quoted.mid(1, quoted.size() - 2);
    QStringList pieces;
    QString literal;
    int argument = 1;
    const auto flush = [&] {
        if (!literal.isEmpty()) {
            pieces << QLatin1Char('\'') + literal + QLatin1Char('\'');
            literal.clear();
        }
    };
    for (int i = 0; i < format.size(); ++i) {
        if (format.at(i) != QLatin1Char('%')) {
            literal += format.at(i);
            continue;
        }
        int end = i + 1;
        while (end < format.size() && !format.at(end).isLetter() && format.at(end) != QLatin1Char('%')) {
            ++end;
        }
        if (end >= format.size()) {
            return QString();
        }
        const QString flags = format.mid(i + 1, end - i - 1);
        const QChar conversion = format.at(end);
        i = end;
        if (conversion == QLatin1Char('%')) {
            literal += QLatin1Char('%');
            continue;
        }
        if (argument >= arguments.size()) {
            return QString();
        }
        const QString value = Database::postgresSql(arguments.at(argument++));
        flush();
        if (conversion == QLatin1Char('d') && flags.isEmpty()) {
            pieces << QStringLiteral("CAST(%1 AS bigint)").arg(value);
        } else if (conversion == QLatin1Char('d') && flags.size() >= 2 && flags.startsWith(QLatin1Char('0'))) {
            const int width = flags.mid(1).toInt();
            if (width <= 0 || width > 20) {
                return QString();
            }
            pieces << QStringLiteral("to_char(%1, 'FM%2')").arg(value, QString(width, QLatin1Char('0')));
        } else if (conversion == QLatin1Char('s') && flags.isEmpty()) {
            pieces << QStringLiteral("CAST(%1 AS text)").arg(value);
        } else if (conversion == QLatin1Char('f') && flags == QLatin1String(".2")) {
            pieces << QStringLiteral("CAST(round(CAST(%1 AS numeric), 2) AS text)").arg(value);
        } else if (conversion == QLatin1Char('g') && flags.isEmpty()) {
            pieces << QStringLiteral("CAST(%1 AS text)").arg(value);
        } else {
            return QString();
        }
    }
    flush();
    if (argument != arguments.size()) {
        return QString();
    }
    return pieces.isEmpty() ? QStringLiteral("''")
                            : QLatin1Char('(') + pieces.join(QLatin1String(" || ")) + QLatin1Char(')');
}

// The index of the next character that is not blank, from `from`.
int skipBlanks(const QString& sql, int from)
{
    while (from < sql.size() && sql.at(from).isSpace()) {
        ++from;
    }
    return from;
}

// The word at `from` (letters, digits, "_"), lower-cased; empty when none.
QString wordAt(const QString& sql, int from)
{
    int end = from;
    while (end < sql.size() && isNameChar(sql.at(end))) {
        ++end;
    }
    return sql.mid(from, end - from).toLower();
}

// Where the output ends with "operand op ?", both sides as citext: a comparison that ignores letter case also
// where the column is text (the one-letter flags); a citext column stays as it is, its index usable. The operand
// is a quoted or plain name (with its table) or a parenthesised expression (with its function's name).
void caseIgnoredComparison(QString& out)
{
    if (!out.endsWith(QLatin1Char('?'))) {
        return;
    }
    int at = int(out.size()) - 2; // before the "?"
    while (at >= 0 && out.at(at).isSpace()) {
        --at;
    }
    const int operatorEnd = at + 1;
    while (at >= 0 && QStringLiteral("=<>!").contains(out.at(at))) {
        --at;
    }
    if (at + 1 == operatorEnd) {
        return; // no comparison before the value
    }
    const int operatorStart = at + 1;
    while (at >= 0 && out.at(at).isSpace()) {
        --at;
    }
    const int operandEnd = at + 1;
    const auto isNamePart = [](QChar c) { return isNameChar(c) || c == QLatin1Char('.') || c == QLatin1Char('"'); };
    if (at >= 0 && out.at(at) == QLatin1Char(')')) {
        int depth = 0;
        for (; at >= 0; --at) {
            if (out.at(at) == QLatin1Char(')')) {
                ++depth;
            } else if (out.at(at) == QLatin1Char('(') && --depth == 0) {
                break;
            }
        }
        if (at < 0) {
            return;
        }
        --at;
    }
    while (at >= 0 && isNamePart(out.at(at))) {
        --at;
    }
    const int operandStart = at + 1;
    if (operandStart == operandEnd) {
        return;
    }
    out = out.left(operandStart) +
          QStringLiteral("CAST(%1 AS citext)").arg(out.mid(operandStart, operandEnd - operandStart)) +
          out.mid(operandEnd, operatorStart - operandEnd) + out.mid(operatorStart, operatorEnd - operatorStart) +
          QStringLiteral(" CAST(? AS citext)");
}

// From just after "ORDER BY": where the clause ends (a closing parenthesis of an enclosing expression, LIMIT,
// OFFSET, ";" or the end of the statement).
int orderByEnd(const QString& sql, int from)
{
    int depth = 0;
    QChar quote;
    for (int i = from; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')')) {
            if (depth == 0) {
                return i;
            }
            --depth;
        } else if (c == QLatin1Char(';') && depth == 0) {
            return i;
        } else if (depth == 0 && isNameChar(c) && (i == 0 || !isNameChar(sql.at(i - 1)))) {
            const QString word = wordAt(sql, i);
            if (word == QLatin1String("limit") || word == QLatin1String("offset")) {
                return i;
            }
        }
    }
    return int(sql.size());
}

} // namespace

QString Database::postgresSql(const QString& sql)
{
    QString out;
    out.reserve(sql.size() + 16);
    for (int i = 0; i < sql.size();) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'')) {
            const int end = int(sql.indexOf(QLatin1Char('\''), i + 1));
            const int stop = end < 0 ? int(sql.size()) : end + 1;
            out += QStringView(sql).mid(i, stop - i);
            i = stop;
            continue;
        }
        // [Name] quotes a name on SQLite; [] of an array type is left alone.
        const bool bracketName = c == QLatin1Char('[') && i + 1 < sql.size() && sql.at(i + 1) != QLatin1Char(']');
        if (c == QLatin1Char('"') || bracketName) {
            const QChar close = c == QLatin1Char('"') ? QLatin1Char('"') : QLatin1Char(']');
            QString name;
            int at = i + 1;
            for (; at < sql.size(); ++at) {
                if (sql.at(at) == close) {
                    if (close == QLatin1Char('"') && at + 1 < sql.size() && sql.at(at + 1) == close) {
                        name += close;
                        ++at;
                        continue;
                    }
                    break;
                }
                name += sql.at(at);
            }
            out +=
                QLatin1Char('"') + name.toLower().replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
            i = at + 1;
            continue;
        }
        if (!isNameChar(c) || (i > 0 && isNameChar(sql.at(i - 1)))) {
            out += c;
            ++i;
            continue;
        }
        const QString word = wordAt(sql, i);
        const int afterWord = i + int(word.size());
        const int next = skipBlanks(sql, afterWord);
        const bool call = next < sql.size() && sql.at(next) == QLatin1Char('(');
        if (call && (word == QLatin1String("strftime") || word == QLatin1String("printf"))) {
            QStringList arguments;
            const int close = splitArguments(sql, next + 1, arguments);
            if (close > 0 && arguments.size() >= 2) {
                QString translated;
                if (word == QLatin1String("strftime")) {
                    const QString format = toCharFormat(arguments.at(0));
                    if (!format.isEmpty() && arguments.size() == 2) {
                        translated = QStringLiteral("to_char(%1, %2)").arg(postgresSql(arguments.at(1)), format);
                    }
                } else {
                    translated = printfSql(arguments);
                }
                if (!translated.isEmpty()) {
                    out += translated;
                    i = close + 1;
                    continue;
                }
            }
        }
        if (call && word == QLatin1String("group_concat")) {
            QStringList arguments;
            const int close = splitArguments(sql, next + 1, arguments);
            if (close > 0 && (arguments.size() == 1 || arguments.size() == 2)) {
                out += QStringLiteral("string_agg(CAST(%1 AS text), %2)")
                           .arg(postgresSql(arguments.at(0)),
                                arguments.size() == 2 ? postgresSql(arguments.at(1)) : QStringLiteral("','"));
                i = close + 1;
                continue;
            }
        }
        if (call && word == QLatin1String("instr")) {
            QStringList arguments;
            const int close = splitArguments(sql, next + 1, arguments);
            if (close > 0 && arguments.size() == 2) {
                // As SQLite's, counting letter case also in a citext column.
                out += QStringLiteral("strpos(CAST(%1 AS text), CAST(%2 AS text))")
                           .arg(postgresSql(arguments.at(0)), postgresSql(arguments.at(1)));
                i = close + 1;
                continue;
            }
        }
        if (word == QLatin1String("order") && wordAt(sql, next) == QLatin1String("by")) {
            const int termsStart = next + 2;
            const int end = orderByEnd(sql, termsStart);
            QStringList terms;
            splitArguments(sql.mid(termsStart, end - termsStart) + QLatin1Char(')'), 0, terms);
            QStringList placed;
            for (const QString& term : terms) {
                const QString translated = postgresSql(term);
                const QString lower = term.toLower();
                if (lower.contains(QLatin1String("nulls"))) {
                    placed << translated;
                } else {
                    const bool descending = lower.endsWith(QLatin1String(" desc"));
                    placed << translated + (descending ? QLatin1String(" NULLS LAST") : QLatin1String(" NULLS FIRST"));
                }
            }
            out += sql.mid(i, termsStart - i) + QLatin1Char(' ') + placed.join(QLatin1String(", "));
            if (end < sql.size() && sql.at(end).isLetter()) {
                out += QLatin1Char(' '); // before LIMIT or OFFSET
            }
            i = end;
            continue;
        }
        if (word == QLatin1String("is")) {
            if (next < sql.size() && sql.at(next) == QLatin1Char('?')) {
                out += QLatin1String("IS NOT DISTINCT FROM ?");
                i = next + 1;
                continue;
            }
            if (wordAt(sql, next) == QLatin1String("not")) {
                const int value = skipBlanks(sql, next + 3);
                if (value < sql.size() && sql.at(value) == QLatin1Char('?')) {
                    out += QLatin1String("IS DISTINCT FROM ?");
                    i = value + 1;
                    continue;
                }
            }
        }
        if (word == QLatin1String("collate")) {
            const QString collation = wordAt(sql, next);
            if (collation == QLatin1String("binary")) {
                const QString before = out.trimmed();
                if (before.endsWith(QLatin1Char('?'))) {
                    out = before.left(before.size() - 1) + QLatin1String("CAST(? AS text)");
                    out += QLatin1Char(' ');
                }
                out += QLatin1String("COLLATE \"C\"");
                i = next + int(collation.size());
                continue;
            }
            if (collation == QString::fromLatin1(Collation::Name).toLower()) {
                while (out.endsWith(QLatin1Char(' '))) {
                    out.chop(1);
                }
                caseIgnoredComparison(out);
                i = next + int(collation.size());
                continue;
            }
        }
        out += QStringView(sql).mid(i, afterWord - i);
        i = afterWord;
    }
    return out;
}

} // namespace tollbook
