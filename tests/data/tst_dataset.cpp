// The dataset layer's mechanics over the schema's own tables.

#include "common/DatabaseFixture.h"
#include "data/CostRules.h"
#include "data/DataSource.h"
#include "data/Database.h"
#include "data/Dataset.h"
#include "data/DatasetModel.h"
#include "platform/SystemRoutines.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

#include <limits>

using namespace tollbook;

Q_DECLARE_METATYPE(tollbook::Dataset::Condition)

namespace {

std::unique_ptr<Dataset> dataset(const QStringList& sql)
{
    auto result = std::make_unique<Dataset>(QStringLiteral("SQL_Test"));
    result->setSql(sql);
    return result;
}

} // namespace

class TestDataset : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Run a second time with every result of rows held by its keys (see CMakeLists.txt).
    void initTestCase()
    {
        if (qEnvironmentVariableIsSet("TOLLBOOK_TEST_PAGED")) {
            Dataset::setDefaultPagedAbove(0);
        }
    }
    void init() { m_db = std::make_unique<DatabaseFixture>(); }
    void cleanup() { m_db.reset(); }

    void parameters();
    void dateParameters_data();
    void dateParameters();
    void navigation();
    void valuesAsStored();
    void appendEditDelete();
    void insertAndCancel();
    void compositeAndMissingKeys();
    void hooksRefuse();
    void layerErrors_data();
    void layerErrors();
    void driverErrors();
    void lookupReadOncePerOpen();
    void modelFollowsDataset();
    void suspendedControls();
    void newerRowsAreAdded_data();
    void newerRowsAreAdded();
    void currencyIsExact();
    void fetchKeepsEveryValue();
    void openMissingOrForeignFile();
    void filterConditions_data();
    void filterConditions();
    void filterOnLookupAndCalculatedFields_data();
    void filterOnLookupAndCalculatedFields();
    void locateFollowsQueryOrder();
    void pagedEditsAcrossPages();
    void repeatedKeysAreReadWhole();
    void unreadablePageShowsNulls();
    void connectionClosedUnderPages();

private:
    std::unique_ptr<DatabaseFixture> m_db;
};

void TestDataset::parameters()
{
    auto ds =
        dataset({ QStringLiteral("select * from Setor"), QStringLiteral("where Setor_Id = :Name or Setor_Id = :other"),
                  QStringLiteral("or Setor_Id = ':notAParam' or Setor_Id = :NAME") });
    QCOMPARE(ds->paramCount(), 2); // one parameter per name, whatever its case
    QCOMPARE(ds->param(0).name, QStringLiteral("Name"));
    QCOMPARE(ds->param(1).name, QStringLiteral("other"));
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Setor VALUES ('FIN'), ('RH')") });
    ds->setParam(QStringLiteral("name"), QStringLiteral("fin"));
    ds->setParam(1, QStringLiteral("rh"));
    ds->open();
    QCOMPARE(ds->recordCount(), 2);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->param(QStringLiteral("missing")));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->param(2));
}

void TestDataset::dateParameters_data()
{
    QTest::addColumn<QVariant>("start");
    QTest::addColumn<int>("count");
    QTest::newRow("query text") << QVariant(DateToQueryText(QDate(2020, 1, 2))) << 2;
    QTest::newRow("date") << QVariant(QDate(2020, 1, 2)) << 2;
    QTest::newRow("midnight date-time") << QVariant(QDateTime(QDate(2020, 1, 2), QTime(0, 0))) << 2;
    // A time on the start bound leaves out the jobs of that day, whose date has no time.
    QTest::newRow("date-time with time") << QVariant(QDateTime(QDate(2020, 1, 2), QTime(8, 0))) << 0;
    QTest::newRow("day before month change") << QVariant(DateToQueryText(QDate(2019, 12, 31))) << 6;
}

void TestDataset::dateParameters()
{
    QFETCH(QVariant, start);
    QFETCH(int, count);
    addPeriodJobs();
    auto ds =
        dataset({ QStringLiteral("select * from Impressao where Print_Data >= :datai and Print_Data <= :dataf") });
    ds->setParamType(QStringLiteral("datai"), FieldType::DateTime);
    ds->setParamType(QStringLiteral("dataf"), FieldType::DateTime);
    ds->setParam(0, start);
    ds->setParam(1, DateToQueryText(QDate(2020, 1, 2)));
    ds->open();
    QCOMPARE(ds->recordCount(), count);
}

void TestDataset::navigation()
{
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Setor VALUES ('FIN'), ('RH')") });
    auto ds = dataset({ QStringLiteral("select * from Setor order by Setor_Id") });
    ds->open();
    const Field* name = ds->fieldByName(QStringLiteral("setor_id"));
    QStringList seen;
    for (ds->first(); !ds->eof(); ds->next()) {
        seen << name->asString();
    }
    QCOMPARE(seen, (QStringList{ "ADM", "FIN", "RH" }));
    QCOMPARE(ds->recNo(), 2);
    ds->prior();
    QCOMPARE(name->asString(), QStringLiteral("FIN"));
    ds->last();
    QVERIFY(ds->eof());
    QVERIFY(ds->locate(QStringLiteral("Setor_Id"), QStringLiteral("adm"), true));
    QCOMPARE(ds->recNo(), 0);
    QVERIFY(!ds->locate(QStringLiteral("Setor_Id"), QStringLiteral("rh")));
    QCOMPARE(ds->recNo(), 0); // a failed locate keeps the row
}

// Empty texts stay empty and nulls stay null, also when rows repeat a value; dates keep their wall-clock
// time; numbers keep their kind.
void TestDataset::valuesAsStored()
{
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Projeto (Projeto_Codigo, Projeto_Nome, Projeto_Data) VALUES"
                                           " ('', NULL, '2021-03-28 02:30:00'), ('', '', '2021-03-28'),"
                                           " (NULL, '', NULL), ('x', 'y', '2021-03-28 02:30:00')") });
    auto ds = dataset({ QStringLiteral("select * from Projeto where Projeto_Id > 1 order by Projeto_Id") });
    ds->open();
    QStringList seen;
    for (ds->first(); !ds->eof(); ds->next()) {
        for (const char* name : { "Projeto_Codigo", "Projeto_Nome" }) {
            const Field* field = ds->fieldByName(QLatin1String(name));
            seen << (field->isNull() ? QStringLiteral("null")
                                     : QLatin1Char('"') + field->asString() + QLatin1Char('"'));
        }
        seen << ds->fieldByName(QStringLiteral("Projeto_Data"))->displayText();
    }
    QCOMPARE(seen, (QStringList{ "\"\"", "null", "28/03/2021 02:30:00", "\"\"", "\"\"", "28/03/2021", "null", "\"\"",
                                 "", "\"x\"", "\"y\"", "28/03/2021 02:30:00" }));
    ds->first();
    QCOMPARE(ds->fieldByName(QStringLiteral("Projeto_Data"))->asDateTime().time(), QTime(2, 30));
    QCOMPARE(ds->fieldByName(QStringLiteral("Projeto_Id"))->value().typeId(), int(QMetaType::LongLong));
}

void TestDataset::appendEditDelete()
{
    auto ds = dataset({ QStringLiteral("select * from Projeto") });
    ds->open();
    QCOMPARE(ds->recordCount(), 1);
    ds->append();
    ds->fieldByName(QStringLiteral("Projeto_Codigo"))->setValue(QStringLiteral("P9"));
    ds->fieldByName(QStringLiteral("Projeto_Data"))->setValue(QStringLiteral("05/03/2021")); // short date format
    ds->post();
    const qint64 id = ds->fieldByName(QStringLiteral("Projeto_Id"))->asInteger();
    QCOMPARE(id, qint64(2));
    // The date alone, without its midnight.
    const QVariant stored =
        DatabaseFixture::scalar(QStringLiteral("SELECT Projeto_Data FROM Projeto WHERE Projeto_Id = 2"));
    if (DatabaseFixture::onPostgres()) {
        QCOMPARE(stored.toDateTime(), QDateTime(QDate(2021, 3, 5), QTime(0, 0)));
    } else {
        QCOMPARE(stored.toString(), QStringLiteral("2021-03-05"));
    }

    ds->edit();
    ds->fieldByName(QStringLiteral("Projeto_Nome"))->setValue(QStringLiteral("Obra"));
    ds->post();
    QCOMPARE(
        DatabaseFixture::scalar(QStringLiteral("SELECT Projeto_Nome FROM Projeto WHERE Projeto_Id = 2")).toString(),
        QStringLiteral("Obra"));

    // An edit that changes nothing writes nothing, also null against empty.
    DatabaseFixture::exec({ QStringLiteral("UPDATE Projeto SET Projeto_Cliente = 'outside' WHERE Projeto_Id = 2") });
    ds->edit();
    ds->fieldByName(QStringLiteral("Projeto_Cliente"))->setValue(QString());
    ds->post();
    QCOMPARE(
        DatabaseFixture::scalar(QStringLiteral("SELECT Projeto_Cliente FROM Projeto WHERE Projeto_Id = 2")).toString(),
        QStringLiteral("outside"));

    ds->remove();
    QCOMPARE(ds->recordCount(), 1);
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT count(*) FROM Projeto")).toInt(), 1);

    // A row deleted by someone else cannot be updated.
    DatabaseFixture::exec({ QStringLiteral("DELETE FROM Projeto") });
    ds->edit();
    ds->fieldByName(QStringLiteral("Projeto_Nome"))->setValue(QStringLiteral("x"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->post());
    QCOMPARE(ds->state(), Dataset::State::Edit);
    ds->cancel();
    QCOMPARE(ds->fieldByName(QStringLiteral("Projeto_Nome"))->asString(), QStringLiteral("Geral"));
}

void TestDataset::insertAndCancel()
{
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Setor VALUES ('FIN'), ('RH')") });
    auto ds = dataset({ QStringLiteral("select * from Setor order by Setor_Id") });
    ds->open();
    ds->moveTo(1);
    ds->insert();
    QCOMPARE(ds->recNo(), 1);
    QCOMPARE(ds->recordCount(), 4);
    ds->cancel();
    QCOMPARE(ds->recordCount(), 3);
    QCOMPARE(ds->fieldByName(QStringLiteral("Setor_Id"))->asString(), QStringLiteral("FIN"));

    // Moving away from a new row posts it.
    ds->append();
    ds->fieldByName(QStringLiteral("Setor_Id"))->setValue(QStringLiteral("TI"));
    ds->first();
    QCOMPARE(ds->state(), Dataset::State::Browse);
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT count(*) FROM Setor")).toInt(), 4);

    // Keys ignore case: "fin" is the sector "FIN" again.
    ds->append();
    ds->fieldByName(QStringLiteral("Setor_Id"))->setValue(QStringLiteral("fin"));
    QVERIFY_THROWS_EXCEPTION(DriverError, ds->post());
    ds->cancel();
}

void TestDataset::compositeAndMissingKeys()
{
    // Price rows are found by printer and paper; the configuration row has no key at all.
    DatabaseFixture::exec(
        { QStringLiteral("INSERT INTO CustoImpressao VALUES ('HP1', 9, 2000, 2500), ('HP1', 1, 1000, 1500)") });
    auto prices = dataset({ QStringLiteral("select * from CustoImpressao order by dmPaperSize") });
    prices->open();
    prices->edit();
    prices->fieldByName(QStringLiteral("dmPaperSize"))->setValue(8);
    prices->post();
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT group_concat(dmPaperSize) FROM (SELECT dmPaperSize FROM "
                                                    "CustoImpressao ORDER BY 1) AS prices"))
                 .toString(),
             QStringLiteral("8,9"));

    auto config = dataset({ QStringLiteral("select * from Configuracao") });
    config->open();
    config->edit();
    config->fieldByName(QStringLiteral("SMTP_Host"))->setValue(QStringLiteral("mail.example.org"));
    config->post();
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT SMTP_Host FROM Configuracao")).toString(),
             QStringLiteral("mail.example.org"));
}

void TestDataset::hooksRefuse()
{
    auto ds = dataset({ QStringLiteral("select * from Setor") });
    int edits = 0;
    ds->beforeEdit = [&](Dataset& d) {
        ++edits;
        if (d.fieldByName(QStringLiteral("Setor_Id"))->asString() == QLatin1String("ADM")) {
            throw SilentAbort();
        }
    };
    ds->beforeDelete = [](Dataset&) { throw SilentAbort(); };
    ds->open();
    QVERIFY_THROWS_EXCEPTION(SilentAbort, ds->edit());
    QCOMPARE(ds->state(), Dataset::State::Browse);
    QVERIFY_THROWS_EXCEPTION(SilentAbort, ds->remove());
    QCOMPARE(ds->recordCount(), 1);
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT count(*) FROM Setor")).toInt(), 1);
    QCOMPARE(edits, 1);
}

void TestDataset::layerErrors_data()
{
    QTest::addColumn<int>("step");
    QTest::newRow("edit on empty dataset") << 0;
    QTest::newRow("set value while browsing") << 1;
    QTest::newRow("post while browsing") << 2;
    QTest::newRow("unknown field") << 3;
    QTest::newRow("text too long for its column") << 4;
    QTest::newRow("declared field missing from result") << 5;
    QTest::newRow("read-only field") << 6;
}

// The layer's own checks raise the database-error kind.
void TestDataset::layerErrors()
{
    QFETCH(int, step);
    auto ds = dataset({ QStringLiteral("select * from Impressora") });
    if (step == 5) {
        ds->addDataField(QStringLiteral("Nope"), FieldType::String, 10);
        QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->open());
        QVERIFY(!ds->isOpen());
        return;
    }
    if (step == 4 || step == 6) {
        ds->addDataField(QStringLiteral("Print_Name"), FieldType::String, 100)->setReadOnly(step == 6);
    }
    ds->open();
    switch (step) {
        case 0:
            QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->edit());
            break;
        case 1:
            DatabaseFixture::exec({ QStringLiteral("INSERT INTO Impressora VALUES ('HP1')") });
            ds->reopen();
            QVERIFY_THROWS_EXCEPTION(DatabaseError,
                                     ds->fieldByName(QStringLiteral("Print_Name"))->setValue(QStringLiteral("x")));
            break;
        case 2:
            QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->post());
            break;
        case 3:
            QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->fieldByName(QStringLiteral("Nope")));
            break;
        case 4:
            ds->append();
            QVERIFY_THROWS_EXCEPTION(
                DatabaseError, ds->fieldByName(QStringLiteral("Print_Name"))->setValue(QString(101, QLatin1Char('x'))));
            break;
        case 6:
            ds->append();
            QVERIFY_THROWS_EXCEPTION(DatabaseError,
                                     ds->fieldByName(QStringLiteral("Print_Name"))->setValue(QStringLiteral("x")));
            break;
    }
}

// What the database itself refuses comes as the driver's error.
void TestDataset::driverErrors()
{
    auto bad = dataset({ QStringLiteral("select * from NoSuchTable") });
    QVERIFY_THROWS_EXCEPTION(DriverError, bad->open());
    QVERIFY(!bad->isOpen());

    auto users = dataset({ QStringLiteral("select * from Usuario") });
    users->open();
    users->append(); // the user's name left empty
    users->fieldByName(QStringLiteral("Usuario_Nome"))->setValue(QStringLiteral("Sem nome"));
    QVERIFY_THROWS_EXCEPTION(DriverError, users->post());
    QCOMPARE(users->state(), Dataset::State::Insert);

    auto dates = dataset({ QStringLiteral("select * from Impressao where Print_Data = :Data") });
    dates->setParamType(QStringLiteral("Data"), FieldType::DateTime);
    dates->setParam(0, QStringLiteral("31/12/2019")); // day first is not the query form
    QVERIFY_THROWS_EXCEPTION(ConversionError, dates->open());
}

void TestDataset::lookupReadOncePerOpen()
{
    addPeriodJobs();
    auto papers = dataset({ QStringLiteral("select * from Papel") });
    auto jobs = dataset({ QStringLiteral("select * from Impressao order by Print_Id") });
    jobs->addDataField(QStringLiteral("Print_Id"), FieldType::AutoInc);
    jobs->addDataField(QStringLiteral("dmPaperSize"), FieldType::Integer);
    jobs->addLookupField(QStringLiteral("lk_Papel"), 30, papers.get(), QStringLiteral("dmPaperSize"),
                         QStringLiteral("dmPaperSize"), QStringLiteral("PaperName"));
    jobs->open(); // opens the lookup dataset too
    QVERIFY(papers->isOpen());
    QCOMPARE(jobs->fieldByName(QStringLiteral("lk_Papel"))->asString(), QStringLiteral("A4"));

    DatabaseFixture::exec({ QStringLiteral("UPDATE Papel SET PaperName = 'ISO A4' WHERE dmPaperSize = 9") });
    papers->reopen();
    jobs->next();
    QCOMPARE(jobs->fieldByName(QStringLiteral("lk_Papel"))->asString(), QStringLiteral("A4"));
    jobs->reopen();
    QCOMPARE(jobs->fieldByName(QStringLiteral("lk_Papel"))->asString(), QStringLiteral("ISO A4"));
}

void TestDataset::modelFollowsDataset()
{
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Usuario VALUES ('ana', 'Ana', 'ADM', 1, 'N')") });
    auto ds = dataset({ QStringLiteral("select * from Usuario order by Usuario_id") });
    ds->addDataField(QStringLiteral("Usuario_id"), FieldType::String, 50)
        ->setDisplayLabel(QStringLiteral("Usuário"))
        .setDisplayWidth(17)
        .setReadOnly(true);
    ds->addDataField(QStringLiteral("Usuario_Nome"), FieldType::String, 50);
    ds->addDataField(QStringLiteral("Usuario_Ativo"), FieldType::String, 1)->setFlag(true);
    DatasetModel model(ds.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    DataSource source(QStringLiteral("dsTest"), ds.get());
    QSignalSpy changes(&source, &DataSource::dataChange);

    ds->open();
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Usuário"));
    QCOMPARE(model.headerData(0, Qt::Horizontal, DatasetModel::DisplayWidthRole).toInt(), 17);
    QCOMPARE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable, Qt::NoItemFlags);
    QCOMPARE(model.data(model.index(1, 2), Qt::CheckStateRole).toInt(), int(Qt::Unchecked));

    // Checking the box edits the row; moving to another row posts it.
    QVERIFY(model.setData(model.index(1, 2), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(ds->state(), Dataset::State::Edit);
    ds->first();
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT Usuario_Ativo FROM Usuario WHERE Usuario_id = 'ana'"))
                 .toString(),
             QStringLiteral("S"));
    QVERIFY(changes.count() > 0);

    ds->append();
    QCOMPARE(model.rowCount(), 3);
    ds->cancel();
    QCOMPARE(model.rowCount(), 2);
    ds->close();
    QCOMPARE(model.rowCount(), 0);
}

void TestDataset::suspendedControls()
{
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Setor VALUES ('FIN'), ('RH')") });
    auto ds = dataset({ QStringLiteral("select * from Setor order by Setor_Id") });
    DatasetModel model(ds.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    DataSource source(QStringLiteral("dsTest"), ds.get());
    ds->open();
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&source, &DataSource::dataChange);

    ds->disableControls();
    ds->close();
    DatabaseFixture::exec({ QStringLiteral("DELETE FROM Setor WHERE Setor_Id <> 'ADM'") });
    ds->open();
    QCOMPARE(resets.count(), 0);
    QCOMPARE(changes.count(), 0);
    QCOMPARE(model.rowCount(), 3);                       // the view still shows what it was told of
    QCOMPARE(model.data(model.index(2, 0)), QVariant()); // but never reads past the rows
    ds->enableControls();
    QCOMPARE(resets.count(), 1);
    QCOMPARE(model.rowCount(), 1);
    QVERIFY(changes.count() > 0);
}

// Prices are fixed point: ten jobs at a price of one ten-thousandth add up exactly, where amounts added as binary
// fractions would not (ten times 0.0003 is 0.0029999999999999996 in a double).
void TestDataset::currencyIsExact()
{
    DatabaseFixture::exec({
        QStringLiteral("INSERT INTO CustoImpressao VALUES ('HP1', 9, 1, 1)"),
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10)"
                       " INSERT INTO Impressao (Print_Name, dmPaperSize, Print_Pages, Print_Data, Usuario_Id,"
                       " Print_Color) SELECT 'HP1', 9, 3, '2020-01-01', 'Admin', 'N' FROM n"),
    });
    auto sums =
        dataset({ QStringLiteral("select sum(Impressao.Print_Pages * CustoImpressao.Custo_Mono) as Custo_Mono"),
                  QStringLiteral("from Impressao left join CustoImpressao on Impressao.Print_Name = "
                                 "CustoImpressao.Print_Name and Impressao.dmPaperSize = CustoImpressao.dmPaperSize") });
    sums->addDataField(QStringLiteral("Custo_Mono"), FieldType::Currency);
    sums->open();
    QCOMPARE(sums->fieldByName(QStringLiteral("Custo_Mono"))->asCurrencyUnits(), qint64(30));
    QCOMPARE(sums->fieldByName(QStringLiteral("Custo_Mono"))->value().toDouble(), 0.003);
}

void TestDataset::fetchKeepsEveryValue()
{
    if (DatabaseFixture::onPostgres()) {
        QSKIP("a column of values of every type is SQLite's own");
    }
    // Repeated texts are read once and shared, the previous row's text is tried first, and a column that
    // turns to mostly new texts stops sharing halfway (names after row 300, times from the start): every
    // value must still come out as stored, nulls and empty texts included, whatever path read it.
    DatabaseFixture::exec({
        QStringLiteral("CREATE TABLE Mixed (Id INTEGER PRIMARY KEY, Name VARCHAR(20), Stamp DATETIME,"
                       " Amount INTEGER, Code DOUBLE, Loose)"),
        QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1500) INSERT INTO Mixed SELECT i,"
            " CASE WHEN i % 7 = 0 THEN NULL WHEN i % 11 = 0 THEN '' WHEN i > 300 THEN 'doc' || i"
            "  ELSE 'José ' || (i % 5) END,"
            " CASE WHEN i % 13 = 0 THEN NULL WHEN i % 29 = 0 THEN 'soon' WHEN i % 2 = 0 THEN '2021-03-28'"
            "  ELSE printf('2021-03-28 %02d:%02d:00', i / 60 % 24, i % 60) END,"
            " CASE WHEN i % 17 = 0 THEN NULL WHEN i % 19 = 0 THEN i + 0.5 ELSE i END,"
            " CASE i % 3 WHEN 0 THEN 9 WHEN 1 THEN 9.5 ELSE NULL END,"
            " CASE i % 4 WHEN 0 THEN i WHEN 1 THEN i * 0.25 WHEN 2 THEN 't' || (i % 3) ELSE NULL END FROM n"),
        QStringLiteral("INSERT INTO Papel (PaperName, dmPaperSize) VALUES ('Half', 9.5)"),
    });
    auto papers = dataset({ QStringLiteral("select * from Papel") });
    auto ds = dataset({ QStringLiteral("select * from Mixed order by Id") });
    ds->addDataField(QStringLiteral("Id"), FieldType::AutoInc);
    ds->addDataField(QStringLiteral("Name"), FieldType::String, 20);
    ds->addDataField(QStringLiteral("Stamp"), FieldType::DateTime);
    ds->addDataField(QStringLiteral("Amount"), FieldType::Integer);
    ds->addDataField(QStringLiteral("Code"), FieldType::Float);
    ds->addDataField(QStringLiteral("Loose"), FieldType::Unknown);
    ds->addLookupField(QStringLiteral("lk_Papel"), 30, papers.get(), QStringLiteral("Code"),
                       QStringLiteral("dmPaperSize"), QStringLiteral("PaperName"));
    ds->open();
    QCOMPARE(ds->recordCount(), 1500);

    const auto field = [&](const char* name) { return ds->fieldByName(QLatin1String(name)); };
    QStringList wrong;
    for (ds->first(); !ds->eof() && wrong.size() < 5; ds->next()) {
        const qint64 i = field("Id")->asInteger();
        const auto expect = [&](const char* name, const QVariant& value, const QVariant& expected) {
            if (value != expected || value.isNull() != expected.isNull()) {
                QString line;
                QDebug(&line) << "row" << i << name << value << "instead of" << expected;
                wrong << line;
            }
        };
        const QVariant name = i % 7 == 0    ? QVariant()
                              : i % 11 == 0 ? QVariant(QString())
                              : i > 300     ? QVariant(QStringLiteral("doc%1").arg(i))
                                            : QVariant(QStringLiteral("José %1").arg(i % 5));
        expect("Name", field("Name")->value(), name);
        const QVariant stamp =
            i % 13 == 0 || i % 29 == 0
                ? QVariant()
                : QVariant(QDateTime(QDate(2021, 3, 28), i % 2 == 0 ? QTime(0, 0) : QTime(i / 60 % 24, i % 60)));
        expect("Stamp", field("Stamp")->value(), stamp);
        const QVariant amount = i % 17 == 0 ? QVariant() : QVariant(i % 19 == 0 ? i + 1 : i); // 0.5 rounds up
        expect("Amount", field("Amount")->value(), amount);
        const QVariant code = i % 3 == 0 ? QVariant(9.0) : i % 3 == 1 ? QVariant(9.5) : QVariant();
        expect("Code", field("Code")->value(), code);
        const QVariant paper = i % 3 == 0   ? QVariant(QStringLiteral("A4"))
                               : i % 3 == 1 ? QVariant(QStringLiteral("Half"))
                                            : QVariant();
        expect("lk_Papel", field("lk_Papel")->value(), paper);
        const QVariant loose = i % 4 == 0   ? QVariant(i)
                               : i % 4 == 1 ? QVariant(double(i) * 0.25)
                               : i % 4 == 2 ? QVariant(QStringLiteral("t%1").arg(i % 3))
                                            : QVariant();
        expect("Loose", field("Loose")->value(), loose);
        if (field("Loose")->value().typeId() != loose.typeId()) {
            wrong << QStringLiteral("row %1: Loose has type %2").arg(i).arg(field("Loose")->value().typeName());
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
}

void TestDataset::openMissingOrForeignFile()
{
    if (DatabaseFixture::onPostgres()) {
        QSKIP("database files are SQLite's");
    }
    const QString missing = m_db->folder() + QStringLiteral("/missing.db");
    QVERIFY_THROWS_EXCEPTION(DriverError, Database::open(missing, QStringLiteral("other")));
    QVERIFY(!QFile::exists(missing)); // opening never creates a database
    const QString foreign = m_db->folder() + QStringLiteral("/config.ini");
    QFile file(foreign);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    QVERIFY_THROWS_EXCEPTION(DriverError, Database::open(foreign, QStringLiteral("other")));
    QVERIFY_THROWS_EXCEPTION(PlainError, Database::create(m_db->path()));
}

void TestDataset::newerRowsAreAdded_data()
{
    QTest::addColumn<bool>("atStart");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QList<qint64>>("ids");

    QTest::newRow("newest first") << true << QStringLiteral("desc") << QList<qint64>{ 5, 4, 3, 2, 1 };
    QTest::newRow("oldest first") << false << QStringLiteral("asc") << QList<qint64>{ 1, 2, 3, 4, 5 };
}

// Rows stored since the dataset was read are added where the query's order puts them; the rows held, the
// current row and the views' places stay, and the rows of the query's other parameter values stay out.
void TestDataset::newerRowsAreAdded()
{
    QFETCH(bool, atStart);
    QFETCH(QString, order);
    QFETCH(QList<qint64>, ids);

    const QString job =
        QStringLiteral("INSERT INTO Impressao (Print_Id, Print_Data, Usuario_Id) VALUES (%1, '%2', 'u')");
    DatabaseFixture::exec({ job.arg(1).arg(QStringLiteral("2020-01-02")), job.arg(2).arg(QStringLiteral("2020-01-02")),
                            job.arg(3).arg(QStringLiteral("2020-01-02")) });
    auto ds = dataset({ QStringLiteral("select * from Impressao where Print_Data = :Data"),
                        QStringLiteral("order by Print_Id ") + order });
    ds->setParam(QStringLiteral("Data"), QStringLiteral("2020-01-02"));
    DatasetModel model(ds.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    ds->open();
    ds->moveTo(1);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    const auto at = atStart ? Dataset::NewRowsAt::Start : Dataset::NewRowsAt::End;

    QCOMPARE(ds->appendNewerRows(QStringLiteral("Print_Id"), at), 0);
    DatabaseFixture::exec({ job.arg(4).arg(QStringLiteral("2020-01-02")), job.arg(5).arg(QStringLiteral("2020-01-02")),
                            job.arg(6).arg(QStringLiteral("2020-01-03")) });
    QCOMPARE(ds->appendNewerRows(QStringLiteral("Print_Id"), at), 2);

    QList<qint64> held;
    for (int row = 0; row < ds->recordCount(); ++row) {
        held << ds->storedValue(row, ds->fieldByName(QStringLiteral("Print_Id"))->index()).toLongLong();
    }
    QCOMPARE(held, ids);
    QCOMPARE(resets.count(), 0);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), atStart ? 0 : 3);
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(ds->fieldByName(QStringLiteral("Print_Id"))->value().toLongLong(), 2);

    // An empty dataset takes the rows as they come, the first one current.
    DatabaseFixture::exec({ QStringLiteral("DELETE FROM Impressao") });
    ds->reopen();
    DatabaseFixture::exec({ job.arg(7).arg(QStringLiteral("2020-01-02")) });
    QCOMPARE(ds->appendNewerRows(QStringLiteral("Print_Id"), at), 1);
    QCOMPARE(ds->recNo(), 0);
    QVERIFY(!ds->eof());
}

namespace {

using Match = Dataset::Condition::Match;

Dataset::Condition condition(const char* field, Match match, const QVariant& value, const QVariant& high = {})
{
    Dataset::Condition result;
    result.field = QLatin1String(field);
    result.match = match;
    result.value = value;
    result.high = high;
    return result;
}

Dataset::Condition exact(Dataset::Condition condition)
{
    condition.caseSensitive = true;
    return condition;
}

Dataset::Condition negated(Dataset::Condition condition)
{
    condition.negated = true;
    return condition;
}

Dataset::Condition shown(Dataset::Condition condition)
{
    condition.asShown = true;
    return condition;
}

QList<qint64> idsOf(Dataset& ds, const char* keyField = "Print_Id")
{
    QList<qint64> result;
    const int key = ds.fieldByName(QLatin1String(keyField))->index();
    for (int row = 0; row < ds.recordCount(); ++row) {
        result << ds.storedValue(row, key).toLongLong();
    }
    return result;
}

// n jobs of January 2020, id i on day 1 + i % 28, by user 'user' || i % 7, document 'doc i'.
void addManyJobs(int count)
{
    // PostgreSQL stores a text in a date column only when told it is one.
    const QString day = DatabaseFixture::onPostgres() ? QStringLiteral("CAST(%1 AS date)") : QStringLiteral("%1");
    const QString time = DatabaseFixture::onPostgres() ? QStringLiteral("CAST(%1 AS timestamp)") : QStringLiteral("%1");
    DatabaseFixture::exec(
        { QStringLiteral(
              "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1)"
              " INSERT INTO Impressao (Print_Id, Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages,"
              " Print_Document, Print_Entregue, dmPaperSize, Print_Color, Projeto_Id) SELECT i, 'HP1', %2, %3,"
              " 'user' || (i % 7), 1 + i % 9, 'doc ' || i, CASE WHEN i % 2 = 0 THEN 'S' END, 9, 'N', 1 FROM n")
              .arg(count)
              .arg(day.arg(QStringLiteral("printf('2020-01-%02d', 1 + i % 28)")),
                   time.arg(QStringLiteral("printf('2020-01-%02d %02d:%02d:00', 1 + i % 28, i / 60 % 24, i % 60)"))) });
}

std::unique_ptr<Dataset> januaryJobs(int pagedAbove)
{
    auto ds = dataset({ QStringLiteral("select * from Impressao"),
                        QStringLiteral("where Print_Data >= :datai and Print_Data <= :dataf"),
                        QStringLiteral("order by Print_Data desc, Print_Id") });
    for (const char* name :
         { "Print_Id", "Print_Data", "Usuario_Id", "Print_Pages", "Print_Document", "Print_Entregue" }) {
        const QString field = QLatin1String(name);
        ds->addDataField(field, field == QLatin1String("Print_Id")      ? FieldType::AutoInc
                                : field == QLatin1String("Print_Data")  ? FieldType::DateTime
                                : field == QLatin1String("Print_Pages") ? FieldType::Integer
                                                                        : FieldType::String);
    }
    ds->setParamType(QStringLiteral("datai"), FieldType::DateTime);
    ds->setParamType(QStringLiteral("dataf"), FieldType::DateTime);
    ds->setParam(0, QDate(2020, 1, 1));
    ds->setParam(1, QDate(2020, 1, 31));
    ds->setPagedAbove(pagedAbove);
    return ds;
}

} // namespace

void TestDataset::filterConditions_data()
{
    QTest::addColumn<QList<Dataset::Condition>>("conditions");
    QTest::addColumn<QList<qint64>>("ids");
    const QVariant jose = QStringLiteral("JOSÉ");
    QTest::newRow("equal, without case") << QList{ condition("Usuario_Id", Match::Equal, jose) }
                                         << QList<qint64>{ 1, 5 };
    QTest::newRow("equal, with case") << QList{ exact(condition("Usuario_Id", Match::Equal, QStringLiteral("José"))) }
                                      << QList<qint64>{ 1 };
    // A one-letter flag is a text that counts letter case in the table, not in a search.
    QTest::newRow("flag, without case") << QList{ condition("Print_Color", Match::Equal, QStringLiteral("s")) }
                                        << QList<qint64>{ 1, 2 };
    QTest::newRow("flag, with case") << QList{ exact(condition("Print_Color", Match::Equal, QStringLiteral("S"))) }
                                     << QList<qint64>{ 1 };
    QTest::newRow("contains, without case")
        << QList{ condition("Print_Document", Match::Contains, QStringLiteral("RELATÓRIO")) } << QList<qint64>{ 1, 5 };
    QTest::newRow("contains, with case") << QList{
        exact(condition("Print_Document", Match::Contains, QStringLiteral("Relatório")))
    } << QList<qint64>{ 1 };
    QTest::newRow("starts with") << QList{ condition("Print_Document", Match::StartsWith, QStringLiteral("rel")) }
                                 << QList<qint64>{ 1, 5 };
    // Typed text is a value, never SQL nor a pattern.
    QTest::newRow("quote in the text") << QList{ condition("Print_Document", Match::StartsWith,
                                                           QStringLiteral("x' OR 1=1 --")) }
                                       << QList<qint64>{ 3 };
    QTest::newRow("percent sign is no wildcard")
        << QList{ condition("Print_Document", Match::Contains, QStringLiteral("%")) } << QList<qint64>{};
    QTest::newRow("range of numbers") << QList{ condition("Print_Pages", Match::Range, 5, 7) } << QList<qint64>{ 4, 5 };
    QTest::newRow("dates from a day on") << QList{ condition("Print_Data", Match::Range, QDate(2020, 1, 3),
                                                             QVariant()) }
                                         << QList<qint64>{ 4, 5 };
    QTest::newRow("one day") << QList{ condition("Print_Data", Match::Equal, QDate(2020, 1, 2)) }
                             << QList<qint64>{ 2, 3 };
    QTest::newRow("null") << QList{ condition("Print_Document", Match::Null, {}) } << QList<qint64>{ 4 };
    QTest::newRow("not null") << QList{ negated(condition("Print_Document", Match::Null, {})) }
                              << QList<qint64>{ 1, 2, 3, 5 };
    // A row without a document is among those that do not contain the text.
    QTest::newRow("not containing") << QList{
        negated(condition("Print_Document", Match::Contains, QStringLiteral("rel")))
    } << QList<qint64>{ 2, 3, 4 };
    QTest::newRow("both") << QList{ condition("Usuario_Id", Match::Contains, QStringLiteral("jos")),
                                    condition("Print_Pages", Match::Range, 8, QVariant()) }
                          << QList<qint64>{ 1, 2 };
    QTest::newRow("none") << QList<Dataset::Condition>{} << QList<qint64>{ 1, 2, 3, 4, 5 };
    // A pattern: "%" is any run of characters, "_" and "\\" stand for themselves.
    QTest::newRow("like") << QList{ condition("Print_Document", Match::Like, QStringLiteral("REL%")) }
                          << QList<qint64>{ 1, 5 };
    QTest::newRow("like, with case") << QList{ exact(condition("Print_Document", Match::Like, QStringLiteral("Rel%"))) }
                                     << QList<qint64>{ 1 };
    QTest::newRow("like: underscore is no wildcard")
        << QList{ condition("Print_Document", Match::Like, QStringLiteral("x_ OR%")) } << QList<qint64>{};
    QTest::newRow("like: quote and backslash are text")
        << QList{ condition("Print_Document", Match::Like, QStringLiteral("%' OR 1=1 --")),
                  negated(condition("Print_Document", Match::Like, QStringLiteral("%\\%"))) }
        << QList<qint64>{ 3 };
    QTest::newRow("like with case: glob characters are text")
        << QList{ exact(condition("Print_Document", Match::Like, QStringLiteral("[x]*%"))) } << QList<qint64>{};
    QTest::newRow("any of") << QList{
        Dataset::Condition::anyOf({ condition("Usuario_Id", Match::Equal, QStringLiteral("MARIA")),
                                    condition("Print_Pages", Match::Range, 10, QVariant()) })
    } << QList<qint64>{ 1, 3 };
    QTest::newRow("all of, within any of")
        << QList{ Dataset::Condition::anyOf(
               { Dataset::Condition::allOf({ condition("Usuario_Id", Match::Contains, QStringLiteral("jos")),
                                             condition("Print_Pages", Match::Range, QVariant(), 7) }),
                 condition("Print_Document", Match::Null, {}) }) }
        << QList<qint64>{ 4, 5 };
    // Negated as a whole: a row without a document is among those that do not contain the text.
    QTest::newRow("none of") << QList{
        negated(Dataset::Condition::anyOf({ condition("Usuario_Id", Match::Contains, QStringLiteral("jos")),
                                            condition("Print_Document", Match::Contains, QStringLiteral("ata")) }))
    } << QList<qint64>{ 3, 4 };
    QTest::newRow("empty any of") << QList{ Dataset::Condition::anyOf({}) } << QList<qint64>{};
    QTest::newRow("date as shown") << QList{
        shown(condition("Print_Data", Match::StartsWith, QStringLiteral("02/01")))
    } << QList<qint64>{ 2, 3 };
    QTest::newRow("number as shown") << QList{ shown(condition("Print_Pages", Match::Like, QStringLiteral("1%"))) }
                                     << QList<qint64>{ 1 };
}

// Filters are applied by the database with bound values, on the next open or refresh, to rows held whole
// or by their keys alike.
void TestDataset::filterConditions()
{
    QFETCH(QList<Dataset::Condition>, conditions);
    QFETCH(QList<qint64>, ids);
    DatabaseFixture::exec({ QStringLiteral(
        "INSERT INTO Impressao (Print_Id, Print_Name, Print_Data, Usuario_Id, Print_Pages, Print_Document,"
        " Print_Color) VALUES"
        " (1, 'HP1', '2020-01-01', 'José', 10, 'Relatório Anual', 'S'), (2, 'HP1', '2020-01-02', 'jose', 8, 'Ata', "
        "'s'),"
        " (3, 'HP1', '2020-01-02', 'maria', 3, 'x'' OR 1=1 --', 'N'), (4, 'HP1', '2020-01-03', 'Ana', 5, NULL, NULL),"
        " (5, 'HP1', '2020-01-04', 'josé', 7, 'relatório', 'n')") });
    auto ds = dataset({ QStringLiteral("select * from Impressao order by Print_Id") });
    ds->open();
    ds->setFilter(conditions);
    QCOMPARE(ds->recordCount(), 5); // not before the next read
    ds->refresh();
    QCOMPARE(idsOf(*ds), ids);
    ds->reopen();
    QCOMPARE(idsOf(*ds), ids);
    ds->setFilter({});
    ds->refresh();
    QCOMPARE(ds->recordCount(), 5);

    // Find first and find last by the same rules, in memory or by the database; the current row stays.
    if (conditions.size() == 1) {
        const int key = ds->fieldByName(QStringLiteral("Print_Id"))->index();
        const auto idAt = [&](int row) { return row < 0 ? qint64(-1) : ds->storedValue(row, key).toLongLong(); };
        const int current = ds->recNo();
        QCOMPARE(idAt(ds->findRow(conditions.first())), ids.isEmpty() ? qint64(-1) : ids.first());
        QCOMPARE(idAt(ds->findRow(conditions.first(), ds->recordCount(), false)),
                 ids.isEmpty() ? qint64(-1) : ids.last());
        QCOMPARE(ds->recNo(), current);
    }
}

// A condition on a paper name is one on the paper codes that have it; one on a cost is computed by the
// database with the same rule as the cost shown.
void TestDataset::filterOnLookupAndCalculatedFields_data()
{
    QTest::addColumn<Dataset::Condition>("condition");
    QTest::addColumn<QList<qint64>>("ids");
    QTest::newRow("paper name") << condition("lk_Papel", Match::Equal, QStringLiteral("a4")) << QList<qint64>{ 1, 3 };
    QTest::newRow("paper name begins") << condition("lk_Papel", Match::StartsWith, QStringLiteral("A"))
                                       << QList<qint64>{ 1, 2, 3 };
    // No code, or a code without a name: no paper name.
    QTest::newRow("no paper name") << condition("lk_Papel", Match::Null, {}) << QList<qint64>{ 4, 5 };
    QTest::newRow("not A4") << negated(condition("lk_Papel", Match::Equal, QStringLiteral("A4")))
                            << QList<qint64>{ 2, 4, 5 };
    QTest::newRow("cost") << condition("calc_Custo", Match::Range, 0.6, 0.6) << QList<qint64>{ 1, 5 };
    QTest::newRow("cost as shown") << shown(condition("calc_Custo", Match::StartsWith, QStringLiteral("1,00")))
                                   << QList<qint64>{ 2 };
}

void TestDataset::filterOnLookupAndCalculatedFields()
{
    QFETCH(Dataset::Condition, condition);
    QFETCH(QList<qint64>, ids);
    // Colour pages cost 0,50, the others 0,20; job 4 has no price.
    DatabaseFixture::exec({ QStringLiteral(
        "INSERT INTO Impressao (Print_Id, Print_Name, Print_Data, Usuario_Id, Print_Pages, dmPaperSize, Print_Color)"
        " VALUES (1, 'HP1', '2020-01-01', 'a', 3, 9, 'N'), (2, 'HP1', '2020-01-01', 'a', 2, 8, 'S'),"
        " (3, 'HP1', '2020-01-01', 'a', 1, 9, 's'), (4, 'HP1', '2020-01-01', 'a', 5, 999, 'N'),"
        " (5, 'HP1', '2020-01-01', 'a', 3, NULL, 'N')") });
    auto papers = dataset({ QStringLiteral("select * from Papel") });
    auto ds = dataset({ QStringLiteral("select Print_Id, dmPaperSize, Print_Pages, Print_Color,"),
                        QStringLiteral("CASE WHEN Print_Id = 4 THEN NULL ELSE 2000 END AS Custo_Mono,"),
                        QStringLiteral("5000 AS Custo_Color from Impressao order by Print_Id") });
    ds->setBaseTable(QStringLiteral("Impressao"));
    ds->addDataField(QStringLiteral("Print_Id"), FieldType::AutoInc);
    ds->addDataField(QStringLiteral("dmPaperSize"), FieldType::Integer);
    ds->addDataField(QStringLiteral("Print_Pages"), FieldType::Integer);
    ds->addDataField(QStringLiteral("Print_Color"), FieldType::String, 1);
    ds->addDataField(QStringLiteral("Custo_Mono"), FieldType::Currency);
    ds->addDataField(QStringLiteral("Custo_Color"), FieldType::Currency);
    ds->addCalculatedField(QStringLiteral("calc_Custo"), FieldType::Currency);
    ds->addLookupField(QStringLiteral("lk_Papel"), 30, papers.get(), QStringLiteral("dmPaperSize"),
                       QStringLiteral("dmPaperSize"), QStringLiteral("PaperName"));
    CostRules::bindDetail(*ds);
    ds->open();
    ds->setFilter({ condition });
    ds->refresh();
    QCOMPARE(idsOf(*ds), ids);
    // Found by the same rules in the rows held.
    ds->setFilter({});
    ds->refresh();
    const int found = ds->findRow(condition);
    QCOMPARE(found < 0 ? qint64(-1) : ds->storedValue(found, 0).toLongLong(), ids.isEmpty() ? -1 : ids.first());
}

// Locate goes to the first row in the query's order that holds the value, also when the rows are held by
// their keys and the database is asked which rows hold it.
void TestDataset::locateFollowsQueryOrder()
{
    addManyJobs(1200);
    for (const int pagedAbove : { std::numeric_limits<int>::max(), 0 }) {
        auto ds = januaryJobs(pagedAbove);
        ds->open();
        QCOMPARE(ds->isPaged(), pagedAbove == 0);
        const int user = ds->fieldByName(QStringLiteral("Usuario_Id"))->index();
        // Newest day first: the first row of 'user3' is on the 25th, far from its lowest id.
        QVERIFY(ds->locate(QStringLiteral("Usuario_Id"), QStringLiteral("USER3"), true));
        QCOMPARE(ds->fieldByName(QStringLiteral("Usuario_Id"))->asString(), QStringLiteral("user3"));
        QCOMPARE(ds->fieldByName(QStringLiteral("Print_Data"))->value().toDate(), QDate(2020, 1, 25));
        int first = -1;
        for (int row = 0; row < ds->recordCount() && first < 0; ++row) {
            first = ds->storedValue(row, user) == QVariant(QStringLiteral("user3")) ? row : -1;
        }
        QCOMPARE(ds->recNo(), first);
        // The last row of the query, on a later page.
        const int last = ds->recordCount() - 1;
        const QString document =
            ds->storedValue(last, ds->fieldByName(QStringLiteral("Print_Document"))->index()).toString();
        QVERIFY(ds->locate(QStringLiteral("Print_Document"), document, false));
        QCOMPARE(ds->recNo(), last);
        QVERIFY(!ds->locate(QStringLiteral("Usuario_Id"), QStringLiteral("USER3"), false)); // with case
        QCOMPARE(ds->recNo(), last);
        QVERIFY(ds->locate(QStringLiteral("Print_Pages"), 9, false));
        QCOMPARE(ds->fieldByName(QStringLiteral("Print_Pages"))->asInteger(), 9);
        QVERIFY(!ds->locate(QStringLiteral("Print_Id"), 5000, false));
    }
}

// Rows held by their keys: an edit, an insert and a delete far down the rows, with a view attached; a
// row posted here stays as posted while the pages come and go, until a refresh reads the query anew.
void TestDataset::pagedEditsAcrossPages()
{
    addManyJobs(9000); // more rows than the pages kept at once
    auto ds = januaryJobs(0);
    DatasetModel model(ds.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    ds->open();
    QVERIFY(ds->isPaged());
    QCOMPARE(model.rowCount(), 9000);
    const auto field = [&](const char* name) { return ds->fieldByName(QLatin1String(name)); };
    // A picker changed and not applied yet: the rows read are still those of the period read.
    ds->setParam(0, QDate(2020, 3, 1));
    QCOMPARE(ds->storedValue(8999, field("Usuario_Id")->index()).isNull(), false);
    ds->setParam(0, QDate(2020, 1, 1));

    ds->moveTo(5000);
    const qint64 edited = field("Print_Id")->asInteger();
    ds->edit();
    field("Print_Document")->setValue(QStringLiteral("Orçamento revisto"));
    ds->post();
    QSqlQuery query(QSqlDatabase::database(Database::ConnectionName));
    QVERIFY(query.exec(QStringLiteral("SELECT Print_Document FROM Impressao WHERE Print_Id = %1").arg(edited)));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("Orçamento revisto"));
    query.finish();

    // A job of another month: the query does not return it, the dataset shows it as posted.
    ds->moveTo(7000);
    ds->insert();
    QCOMPARE(ds->recNo(), 7000);
    field("Print_Data")->setValue(QDate(2020, 2, 10));
    field("Usuario_Id")->setValue(QStringLiteral("Zé"));
    ds->post();
    const qint64 inserted = field("Print_Id")->asInteger();
    QVERIFY(inserted > 9000);
    for (int pass = 0; pass < 2; ++pass) {
        for (int row = 0; row < ds->recordCount(); ++row) {
            ds->storedValue(row, 0); // every page dropped and read anew at least once
        }
    }
    const int documentField = field("Print_Document")->index();
    QCOMPARE(ds->storedValue(5000, documentField).toString(), QStringLiteral("Orçamento revisto"));
    QCOMPARE(ds->storedValue(7000, field("Usuario_Id")->index()).toString(), QStringLiteral("Zé"));
    QCOMPARE(ds->storedValue(7000, field("Print_Data")->index()).toDateTime().date(), QDate(2020, 2, 10));
    QCOMPARE(ds->recordCount(), 9001);

    // Deleting moves the rows below up by one.
    ds->moveTo(3000);
    const qint64 below = ds->storedValue(3001, field("Print_Id")->index()).toLongLong();
    const qint64 removed = field("Print_Id")->asInteger();
    ds->remove();
    QCOMPARE(ds->recNo(), 3000);
    QCOMPARE(field("Print_Id")->asInteger(), below);
    QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM Impressao WHERE Print_Id = %1").arg(removed)));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 0);
    query.finish();

    ds->moveTo(4999);
    ds->refresh();
    QCOMPARE(ds->recordCount(), 8999); // the February job is not of the period
    QVERIFY(!idsOf(*ds).contains(inserted));
    QCOMPARE(ds->storedValue(4999, documentField).toString(), QStringLiteral("Orçamento revisto"));
    QCOMPARE(field("Print_Id")->asInteger(), edited);
}

// A join that repeats the base table's key cannot be read by keys: it is read whole.
void TestDataset::repeatedKeysAreReadWhole()
{
    addManyJobs(10);
    auto ds =
        dataset({ QStringLiteral("select Impressao.Print_Id, Twice.n from Impressao"),
                  QStringLiteral("cross join (select 1 as n union all select 2) as Twice order by Print_Id, n") });
    ds->addDataField(QStringLiteral("Print_Id"), FieldType::AutoInc);
    ds->addDataField(QStringLiteral("n"), FieldType::Integer);
    ds->setPagedAbove(0);
    ds->open();
    QVERIFY(!ds->isPaged());
    QCOMPARE(ds->recordCount(), 20);
    QCOMPARE(ds->storedValue(19, 1).toInt(), 2);
}

// A page that cannot be read is asked for by a view while it paints: nothing is thrown into the event loop,
// the rows show as nulls and the log says why.
void TestDataset::unreadablePageShowsNulls()
{
    addManyJobs(600);
    auto ds = januaryJobs(0);
    ds->open();
    QVERIFY(ds->isPaged());
    QCOMPARE(ds->storedValue(0, ds->fieldByName(QStringLiteral("Usuario_Id"))->index()).isNull(), false);
    DatabaseFixture::exec({ QStringLiteral("ALTER TABLE Impressao RENAME TO Gone") });
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("rows 512 to 599 could not be read")));
    QCOMPARE(ds->storedValue(599, ds->fieldByName(QStringLiteral("Usuario_Id"))->index()), QVariant());
}

// The statement that reads pages is kept between pages: closing the connection finalizes it, so that the
// connection closes cleanly, and a connection opened again reads the next pages.
void TestDataset::connectionClosedUnderPages()
{
    addManyJobs(600);
    auto ds = januaryJobs(0);
    ds->open();
    const int user = ds->fieldByName(QStringLiteral("Usuario_Id"))->index();
    QVERIFY(!ds->storedValue(0, user).isNull());
    Database::close();
    // A statement left unfinalized keeps the file open (the driver's close then fails without a word).
    const QFileInfo file(m_db->path());
    for (const QFileInfo& descriptor :
         QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        QVERIFY2(DatabaseFixture::onPostgres() || QFileInfo(descriptor.symLinkTarget()) != file,
                 "the database is still open");
    }
    Database::open(m_db->path());
    QVERIFY(!ds->storedValue(599, user).isNull());
}

QTEST_GUILESS_MAIN(TestDataset)
#include "tst_dataset.moc"
