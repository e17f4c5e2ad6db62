// Days whose clocks jump at midnight: America/Sao_Paulo on 2018-11-04 (Brazil's daylight-saving start until
// 2019) and America/Santiago on 2024-09-08 have no 00:00. The test runs once in each of those zones (and in
// the machine's own): a date is a day, never a local midnight, so every case holds in all of them.

#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"
#include "platform/SystemRoutines.h"

#include <QTest>

using namespace tollbook;

namespace {

const QDate SaoPauloJump(2018, 11, 4);
const QDate SantiagoJump(2024, 9, 8);

QString isoDay(const QDate& date)
{
    return date.toString(Qt::ISODate);
}

} // namespace

class TestDates : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void todaysJobs_data();
    void todaysJobs();
    void periodTouchingTheDay_data();
    void periodTouchingTheDay();
    void projectDateOfTheDay_data();
    void projectDateOfTheDay();

private:
    void days();
    std::unique_ptr<DatabaseFixture> m_db;
    std::unique_ptr<DataModuleDatasets> m_dm;
    std::unique_ptr<MainWindowDatasets> m_main;
};

void TestDates::initTestCase()
{
    // Under the zones this test is registered with, the day really lacks its local midnight.
    const QByteArray zone = qgetenv("TZ");
    if (zone == "America/Sao_Paulo") {
        QVERIFY(!QDateTime(SaoPauloJump, QTime(0, 0)).isValid());
    } else if (zone == "America/Santiago") {
        QVERIFY(!QDateTime(SantiagoJump, QTime(0, 0)).isValid());
    }
}

void TestDates::init()
{
    m_db = std::make_unique<DatabaseFixture>();
    QStringList jobs;
    for (const QDate& day : { SaoPauloJump, SantiagoJump }) {
        for (const QDate& date : { day.addDays(-1), day, day, day.addDays(1) }) {
            jobs << QStringLiteral("('HP1', '%1', '%1 09:00:00', 'Ana', 1, 9, 'N', 1)").arg(isoDay(date));
        }
    }
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Impressao (Print_Name, Print_Data, Print_Hora, Usuario_Id,"
                                           " Print_Pages, dmPaperSize, Print_Color, Projeto_Id) VALUES ") +
                            jobs.join(QStringLiteral(", ")) });
    m_dm = std::make_unique<DataModuleDatasets>();
    m_main = std::make_unique<MainWindowDatasets>(m_dm.get());
    m_dm->openStartupDatasets();
}

void TestDates::cleanup()
{
    m_main.reset();
    m_dm.reset();
    m_db.reset();
}

void TestDates::days()
{
    QTest::addColumn<QDate>("day");
    QTest::newRow("Sao Paulo 2018-11-04") << SaoPauloJump;
    QTest::newRow("Santiago 2024-09-08") << SantiagoJump;
}

void TestDates::todaysJobs_data()
{
    days();
}

// The monitoring tick sets today's view by month/day/year text; the first showing by the date itself.
void TestDates::todaysJobs()
{
    QFETCH(QDate, day);
    Dataset* control = m_main->todayJobs;
    for (const QVariant& parameter :
         { QVariant(DateToQueryText(day)), QVariant(day), QVariant(QDateTime(day, QTime(0, 0))) }) {
        control->close();
        control->setParam(QStringLiteral("Data"), parameter);
        control->open();
        QCOMPARE(control->recordCount(), 2);
        QCOMPARE(control->fieldByName(QStringLiteral("Print_Data"))->value().toDateTime().date(), day);
        QCOMPARE(control->fieldByName(QStringLiteral("Print_Data"))->displayText(), day.toString("dd/MM/yyyy"));
    }
}

void TestDates::periodTouchingTheDay_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<int>("count");
    QTest::newRow("Sao Paulo: ends on it") << SaoPauloJump.addDays(-1) << SaoPauloJump << 3;
    QTest::newRow("Sao Paulo: starts on it") << SaoPauloJump << SaoPauloJump.addDays(1) << 3;
    QTest::newRow("Santiago: only it") << SantiagoJump << SantiagoJump << 2;
    QTest::newRow("Santiago: around it") << SantiagoJump.addDays(-1) << SantiagoJump.addDays(1) << 4;
}

void TestDates::periodTouchingTheDay()
{
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(int, count);
    for (Dataset* period : { m_main->periodJobs, m_dm->userSummaryReport }) {
        period->close();
        period->setParam(0, DateToQueryText(start));
        period->setParam(1, DateToQueryText(end));
        period->open();
        const Field* pages = period->findField(QStringLiteral("Print_Pages"));
        double total = 0;
        for (period->first(); !period->eof(); period->next()) {
            total += pages->asFloat();
        }
        QCOMPARE(total, double(count));
    }
}

void TestDates::projectDateOfTheDay_data()
{
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QVariant>("entered");
    QTest::newRow("Sao Paulo, date") << SaoPauloJump << QVariant(SaoPauloJump);
    QTest::newRow("Sao Paulo, typed") << SaoPauloJump << QVariant(QStringLiteral("04/11/2018"));
    QTest::newRow("Sao Paulo, editor's date-time") << SaoPauloJump << QVariant(QDateTime(SaoPauloJump, QTime(0, 0)));
    QTest::newRow("Santiago, date") << SantiagoJump << QVariant(SantiagoJump);
    QTest::newRow("Santiago, typed") << SantiagoJump << QVariant(QStringLiteral("08/09/2024"));
}

void TestDates::projectDateOfTheDay()
{
    QFETCH(QDate, day);
    QFETCH(QVariant, entered);
    Dataset* projects = m_main->projects;
    projects->open();
    projects->append();
    projects->fieldByName(QStringLiteral("Projeto_Codigo"))->setValue(QStringLiteral("P9"));
    Field* date = projects->fieldByName(QStringLiteral("Projeto_Data"));
    date->setValue(entered);
    projects->post();
    // The day at midnight; on SQLite its text without the midnight.
    if (DatabaseFixture::onPostgres()) {
        QCOMPARE(
            DatabaseFixture::scalar(QStringLiteral("SELECT strftime('%Y-%m-%d %H:%M:%S', Projeto_Data) FROM Projeto"
                                                   " WHERE Projeto_Codigo = 'P9'")),
            QVariant(isoDay(day) + QStringLiteral(" 00:00:00")));
    } else {
        QCOMPARE(
            DatabaseFixture::scalar(QStringLiteral("SELECT Projeto_Data FROM Projeto WHERE Projeto_Codigo = 'P9'")),
            QVariant(isoDay(day)));
    }
    projects->reopen();
    QVERIFY(projects->locate(QStringLiteral("Projeto_Codigo"), QStringLiteral("P9")));
    QVERIFY(date->value().toDateTime().isValid());
    QCOMPARE(date->value().toDateTime().date(), day);
    QCOMPARE(date->asDateTime().date(), day);
    QCOMPARE(date->displayText(), day.toString(QStringLiteral("dd/MM/yyyy")));
}

QTEST_GUILESS_MAIN(TestDates)
#include "tst_dates.moc"
