// The rules of the registries: reserved rows, printers, sectors and projects still named by users, the
// users grid's missing insert, negative prices, and a sector's new name reaching its users.

#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"
#include "i18n/Language.h"

#include <QTest>

#include <functional>

using namespace tollbook;

namespace {

using Operation = std::function<void(MainWindowDatasets&)>;

void locate(Dataset* dataset, const char* field, const QVariant& value)
{
    if (!dataset->locate(QLatin1String(field), value)) {
        throw std::runtime_error(std::string("no row ") + field + "=" + value.toString().toStdString());
    }
}

Operation removeRow(Dataset* const MainWindowDatasets::*dataset, const char* field, const QVariant& value)
{
    return [=](MainWindowDatasets& datasets) {
        Dataset* target = datasets.*dataset;
        locate(target, field, value);
        target->remove();
    };
}

Operation setPrice(const char* column, double price)
{
    return [=](MainWindowDatasets& datasets) {
        Dataset* prices = datasets.printerPrices;
        locate(prices, "dmPaperSize", 9);
        prices->edit();
        prices->fieldByName(QLatin1String(column))->setValue(price);
        prices->post();
    };
}

QString message(const char* key, const QStringList& values = {})
{
    return Language::format(Language::message(QStringLiteral("Consulta"), QLatin1String(key)), values);
}

QString scalarText(const QString& sql)
{
    return DatabaseFixture::scalar(sql).toString();
}

} // namespace

class TestRegistryRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void rules_data();
    void rules();
    void refusedEditLeavesTheRow();
    void sectorRenameReachesUsers();
    void failedRenameKeepsBoth_data();
    void failedRenameKeepsBoth();

private:
    std::unique_ptr<DatabaseFixture> m_db;
    std::unique_ptr<DataModuleDatasets> m_dm;
    std::unique_ptr<MainWindowDatasets> m_main;
};

void TestRegistryRules::initTestCase()
{
    Language::setInstallFolder(QStringLiteral(TOLLBOOK_SOURCE_DIR "/"));
}

// Besides the period jobs: Dora names the sector FIN in lower case, the sector RH and the project 3 are
// named by nobody (though job 4 is charged to project 3 below).
void TestRegistryRules::init()
{
    m_db = std::make_unique<DatabaseFixture>();
    addPeriodJobs();
    DatabaseFixture::exec({
        QStringLiteral("INSERT INTO Setor VALUES ('RH')"),
        QStringLiteral("INSERT INTO Projeto (Projeto_Id, Projeto_Codigo, Projeto_Nome) VALUES (3, 'P3', 'Livre')"),
        QStringLiteral("INSERT INTO Usuario VALUES ('Dora', 'Dora Reis', 'fin', 1, 'S')"),
        QStringLiteral("UPDATE Impressao SET Projeto_Id = 3 WHERE Print_Id = 4"),
    });
    m_dm = std::make_unique<DataModuleDatasets>();
    m_main = std::make_unique<MainWindowDatasets>(m_dm.get());
    m_dm->openStartupDatasets();
    m_main->openRegistries();
}

void TestRegistryRules::cleanup()
{
    m_main.reset();
    m_dm.reset();
    m_db.reset();
}

void TestRegistryRules::rules_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("refusal"); // the text shown; empty when the operation is carried out
    QTest::addColumn<QString>("check");   // a query whose answer tells what became of the row
    QTest::addColumn<QString>("expected");

    const auto count = [](const char* table, const char* where) {
        return QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(QLatin1String(table), QLatin1String(where));
    };
    using M = MainWindowDatasets;
    for (const char* code : { "pt_BR", "en", "es" }) {
        const QString language = QLatin1String(code);
        Language::setCurrentCode(language);
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", code, name) << language;
        };
        const QString notDeleted = message("sMsgNExcluir");

        row("user Admin") << removeRow(&M::users, "Usuario_id", "Admin") << notDeleted
                          << count("Usuario", "Usuario_id = 'Admin'") << "1";
        row("user with jobs") << removeRow(&M::users, "Usuario_id", "Bruno") << QString()
                              << count("Usuario", "Usuario_id = 'Bruno'") << "0";
        row("user inserted") << Operation([](M& d) { d.users->append(); }) << message("sMsgNIncluir")
                             << count("Usuario", "TRUE") << "4";
        row("sector ADM edited") << Operation([](M& d) {
            locate(d.sectors, "Setor_Id", "ADM");
            d.sectors->edit();
        }) << message("sMsgNEditar")
                                 << count("Setor", "Setor_Id = 'ADM'") << "1";
        row("sector ADM deleted") << removeRow(&M::sectors, "Setor_Id", "ADM") << notDeleted
                                  << count("Setor", "Setor_Id = 'ADM'") << "1";
        // Bruno, Carla and Dora (who writes it "fin").
        row("sector with users") << removeRow(&M::sectors, "Setor_Id", "FIN")
                                 << message("sMsgSetorEmUso", { "FIN", "3" }) << count("Setor", "Setor_Id = 'FIN'")
                                 << "1";
        row("sector without users") << removeRow(&M::sectors, "Setor_Id", "RH") << QString()
                                    << count("Setor", "Setor_Id = 'RH'") << "0";
        row("project 1") << removeRow(&M::projects, "Projeto_Id", 1) << notDeleted << count("Projeto", "Projeto_Id = 1")
                         << "1";
        row("project with users") << removeRow(&M::projects, "Projeto_Id", 2)
                                  << message("sMsgProjetoEmUso", { "P2", "2" }) << count("Projeto", "Projeto_Id = 2")
                                  << "1";
        row("project of jobs only") << removeRow(&M::projects, "Projeto_Id", 3) << QString()
                                    << count("Projeto", "Projeto_Id = 3") << "0";
        row("printer") << removeRow(&M::printers, "Print_Name", "HP1") << notDeleted
                       << count("Impressora", "Print_Name = 'HP1'") << "1";
        row("negative mono price") << setPrice("Custo_Mono", -0.01) << message("sMsgPrecoNegativo")
                                   << QStringLiteral("SELECT Custo_Mono FROM CustoImpressao WHERE dmPaperSize = 9")
                                   << "2000";
        row("negative colour price") << setPrice("Custo_Color", -5) << message("sMsgPrecoNegativo")
                                     << QStringLiteral("SELECT Custo_Color FROM CustoImpressao WHERE dmPaperSize = 9")
                                     << "2500";
        row("free price") << setPrice("Custo_Mono", 0) << QString()
                          << QStringLiteral("SELECT Custo_Mono FROM CustoImpressao WHERE dmPaperSize = 9") << "0";
    }
    // The reserved names compare exactly: a sector whose name differs in letter case only is no longer ADM.
    Language::setCurrentCode(QStringLiteral("pt_BR"));
    QTest::newRow("sector Adm deleted") << QStringLiteral("pt_BR") << Operation([](M& d) {
        d.sectors->close();
        DatabaseFixture::exec({ QStringLiteral("UPDATE Setor SET Setor_Id = 'Adm' WHERE Setor_Id = 'ADM'"),
                                QStringLiteral("UPDATE Usuario SET Setor_id = 'RH' WHERE Setor_id = 'ADM'") });
        d.sectors->open();
        locate(d.sectors, "Setor_Id", "Adm");
        d.sectors->remove();
    }) << QString() << count("Setor", "Setor_Id = 'ADM'")
                                        << "0";
}

// Each rule refuses with its message in the current language and leaves the row as it was; what no rule
// covers is carried out.
void TestRegistryRules::rules()
{
    QFETCH(QString, code);
    QFETCH(Operation, operation);
    QFETCH(QString, refusal);
    QFETCH(QString, check);
    QFETCH(QString, expected);

    Language::setCurrentCode(code);
    try {
        operation(*m_main);
        QVERIFY2(refusal.isEmpty(), "not refused");
    } catch (const Refusal& refused) {
        QVERIFY(!refused.message().isEmpty());
        QCOMPARE(refused.message(), refusal);
    }
    QCOMPARE(scalarText(check), expected);
}

// A refused edit or post leaves the dataset where it was: no edit entered, a price row still in edit with
// the user's value for mending.
void TestRegistryRules::refusedEditLeavesTheRow()
{
    Dataset* sectors = m_main->sectors;
    locate(sectors, "Setor_Id", "ADM");
    QVERIFY_THROWS_EXCEPTION(Refusal, sectors->edit());
    QCOMPARE(sectors->state(), Dataset::State::Browse);

    Dataset* prices = m_main->printerPrices;
    prices->append();
    prices->fieldByName(QStringLiteral("dmPaperSize"))->setValue(8);
    prices->fieldByName(QStringLiteral("Custo_Color"))->setValue(-1);
    QVERIFY_THROWS_EXCEPTION(Refusal, prices->post());
    QCOMPARE(prices->state(), Dataset::State::Insert);
    QCOMPARE(prices->fieldByName(QStringLiteral("Custo_Color"))->value().toDouble(), -1.0);
    prices->fieldByName(QStringLiteral("Custo_Color"))->setValue(0.3);
    prices->post();
    QCOMPARE(scalarText(QStringLiteral("SELECT Custo_Color FROM CustoImpressao WHERE Print_Name = 'HP1' AND "
                                       "dmPaperSize = 8")),
             QStringLiteral("3000"));
}

// Renaming a sector renames it for its users too, whatever case they wrote it in, and the users grid shows
// the new name; the other sectors' users keep theirs.
void TestRegistryRules::sectorRenameReachesUsers()
{
    Dataset* sectors = m_main->sectors;
    Dataset* users = m_main->users;
    locate(users, "Usuario_id", "Carla");
    locate(sectors, "Setor_Id", "FIN");
    sectors->edit();
    sectors->fieldByName(QStringLiteral("Setor_Id"))->setValue(QStringLiteral("Finanças"));
    sectors->post();

    QCOMPARE(scalarText(QStringLiteral("SELECT group_concat(Usuario_id || ':' || Setor_id, ' ') FROM "
                                       "(SELECT * FROM Usuario ORDER BY Usuario_id) AS users")),
             QStringLiteral("Admin:ADM Bruno:Finanças Carla:Finanças Dora:Finanças"));
    QCOMPARE(users->fieldByName(QStringLiteral("Usuario_id"))->asString(), QStringLiteral("Carla"));
    QCOMPARE(users->fieldByName(QStringLiteral("Setor_id"))->asString(), QStringLiteral("Finanças"));
}

void TestRegistryRules::failedRenameKeepsBoth_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QStringList>("setup");

    // The sector's own write fails: the name is taken (the key ignores letter case).
    QTest::newRow("name taken") << QStringLiteral("rh") << QStringList();
    // The sector is written, its users are not: the sector's write is undone.
    QTest::newRow("users refused") << QStringLiteral("Finanças")
                                   << (DatabaseFixture::onPostgres()
                                           ? QStringList{ QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger"
                                                                         " LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION"
                                                                         " 'users are locked'; END $$"),
                                                          QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE OF"
                                                                         " Setor_id ON Usuario FOR EACH ROW EXECUTE"
                                                                         " FUNCTION refuse()") }
                                           : QStringList{ QStringLiteral(
                                                 "CREATE TRIGGER refuse BEFORE UPDATE OF Setor_id ON Usuario"
                                                 " BEGIN SELECT RAISE(ABORT, 'users are locked'); END") });
}

// When either write of a rename fails, neither is kept, the error goes to the caller and the row stays in
// edit with the new name, for the user to mend or cancel.
void TestRegistryRules::failedRenameKeepsBoth()
{
    QFETCH(QString, newName);
    QFETCH(QStringList, setup);

    DatabaseFixture::exec(setup);
    Dataset* sectors = m_main->sectors;
    locate(sectors, "Setor_Id", "FIN");
    sectors->edit();
    sectors->fieldByName(QStringLiteral("Setor_Id"))->setValue(newName);
    QVERIFY_THROWS_EXCEPTION(DriverError, sectors->post());

    QCOMPARE(sectors->state(), Dataset::State::Edit);
    QCOMPARE(sectors->fieldByName(QStringLiteral("Setor_Id"))->asString(), newName);
    QCOMPARE(scalarText(
                 QStringLiteral("SELECT group_concat(Setor_Id, ' ') FROM (SELECT * FROM Setor ORDER BY 1) AS sectors")),
             QStringLiteral("ADM FIN RH"));
    QCOMPARE(scalarText(QStringLiteral("SELECT count(*) FROM Usuario WHERE Setor_id = 'FIN'")), QStringLiteral("3"));
    // Nothing is left open on the connection: a later write commits on its own.
    sectors->cancel();
    locate(sectors, "Setor_Id", "RH");
    sectors->remove();
    QVERIFY(QSqlDatabase::database(Database::ConnectionName).transaction());
    QVERIFY(QSqlDatabase::database(Database::ConnectionName).rollback());
    QCOMPARE(scalarText(QStringLiteral("SELECT count(*) FROM Setor")), QStringLiteral("2"));
}

QTEST_GUILESS_MAIN(TestRegistryRules)
#include "tst_registryrules.moc"
