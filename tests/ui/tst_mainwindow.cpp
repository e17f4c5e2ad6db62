// The main window's frame: navigation between the pages, the side pane, the registries' title, the main
// menu, the clock and countdown, the monitoring controls and the close query.

#include "common/DatabaseFixture.h"
#include "data/Catalogue.h"
#include "platform/Clock.h"
#include "ui/MainWindow.h"
#include "ui/widgets/Panel.h"

#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

using namespace tollbook;

namespace {

// The indexes of the page tabs that are visible.
QList<int> visibleTabs(const QTabWidget* pages)
{
    QList<int> visible;
    for (int index = 0; index < pages->count(); ++index) {
        if (pages->isTabVisible(index)) {
            visible << index;
        }
    }
    return visible;
}

// A menu's items as "name|caption|shortcut", a separator as "-".
QStringList itemsOf(const QMenu* menu)
{
    QStringList items;
    for (const QAction* action : menu->actions()) {
        items << (action->isSeparator() ? QStringLiteral("-")
                                        : action->objectName() + QLatin1Char('|') + action->text() + QLatin1Char('|') +
                                              action->shortcut().toString(QKeySequence::PortableText));
    }
    return items;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void frame();
    void navigation_data();
    void navigation();
    void navigationByKeyboardAndMouse();
    void navigationIgnoresNodeTexts();
    void sidePaneToggleKeepsPageAndNode();
    void registriesKeepTheirInnerPage();
    void menus_data();
    void menus();
    void menuMembersAreTheirItems();
    void shortcuts_data();
    void shortcuts();
    void clockAndCountdown();
    void monitoringControls();
    void closeQuery_data();
    void closeQuery();

private:
    QTabWidget* pages() const { return m_window->findChild<QTabWidget*>(QStringLiteral("PageControl1")); }
    QTreeWidget* tree() const { return m_window->findChild<QTreeWidget*>(QStringLiteral("TreeView1")); }
    QLabel* label(const char* name) const { return m_window->findChild<QLabel*>(QString::fromLatin1(name)); }
    void showActive();

    std::unique_ptr<DatabaseFixture> m_db;
    std::unique_ptr<DataModuleDatasets> m_dataModule;
    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindow::init()
{
    m_db = std::make_unique<DatabaseFixture>();
    m_dataModule = std::make_unique<DataModuleDatasets>();
    m_window = std::make_unique<MainWindow>(m_dataModule.get());
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    m_dataModule.reset();
    m_db.reset();
}

void TestMainWindow::showActive()
{
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestMainWindow::frame()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("frmTBKPrincipal"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tollbook"));

    // The datasets hang below the window, where a window file finds their fields.
    QVERIFY(m_window->datasets());
    QCOMPARE(m_window->findChild<Dataset*>(QStringLiteral("SQL_Controle")), m_window->datasets()->todayJobs);
    QVERIFY(m_window->findChild<Field*>(QStringLiteral("SQL_ControlePrint_Hora")));

    // Before any navigation only the first page's tab shows.
    QCOMPARE(visibleTabs(pages()), QList<int>{ 0 });
    QCOMPARE(pages()->currentWidget()->objectName(), QStringLiteral("tab1"));
    const QStringList captions = { QStringLiteral("Controle de Impressão"), QStringLiteral("Impressão por Usuário"),
                                   QStringLiteral("Impressão por Data"), QStringLiteral("Configuração"),
                                   QStringLiteral("Gráficos ") };
    for (int index = 0; index < captions.size(); ++index) {
        auto* page = qobject_cast<TabSheet*>(pages()->widget(index));
        QVERIFY(page);
        QCOMPARE(page->objectName(), QStringLiteral("tab%1").arg(index + 1));
        QCOMPARE(page->caption(), captions.at(index));
    }

    QTreeWidgetItem* root = tree()->topLevelItem(0);
    QCOMPARE(tree()->topLevelItemCount(), 1);
    QCOMPARE(root->text(0), QStringLiteral("Tollbook"));
    QVERIFY(root->isExpanded());
    QStringList children;
    for (int child = 0; child < root->childCount(); ++child) {
        children << root->child(child)->text(0);
    }
    QCOMPARE(children, QStringList({ QStringLiteral("Controle de Impressão"), QStringLiteral("Impressão por Usuário"),
                                     QStringLiteral("Impressão por Data"), QStringLiteral("Configuração"),
                                     QStringLiteral("Gráficos") }));

    // The export leaves the clock and the developer label out.
    QCOMPARE(label("lbHora")->text(), QStringLiteral("00:00:00"));
    QCOMPARE(label("lbHora")->property("tag").toInt(), 9);
    QCOMPARE(label("lbModoDesenv")->property("tag").toInt(), 9);
    QVERIFY(!m_window->isDeveloperLabelVisible());
    m_window->setDeveloperLabelVisible(true);
    QVERIFY(!label("lbModoDesenv")->isHidden());

    QCOMPARE(m_window->statusPanelText(0), QStringLiteral("Tollbook"));
    m_window->setReleaseText(QStringLiteral("Release: 5.0.0.2"));
    m_window->setTodayCountText(QStringLiteral("Registro(s): 7"));
    QCOMPARE(m_window->statusPanelText(1), QStringLiteral("Release: 5.0.0.2"));
    QCOMPARE(m_window->statusPanelText(2), QStringLiteral("Registro(s): 7"));
    QCOMPARE(m_window->statusPanelText(0), QStringLiteral("Tollbook"));
}

void TestMainWindow::navigation_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("page");

    QTest::newRow("root shows the first page") << 0 << 0;
    QTest::newRow("print control") << 1 << 0;
    QTest::newRow("print by user") << 2 << 1;
    QTest::newRow("print by date") << 3 << 2;
    QTest::newRow("registries") << 4 << 3;
    QTest::newRow("charts") << 5 << 4;
}

void TestMainWindow::navigation()
{
    QFETCH(int, position);
    QFETCH(int, page);

    // Start on another page so that each row makes a real change.
    m_window->selectNavigationEntry(position == 5 ? 2 : 5);
    QVERIFY(pages()->currentIndex() != page);

    m_window->selectNavigationEntry(position);
    QTreeWidgetItem* node = tree()->currentItem();
    QVERIFY(node);
    QCOMPARE(node->parent() ? node->parent()->indexOfChild(node) + 1 : 0, position);
    QCOMPARE(visibleTabs(pages()), QList<int>{ page });
    QCOMPARE(pages()->currentIndex(), page);
    QCOMPARE(pages()->currentWidget()->objectName(), QStringLiteral("tab%1").arg(page + 1));
    // The page change leaves neither the hourglass nor frozen painting behind.
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(m_window->updatesEnabled());
}

void TestMainWindow::navigationByKeyboardAndMouse()
{
    showActive();
    m_window->selectNavigationEntry(1);
    QCOMPARE(QApplication::focusWidget(), tree());

    const QList<QPair<Qt::Key, int>> steps = {
        { Qt::Key_Down, 1 }, { Qt::Key_Down, 2 }, { Qt::Key_Down, 3 },
        { Qt::Key_Down, 4 }, { Qt::Key_Home, 0 }, // the root
        { Qt::Key_End, 4 },
    };
    for (const auto& [key, page] : steps) {
        QTest::keyClick(tree(), key);
        QCOMPARE(visibleTabs(pages()), QList<int>{ page });
        QCOMPARE(pages()->currentIndex(), page);
    }

    QTreeWidgetItem* byDate = tree()->topLevelItem(0)->child(2);
    QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::NoModifier, tree()->visualItemRect(byDate).center());
    QCOMPARE(tree()->currentItem(), byDate);
    QCOMPARE(visibleTabs(pages()), QList<int>{ 2 });
    QCOMPARE(pages()->currentIndex(), 2);
}

void TestMainWindow::navigationIgnoresNodeTexts()
{
    // A language without the node texts leaves them empty; the pages still follow the positions.
    m_window->setNavigationTexts(QStringList(5, QString()));
    QCOMPARE(tree()->topLevelItem(0)->text(0), QStringLiteral("Tollbook"));
    QCOMPARE(tree()->topLevelItem(0)->child(4)->text(0), QString());
    m_window->selectNavigationEntry(5);
    QCOMPARE(pages()->currentIndex(), 4);

    m_window->setNavigationTexts({ QStringLiteral("Print control"), QStringLiteral("Print by user"),
                                   QStringLiteral("Print by date"), QStringLiteral("Settings"),
                                   QStringLiteral("Charts") });
    QCOMPARE(tree()->topLevelItem(0)->child(0)->text(0), QStringLiteral("Print control"));
    QCOMPARE(tree()->topLevelItem(0)->child(4)->text(0), QStringLiteral("Charts"));
    QCOMPARE(tree()->topLevelItem(0)->text(0), QStringLiteral("Tollbook"));
}

void TestMainWindow::sidePaneToggleKeepsPageAndNode()
{
    showActive();
    m_window->selectNavigationEntry(3);
    QTreeWidgetItem* node = tree()->currentItem();
    auto* pane = m_window->findChild<QWidget*>(QStringLiteral("SV"));
    QWidget* image = m_window->findChild<QWidget*>(QStringLiteral("imgMenu"));
    QCOMPARE(pane->width(), 200);
    const int openWidth = pages()->width();

    QTest::mouseClick(image, Qt::LeftButton);
    QVERIFY(pane->isHidden());
    QVERIFY(!m_window->isSidePaneOpen());
    QCOMPARE(pages()->currentIndex(), 2);
    QCOMPARE(visibleTabs(pages()), QList<int>{ 2 });
    QCOMPARE(tree()->currentItem(), node);
    m_window->centralWidget()->layout()->activate();
    QVERIFY(pages()->width() > openWidth); // the page area takes the freed width

    QTest::mouseClick(image, Qt::LeftButton);
    QVERIFY(m_window->isSidePaneOpen());
    QCOMPARE(pages()->currentIndex(), 2);
    QCOMPARE(tree()->currentItem(), node);
}

void TestMainWindow::registriesKeepTheirInnerPage()
{
    m_window->selectNavigationEntry(4);
    auto* inner = m_window->findChild<QTabWidget*>(QStringLiteral("PageControl2"));
    QLabel* title = label("lbTitulo");
    QVERIFY(inner);
    QCOMPARE(inner->tabPosition(), QTabWidget::West);
    QVERIFY(pages()->widget(3)->isAncestorOf(inner));
    QCOMPARE(title->text(), QStringLiteral("Usuários"));

    const QStringList names = { QStringLiteral("TabSheet2"), QStringLiteral("TabSheet3"), QStringLiteral("TabSheet4"),
                                QStringLiteral("TabSheet1") };
    const QStringList captions = { QStringLiteral("Usuários"), QStringLiteral("Impressoras"), QStringLiteral("Setores"),
                                   QStringLiteral("Projetos") };
    QCOMPARE(inner->count(), names.size());
    for (int index = names.size() - 1; index >= 0; --index) {
        QCOMPARE(inner->widget(index)->objectName(), names.at(index));
        inner->setCurrentIndex(index);
        QCOMPARE(title->text(), captions.at(index));
    }

    inner->setCurrentIndex(2);
    m_window->selectNavigationEntry(1);
    m_window->selectNavigationEntry(4);
    QCOMPARE(inner->currentWidget()->objectName(), QStringLiteral("TabSheet4"));
    QCOMPARE(title->text(), QStringLiteral("Setores"));
}

void TestMainWindow::menus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("Arquivo") << QStringLiteral("Arquivo1") << QStringLiteral("Arquivo")
                             << QStringList{ QStringLiteral("PropriedadedasImpressoras1|Propriedade das Impressoras|"),
                                             QStringLiteral("Impressoras1|Configurar Impressoras|"),
                                             QStringLiteral("-"),
                                             QStringLiteral("IniciarcomoServio1|Iniciar como Serviço do Windows|"),
                                             QStringLiteral("RemoverServio1|Remover Serviço do Windows|"),
                                             QStringLiteral("-"),
                                             QStringLiteral("Sair1|Sair|") };
    QTest::newRow("Ferramenta") << QStringLiteral("Ferramenta1") << QStringLiteral("Ferramenta")
                                << QStringList{ QStringLiteral("ManutenodaBase1|Manutenção da Base|"),
                                                QStringLiteral("Tollwatch1|Fila de Impressão|"), QStringLiteral("-"),
                                                QStringLiteral("Configurao1|Configuração do Sistema|"),
                                                QStringLiteral("AtivaPermisso1|Ativa Permissão|Ctrl+Alt+A") };
    QTest::newRow("Relatórios")
        << QStringLiteral("Relatrios1") << QStringLiteral("Relatórios")
        << QStringList{ QStringLiteral("ImpressoporUsurios1|Impressão por Usuários|"),
                        QStringLiteral("ImpressoporUsurioResumo1|Impressão por Usuário - Resumo|"),
                        QStringLiteral("-"),
                        QStringLiteral("ImpressoporSetor1|Impressão por Setores|"),
                        QStringLiteral("ImpressoporSetorResumo1|Impressão por Setor - Resumo|"),
                        QStringLiteral("-"),
                        QStringLiteral("ImpressoporProjetos1|Impressão por Projetos|"),
                        QStringLiteral("ImpressoporProjetosResumo1|Impressão por Projetos - Resumo|"),
                        QStringLiteral("-"),
                        QStringLiteral("SintticoporImpressoraUsurios1|Sintético por Usuários / Impressoras|"),
                        QStringLiteral("SintticoporImpressoras1|Sintético por Impressoras|") };
    QTest::newRow("Idioma") << QStringLiteral("Idioma1") << QStringLiteral("Idioma")
                            << QStringList{ QStringLiteral("PortugusBrasilBR1|Português Brasil (BR)|"),
                                            QStringLiteral("InglsEN1|Inglês (EN)|"),
                                            QStringLiteral("EspanholES1|Espanhol (ES)|") };
    QTest::newRow("Ajuda") << QStringLiteral("Ajuda1") << QStringLiteral("Ajuda")
                           << QStringList{ QStringLiteral("Ajuda2|Ajuda do Sistema|F1"),
                                           QStringLiteral("SobreoSistema1|Sobre o Sistema|") };
}

void TestMainWindow::menus()
{
    QFETCH(QString, menu);
    QFETCH(QString, caption);
    QFETCH(QStringList, items);

    QCOMPARE(m_window->menuBar()->objectName(), QStringLiteral("MainMenu1"));
    QAction* menuAction = m_window->action(menu);
    QVERIFY(menuAction);
    QCOMPARE(menuAction->text(), caption);
    QVERIFY(menuAction->menu());
    QVERIFY(m_window->menuBar()->actions().contains(menuAction));
    QCOMPARE(itemsOf(menuAction->menu()), items);
    for (const QString& item : items) {
        if (item != QLatin1String("-")) {
            const QString name = item.section(QLatin1Char('|'), 0, 0);
            QVERIFY2(m_window->action(name), qPrintable(name));
        }
    }
}

// The commands connect to the menu's members; each member is the item of its component name.
void TestMainWindow::menuMembersAreTheirItems()
{
    const MainMenu& menu = m_window->menu();
    const QList<QPair<QAction*, const char*>> members = {
        { menu.printerProperties, "PropriedadedasImpressoras1" },
        { menu.printersFolder, "Impressoras1" },
        { menu.installService, "IniciarcomoServio1" },
        { menu.removeService, "RemoverServio1" },
        { menu.exit, "Sair1" },
        { menu.purge, "ManutenodaBase1" },
        { menu.printQueue, "Tollwatch1" },
        { menu.configuration, "Configurao1" },
        { menu.developerMode, "AtivaPermisso1" },
        { menu.reportByUser, "ImpressoporUsurios1" },
        { menu.reportByUserSummary, "ImpressoporUsurioResumo1" },
        { menu.reportBySector, "ImpressoporSetor1" },
        { menu.reportBySectorSummary, "ImpressoporSetorResumo1" },
        { menu.reportByProject, "ImpressoporProjetos1" },
        { menu.reportByProjectSummary, "ImpressoporProjetosResumo1" },
        { menu.reportByUserAndPrinter, "SintticoporImpressoraUsurios1" },
        { menu.reportByPrinter, "SintticoporImpressoras1" },
        { menu.portuguese, "PortugusBrasilBR1" },
        { menu.english, "InglsEN1" },
        { menu.spanish, "EspanholES1" },
        { menu.help, "Ajuda2" },
        { menu.about, "SobreoSistema1" },
    };
    for (const auto& [member, name] : members) {
        QVERIFY2(member, name);
        QCOMPARE(member->objectName(), QString::fromLatin1(name));
    }
}

void TestMainWindow::shortcuts_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("visible");

    QTest::newRow("help") << QStringLiteral("Ajuda2") << Qt::Key_F1 << Qt::KeyboardModifiers() << true;
    // The developer-mode item is hidden, and its key still works.
    QTest::newRow("developer mode") << QStringLiteral("AtivaPermisso1") << Qt::Key_A
                                    << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << false;
}

void TestMainWindow::shortcuts()
{
    QFETCH(QString, item);
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, visible);

    QAction* action = m_window->action(item);
    QVERIFY(action);
    QCOMPARE(action->isVisible(), visible);
    QSignalSpy triggered(action, &QAction::triggered);
    showActive();
    m_window->selectNavigationEntry(1);
    QTest::keyClick(tree(), key, modifiers);
    QCOMPARE(triggered.count(), 1);
}

void TestMainWindow::clockAndCountdown()
{
    QDateTime now(QDate(2020, 1, 2), QTime(13, 4, 5));
    const Clock::Override clockOverride([&now] { return now; });
    m_window->setRefreshCountdown(2);
    QLabel* clock = label("lbHora");
    QLabel* countdown = label("lbNextRefresh");

    // The countdown shows N .. 0 and then stays at 0 until it is set again.
    const QStringList shown = { QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("0") };
    for (const QString& expected : shown) {
        m_window->clockTick();
        QCOMPARE(clock->text(), now.time().toString(QStringLiteral("hh:mm:ss")));
        QCOMPARE(countdown->text(), expected);
        now = now.addSecs(1);
    }
    QCOMPARE(clock->text(), QStringLiteral("13:04:08"));
    QCOMPARE(m_window->refreshCountdown(), -1);

    m_window->setRefreshCountdown(50);
    m_window->clockTick();
    QCOMPARE(countdown->text(), QStringLiteral("50"));
    QCOMPARE(m_window->refreshCountdown(), 49);

    // Timer2 drives the same step.
    auto* clockTimer = m_window->findChild<QTimer*>(QStringLiteral("Timer2"));
    QVERIFY(clockTimer);
    QCOMPARE(clockTimer->interval(), 1000);
    now = QDateTime(QDate(2020, 1, 2), QTime(23, 59, 59));
    QVERIFY(QMetaObject::invokeMethod(clockTimer, "timeout"));
    QCOMPARE(clock->text(), QStringLiteral("23:59:59"));
    QCOMPARE(countdown->text(), QStringLiteral("49"));
}

void TestMainWindow::monitoringControls()
{
    auto* monitoring = m_window->findChild<QTimer*>(QStringLiteral("Timer1"));
    auto* clockTimer = m_window->findChild<QTimer*>(QStringLiteral("Timer2"));
    auto* toggle = m_window->findChild<ToggleSwitch*>(QStringLiteral("ToggleSwitch1"));
    auto* box = m_window->findChild<QLineEdit*>(QStringLiteral("EditTimer"));
    auto* arrows = m_window->findChild<QSpinBox*>(QStringLiteral("UpDown1"));
    QVERIFY(monitoring && clockTimer && toggle && box && arrows);

    QVERIFY(toggle->isChecked());
    QVERIFY(box->isReadOnly());
    QCOMPARE(box->text(), QStringLiteral("50"));
    QCOMPARE(monitoring->interval(), 50000);
    QVERIFY(!monitoring->isActive());
    QVERIFY(!clockTimer->isActive());

    m_window->startTimers();
    QVERIFY(monitoring->isActive());
    QVERIFY(clockTimer->isActive());
    QSignalSpy ticks(m_window.get(), &MainWindow::monitoringTick);
    QVERIFY(QMetaObject::invokeMethod(monitoring, "timeout"));
    QCOMPARE(ticks.count(), 1);

    // One step up restarts monitoring with the new period and the countdown at it.
    m_window->setRefreshCountdown(7);
    arrows->stepUp();
    QCOMPARE(box->text(), QStringLiteral("51"));
    QCOMPARE(monitoring->interval(), 51000);
    QVERIFY(monitoring->isActive());
    QCOMPARE(m_window->refreshCountdown(), 51);

    // The arrows stop at 120 and at 20.
    arrows->setValue(120);
    arrows->stepUp();
    QCOMPARE(box->text(), QStringLiteral("120"));
    arrows->setValue(20);
    arrows->stepDown();
    QCOMPARE(box->text(), QStringLiteral("20"));
    QCOMPARE(m_window->monitoringInterval(), 20);

    // Switched off, no tick runs; the clock goes on and the countdown starts from the period.
    m_window->setRefreshCountdown(3);
    toggle->click();
    QVERIFY(!monitoring->isActive());
    QVERIFY(clockTimer->isActive());
    QCOMPARE(m_window->refreshCountdown(), 20);
    arrows->stepUp(); // a new period does not switch monitoring on
    QVERIFY(!monitoring->isActive());
    QCOMPARE(monitoring->interval(), 21000);
    toggle->click();
    QVERIFY(monitoring->isActive());
    QCOMPARE(m_window->refreshCountdown(), 21);

    m_window->stopTimers();
    QVERIFY(!monitoring->isActive());
    QVERIFY(!clockTimer->isActive());
}

void TestMainWindow::closeQuery_data()
{
    QTest::addColumn<bool>("byMenu");
    QTest::addColumn<bool>("answer");

    QTest::newRow("close box, refused") << false << false;
    QTest::newRow("close box, allowed") << false << true;
    QTest::newRow("Sair, refused") << true << false;
    QTest::newRow("Sair, allowed") << true << true;
}

void TestMainWindow::closeQuery()
{
    QFETCH(bool, byMenu);
    QFETCH(bool, answer);

    int asked = 0;
    m_window->setCloseQuery([&asked, answer] {
        ++asked;
        return answer;
    });
    m_window->show();
    if (byMenu) {
        m_window->action(QStringLiteral("Sair1"))->trigger();
    } else {
        QCOMPARE(m_window->close(), answer);
    }
    QCOMPARE(asked, 1);
    QCOMPARE(m_window->isVisible(), !answer);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
