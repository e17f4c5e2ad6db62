#include "common/LanguageFileText.h"
#include "i18n/Language.h"
#include "platform/Errors.h"
#include "platform/MessageBoxTexts.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace tollbook;

Q_DECLARE_METATYPE(tollbook::Language::GridText)

class TestLanguage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void messageLookup_data();
    void messageLookup();
    void lookupReadsTheFileAnew();
    void lookupFollowsTheCurrentCode();
    void reportTextUsesItsOwnFile();
    void windowFilePath();

    void format_data();
    void format();
    void formatErrors_data();
    void formatErrors();

    void setupForKnownCodes_data();
    void setupForKnownCodes();
    void setupForOtherCodesChangesNothing_data();
    void setupForOtherCodesChangesNothing();
    void fixedTextsPerCode();

private:
    void writeMessageFile(const QString& code, const QByteArray& bytes);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLanguage::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("language")));
    Language::setInstallFolder(m_dir->path());
    Language::setCurrentCode(QStringLiteral("en"));
    Language::setActiveGridSet(QStringLiteral("pt_BR"));
    MessageBoxTexts::reset();
}

void TestLanguage::cleanup()
{
    MessageBoxTexts::reset();
    Language::setActiveGridSet(QStringLiteral("pt_BR"));
}

void TestLanguage::writeMessageFile(const QString& code, const QByteArray& bytes)
{
    QFile file(m_dir->filePath(QStringLiteral("language/Default_%1.lpu").arg(code)));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

void TestLanguage::messageLookup_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray principal = cp1252Lines({
        QStringLiteral("[Principal]"),
        QStringLiteral("sMsgSair=Deseja realmente sair?"),
        QStringLiteral("sMsgVazio="),
        QStringLiteral("  sMsgBlanks  =   Fechar agora   "),
        QStringLiteral("sMsgQuoted=\"Fechar\""),
        QStringLiteral("sMsgSingle='Fechar'"),
        QStringLiteral("sMsgNewline=Linha\\nseguinte"),
        QStringLiteral("sMsgAccent=Informação não disponível"),
        QStringLiteral("[Consulta]"),
        QStringLiteral("sMsgSair=outra seção"),
    });

    QTest::newRow("exact key") << principal << "Principal"
                               << "sMsgSair"
                               << "Deseja realmente sair?";
    QTest::newRow("key in other letter case") << principal << "Principal"
                                              << "sMsgsair"
                                              << "Deseja realmente sair?";
    QTest::newRow("section in other letter case") << principal << "PRINCIPAL"
                                                  << "SMSGSAIR"
                                                  << "Deseja realmente sair?";
    QTest::newRow("same key in another section") << principal << "Consulta"
                                                 << "sMsgSair"
                                                 << "outra seção";
    QTest::newRow("blanks around key and value") << principal << "Principal"
                                                 << "sMsgBlanks"
                                                 << "Fechar agora";
    QTest::newRow("double quotes") << principal << "Principal"
                                   << "sMsgQuoted"
                                   << "Fechar";
    QTest::newRow("single quotes") << principal << "Principal"
                                   << "sMsgSingle"
                                   << "Fechar";
    QTest::newRow("no escapes") << principal << "Principal"
                                << "sMsgNewline"
                                << "Linha\\nseguinte";
    QTest::newRow("Windows-1252 letters") << principal << "Principal"
                                          << "sMsgAccent" << QStringLiteral("Informação não disponível");
    QTest::newRow("empty value") << principal << "Principal"
                                 << "sMsgVazio" << QString();
    QTest::newRow("missing key") << principal << "Principal"
                                 << "sMsgNada" << QString();
    QTest::newRow("missing section") << principal << "Limpa"
                                     << "sMsgSair" << QString();
    QTest::newRow("missing file") << QByteArray() << "Principal"
                                  << "sMsgSair" << QString();

    const QString longValue = QString(3000, QLatin1Char('x'));
    QTest::newRow("long value is cut") << cp1252Lines({ QStringLiteral("[Principal]"), "sMsgLong=" + longValue })
                                       << "Principal"
                                       << "sMsgLong" << longValue.left(2047);
}

void TestLanguage::messageLookup()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    if (!file.isNull())
        writeMessageFile(QStringLiteral("en"), file);
    const QString value = Language::message(section, key);
    QCOMPARE(value, expected);
    QCOMPARE(value.isEmpty(), expected.isEmpty());
}

void TestLanguage::lookupReadsTheFileAnew()
{
    writeMessageFile(QStringLiteral("en"), cp1252Lines({ QStringLiteral("[Principal]"), QStringLiteral("k=first") }));
    QCOMPARE(Language::message(QStringLiteral("Principal"), QStringLiteral("k")), QStringLiteral("first"));
    writeMessageFile(QStringLiteral("en"), cp1252Lines({ QStringLiteral("[Principal]"), QStringLiteral("k=second") }));
    QCOMPARE(Language::message(QStringLiteral("Principal"), QStringLiteral("k")), QStringLiteral("second"));
    QVERIFY(QFile::remove(m_dir->filePath(QStringLiteral("language/Default_en.lpu"))));
    QCOMPARE(Language::message(QStringLiteral("Principal"), QStringLiteral("k")), QString());
}

void TestLanguage::lookupFollowsTheCurrentCode()
{
    writeMessageFile(QStringLiteral("en"), cp1252Lines({ QStringLiteral("[Principal]"), QStringLiteral("k=english") }));
    const QString spanish = QStringLiteral("k=español");
    writeMessageFile(QStringLiteral("es"), cp1252Lines({ QStringLiteral("[Principal]"), spanish }));

    Language::setCurrentCode(QStringLiteral("es"));
    QCOMPARE(Language::message(QStringLiteral("Principal"), QStringLiteral("k")), QStringLiteral("español"));
    Language::setCurrentCode(QStringLiteral("en"));
    QCOMPARE(Language::message(QStringLiteral("Principal"), QStringLiteral("k")), QStringLiteral("english"));
    // No file exists for a code outside the three: nothing without a Portuguese file either.
    Language::setCurrentCode(QStringLiteral("fr"));
    QCOMPARE(Language::message(QStringLiteral("Principal"), QStringLiteral("k")), QString());
    // A code without files reads the Portuguese texts rather than none, also for an empty code.
    writeMessageFile(QStringLiteral("pt_BR"),
                     cp1252Lines({ QStringLiteral("[Principal]"), QStringLiteral("k=português") }));
    for (const QString& code : { QStringLiteral("fr"), QString() }) {
        Language::setCurrentCode(code);
        QCOMPARE(Language::message(QStringLiteral("Principal"), QStringLiteral("k")), QStringLiteral("português"));
    }
    // A language that has its file keeps it, also where a key is missing there.
    Language::setCurrentCode(QStringLiteral("en"));
    QCOMPARE(Language::message(QStringLiteral("Principal"), QStringLiteral("k")), QStringLiteral("english"));
    QCOMPARE(Language::message(QStringLiteral("Principal"), QStringLiteral("other")), QString());
    Language::setCurrentCode(QStringLiteral("EN"));
    QCOMPARE(Language::currentCode(), QStringLiteral("EN"));
}

void TestLanguage::reportTextUsesItsOwnFile()
{
    writeMessageFile(QStringLiteral("en"),
                     cp1252Lines({ QStringLiteral("[rptUsuario]"), QStringLiteral("k=message") }));
    QFile file(m_dir->filePath(QStringLiteral("language/Report_en.lpu")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(cp1252Lines({ QStringLiteral("[rptUsuario]"), QStringLiteral("rptUsuario.Page1.Text1=Report") }));
    file.close();

    QCOMPARE(Language::reportText(QStringLiteral("rptUsuario"), QStringLiteral("rptusuario.page1.text1")),
             QStringLiteral("Report"));
    QCOMPARE(Language::reportText(QStringLiteral("rptUsuario"), QStringLiteral("k")), QString());
}

void TestLanguage::windowFilePath()
{
    Language::setInstallFolder(QStringLiteral("/opt/tollbook"));
    QCOMPARE(Language::installFolder(), QStringLiteral("/opt/tollbook/"));
    QCOMPARE(Language::windowFilePath(QStringLiteral("es"), QStringLiteral("frmLimpa")),
             QStringLiteral("/opt/tollbook/language/es/frmLimpa.lpu"));
    Language::setInstallFolder(QStringLiteral("/opt/tollbook/"));
    QCOMPARE(Language::windowFilePath(QStringLiteral("pt_BR"), QStringLiteral("frmLogin")),
             QStringLiteral("/opt/tollbook/language/pt_BR/frmLogin.lpu"));
}

void TestLanguage::format_data()
{
    QTest::addColumn<QString>("messageTemplate");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one placeholder") << "Impressões hoje: %s" << QStringList{ "12" } << "Impressões hoje: 12";
    QTest::newRow("two in order") << "Período de %s a %s" << QStringList{ "01/02/2020", "29/02/2020" }
                                  << "Período de 01/02/2020 a 29/02/2020";
    QTest::newRow("capital S") << "Custo %S" << QStringList{ "HP" } << "Custo HP";
    QTest::newRow("no placeholder, no value") << "Sem valores" << QStringList{} << "Sem valores";
    QTest::newRow("extra value left out") << "Sem valores" << QStringList{ "x" } << "Sem valores";
    QTest::newRow("missing message gives empty text") << QString() << QStringList{ "12" } << QString();
    QTest::newRow("percent sign") << "100%% de %s" << QStringList{ "x" } << "100% de x";
    QTest::newRow("value holding %s is not expanded") << "%s e %s" << QStringList{ "%s", "b" } << "%s e b";
    QTest::newRow("index") << "%1:s antes de %0:s" << QStringList{ "a", "b" } << "b antes de a";
    QTest::newRow("index then next") << "%1:s %s" << QStringList{ "a", "b", "c" } << "b c";
    QTest::newRow("width right") << "[%5s]" << QStringList{ "ab" } << "[   ab]";
    QTest::newRow("width left") << "[%-5s]" << QStringList{ "ab" } << "[ab   ]";
    QTest::newRow("precision") << "[%.2s]" << QStringList{ "abcd" } << "[ab]";
}

void TestLanguage::format()
{
    QFETCH(QString, messageTemplate);
    QFETCH(QStringList, values);
    QFETCH(QString, expected);
    QCOMPARE(Language::format(messageTemplate, values), expected);
}

void TestLanguage::formatErrors_data()
{
    QTest::addColumn<QString>("messageTemplate");
    QTest::addColumn<QStringList>("values");

    QTest::newRow("placeholder without value") << "Período de %s a %s" << QStringList{ "01/02/2020" };
    QTest::newRow("no values at all") << "Total: %s" << QStringList{};
    QTest::newRow("number placeholder") << "Total: %d" << QStringList{ "12" };
    QTest::newRow("percent at end") << "Total: 10%" << QStringList{};
    QTest::newRow("index past the values") << "%2:s" << QStringList{ "a", "b" };
}

void TestLanguage::formatErrors()
{
    QFETCH(QString, messageTemplate);
    QFETCH(QStringList, values);
    try {
        Language::format(messageTemplate, values);
        QFAIL("no error raised");
    } catch (const ConversionError& error) {
        QCOMPARE(error.message(), "Format '" + messageTemplate + "' invalid or incompatible with argument");
    }
}

void TestLanguage::setupForKnownCodes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("warningTitle");
    QTest::addColumn<QString>("yes");
    QTest::addColumn<QString>("retry");
    QTest::addColumn<QString>("yesToAll");
    QTest::addColumn<QString>("close");
    QTest::addColumn<QString>("deleteQuestion");

    QTest::newRow("pt_BR") << "pt_BR"
                           << "Atenção"
                           << "&Sim"
                           << "&Repetir"
                           << "Sim a &Todos"
                           << "&Fechar"
                           << "Excluir Registro ?";
    QTest::newRow("en") << "en"
                        << "Warning"
                        << "&Yes"
                        << "&Retry"
                        << "Yes to &All"
                        << "&Close"
                        << "Delete record?";
    QTest::newRow("es") << "es"
                        << "Advertencia"
                        << "&Sí"
                        << "&Rever"
                        << "Sí a &todo"
                        << "&Cerrar"
                        << "¿Eliminar registro?";
}

void TestLanguage::setupForKnownCodes()
{
    QFETCH(QString, code);
    QFETCH(QString, warningTitle);
    QFETCH(QString, yes);
    QFETCH(QString, retry);
    QFETCH(QString, yesToAll);
    QFETCH(QString, close);
    QFETCH(QString, deleteQuestion);

    // Start from another language's texts, so that "en" shows a change too.
    Language::setCurrentCode(code == QLatin1String("es") ? QStringLiteral("pt_BR") : QStringLiteral("es"));
    Language::applySetup();

    Language::setCurrentCode(code);
    Language::applySetup();
    QCOMPARE(Language::activeGridSet(), code);
    QCOMPARE(Language::gridText(Language::GridText::DeleteQuestion), deleteQuestion);
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::WarningTitle), warningTitle);
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::Yes), yes);
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::Retry), retry);
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::YesToAll), yesToAll);
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::Close), close);
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::Ok), QStringLiteral("OK"));

    // The English column is the platform's own texts, role for role.
    if (code == QLatin1String("en")) {
        QStringList english;
        for (int role = 0; role < MessageBoxTextCount; ++role)
            english << MessageBoxTexts::text(MessageBoxText(role));
        MessageBoxTexts::reset();
        for (int role = 0; role < MessageBoxTextCount; ++role)
            QCOMPARE(english.at(role), MessageBoxTexts::text(MessageBoxText(role)));
    }
}

void TestLanguage::setupForOtherCodesChangesNothing_data()
{
    QTest::addColumn<QString>("code");
    QTest::newRow("empty") << QString();
    QTest::newRow("other language") << "fr";
    QTest::newRow("letter case differs") << "PT_BR";
}

void TestLanguage::setupForOtherCodesChangesNothing()
{
    QFETCH(QString, code);

    // Texts of an earlier set-up in the same run stay.
    Language::setCurrentCode(QStringLiteral("es"));
    Language::applySetup();
    Language::setCurrentCode(code);
    Language::applySetup();
    QCOMPARE(Language::activeGridSet(), QStringLiteral("es"));
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::No), QStringLiteral("&No"));
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::InformationTitle), QStringLiteral("Información"));

    // And at start-up the platform's texts and the Portuguese grid set stay.
    MessageBoxTexts::reset();
    Language::setActiveGridSet(QStringLiteral("pt_BR"));
    Language::applySetup();
    QCOMPARE(Language::activeGridSet(), QStringLiteral("pt_BR"));
    QCOMPARE(Language::gridText(Language::GridText::Prior), QStringLiteral("Mover para o registro anterior"));
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::InformationTitle), QStringLiteral("Information"));

    Language::setActiveGridSet(code);
    QCOMPARE(Language::activeGridSet(), QStringLiteral("pt_BR"));
    QVERIFY(!Language::isKnownCode(code));
    QVERIFY(Language::restartNotice(code).isEmpty());
    QVERIFY(Language::trayTexts(code).balloonTitle.isEmpty());
}

void TestLanguage::fixedTextsPerCode()
{
    QCOMPARE(Language::restartNotice(QStringLiteral("pt_BR")),
             QStringLiteral("O Tollbook precisa ser reiniciado para que a alteração do idioma tenha efeito."));
    QCOMPARE(Language::restartNotice(QStringLiteral("en")),
             QStringLiteral("The Tollbook needs to be restarted for the change of language to take effect."));
    QCOMPARE(Language::restartNotice(QStringLiteral("es")),
             QStringLiteral("El Tollbook necesita ser reiniciado para el cambio de idioma surta efecto."));

    const Language::TrayTexts en = Language::trayTexts(QStringLiteral("en"));
    QCOMPARE(en.balloonTitle, QStringLiteral("Application Minimized"));
    QCOMPARE(en.restore, QStringLiteral("Restore"));
    QCOMPARE(en.finish, QStringLiteral("Finalize"));
    const Language::TrayTexts es = Language::trayTexts(QStringLiteral("es"));
    QCOMPARE(es.balloonTitle, QStringLiteral("Aplicación minimizada"));
    QCOMPARE(es.finish, QStringLiteral("Finalizar"));
    QCOMPARE(Language::trayTexts(QStringLiteral("pt_BR")).balloonTitle, QStringLiteral("Aplicativo Minimizado"));

    Language::setActiveGridSet(QStringLiteral("en"));
    const QStringList englishHints = {
        "Move to prior record",
        "Move to next record",
        "Insert new record",
        "Delete current record",
        "Edit current record",
        "Post changes of current record",
        "Cancel changes made to current record",
        "Refresh the contents of the dataset",
    };
    for (int text = 0; text < englishHints.size(); ++text)
        QCOMPARE(Language::gridText(Language::GridText(text)), englishHints.at(text));
}

QTEST_GUILESS_MAIN(TestLanguage)
#include "tst_language.moc"
