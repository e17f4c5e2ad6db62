// The purge of the jobs of a period: both bounds included, whatever the time of day; nothing for an empty or
// reversed period; exactly the jobs counted, in batches; the registries untouched.

#include "common/DatabaseFixture.h"
#include "data/JobPurge.h"

#include <QTest>

using namespace tollbook;

namespace {

QString remainingIds()
{
    return DatabaseFixture::scalar(QStringLiteral("SELECT group_concat(Print_Id) FROM (SELECT Print_Id FROM Impressao"
                                                  " ORDER BY Print_Id) AS jobs"))
        .toString();
}

QString registries()
{
    return DatabaseFixture::scalar(
               QStringLiteral("SELECT (SELECT count(*) FROM Usuario) || '/' || (SELECT count(*) FROM"
                              " Setor) || '/' || (SELECT count(*) FROM Projeto) || '/' || (SELECT"
                              " count(*) FROM Impressora) || '/' || (SELECT count(*) FROM"
                              " CustoImpressao) || '/' || (SELECT count(*) FROM Papel)"))
        .toString();
}

} // namespace

class TestJobPurge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<DatabaseFixture>();
        addPeriodJobs();
    }
    void cleanup() { m_db.reset(); }

    void bounds_data();
    void bounds();
    void onlyTheJobsCounted();

private:
    std::unique_ptr<DatabaseFixture> m_db;
};

void TestJobPurge::bounds_data()
{
    QTest::addColumn<QDate>("first");
    QTest::addColumn<QDate>("last");
    QTest::addColumn<int>("batch");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("remaining");

    const QDate none;
    // Jobs 1 and 2 at 10:00:00 and 23:59:59 of the 31st, 3 and 4 at 00:00:01 and 12:00 of the 1st.
    QTest::newRow("one day") << QDate(2019, 12, 31) << QDate(2019, 12, 31) << 1000 << 2 << "3,4,5,6,7";
    QTest::newRow("jobs on both bound days") << QDate(2019, 12, 31) << QDate(2020, 1, 1) << 1000 << 4 << "5,6,7";
    QTest::newRow("one at a time") << QDate(2019, 12, 31) << QDate(2020, 1, 1) << 1 << 4 << "5,6,7";
    QTest::newRow("batch of three") << QDate(2019, 1, 1) << QDate(2020, 12, 31) << 3 << 7 << "";
    QTest::newRow("start after end") << QDate(2020, 1, 2) << QDate(2019, 12, 31) << 1000 << 0 << "1,2,3,4,5,6,7";
    QTest::newRow("neither date chosen") << none << none << 1000 << 0 << "1,2,3,4,5,6,7";
    // An empty picker stands for the zero date of 1899: from then on, everything up to the last day.
    QTest::newRow("no first date") << none << QDate(2019, 12, 31) << 1000 << 3 << "3,4,5,6";
    QTest::newRow("no last date") << QDate(2019, 12, 31) << none << 1000 << 0 << "1,2,3,4,5,6,7";
    QTest::newRow("day without jobs") << QDate(2019, 12, 30) << QDate(2019, 12, 30) << 1000 << 0 << "1,2,3,4,5,6,7";
}

void TestJobPurge::bounds()
{
    QFETCH(QDate, first);
    QFETCH(QDate, last);
    QFETCH(int, batch);
    QFETCH(int, count);
    QFETCH(QString, remaining);

    const QString registriesBefore = registries();
    JobPurge purge;
    QCOMPARE(purge.count(first, last), count);
    int batches = 0;
    while (!purge.isDone()) {
        QVERIFY(purge.deleteNext(batch) <= batch);
        QVERIFY(++batches <= count + 1);
    }
    QCOMPARE(purge.deleted(), count);
    QCOMPARE(remainingIds(), remaining);
    QCOMPARE(registries(), registriesBefore);
}

// A job stored on a day of the period after the count (the capture goes on importing meanwhile) stays: the
// purge deletes what the user confirmed, no more.
void TestJobPurge::onlyTheJobsCounted()
{
    JobPurge purge;
    QCOMPARE(purge.count(QDate(2020, 1, 2), QDate(2020, 1, 2)), 2);
    QCOMPARE(purge.deleteNext(1), 1);
    DatabaseFixture::exec(
        { QStringLiteral("INSERT INTO Impressao (Print_Id, Print_Data, Print_Hora, Usuario_Id,"
                         " Print_Pages) VALUES (8, '2020-01-02', '2020-01-02 18:00:00', 'Zeca', 1)") });
    while (!purge.isDone()) {
        purge.deleteNext(1);
    }
    QCOMPARE(purge.deleted(), 2);
    QCOMPARE(remainingIds(), QStringLiteral("1,2,3,4,7,8"));
}

QTEST_GUILESS_MAIN(TestJobPurge)
#include "tst_jobpurge.moc"
