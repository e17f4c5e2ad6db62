#include "data/ErrorTranslation.h"
#include "i18n/Language.h"
#include "platform/Errors.h"

#include <QtTest>

#include <functional>
#include <stdexcept>

using namespace tollbook;

Q_DECLARE_METATYPE(tollbook::ErrorKind)
Q_DECLARE_METATYPE(tollbook::BoxKind)

namespace {

const QString T = QStringLiteral("ATENÇÃO ");

// Errors of a kind derived from the three known ones count as "other".
class StaleRowError : public DatabaseError
{
public:
    using DatabaseError::DatabaseError;
};
class QuietAbort : public SilentAbort
{
};

} // namespace

class TestErrorTranslation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void translate_data();
    void translate();
    void kindIsTheExactType_data();
    void kindIsTheExactType();
    void messageOfAnyError();
    void databaseOwnWords_data();
    void databaseOwnWords();
};

void TestErrorTranslation::translate_data()
{
    QTest::addColumn<ErrorKind>("kind");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<BoxKind>("boxKind");
    QTest::addColumn<QString>("text");

    const auto warn = BoxKind::Warning;
    const QString jobsFolder = QStringLiteral(
        "Diretório não pode ser criado: /srv/tollbook/jobs. Consulte o Administrador da rede pois seu usuário não "
        "tem permissão para criar esta pasta.");

    QTest::newRow("1 record has references")
        << ErrorKind::Database
        << QStringLiteral("The record cannot be deleted or changed because table 'Impressao' includes related records.")
        << true << warn
        << QStringLiteral("Este registro possui referências com o arquivo 'Impressao'.\rVocê deve excluir todas as "
                          "suas referências antes de excluí-lo.");
    QTest::newRow("2 update foreign key")
        << ErrorKind::Database
        << QStringLiteral("UPDATE statement conflicted with COLUMN FOREIGN KEY constraint 'FK_Setor'.") << true << warn
        << QStringLiteral(
               "Você selecionou um registro do arquivo 'FK_Setor'\rque não está mais disponível. Verifique.");
    QTest::newRow("3 insert foreign key")
        << ErrorKind::Plain << QStringLiteral("insert statement conflicted with column foreign key 'Projeto'") << true
        << warn
        << QStringLiteral("Você selecionou um registro do arquivo 'Projeto'\rque não está mais disponível. Verifique.");
    QTest::newRow("4 null value")
        << ErrorKind::Database
        << QStringLiteral("The field 'Usuario.Nome' cannot contain a Null value because the Required property is True.")
        << true << warn << QStringLiteral("O campo \"Usuario.Nome\" é de preenchimento obrigatório!");
    QTest::newRow("5 zero-length string keeps the name's case")
        << ErrorKind::Database << QStringLiteral("Field 'Setor.descricao' cannot be a zero-length string.") << true
        << warn << QStringLiteral("O campo \"Setor.descricao\" é de preenchimento obrigatório!");
    QTest::newRow("5 one apostrophe: name runs to the end")
        << ErrorKind::Database << QStringLiteral("zero-length string in field 'Setor.Descricao") << true << warn
        << QStringLiteral("O campo \"Setor.Descricao\" é de preenchimento obrigatório!");
    QTest::newRow("4 no apostrophe: empty name")
        << ErrorKind::Plain << QStringLiteral("CANNOT CONTAIN A NULL VALUE") << true << warn
        << QStringLiteral("O campo \"\" é de preenchimento obrigatório!");
    QTest::newRow("6 primary key before key violation")
        << ErrorKind::Database << QStringLiteral("Violation of primary key 'PK_Setor': key violation.") << true << warn
        << QStringLiteral("Registro com chave duplicada. Campo 'PK_Setor'.");
    QTest::newRow("7 key violation") << ErrorKind::Plain << QStringLiteral("Key violation in 'Usuario'") << true << warn
                                     << QStringLiteral("Registro com chave duplicada. Campo 'Usuario'.");
    QTest::newRow("7 key violation before deadlock")
        << ErrorKind::Database << QStringLiteral("Deadlock on 'Impressao' after a key violation") << true << warn
        << QStringLiteral("Registro com chave duplicada. Campo 'Impressao'.");
    QTest::newRow("8 old password, as written")
        << ErrorKind::Database << QStringLiteral("Old (current) password incorrect for user 'Admin'") << true << warn
        << QStringLiteral("Senha Antiga incorreta.");
    QTest::newRow("8 old password, upper case")
        << ErrorKind::Plain << QStringLiteral("OLD (CURRENT) PASSWORD INCORRECT FOR USER") << true << warn
        << QStringLiteral("Senha Antiga incorreta.");
    QTest::newRow("9 no transaction in lower case: silent")
        << ErrorKind::Database << QStringLiteral("[asta server error]no user transaction is currently in progress")
        << false << warn << QString();
    QTest::newRow("10 general SQL error: first 37 characters cut")
        << ErrorKind::Database << QStringLiteral("[ASTA Server Error]General SQL error:Tabela inexistente") << true
        << warn << T + QStringLiteral("\rTabela inexistente");
    QTest::newRow("10 cut counts from the start, not from the fragment")
        << ErrorKind::Database << QStringLiteral("0123456789[ASTA SERVER ERROR]GENERAL SQL ERROR: lock") << true << warn
        << T + QStringLiteral("\rSQL ERROR: lock");
    QTest::newRow("10 message no longer than the cut")
        << ErrorKind::Plain << QStringLiteral("[ASTA SERVER ERROR]GENERAL SQL ERROR") << true << warn
        << T + QStringLiteral("\r");
    QTest::newRow("11 deadlock")
        << ErrorKind::Database << QStringLiteral("Transaction was deadlocked on lock resources") << true << warn
        << QStringLiteral("Você está tentando utilizar um registro que está bloqueado por outro usuário. Tente "
                          "novamente.");
    QTest::newRow("12 jobs folder error: no fragment")
        << ErrorKind::Plain << jobsFolder << true << warn << T + QStringLiteral("\r\r") + jobsFolder;
    QTest::newRow("12 only a to z are upper-cased") // dotless i upper-cases to I outside ASCII
        << ErrorKind::Database << QStringLiteral("prımary") << true << warn << T + QStringLiteral("\r\rprımary");
    QTest::newRow("12 empty message") << ErrorKind::Database << QString() << true << warn << T + QStringLiteral("\r\r");

    QTest::newRow("other: report engine error")
        << ErrorKind::Other << QStringLiteral("Unable to write Relatorio.pdf") << true << BoxKind::Error
        << T + QStringLiteral("\r\rUnable to write Relatorio.pdf");
    QTest::newRow("other: fragments are not looked at")
        << ErrorKind::Other << QStringLiteral("Violation of PRIMARY KEY 'PK_Setor'") << true << BoxKind::Error
        << T + QStringLiteral("\r\rViolation of PRIMARY KEY 'PK_Setor'");
    QTest::newRow("other: silent fragment still shown")
        << ErrorKind::Other << QStringLiteral("[ASTA SERVER ERROR]NO USER TRANSACTION IS CURRENTLY IN PROGRESS") << true
        << BoxKind::Error << T + QStringLiteral("\r\r[ASTA SERVER ERROR]NO USER TRANSACTION IS CURRENTLY IN PROGRESS");
    QTest::newRow("silent abort, whatever its message")
        << ErrorKind::SilentAbort << QStringLiteral("Key violation in 'Usuario'") << false << warn << QString();
    // A rule's refusal is its own text for the user, fragments and all, in an information box.
    QTest::newRow("refusal: the rule's text as it is")
        << ErrorKind::Refusal << QStringLiteral("O setor 'FIN' não pode ser excluído: key violation") << true
        << BoxKind::Information << QStringLiteral("O setor 'FIN' não pode ser excluído: key violation");
}

void TestErrorTranslation::translate()
{
    QFETCH(ErrorKind, kind);
    QFETCH(QString, message);
    QFETCH(bool, shown);
    QFETCH(BoxKind, boxKind);
    QFETCH(QString, text);

    const std::optional<ErrorBox> box = translateError(kind, message);
    QCOMPARE(box.has_value(), shown);
    if (box) {
        QCOMPARE(box->kind, boxKind);
        QCOMPARE(box->text, text);
    }
}

void TestErrorTranslation::kindIsTheExactType_data()
{
    using Thrower = std::function<void()>;
    QTest::addColumn<Thrower>("raise");
    QTest::addColumn<ErrorKind>("kind");

    QTest::newRow("silent abort") << Thrower([] { throw SilentAbort(); }) << ErrorKind::SilentAbort;
    QTest::newRow("refusal") << Thrower([] { throw Refusal(QStringLiteral("x")); }) << ErrorKind::Refusal;
    QTest::newRow("database error") << Thrower([] { throw DatabaseError(QStringLiteral("x")); }) << ErrorKind::Database;
    QTest::newRow("plain error") << Thrower([] { throw PlainError(QStringLiteral("x")); }) << ErrorKind::Plain;
    QTest::newRow("driver error") << Thrower([] { throw DriverError(QStringLiteral("x")); }) << ErrorKind::Other;
    QTest::newRow("conversion error") << Thrower([] { throw ConversionError(QStringLiteral("x")); })
                                      << ErrorKind::Other;
    QTest::newRow("derived from database error")
        << Thrower([] { throw StaleRowError(QStringLiteral("x")); }) << ErrorKind::Other;
    QTest::newRow("derived from silent abort") << Thrower([] { throw QuietAbort(); }) << ErrorKind::Other;
    QTest::newRow("standard error") << Thrower([] { throw std::runtime_error("x"); }) << ErrorKind::Other;
}

void TestErrorTranslation::kindIsTheExactType()
{
    using Thrower = std::function<void()>;
    QFETCH(Thrower, raise);
    QFETCH(ErrorKind, kind);

    try {
        raise();
        QFAIL("nothing thrown");
    } catch (const std::exception& error) {
        QCOMPARE(errorKindOf(error), kind);
    }
}

void TestErrorTranslation::messageOfAnyError()
{
    const QString ownMessage = QStringLiteral("Diretório não pode ser criado: /srv/tollbook/jobs");
    QCOMPARE(errorMessageOf(PlainError(ownMessage)), ownMessage);
    QCOMPARE(errorMessageOf(StaleRowError(ownMessage)), ownMessage);
    QCOMPARE(errorMessageOf(std::runtime_error("disk full")), QStringLiteral("disk full"));
}

void TestErrorTranslation::databaseOwnWords_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<ErrorKind>("kind");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected"); // a piece of the box's text

    // As SQLite reports them through the driver, and through the dataset layer's own wording.
    const QString locked = QStringLiteral("database is locked Unable to fetch row");
    const QString readOnly = QStringLiteral("attempt to write a readonly database");
    const QString full = QStringLiteral("database or disk is full");
    QTest::newRow("pt_BR locked") << "pt_BR" << ErrorKind::Other << locked << "em uso por outro programa";
    QTest::newRow("pt_BR read-only") << "pt_BR" << ErrorKind::Other << readOnly << "somente leitura";
    QTest::newRow("pt_BR full") << "pt_BR" << ErrorKind::Other << full << "disco do banco de dados está cheio";
    QTest::newRow("pt_BR through the layer") << "pt_BR" << ErrorKind::Database << full << "está cheio";
    QTest::newRow("en locked") << "en" << ErrorKind::Other << locked << "in use by another program";
    QTest::newRow("en read-only") << "en" << ErrorKind::Other << readOnly << "read-only";
    QTest::newRow("en full") << "en" << ErrorKind::Other << full << "disk is full: nothing was saved";
    QTest::newRow("es locked") << "es" << ErrorKind::Other << locked << "en uso por otro programa";
    QTest::newRow("es read-only") << "es" << ErrorKind::Other << readOnly << "solo lectura";
    QTest::newRow("es full") << "es" << ErrorKind::Plain << full << "está lleno";
    const QString lockWait = QStringLiteral("ERROR:  canceling statement due to lock timeout\nCONTEXT:  while"
                                            " inserting index tuple (0,3) in relation \"usuario\"");
    QTest::newRow("pt_BR PostgreSQL lock wait")
        << "pt_BR" << ErrorKind::Other << lockWait << "em uso por outro programa";
    QTest::newRow("en PostgreSQL lock wait") << "en" << ErrorKind::Other << lockWait << "in use by another program";
    QTest::newRow("no language file: Portuguese") << "fr" << ErrorKind::Other << locked << "em uso por outro programa";
}

// The database's own refusals of the kinds a user can mend (busy, read-only, full) in the current language.
void TestErrorTranslation::databaseOwnWords()
{
    QFETCH(QString, language);
    QFETCH(ErrorKind, kind);
    QFETCH(QString, message);
    QFETCH(QString, expected);
    Language::setInstallFolder(QStringLiteral(TOLLBOOK_SOURCE_DIR "/"));
    Language::setCurrentCode(language);
    const std::optional<ErrorBox> box = translateError(kind, message);
    Language::setCurrentCode(QStringLiteral("pt_BR"));
    Language::setInstallFolder(QString());
    QVERIFY(box);
    QCOMPARE(box->kind, kind == ErrorKind::Other ? BoxKind::Error : BoxKind::Warning);
    QVERIFY2(box->text.startsWith(T + QStringLiteral("\r\r")), qPrintable(box->text));
    QVERIFY2(box->text.contains(expected), qPrintable(box->text));
    QVERIFY2(!box->text.contains(message), qPrintable(box->text));
}

QTEST_GUILESS_MAIN(TestErrorTranslation)
#include "tst_errortranslation.moc"
