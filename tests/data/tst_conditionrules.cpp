// The filter and search rules without a database: the SQL each condition becomes, with its values bound apart,
// and the judgement of a row held in memory. That both agree on real rows is shown by tst_dataset's filters.

#include "data/ConditionRules.h"
#include "data/Store.h"
#include "platform/Errors.h"

#include <QTest>

using namespace tollbook;

using Condition = Dataset::Condition;
using Match = Condition::Match;

Q_DECLARE_METATYPE(tollbook::Dataset::Condition)

namespace {

Condition condition(const char* field, Match match, const QVariant& value = {}, const QVariant& high = {})
{
    Condition result;
    result.field = QLatin1String(field);
    result.match = match;
    result.value = value;
    result.high = high;
    return result;
}

Condition exact(Condition condition)
{
    condition.caseSensitive = true;
    return condition;
}

Condition negated(Condition condition)
{
    condition.negated = true;
    return condition;
}

Condition shown(Condition condition)
{
    condition.asShown = true;
    return condition;
}

// A dataset that is never opened: its fields are all the rules read. A lookup field's rows come from
// lookupRows below.
class Fixture
{
public:
    Fixture()
        : m_dataset(QStringLiteral("SQL_Rules"))
    {
        m_dataset.addDataField(QStringLiteral("Usuario_Id"), FieldType::String, 30);
        m_dataset.addDataField(QStringLiteral("Print_Pages"), FieldType::Integer);
        m_dataset.addDataField(QStringLiteral("Print_Data"), FieldType::DateTime)
            ->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
        m_dataset.addDataField(QStringLiteral("Peso"), FieldType::Float);
        m_dataset.addDataField(QStringLiteral("dmPaperSize"), FieldType::Integer);
        m_dataset.addCalculatedField(QStringLiteral("calc_Dobro"), FieldType::Integer)
            ->setSqlExpression(QStringLiteral("Print_Pages * 2"));
        m_dataset.addCalculatedField(QStringLiteral("calc_Livre"), FieldType::String);
        m_dataset.addLookupField(QStringLiteral("lk_Papel"), 30, &m_dataset, QStringLiteral("dmPaperSize"),
                                 QStringLiteral("dmPaperSize"), QStringLiteral("Usuario_Id"));
    }

    ConditionRules rules(bool postgres = false) const
    {
        StoreTraits store;
        store.store = postgres ? &Store::postgres() : &Store::sqlite();
        return ConditionRules(m_dataset, store, [](const Field&) {
            return QVector<ConditionRules::LookupRow>{ { qint64(9), QStringLiteral("A4") },
                                                       { qint64(8), QStringLiteral("A3") },
                                                       { QVariant(), QStringLiteral("sem código") },
                                                       { qint64(7), QVariant() } };
        });
    }

    // The row held: Usuario_Id, Print_Pages, Print_Data, Peso, dmPaperSize, calc_Dobro, calc_Livre, lk_Papel.
    QVector<QVariant> row(const QVariant& user) const
    {
        return { user,       qint64(10),          QDateTime(QDate(2020, 1, 3), QTime(0, 0), Qt::UTC),
                 1.5,        qint64(9),           qint64(20),
                 QVariant(), QStringLiteral("A4") };
    }

    const Dataset& dataset() const { return m_dataset; }

private:
    Dataset m_dataset;
};

} // namespace

class TestConditionRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sql_data();
    void sql();
    void refusedFields_data();
    void refusedFields();
    void heldRows_data();
    void heldRows();
};

void TestConditionRules::sql_data()
{
    QTest::addColumn<Condition>("condition");
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("values");
    const QString text = QStringLiteral("José");
    QTest::newRow("equal text, by the collation")
        << condition("Usuario_Id", Match::Equal, text) << false << R"(("Usuario_Id" = ? COLLATE TOLLBOOK_NOCASE))"
        << QVariantList{ text };
    QTest::newRow("equal text, with case") << exact(condition("Usuario_Id", Match::Equal, text)) << false
                                           << R"(("Usuario_Id" = ? COLLATE BINARY))" << QVariantList{ text };
    QTest::newRow("equal number, no collation")
        << condition("Print_Pages", Match::Equal, 3) << false << R"(("Print_Pages" = ?))" << QVariantList{ qint64(3) };
    QTest::newRow("equal real, within a ten-thousandth")
        << condition("Peso", Match::Equal, 1.5) << false << R"((abs("Peso" - ?) < 0.0001))" << QVariantList{ 1.5 };
    QTest::newRow("contains, folded both sides")
        << condition("Usuario_Id", Match::Contains, QStringLiteral("os")) << false
        << R"((instr(tollbook_fold("Usuario_Id"), tollbook_fold(?)) > 0))" << QVariantList{ QStringLiteral("os") };
    QTest::newRow("starts with: the text twice")
        << exact(condition("Usuario_Id", Match::StartsWith, QStringLiteral("Jo"))) << false
        << R"((substr("Usuario_Id", 1, length(?)) = ?))" << QVariantList{ QStringLiteral("Jo"), QStringLiteral("Jo") };
    QTest::newRow("like: underscore and backslash escaped")
        << condition("Usuario_Id", Match::Like, QStringLiteral(R"(a_b\%)")) << false
        << R"((tollbook_fold("Usuario_Id") LIKE tollbook_fold(?) ESCAPE '\'))"
        << QVariantList{ QStringLiteral(R"(a\_b\\%)") };
    QTest::newRow("like with case: a glob, its wildcards bracketed")
        << exact(condition("Usuario_Id", Match::Like, QStringLiteral("*x?[%"))) << false << R"(("Usuario_Id" GLOB ?))"
        << QVariantList{ QStringLiteral("[*]x[?][[]*") };
    QTest::newRow("like with case where LIKE ignores case on citext")
        << exact(condition("Usuario_Id", Match::Like, QStringLiteral("J_%"))) << true
        << R"((CAST("Usuario_Id" AS TEXT) LIKE ? ESCAPE '\'))" << QVariantList{ QStringLiteral(R"(J\_%)") };
    QTest::newRow("range of dates, bound as ISO text")
        << condition("Print_Data", Match::Range, QDate(2020, 1, 1), QDateTime(QDate(2020, 1, 31), QTime(12, 0)))
        << false << R"(("Print_Data" >= ? AND "Print_Data" <= ?))"
        << QVariantList{ QStringLiteral("2020-01-01"), QStringLiteral("2020-01-31 12:00:00") };
    QTest::newRow("range open below") << condition("Print_Pages", Match::Range, QVariant(), 5) << false
                                      << R"(("Print_Pages" <= ?))" << QVariantList{ qint64(5) };
    QTest::newRow("range open at both ends")
        << condition("Print_Pages", Match::Range) << false << "(TRUE)" << QVariantList{};
    QTest::newRow("null") << condition("Usuario_Id", Match::Null) << false << R"(("Usuario_Id" IS NULL))"
                          << QVariantList{};
    // A null field is among the rows that do not satisfy a condition.
    QTest::newRow("negated") << negated(condition("Print_Pages", Match::Equal, 3)) << false
                             << R"(NOT coalesce(("Print_Pages" = ?), FALSE))" << QVariantList{ qint64(3) };
    QTest::newRow("date as shown") << shown(condition("Print_Data", Match::StartsWith, QStringLiteral("03/01")))
                                   << false
                                   << "(substr(tollbook_fold((strftime('%d', \"Print_Data\") || '/' || "
                                      "strftime('%m', \"Print_Data\") || '/' || strftime('%Y', \"Print_Data\"))), 1, "
                                      "length(tollbook_fold(?))) = tollbook_fold(?))"
                                   << QVariantList{ QStringLiteral("03/01"), QStringLiteral("03/01") };
    QTest::newRow("real as shown") << shown(condition("Peso", Match::Equal, QStringLiteral("1.5"))) << false
                                   << R"((printf('%g', "Peso") = ? COLLATE TOLLBOOK_NOCASE))"
                                   << QVariantList{ QStringLiteral("1.5") };
    QTest::newRow("calculated, by its expression") << condition("calc_Dobro", Match::Equal, 20) << false
                                                   << R"(((Print_Pages * 2) = ?))" << QVariantList{ qint64(20) };
    QTest::newRow("any of, in order of the values")
        << Condition::anyOf({ condition("Print_Pages", Match::Equal, 1), condition("Usuario_Id", Match::Null),
                              condition("Print_Pages", Match::Equal, 2) })
        << false << R"((("Print_Pages" = ?) OR ("Usuario_Id" IS NULL) OR ("Print_Pages" = ?)))"
        << QVariantList{ qint64(1), qint64(2) };
    QTest::newRow("empty any of") << Condition::anyOf({}) << false << "(FALSE)" << QVariantList{};
    QTest::newRow("empty all of") << Condition::allOf({}) << false << "(TRUE)" << QVariantList{};
    // A lookup field: the keys whose result satisfies it, by the same rules; rows without a key are no keys.
    QTest::newRow("lookup, by its keys") << condition("lk_Papel", Match::StartsWith, QStringLiteral("a")) << false
                                         << R"(("dmPaperSize" IN (?,?)))" << QVariantList{ qint64(9), qint64(8) };
    QTest::newRow("lookup that no key satisfies")
        << condition("lk_Papel", Match::Equal, QStringLiteral("A5")) << false << "(FALSE)" << QVariantList{};
    QTest::newRow("lookup without a result")
        << condition("lk_Papel", Match::Null) << false << R"(("dmPaperSize" IS NULL OR NOT ("dmPaperSize" IN (?,?))))"
        << QVariantList{ qint64(9), qint64(8) };
}

void TestConditionRules::sql()
{
    QFETCH(Condition, condition);
    QFETCH(bool, postgres);
    QFETCH(QString, sql);
    QFETCH(QVariantList, values);
    const Fixture fixture;
    QVariantList bound{ QStringLiteral("before") };
    QCOMPARE(fixture.rules(postgres).sql(condition, bound), sql);
    QCOMPARE(bound, QVariantList{ QStringLiteral("before") } + values);
}

void TestConditionRules::refusedFields_data()
{
    QTest::addColumn<Condition>("condition");
    QTest::newRow("absent field") << condition("Nada", Match::Equal, 1);
    QTest::newRow("calculated without SQL") << condition("calc_Livre", Match::Null);
    QTest::newRow("within a group") << Condition::allOf(
        { condition("Print_Pages", Match::Equal, 1), condition("calc_Livre", Match::Equal, 1) });
}

void TestConditionRules::refusedFields()
{
    QFETCH(Condition, condition);
    const Fixture fixture;
    QVariantList values;
    QVERIFY_THROWS_EXCEPTION(DatabaseError, fixture.rules().sql(condition, values));
}

void TestConditionRules::heldRows_data()
{
    QTest::addColumn<Condition>("condition");
    QTest::addColumn<QVariant>("user");
    QTest::addColumn<bool>("satisfied");
    const QVariant jose = QStringLiteral("José");
    QTest::newRow("equal, without case") << condition("Usuario_Id", Match::Equal, QStringLiteral("JOSÉ")) << jose
                                         << true;
    QTest::newRow("equal, with case") << exact(condition("Usuario_Id", Match::Equal, QStringLiteral("JOSÉ"))) << jose
                                      << false;
    QTest::newRow("a null satisfies only the null test")
        << condition("Usuario_Id", Match::Contains, QString()) << QVariant() << false;
    QTest::newRow("null") << condition("Usuario_Id", Match::Null) << QVariant() << true;
    QTest::newRow("negated, a null is among those that do not")
        << negated(condition("Usuario_Id", Match::StartsWith, QStringLiteral("J"))) << QVariant() << true;
    QTest::newRow("contains") << condition("Usuario_Id", Match::Contains, QStringLiteral("OS")) << jose << true;
    QTest::newRow("percent sign contained is text")
        << condition("Usuario_Id", Match::Contains, QStringLiteral("%")) << jose << false;
    QTest::newRow("like") << condition("Usuario_Id", Match::Like, QStringLiteral("j%É")) << jose << true;
    QTest::newRow("like: underscore is text")
        << condition("Usuario_Id", Match::Like, QStringLiteral("J_s%")) << jose << false;
    QTest::newRow("like, with case") << exact(condition("Usuario_Id", Match::Like, QStringLiteral("j%"))) << jose
                                     << false;
    QTest::newRow("real within a ten-thousandth") << condition("Peso", Match::Equal, 1.50009) << jose << true;
    QTest::newRow("real beyond it") << condition("Peso", Match::Equal, 1.5002) << jose << false;
    QTest::newRow("range of dates") << condition("Print_Data", Match::Range, QDate(2020, 1, 3), QDate(2020, 1, 3))
                                    << jose << true;
    QTest::newRow("range of numbers, open above") << condition("Print_Pages", Match::Range, 11) << jose << false;
    QTest::newRow("date as shown") << shown(condition("Print_Data", Match::StartsWith, QStringLiteral("03/01"))) << jose
                                   << true;
    QTest::newRow("lookup by its result") << condition("lk_Papel", Match::Equal, QStringLiteral("a4")) << jose << true;
    QTest::newRow("empty any of") << Condition::anyOf({}) << jose << false;
    QTest::newRow("empty all of") << Condition::allOf({}) << jose << true;
    QTest::newRow("none of") << negated(Condition::anyOf({ condition("Print_Pages", Match::Equal, 1),
                                                           condition("Usuario_Id", Match::Null) }))
                             << jose << true;
}

void TestConditionRules::heldRows()
{
    QFETCH(Condition, condition);
    QFETCH(QVariant, user);
    QFETCH(bool, satisfied);
    const Fixture fixture;
    QCOMPARE(fixture.rules().satisfies(condition, fixture.row(user)), satisfied);
}

QTEST_GUILESS_MAIN(TestConditionRules)
#include "tst_conditionrules.moc"
