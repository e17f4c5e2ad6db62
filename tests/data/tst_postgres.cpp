// The PostgreSQL store beside the SQLite one: choosing it by the database's address, the connection's settings,
// the schema and what its texts, keys and flags do on both stores.

#include "common/PostgresFixture.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Store.h"
#include "platform/Errors.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <memory>

using namespace tollbook;

namespace {

enum class StoreKind { Sqlite, Postgres };

QString storeName(StoreKind store)
{
    return store == StoreKind::Sqlite ? QStringLiteral("sqlite") : QStringLiteral("postgres");
}

// A new database of the given kind with the schema, opened as the application's connection.
class NewStore
{
public:
    explicit NewStore(StoreKind store)
    {
        if (store == StoreKind::Sqlite) {
            m_location = m_dir.filePath(QStringLiteral("Tollbook.db"));
        } else {
            PostgresFixture* cluster = PostgresFixture::shared();
            if (!cluster) {
                m_reason = PostgresFixture::sharedReason();
                return;
            }
            m_location = cluster->createDatabase();
            if (m_location.isEmpty()) {
                m_reason = cluster->reason();
                return;
            }
        }
        Database::create(m_location);
        Database::open(m_location);
    }
    ~NewStore() { Database::close(); }

    bool ready() const { return m_reason.isEmpty(); }
    const QString& reason() const { return m_reason; }
    const QString& location() const { return m_location; }

private:
    QTemporaryDir m_dir;
    QString m_location;
    QString m_reason;
};

// Runs a statement on the application's connection; its error text, empty when it ran.
QString run(const QString& statement)
{
    QSqlQuery query(QSqlDatabase::database(Database::ConnectionName));
    return query.exec(statement) ? QString() : query.lastError().text();
}

// The first column of every row of a query, joined by spaces; "error: ..." when it fails.
QString column(const QString& statement, const QString& connection = Database::ConnectionName)
{
    QSqlQuery query(QSqlDatabase::database(connection));
    if (!query.exec(statement)) {
        return QStringLiteral("error: ") + query.lastError().text();
    }
    QStringList values;
    while (query.next()) {
        values << query.value(0).toString();
    }
    return values.join(QLatin1Char(' '));
}

PostgresFixture* clusterOrSkip()
{
    PostgresFixture* cluster = PostgresFixture::shared();
    if (!cluster) {
        qWarning("no PostgreSQL cluster: %s", qPrintable(PostgresFixture::sharedReason()));
    }
    return cluster;
}

} // namespace

Q_DECLARE_METATYPE(StoreKind)

#define REQUIRE_CLUSTER(cluster)                                                                                       \
    PostgresFixture* cluster = clusterOrSkip();                                                                        \
    if (!cluster) {                                                                                                    \
        QFAIL(qPrintable(PostgresFixture::sharedReason()));                                                            \
    }

class TestPostgres : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void fixtureStopsItsServer();
    void storeChosenByLocation_data();
    void storeChosenByLocation();
    void addressWithPasswordRefused_data();
    void addressWithPasswordRefused();
    void libpqReadsTheAddress();
    void sessionSettings();
    void dateTimesKeepTheirWallClock();
    void transactionOnBothStores_data();
    void transactionOnBothStores();
    void schemaProbes_data();
    void schemaProbes();
    void newDatabase();
    void newDatabaseIsOneTransaction();
    void newDatabaseByItsOwner();
    void statementsTranslated_data();
    void statementsTranslated();
};

void TestPostgres::cleanup()
{
    Database::close();
    Database::close(QStringLiteral("probe"));
    qunsetenv("PGUSER");
    qunsetenv("PGSERVICEFILE");
}

// A cluster left running by a test would outlive the whole test run.
void TestPostgres::fixtureStopsItsServer()
{
    pid_t pid = 0;
    QString folder;
    {
        PostgresFixture cluster;
        QVERIFY2(cluster.start(), qPrintable(cluster.reason()));
        pid = pid_t(cluster.serverPid());
        folder = cluster.socketFolder();
        QVERIFY(pid > 0);
        QVERIFY(PostgresFixture::alive(pid));
        const QString uri = cluster.createDatabase(QStringLiteral("fixture"));
        QVERIFY2(!uri.isEmpty(), qPrintable(cluster.reason()));
        Database::open(uri, QStringLiteral("probe"));
        QCOMPARE(column(QStringLiteral("SELECT current_database()"), QStringLiteral("probe")),
                 QStringLiteral("fixture"));
        // Still connected when the fixture goes: the server must stop all the same.
    }
    QVERIFY(!PostgresFixture::alive(pid));
    QVERIFY(!QFile::exists(folder));
}

void TestPostgres::storeChosenByLocation_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<bool>("postgres");
    QTest::newRow("file path") << QString() << false;
    QTest::newRow("postgresql://") << QStringLiteral("postgresql://") << true;
    QTest::newRow("postgres://") << QStringLiteral("postgres://") << true;
    QTest::newRow("upper case, blanks around") << QStringLiteral("  POSTGRESQL://") << true;
}

void TestPostgres::storeChosenByLocation()
{
    QFETCH(QString, scheme);
    QFETCH(bool, postgres);
    QTemporaryDir dir;
    QString location;
    if (postgres) {
        REQUIRE_CLUSTER(cluster);
        location = cluster->createDatabase();
        QVERIFY(!location.isEmpty());
        location = scheme + location.mid(location.indexOf(QLatin1String("://")) + 3) + QStringLiteral("  ");
    } else {
        location = dir.filePath(QStringLiteral("Tollbook.db"));
    }
    Database::create(location);
    Database::open(location);
    const tollbook::Store& expected = postgres ? tollbook::Store::postgres() : tollbook::Store::sqlite();
    QCOMPARE(&tollbook::Store::forLocation(location), &expected);
    QCOMPARE(&tollbook::Store::forConnection(), &expected);
    QCOMPARE(column(QStringLiteral("SELECT Setor_Id FROM Setor")), QStringLiteral("ADM"));
    Database::close();
    QCOMPARE(&tollbook::Store::forConnection(), &tollbook::Store::sqlite());
}

void TestPostgres::addressWithPasswordRefused_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("user:password@") << QStringLiteral("postgresql://tollbook:secret@%1/postgres");
    QTest::newRow("password option") << QStringLiteral("postgresql://tollbook@%1/postgres?password=secret");
}

// The password would sit in clear in config.ini; the server trusts every client here, so a connection that
// went through would show the password was ignored rather than refused.
void TestPostgres::addressWithPasswordRefused()
{
    QFETCH(QString, address);
    REQUIRE_CLUSTER(cluster);
    const QString location = address.arg(QString::fromLatin1(QUrl::toPercentEncoding(cluster->socketFolder())));
    try {
        Database::open(location);
        QFAIL("opened");
    } catch (const PlainError& error) {
        QVERIFY2(error.message().contains(QLatin1String(".pgpass")), qPrintable(error.message()));
        QVERIFY2(!error.message().contains(QLatin1String("secret")), qPrintable(error.message()));
    }
    QVERIFY(!QSqlDatabase::contains(Database::ConnectionName));
    QVERIFY_THROWS_EXCEPTION(PlainError, Database::create(location));
}

// Whatever libpq reads from an address or its environment reaches the server: options of the address, the user
// from PGUSER, a whole service of a service file; an address libpq cannot read is an error of its own.
void TestPostgres::libpqReadsTheAddress()
{
    REQUIRE_CLUSTER(cluster);
    const QString uri = cluster->createDatabase(QStringLiteral("libpq"));
    QVERIFY(!uri.isEmpty());
    const QString host = QString::fromLatin1(QUrl::toPercentEncoding(cluster->socketFolder()));

    Database::open(uri + QStringLiteral("?application_name=probe%20one&options=-c%20work_mem%3D7MB"));
    QCOMPARE(column(QStringLiteral("SHOW application_name")), QStringLiteral("probe one"));
    QCOMPARE(column(QStringLiteral("SHOW work_mem")), QStringLiteral("7MB"));
    Database::close();

    // No user in the address: as root libpq would log in as "root", who has no role in the cluster.
    qputenv("PGUSER", PostgresFixture::Superuser.toUtf8());
    Database::open(QStringLiteral("postgresql://%1/libpq").arg(host));
    QCOMPARE(column(QStringLiteral("SELECT current_user")), PostgresFixture::Superuser);
    Database::close();
    qunsetenv("PGUSER");

    QTemporaryDir dir;
    QFile services(dir.filePath(QStringLiteral("pg_service.conf")));
    QVERIFY(services.open(QIODevice::WriteOnly));
    services.write(QStringLiteral("[tollbook]\nhost=%1\ndbname=libpq\nuser=%2\n")
                       .arg(cluster->socketFolder(), PostgresFixture::Superuser)
                       .toUtf8());
    services.close();
    qputenv("PGSERVICEFILE", QFile::encodeName(services.fileName()));
    Database::open(QStringLiteral("postgresql://?service=tollbook"));
    QCOMPARE(column(QStringLiteral("SELECT current_database()")), QStringLiteral("libpq"));
    Database::close();

    QVERIFY_THROWS_EXCEPTION(DriverError,
                             Database::open(QStringLiteral("postgresql://%1/libpq?nosuchoption=1").arg(host)));
    QVERIFY_THROWS_EXCEPTION(DriverError, Database::open(cluster->uri(QStringLiteral("nosuchdatabase"))));
    QVERIFY(!QSqlDatabase::contains(Database::ConnectionName));
}

void TestPostgres::sessionSettings()
{
    NewStore store(StoreKind::Postgres);
    QVERIFY2(store.ready(), qPrintable(store.reason()));
    QCOMPARE(column(QStringLiteral("SHOW client_encoding")), QStringLiteral("UTF8"));
    QCOMPARE(column(QStringLiteral("SHOW DateStyle")), QStringLiteral("ISO, YMD"));
    QCOMPARE(column(QStringLiteral("SHOW lock_timeout")), QStringLiteral("10s"));
    const QString zone = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    if (!zone.isEmpty()) {
        QCOMPARE(column(QStringLiteral("SHOW TimeZone")), zone);
    }
}

// A job's import time bound as a date and time is stored as the wall-clock time it was on this computer, whatever
// the server's zone: a job imported at 23:30 stays on its day. The test also runs in a zone west of UTC.
void TestPostgres::dateTimesKeepTheirWallClock()
{
    NewStore store(StoreKind::Postgres);
    QVERIFY2(store.ready(), qPrintable(store.reason()));
    const QDateTime late(QDate(2019, 12, 31), QTime(23, 30, 0));
    {
        QSqlQuery query(QSqlDatabase::database(Database::ConnectionName));
        QVERIFY(query.prepare(QStringLiteral("INSERT INTO Impressao (Print_Data, Print_Hora) VALUES (?, ?)")));
        query.addBindValue(late.date());
        query.addBindValue(late);
        QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
    }
    QCOMPARE(column(QStringLiteral("SELECT Print_Hora::text FROM Impressao")), QStringLiteral("2019-12-31 23:30:00"));
    QCOMPARE(column(QStringLiteral("SELECT count(*) FROM Impressao WHERE Print_Hora::date = Print_Data")),
             QStringLiteral("1"));
    QSqlQuery query(QStringLiteral("SELECT Print_Hora FROM Impressao"),
                    QSqlDatabase::database(Database::ConnectionName));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toDateTime(), late);
}

void TestPostgres::transactionOnBothStores_data()
{
    QTest::addColumn<StoreKind>("store");
    QTest::newRow("sqlite") << StoreKind::Sqlite;
    QTest::newRow("postgres") << StoreKind::Postgres;
}

void TestPostgres::transactionOnBothStores()
{
    QFETCH(StoreKind, store);
    NewStore database(store);
    QVERIFY2(database.ready(), qPrintable(database.reason()));
    {
        Transaction transaction;
        QCOMPARE(run(QStringLiteral("INSERT INTO Setor VALUES ('Dropped')")), QString());
    }
    {
        Transaction transaction;
        QCOMPARE(run(QStringLiteral("INSERT INTO Setor VALUES ('Kept')")), QString());
        transaction.commit();
    }
    QCOMPARE(column(QStringLiteral("SELECT Setor_Id FROM Setor ORDER BY Setor_Id")), QStringLiteral("ADM Kept"));
}

void TestPostgres::schemaProbes_data()
{
    QTest::addColumn<StoreKind>("store");
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("probe");
    QTest::addColumn<QString>("expected"); // "error" when the probe must be refused

    struct Probe
    {
        const char* name;
        QStringList setup;
        QString probe;
        QString expected;
    };
    const QString users = QStringLiteral("INSERT INTO Usuario (Usuario_id) VALUES ");
    const QList<Probe> probes = {
        { "key refuses adm beside ADM",
          {},
          QStringLiteral("INSERT INTO Setor VALUES ('adm')"),
          QStringLiteral("error") },
        { "key finds Admin as ADMIN",
          {},
          QStringLiteral("SELECT Usuario_Nome FROM Usuario WHERE Usuario_id = 'ADMIN'"),
          QStringLiteral("Administrador") },
        { "key refuses josé beside JOSÉ",
          { users + QStringLiteral("('JOSÉ')") },
          users + QStringLiteral("('josé')"),
          QStringLiteral("error") },
        { "JOSÉ = josé",
          { users + QStringLiteral("('JOSÉ')") },
          QStringLiteral("SELECT Usuario_id FROM Usuario WHERE Usuario_id = 'josé'"),
          QStringLiteral("JOSÉ") },
        { "Jose and José are two users",
          { users + QStringLiteral("('Jose')") },
          users + QStringLiteral("('José')"),
          QString() },
        { "Jose <> José",
          { users + QStringLiteral("('Jose')") },
          QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id = 'José'"),
          QStringLiteral("0") },
        { "LIKE ignores case",
          { users + QStringLiteral("('JOSÉ'), ('josefa'), ('Maria')") },
          QStringLiteral("SELECT Usuario_id FROM Usuario WHERE Usuario_id LIKE 'jos%' ORDER BY Usuario_id"),
          QStringLiteral("JOSÉ josefa") },
        { "folded search",
          { users + QStringLiteral("('ÉRICO'), ('Érica'), ('Eric')") },
          QStringLiteral("SELECT Usuario_id FROM Usuario WHERE tollbook_fold(Usuario_id) LIKE tollbook_fold('%éRIC%')"
                         " ORDER BY Usuario_id"),
          QStringLiteral("Érica ÉRICO") },
        { "accented letters sort with their base letter",
          { QStringLiteral("INSERT INTO Setor VALUES ('b'), ('Área'), ('a'), ('Ação'), ('Vendas'), ('acre'), ('ña'),"
                           " ('nz'), ('oa')") },
          QStringLiteral("SELECT Setor_Id FROM Setor ORDER BY Setor_Id"),
          QStringLiteral("a Ação acre ADM Área b nz ña oa Vendas") },
        { "joins ignore case",
          { QStringLiteral("INSERT INTO Impressao (Usuario_Id, Print_Pages) VALUES ('ADMIN', 2), ('admin', 3)") },
          QStringLiteral("SELECT sum(Print_Pages) FROM Impressao JOIN Usuario ON Usuario.Usuario_id ="
                         " Impressao.Usuario_Id"),
          QStringLiteral("5") },
        { "grouping ignores case",
          { QStringLiteral("INSERT INTO Impressao (Usuario_Id, Print_Pages) VALUES ('JOSÉ', 2), ('josé', 3)") },
          QStringLiteral("SELECT sum(Print_Pages) FROM Impressao GROUP BY Usuario_Id"),
          QStringLiteral("5") },
        { "flags compare exactly",
          { QStringLiteral("INSERT INTO Impressao (Print_Color, Print_Pages) VALUES ('S', 2), ('s', 3)") },
          QStringLiteral("SELECT sum(Print_Pages) FROM Impressao WHERE Print_Color = 'S'"),
          QStringLiteral("2") },
        { "flags group apart",
          { QStringLiteral("INSERT INTO Impressao (Print_Color, Print_Pages) VALUES ('S', 2), ('s', 3)") },
          QStringLiteral("SELECT count(*) FROM (SELECT Print_Color FROM Impressao GROUP BY Print_Color) g"),
          QStringLiteral("2") },
        { "passwords compare exactly",
          {},
          QStringLiteral("SELECT count(*) FROM Configuracao WHERE Usuario_Senha = 'ADMIN'"),
          QStringLiteral("0") },
        { "a flag holds one letter",
          {},
          QStringLiteral("UPDATE Configuracao SET Ativar_Login = 'SS'"),
          QStringLiteral("error") },
        { "a text holds its width",
          {},
          QStringLiteral("INSERT INTO Setor VALUES ('%1')").arg(QString(50, QChar(0x00C9))),
          QString() },
        { "a text holds no more",
          {},
          QStringLiteral("INSERT INTO Setor VALUES ('%1')").arg(QString(51, QLatin1Char('x'))),
          QStringLiteral("error") },
        { "a key is never empty", {}, QStringLiteral("INSERT INTO Impressora VALUES ('')"), QStringLiteral("error") },
        { "one price row per printer and paper",
          { QStringLiteral("INSERT INTO CustoImpressao VALUES ('HP1', 9, 2000, 2500)") },
          QStringLiteral("INSERT INTO CustoImpressao VALUES ('hp1', 9, 1, 1)"),
          QStringLiteral("error") },
        { "prices are whole ten-thousandths",
          { QStringLiteral("INSERT INTO CustoImpressao VALUES ('HP1', 9, 2000, 2500), ('HP1', 1, 1, 3)") },
          QStringLiteral("SELECT Custo_Mono FROM CustoImpressao WHERE Print_Name = 'hp1' ORDER BY dmPaperSize"),
          QStringLiteral("1 2000") },
        { "a new job follows one given its number",
          {},
          QStringLiteral("INSERT INTO Impressao (Print_Id) VALUES (7); INSERT INTO Impressao (Print_Pages) VALUES (1);"
                         " SELECT max(Print_Id) FROM Impressao"),
          QStringLiteral("8") },
        { "a job's number given back is not handed out again",
          {},
          QStringLiteral("INSERT INTO Impressao (Print_Pages) VALUES (1); UPDATE Impressao SET Print_Id = 40;"
                         " INSERT INTO Impressao (Print_Pages) VALUES (1); SELECT Print_Id FROM Impressao"
                         " ORDER BY Print_Id"),
          QStringLiteral("40 41") },
        { "a new project follows the reserved one",
          {},
          QStringLiteral("INSERT INTO Projeto (Projeto_Codigo) VALUES ('P2'); SELECT max(Projeto_Id) FROM Projeto"),
          QStringLiteral("2") },
        { "a day compares as a date",
          { QStringLiteral(
              "INSERT INTO Impressao (Print_Data, Print_Pages) VALUES ('2019-12-31', 1), ('2020-01-01', 2),"
              " ('2020-10-02', 4)") },
          QStringLiteral("SELECT sum(Print_Pages) FROM Impressao WHERE Print_Data >= '2019-12-31' AND Print_Data <="
                         " '2020-01-01'"),
          QStringLiteral("3") },
    };
    for (const StoreKind store : { StoreKind::Sqlite, StoreKind::Postgres }) {
        for (const Probe& probe : probes) {
            QTest::addRow("%s: %s", qPrintable(storeName(store)), probe.name)
                << store << probe.setup << probe.probe << probe.expected;
        }
    }
}

void TestPostgres::schemaProbes()
{
    QFETCH(StoreKind, store);
    QFETCH(QStringList, setup);
    QFETCH(QString, probe);
    QFETCH(QString, expected);
    NewStore database(store);
    QVERIFY2(database.ready(), qPrintable(database.reason()));
    for (const QString& statement : setup) {
        QCOMPARE(run(statement), QString());
    }
    // The last statement answers; those before it only prepare.
    QStringList statements = probe.split(QStringLiteral("; "));
    const QString last = statements.takeLast();
    for (const QString& statement : statements) {
        QCOMPARE(run(statement), QString());
    }
    if (expected == QLatin1String("error")) {
        QVERIFY2(!run(last).isEmpty(), "accepted");
    } else if (last.startsWith(QLatin1String("SELECT"))) {
        QCOMPARE(column(last), expected);
    } else {
        QCOMPARE(run(last), expected);
    }
}

// The creation tool on an address: the reserved and reference rows, then a refusal of a second run.
void TestPostgres::newDatabase()
{
    REQUIRE_CLUSTER(cluster);
    const QString uri = cluster->createDatabase(QStringLiteral("newdb"));
    QVERIFY(!uri.isEmpty());
    const QString tool = qEnvironmentVariable("TOLLBOOK_NEWDB");
    QVERIFY2(!tool.isEmpty(), "TOLLBOOK_NEWDB names the creation tool");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(tool, { uri });
    QVERIFY(process.waitForFinished(60000));
    QVERIFY2(process.exitCode() == 0, process.readAll().constData());

    Database::open(uri);
    QCOMPARE(column(QStringLiteral("SELECT Setor_Id FROM Setor")), QStringLiteral("ADM"));
    QCOMPARE(column(QStringLiteral("SELECT Usuario_id || ' ' || Setor_id || ' ' || Projeto_Id || ' ' || Usuario_Ativo"
                                   " FROM Usuario")),
             QStringLiteral("Admin ADM 1 S"));
    QCOMPARE(column(QStringLiteral("SELECT Projeto_Id FROM Projeto")), QStringLiteral("1"));
    QCOMPARE(column(QStringLiteral("SELECT count(*) FROM Configuracao")), QStringLiteral("1"));
    QCOMPARE(column(QStringLiteral("SELECT PaperName FROM Papel WHERE dmPaperSize IN (1, 9) ORDER BY dmPaperSize")),
             QStringLiteral("Letter A4"));
    QCOMPARE(column(QStringLiteral("SELECT count(*) FROM Papel")), QString::number(Schema::paperNames().size()));
    Database::close();

    process.start(tool, { uri });
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY_THROWS_EXCEPTION(PlainError, Database::create(uri));
}

// A creation that fails half way leaves the database as it was: not some of the tables.
void TestPostgres::newDatabaseIsOneTransaction()
{
    REQUIRE_CLUSTER(cluster);
    const QString uri = cluster->createDatabase(QStringLiteral("halfway"));
    QVERIFY(!uri.isEmpty());
    Database::open(uri, QStringLiteral("probe"));
    // A table named as one of the schema's indexes: the index cannot be made, after several tables were.
    QCOMPARE(column(QStringLiteral("CREATE TABLE ix_papel_codigo (x integer)"), QStringLiteral("probe")), QString());
    QVERIFY_THROWS_EXCEPTION(DriverError, Database::create(uri));
    QCOMPARE(
        column(QStringLiteral("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"), QStringLiteral("probe")),
        QStringLiteral("1"));
}

// As the README sets a site up: a role that is no superuser owns the database and creates the schema (the citext
// extension, the collation, the tables) and then works in it.
void TestPostgres::newDatabaseByItsOwner()
{
    REQUIRE_CLUSTER(cluster);
    const QString superuser = cluster->createDatabase(QStringLiteral("site"));
    QVERIFY(!superuser.isEmpty());
    Database::open(superuser, QStringLiteral("probe"));
    QCOMPARE(column(QStringLiteral("CREATE ROLE site_owner LOGIN"), QStringLiteral("probe")), QString());
    QCOMPARE(column(QStringLiteral("CREATE DATABASE site_data OWNER site_owner"), QStringLiteral("probe")), QString());
    Database::close(QStringLiteral("probe"));

    const QString owner = QStringLiteral("postgresql://site_owner@%1/site_data")
                              .arg(QString::fromLatin1(QUrl::toPercentEncoding(cluster->socketFolder())));
    Database::create(owner);
    Database::open(owner);
    QCOMPARE(column(QStringLiteral("SELECT rolsuper FROM pg_roles WHERE rolname = current_user")),
             QStringLiteral("false"));
    QCOMPARE(run(QStringLiteral("INSERT INTO Projeto (Projeto_Codigo) VALUES ('P2')")), QString());
    QCOMPARE(column(QStringLiteral("SELECT Projeto_Id FROM Projeto WHERE Projeto_Codigo = 'p2'")), QStringLiteral("2"));
}

// The application's SQL as PostgreSQL runs it. What each translation does to results is checked by the dataset,
// catalogue and registry cases run on PostgreSQL; here, that nothing in quotes is touched and what stays as written.
void TestPostgres::statementsTranslated_data()
{
    QTest::addColumn<QString>("sqlite");
    QTest::addColumn<QString>("postgres");
    const auto row = [](const char* name, const char* sqlite, const char* postgres) {
        QTest::newRow(name) << QString::fromUtf8(sqlite) << QString::fromUtf8(postgres);
    };
    row("quoted names in lower case", "SELECT \"Print_Id\", [Usuario_Id] FROM \"Impressao\"",
        "SELECT \"print_id\", \"usuario_id\" FROM \"impressao\"");
    row("quoted texts untouched", "SELECT 'Print_Id \"X\" [Y] instr(a, b) IS ?' WHERE a = 'it''s \"Q\"'",
        "SELECT 'Print_Id \"X\" [Y] instr(a, b) IS ?' WHERE a = 'it''s \"Q\"'");
    row("is a value", "x IS ? AND y IS NOT ? AND z IS NULL AND w IS NOT NULL",
        "x IS NOT DISTINCT FROM ? AND y IS DISTINCT FROM ? AND z IS NULL AND w IS NOT NULL");
    row("case counts", "a = ? COLLATE BINARY AND b = 'S' COLLATE BINARY",
        "a = CAST(? AS text) COLLATE \"C\" AND b = 'S' COLLATE \"C\"");
    row("case ignored on both sides", "\"Print_Color\" = ? COLLATE TOLLBOOK_NOCASE AND t.a>=? COLLATE TOLLBOOK_NOCASE",
        "CAST(\"print_color\" AS citext) = CAST(? AS citext) AND CAST(t.a AS citext)>= CAST(? AS citext)");
    row("case ignored by an expression", "(CAST(\"n\" AS TEXT)) = ? COLLATE TOLLBOOK_NOCASE",
        "CAST((CAST(\"n\" AS TEXT)) AS citext) = CAST(? AS citext)");
    row("case ignored by the column", "ORDER BY a COLLATE TOLLBOOK_NOCASE, b", "ORDER BY a NULLS FIRST, b NULLS FIRST");
    // Nulls first going up and last going down, as on SQLite: the jobs without a sector head the sectors.
    row("nulls where SQLite puts them", "SELECT * FROM (SELECT a FROM t ORDER BY a DESC, f(b, c)) x ORDER BY 1 LIMIT 5",
        "SELECT * FROM (SELECT a FROM t ORDER BY a DESC NULLS LAST, f(b, c) NULLS FIRST) x ORDER BY 1 NULLS FIRST "
        "LIMIT 5");
    row("nulls placed by the statement", "ORDER BY a NULLS LAST, b desc", "ORDER BY a NULLS LAST, b desc NULLS LAST");
    row("date pieces", "strftime('%d/%m/%Y %H:%M:%S', Print_Hora) || strftime('%Y', d)",
        "to_char(Print_Hora, 'DD/MM/YYYY HH24:MI:SS') || to_char(d, 'YYYY')");
    row("letters in a date format are literal", "strftime('%Hh%M', t)", "to_char(t, 'HH24\"h\"MI')");
    row("amount with two decimals", "replace(printf('%.2f', Custo_Mono / 10000.0), '.', ?)",
        "replace((CAST(round(CAST(Custo_Mono / 10000.0 AS numeric), 2) AS text)), '.', ?)");
    row("zero-padded pieces", "printf('2020-01-%02d %s', 1 + i % 28, name)",
        "('2020-01-' || to_char(1 + i % 28, 'FM00') || ' ' || CAST(name AS text))");
    row("unknown format left as written", "printf('%x', n)", "printf('%x', n)");
    row("nested calls", "instr(tollbook_fold(printf('%g', \"Code\")), tollbook_fold(?)) > 0",
        "strpos(CAST(tollbook_fold((CAST(\"code\" AS text))) AS text), CAST(tollbook_fold(?) AS text)) > 0");
    row("joined texts", "SELECT group_concat(Setor_Id, ' '), group_concat(n) FROM s",
        "SELECT string_agg(CAST(Setor_Id AS text), ' '), string_agg(CAST(n AS text), ',') FROM s");
    row("array types untouched", "SELECT i.indkey::int2[] FROM pg_index i", "SELECT i.indkey::int2[] FROM pg_index i");
    row("names that only start alike", "SELECT is_done, collated, instruction FROM t",
        "SELECT is_done, collated, instruction FROM t");
}

void TestPostgres::statementsTranslated()
{
    QFETCH(QString, sqlite);
    QFETCH(QString, postgres);
    QCOMPARE(Database::postgresSql(sqlite), postgres);
}

QTEST_GUILESS_MAIN(TestPostgres)
#include "tst_postgres.moc"
