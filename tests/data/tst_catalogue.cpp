// The catalogue's datasets over a small database: periods, pricing, registered and unregistered users.

#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"
#include "platform/SystemRoutines.h"

#include <QLocale>
#include <QTest>

using namespace tollbook;

namespace {

QString day(int year, int month, int dayOfMonth)
{
    return DateToQueryText(QDate(year, month, dayOfMonth));
}

// The values of one field over all rows, in order, as text.
QStringList column(Dataset* dataset, const QString& name)
{
    QStringList values;
    const Field* field = dataset->fieldByName(name);
    for (dataset->first(); !dataset->eof(); dataset->next()) {
        values << (field->isNull() ? QStringLiteral("<null>") : field->value().toString());
    }
    return values;
}

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_db = std::make_unique<DatabaseFixture>();
        addPeriodJobs();
        m_dm = std::make_unique<DataModuleDatasets>();
        m_main = std::make_unique<MainWindowDatasets>(m_dm.get());
        m_dm->openStartupDatasets();
    }
    void cleanup()
    {
        m_main.reset();
        m_dm.reset();
        m_db.reset();
    }

    void periods_data();
    void periods();
    void controlIsOneDay();
    void detailCosts();
    void summaryCosts_data();
    void summaryCosts();
    void projectSummaryCountsUnregisteredUsers();
    void moneyInTheApplicationsFormat();
    void decimalPriceRefusedOrReadRight();
    void charts();
    void userViewIgnoresCase();
    void editingJoinedRowWritesOnlyJobs();
    void importOpensWithoutReadingJobs();
    void pricesFollowPrinter();
    void secondPriceRowRefused();
    void purgeAndDelete();
    void startupDatasets();

private:
    std::unique_ptr<DatabaseFixture> m_db;
    std::unique_ptr<DataModuleDatasets> m_dm;
    std::unique_ptr<MainWindowDatasets> m_main;
};

void TestCatalogue::periods_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QStringList>("ids");

    QTest::newRow("single day, any time of day") << day(2019, 12, 31) << day(2019, 12, 31) << QStringList{ "1", "2" };
    QTest::newRow("single day after midnight") << day(2020, 1, 1) << day(2020, 1, 1) << QStringList{ "3", "4" };
    QTest::newRow("across the year") << day(2019, 12, 31) << day(2020, 1, 2)
                                     << QStringList{ "1", "2", "3", "4", "5", "6" };
    QTest::newRow("across months") << day(2019, 11, 30) << day(2019, 12, 31) << QStringList{ "1", "2", "7" };
    QTest::newRow("start after end") << day(2020, 1, 2) << day(2019, 12, 31) << QStringList{};
    QTest::newRow("no job in period") << day(2020, 2, 1) << day(2020, 2, 29) << QStringList{};
}

// Every period dataset keeps exactly the jobs whose day lies in the period, bounds included.
void TestCatalogue::periods()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QStringList, ids);

    for (Dataset* dataset : { m_main->periodJobs, m_dm->userReport, m_dm->sectorReport, m_dm->projectReport }) {
        dataset->close();
        dataset->setParam(0, start);
        dataset->setParam(1, end);
        dataset->open();
        QStringList got = column(dataset, QStringLiteral("Print_Id"));
        got.sort();
        QCOMPARE(got, ids);
    }

    // The summaries count the same pages.
    int pages = 0;
    for (const QString& id : ids) {
        pages +=
            DatabaseFixture::scalar(QStringLiteral("SELECT Print_Pages FROM Impressao WHERE Print_Id = ") + id).toInt();
    }
    for (Dataset* dataset :
         { m_dm->userSummaryReport, m_dm->sectorSummaryReport, m_dm->userPrinterReport, m_dm->printerReport }) {
        dataset->close();
        dataset->setParam(0, start);
        dataset->setParam(1, end);
        dataset->open();
        const QString pagesField =
            dataset->findField(QStringLiteral("Pages")) ? QStringLiteral("Pages") : QStringLiteral("Print_Pages");
        double total = 0;
        for (dataset->first(); !dataset->eof(); dataset->next()) {
            total += dataset->fieldByName(pagesField)->asFloat();
        }
        QCOMPARE(total, double(pages));
    }
}

void TestCatalogue::controlIsOneDay()
{
    Dataset* control = m_main->todayJobs;
    // Opened with today's date directly, and later through the query text.
    control->setParam(QStringLiteral("Data"), QDateTime(QDate(2020, 1, 2), QTime(0, 0)));
    control->open();
    QCOMPARE(column(control, QStringLiteral("Print_Id")), (QStringList{ "6", "5" })); // newest first
    control->close();
    control->setParam(0, day(2020, 1, 1));
    control->open();
    QCOMPARE(column(control, QStringLiteral("Print_Id")), (QStringList{ "4", "3" }));
    control->first();
    QCOMPARE(control->fieldByName(QStringLiteral("Print_Hora"))->asDateTime().time(), QTime(12, 0));
    QCOMPARE(control->fieldByName(QStringLiteral("Print_Data"))->asDateTime().date(), QDate(2020, 1, 1));
}

// The detail rule on every job of the fixture, and the paper name looked up.
void TestCatalogue::detailCosts()
{
    Dataset* data = m_main->periodJobs;
    data->setParam(QStringLiteral("datai"), day(2019, 1, 1));
    data->setParam(QStringLiteral("dataf"), day(2020, 12, 31));
    data->open();
    struct Expected
    {
        int id;
        qint64 costUnits;
        QString paper;
    };
    const QList<Expected> expected = {
        { 1, 7500, "A4" },   // colour: 3 x 0.25
        { 2, 6000, "A4" },   // mono: 3 x 0.20
        { 3, 4000, "A4" },   // "s" is not colour: 2 x 0.20
        { 4, 0, "Letter" },  // colour price null
        { 5, 0, "A4" },      // printer priced for another paper only
        { 6, 0, QString() }, // no Papel row and no price row: still listed
        { 7, 20000, "A4" },
    };
    QCOMPARE(data->recordCount(), expected.size());
    for (const Expected& job : expected) {
        QVERIFY(data->locate(QStringLiteral("Print_Id"), job.id));
        QCOMPARE(data->fieldByName(QStringLiteral("calc_Custo"))->asCurrencyUnits(), job.costUnits);
        QCOMPARE(data->fieldByName(QStringLiteral("lk_Papel"))->asString(), job.paper);
    }
    QVERIFY(data->locate(QStringLiteral("Print_Id"), 1));
    QCOMPARE(data->fieldByName(QStringLiteral("calc_Custo"))->value().toDouble(), 0.75);

    // A raised price re-prices the jobs already imported once the view is refreshed.
    DatabaseFixture::exec({ QStringLiteral("UPDATE CustoImpressao SET Custo_Color = 3000 WHERE Print_Name = 'HP1' AND "
                                           "dmPaperSize = 9") });
    data->reopen();
    QVERIFY(data->locate(QStringLiteral("Print_Id"), 1));
    QCOMPARE(data->fieldByName(QStringLiteral("calc_Custo"))->asCurrencyUnits(), qint64(9000));
}

void TestCatalogue::summaryCosts_data()
{
    QTest::addColumn<QString>("dataset");
    QTest::addColumn<QStringList>("rows"); // group | colour | pages | cost units

    QTest::newRow("per user") << "SQL_ImpUsuarioR"
                              << QStringList{ "admin|N|10|20000", "bruno|N|7|6000", "bruno|S|3|7500",
                                              "bruno|s|2|4000",   "carla|N|1|0",    "zeca|S|5|0" };
    // The unregistered user's jobs form one group with an empty sector.
    QTest::newRow("per sector") << "SQL_ImpSetorR"
                                << QStringList{ "<null>|S|5|0", "adm|N|10|20000", "fin|N|8|6000", "fin|S|3|7500",
                                                "fin|s|2|4000" };
}

// The summary rule agrees with the sum of the detail costs of each group.
void TestCatalogue::summaryCosts()
{
    QFETCH(QString, dataset);
    QFETCH(QStringList, rows);
    Dataset* summary = m_dm->findChild<Dataset*>(dataset);
    QVERIFY(summary);
    summary->setParam(0, day(2019, 1, 1));
    summary->setParam(1, day(2020, 12, 31));
    summary->open();
    const QString group = summary->fields().first()->fieldName();
    QStringList got;
    for (summary->first(); !summary->eof(); summary->next()) {
        const Field* groupField = summary->fieldByName(group);
        // Users and sectors group ignoring case, colour flags exactly.
        got << QStringLiteral("%1|%2|%3|%4")
                   .arg(groupField->isNull() ? QStringLiteral("<null>") : groupField->asString().toLower(),
                        summary->fieldByName(QStringLiteral("Print_Color"))->asString())
                   .arg(summary->fieldByName(QStringLiteral("Print_Pages"))->asFloat())
                   .arg(summary->fieldByName(QStringLiteral("calc_Custo"))->asCurrencyUnits());
    }
    got.sort();
    QCOMPARE(got, rows);
}

// Costs and prices show in the same format in one window, whatever the system's locale says of money.
void TestCatalogue::moneyInTheApplicationsFormat()
{
    const QLocale system;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    DatabaseFixture::exec({ QStringLiteral("UPDATE CustoImpressao SET Custo_Mono = 12345000 WHERE Print_Name = 'HP1'"
                                           " AND dmPaperSize = 9") });
    Dataset* data = m_main->periodJobs;
    data->setParam(QStringLiteral("datai"), day(2019, 1, 1));
    data->setParam(QStringLiteral("dataf"), day(2020, 12, 31));
    data->open();
    QStringList costs;
    for (const int id : { 1, 2, 4 }) {
        QVERIFY(data->locate(QStringLiteral("Print_Id"), id));
        costs << data->fieldByName(QStringLiteral("calc_Custo"))->displayText();
    }
    m_main->printers->open();
    m_main->printerPrices->open();
    const QString price = m_main->printerPrices->fieldByName(QStringLiteral("Custo_Mono"))->displayText();
    QLocale::setDefault(system);
    QCOMPARE(costs, (QStringList{ "0,75", "3.703,50", "0,00" }));
    QCOMPARE(price, QStringLiteral("0,10"));
}

// The application writes prices as whole ten-thousandths. Another program writing 0.2 is refused by a new
// database; one created before that rule reads it as 0.20 in the views, and in the summaries after the
// next opening.
void TestCatalogue::decimalPriceRefusedOrReadRight()
{
    if (DatabaseFixture::onPostgres()) {
        QSKIP("a column of PostgreSQL holds whole numbers only, and the database before the rule is a SQLite file");
    }
    QSqlQuery query(QSqlDatabase::database(Database::ConnectionName));
    QVERIFY(!query.exec(QStringLiteral("UPDATE CustoImpressao SET Custo_Mono = 0.2 WHERE Print_Name = 'HP1'")));
    QVERIFY(!query.exec(QStringLiteral("INSERT INTO CustoImpressao VALUES ('HP3', 9, '0,20', 2500)")));

    DatabaseFixture::exec({
        QStringLiteral("DROP TABLE CustoImpressao"),
        QStringLiteral("CREATE TABLE CustoImpressao (Print_Name VARCHAR(100) COLLATE TOLLBOOK_NOCASE NOT NULL,"
                       " dmPaperSize INTEGER NOT NULL, Custo_Mono CURRENCY, Custo_Color CURRENCY,"
                       " PRIMARY KEY (Print_Name, dmPaperSize))"),
        QStringLiteral("INSERT INTO CustoImpressao VALUES ('HP1', 9, 0.2, 0.25)"),
    });
    Dataset* data = m_main->periodJobs;
    data->setParam(QStringLiteral("datai"), day(2019, 12, 31));
    data->setParam(QStringLiteral("dataf"), day(2019, 12, 31));
    data->open();
    QVERIFY(data->locate(QStringLiteral("Print_Id"), 1)); // colour, 3 pages
    QCOMPARE(data->fieldByName(QStringLiteral("calc_Custo"))->asCurrencyUnits(), qint64(7500));
    QVERIFY(data->locate(QStringLiteral("Print_Id"), 2)); // monochrome, 3 pages
    QCOMPARE(data->fieldByName(QStringLiteral("calc_Custo"))->asCurrencyUnits(), qint64(6000));
    data->close();

    Database::close();
    Database::open(m_db->path());
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT typeof(Custo_Mono) || typeof(Custo_Color) || Custo_Mono"
                                                    " FROM CustoImpressao")),
             QVariant(QStringLiteral("integerinteger2000")));
    Dataset* summary = m_dm->userSummaryReport;
    summary->setParam(0, day(2019, 12, 31));
    summary->setParam(1, day(2019, 12, 31));
    summary->open();
    QStringList costs;
    for (summary->first(); !summary->eof(); summary->next()) {
        costs << summary->fieldByName(QStringLiteral("calc_Custo"))->displayText();
    }
    QCOMPARE(costs, (QStringList{ "0,60", "0,75" }));
}

// The project summary counts every job of the period, as the detailed project report does: a user missing
// from the registry is named by the login.
void TestCatalogue::projectSummaryCountsUnregisteredUsers()
{
    Dataset* projects = m_dm->projectSummaryReport;
    projects->setParam(QStringLiteral("datai"), day(2019, 1, 1));
    projects->setParam(QStringLiteral("dataf"), day(2020, 12, 31));
    projects->open();
    QStringList got;
    double pages = 0;
    for (projects->first(); !projects->eof(); projects->next()) {
        got << projects->fieldByName(QStringLiteral("Usuario_Nome"))->asString() + QLatin1Char('/') +
                   projects->fieldByName(QStringLiteral("lk_Papel"))->asString() + QLatin1Char('/') +
                   projects->fieldByName(QStringLiteral("Print_Color"))->asString();
        pages += projects->fieldByName(QStringLiteral("Print_Pages"))->asFloat();
    }
    QVERIFY2(got.contains(QStringLiteral("Zeca/Letter/S")), qPrintable(got.join(QLatin1Char(' '))));
    QVERIFY(got.contains(QStringLiteral("Carla Lima//N"))); // unnamed paper still counted
    QCOMPARE(pages, DatabaseFixture::scalar(QStringLiteral("SELECT sum(Print_Pages) FROM Impressao")).toDouble());
}

void TestCatalogue::charts()
{
    m_main->users->open();
    m_main->sectors->open();
    Dataset* users = m_main->userChart;
    users->setParam(QStringLiteral("DataIni"), day(2019, 12, 31));
    users->setParam(QStringLiteral("DataFim"), day(2020, 1, 2));
    users->open();
    QMap<QString, QString> labels;
    QMap<QString, double> pages;
    for (users->first(); !users->eof(); users->next()) {
        const QString user = users->fieldByName(QStringLiteral("Usuario_Id"))->asString().toLower();
        labels[user] = users->fieldByName(QStringLiteral("lk_Usuario"))->asString();
        pages[user] = users->fieldByName(QStringLiteral("Paginas"))->asFloat();
    }
    // "bruno" and "Bruno" are one user, as the registry's key says.
    QCOMPARE(pages.value(QStringLiteral("bruno")), 12.0);
    QCOMPARE(labels.value(QStringLiteral("bruno")), QStringLiteral("Bruno"));
    QCOMPARE(labels.value(QStringLiteral("zeca")), QString()); // unregistered: empty label
    QCOMPARE(pages.value(QStringLiteral("zeca")), 5.0);

    Dataset* sectors = m_main->sectorChart;
    sectors->setParam(0, day(2019, 12, 31));
    sectors->setParam(1, day(2020, 1, 2));
    sectors->open();
    QCOMPARE(column(sectors, QStringLiteral("Setor_id")), QStringList{ "FIN" });
    QCOMPARE(column(sectors, QStringLiteral("Paginas")), QStringList{ "13" }); // Zeca's 5 pages do not count
    QCOMPARE(column(sectors, QStringLiteral("lk_Setor")), QStringList{ "FIN" });
}

void TestCatalogue::userViewIgnoresCase()
{
    Dataset* byUser = m_main->userJobs;
    byUser->setParam(QStringLiteral("Usuario_Id"), QStringLiteral("BRUNO"));
    byUser->setParam(QStringLiteral("datai"), day(2019, 12, 31));
    byUser->setParam(QStringLiteral("dataf"), day(2020, 1, 1));
    byUser->open();
    QCOMPARE(byUser->recordCount(), 3);
    // An empty user shows nothing.
    byUser->close();
    byUser->setParam(0, QString());
    byUser->open();
    QCOMPARE(byUser->recordCount(), 0);
}

// Marking a job as delivered goes to Impressao only; the joined prices are never written.
void TestCatalogue::editingJoinedRowWritesOnlyJobs()
{
    Dataset* control = m_main->todayJobs;
    control->setParam(0, day(2019, 12, 31));
    control->open();
    QVERIFY(control->locate(QStringLiteral("Print_Id"), 1));
    control->edit();
    control->fieldByName(QStringLiteral("Print_Entregue"))->setValue(QStringLiteral("S"));
    control->fieldByName(QStringLiteral("Custo_Color"))->setValue(9.99);
    control->post();
    QCOMPARE(
        DatabaseFixture::scalar(QStringLiteral("SELECT Print_Entregue FROM Impressao WHERE Print_Id = 1")).toString(),
        QStringLiteral("S"));
    QCOMPARE(
        DatabaseFixture::scalar(QStringLiteral("SELECT Print_Entregue FROM Impressao WHERE Print_Id = 2")).isNull(),
        true);
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT Custo_Color FROM CustoImpressao WHERE Print_Name = 'HP1' "
                                                    "AND dmPaperSize = 9"))
                 .toLongLong(),
             qint64(2500));
    const QVariant time =
        DatabaseFixture::scalar(QStringLiteral("SELECT Print_Hora FROM Impressao WHERE Print_Id = 1"));
    if (DatabaseFixture::onPostgres()) {
        QCOMPARE(time.toDateTime(), QDateTime(QDate(2019, 12, 31), QTime(10, 0)));
    } else {
        QCOMPARE(time.toString(), QStringLiteral("2019-12-31 10:00:00"));
    }
}

void TestCatalogue::importOpensWithoutReadingJobs()
{
    Dataset* import = m_main->jobImport;
    import->open();
    QCOMPARE(import->recordCount(), 0);
    QCOMPARE(import->fields().size(), 17);
    import->append();
    import->fieldByName(QStringLiteral("Print_Name"))->setValue(QStringLiteral("HP1"));
    import->fieldByName(QStringLiteral("Usuario_Id"))->setValue(QStringLiteral("Zeca"));
    import->fieldByName(QStringLiteral("Print_Data"))->setValue(QDate(2020, 1, 3));
    import->fieldByName(QStringLiteral("Print_Hora"))->setValue(QDateTime(QDate(2020, 1, 3), QTime(7, 5, 9)));
    import->fieldByName(QStringLiteral("Print_Pages"))->setValue(2);
    import->post();
    QCOMPARE(import->fieldByName(QStringLiteral("Print_Id"))->asInteger(), qint64(8));
    import->append();
    import->fieldByName(QStringLiteral("Print_Pages"))->setValue(1);
    import->post();
    QCOMPARE(import->recordCount(), 1); // only the last appended row is kept
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT Print_Data || '|' || Print_Hora FROM Impressao WHERE "
                                                    "Print_Id = 8"))
                 .toString(),
             QStringLiteral("2020-01-03|2020-01-03 07:05:09"));
}

// The price registry follows the selected printer and a new price row belongs to it.
void TestCatalogue::pricesFollowPrinter()
{
    m_main->openRegistries();
    Dataset* printers = m_main->printers;
    Dataset* prices = m_main->printerPrices;
    QCOMPARE(printers->fieldByName(QStringLiteral("Print_Name"))->asString(), QStringLiteral("HP1"));
    QCOMPARE(column(prices, QStringLiteral("dmPaperSize")), (QStringList{ "1", "9" }));
    QCOMPARE(column(prices, QStringLiteral("lk_papel")), (QStringList{ "Letter", "A4" }));
    prices->first();
    QCOMPARE(prices->fieldByName(QStringLiteral("Custo_Mono"))->asFloat(), 0.1);

    printers->next();
    QCOMPARE(column(prices, QStringLiteral("dmPaperSize")), QStringList{ "1" });
    prices->append();
    prices->fieldByName(QStringLiteral("dmPaperSize"))->setValue(9);
    prices->fieldByName(QStringLiteral("Custo_Mono"))->setValue(QStringLiteral("0,3"));
    prices->post();
    QCOMPARE(
        DatabaseFixture::scalar(QStringLiteral("SELECT Custo_Mono FROM CustoImpressao WHERE Print_Name = 'HP2' AND "
                                               "dmPaperSize = 9"))
            .toLongLong(),
        qint64(3000));
    QCOMPARE(prices->fieldByName(QStringLiteral("lk_papel"))->asString(), QStringLiteral("A4"));
}

// A second price row for the same printer and paper would count its jobs twice: the database refuses it.
void TestCatalogue::secondPriceRowRefused()
{
    m_main->openRegistries();
    Dataset* prices = m_main->printerPrices;
    prices->append();
    prices->fieldByName(QStringLiteral("dmPaperSize"))->setValue(9);
    prices->fieldByName(QStringLiteral("Print_Name"))->setValue(QStringLiteral("hp1")); // case does not help
    QVERIFY_THROWS_EXCEPTION(DriverError, prices->post());
    QCOMPARE(prices->state(), Dataset::State::Insert); // the row stays for the user to mend
    prices->cancel();
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT count(*) FROM CustoImpressao")).toInt(), 3);

    // Editing an existing row onto another's paper code is refused the same way.
    prices->first();
    prices->edit();
    prices->fieldByName(QStringLiteral("dmPaperSize"))->setValue(9);
    QVERIFY_THROWS_EXCEPTION(DriverError, prices->post());
    QCOMPARE(prices->state(), Dataset::State::Edit);
}

void TestCatalogue::purgeAndDelete()
{
    Dataset* purge = Catalogue::createPurgeStatement(m_main.get());
    purge->setParam(QStringLiteral("DataI"), day(2019, 12, 31));
    purge->setParam(QStringLiteral("DataF"), day(2019, 12, 31));
    purge->setParam(QStringLiteral("UltimoId"), 7);
    purge->setParam(QStringLiteral("Lote"), 100);
    QCOMPARE(purge->execSql(), 2);
    m_main->jobDeletion->setParam(QStringLiteral("Print_Id"), 7);
    QCOMPARE(m_main->jobDeletion->execSql(), 1);
    QCOMPARE(DatabaseFixture::scalar(
                 QStringLiteral(
                     "SELECT group_concat(Print_Id) FROM (SELECT Print_Id FROM Impressao ORDER BY Print_Id) AS jobs"))
                 .toString(),
             QStringLiteral("3,4,5,6"));
}

void TestCatalogue::startupDatasets()
{
    QCOMPARE(m_dm->configuration->fieldByName(QStringLiteral("Versao_Sistema"))->asString(), GetVersionText());
    QVERIFY(m_dm->papers->locate(QStringLiteral("dmPaperSize"), 9));
    QCOMPARE(m_dm->papers->fieldByName(QStringLiteral("PaperName"))->asString(), QStringLiteral("A4"));
    QVERIFY(m_dm->papers->locate(QStringLiteral("dmPaperSize"), 1));
    QVERIFY(m_dm->users->locate(QStringLiteral("usuario_id"), QStringLiteral("admin"), true));
    QVERIFY(!m_dm->users->locate(QStringLiteral("usuario_id"), QStringLiteral("admin"), false));

    m_dm->knownUsers->open();
    QCOMPARE(m_dm->knownUsers->recordCount(), 4); // Admin, Bruno (also as "bruno"), Carla, Zeca
    m_dm->knownPrinters->open();
    QCOMPARE(column(m_dm->knownPrinters, QStringLiteral("Print_Name")), (QStringList{ "HP1", "HP2" }));
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
