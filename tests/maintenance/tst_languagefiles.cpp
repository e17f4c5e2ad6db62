// The language files delivered in language/: every message the application looks up is there in every
// language with its placeholders, and the window files of the three languages carry the same keys.

#include "i18n/Language.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QtTest>

using namespace tollbook;

namespace {

const QStringList Codes{ QStringLiteral("pt_BR"), QStringLiteral("en"), QStringLiteral("es") };

QString languageFolder()
{
    return QStringLiteral(TOLLBOOK_SOURCE_DIR "/language/");
}

// The lines of a delivered file: Windows-1252 text in which every line ends in CR LF.
QStringList deliveredLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("cannot read %s", qPrintable(path));
        return {};
    }
    const QByteArray bytes = file.readAll();
    if (!bytes.endsWith("\r\n") || bytes.count('\n') != bytes.count("\r\n") ||
        bytes.count('\r') != bytes.count("\r\n")) {
        qWarning("%s: not every line ends in CR LF", qPrintable(path));
        return {};
    }
    QStringDecoder decoder("windows-1252");
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        qWarning("%s: not Windows-1252", qPrintable(path));
        return {};
    }
    QStringList lines = text.split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the last line end
    return lines;
}

} // namespace

class LanguageFilesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void messages_data();
    void messages();
    void windowFilesAgree_data();
    void windowFilesAgree();
    void reportTextFiles();
};

void LanguageFilesTest::initTestCase()
{
    Language::setInstallFolder(QStringLiteral(TOLLBOOK_SOURCE_DIR "/"));
    for (const QString& code : Codes)
        QVERIFY2(!deliveredLines(languageFolder() + QStringLiteral("Default_%1.lpu").arg(code)).isEmpty(),
                 qPrintable(code));
}

void LanguageFilesTest::messages_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("placeholders");

    const auto row = [](const char* section, const char* key, int placeholders) {
        QTest::addRow("%s/%s", section, key)
            << QString::fromLatin1(section) << QString::fromLatin1(key) << placeholders;
    };
    row("Principal", "sMsgSair", 0);
    row("Principal", "sMsgIniciaServico", 0);
    row("Principal", "sMsgRemoveServico", 0);
    row("Principal", "sMsgServicoSemDireitos", 1);
    row("Principal", "sMsgServicoRecusado", 0);
    row("Principal", "sMsgServicoFalhou", 1);
    row("Principal", "StatusBar1.Panels2.Text", 1);
    row("Principal", "TreeView1.Items1.Text", 0);
    row("Principal", "TreeView1.Items2.Text", 0);
    row("Principal", "TreeView1.Items3.Text", 0);
    row("Principal", "TreeView1.Items4.Text", 0);
    row("Principal", "TreeView1.Items5.Text", 0);
    row("Principal", "PanelCusto.Caption", 1);
    row("Principal", "DBChart1.Title1", 0);
    row("Principal", "DBChart1.Title2", 2);
    row("Principal", "DBChart2.Title1", 0);
    row("Principal", "DBChart2.Title2", 2);
    row("Consulta", "sMsgNExcluir", 0);
    row("Consulta", "sMsgNEditar", 0);
    row("Consulta", "sMsgExcluir", 0);
    row("Consulta", "sMsgConfirmaInputPrompt", 0);
    row("Consulta", "sMsgSetorEmUso", 2);
    row("Consulta", "sMsgProjetoEmUso", 2);
    row("Consulta", "sMsgPrecoNegativo", 0);
    row("Consulta", "sMsgNIncluir", 0);
    row("Consulta", "sMsgNaoLocalizado", 0);
    row("Config", "sMsgConfirmaInputCaption", 0);
    row("Config", "sMsgSalvar", 0);
    row("Config", "sMsgSenhaNaoConfere", 0);
    row("Mail", "sMsgEnviandoEmail", 0);
    row("Limpa", "sMsgExcluir1", 3);
    row("Limpa", "sMsgExcluir2", 1);
    row("Limpa", "sMsgExcluindo", 2);
    row("Login", "sMsgLoginErro", 0);
    row("Periodo", "sMsgPDFOpen", 0);
}

void LanguageFilesTest::messages()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(int, placeholders);

    QStringList values;
    for (int i = 0; i < placeholders; ++i)
        values << QStringLiteral("<value %1>").arg(i + 1);
    for (const QString& code : Codes) {
        Language::setCurrentCode(code);
        const QString text = Language::message(section, key);
        QVERIFY2(!text.trimmed().isEmpty(), qPrintable(code));
        // Formatting fails unless the template holds exactly as many placeholders as there are values.
        QString formatted;
        try {
            formatted = Language::format(text, values);
        } catch (...) {
            QFAIL(qPrintable(code + QStringLiteral(": placeholders do not match in \"") + text + u'"'));
        }
        for (const QString& value : values)
            QVERIFY2(formatted.contains(value), qPrintable(code + QStringLiteral(": ") + formatted));
    }
}

void LanguageFilesTest::windowFilesAgree_data()
{
    QTest::addColumn<QString>("window");
    for (const char* window : { "frmLogin", "frmLimpa", "frmPeriodo", "frmImpressora", "frmConfiguracao" })
        QTest::newRow(window) << QString::fromLatin1(window);
}

// The English and Spanish files translate the Portuguese one line by line: the same keys in the same order,
// and a value where the Portuguese has one.
void LanguageFilesTest::windowFilesAgree()
{
    QFETCH(QString, window);

    const QStringList portuguese = deliveredLines(languageFolder() + QStringLiteral("pt_BR/%1.lpu").arg(window));
    QVERIFY(portuguese.size() >= 2);
    QCOMPARE(portuguese.at(0), u'[' + window + u']');
    QVERIFY(portuguese.at(1).startsWith(window + QStringLiteral(".Caption=")));

    for (const QString& code : { QStringLiteral("en"), QStringLiteral("es") }) {
        const QStringList translated = deliveredLines(languageFolder() + QStringLiteral("%1/%2.lpu").arg(code, window));
        QCOMPARE(translated.size(), portuguese.size());
        QCOMPARE(translated.at(0), portuguese.at(0));
        for (int i = 1; i < portuguese.size(); ++i) {
            const qsizetype ptEquals = portuguese.at(i).indexOf(u'=');
            const qsizetype equals = translated.at(i).indexOf(u'=');
            QVERIFY2(ptEquals > 0 && equals > 0, qPrintable(portuguese.at(i)));
            QCOMPARE(translated.at(i).left(equals), portuguese.at(i).left(ptEquals));
            const bool ptEmpty = portuguese.at(i).mid(ptEquals + 1).trimmed().isEmpty();
            QVERIFY2(ptEmpty == translated.at(i).mid(equals + 1).trimmed().isEmpty(),
                     qPrintable(code + QStringLiteral(": ") + translated.at(i)));
        }
    }
}

void LanguageFilesTest::reportTextFiles()
{
    const QStringList sections{ "[Relat_ImpressaoUsuario]", "[Relat_UsuarioR]",   "[Relat_ImpressaoSetor]",
                                "[Relat_SetorR]",           "[Relat_Projeto]",    "[Relat_ProjetoR]",
                                "[Relat_Impressora]",       "[Relat_Impressora2]" };
    for (const QString& code : Codes) {
        QStringList found;
        for (const QString& line : deliveredLines(languageFolder() + QStringLiteral("Report_%1.lpu").arg(code))) {
            if (line.startsWith(u'['))
                found << line;
        }
        QCOMPARE(found, sections);
    }
}

QTEST_MAIN(LanguageFilesTest)
#include "tst_languagefiles.moc"
