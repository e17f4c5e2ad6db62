// The charts page: bars read for the pickers' period with their labels, the titles of a reload (current
// language) and of a save (Portuguese, the period of the bars), the saved bitmap, and the painter's labels
// and tool tips with many bars.

#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"
#include "data/Formats.h"
#include "i18n/Language.h"
#include "platform/Errors.h"
#include "ui/MainWindow.h"
#include "ui/pages/ChartsPage.h"
#include "ui/widgets/BarChartView.h"
#include "ui/widgets/DatePicker.h"

#include <QFontMetricsF>
#include <QLineEdit>
#include <QSet>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtEndian>
#include <QtTest>

#include <memory>

using namespace tollbook;

namespace {

QStringList barTexts(const BarChart& chart)
{
    QStringList texts;
    for (const ChartBar& bar : chart.bars()) {
        texts << bar.label + QLatin1Char('=') + bar.valueText;
    }
    return texts;
}

// The fields of a bitmap file's headers that tell its size and depth.
struct BitmapHeader
{
    QByteArray magic;
    qint32 width = 0;
    qint32 height = 0;
    quint16 bitsPerPixel = 0;
};

BitmapHeader readHeader(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.read(30);
    if (bytes.size() < 30) {
        return {};
    }
    BitmapHeader header;
    header.magic = bytes.left(2);
    header.width = qFromLittleEndian<qint32>(bytes.constData() + 18);
    header.height = qFromLittleEndian<qint32>(bytes.constData() + 22);
    header.bitsPerPixel = qFromLittleEndian<quint16>(bytes.constData() + 28);
    return header;
}

int distinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            colours.insert(image.pixel(x, y));
        }
    }
    return int(colours.size());
}

} // namespace

class TestCharts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void reloadReadsThePickersPeriod_data();
    void reloadReadsThePickersPeriod();
    void reloadTitleFollowsTheLanguage_data();
    void reloadTitleFollowsTheLanguage();
    void savedPictureIsTitledWithThePeriodOfItsBars();
    void savedPictureIsA24BitBitmap();
    void unwritablePictureIsReportedAndNotOpened();
    void failedReloadLeavesTheChartEmpty();
    void manyBarsKeepLabelsAndToolTips();
    void twoDigitYears_data();
    void twoDigitYears();
    void twoDigitYearsKeyByKey_data();
    void twoDigitYearsKeyByKey();

private:
    void setPeriod(ChartsPage::Chart chart, const QDate& start, const QDate& end);

    std::unique_ptr<DatabaseFixture> m_db;
    std::unique_ptr<DataModuleDatasets> m_dataModule;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QTemporaryDir> m_folder;
    QStringList m_opened;
};

void TestCharts::initTestCase()
{
    Formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    Formats::setSeparators(QLatin1Char(','), QLatin1Char('.'));
    Language::setInstallFolder(QStringLiteral(TOLLBOOK_SOURCE_DIR "/"));
}

void TestCharts::init()
{
    Language::setCurrentCode(QStringLiteral("pt_BR"));
    m_db = std::make_unique<DatabaseFixture>();
    addPeriodJobs();
    m_dataModule = std::make_unique<DataModuleDatasets>();
    m_dataModule->openStartupDatasets();
    m_window = std::make_unique<MainWindow>(m_dataModule.get());
    m_folder = std::make_unique<QTemporaryDir>();
    m_opened.clear();
    ChartsPage* page = m_window->chartsPage();
    page->setSaveFolder(m_folder->path());
    page->setFileOpener([this](const QString& path) { m_opened << path; });
}

void TestCharts::cleanup()
{
    m_window.reset();
    m_dataModule.reset();
    m_db.reset();
    m_folder.reset();
}

void TestCharts::setPeriod(ChartsPage::Chart chart, const QDate& start, const QDate& end)
{
    m_window->chartsPage()->startPicker(chart)->setDate(start);
    m_window->chartsPage()->endPicker(chart)->setDate(end);
}

void TestCharts::reloadReadsThePickersPeriod_data()
{
    QTest::addColumn<int>("chart");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QStringList>("bars");

    // Zeca printed but is not in the users registry: his bar carries his login name.
    QTest::newRow("users, unregistered user named")
        << int(ChartsPage::Users) << QDate(2019, 12, 31) << QDate(2020, 1, 2)
        << QStringList{ "Bruno=12", "Carla=1", "Zeca=5" };
    QTest::newRow("users, one day") << int(ChartsPage::Users) << QDate(2019, 11, 30) << QDate(2019, 11, 30)
                                    << QStringList{ "Admin=10" };
    QTest::newRow("users, no jobs") << int(ChartsPage::Users) << QDate(2021, 1, 1) << QDate(2021, 1, 31)
                                    << QStringList();
    QTest::newRow("users, start after end")
        << int(ChartsPage::Users) << QDate(2020, 1, 2) << QDate(2019, 12, 31) << QStringList();
    // Zeca has no sector and Admin's sector ADM printed outside the period: neither is a bar.
    QTest::newRow("sectors, users without a sector left out")
        << int(ChartsPage::Sectors) << QDate(2019, 12, 31) << QDate(2020, 1, 2) << QStringList{ "FIN=13" };
    QTest::newRow("sectors, whole range")
        << int(ChartsPage::Sectors) << QDate(2019, 1, 1) << QDate(2020, 12, 31) << QStringList{ "ADM=10", "FIN=13" };
}

void TestCharts::reloadReadsThePickersPeriod()
{
    QFETCH(int, chart);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(QStringList, bars);

    const auto which = ChartsPage::Chart(chart);
    setPeriod(which, start, end);
    m_window->chartsPage()->reload(which);
    QCOMPARE(barTexts(m_window->chartsPage()->chartView(which)->chart()), bars);
}

void TestCharts::reloadTitleFollowsTheLanguage_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("userTitle");

    QTest::newRow("pt_BR") << "pt_BR"
                           << QStringList{ "Páginas Impressas por Usuário", "Período: 31/12/2019 a 02/01/2020" };
    QTest::newRow("en") << "en" << QStringList{ "Pages Printed per User", "Period: 31/12/2019 to 02/01/2020" };
}

// A reload titles the chart in the current language with the period it read, even when it is empty.
void TestCharts::reloadTitleFollowsTheLanguage()
{
    QFETCH(QString, code);
    QFETCH(QStringList, userTitle);

    Language::setCurrentCode(code);
    setPeriod(ChartsPage::Users, QDate(2019, 12, 31), QDate(2020, 1, 2));
    m_window->chartsPage()->reload(ChartsPage::Users);
    QCOMPARE(m_window->chartsPage()->chartView(ChartsPage::Users)->chart().titleLines(), userTitle);
}

// Saving after the pickers moved on, without a reload, titles the picture with the period its bars were
// read for, in Portuguese whatever the language; the file is opened.
void TestCharts::savedPictureIsTitledWithThePeriodOfItsBars()
{
    Language::setCurrentCode(QStringLiteral("en"));
    ChartsPage* page = m_window->chartsPage();
    setPeriod(ChartsPage::Sectors, QDate(2019, 12, 31), QDate(2020, 1, 2));
    page->reload(ChartsPage::Sectors);
    setPeriod(ChartsPage::Sectors, QDate(2021, 5, 1), QDate(2021, 5, 31));

    const QString path = page->save(ChartsPage::Sectors);
    QCOMPARE(path, QDir(m_folder->path()).filePath(QStringLiteral("grafico_setor.bmp")));
    QCOMPARE(page->chartView(ChartsPage::Sectors)->chart().titleLines(),
             (QStringList{ "Impressão por Setores", "Período: 31/12/2019 à 02/01/2020" }));
    QCOMPARE(barTexts(page->chartView(ChartsPage::Sectors)->chart()), QStringList{ "FIN=13" });
    QCOMPARE(m_opened, QStringList{ path });
}

void TestCharts::savedPictureIsA24BitBitmap()
{
    ChartsPage* page = m_window->chartsPage();
    BarChartView* view = page->chartView(ChartsPage::Users);
    view->resize(700, 450);
    setPeriod(ChartsPage::Users, QDate(2019, 11, 1), QDate(2020, 1, 31));
    page->reload(ChartsPage::Users);
    // An earlier file of that name is replaced.
    QFile old(page->picturePath(ChartsPage::Users));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();

    const QString path = page->save(ChartsPage::Users);
    QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("grafico_usuario.bmp"));
    const BitmapHeader header = readHeader(path);
    QCOMPARE(header.magic, QByteArray("BM"));
    QCOMPARE(header.bitsPerPixel, quint16(24));
    QCOMPARE(header.width, 700);
    QCOMPARE(std::abs(header.height), 450);

    const QImage image(path);
    QCOMPARE(image.size(), QSize(700, 450));
    // White background, black text and four bars of four colours at least.
    QVERIFY2(distinctColours(image) >= 6, qPrintable(QString::number(distinctColours(image))));
    for (int bar = 0; bar < 4; ++bar) {
        const QColor colour = BarChart::barColor(bar);
        bool found = false;
        for (int y = 0; y < image.height() && !found; ++y) {
            for (int x = 0; x < image.width() && !found; ++x) {
                found = image.pixelColor(x, y) == colour;
            }
        }
        QVERIFY2(found, qPrintable(QStringLiteral("bar %1 not painted").arg(bar)));
    }
}

void TestCharts::unwritablePictureIsReportedAndNotOpened()
{
    ChartsPage* page = m_window->chartsPage();
    page->setSaveFolder(QDir(m_folder->path()).filePath(QStringLiteral("missing/folder")));
    page->reload(ChartsPage::Users);
    QVERIFY_THROWS_EXCEPTION(PlainError, page->save(ChartsPage::Users));
    QVERIFY(m_opened.isEmpty());
}

// A reload that the database refuses leaves the chart empty; the error goes to the caller.
void TestCharts::failedReloadLeavesTheChartEmpty()
{
    ChartsPage* page = m_window->chartsPage();
    setPeriod(ChartsPage::Users, QDate(2019, 12, 31), QDate(2020, 1, 2));
    page->reload(ChartsPage::Users);
    QVERIFY(!page->chartView(ChartsPage::Users)->chart().bars().isEmpty());

    DatabaseFixture::exec({ QStringLiteral("ALTER TABLE Impressao RENAME TO Impressao_gone") });
    QVERIFY_THROWS_EXCEPTION(std::exception, page->reload(ChartsPage::Users));
    QVERIFY(page->chartView(ChartsPage::Users)->chart().bars().isEmpty());
    QVERIFY(!m_window->datasets()->userChart->isOpen());
}

// 300 users: the picture is wide enough for a label per bar, and the tool tip over each bar names that bar.
void TestCharts::manyBarsKeepLabelsAndToolTips()
{
    BarChartView view;
    view.resize(900, 400);
    QList<ChartBar> bars;
    for (int index = 0; index < 300; ++index) {
        bars.append({ QStringLiteral("user%1").arg(index), double(index % 17 + 1), QString::number(index % 17 + 1) });
    }
    view.chart().setBars(bars);
    view.chart().setTitleLines({ QStringLiteral("Title") });

    const QFontMetricsF metrics(view.chart().font());
    const QImage picture = view.picture();
    QVERIFY(picture.width() >= 300 * metrics.lineSpacing());
    QCOMPARE(picture.format(), QImage::Format_RGB888);

    // Every slot of the plot answers with its own bar; outside the plot there is no tool tip.
    const QRectF area(view.rect());
    QSet<int> seen;
    for (int x = 0; x < view.width(); ++x) {
        const int bar = view.chart().barAt(area, QPointF(x, view.height() * 0.6));
        if (bar >= 0) {
            seen.insert(bar);
        }
    }
    QCOMPARE(seen.size(), 300);
    int lastBarX = -1;
    for (int x = view.width() - 1; x >= 0 && lastBarX < 0; --x) {
        if (view.chart().barAt(area, QPointF(x, view.height() * 0.6)) == 299) {
            lastBarX = x;
        }
    }
    const QPoint overLastBar(lastBarX, int(view.height() * 0.6));
    QCOMPARE(view.toolTipAt(overLastBar), QStringLiteral("user299: 11"));
    QCOMPARE(view.toolTipAt(QPoint(1, 1)), QString());

    // The mouse resting over the bar shows that tool tip.
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QHelpEvent hover(QEvent::ToolTip, overLastBar, view.mapToGlobal(overLastBar));
    QCoreApplication::sendEvent(&view, &hover);
    QCOMPARE(QToolTip::text(), QStringLiteral("user299: 11"));
}

void TestCharts::twoDigitYears_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("read");

    QTest::newRow("49 is 2049") << "1/2/49"
                                << "01/02/2049";
    QTest::newRow("50 is 1950") << "31/12/50"
                                << "31/12/1950";
    QTest::newRow("00 is 2000") << "29/02/00"
                                << "29/02/2000";
    QTest::newRow("four digits kept") << "01/01/1949"
                                      << "01/01/1949";
}

void TestCharts::twoDigitYears()
{
    QFETCH(QString, typed);
    QFETCH(QString, read);

    DatePicker picker;
    picker.setDate(QDate(2000, 1, 1));
    QCOMPARE(DatePicker::withFullYear(typed), read);
    // Typed into the picker and confirmed: the picker holds the full date.
    auto* edit = picker.findChild<QLineEdit*>();
    QVERIFY(edit);
    edit->setText(typed);
    QTest::keyClick(&picker, Qt::Key_Enter);
    QCOMPARE(picker.date(), QDate::fromString(read, QStringLiteral("dd/MM/yyyy")));
}

void TestCharts::twoDigitYearsKeyByKey_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("read");

    // Key by key, as Qt's date edit takes them: a full section moves on by itself.
    QTest::newRow("1/2/49 is 2049") << "1/2/49"
                                    << "01/02/2049";
    QTest::newRow("3112 then 50 is 1950") << "311250"
                                          << "31/12/1950";
    QTest::newRow("four digits kept") << "01011949"
                                      << "01/01/1949";
}

void TestCharts::twoDigitYearsKeyByKey()
{
    QFETCH(QString, typed);
    QFETCH(QString, read);

    DatePicker picker;
    picker.setDate(QDate(2000, 1, 1));
    picker.show();
    picker.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&picker));
    picker.setFocus();
    auto* edit = picker.findChild<QLineEdit*>();
    QVERIFY(edit);
    picker.setSelectedSection(QDateTimeEdit::DaySection);
    QTest::keyClicks(&picker, typed);
    QTest::keyClick(&picker, Qt::Key_Enter);
    QCOMPARE(picker.date(), QDate::fromString(read, QStringLiteral("dd/MM/yyyy")));
}

QTEST_MAIN(TestCharts)
#include "tst_charts.moc"
