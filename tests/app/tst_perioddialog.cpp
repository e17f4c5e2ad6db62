// The period dialog: "Imprimir" runs the selected report for the dates shown to the preview and the
// dialog stays open; the file destination writes a PDF; what fails reaches the error handler with the
// pointer back to normal; the preview opens maximised at 120 %.

#include "InstallFixture.h"

#include "app/DataModule.h"
#include "data/Dataset.h"
#include "platform/Clock.h"
#include "reports/ReportRun.h"
#include "ui/PeriodDialog.h"
#include "ui/ReportPreview.h"

#include <QDateEdit>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QTest>

using namespace tollbook;

namespace {

struct PreviewCall
{
    QString report;
    int rows = -1;
    QString dataI;
    QString dataF;
    QString title;
};

} // namespace

class TestPeriodDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void previewForTheDatesShown();
    void failuresReachTheErrorHandler_data();
    void failuresReachTheErrorHandler();
    void fileThenPreview();
    void previewWindow();
    void twoDigitYears_data();
    void twoDigitYears();

private:
    std::unique_ptr<InstallFixture> m_install;
    std::unique_ptr<DataModule> m_dataModule;
};

void TestPeriodDialog::init()
{
    m_install = std::make_unique<InstallFixture>();
    m_install->copyFromSource(QStringLiteral("report/Tollbook_report.rav"));
    m_install->copyFromSource(QStringLiteral("language/Report_pt_BR.lpu"));
    m_install->execSql({ QStringLiteral(
        "INSERT INTO Impressao (Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages, dmPaperSize, Projeto_Id)"
        " VALUES ('HP1', '2020-01-01', '2020-01-01 10:00:00', 'Ana', 2, 9, 1),"
        " ('HP1', '2020-01-02', '2020-01-02 10:00:00', 'Ana', 3, 9, 1),"
        " ('HP2', '2020-01-02', '2020-01-02 11:00:00', 'Rui', 1, 9, 1)") });
    m_dataModule = std::make_unique<DataModule>(m_install->folder());
    QVERIFY(m_dataModule->create());
}

void TestPeriodDialog::cleanup()
{
    m_dataModule.reset();
    Database::close();
    m_install.reset();
    resetProcessWideState();
}

void TestPeriodDialog::previewForTheDatesShown()
{
    PeriodDialog dialog(&m_dataModule->session(), QStringLiteral("Relat_Impressora2"));
    QList<PreviewCall> calls;
    dialog.setPreviewStart([&calls](const PreparedReport& report, QWidget*) {
        QVERIFY(QGuiApplication::overrideCursor()); // busy while the report runs
        calls << PreviewCall{ report.definition.name, report.rows->recordCount(),
                              report.parameters.value(QStringLiteral("DataI")),
                              report.parameters.value(QStringLiteral("DataF")), report.title };
    });
    dialog.show();
    QCOMPARE(dialog.startDate(), Clock::today());
    QCOMPARE(dialog.endDate(), Clock::today());

    dialog.findChild<QDateEdit*>(QStringLiteral("wwDataRi"))->setDate(QDate(2020, 1, 1));
    dialog.findChild<QDateEdit*>(QStringLiteral("wwDataRf"))->setDate(QDate(2020, 1, 1));
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
    dialog.findChild<QDateEdit*>(QStringLiteral("wwDataRf"))->setDate(QDate(2020, 1, 2));
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);

    QCOMPARE(calls.size(), 2);
    QCOMPARE(calls.at(0).report, QStringLiteral("Relat_Impressora2"));
    QCOMPARE(calls.at(0).rows, 1); // HP1
    QCOMPARE(calls.at(0).dataI, QStringLiteral("01/01/2020"));
    QCOMPARE(calls.at(0).dataF, QStringLiteral("01/01/2020"));
    QCOMPARE(calls.at(0).title, QStringLiteral("Sintético por Impressoras"));
    QCOMPARE(calls.at(1).rows, 2); // HP1, HP2
    QCOMPARE(calls.at(1).dataF, QStringLiteral("02/01/2020"));
    QVERIFY(dialog.isVisible());
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestPeriodDialog::failuresReachTheErrorHandler_data()
{
    QTest::addColumn<QString>("breakage");
    QTest::addColumn<QString>("says");
    QTest::newRow("layout missing") << "missing"
                                    << "Tollbook_report.rav";
    QTest::newRow("layout unreadable") << "garbage"
                                       << "Invalid report layout";
    QTest::newRow("report not in the layout") << "other report"
                                              << "Relat_Impressora2 not found";
}

void TestPeriodDialog::failuresReachTheErrorHandler()
{
    QFETCH(QString, breakage);
    QFETCH(QString, says);
    const QString layout = m_install->path(QStringLiteral("report/Tollbook_report.rav"));
    QVERIFY(QFile::remove(layout));
    if (breakage == QLatin1String("garbage")) {
        m_install->writeText(QStringLiteral("report/Tollbook_report.rav"), { QStringLiteral("<report>") });
    } else if (breakage == QLatin1String("other report")) {
        m_install->writeText(QStringLiteral("report/Tollbook_report.rav"), { QStringLiteral(R"({"reports": []})") });
    }

    PeriodDialog dialog(&m_dataModule->session(), QStringLiteral("Relat_Impressora2"));
    int previews = 0;
    dialog.setPreviewStart([&previews](const PreparedReport&, QWidget*) { ++previews; });
    dialog.show();
    BoxRecorder boxes;
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);

    QCOMPARE(boxes.count(), 1);
    QVERIFY2(boxes.box(0).text.contains(says), qPrintable(boxes.box(0).text));
    QCOMPARE(previews, 0);
    QVERIFY(dialog.isVisible());
    QVERIFY(!QGuiApplication::overrideCursor());
}

// After a run to a file, "Imprimir" shows the preview again rather than writing the file.
void TestPeriodDialog::fileThenPreview()
{
    PeriodDialog dialog(&m_dataModule->session(), QStringLiteral("Relat_ImpressaoUsuario"));
    int previews = 0;
    dialog.setPreviewStart([&previews](const PreparedReport&, QWidget*) { ++previews; });
    dialog.setPeriod(QDate(2020, 1, 1), QDate(2020, 1, 2));
    dialog.show();

    const QString pdf = m_install->path(QStringLiteral("Relatorio.pdf"));
    dialog.runReportToFile(pdf);
    QVERIFY(QFileInfo(pdf).size() > 0);
    QCOMPARE(previews, 0);

    QVERIFY(QFile::remove(pdf));
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
    QCOMPARE(previews, 1);
    QVERIFY(!QFile::exists(pdf));
    QVERIFY(!dialog.destinationIsFile());
}

void TestPeriodDialog::previewWindow()
{
    PeriodDialog dialog(&m_dataModule->session(), QStringLiteral("Relat_ImpressaoUsuario"));
    dialog.setPeriod(QDate(2020, 1, 1), QDate(2020, 1, 2));
    dialog.show();

    QString title;
    bool maximised = false;
    qreal zoom = 0;
    int pages = 0;
    // The period dialog is modal too: wait for the preview itself, and look at it once it has set its zoom
    // (or after 10 s, to fail rather than hang).
    int looks = 0;
    std::function<void()> look = [&] {
        ++looks;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* preview = qobject_cast<QPrintPreviewDialog*>(window);
            auto* pagesWidget = preview ? preview->findChild<QPrintPreviewWidget*>() : nullptr;
            if (preview && preview->isVisible() && pagesWidget && (pagesWidget->zoomFactor() > 1.1 || looks > 500)) {
                title = preview->windowTitle();
                maximised = preview->windowState().testFlag(Qt::WindowMaximized);
                zoom = pagesWidget->zoomFactor();
                pages = pagesWidget->pageCount();
                preview->reject();
                return;
            }
        }
        QTimer::singleShot(20, &dialog, look);
    };
    QTimer::singleShot(20, &dialog, look);
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);

    QCOMPARE(title, QStringLiteral("Report Preview"));
    QVERIFY(maximised);
    QCOMPARE(zoom, 1.2);
    QCOMPARE(pages, 1);
    QVERIFY(dialog.isVisible());
}

void TestPeriodDialog::twoDigitYears_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("read");
    QTest::newRow("49") << "15/03/49" << QDate(2049, 3, 15);
    QTest::newRow("50") << "15/03/50" << QDate(1950, 3, 15);
    QTest::newRow("24") << "01/12/24" << QDate(2024, 12, 1);
    QTest::newRow("four digits") << "01/12/1999" << QDate(1999, 12, 1);
}

void TestPeriodDialog::twoDigitYears()
{
    QFETCH(QString, typed);
    QFETCH(QDate, read);
    PeriodDialog dialog(&m_dataModule->session(), QStringLiteral("Relat_Impressora2"));
    dialog.show();
    auto* picker = dialog.findChild<QDateEdit*>(QStringLiteral("wwDataRi"));
    picker->findChild<QLineEdit*>()->setText(typed);
    picker->interpretText(); // as on leaving the field
    QCOMPARE(dialog.startDate(), read);
}

QTEST_MAIN(TestPeriodDialog)
#include "tst_perioddialog.moc"
