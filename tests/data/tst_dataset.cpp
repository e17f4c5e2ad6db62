// The dataset layer's mechanics over the schema's own tables.

#include "common/DatabaseFixture.h"
#include "data/DataSource.h"
#include "data/Dataset.h"
#include "data/DatasetModel.h"
#include "platform/SystemRoutines.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace tollbook;

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
    QCOMPARE(
        DatabaseFixture::scalar(QStringLiteral("SELECT Projeto_Data FROM Projeto WHERE Projeto_Id = 2")).toString(),
        QStringLiteral("2021-03-05"));

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
                                                    "CustoImpressao ORDER BY 1)"))
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

// Prices are fixed point: a million jobs at a price of one ten-thousandth add up exactly.
void TestDataset::currencyIsExact()
{
    DatabaseFixture::exec({
        QStringLiteral("INSERT INTO CustoImpressao VALUES ('HP1', 9, 1, 1)"),
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000)"
                       " INSERT INTO Impressao (Print_Name, dmPaperSize, Print_Pages, Print_Data, Usuario_Id,"
                       " Print_Color) SELECT 'HP1', 9, 3, '2020-01-01', 'Admin', 'N' FROM n"),
    });
    auto sums =
        dataset({ QStringLiteral("select sum(Impressao.Print_Pages * CustoImpressao.Custo_Mono) as Custo_Mono"),
                  QStringLiteral("from Impressao left join CustoImpressao on Impressao.Print_Name = "
                                 "CustoImpressao.Print_Name and Impressao.dmPaperSize = CustoImpressao.dmPaperSize") });
    sums->addDataField(QStringLiteral("Custo_Mono"), FieldType::Currency);
    sums->open();
    QCOMPARE(sums->fieldByName(QStringLiteral("Custo_Mono"))->asCurrencyUnits(), qint64(3000000));
    QCOMPARE(sums->fieldByName(QStringLiteral("Custo_Mono"))->value().toDouble(), 300.0);
}

void TestDataset::fetchKeepsEveryValue()
{
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

QTEST_GUILESS_MAIN(TestDataset)
#include "tst_dataset.moc"
