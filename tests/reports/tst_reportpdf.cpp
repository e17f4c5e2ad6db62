// Each of the eight reports written as PDF for a fixture period and read back: the rows of the period,
// group and overall totals priced by the cost rules, pages that each open with the headers and close with
// "page X of Y", fonts embedded, the language's texts.

#include "ReportFixture.h"

#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"
#include "data/Formats.h"
#include "i18n/Language.h"
#include "platform/IniFile.h"
#include "reports/ReportCatalogue.h"
#include "reports/ReportRenderer.h"
#include "reports/ReportRun.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace tollbook;
using ReportFixture::pdfLines;

namespace {

const QString SourceDir = QStringLiteral(TOLLBOOK_SOURCE_DIR "/");

// The lines of expected that are not among lines in that order; empty when all are.
QStringList missingInOrder(const QStringList& lines, const QStringList& expected)
{
    QStringList missing;
    int from = 0;
    for (const QString& line : expected) {
        const int at = int(lines.indexOf(line, from));
        if (at < 0) {
            missing << line;
        } else {
            from = at + 1;
        }
    }
    return missing;
}

} // namespace

class TestReportPdf : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void totals_data();
    void totals();
    void boundDaysIncluded_data();
    void boundDaysIncluded();
    void projectGroups_data();
    void projectGroups();
    void pagesOfALongReport();
    void emptyPeriod();
    void languagesAndFonts();
    void deliveredTextsInEveryLanguage();
    void unwritableFile();

private:
    // Writes the report for the period and returns the file's path.
    QString writePdf(const QString& report, const QDate& start, const QDate& end);

    std::unique_ptr<QTemporaryDir> m_out;
    std::unique_ptr<DatabaseFixture> m_db;
    std::unique_ptr<DataModuleDatasets> m_dm;
};

void TestReportPdf::initTestCase()
{
    Formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    Formats::setSeparators(QLatin1Char(','), QLatin1Char('.'));
    Language::setInstallFolder(SourceDir);
}

void TestReportPdf::init()
{
    Language::setCurrentCode(QStringLiteral("pt_BR"));
    m_out = std::make_unique<QTemporaryDir>();
    m_db = std::make_unique<DatabaseFixture>();
    addPeriodJobs();
    m_dm = std::make_unique<DataModuleDatasets>();
    m_dm->papers->open();
}

void TestReportPdf::cleanup()
{
    m_dm.reset();
    m_db.reset();
}

QString TestReportPdf::writePdf(const QString& report, const QDate& start, const QDate& end)
{
    const std::optional<PreparedReport> prepared = prepareReport(
        report, start, end, *m_dm, SourceDir + QStringLiteral("report/Tollbook_report.rav"), &Language::reportText);
    if (!prepared) {
        return QString();
    }
    const QString path = m_out->filePath(report + QStringLiteral(".pdf"));
    writeReportPdf(prepared->definition, *prepared->rows, prepared->parameters, path, prepared->title);
    return path;
}

// The fixture's jobs of 31/12/2019 to 02/01/2020 (job 7, of November, is outside), priced by the cost rule:
//   1 Bruno HP1 A4 colour   3 p x 0,25 = 0,75
//   2 Bruno HP1 A4 mono     3 p x 0,20 = 0,60
//   3 bruno HP1 A4 "s"      2 p x 0,20 = 0,40   (lower-case flag: monochrome; the same user as Bruno)
//   4 Zeca  HP1 Letter col. 5 p, no colour price = 0   (unregistered, project 1 "Geral", no sector)
//   5 Bruno HP2 A4 mono     4 p, no price for A4 = 0
//   6 Carla HP1 paper 77    1 p, no price row    = 0
// 18 pages and 1,75 in all; Bruno 12 pages and 1,75; sector FIN 13 and 1,75; project P2 13 and 1,75.
void TestReportPdf::totals_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<QStringList>("expected"); // lines, in this order

    QTest::newRow("jobs by user") << "Relat_ImpressaoUsuario"
                                  << QStringList{ "Período: 31/12/2019 a 02/01/2020",
                                                  "Usuário: Bruno",
                                                  "31/12/2019 10:00:00 a.pdf \\\\PC1 HP1 A4 Colorido 3 0,75",
                                                  "01/01/2020 00:00:01 c.pdf \\\\PC1 HP1 A4 Preto e branco 2 0,40",
                                                  "Total do usuário 12 1,75",
                                                  "Usuário: Carla",
                                                  "Total do usuário 1 0,00",
                                                  "Usuário: Zeca",
                                                  "Total do usuário 5 0,00",
                                                  "Total geral Trabalhos: 6 18 1,75",
                                                  "Tollbook - Gerenciador de Impressão Página 1 de 1" };
    QTest::newRow("user summary") << "Relat_UsuarioR"
                                  << QStringList{ "Bruno",
                                                  "Total do usuário 12 1,75",
                                                  "Carla",
                                                  "Total do usuário 1 0,00",
                                                  "Zeca",
                                                  "Colorido 5 0,00",
                                                  "Total do usuário 5 0,00",
                                                  "Total geral 18 1,75" };
    QTest::newRow("jobs by sector") << "Relat_ImpressaoSetor"
                                    << QStringList{ "Setor: (sem setor)",     "Usuário: Zeca",
                                                    "Total do setor 5 0,00",  "Setor: FIN",
                                                    "Usuário: Bruno",         "Total do usuário 12 1,75",
                                                    "Usuário: Carla",         "Total do usuário 1 0,00",
                                                    "Total do setor 13 1,75", "Total geral Trabalhos: 6 18 1,75" };
    QTest::newRow("sector summary") << "Relat_SetorR"
                                    << QStringList{ "(sem setor)", "Total do setor 5 0,00", "FIN",
                                                    "Total do setor 13 1,75", "Total geral 18 1,75" };
    QTest::newRow("jobs by project") << "Relat_Projeto"
                                     << QStringList{ "Projeto: 0001 Geral",      "Usuário: Zeca",
                                                     "Total do projeto 5 0,00",  "Projeto: P2 Obra",
                                                     "Usuário: Bruno",           "Total do usuário 12 1,75",
                                                     "Total do projeto 13 1,75", "Total geral Trabalhos: 6 18 1,75" };
    // Zeca is missing from the users registry and still counted, named by his login.
    QTest::newRow("project summary") << "Relat_ProjetoR"
                                     << QStringList{ "Projeto: 0001 Geral",      "Zeca Zeca",
                                                     "Letter Colorido 5 0,00",   "Total do projeto 5 0,00",
                                                     "Projeto: P2 Obra",         "Bruno Souza Bruno",
                                                     "Total do usuário 12 1,75", "Carla Lima Carla",
                                                     "Preto e branco 1 0,00",    "Total do projeto 13 1,75",
                                                     "Total geral 18 1,75" };
    QTest::newRow("users and printers") << "Relat_Impressora"
                                        << QStringList{ "Usuário: Bruno",      "HP1 8",          "HP2 4",
                                                        "Total do usuário 12", "Usuário: Carla", "HP1 1",
                                                        "Usuário: Zeca",       "HP1 5",          "Total geral 18" };
    QTest::newRow("printers") << "Relat_Impressora2" << QStringList{ "HP1 14", "HP2 4", "Total geral 18" };
}

void TestReportPdf::totals()
{
    QFETCH(QString, report);
    QFETCH(QStringList, expected);

    const QString path = writePdf(report, QDate(2019, 12, 31), QDate(2020, 1, 2));
    const QStringList lines = pdfLines(path);
    const QStringList missing = missingInOrder(lines, expected);
    QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("missing: ") + missing.join(QStringLiteral(" | ")) +
                                           QStringLiteral("\nin:\n") + lines.join(QLatin1Char('\n'))));
}

void TestReportPdf::boundDaysIncluded_data()
{
    QTest::addColumn<QString>("report");
    QTest::newRow("by user") << "Relat_ImpressaoUsuario";
    QTest::newRow("by sector") << "Relat_ImpressaoSetor";
    QTest::newRow("by project") << "Relat_Projeto";
}

// A period of one day holds that day's jobs whatever their time, and nothing of the days around it.
void TestReportPdf::boundDaysIncluded()
{
    QFETCH(QString, report);
    const QString text = pdfLines(writePdf(report, QDate(2019, 12, 31), QDate(2019, 12, 31))).join(QLatin1Char('\n'));
    QVERIFY2(text.contains(QLatin1String(" a.pdf ")) && text.contains(QLatin1String(" b.pdf ")), qPrintable(text));
    for (const char* other : { " c.pdf ", " f.pdf ", " g.pdf " }) {
        QVERIFY2(!text.contains(QLatin1String(other)), qPrintable(text));
    }
    QVERIFY2(text.contains(QLatin1String("Trabalhos: 2 6 1,35")), qPrintable(text));
}

void TestReportPdf::projectGroups_data()
{
    QTest::addColumn<QString>("report");
    QTest::newRow("jobs by project") << "Relat_Projeto";
    QTest::newRow("project summary") << "Relat_ProjetoR";
}

// Two projects sharing a code stay two groups, whatever order their jobs come in; jobs of project 0 (users
// without a project) form a named group; the summary's totals are the detailed report's.
void TestReportPdf::projectGroups()
{
    QFETCH(QString, report);
    DatabaseFixture::exec({
        QStringLiteral("INSERT INTO Projeto (Projeto_Id, Projeto_Codigo, Projeto_Nome) VALUES (3, 'P2', 'Outra')"),
        QStringLiteral("INSERT INTO Impressao (Print_Id, Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages,"
                       " Print_Document, dmPaperSize, Print_Color, Projeto_Id) VALUES"
                       " (8, 'HP1', '2020-01-01', '2020-01-01 08:00:00', 'Bruno', 1, 'h.pdf', 9, 'S', 3),"
                       " (9, 'HP1', '2020-01-02', '2020-01-02 10:00:00', 'Carla', 2, 'i.pdf', 9, 'N', 0),"
                       " (10, 'HP1', '2020-01-02', '2020-01-02 11:00:00', 'Bruno', 1, 'j.pdf', 9, 'N', 2)"),
    });
    const QStringList lines = pdfLines(writePdf(report, QDate(2019, 12, 31), QDate(2020, 1, 2)));
    const QString text = lines.join(QLatin1Char('\n'));
    // Project 0 has no row: no code, and sorts first.
    const QStringList expected{ "Projeto: (sem projeto)",  "Total do projeto 2 0,40", "Projeto: 0001 Geral",
                                "Total do projeto 5 0,00", "Projeto: P2 Obra",        "Total do projeto 14 1,95",
                                "Projeto: P2 Outra",       "Total do projeto 1 0,25", "Total geral 22 2,60" };
    const QStringList missing =
        missingInOrder(lines, QStringList(expected).replaceInStrings(QStringLiteral("Total geral"),
                                                                     report == QLatin1String("Relat_Projeto")
                                                                         ? QStringLiteral("Total geral Trabalhos: 9")
                                                                         : QStringLiteral("Total geral")));
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | ")) + QLatin1Char('\n') + text));
    QCOMPARE(text.count(QStringLiteral("Projeto: P2 Obra")), 1);
}

// A report of many pages: every page opens with the title, the period and the column headers and closes
// with "Página X de Y"; a group's header is never the last thing on a page; a page that goes on with a group
// repeats its header; the grand total comes once, on the last page.
void TestReportPdf::pagesOfALongReport()
{
    // 45 users with 1 to 4 jobs each and one with 100, all on 03/01/2020.
    DatabaseFixture::exec({ QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 212)"
        " INSERT INTO Impressao (Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages, Print_Document,"
        " dmPaperSize, Print_Color, Projeto_Id)"
        " SELECT 'HP1', '2020-01-03', '2020-01-03 12:00:00',"
        " CASE WHEN i <= 100 THEN 'Maria' ELSE printf('u%02d', (i - 100) % 45) END, 1, printf('doc%03d.pdf', i), 9,"
        " 'N', 2 FROM n") });
    const QString path = writePdf(QStringLiteral("Relat_ImpressaoUsuario"), QDate(2020, 1, 3), QDate(2020, 1, 3));
    const int pages = ReportFixture::pdfPages(path);
    QVERIFY2(pages >= 4, qPrintable(QString::number(pages)));

    const QRegularExpression jobLine(QStringLiteral("^03/01/2020 12:00:00 doc\\d{3}\\.pdf"));
    int jobs = 0;
    for (int page = 1; page <= pages; ++page) {
        const QStringList lines = pdfLines(path, page);
        const QString context = QStringLiteral("page %1:\n%2").arg(page).arg(lines.join(QLatin1Char('\n')));
        QVERIFY2(lines.size() > 5, qPrintable(context));
        QCOMPARE(lines.at(0), QStringLiteral("Impressão por Usuários"));
        QCOMPARE(lines.at(1), QStringLiteral("Período: 03/01/2020 a 03/01/2020"));
        QCOMPARE(lines.at(2), QStringLiteral("Data Hora Documento Computador Impressora Papel Cor Páginas Custo"));
        QVERIFY2(lines.at(3).startsWith(QStringLiteral("Usuário: ")), qPrintable(context));
        QCOMPARE(lines.last(),
                 QStringLiteral("Tollbook - Gerenciador de Impressão Página %1 de %2").arg(page).arg(pages));
        for (int i = 3; i < lines.size(); ++i) {
            if (lines.at(i).startsWith(QStringLiteral("Usuário: "))) {
                QVERIFY2(i + 1 < lines.size() && jobLine.match(lines.at(i + 1)).hasMatch(), qPrintable(context));
            }
            if (jobLine.match(lines.at(i)).hasMatch()) {
                ++jobs;
            }
        }
        const bool last = page == pages;
        QCOMPARE(lines.contains(QStringLiteral("Total geral Trabalhos: 212 212 42,40")), last);
    }
    QCOMPARE(jobs, 212);
}

void TestReportPdf::emptyPeriod()
{
    // An end before the start is no error: a report without rows, its totals zero.
    const QString path = writePdf(QStringLiteral("Relat_UsuarioR"), QDate(2020, 1, 2), QDate(2019, 12, 31));
    const QStringList lines = pdfLines(path);
    QVERIFY2(lines.contains(QStringLiteral("Total geral 0 0,00")), qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(ReportFixture::pdfPages(path), 1);
}

void TestReportPdf::languagesAndFonts()
{
    Language::setCurrentCode(QStringLiteral("es"));
    QString path = writePdf(QStringLiteral("Relat_Impressora2"), QDate(2019, 12, 31), QDate(2020, 1, 2));
    QStringList lines = pdfLines(path);
    QVERIFY2(lines.contains(QStringLiteral("Sintético por Impresoras")), qPrintable(lines.join(QLatin1Char('\n'))));
    QVERIFY(lines.contains(QStringLiteral("Período: 31/12/2019 a 02/01/2020")));
    QVERIFY(lines.contains(QStringLiteral("Tollbook - Gestor de Impresión Página 1 de 1")));

    Language::setCurrentCode(QStringLiteral("en"));
    path = writePdf(QStringLiteral("Relat_ImpressaoUsuario"), QDate(2019, 12, 31), QDate(2020, 1, 2));
    lines = pdfLines(path);
    QVERIFY2(lines.contains(QStringLiteral("Grand total Jobs: 6 18 1,75")), qPrintable(lines.join(QLatin1Char('\n'))));
    QVERIFY(lines.contains(QStringLiteral("Tollbook - Print Manager Page 1 of 1")));

    // Every font the file uses travels inside it.
    const QStringList fonts = ReportFixture::pdfFonts(path);
    QVERIFY(!fonts.isEmpty());
    for (const QString& font : fonts) {
        const QStringList columns = font.simplified().split(QLatin1Char(' '));
        QVERIFY2(columns.size() >= 5 && columns.at(columns.size() - 5) == QLatin1String("yes"), qPrintable(font));
    }
}

// Each fixed text of the layout has its entry in the report-text files of the three languages.
void TestReportPdf::deliveredTextsInEveryLanguage()
{
    const ReportLayout layout = ReportLayout::load(SourceDir + QStringLiteral("report/Tollbook_report.rav"));
    for (const ReportCatalogue::Entry& entry : ReportCatalogue::entries()) {
        const ReportDefinition* report = layout.report(entry.name);
        QVERIFY2(report, qPrintable(entry.name));
        QCOMPARE(report->connection, entry.connection);
        for (const Component& component : report->page(QStringLiteral("Page1"))->components) {
            if (!component.isText() || component.name.contains(QLatin1String("DataText")) ||
                component.name.contains(QLatin1String("CalcText"))) {
                continue;
            }
            for (const char* code : { "pt_BR", "en", "es" }) {
                const QString file = SourceDir + QStringLiteral("language/Report_%1.lpu").arg(QLatin1String(code));
                QVERIFY2(!IniFile::readValue(file, entry.name, component.name).isEmpty(),
                         qPrintable(QStringLiteral("%1 %2.%3").arg(QLatin1String(code), entry.name, component.name)));
            }
        }
    }
}

void TestReportPdf::unwritableFile()
{
    const std::optional<PreparedReport> prepared =
        prepareReport(QStringLiteral("Relat_Impressora2"), QDate(2019, 12, 31), QDate(2020, 1, 2), *m_dm,
                      SourceDir + QStringLiteral("report/Tollbook_report.rav"), &Language::reportText);
    QVERIFY(prepared);
    const QString folder = m_out->filePath(QStringLiteral("no-such-folder/Relatorio.pdf"));
    QVERIFY_THROWS_EXCEPTION(ReportError, writeReportPdf(prepared->definition, *prepared->rows, prepared->parameters,
                                                         folder, prepared->title));
    // A name that is none of the eight runs nothing.
    QVERIFY(!prepareReport(QStringLiteral("relat_impressora2"), QDate(2019, 12, 31), QDate(2020, 1, 2), *m_dm,
                           SourceDir + QStringLiteral("report/Tollbook_report.rav"), &Language::reportText));
}

QTEST_MAIN(TestReportPdf)
#include "tst_reportpdf.moc"
