// The pages of the main window: each presents its datasets through its own models (captions, widths,
// formats and hidden fields are the page's, not the data layer's), and an edit from an item view that the
// dataset refuses is shown by the error handler instead of escaping into the event loop.

#include "common/DatabaseFixture.h"
#include "common/ModalHelper.h"
#include "data/Catalogue.h"
#include "data/Formats.h"
#include "ui/GridModel.h"
#include "ui/MainWindow.h"
#include "ui/pages/ChartsPage.h"
#include "ui/pages/PeriodJobsPage.h"
#include "ui/pages/RegistriesPage.h"
#include "ui/pages/TodayJobsPage.h"
#include "ui/pages/UserJobsPage.h"

#include <QTabWidget>
#include <QtTest>

#include <functional>
#include <memory>

using namespace tollbook;

namespace {

using ModelOf = std::function<GridModel*(const MainWindow&)>;

QStringList headers(const DatasetModel* model)
{
    QStringList captions;
    for (int column = 0; column < model->columnCount(); ++column) {
        captions << model->headerData(column, Qt::Horizontal).toString() + QLatin1Char('/') +
                        model->headerData(column, Qt::Horizontal, DatasetModel::DisplayWidthRole).toString();
    }
    return captions;
}

QString shown(const DatasetModel* model, int row, const QString& field)
{
    return model->data(model->index(row, model->columnOf(field))).toString();
}

const QStringList JobHeaders = { "Data/10",       "Hora/8",   "Documento/30", "Usuário/15", "Páginas/7",
                                 "Computador/20", "Custo/10", "Colorido/1",   "Papel/20",   "Entregue/7",
                                 "Impressora/30", "Drive/30", "Id/10",        "Projeto/10" };

} // namespace

class TestPages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void pagesAreTheWindowsTabs();
    void columns_data();
    void columns();
    void jobRowsShownInTheViewsFormats();
    void refusedEditIsReported();

private:
    std::unique_ptr<DatabaseFixture> m_db;
    std::unique_ptr<DataModuleDatasets> m_dataModule;
    std::unique_ptr<MainWindow> m_window;
};

void TestPages::initTestCase()
{
    Formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    Formats::setSeparators(QLatin1Char(','), QLatin1Char('.'));
}

void TestPages::init()
{
    m_db = std::make_unique<DatabaseFixture>();
    addPeriodJobs();
    m_dataModule = std::make_unique<DataModuleDatasets>();
    m_dataModule->openStartupDatasets();
    m_window = std::make_unique<MainWindow>(m_dataModule.get());
}

void TestPages::cleanup()
{
    m_window.reset();
    m_dataModule.reset();
    m_db.reset();
}

// The window's page area holds the five page objects, in navigation order, under the names the window
// files know.
void TestPages::pagesAreTheWindowsTabs()
{
    auto* tabs = m_window->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    QVERIFY(tabs);
    const QList<QWidget*> pages = { m_window->todayJobsPage(), m_window->userJobsPage(), m_window->periodJobsPage(),
                                    m_window->registriesPage(), m_window->chartsPage() };
    QCOMPARE(tabs->count(), pages.size());
    for (int index = 0; index < pages.size(); ++index) {
        QCOMPARE(tabs->widget(index), pages.at(index));
        QCOMPARE(pages.at(index)->objectName(), QStringLiteral("tab%1").arg(index + 1));
    }
}

void TestPages::columns_data()
{
    QTest::addColumn<ModelOf>("modelOf");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("today's jobs") << ModelOf([](const MainWindow& w) { return w.todayJobsPage()->model(); })
                                  << JobHeaders;
    QTest::newRow("jobs by user") << ModelOf([](const MainWindow& w) { return w.userJobsPage()->model(); })
                                  << JobHeaders;
    QTest::newRow("jobs by period") << ModelOf([](const MainWindow& w) { return w.periodJobsPage()->model(); })
                                    << JobHeaders;
    QTest::newRow("user picker") << ModelOf([](const MainWindow& w) { return w.userJobsPage()->userListModel(); })
                                 << QStringList{ "Usuário/40" };
    QTest::newRow("users") << ModelOf([](const MainWindow& w) { return w.registriesPage()->userModel(); })
                           << QStringList{ "Usuário/17", "Nome/31", "Setor/15", "Projeto/14", "Ativo/4" };
    QTest::newRow("printers") << ModelOf([](const MainWindow& w) { return w.registriesPage()->printerModel(); })
                              << QStringList{ "Impressora/85" };
    QTest::newRow("prices") << ModelOf([](const MainWindow& w) { return w.registriesPage()->priceModel(); })
                            << QStringList{ "Papel/51", "Valor Preto e Branco/16", "Valor Colorido/16" };
    QTest::newRow("papers") << ModelOf([](const MainWindow& w) { return w.registriesPage()->paperListModel(); })
                            << QStringList{ "Papel/255", "Id/10" };
    QTest::newRow("sectors") << ModelOf([](const MainWindow& w) { return w.registriesPage()->sectorModel(); })
                             << QStringList{ "Setor/85" };
    QTest::newRow("projects") << ModelOf([](const MainWindow& w) { return w.registriesPage()->projectModel(); })
                              << QStringList{ "Código/12", "Nome Projeto/35", "Cliente/25", "Data/10" };
}

// Each grid shows the fields its page chose, captioned and sized by the page.
void TestPages::columns()
{
    QFETCH(ModelOf, modelOf);
    QFETCH(QStringList, expected);

    QCOMPARE(headers(modelOf(*m_window)), expected);
}

// The job grids show the day and the time of a job apart, and the price registry its prices with the
// process's separators.
void TestPages::jobRowsShownInTheViewsFormats()
{
    Dataset* jobs = m_window->datasets()->SQL_Data;
    jobs->setParam(QStringLiteral("datai"), QStringLiteral("01/01/2020"));
    jobs->setParam(QStringLiteral("dataf"), QStringLiteral("01/01/2020"));
    jobs->open();
    const GridModel* model = m_window->periodJobsPage()->model();
    QCOMPARE(model->rowCount(), 2);
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row) {
        rows << shown(model, row, QStringLiteral("Print_Data")) + QLatin1Char(' ') +
                    shown(model, row, QStringLiteral("Print_Hora"));
    }
    rows.sort();
    QCOMPARE(rows, (QStringList{ "01/01/2020 00:00:01", "01/01/2020 12:00:00" }));

    m_window->datasets()->openRegistries();
    const GridModel* prices = m_window->registriesPage()->priceModel();
    QCOMPARE(shown(prices, 0, QStringLiteral("Custo_Mono")), QStringLiteral("0,10"));
}

// A value the field cannot take, typed into a grid: the error handler shows it, the edit is refused and
// nothing escapes from setData.
void TestPages::refusedEditIsReported()
{
    m_window->datasets()->openRegistries();
    GridModel* users = m_window->registriesPage()->userModel();
    const QModelIndex project = users->index(0, users->columnOf(QStringLiteral("Projeto_Id")));
    const QVariant before = users->data(project, Qt::EditRole);

    const auto box = ModalHelper::answerNext(MessageBox::Answer::Ok);
    bool written = true;
    try {
        written = users->setData(project, QStringLiteral("not a number"));
    } catch (...) {
        QFAIL("setData let an exception out");
    }
    QVERIFY(!written);
    QVERIFY(box.shown());
    QCOMPARE(users->data(project, Qt::EditRole), before);
}

QTEST_MAIN(TestPages)
#include "tst_pages.moc"
