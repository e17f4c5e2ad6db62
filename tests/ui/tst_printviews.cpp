// The three print views: what their reloads load, marking a job delivered and keeping it marked through the
// monitoring tick, deletion, the filter and locate dialogs reading what is typed as the grid shows it, the
// date pickers' two-digit years, the column layouts kept in Tollbook.ini, and the spreadsheet export read back
// by another program.

#include "capture/MonitoringCycle.h"
#include "common/DatabaseFixture.h"
#include "common/FileSystemFixture.h"
#include "common/ModalHelper.h"
#include "data/Catalogue.h"
#include "data/Formats.h"
#include "platform/Clock.h"
#include "ui/FilterDialog.h"
#include "ui/GridModel.h"
#include "ui/LocateDialog.h"
#include "ui/MainWindow.h"
#include "ui/RecordViewDialog.h"
#include "ui/pages/JobsGrid.h"
#include "ui/pages/PeriodJobsPage.h"
#include "ui/pages/TodayJobsPage.h"
#include "ui/pages/UserJobsPage.h"
#include "ui/widgets/DatePicker.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace tollbook;

namespace {

using Ids = QList<qint64>;

// The Print_Id of the rows a grid shows, in its order.
Ids shownIds(const JobsGrid* grid)
{
    Ids ids;
    const Dataset* rows = grid->dataset();
    const int id = rows->fieldByName(QStringLiteral("Print_Id"))->index();
    const JobsViewModel* model = grid->viewModel();
    for (int row = 0; row < model->rowCount(); ++row) {
        ids << rows->storedValue(model->mapToSource(model->index(row, 0)).row(), id).toLongLong();
    }
    return ids;
}

Ids sorted(Ids ids)
{
    std::sort(ids.begin(), ids.end());
    return ids;
}

qint64 currentId(const Dataset* rows)
{
    return rows->fieldByName(QStringLiteral("Print_Id"))->asInteger();
}

QDate day(const char* text)
{
    return QDate::fromString(QString::fromLatin1(text), QStringLiteral("dd/MM/yyyy"));
}

// The cell of a grid in the column of a field, as shown.
QModelIndex cell(const JobsGrid* grid, int row, const QString& field)
{
    const JobsViewModel* model = grid->viewModel();
    return model->index(row, model->gridModel()->columnOf(field));
}

} // namespace

class TestPrintViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void gridsShowTheirColumns_data();
    void gridsShowTheirColumns();
    void userReload_data();
    void userReload();
    void periodIsNewestDayFirst();
    void failedReloadLeavesTheGridEmpty_data();
    void failedReloadLeavesTheGridEmpty();
    void deletion_data();
    void deletion();
    void markedJobStaysMarked_data();
    void markedJobStaysMarked();
    void markWithoutRowsDoesNothing();
    void filter_data();
    void filter();
    void locate_data();
    void locate();
    void recordViewEditsTheJobRow();
    void datePickerTwoDigitYears_data();
    void datePickerTwoDigitYears();
    void columnLayoutKeptBetweenRuns();
    void exportReadBack();
    void exportFailureKeepsTheOldFile();

private:
    void loadPeriod(const char* from, const char* to);

    std::unique_ptr<Clock::Override> m_clock;
    std::unique_ptr<DatabaseFixture> m_db;
    std::unique_ptr<QTemporaryDir> m_install;
    std::unique_ptr<DataModuleDatasets> m_dataModule;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_opened;
};

void TestPrintViews::initTestCase()
{
    Formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    Formats::setSeparators(QLatin1Char(','), QLatin1Char('.'));
}

void TestPrintViews::init()
{
    m_clock = std::make_unique<Clock::Override>([] { return QDateTime(QDate(2020, 1, 1), QTime(15, 0), Qt::UTC); });
    m_db = std::make_unique<DatabaseFixture>();
    addPeriodJobs();
    m_install = std::make_unique<QTemporaryDir>();
    m_dataModule = std::make_unique<DataModuleDatasets>();
    m_dataModule->openStartupDatasets();
    m_window = std::make_unique<MainWindow>(m_dataModule.get());
    m_window->setInstallFolder(m_install->path());
    m_opened.clear();
    m_window->setFileOpener([this](const QString& path) { m_opened << path; });
    for (JobsGrid* grid : m_window->jobGrids()) {
        new QAbstractItemModelTester(grid->viewModel(), QAbstractItemModelTester::FailureReportingMode::QtTest, grid);
    }
}

void TestPrintViews::cleanup()
{
    m_window.reset();
    m_dataModule.reset();
    m_db.reset();
    m_install.reset();
    m_clock.reset();
}

void TestPrintViews::loadPeriod(const char* from, const char* to)
{
    PeriodJobsPage* page = m_window->periodJobsPage();
    page->startPicker()->setDate(day(from));
    page->endPicker()->setDate(day(to));
    page->reload();
}

void TestPrintViews::gridsShowTheirColumns_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<bool>("deliveryIsCheckBox");

    const QStringList byDay = { "Print_Data",  "Print_Hora",  "Print_Document", "Usuario_Id", "Print_Pages",
                                "Computer_Id", "calc_Custo",  "Print_Color",    "lk_Papel",   "Print_Entregue",
                                "Print_Name",  "Print_Drive", "Print_Id",       "Projeto_Id" };
    QStringList control = byDay;
    control.swapItemsAt(0, 9);
    QTest::newRow("today's jobs") << 0 << control << true;
    QTest::newRow("jobs of a user") << 1 << byDay << false;
    QTest::newRow("jobs of a period") << 2 << byDay << false;
}

// The control grid starts with the delivery and shows it as a check box; the other two start with the day and
// show the delivery's letter. The colour is a check box everywhere, the time "hh:mm:ss", the cost in money.
void TestPrintViews::gridsShowTheirColumns()
{
    QFETCH(int, page);
    QFETCH(QStringList, order);
    QFETCH(bool, deliveryIsCheckBox);

    DatabaseFixture::exec({ QStringLiteral("UPDATE Impressao SET Print_Entregue = 'S' WHERE Print_Id = 1") });
    Dataset* rows = m_window->jobGrids().at(page)->dataset();
    rows->close();
    for (const auto& [name, value] :
         std::initializer_list<std::pair<const char*, const char*>>{ { "Data", "12/31/2019" },
                                                                     { "datai", "12/31/2019" },
                                                                     { "dataf", "12/31/2019" },
                                                                     { "Usuario_Id", "Bruno" } }) {
        for (int index = 0; index < rows->paramCount(); ++index) {
            if (rows->param(index).name == QLatin1String(name)) {
                rows->setParam(index, QString::fromLatin1(value));
            }
        }
    }
    rows->open();
    const JobsGrid* grid = m_window->jobGrids().at(page);
    QCOMPARE(grid->visualFieldOrder(), order);
    QVERIFY(rows->locate(QStringLiteral("Print_Id"), 1));
    const int row = grid->viewModel()->mapFromSource(grid->viewModel()->gridModel()->index(rows->recNo(), 0)).row();

    const QModelIndex delivery = cell(grid, row, QStringLiteral("Print_Entregue"));
    QCOMPARE(delivery.data(Qt::CheckStateRole).isValid(), deliveryIsCheckBox);
    QCOMPARE(delivery.data().toString(), deliveryIsCheckBox ? QString() : QStringLiteral("S"));
    QCOMPARE(cell(grid, row, QStringLiteral("Print_Color")).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(cell(grid, row, QStringLiteral("Print_Hora")).data().toString(), QStringLiteral("10:00:00"));
    QCOMPARE(cell(grid, row, QStringLiteral("calc_Custo")).data().toString(), QStringLiteral("R$ 0,75"));
    // Nothing is edited or ticked in place.
    QVERIFY(!(delivery.flags() & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable)));
}

void TestPrintViews::userReload_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<Ids>("expected");

    QTest::newRow("registered user, blanks around")
        << "  Bruno " << day("31/12/2019") << day("02/01/2020") << Ids{ 1, 2, 3, 5 };
    QTest::newRow("user not in the registry") << "Zeca" << day("01/01/2020") << day("01/01/2020") << Ids{ 4 };
    QTest::newRow("only blanks") << "   " << day("30/11/2019") << day("02/01/2020") << Ids{};
    QTest::newRow("start after end") << "Bruno" << day("02/01/2020") << day("31/12/2019") << Ids{};
    QTest::newRow("empty text keeps the rows shown") << "" << day("01/01/2020") << day("01/01/2020") << Ids{ 1, 2 };
}

// The user's text is taken as typed (trimmed): a blank one loads nothing, an unregistered name its jobs, an
// empty one leaves the grid as it was.
void TestPrintViews::userReload()
{
    QFETCH(QString, user);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(Ids, expected);

    UserJobsPage* page = m_window->userJobsPage();
    page->userPicker()->setEditText(QStringLiteral("Bruno"));
    page->startPicker()->setDate(day("31/12/2019"));
    page->endPicker()->setDate(day("31/12/2019"));
    page->reload();
    QCOMPARE(sorted(shownIds(page->grid())), (Ids{ 1, 2 }));

    page->userPicker()->setEditText(user);
    page->startPicker()->setDate(from);
    page->endPicker()->setDate(to);
    page->reload();
    QCOMPARE(sorted(shownIds(page->grid())), expected);
}

void TestPrintViews::periodIsNewestDayFirst()
{
    loadPeriod("30/11/2019", "02/01/2020");
    const Ids ids = shownIds(m_window->periodJobsPage()->grid());
    QStringList days;
    const Dataset* rows = m_window->periodJobsPage()->dataset();
    for (int row = 0; row < rows->recordCount(); ++row) {
        days << rows->storedValue(row, rows->fieldByName(QStringLiteral("Print_Data"))->index())
                    .toDateTime()
                    .toString(QStringLiteral("yyyy-MM-dd"));
    }
    QCOMPARE(days, (QStringList{ "2020-01-02", "2020-01-02", "2020-01-01", "2020-01-01", "2019-12-31", "2019-12-31",
                                 "2019-11-30" }));
    QCOMPARE(ids.size(), 7);
}

void TestPrintViews::failedReloadLeavesTheGridEmpty_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("today's jobs") << 0;
    QTest::newRow("jobs of a user") << 1;
    QTest::newRow("jobs of a period") << 2;
}

// A reload the database refuses raises its error, leaves the dataset closed and the grid empty, and gives back
// the cursor and the views' notifications.
void TestPrintViews::failedReloadLeavesTheGridEmpty()
{
    QFETCH(int, page);

    m_window->userJobsPage()->userPicker()->setEditText(QStringLiteral("Bruno"));
    m_window->userJobsPage()->startPicker()->setDate(day("31/12/2019"));
    m_window->periodJobsPage()->startPicker()->setDate(day("31/12/2019"));
    const std::function<void()> reloads[] = {
        [this] { m_window->todayJobsPage()->reload(); },
        [this] { m_window->userJobsPage()->reload(); },
        [this] { m_window->periodJobsPage()->reload(); },
    };
    reloads[page]();
    const JobsGrid* grid = m_window->jobGrids().at(page);
    QVERIFY(grid->shownRowCount() > 0);

    DatabaseFixture::exec({ QStringLiteral("ALTER TABLE Impressao RENAME TO Impressao_Fora") });
    QVERIFY_THROWS_EXCEPTION(DriverError, reloads[page]());
    QVERIFY(!grid->dataset()->isOpen());
    QVERIFY(!grid->dataset()->controlsDisabled());
    QCOMPARE(grid->shownRowCount(), 0);
    QVERIFY(!QApplication::overrideCursor());

    DatabaseFixture::exec({ QStringLiteral("ALTER TABLE Impressao_Fora RENAME TO Impressao") });
    reloads[page]();
    QVERIFY(grid->shownRowCount() > 0);
}

void TestPrintViews::deletion_data()
{
    QTest::addColumn<MessageBox::Answer>("answer");
    QTest::addColumn<bool>("emptyGrid");
    QTest::addColumn<Ids>("remaining");
    QTest::addColumn<Ids>("shown");

    QTest::newRow("yes") << MessageBox::Answer::Yes << false << Ids{ 2, 3, 4, 5, 6, 7 } << Ids{ 5, 6 };
    QTest::newRow("no") << MessageBox::Answer::No << false << Ids{ 1, 2, 3, 4, 5, 6, 7 } << Ids{ 1, 2 };
    QTest::newRow("yes with an empty grid")
        << MessageBox::Answer::Yes << true << Ids{ 1, 2, 3, 4, 5, 6, 7 } << Ids{ 5, 6 };
}

// The question is asked in every case; Yes deletes the job on screen (nothing without one) and shows the
// period now in the pickers, not the one the rows were read with.
void TestPrintViews::deletion()
{
    QFETCH(MessageBox::Answer, answer);
    QFETCH(bool, emptyGrid);
    QFETCH(Ids, remaining);
    QFETCH(Ids, shown);

    PeriodJobsPage* page = m_window->periodJobsPage();
    if (emptyGrid) {
        loadPeriod("01/01/2000", "01/01/2000");
    } else {
        loadPeriod("31/12/2019", "31/12/2019");
        QVERIFY(page->grid()->showDatasetRow(shownIds(page->grid()).indexOf(1)));
    }
    page->startPicker()->setDate(day("02/01/2020"));
    page->endPicker()->setDate(day("02/01/2020"));

    const auto box = ModalHelper::answerNext(answer);
    page->deleteCurrent();
    QVERIFY(box.shown());
    QCOMPARE(box.icon(), QMessageBox::Question);

    Ids inDatabase;
    QSqlQuery query(QSqlDatabase::database(Database::ConnectionName));
    QVERIFY(query.exec(QStringLiteral("SELECT Print_Id FROM Impressao ORDER BY Print_Id")));
    while (query.next()) {
        inDatabase << query.value(0).toLongLong();
    }
    QCOMPARE(inDatabase, remaining);
    QCOMPARE(sorted(shownIds(page->grid())), shown);
}

void TestPrintViews::markedJobStaysMarked_data()
{
    QTest::addColumn<QString>("after");
    QTest::newRow("tick adding a newer job") << "tick";
    QTest::newRow("tick on the next day's first minutes") << "new day";
    QTest::newRow("reload button") << "button";
}

// A job marked delivered stays current and checked through whatever reads today's rows next.
void TestPrintViews::markedJobStaysMarked()
{
    QFETCH(QString, after);

    TodayJobsPage* page = m_window->todayJobsPage();
    page->reload();
    QCOMPARE(sorted(shownIds(page->grid())), (Ids{ 3, 4 }));
    QVERIFY(page->grid()->showDatasetRow(shownIds(page->grid()).indexOf(3)));
    page->markDelivered();
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT Print_Entregue FROM Impressao WHERE Print_Id = 3")),
             QVariant(QStringLiteral("S")));

    QDateTime tickTime(QDate(2020, 1, 1), QTime(15, 1), Qt::UTC);
    if (after == QLatin1String("new day")) {
        // The same jobs seen again on a day that holds them: the day's rows are read whole.
        DatabaseFixture::exec(
            { QStringLiteral("UPDATE Impressao SET Print_Data = '2020-01-03' WHERE Print_Id IN (3, 4)") });
        tickTime = QDateTime(QDate(2020, 1, 3), QTime(0, 1), Qt::UTC);
    }
    DatabaseFixture::exec(
        { QStringLiteral("INSERT INTO Impressao (Print_Id, Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages,"
                         " Print_Document, dmPaperSize, Print_Color, Projeto_Id) VALUES"
                         " (8, 'HP1', '%1', '%1 14:00:00', 'Carla', 1, 'h.pdf', 9, 'N', 2)")
              .arg(tickTime.date().toString(Qt::ISODate)) });

    if (after == QLatin1String("button")) {
        page->reload();
    } else {
        // No config.ini: this copy does not capture, and the tick brings the control view up to date only.
        MonitoringCycle cycle(
            { m_install->filePath(QStringLiteral("config.ini")), QString(), QString(), QString(), QString() },
            m_dataModule.get(), m_window->datasets());
        cycle.setClock([tickTime] { return tickTime; });
        cycle.tick();
    }

    Dataset* rows = page->dataset();
    QVERIFY(shownIds(page->grid()).contains(8));
    QCOMPARE(currentId(rows), 3);
    QCOMPARE(page->grid()->currentDatasetRow(), rows->recNo());
    QCOMPARE(cell(page->grid(), page->grid()->currentShownRow(), QStringLiteral("Print_Entregue"))
                 .data(Qt::CheckStateRole)
                 .toInt(),
             int(Qt::Checked));
}

void TestPrintViews::markWithoutRowsDoesNothing()
{
    m_clock = std::make_unique<Clock::Override>([] { return QDateTime(QDate(2001, 1, 1), QTime(8, 0), Qt::UTC); });
    TodayJobsPage* page = m_window->todayJobsPage();
    page->reload();
    QVERIFY(page->dataset()->isEmpty());
    const auto box = ModalHelper::answerNext(MessageBox::Answer::Ok);
    page->markDelivered();
    QVERIFY(!box.shown());
    QCOMPARE(page->dataset()->state(), Dataset::State::Browse);
}

void TestPrintViews::filter_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("match");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<bool>("nonMatching");
    QTest::addColumn<Ids>("expected");

    const int anywhere = int(RowFilter::Match::Anywhere);
    const int exact = int(RowFilter::Match::Exact);
    const int start = int(RowFilter::Match::Start);
    // Read month first, "02/01/2020" would be the 1st of February: no row.
    QTest::newRow("date read day first") << "Print_Data"
                                         << "02/01/2020"
                                         << ""
                                         << "" << anywhere << false << false << Ids{ 5, 6 };
    QTest::newRow("two-digit year") << "Print_Data"
                                    << "31/12/19"
                                    << ""
                                    << "" << anywhere << false << false << Ids{ 1, 2, 8, 9 };
    QTest::newRow("range of days") << "Print_Data"
                                   << ""
                                   << "31/12/2019"
                                   << "01/01/2020" << anywhere << false << false << Ids{ 1, 2, 3, 4, 8, 9 };
    QTest::newRow("open-ended range") << "Print_Data"
                                      << ""
                                      << "01/01/2020"
                                      << "" << anywhere << false << false << Ids{ 3, 4, 5, 6 };
    QTest::newRow("day and time") << "Print_Hora"
                                  << "01/01/2020 12:00:00"
                                  << ""
                                  << "" << anywhere << false << false << Ids{ 4 };
    QTest::newRow("not a date: no row") << "Print_Data"
                                        << "13/13/2020"
                                        << ""
                                        << "" << anywhere << false << false << Ids{};
    QTest::newRow("anywhere, any case") << "Usuario_Id"
                                        << "RUN"
                                        << ""
                                        << "" << anywhere << false << false << Ids{ 1, 2, 3, 5 };
    QTest::newRow("case-sensitive") << "Usuario_Id"
                                    << "bruno"
                                    << ""
                                    << "" << exact << true << false << Ids{ 3 };
    QTest::newRow("non-matching") << "Usuario_Id"
                                  << "bruno"
                                  << ""
                                  << "" << exact << false << true << Ids{ 4, 6, 7, 8, 9 };
    QTest::newRow("start of text") << "Computer_Id"
                                   << "PC"
                                   << ""
                                   << "" << start << false << false << Ids{};
    QTest::newRow("wildcard") << "Print_Document"
                              << "%.pdf"
                              << ""
                              << "" << exact << false << false << Ids{ 1, 2, 3, 4, 5, 6, 7 };
    QTest::newRow("or") << "Print_Document"
                        << "a.pdf or g.pdf"
                        << ""
                        << "" << exact << false << false << Ids{ 1, 7 };
    QTest::newRow("and") << "Print_Document"
                         << "=% and %)"
                         << ""
                         << "" << exact << false << false << Ids{ 8 };
    QTest::newRow("null") << "Print_Drive"
                          << "null"
                          << ""
                          << "" << anywhere << false << false << Ids{ 1, 2, 3, 4, 5, 6, 7, 8, 9 };
    QTest::newRow("number") << "Print_Pages"
                            << "3"
                            << ""
                            << "" << anywhere << false << false << Ids{ 1, 2, 8 };
    QTest::newRow("number range") << "Print_Pages"
                                  << ""
                                  << "3"
                                  << "5" << anywhere << false << false << Ids{ 1, 2, 4, 5, 8 };
    QTest::newRow("cost within 0.0001") << "calc_Custo"
                                        << "0,6"
                                        << ""
                                        << "" << anywhere << false << false << Ids{ 2, 8 };
    QTest::newRow("paper name") << "lk_Papel"
                                << "a4"
                                << ""
                                << "" << exact << false << false << Ids{ 1, 2, 3, 5, 7, 8, 9 };
    QTest::newRow("no paper name") << "lk_Papel"
                                   << "null"
                                   << ""
                                   << "" << anywhere << false << false << Ids{ 6 };
    QTest::newRow("cost range") << "calc_Custo"
                                << ""
                                << "0,5"
                                << "1" << anywhere << false << false << Ids{ 1, 2, 8 };
    QTest::newRow("underscore taken as text") << "Print_Document"
                                              << "%_pdf"
                                              << ""
                                              << "" << exact << false << false << Ids{};
    QTest::newRow("formula text taken as text") << "Print_Document"
                                                << "=HYPERLINK(\"http://x\";\"y\")"
                                                << ""
                                                << "" << exact << false << false << Ids{ 8 };
    QTest::newRow("quote and statement taken as text") << "Print_Document"
                                                       << "'; DELETE FROM Impressao; --"
                                                       << ""
                                                       << "" << anywhere << false << false << Ids{ 9 };
    QTest::newRow("pattern characters taken as text") << "Print_Document"
                                                      << "[(.*"
                                                      << ""
                                                      << "" << anywhere << false << false << Ids{};
}

// The filter reads what is typed as the grid shows it and never hands it to the database: hostile texts are
// plain values, and the table is whole afterwards.
void TestPrintViews::filter()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(int, match);
    QFETCH(bool, caseSensitive);
    QFETCH(bool, nonMatching);
    QFETCH(Ids, expected);

    DatabaseFixture::exec({ QStringLiteral(
        "INSERT INTO Impressao (Print_Id, Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages,"
        " Print_Document, dmPaperSize, Print_Color, Projeto_Id) VALUES"
        " (8, 'HP1', '2019-12-31', '2019-12-31 11:00:00', 'Carla', 3, '=HYPERLINK(\"http://x\";\"y\")', 9, 'N', 2),"
        " (9, 'HP1', '2019-12-31', '2019-12-31 12:00:00', 'Carla', 1, '''; DELETE FROM Impressao; --', 9, 'N', 2)") });
    JobsGrid* grid = m_window->periodJobsPage()->grid();
    // Rows held whole, and by their keys as a year's are.
    for (const bool paged : { false, true }) {
        grid->dataset()->setPagedAbove(paged ? 0 : 20000);
        loadPeriod("30/11/2019", "02/01/2020");
        QCOMPARE(grid->dataset()->isPaged(), paged);

        FilterDialog dialog(grid);
        if (value.isEmpty()) {
            dialog.setRange(field, from, to);
        } else {
            dialog.setValue(field, value);
        }
        RowFilter::Options options;
        options.match = RowFilter::Match(match);
        options.caseSensitive = caseSensitive;
        options.nonMatching = nonMatching;
        dialog.setOptions(options);
        dialog.applyToGrid();

        QCOMPARE(sorted(shownIds(grid)), expected);
        QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT count(*) FROM Impressao")).toInt(), 9);
        // What the buttons act on is a job on screen, or none.
        QCOMPARE(grid->currentDatasetRow() >= 0, !expected.isEmpty());
        if (!expected.isEmpty()) {
            QVERIFY(expected.contains(currentId(grid->dataset())));
        }
        // The criteria stay for the next period read.
        loadPeriod("30/11/2019", "02/01/2020");
        QCOMPARE(sorted(shownIds(grid)), expected);

        // Cleared, the grid shows every row again.
        FilterDialog clearing(grid);
        clearing.clearCriteria();
        clearing.applyToGrid();
        QCOMPARE(shownIds(grid).size(), 9);
    }
}

void TestPrintViews::locate_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Ids>("matching");

    QTest::newRow("date as shown") << "Print_Data"
                                   << "31/12/2019" << Ids{ 1, 2 };
    QTest::newRow("start of a date") << "Print_Data"
                                     << "01/01" << Ids{ 3, 4 };
    QTest::newRow("time") << "Print_Hora"
                          << "12:" << Ids{ 4 };
    QTest::newRow("text ignoring case") << "Usuario_Id"
                                        << "BRU" << Ids{ 1, 2, 3, 5 };
    QTest::newRow("cost as shown") << "calc_Custo"
                                   << "0,6" << Ids{ 2 };
    QTest::newRow("paper name") << "lk_Papel"
                                << "let" << Ids{ 4 };
    QTest::newRow("pages") << "Print_Pages"
                           << "1" << Ids{ 6, 7 };
    QTest::newRow("quote taken as text") << "Print_Document"
                                         << "a.pdf' OR '1'='1" << Ids{};
    QTest::newRow("nothing") << "Print_Document"
                             << "zzz" << Ids{};
}

// Find first and find next move through the rows shown whose value begins with the typed text; when none is
// left a message says so and the grid stays where it was.
void TestPrintViews::locate()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(Ids, matching);

    JobsGrid* grid = m_window->periodJobsPage()->grid();
    for (const bool paged : { false, true }) {
        grid->dataset()->setPagedAbove(paged ? 0 : 20000);
        loadPeriod("30/11/2019", "02/01/2020");
        QCOMPARE(grid->dataset()->isPaged(), paged);
        // The matching jobs in the grid's order, then nothing more (0).
        Ids found;
        for (const qint64 id : shownIds(grid)) {
            if (matching.contains(id)) {
                found << id;
            }
        }
        found << 0;
        LocateDialog dialog(grid);
        QVERIFY(dialog.chooseField(field));
        dialog.valueEdit()->setText(typed);

        for (int step = 0; step < found.size(); ++step) {
            const qint64 before = currentId(grid->dataset());
            const auto box = ModalHelper::answerNext(MessageBox::Answer::Ok);
            const bool moved = step == 0 ? dialog.findFirst() : dialog.findNext();
            QCOMPARE(moved, found.at(step) != 0);
            QCOMPARE(box.shown(), found.at(step) == 0);
            QCOMPARE(currentId(grid->dataset()), found.at(step) != 0 ? found.at(step) : before);
        }
    }
}

// The record view edits the job row itself; the grid and the database show the change.
void TestPrintViews::recordViewEditsTheJobRow()
{
    loadPeriod("31/12/2019", "31/12/2019");
    JobsGrid* grid = m_window->periodJobsPage()->grid();
    QVERIFY(grid->showDatasetRow(shownIds(grid).indexOf(2)));

    RecordViewDialog dialog(grid);
    auto* document = qobject_cast<QLineEdit*>(dialog.editorOf(QStringLiteral("Print_Document")));
    auto* time = qobject_cast<QLineEdit*>(dialog.editorOf(QStringLiteral("Print_Hora")));
    QVERIFY(document && time);
    QCOMPARE(document->text(), QStringLiteral("b.pdf"));
    QCOMPARE(time->text(), QStringLiteral("31/12/2019 23:59:59"));
    QVERIFY(document->isReadOnly());

    dialog.edit();
    QVERIFY(!document->isReadOnly());
    document->setText(QStringLiteral("relatório; final\nv2"));
    time->setText(QStringLiteral("31/12/2019 22:00:00"));
    dialog.post();

    QCOMPARE(grid->dataset()->state(), Dataset::State::Browse);
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT Print_Document FROM Impressao WHERE Print_Id = 2")),
             QVariant(QStringLiteral("relatório; final\nv2")));
    // As text: the date and time as stored on SQLite, the timestamp as PostgreSQL writes it.
    QCOMPARE(
        DatabaseFixture::scalar(QStringLiteral("SELECT CAST(Print_Hora AS TEXT) FROM Impressao WHERE Print_Id = 2")),
        QVariant(QStringLiteral("2019-12-31 22:00:00")));

    // A value the field cannot take is refused and the row stays in edit state, to be put right.
    dialog.edit();
    time->setText(QStringLiteral("31/02/2019"));
    QVERIFY_THROWS_EXCEPTION(ConversionError, dialog.post());
    QVERIFY(grid->dataset()->isEditing());
    dialog.cancel();
    QCOMPARE(grid->dataset()->state(), Dataset::State::Browse);

    dialog.next();
    QCOMPARE(currentId(grid->dataset()), shownIds(grid).value(shownIds(grid).indexOf(2) + 1, 2));
}

void TestPrintViews::datePickerTwoDigitYears_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("expected");

    QTest::newRow("49 is 2049") << "31/12/49" << QDate(2049, 12, 31);
    QTest::newRow("50 is 1950") << "01/01/50" << QDate(1950, 1, 1);
    QTest::newRow("00 is 2000") << "29/02/00" << QDate(2000, 2, 29);
    QTest::newRow("four digits as typed") << "04/11/2018" << QDate(2018, 11, 4);
    QTest::newRow("three-digit year: the last one stays") << "01/01/201" << QDate(2020, 6, 15);
}

void TestPrintViews::datePickerTwoDigitYears()
{
    QFETCH(QString, typed);
    QFETCH(QDate, expected);

    DatePicker picker;
    picker.setDate(QDate(2020, 6, 15));
    picker.show();
    auto* edit = picker.findChild<QLineEdit*>();
    QVERIFY(edit);
    edit->setText(typed);
    QTest::keyClick(&picker, Qt::Key_Return);
    QCOMPARE(picker.date(), expected);
    QCOMPARE(picker.text(), expected.toString(QStringLiteral("dd/MM/yyyy")));
}

// Order and widths of each grid are written to Tollbook.ini when the window goes and read when the next one
// is given the folder.
void TestPrintViews::columnLayoutKeptBetweenRuns()
{
    JobsGrid* grid = m_window->periodJobsPage()->grid();
    QHeaderView* header = grid->horizontalHeader();
    const int document = grid->viewModel()->gridModel()->columnOf(QStringLiteral("Print_Document"));
    header->moveSection(header->visualIndex(document), 0);
    grid->setColumnWidth(document, 321);
    const QStringList order = grid->visualFieldOrder();
    const QStringList controlOrder = m_window->todayJobsPage()->grid()->visualFieldOrder();

    m_window.reset();
    m_window = std::make_unique<MainWindow>(m_dataModule.get());
    QCOMPARE(m_window->periodJobsPage()->grid()->visualFieldOrder(),
             m_window->userJobsPage()->grid()->visualFieldOrder());
    m_window->setInstallFolder(m_install->path());

    QCOMPARE(m_window->periodJobsPage()->grid()->visualFieldOrder(), order);
    QCOMPARE(m_window->periodJobsPage()->grid()->columnWidth(QStringLiteral("Print_Document")), 321);
    QCOMPARE(m_window->todayJobsPage()->grid()->visualFieldOrder(), controlOrder);
    QVERIFY(m_window->userJobsPage()->grid()->visualFieldOrder() != order);
}

// The by-date export read back by openpyxl: texts stay texts (a formula, a semicolon, a line break, accents
// and an emoji), numbers are numbers, days and times are dates, a cost of 3 x 0.20 is 0.6; the file is opened.
void TestPrintViews::exportReadBack()
{
    DatabaseFixture::exec(
        { QStringLiteral("INSERT INTO Impressao (Print_Id, Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages,"
                         " Print_Document, dmPaperSize, Print_Color, Projeto_Id) VALUES"
                         " (8, 'HP1', '2018-11-04', '2018-11-04 09:08:07', 'José', 3,"
                         " '=HYPERLINK(\"http://x\";\"y\"); parte 2\nlinha 2 ção 😀', 9, 'N', 2)") });
    loadPeriod("04/11/2018", "04/11/2018");
    PeriodJobsPage* page = m_window->periodJobsPage();
    page->exportRows();
    const QString path = m_install->filePath(QStringLiteral("Tollbook_report.xlsx"));
    QCOMPARE(m_opened, QStringList{ path });

    const QString script =
        QStringLiteral("import json, sys, datetime, openpyxl\n"
                       "sheet = openpyxl.load_workbook(sys.argv[1]).active\n"
                       "def cell(c):\n"
                       "    v = c.value\n"
                       "    if v is None: return None\n"
                       "    if isinstance(v, datetime.datetime): return ['date', v.isoformat(), c.number_format]\n"
                       "    if isinstance(v, str): return ['text', v, c.data_type]\n"
                       "    return ['number', repr(v), c.number_format]\n"
                       "print(json.dumps([[cell(c) for c in row] for row in sheet.iter_rows()]))\n");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), { QStringLiteral("-c"), script, path });
    QVERIFY(python.waitForFinished(60000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    QCOMPARE(rows.size(), 2);

    const QStringList order = page->grid()->visualFieldOrder();
    const QJsonArray titles = rows.at(0).toArray();
    QCOMPARE(titles.size(), order.size());
    QCOMPARE(titles.at(order.indexOf(QStringLiteral("Print_Document"))).toArray().at(1).toString(),
             QStringLiteral("Documento"));
    const QJsonArray job = rows.at(1).toArray();
    const auto at = [&](const char* field) { return job.at(order.indexOf(QString::fromLatin1(field))).toArray(); };

    QCOMPARE(at("Print_Document").at(0).toString(), QStringLiteral("text"));
    QCOMPARE(at("Print_Document").at(1).toString(),
             QStringLiteral("=HYPERLINK(\"http://x\";\"y\"); parte 2\nlinha 2 ção 😀"));
    QVERIFY(at("Print_Document").at(2).toString() != QLatin1String("f"));
    QCOMPARE(at("Usuario_Id").at(1).toString(), QStringLiteral("José"));
    QCOMPARE(at("Print_Pages").at(0).toString(), QStringLiteral("number"));
    QCOMPARE(at("Print_Pages").at(1).toString(), QStringLiteral("3"));
    QCOMPARE(at("calc_Custo").at(0).toString(), QStringLiteral("number"));
    QCOMPARE(at("calc_Custo").at(1).toString(), QStringLiteral("0.6"));
    QCOMPARE(at("Print_Data").at(0).toString(), QStringLiteral("date"));
    QCOMPARE(at("Print_Data").at(1).toString(), QStringLiteral("2018-11-04T00:00:00"));
    QCOMPARE(at("Print_Hora").at(1).toString(), QStringLiteral("2018-11-04T09:08:07"));
    QCOMPARE(at("Print_Hora").at(2).toString(), QStringLiteral("hh:mm:ss"));
    QCOMPARE(at("Print_Color").at(1).toString(), QStringLiteral("N"));

    // The by-user export goes into report/, created when missing.
    UserJobsPage* users = m_window->userJobsPage();
    users->userPicker()->setEditText(QStringLiteral("José"));
    users->startPicker()->setDate(day("04/11/2018"));
    users->endPicker()->setDate(day("04/11/2018"));
    users->reload();
    QCOMPARE(shownIds(users->grid()), Ids{ 8 });
    users->exportRows();
    QVERIFY(QFile::exists(m_install->filePath(QStringLiteral("report/Tollbook_Report.xlsx"))));
    QCOMPARE(m_opened.size(), 2);
}

// A disk that fills up while the export is written: the error is reported, the file of the last export stays
// as it was, no temporary file is left behind and nothing is opened.
void TestPrintViews::exportFailureKeepsTheOldFile()
{
    if (!FileSystemFixture::isRoot()) {
        QSKIP("needs root to mount a tmpfs");
    }
    FileSystemFixture::SmallTmpfs disk(256);
    if (!disk.isMounted()) {
        QSKIP("no tmpfs can be mounted here");
    }
    const QString path = disk.filePath(QStringLiteral("Tollbook_report.xlsx"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the last export");
    }
    QVERIFY(disk.fill());
    m_window->setInstallFolder(disk.path());
    loadPeriod("30/11/2019", "02/01/2020");

    QVERIFY_THROWS_EXCEPTION(PlainError, m_window->periodJobsPage()->exportRows());
    QVERIFY(m_opened.isEmpty());
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("the last export"));
    QCOMPARE(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{ "filler", "Tollbook_report.xlsx" }));
}

QTEST_MAIN(TestPrintViews)
#include "tst_printviews.moc"
