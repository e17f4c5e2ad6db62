// The pages of the main window: each presents its datasets through its own models (captions, widths,
// formats and hidden fields are the page's, not the data layer's), and an edit from an item view that the
// dataset refuses is shown by the error handler instead of escaping into the event loop.

#include "common/DatabaseFixture.h"
#include "common/ModalHelper.h"
#include "data/Catalogue.h"
#include "data/Formats.h"
#include "i18n/Language.h"
#include "ui/GridModel.h"
#include "ui/MainWindow.h"
#include "ui/pages/ChartsPage.h"
#include "ui/pages/PeriodJobsPage.h"
#include "ui/pages/RegistriesPage.h"
#include "ui/pages/RegistryGrid.h"
#include "ui/pages/TodayJobsPage.h"
#include "ui/pages/UserJobsPage.h"
#include "ui/widgets/Panel.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QToolButton>
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
    void navigatorsSpeakTheCurrentLanguage_data();
    void navigatorsSpeakTheCurrentLanguage();
    void deletionAskedThenRuled();
    void pricesFollowThePrinter();
    void priceRowAppendedWithChosenPaper();
    void leavingAGridPostsItsRow_data();
    void leavingAGridPostsItsRow();
    void usersGridAddsNoUser();
    void sectorChosenFromItsList_data();
    void sectorChosenFromItsList();

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
    Dataset* jobs = m_window->datasets()->periodJobs;
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

void TestPages::navigatorsSpeakTheCurrentLanguage_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("tips");
    QTest::addColumn<QString>("question");

    QTest::newRow("pt_BR") << "pt_BR"
                           << QStringList{ "Mover para o registro anterior",
                                           "Mover para o próximo registro",
                                           "Inserir novo registro",
                                           "Excluir o registro atual",
                                           "Editar o registro atual",
                                           "Gravar as alterações do registro atual",
                                           "Cancelar as alterações feitas no registro atual",
                                           "Atualizar o conteúdo do conjunto de dados" }
                           << "Excluir Registro ?";
    QTest::newRow("en") << "en"
                        << QStringList{ "Move to prior record",
                                        "Move to next record",
                                        "Insert new record",
                                        "Delete current record",
                                        "Edit current record",
                                        "Post changes of current record",
                                        "Cancel changes made to current record",
                                        "Refresh the contents of the dataset" }
                        << "Delete record?";
    QTest::newRow("es") << "es"
                        << QStringList{ "Mover al registro anterior",
                                        "Mover al registro siguiente",
                                        "Insertar nuevo registro",
                                        "Eliminar el registro actual",
                                        "Editar el registro actual",
                                        "Guardar los cambios del registro actual",
                                        "Cancelar los cambios hechos en el registro actual",
                                        "Actualizar el contenido del conjunto de datos" }
                        << "¿Eliminar registro?";
}

// Every navigator has the eight buttons with the tool tips of the active language, and asks that language's
// delete question with OK and Cancel; Cancel leaves the row and runs no rule (the user Admin is reserved, yet
// no refusal follows).
void TestPages::navigatorsSpeakTheCurrentLanguage()
{
    QFETCH(QString, code);
    QFETCH(QStringList, tips);
    QFETCH(QString, question);

    Language::setActiveGridSet(code);
    m_window->datasets()->openRegistries();
    m_window->show();
    m_window->selectNavigationEntry(4);
    RegistriesPage* page = m_window->registriesPage();
    for (RegistryNavigator* navigator :
         { page->userNavigator(), page->priceNavigator(), page->sectorNavigator(), page->projectNavigator() }) {
        QStringList shown;
        for (int button = 0; button < RegistryNavigator::ButtonCount; ++button) {
            shown << navigator->button(RegistryNavigator::Button(button))->toolTip();
        }
        QCOMPARE(shown, tips);
    }

    QCOMPARE(m_window->datasets()->users->fieldByName(QStringLiteral("Usuario_id"))->asString(),
             QStringLiteral("Admin"));
    const auto asked = ModalHelper::answerNext(MessageBox::Answer::Cancel);
    page->userNavigator()->button(RegistryNavigator::Delete)->click();
    QVERIFY(asked.shown());
    QCOMPARE(asked.text(), question);
    QCOMPARE(asked.buttons().size(), 2); // OK and Cancel, captioned by the message-box texts
    const auto noRefusal = ModalHelper::answerNext(MessageBox::Answer::Ok);
    QTest::qWait(50);
    QVERIFY(!noRefusal.shown());
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT count(*) FROM Usuario")).toInt(), 3);
    Language::setActiveGridSet(QStringLiteral("pt_BR"));
}

// OK to the question runs the rule: the reserved user stays, with the rule's message; another user goes.
void TestPages::deletionAskedThenRuled()
{
    m_window->datasets()->openRegistries();
    RegistriesPage* page = m_window->registriesPage();
    Dataset* users = m_window->datasets()->users;

    const auto asked = ModalHelper::answerNext(MessageBox::Answer::Ok);
    auto refused =
        std::make_shared<ModalHelper::Handle>(ModalHelper::Handle(std::make_shared<ModalHelper::BoxRecord>()));
    QTimer::singleShot(0, this, [&] { *refused = ModalHelper::answerNext(MessageBox::Answer::Ok); });
    page->userNavigator()->button(RegistryNavigator::Delete)->click();
    QVERIFY(asked.shown());
    QVERIFY(refused->shown());
    QCOMPARE(refused->icon(), QMessageBox::Information);
    QCOMPARE(refused->text(), QStringLiteral("Este registro não pode ser excluído."));
    QCOMPARE(users->recordCount(), 3);

    QVERIFY(users->locate(QStringLiteral("Usuario_id"), QStringLiteral("Carla")));
    const auto again = ModalHelper::answerNext(MessageBox::Answer::Ok);
    QTest::keyClick(page->userGrid(), Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(again.shown());
    QCOMPARE(
        DatabaseFixture::joined(QStringLiteral("Usuario_id"), QStringLiteral("Usuario"), QStringLiteral("Usuario_id")),
        QStringLiteral("Admin,Bruno"));
}

// Choosing another printer names it in the price caption and shows its own prices only.
void TestPages::pricesFollowThePrinter()
{
    m_window->datasets()->openRegistries();
    RegistriesPage* page = m_window->registriesPage();
    QCOMPARE(page->priceCaption()->caption(), QStringLiteral("Custo de Impressão por página - HP1"));
    QCOMPARE(page->priceModel()->rowCount(), 2);

    RegistryGrid* printers = page->printerGrid();
    printers->setCurrentIndex(page->printerModel()->index(1, 0));
    QCOMPARE(page->priceCaption()->caption(), QStringLiteral("Custo de Impressão por página - HP2"));
    QCOMPARE(page->priceModel()->rowCount(), 1);
    QCOMPARE(shown(page->priceModel(), 0, QStringLiteral("lk_papel")), QStringLiteral("Letter"));
    QCOMPARE(shown(page->priceModel(), 0, QStringLiteral("Custo_Color")), QStringLiteral("0,15"));
}

// A row added while printer HP2 is chosen belongs to HP2 and takes the code of the paper chosen by name.
void TestPages::priceRowAppendedWithChosenPaper()
{
    m_window->datasets()->openRegistries();
    m_window->show();
    m_window->selectNavigationEntry(4);
    RegistriesPage* page = m_window->registriesPage();
    page->innerPages()->setCurrentIndex(1);
    page->printerGrid()->setCurrentIndex(page->printerModel()->index(1, 0));

    page->priceNavigator()->button(RegistryNavigator::Insert)->click();
    Dataset* prices = m_window->datasets()->printerPrices;
    QCOMPARE(prices->state(), Dataset::State::Insert);
    RegistryGrid* grid = page->priceGrid();
    const QModelIndex paper = page->priceModel()->index(prices->recNo(), page->priceModel()->columnOf("lk_papel"));
    grid->setCurrentIndex(paper);
    grid->edit(paper);
    auto* list = grid->findChild<QComboBox*>(QStringLiteral("wwDBLCPapel"));
    QVERIFY(list);
    const int a4 = list->findText(QStringLiteral("A4"));
    list->setCurrentIndex(a4);
    Q_EMIT list->activated(a4); // chosen from the list
    QCOMPARE(shown(page->priceModel(), prices->recNo(), QStringLiteral("lk_papel")), QStringLiteral("A4"));
    page->priceNavigator()->button(RegistryNavigator::Post)->click();

    QCOMPARE(prices->state(), Dataset::State::Browse);
    QCOMPARE(DatabaseFixture::joined(QStringLiteral("dmPaperSize"),
                                     QStringLiteral("CustoImpressao WHERE Print_Name = 'HP2'"),
                                     QStringLiteral("dmPaperSize")),
             QStringLiteral("1,9"));
}

void TestPages::leavingAGridPostsItsRow_data()
{
    using GridOf = std::function<RegistryGrid*(RegistriesPage*)>;
    QTest::addColumn<int>("innerPage");
    QTest::addColumn<GridOf>("gridOf");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("check");

    QTest::newRow("projects") << 3 << GridOf([](RegistriesPage* p) { return p->projectGrid(); }) << "Projeto_Nome"
                              << "SELECT count(*) FROM Projeto WHERE Projeto_Nome = 'Novo'";
    QTest::newRow("sectors") << 2 << GridOf([](RegistriesPage* p) { return p->sectorGrid(); }) << "Setor_Id"
                             << "SELECT count(*) FROM Setor WHERE Setor_Id = 'Novo'";
    QTest::newRow("users") << 0 << GridOf([](RegistriesPage* p) { return p->userGrid(); }) << "Usuario_Nome"
                           << "SELECT count(*) FROM Usuario WHERE Usuario_Nome = 'Novo'";
}

// A change typed into a grid and not posted is posted when the focus goes elsewhere.
void TestPages::leavingAGridPostsItsRow()
{
    using GridOf = std::function<RegistryGrid*(RegistriesPage*)>;
    QFETCH(int, innerPage);
    QFETCH(GridOf, gridOf);
    QFETCH(QString, field);
    QFETCH(QString, check);

    m_window->datasets()->openRegistries();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_window->selectNavigationEntry(4);
    RegistriesPage* page = m_window->registriesPage();
    page->innerPages()->setCurrentIndex(innerPage);
    RegistryGrid* grid = gridOf(page);
    Dataset* rows = grid->dataset();
    rows->last(); // not the reserved row
    grid->setFocus();
    QVERIFY(QTest::qWaitFor([grid] { return grid->hasFocus(); }));
    QVERIFY(grid->gridModel()->setData(grid->gridModel()->index(rows->recNo(), grid->gridModel()->columnOf(field)),
                                       QStringLiteral("Novo")));
    QCOMPARE(rows->state(), Dataset::State::Edit);
    QCOMPARE(DatabaseFixture::scalar(check).toInt(), 0);

    m_window->findChild<QWidget*>(QStringLiteral("TreeView1"))->setFocus();
    QVERIFY(QTest::qWaitFor([rows] { return rows->state() == Dataset::State::Browse; }));
    QCOMPARE(DatabaseFixture::scalar(check).toInt(), 1);
}

// Users come from the capture: neither the navigator, the Insert key nor moving down from the last row adds
// one in the users grid.
void TestPages::usersGridAddsNoUser()
{
    m_window->datasets()->openRegistries();
    RegistriesPage* page = m_window->registriesPage();
    QVERIFY(!page->userNavigator()->button(RegistryNavigator::Insert)->isEnabled());
    QVERIFY(page->sectorNavigator()->button(RegistryNavigator::Insert)->isEnabled());
    Dataset* users = m_window->datasets()->users;
    users->last();
    const auto box = ModalHelper::answerNext(MessageBox::Answer::Ok);
    QTest::keyClick(page->userGrid(), Qt::Key_Insert);
    QTest::keyClick(page->userGrid(), Qt::Key_Down);
    QTest::qWait(30);
    QVERIFY(!box.shown());
    QCOMPARE(users->recordCount(), 3);
    QCOMPARE(users->state(), Dataset::State::Browse);

    // The sectors grid adds one where the user moves down from its last row.
    Dataset* sectors = m_window->datasets()->sectors;
    sectors->last();
    QTest::keyClick(page->sectorGrid(), Qt::Key_Down);
    QCOMPARE(sectors->state(), Dataset::State::Insert);
    sectors->cancel();
}

void TestPages::sectorChosenFromItsList_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");

    QTest::newRow("a sector in other letter case") << "adm"
                                                   << "'ADM'";
    QTest::newRow("cleared") << ""
                             << "NULL";
    QTest::newRow("no such sector") << "XYZ"
                                    << "'FIN'";
}

// The sector of a user is one of the list's (written as the list writes it), or none.
void TestPages::sectorChosenFromItsList()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);

    m_window->datasets()->openRegistries();
    m_window->show();
    m_window->selectNavigationEntry(4);
    RegistriesPage* page = m_window->registriesPage();
    Dataset* users = m_window->datasets()->users;
    QVERIFY(users->locate(QStringLiteral("Usuario_id"), QStringLiteral("Bruno")));
    const QModelIndex sector = page->userModel()->index(users->recNo(), page->userModel()->columnOf("Setor_id"));
    page->userGrid()->setCurrentIndex(sector);
    page->userGrid()->edit(sector);
    auto* list = page->userGrid()->findChild<QComboBox*>(QStringLiteral("wwDBLookupComboDlg1"));
    QVERIFY(list);
    QVERIFY(list->isEditable());
    list->lineEdit()->setText(typed);
    QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    if (users->isEditing()) {
        users->post();
    }
    // Quoted, so that an empty text does not pass for NULL.
    QCOMPARE(DatabaseFixture::scalar(QStringLiteral("SELECT coalesce('''' || Setor_id || '''', 'NULL') FROM Usuario"
                                                    " WHERE Usuario_id = 'Bruno'"))
                 .toString(),
             stored);
}

QTEST_MAIN(TestPages)
#include "tst_pages.moc"
