// The report layout file: which texts of a report's first page take the language's texts, and which
// layouts are refused before anything is painted.

#include "reports/ReportLayout.h"
#include "reports/ReportRun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tollbook;

namespace {

// One report whose Page1 holds the components given as JSON objects.
QByteArray layoutWith(const QString& components, const QString& extra = QString())
{
    return QStringLiteral(R"({"reports": [{"name": "Relat_Teste", "dataView": {"name": "DataView1",
        "connection": "RVImpPrint2"}, %1 "pages": [{"name": "Page1", "components": [%2]}]}]})")
        .arg(extra, components)
        .toUtf8();
}

} // namespace

class TestReportLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void localisedTexts_data();
    void localisedTexts();
    void missingSectionKeepsEveryText();
    void reportWithoutPage1();
    void refusedLayouts_data();
    void refusedLayouts();
    void missingOrUnreadableFile();
};

void TestReportLayout::localisedTexts_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("found"); // what the report-text file holds for it
    QTest::addColumn<QString>("shown");

    const QString designed = QStringLiteral("Designed");
    QTest::newRow("text") << "Text"
                          << "TextTitulo"
                          << "Title"
                          << "Title";
    QTest::newRow("empty value") << "Text"
                                 << "TextTitulo"
                                 << "" << designed;
    QTest::newRow("DataText at the start") << "Text"
                                           << "DataTextUsuario"
                                           << "X" << designed;
    QTest::newRow("DataText inside") << "DataText"
                                     << "MyDataTextUser"
                                     << "X" << designed;
    QTest::newRow("DataText at the end") << "Text"
                                         << "TotalDataText"
                                         << "X" << designed;
    QTest::newRow("CalcText at the start") << "CalcText"
                                           << "CalcTextTotal"
                                           << "X" << designed;
    QTest::newRow("CalcText inside") << "Text"
                                     << "TotalCalcTextPages"
                                     << "X" << designed;
    QTest::newRow("CalcText at the end") << "Text"
                                         << "TotalCalcText"
                                         << "X" << designed;
    QTest::newRow("names compare with case") << "Text"
                                             << "datatextUsuario"
                                             << "Localised"
                                             << "Localised";
    QTest::newRow("calctext lower case") << "Text"
                                         << "Totalcalctext"
                                         << "Localised"
                                         << "Localised";
    QTest::newRow("line is no text") << "Line"
                                     << "LineTitulo"
                                     << "X" << designed;
}

void TestReportLayout::localisedTexts()
{
    QFETCH(QString, type);
    QFETCH(QString, name);
    QFETCH(QString, found);
    QFETCH(QString, shown);

    const QString extra = type == QLatin1String("CalcText")   ? QStringLiteral(R"("calc": "count",)")
                          : type == QLatin1String("DataText") ? QStringLiteral(R"("param": "DataI",)")
                                                              : QString();
    ReportLayout layout = ReportLayout::parse(
        layoutWith(QStringLiteral(R"({"name": "%1", "type": "%2", "band": "pageHeader", %3 "text": "Designed"})")
                       .arg(name, type, extra)),
        QStringLiteral("test"));
    ReportDefinition report = layout.reports().first();
    QStringList asked;
    localiseReportTexts(report, [&](const QString& section, const QString& key) {
        asked << section + QLatin1Char('.') + key;
        return key == name ? found : QString();
    });
    QCOMPARE(report.page(QStringLiteral("Page1"))->components.first().text, shown);
    // Only texts whose names say they are fixed are looked up at all.
    const bool looked = type != QLatin1String("Line") && !name.contains(QLatin1String("DataText")) &&
                        !name.contains(QLatin1String("CalcText"));
    QCOMPARE(asked, looked ? QStringList{ QStringLiteral("Relat_Teste.") + name } : QStringList());
}

void TestReportLayout::missingSectionKeepsEveryText()
{
    ReportLayout layout = ReportLayout::parse(
        layoutWith(QStringLiteral(R"({"name": "TextA", "type": "Text", "band": "pageHeader", "text": "A"},
                                     {"name": "TextB", "type": "Text", "band": "pageFooter", "text": "B {page}"})")),
        QStringLiteral("test"));
    ReportDefinition report = layout.reports().first();
    localiseReportTexts(report, [](const QString&, const QString&) { return QString(); });
    const QList<Component>& components = report.page(QStringLiteral("Page1"))->components;
    QCOMPARE(components.at(0).text, QStringLiteral("A"));
    QCOMPARE(components.at(1).text, QStringLiteral("B {page}"));
}

void TestReportLayout::reportWithoutPage1()
{
    const QByteArray json = R"({"reports": [{"name": "Relat_Teste", "dataView": {"name": "D", "connection": "RV"},
        "pages": [{"name": "Page2", "components": []}]}]})";
    ReportDefinition report = ReportLayout::parse(json, QStringLiteral("test")).reports().first();
    QVERIFY_THROWS_EXCEPTION(ReportError,
                             localiseReportTexts(report, [](const QString&, const QString&) { return QString(); }));
}

void TestReportLayout::refusedLayouts_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("says");

    QTest::newRow("not JSON") << QByteArray("{\"reports\": [") << "offset";
    QTest::newRow("no reports") << QByteArray("{}") << "no list of reports";
    QTest::newRow("no data view") << QByteArray(R"({"reports": [{"name": "R", "pages": [{"name": "Page1"}]}]})")
                                  << "data view";
    QTest::newRow("no page")
        << QByteArray(R"({"reports": [{"name": "R", "dataView": {"name": "D", "connection": "RV"}, "pages": []}]})")
        << "has no page";
    QTest::newRow("unknown band") << layoutWith(QStringLiteral(
                                         R"({"name": "TextA", "type": "Text", "band": "middle", "text": "A"})"))
                                  << "unknown band";
    QTest::newRow("unknown type") << layoutWith(QStringLiteral(
                                         R"({"name": "MemoA", "type": "Memo", "band": "detail", "text": "A"})"))
                                  << "unknown type";
    QTest::newRow("unknown group")
        << layoutWith(
               QStringLiteral(R"({"name": "TextA", "type": "Text", "band": "groupHeader", "group": "G", "text": "A"})"))
        << "unknown group";
    QTest::newRow("unknown font")
        << layoutWith(
               QStringLiteral(R"({"name": "TextA", "type": "Text", "band": "detail", "font": "huge", "text": "A"})"))
        << "unknown font";
    QTest::newRow("sum without field")
        << layoutWith(QStringLiteral(R"({"name": "CalcTextA", "type": "CalcText", "band": "summary", "calc": "sum"})"))
        << "sums no field";
    QTest::newRow("calculation unknown")
        << layoutWith(QStringLiteral(R"({"name": "CalcTextA", "type": "CalcText", "band": "summary", "calc": "avg"})"))
        << "neither";
    QTest::newRow("data text without source")
        << layoutWith(QStringLiteral(R"({"name": "DataTextA", "type": "DataText", "band": "detail"})"))
        << "neither a field nor a parameter";
    QTest::newRow("group without keys") << layoutWith(QString(), QStringLiteral(R"("groups": [{"name": "G"}],)"))
                                        << "has no keys";
}

void TestReportLayout::refusedLayouts()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, says);
    try {
        ReportLayout::parse(json, QStringLiteral("layout.rav"));
        QFAIL("the layout was taken");
    } catch (const ReportError& error) {
        QVERIFY2(error.message().contains(says), qPrintable(error.message()));
        QVERIFY2(error.message().contains(QLatin1String("layout.rav")), qPrintable(error.message()));
    }
}

void TestReportLayout::missingOrUnreadableFile()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("Tollbook_report.rav"));
    QVERIFY_THROWS_EXCEPTION(ReportError, ReportLayout::load(missing));

    // A folder where the file should be cannot be read as one.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.rav")));
    QVERIFY_THROWS_EXCEPTION(ReportError, ReportLayout::load(dir.filePath(QStringLiteral("folder.rav"))));

    // The delivered layout reads.
    const ReportLayout delivered =
        ReportLayout::load(QStringLiteral(TOLLBOOK_SOURCE_DIR "/report/Tollbook_report.rav"));
    QCOMPARE(delivered.reports().size(), 8);
}

QTEST_GUILESS_MAIN(TestReportLayout)
#include "tst_reportlayout.moc"
