// The application's text collation: the rule itself, the database's keys and orders that use it, the
// lookups and locates that follow it, databases made before it, and the extension for outside tools.

#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"
#include "data/Collation.h"
#include "data/Schema.h"
#include "data/TextCompare.h"
#include "platform/SystemRoutines.h"

#include <QProcess>
#include <QTest>

using namespace tollbook;

namespace {

int sign(int value)
{
    return (value > 0) - (value < 0);
}

QStringList values(const QString& statement)
{
    QSqlQuery query(QSqlDatabase::database(Database::ConnectionName));
    QStringList result;
    if (!query.exec(statement)) {
        result << QStringLiteral("error: ") + query.lastError().text();
    }
    while (query.next()) {
        result << query.value(0).toString();
    }
    return result;
}

QString day(int year, int month, int dayOfMonth)
{
    return DateToQueryText(QDate(year, month, dayOfMonth));
}

// A database as the application created it before it had its own collation: texts compared by NOCASE.
void createNocaseDatabase(const QString& path, const QStringList& extraStatements)
{
    const QString connection = QStringLiteral("old-schema");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("PRAGMA journal_mode = WAL")));
        for (QString statement : Schema::createStatements() + extraStatements) {
            statement.replace(QLatin1String(Collation::Name), QLatin1String("NOCASE"));
            QVERIFY2(query.exec(statement), qPrintable(statement + query.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

} // namespace

class TestCollation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rule_data();
    void rule();
    void keysIgnoreCaseBeyondAsciiLetters();
    void registriesSortAccentsWithTheirLetter();
    void sectorSummaryCountsEveryCaseOfAName();
    void lookupAndLocateFollowTheRule();
    void olderDatabaseAdoptsTheRule();
    void olderDatabaseWithDuplicatesKeepsWorking();
    void outsideToolLoadsTheExtension();
};

void TestCollation::rule_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("expected");
    QTest::newRow("accented capitals") << "JOSÉ"
                                       << "josé" << 0;
    QTest::newRow("cedilla and tilde") << "AÇÃO"
                                       << "ação" << 0;
    QTest::newRow("A-Z") << "Admin"
                         << "ADMIN" << 0;
    QTest::newRow("Greek") << "ΑΘΗΝΑ"
                           << "αθηνα" << 0;
    QTest::newRow("Cyrillic") << "МОСКВА"
                              << "москва" << 0;
    QTest::newRow("accent is no case") << "Jose"
                                       << "José" << -1;
    QTest::newRow("accent sorts with its letter") << "Área Técnica"
                                                  << "Vendas" << -1;
    QTest::newRow("accent after the plain letter, before the next") << "aba"
                                                                    << "ação" << -1;
    QTest::newRow("accented before the next letter") << "ação"
                                                     << "acre" << -1;
    QTest::newRow("case ignored in order") << "bola"
                                           << "Casa" << -1;
    QTest::newRow("accent decides after the letters") << "éa"
                                                      << "eb" << -1;
    QTest::newRow("ñ after n") << "nz"
                               << "ñu" << -1;
    QTest::newRow("ñ before o") << "ñu"
                                << "oa" << -1;
    QTest::newRow("prefix first") << "Ana"
                                  << "Ana Paula" << -1;
    QTest::newRow("empty first") << ""
                                 << "a" << -1;
}

void TestCollation::rule()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, expected);
    QCOMPARE(sign(TextCompare::compare(a, b)), expected);
    QCOMPARE(sign(TextCompare::compare(b, a)), -expected);
    QCOMPARE(TextCompare::equal(a, b), expected == 0);
    QCOMPARE(TextCompare::key(a) == TextCompare::key(b), expected == 0);
}

void TestCollation::keysIgnoreCaseBeyondAsciiLetters()
{
    DatabaseFixture db;
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Usuario (Usuario_id, Usuario_Nome) VALUES ('JOSÉ', 'José')"),
                            QStringLiteral("INSERT INTO Impressora VALUES ('Sala Ótima')") });
    QSqlQuery query(QSqlDatabase::database(Database::ConnectionName));
    // One user, whatever the case of its accented letters.
    QVERIFY(!query.exec(QStringLiteral("INSERT INTO Usuario (Usuario_id) VALUES ('josé')")));
    QVERIFY(!query.exec(QStringLiteral("INSERT INTO Impressora VALUES ('SALA ÓTIMA')")));
    QCOMPARE(values(QStringLiteral("SELECT Usuario_Nome FROM Usuario WHERE Usuario_id = 'josé'")),
             QStringList{ "José" });
    // Different accents are different names.
    QVERIFY(query.exec(QStringLiteral("INSERT INTO Usuario (Usuario_id) VALUES ('JOSE')")));
}

void TestCollation::registriesSortAccentsWithTheirLetter()
{
    DatabaseFixture db;
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Setor VALUES ('Vendas'), ('Área Técnica'), ('compras'),"
                                           " ('Éxito'), ('Zona')") });
    DataModuleDatasets dm;
    MainWindowDatasets main(&dm);
    main.sectors->open();
    QStringList order;
    for (main.sectors->first(); !main.sectors->eof(); main.sectors->next()) {
        order << main.sectors->fieldByName(QStringLiteral("Setor_Id"))->asString();
    }
    QCOMPARE(order, (QStringList{ "ADM", "Área Técnica", "compras", "Éxito", "Vendas", "Zona" }));
}

// Jobs of "josé" belong to the registered "JOSÉ": they count in the sector summary and the sector chart.
void TestCollation::sectorSummaryCountsEveryCaseOfAName()
{
    DatabaseFixture db;
    DatabaseFixture::exec({
        QStringLiteral("INSERT INTO Setor VALUES ('Área Técnica')"),
        QStringLiteral("INSERT INTO Usuario VALUES ('JOSÉ', 'José', 'ÁREA TÉCNICA', 1, 'S')"),
        QStringLiteral("INSERT INTO Impressao (Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages,"
                       " dmPaperSize, Print_Color, Projeto_Id) VALUES"
                       " ('HP1', '2020-01-02', '2020-01-02 08:00:00', 'josé', 4, 9, 'N', 1),"
                       " ('HP1', '2020-01-02', '2020-01-02 09:00:00', 'JOSÉ', 2, 9, 'N', 1)"),
    });
    DataModuleDatasets dm;
    MainWindowDatasets main(&dm);
    dm.openStartupDatasets();
    Dataset* summary = dm.sectorSummaryReport;
    summary->setParam(0, day(2020, 1, 2));
    summary->setParam(1, day(2020, 1, 2));
    summary->open();
    QCOMPARE(summary->recordCount(), 1);
    QCOMPARE(summary->fieldByName(QStringLiteral("Setor_id"))->asString(), QStringLiteral("ÁREA TÉCNICA"));
    QCOMPARE(summary->fieldByName(QStringLiteral("Print_Pages"))->asFloat(), 6.0);

    main.sectors->open();
    Dataset* chart = main.sectorChart;
    chart->setParam(0, day(2020, 1, 2));
    chart->setParam(1, day(2020, 1, 2));
    chart->open();
    QCOMPARE(chart->recordCount(), 1);
    QCOMPARE(chart->fieldByName(QStringLiteral("Paginas"))->asFloat(), 6.0);
    QCOMPARE(chart->fieldByName(QStringLiteral("lk_Setor"))->asString(), QStringLiteral("Área Técnica"));
}

void TestCollation::lookupAndLocateFollowTheRule()
{
    DatabaseFixture db;
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Usuario (Usuario_id, Usuario_Nome) VALUES ('JOSÉ', 'José'),"
                                           " ('Jose', 'Outro')") });
    Dataset users(QStringLiteral("SQL_Users"));
    users.setSql({ QStringLiteral("select * from Usuario order by Usuario_id") });
    users.open();
    QVERIFY(users.locate(QStringLiteral("Usuario_id"), QStringLiteral("josé"), true));
    QCOMPARE(users.fieldByName(QStringLiteral("Usuario_Nome"))->asString(), QStringLiteral("José"));
    QVERIFY(!users.locate(QStringLiteral("Usuario_id"), QStringLiteral("josé"), false));
    QVERIFY(users.locate(QStringLiteral("Usuario_id"), QStringLiteral("JOSE"), true));
    QCOMPARE(users.fieldByName(QStringLiteral("Usuario_Nome"))->asString(), QStringLiteral("Outro"));

    Dataset jobs(QStringLiteral("SQL_Jobs"));
    jobs.setSql({ QStringLiteral("select 'josé' as Usuario_Id") });
    jobs.addDataField(QStringLiteral("Usuario_Id"), FieldType::String, 50);
    jobs.addLookupField(QStringLiteral("lk_Nome"), 50, &users, QStringLiteral("Usuario_Id"),
                        QStringLiteral("Usuario_id"), QStringLiteral("Usuario_Nome"));
    jobs.open();
    QCOMPARE(jobs.fieldByName(QStringLiteral("lk_Nome"))->asString(), QStringLiteral("José"));
}

void TestCollation::olderDatabaseAdoptsTheRule()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.db"));
    createNocaseDatabase(path, { QStringLiteral("INSERT INTO Setor VALUES ('Vendas'), ('Área Técnica')"),
                                 QStringLiteral("INSERT INTO Usuario (Usuario_id) VALUES ('JOSÉ')") });
    Database::open(path);
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE sql LIKE '%NOCASE%'"
                                                    " AND sql NOT LIKE '%TOLLBOOK_NOCASE%'"))
                 .toInt(),
             0);
    QCOMPARE(values(QStringLiteral("SELECT Setor_Id FROM Setor ORDER BY Setor_Id")),
             (QStringList{ "ADM", "Área Técnica", "Vendas" }));
    QCOMPARE(values(QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id = 'josé'")), QStringList{ "1" });
    QCOMPARE(values(QStringLiteral("PRAGMA integrity_check")), QStringList{ "ok" });
    Database::close();
}

// Two users that the new rule takes for one: the file stays as it was and goes on working.
void TestCollation::olderDatabaseWithDuplicatesKeepsWorking()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.db"));
    createNocaseDatabase(path, { QStringLiteral("INSERT INTO Usuario (Usuario_id) VALUES ('JOSÉ'), ('josé')") });
    Database::open(path);
    QCOMPARE(values(QStringLiteral("SELECT count(*) FROM Usuario WHERE Usuario_id IN ('JOSÉ', 'josé')")),
             QStringList{ "2" });
    QVERIFY(DatabaseFixture::scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'Usuario'"))
                .toString()
                .contains(QLatin1String("COLLATE NOCASE")));
    QCOMPARE(values(QStringLiteral("PRAGMA integrity_check")), QStringList{ "ok" });
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Setor VALUES ('Vendas')") });
    Database::close();
}

void TestCollation::outsideToolLoadsTheExtension()
{
    if (DatabaseFixture::onPostgres()) {
        QSKIP("sqlite3 opens SQLite files only; PostgreSQL compares through its own collation");
    }
    DatabaseFixture db;
    DatabaseFixture::exec({ QStringLiteral("INSERT INTO Setor VALUES ('Vendas'), ('Área Técnica')") });
    const auto shell = [&](const QStringList& commands) {
        QProcess sqlite;
        sqlite.start(QStringLiteral("sqlite3"), QStringList{ db.path() } + commands);
        if (!sqlite.waitForFinished(30000)) {
            return QStringLiteral("sqlite3 did not run");
        }
        return QString::fromUtf8(sqlite.readAllStandardOutput() + sqlite.readAllStandardError()).trimmed();
    };
    const QString order = QStringLiteral("SELECT group_concat(Setor_Id, '|') FROM"
                                         " (SELECT Setor_Id FROM Setor ORDER BY Setor_Id)");
    QVERIFY(shell({ order }).contains(QLatin1String("no such collation sequence")));
    const QString extension = QStringLiteral(TOLLBOOK_COLLATION_EXTENSION);
    QCOMPARE(shell({ QStringLiteral(".load ") + extension, order }), QStringLiteral("ADM|Área Técnica|Vendas"));
    QCOMPARE(shell({ QStringLiteral(".load ") + extension, QStringLiteral("INSERT INTO Setor VALUES ('VENDAS')") })
                 .contains(QLatin1String("UNIQUE constraint failed")),
             true);
}

QTEST_GUILESS_MAIN(TestCollation)
#include "tst_collation.moc"
