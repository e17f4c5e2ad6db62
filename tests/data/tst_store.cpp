// What each store promises the rest of the code, tried on a new database of the store the test runs on: every
// statement of the catalogue prepares, and the store's own answers (row identity, the key an insert hands back,
// table information, a LIKE that counts letter case, savepoints, the bulk insert) do what the callers rely on.

#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"
#include "data/Schema.h"
#include "data/Store.h"

#include <QSqlQuery>
#include <QTest>

using namespace tollbook;

namespace {

// The dataset's SQL as it reaches the store: named parameters (":Name" outside quotes and brackets) as "?".
QString positional(const QString& sql)
{
    QString out;
    QChar quote;
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('[')) {
            quote = QLatin1Char(']');
        } else if (c == QLatin1Char(':') && i + 1 < sql.size() &&
                   (sql.at(i + 1).isLetter() || sql.at(i + 1) == QLatin1Char('_')) &&
                   (i == 0 || sql.at(i - 1) != QLatin1Char(':'))) {
            int end = i + 1;
            while (end < sql.size() && (sql.at(end).isLetterOrNumber() || sql.at(end) == QLatin1Char('_'))) {
                ++end;
            }
            out += QLatin1Char('?');
            i = end - 1;
            continue;
        }
        out += c;
    }
    return out;
}

QSqlDatabase connection()
{
    return QSqlDatabase::database(Database::ConnectionName);
}

QVariant scalar(const QString& sql, const QVariantList& values = {})
{
    QSqlQuery query(connection());
    if (!query.prepare(Store::forConnection().sql(sql))) {
        return QStringLiteral("<refused: %1>").arg(Database::driverMessage(query.lastError()));
    }
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    if (!query.exec() || !query.next()) {
        return QStringLiteral("<failed: %1>").arg(Database::driverMessage(query.lastError()));
    }
    return query.value(0);
}

} // namespace

class TestStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storeOfTheConnection();
    void catalogueStatementsPrepare();
    void tableInfo_data();
    void tableInfo();
    void rowIdentityTellsEqualRowsApart();
    void insertHandsBackItsKey();
    void caseSensitiveLike_data();
    void caseSensitiveLike();
    void savepointOutsideTransaction();
    void bulkInsertRefusesRowsAlone();
    void bulkInsertOfAStoredBatch();
};

void TestStore::storeOfTheConnection()
{
    DatabaseFixture database;
    const Store& expected = DatabaseFixture::onPostgres() ? Store::postgres() : Store::sqlite();
    QCOMPARE(&Store::forConnection(), &expected);
    QCOMPARE(&Store::forLocation(database.path()), &expected);
    // A connection that is not there is SQLite's, whose statements then fail as missing.
    QCOMPARE(&Store::forConnection(QStringLiteral("no such connection")), &Store::sqlite());
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             Store::forConnection(QStringLiteral("no such connection"))
                                 .prepare(QStringLiteral("no such connection"), QStringLiteral("SELECT 1")));
}

// Every dataset of the catalogue, as written for SQLite, prepares on the store: a name, a function or a clause
// one store does not know fails here, before any window opens it.
void TestStore::catalogueStatementsPrepare()
{
    DatabaseFixture database;
    QObject owner;
    auto* dataModule = new DataModuleDatasets(&owner);
    new MainWindowDatasets(dataModule, &owner);
    Catalogue::createConfigurationDataset(&owner);
    Catalogue::createPurgeCount(&owner);
    Catalogue::createPurgeStatement(&owner);
    const QList<Dataset*> datasets = owner.findChildren<Dataset*>();
    QVERIFY(datasets.size() > 20);
    int prepared = 0;
    for (const Dataset* dataset : datasets) {
        if (dataset->sql().isEmpty()) {
            continue;
        }
        QSqlQuery query(connection());
        const QString sql = Store::forConnection().sql(positional(dataset->sqlText()));
        QVERIFY2(query.prepare(sql),
                 qPrintable(QStringLiteral("%1: %2\n%3")
                                .arg(dataset->objectName(), Database::driverMessage(query.lastError()), sql)));
        ++prepared;
    }
    QVERIFY(prepared > 20);
}

void TestStore::tableInfo_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("rowid");
    QTest::addColumn<QString>("priceType");

    QTest::newRow("numbered key") << QStringLiteral("Impressao") << QStringList{ QStringLiteral("print_id") }
                                  << QStringLiteral("print_id") << QString();
    QTest::newRow("key of two columns, prices")
        << QStringLiteral("CustoImpressao")
        << QStringList{ QStringLiteral("print_name"), QStringLiteral("dmpapersize") } << QString()
        << QStringLiteral("CURRENCY");
    QTest::newRow("text key") << QStringLiteral("Usuario") << QStringList{ QStringLiteral("usuario_id") } << QString()
                              << QString();
    QTest::newRow("no key") << QStringLiteral("Configuracao") << QStringList() << QString() << QString();
    QTest::newRow("no such table") << QStringLiteral("NoSuchTable") << QStringList() << QString() << QString();
}

void TestStore::tableInfo()
{
    QFETCH(QString, table);
    QFETCH(QStringList, keys);
    QFETCH(QString, rowid);
    QFETCH(QString, priceType);
    DatabaseFixture database;
    const TableInfo info = Store::forConnection().tableInfo(Database::ConnectionName, table);
    QCOMPARE(info.table, table);
    QStringList lowerKeys;
    for (const QString& key : info.keyColumns) {
        lowerKeys << key.toLower();
    }
    QCOMPARE(lowerKeys, keys);
    QCOMPARE(info.rowidColumn.toLower(), rowid);
    if (!priceType.isEmpty()) {
        QCOMPARE(info.types.value(QStringLiteral("custo_mono")), priceType);
    }
    if (table == QLatin1String("Impressao")) {
        QCOMPARE(info.columns.size(), 17);
        QCOMPARE(info.types.value(QStringLiteral("print_data")), QStringLiteral("DATE"));
        QCOMPARE(info.types.value(QStringLiteral("print_hora")), QStringLiteral("DATETIME"));
        QCOMPARE(info.columnIndex(QStringLiteral("PRINT_ID")), 0);
    }
}

// Two rows alike in every column: a delete by the row identity of the first takes one of them only.
void TestStore::rowIdentityTellsEqualRowsApart()
{
    DatabaseFixture database;
    DatabaseFixture::exec({ QStringLiteral("CREATE TABLE Twins (Name VARCHAR(10))"),
                            QStringLiteral("INSERT INTO Twins (Name) VALUES ('x')"),
                            QStringLiteral("INSERT INTO Twins (Name) VALUES ('x')") });
    const QString identity = Store::forConnection().rowIdentityColumn();
    QSqlQuery query(connection());
    QVERIFY(query.exec(Store::forConnection().sql(
        QStringLiteral("DELETE FROM Twins WHERE %1 = (SELECT %1 FROM Twins WHERE Name = 'x' LIMIT 1)").arg(identity))));
    QCOMPARE(query.numRowsAffected(), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM Twins")).toInt(), 1);
}

// The number the database gives a row is the one the insert hands back, through RETURNING or afterwards.
void TestStore::insertHandsBackItsKey()
{
    DatabaseFixture database;
    const Store& store = Store::forConnection();
    const QString returning = store.insertReturning(QStringLiteral("\"Projeto_Id\""));
    QSqlQuery query(connection());
    QVERIFY(query.prepare(store.sql(QStringLiteral("INSERT INTO Projeto (Projeto_Codigo) VALUES (?)") + returning)));
    query.addBindValue(QStringLiteral("0002"));
    QVERIFY2(query.exec(), qPrintable(Database::driverMessage(query.lastError())));
    const qint64 key =
        returning.isEmpty() ? query.lastInsertId().toLongLong() : (query.next() ? query.value(0).toLongLong() : 0);
    QCOMPARE(key, scalar(QStringLiteral("SELECT Projeto_Id FROM Projeto WHERE Projeto_Codigo = '0002'")).toLongLong());
    QCOMPARE(key, qint64(2)); // after the reserved project 1
}

void TestStore::caseSensitiveLike_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");

    QTest::newRow("same case") << QStringLiteral("Relatório") << QStringLiteral("Rel%") << true;
    QTest::newRow("other case") << QStringLiteral("Relatório") << QStringLiteral("rel%") << false;
    QTest::newRow("accented letter's case") << QStringLiteral("ÉDITO") << QStringLiteral("é%") << false;
    QTest::newRow("wildcard inside") << QStringLiteral("a-b-c") << QStringLiteral("a%c") << true;
    QTest::newRow("whole text only") << QStringLiteral("abc") << QStringLiteral("ab") << false;
    QTest::newRow("underscore is itself") << QStringLiteral("abc") << QStringLiteral("a_c") << false;
    QTest::newRow("underscore matches itself") << QStringLiteral("a_c") << QStringLiteral("a_c") << true;
    QTest::newRow("star is itself") << QStringLiteral("abc") << QStringLiteral("a*") << false;
    QTest::newRow("question mark is itself") << QStringLiteral("a?") << QStringLiteral("a?") << true;
    QTest::newRow("bracket is itself") << QStringLiteral("[x]") << QStringLiteral("[x]") << true;
    QTest::newRow("backslash is itself") << QStringLiteral("a\\b") << QStringLiteral("a\\b") << true;
}

// On a text compared ignoring letter case (the user column), as on a flag.
void TestStore::caseSensitiveLike()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    DatabaseFixture database;
    QSqlQuery insert(connection());
    QVERIFY(insert.prepare(Store::forConnection().sql(QStringLiteral("INSERT INTO Usuario (Usuario_id) VALUES (?)"))));
    insert.addBindValue(text);
    QVERIFY(insert.exec());
    QVariantList values;
    const QString condition = Store::forConnection().caseSensitiveLike(QStringLiteral("Usuario_id"), pattern, values);
    QCOMPARE(values.size(), 1);
    values.prepend(text);
    QCOMPARE(
        scalar(QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id = ? AND ") + condition, values).toInt(),
        matches ? 1 : 0);
}

// A savepoint taken outside a transaction: released, its writes stay; rolled back to, they go.
void TestStore::savepointOutsideTransaction()
{
    DatabaseFixture database;
    const Store& store = Store::forConnection();
    QSet<QString> begun;
    QSqlQuery query(connection());
    QVERIFY(store.savepoint(Database::ConnectionName, query, QStringLiteral("SAVEPOINT kept"), begun));
    QVERIFY(store.inTransaction(Database::ConnectionName));
    QVERIFY(query.exec(store.sql(QStringLiteral("INSERT INTO Setor (Setor_Id) VALUES ('Kept')"))));
    QVERIFY(store.savepoint(Database::ConnectionName, query, QStringLiteral("RELEASE kept"), begun));
    QVERIFY(!store.inTransaction(Database::ConnectionName));
    QVERIFY(begun.isEmpty());

    QVERIFY(store.savepoint(Database::ConnectionName, query, QStringLiteral("SAVEPOINT gone"), begun));
    QVERIFY(query.exec(store.sql(QStringLiteral("INSERT INTO Setor (Setor_Id) VALUES ('Gone')"))));
    QVERIFY(store.savepoint(Database::ConnectionName, query, QStringLiteral("ROLLBACK TO gone"), begun));
    QVERIFY(store.savepoint(Database::ConnectionName, query, QStringLiteral("RELEASE gone"), begun));
    QVERIFY(!store.inTransaction(Database::ConnectionName));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM Setor WHERE Setor_Id IN ('Kept', 'Gone')")).toInt(), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT Setor_Id FROM Setor WHERE Setor_Id <> 'ADM'")).toString(),
             QStringLiteral("Kept"));
}

namespace {

BulkInsert::Setup sectorSetup(QStringList& refused, QStringList& stored)
{
    BulkInsert::Setup setup;
    setup.table = QStringLiteral("Setor");
    setup.columns = { { QStringLiteral("Setor_Id"), BulkInsert::Kind::Text } };
    setup.reportedColumns = { 0 };
    setup.recordTable = QStringLiteral("ArquivoImportado");
    setup.recordKeyColumn = QStringLiteral("Arquivo_Id");
    setup.recordTimeColumn = QStringLiteral("Data_Importacao");
    setup.refused = [&refused](const QString&, const QString& line) { refused << line; };
    setup.stored = [&stored](const QStringView* reported) { stored << reported[0].toString(); };
    return setup;
}

} // namespace

// Rows the database refuses (a key stored already, a text too long) are reported and left out; the others and the
// batch's record are stored with the commit.
void TestStore::bulkInsertRefusesRowsAlone()
{
    DatabaseFixture database;
    QStringList refused;
    QStringList stored;
    {
        const std::unique_ptr<BulkInsert> rows =
            Store::forConnection().bulkInsert(Database::ConnectionName, sectorSetup(refused, stored));
        QVERIFY(rows->begin(QStringLiteral("batch-1"), QStringLiteral("2024-05-06 07:08:09")));
        const QStringList sectors = { QStringLiteral("Vendas"), QStringLiteral("adm"), QString(51, QLatin1Char('x')),
                                      QStringLiteral("Tab\there"), QStringLiteral("Back\\slash") };
        for (const QString& sector : sectors) {
            BulkInsert::Value value;
            value.text = sector;
            rows->add(&value, QStringLiteral("line ") + sector.left(6));
        }
        rows->flush();
        rows->commit();
    }
    QCOMPARE(refused, QStringList({ QStringLiteral("line adm"), QStringLiteral("line xxxxxx") }));
    QCOMPARE(stored,
             QStringList({ QStringLiteral("Vendas"), QStringLiteral("Tab\there"), QStringLiteral("Back\\slash") }));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM Setor")).toInt(), 4);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM Setor WHERE Setor_Id = 'Back\\slash'")).toInt(), 1);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM ArquivoImportado WHERE Arquivo_Id = 'batch-1'")).toInt(), 1);
}

// A batch recorded already is not begun again; a batch left uncommitted leaves nothing.
void TestStore::bulkInsertOfAStoredBatch()
{
    DatabaseFixture database;
    QStringList refused;
    QStringList stored;
    const Store& store = Store::forConnection();
    BulkInsert::Value value;
    const QString sector = QStringLiteral("Vendas");
    value.text = sector;
    {
        const std::unique_ptr<BulkInsert> rows =
            store.bulkInsert(Database::ConnectionName, sectorSetup(refused, stored));
        QVERIFY(rows->begin(QStringLiteral("batch-1"), QStringLiteral("2024-05-06 07:08:09")));
        rows->add(&value, QString());
        rows->flush();
    }
    QVERIFY(!store.inTransaction(Database::ConnectionName));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM Setor WHERE Setor_Id = 'Vendas'")).toInt(), 0);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM ArquivoImportado")).toInt(), 0);
    {
        const std::unique_ptr<BulkInsert> rows =
            store.bulkInsert(Database::ConnectionName, sectorSetup(refused, stored));
        QVERIFY(rows->begin(QStringLiteral("batch-1"), QStringLiteral("2024-05-06 07:08:09")));
        rows->add(&value, QString());
        rows->flush();
        rows->commit();
    }
    {
        const std::unique_ptr<BulkInsert> rows =
            store.bulkInsert(Database::ConnectionName, sectorSetup(refused, stored));
        QVERIFY(!rows->begin(QStringLiteral("batch-1"), QStringLiteral("2024-05-06 07:08:10")));
    }
    QVERIFY(!store.inTransaction(Database::ConnectionName));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM Setor WHERE Setor_Id = 'Vendas'")).toInt(), 1);
}

QTEST_GUILESS_MAIN(TestStore)

#include "tst_store.moc"
