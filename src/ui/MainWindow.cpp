#include "MainWindow.h"

#include "data/Catalogue.h"
#include "i18n/Language.h"
#include "platform/Clock.h"
#include "ui/ErrorHandler.h"
#include "ui/WaitCursor.h"
#include "ui/pages/ChartsPage.h"
#include "ui/pages/JobsGrid.h"
#include "ui/pages/PeriodJobsPage.h"
#include "ui/pages/RegistriesPage.h"
#include "ui/pages/TodayJobsPage.h"
#include "ui/pages/UserJobsPage.h"
#include "ui/widgets/Panel.h"

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tollbook {

namespace {

const QString ProductName = QStringLiteral("Tollbook");

constexpr int ClientWidth = 784;
constexpr int ClientHeight = 541;
constexpr int HeaderHeight = 43;
constexpr int SidePaneWidth = 200;
constexpr int StatusPanelWidth = 100;
constexpr int PageCount = 5;

constexpr int IntervalMinimum = 20;
constexpr int IntervalMaximum = 120;
constexpr int IntervalStart = 50;

// Label names the language files skip when the window file is exported.
constexpr int SkippedByExportTag = 9;

// Only the arrows of an up-down control; the value is shown by the text box it serves. Typing is not
// accepted, only the arrows, the arrow keys and the wheel change the value.
class UpDownArrows : public QSpinBox
{
public:
    explicit UpDownArrows(QWidget* parent)
        : QSpinBox(parent)
    {
        lineEdit()->hide();
        lineEdit()->setEnabled(false);
        setFixedWidth(18);
    }

protected:
    // Drawn by hand: a style sheet that frames spin boxes leaves their arrows out.
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const int half = height() / 2;
        for (int part = 0; part < 2; ++part) {
            const QRect box(0, part * half, width() - 1, half - 1);
            painter.setPen(QColor(0x5c, 0x57, 0x59));
            painter.setBrush(QColor(0x4a, 0x46, 0x48));
            painter.drawRect(box);
            const QPointF centre = QRectF(box).center();
            const qreal dy = part == 0 ? -2.5 : 2.5;
            const QPointF triangle[3] = { { centre.x() - 4, centre.y() - dy },
                                          { centre.x() + 4, centre.y() - dy },
                                          { centre.x(), centre.y() + dy } };
            painter.setPen(Qt::NoPen);
            painter.setBrush(isEnabled() ? QColor(0xf4, 0xf1, 0xee) : QColor(0x8a, 0x84, 0x80));
            painter.drawPolygon(triangle, 3);
        }
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton) {
            return;
        }
        if (event->position().y() < height() / 2) {
            stepUp();
        } else {
            stepDown();
        }
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
                QSpinBox::keyPressEvent(event);
                break;
            default:
                event->ignore();
                break;
        }
    }
};

// The header's menu picture: three bars, drawn in the window text colour.
QPixmap menuPicture(const QColor& colour)
{
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap pixmap(QSize(32, 32) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    for (int bar = 0; bar < 3; ++bar) {
        painter.drawRoundedRect(QRectF(5, 8 + bar * 7, 22, 3), 1.5, 1.5);
    }
    return pixmap;
}

QLabel* namedLabel(const QString& name, const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

struct MenuItem
{
    const char* name; // nullptr: a separator
    const char* caption;
    const char* shortcut;
    QAction* MainMenu::*member;
};

struct Menu
{
    const char* name;
    const char* caption;
    QList<MenuItem> items;
};

const QList<Menu>& mainMenu()
{
    static const QList<Menu> menus = {
        { "Arquivo1",
          "Arquivo",
          {
              { "PropriedadedasImpressoras1", "Propriedade das Impressoras", nullptr, &MainMenu::printerProperties },
              { "Impressoras1", "Configurar Impressoras", nullptr, &MainMenu::printersFolder },
              { nullptr, nullptr, nullptr, nullptr },
              { "IniciarcomoServio1", "Iniciar como Serviço do Windows", nullptr, &MainMenu::installService },
              { "RemoverServio1", "Remover Serviço do Windows", nullptr, &MainMenu::removeService },
              { nullptr, nullptr, nullptr, nullptr },
              { "Sair1", "Sair", nullptr, &MainMenu::exit },
          } },
        { "Ferramenta1",
          "Ferramenta",
          {
              { "ManutenodaBase1", "Manutenção da Base", nullptr, &MainMenu::purge },
              { "Tollwatch1", "Fila de Impressão", nullptr, &MainMenu::printQueue },
              { nullptr, nullptr, nullptr, nullptr },
              { "Configurao1", "Configuração do Sistema", nullptr, &MainMenu::configuration },
              { "AtivaPermisso1", "Ativa Permissão", "Ctrl+Alt+A", &MainMenu::developerMode },
          } },
        { "Relatrios1",
          "Relatórios",
          {
              { "ImpressoporUsurios1", "Impressão por Usuários", nullptr, &MainMenu::reportByUser },
              { "ImpressoporUsurioResumo1", "Impressão por Usuário - Resumo", nullptr, &MainMenu::reportByUserSummary },
              { nullptr, nullptr, nullptr, nullptr },
              { "ImpressoporSetor1", "Impressão por Setores", nullptr, &MainMenu::reportBySector },
              { "ImpressoporSetorResumo1", "Impressão por Setor - Resumo", nullptr, &MainMenu::reportBySectorSummary },
              { nullptr, nullptr, nullptr, nullptr },
              { "ImpressoporProjetos1", "Impressão por Projetos", nullptr, &MainMenu::reportByProject },
              { "ImpressoporProjetosResumo1", "Impressão por Projetos - Resumo", nullptr,
                &MainMenu::reportByProjectSummary },
              { nullptr, nullptr, nullptr, nullptr },
              { "SintticoporImpressoraUsurios1", "Sintético por Usuários / Impressoras", nullptr,
                &MainMenu::reportByUserAndPrinter },
              { "SintticoporImpressoras1", "Sintético por Impressoras", nullptr, &MainMenu::reportByPrinter },
          } },
        { "Idioma1",
          "Idioma",
          {
              { "PortugusBrasilBR1", "Português Brasil (BR)", nullptr, &MainMenu::portuguese },
              { "InglsEN1", "Inglês (EN)", nullptr, &MainMenu::english },
              { "EspanholES1", "Espanhol (ES)", nullptr, &MainMenu::spanish },
          } },
        { "Ajuda1",
          "Ajuda",
          {
              { "Ajuda2", "Ajuda do Sistema", "F1", &MainMenu::help },
              { "SobreoSistema1", "Sobre o Sistema", nullptr, &MainMenu::about },
          } },
    };
    return menus;
}

// The navigation entries below the root, in page order.
const QStringList& navigationDefaults()
{
    static const QStringList texts = {
        QStringLiteral("Controle de Impressão"),
        QStringLiteral("Impressão por Usuário"),
        QStringLiteral("Impressão por Data"),
        QStringLiteral("Configuração"),
        QStringLiteral("Gráficos"),
    };
    return texts;
}

} // namespace

MainWindow::MainWindow(DataModuleDatasets* dataModule, QWidget* parent)
    : QMainWindow(parent)
    , m_datasets(new MainWindowDatasets(dataModule, this))
{
    setObjectName(QStringLiteral("frmTBKPrincipal"));
    setWindowTitle(ProductName);

    createMenu();

    auto* client = new QWidget(this);
    auto* clientLayout = new QVBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);
    clientLayout->addWidget(createHeader());
    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    body->addWidget(createSidePane());
    body->addWidget(createPages(dataModule), 1);
    clientLayout->addLayout(body, 1);
    setCentralWidget(client);

    createStatusBar();
    createTimers();

    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    if (QScreen* desktop = screen()) {
        QRect frame(QPoint(), size());
        frame.moveCenter(desktop->availableGeometry().center());
        move(frame.topLeft());
    }
}

MainWindow::~MainWindow()
{
    // The grids' layouts are kept for the next run. Nothing can be shown any more while the window goes.
    if (m_installFolder.isEmpty()) {
        return;
    }
    try {
        saveGridLayouts();
    } catch (const std::exception& error) {
        qWarning("%s", error.what());
    }
}

QString MainWindow::gridLayoutPath() const
{
    return m_installFolder.isEmpty() ? QString() : m_installFolder + QStringLiteral("Tollbook.ini");
}

QList<JobsGrid*> MainWindow::jobGrids() const
{
    return { m_todayJobs->grid(), m_userJobs->grid(), m_periodJobs->grid() };
}

void MainWindow::setInstallFolder(const QString& folder)
{
    m_installFolder = folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    m_userJobs->setInstallFolder(m_installFolder);
    m_periodJobs->setInstallFolder(m_installFolder);
    if (!m_installFolder.isEmpty()) {
        for (JobsGrid* grid : jobGrids()) {
            grid->restoreLayout(gridLayoutPath());
        }
    }
}

void MainWindow::saveGridLayouts() const
{
    for (const JobsGrid* grid : jobGrids()) {
        grid->saveLayout(gridLayoutPath());
    }
}

void MainWindow::setFileOpener(std::function<void(const QString&)> opener)
{
    m_userJobs->setFileOpener(opener);
    m_periodJobs->setFileOpener(std::move(opener));
}

QWidget* MainWindow::createHeader()
{
    auto* header = new Panel(this);
    header->setObjectName(QStringLiteral("Panel12"));
    header->setFixedHeight(HeaderHeight);
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(6, 0, 10, 0);
    layout->setSpacing(8);

    m_imgMenu = new Picture(header);
    m_imgMenu->setObjectName(QStringLiteral("imgMenu"));
    m_imgMenu->setFixedSize(32, 32);
    m_imgMenu->setPixmap(menuPicture(palette().color(QPalette::WindowText)));
    m_imgMenu->setCursor(Qt::PointingHandCursor);
    m_imgMenu->setToolTip(QStringLiteral("Home"));
    m_imgMenu->installEventFilter(this);
    layout->addWidget(m_imgMenu);

    m_title = new QLabel(ProductName, header);
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    m_title->setFont(titleFont);
    layout->addWidget(m_title);
    layout->addStretch(1);

    m_lbModoDesenv = namedLabel(QStringLiteral("lbModoDesenv"), QStringLiteral("Developer"), header);
    m_lbModoDesenv->setProperty("tag", SkippedByExportTag);
    QPalette grey = m_lbModoDesenv->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    m_lbModoDesenv->setPalette(grey);
    m_lbModoDesenv->hide();
    layout->addWidget(m_lbModoDesenv);

    m_lbHora = namedLabel(QStringLiteral("lbHora"), QStringLiteral("00:00:00"), header);
    m_lbHora->setProperty("tag", SkippedByExportTag);
    m_lbHora->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->addWidget(m_lbHora);
    return header;
}

QWidget* MainWindow::createSidePane()
{
    auto* pane = new QFrame(this);
    pane->setObjectName(QStringLiteral("SV"));
    pane->setFixedWidth(SidePaneWidth);
    auto* paneLayout = new QVBoxLayout(pane);
    paneLayout->setContentsMargins(0, 0, 0, 0);

    auto* group = new QWidget(pane);
    group->setObjectName(QStringLiteral("CategoryPanelGroup1"));
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->setContentsMargins(0, 0, 0, 0);
    groupLayout->setSpacing(2);
    paneLayout->addWidget(group);

    auto* menuPanel = new CategoryPanel(group);
    menuPanel->setObjectName(QStringLiteral("CategoryPanel1"));
    menuPanel->setCaption(QStringLiteral("Menu"));
    auto* menuLayout = new QVBoxLayout(menuPanel->content());
    menuLayout->setContentsMargins(0, 0, 0, 0);
    m_tree = new QTreeWidget(menuPanel->content());
    m_tree->setObjectName(QStringLiteral("TreeView1"));
    m_tree->setHeaderHidden(true);
    m_tree->setColumnCount(1);
    m_tree->setFrameShape(QFrame::NoFrame);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tree->setAllColumnsShowFocus(true);
    m_tree->setIndentation(12);
    auto* root = new QTreeWidgetItem(m_tree, { ProductName });
    root->setIcon(0, style()->standardIcon(QStyle::SP_ComputerIcon));
    const QList<QStyle::StandardPixmap> icons = { QStyle::SP_FileDialogDetailedView, QStyle::SP_FileDialogInfoView,
                                                  QStyle::SP_FileDialogListView, QStyle::SP_FileDialogContentsView,
                                                  QStyle::SP_DriveNetIcon };
    for (int child = 0; child < PageCount; ++child) {
        auto* item = new QTreeWidgetItem(root, { navigationDefaults().at(child) });
        item->setIcon(0, style()->standardIcon(icons.at(child)));
    }
    m_tree->expandAll();
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { showPageOfNode(current); });
    menuLayout->addWidget(m_tree);
    groupLayout->addWidget(menuPanel, 1);

    auto* printersPanel = new CategoryPanel(group);
    printersPanel->setObjectName(QStringLiteral("CategoryPanel3"));
    printersPanel->setCaption(QStringLiteral("Impressoras"));
    auto* printersLayout = new QVBoxLayout(printersPanel->content());
    printersLayout->setContentsMargins(0, 0, 0, 0);
    m_printers = new QListWidget(printersPanel->content());
    m_printers->setObjectName(QStringLiteral("ListBoxPrinters"));
    m_printers->setFrameShape(QFrame::NoFrame);
    m_printers->setSelectionMode(QAbstractItemView::SingleSelection);
    m_printers->setToolTip(QStringLiteral("Duplo click para Propriedade"));
    m_printers->setFixedHeight(110);
    printersLayout->addWidget(m_printers);
    groupLayout->addWidget(printersPanel);

    auto* optionsPanel = new CategoryPanel(group);
    optionsPanel->setObjectName(QStringLiteral("CategoryPanel2"));
    optionsPanel->setCaption(QStringLiteral("Opções"));
    auto* optionsLayout = new QVBoxLayout(optionsPanel->content());
    optionsLayout->setContentsMargins(0, 0, 0, 0);
    optionsLayout->addWidget(createOptions());
    groupLayout->addWidget(optionsPanel);
    // Takes the room a collapsed panel gives up, so that the panels stay stacked at the top.
    groupLayout->addStretch();
    m_sidePane = pane;
    return pane;
}

QWidget* MainWindow::createOptions()
{
    auto* options = new QWidget(this);
    auto* grid = new QGridLayout(options);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(6);

    grid->addWidget(namedLabel(QStringLiteral("lbMonitorar"), QStringLiteral("Monitorar:"), options), 0, 0);
    m_monitoringSwitch = new ToggleSwitch(options);
    m_monitoringSwitch->setObjectName(QStringLiteral("ToggleSwitch1"));
    m_monitoringSwitch->setToolTip(QStringLiteral("Ativar / Desativar Monitoramento"));
    m_monitoringSwitch->setChecked(true);
    connect(m_monitoringSwitch, &ToggleSwitch::toggled, this, &MainWindow::monitoringSwitched);
    grid->addWidget(m_monitoringSwitch, 0, 1, 1, 2, Qt::AlignLeft);

    grid->addWidget(namedLabel(QStringLiteral("lbTempo"), QStringLiteral("Tempo (seg):"), options), 1, 0);
    m_editTimer = new QLineEdit(QString::number(IntervalStart), options);
    m_editTimer->setObjectName(QStringLiteral("EditTimer"));
    m_editTimer->setReadOnly(true);
    m_editTimer->setToolTip(QStringLiteral("Atualizar dados a cada X segundos"));
    m_editTimer->setPlaceholderText(QStringLiteral("Timer Sec"));
    m_editTimer->setFixedWidth(36);
    grid->addWidget(m_editTimer, 1, 1);
    m_upDown = new UpDownArrows(options);
    m_upDown->setObjectName(QStringLiteral("UpDown1"));
    m_upDown->setRange(IntervalMinimum, IntervalMaximum);
    m_upDown->setSingleStep(1);
    m_upDown->setValue(IntervalStart);
    m_upDown->setFixedHeight(m_editTimer->sizeHint().height());
    connect(m_upDown, qOverload<int>(&QSpinBox::valueChanged), this, &MainWindow::intervalChanged);
    grid->addWidget(m_upDown, 1, 2, Qt::AlignLeft);

    grid->addWidget(namedLabel(QStringLiteral("lbAtualizar"), QStringLiteral("Atualizar em (seg):"), options), 2, 0);
    m_lbNextRefresh = namedLabel(QStringLiteral("lbNextRefresh"), QString::number(IntervalStart), options);
    grid->addWidget(m_lbNextRefresh, 2, 1, 1, 2);
    grid->setColumnStretch(3, 1);
    return options;
}

QWidget* MainWindow::createPages(DataModuleDatasets* dataModule)
{
    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControl1"));
    m_todayJobs = new TodayJobsPage(m_datasets, m_pages);
    m_userJobs = new UserJobsPage(m_datasets, dataModule, m_pages);
    m_periodJobs = new PeriodJobsPage(m_datasets, m_pages);
    m_registries = new RegistriesPage(m_datasets, dataModule, m_pages);
    m_charts = new ChartsPage(m_datasets, m_pages);
    for (TabSheet* page :
         std::initializer_list<TabSheet*>{ m_todayJobs, m_userJobs, m_periodJobs, m_registries, m_charts }) {
        m_pages->addTab(page, page->caption());
    }
    showOnlyPage(0);
    return m_pages;
}

void MainWindow::createStatusBar()
{
    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    const QStringList texts = { ProductName, QString(), QStringLiteral("Registro(s):") };
    for (const QString& text : texts) {
        auto* panel = new QLabel(text, bar);
        panel->setFixedWidth(StatusPanelWidth);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(panel);
        m_statusPanels << panel;
    }
    setStatusBar(bar);
}

void MainWindow::createMenu()
{
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("MainMenu1"));
    for (const Menu& entry : mainMenu()) {
        auto* menu = new QMenu(QString::fromUtf8(entry.caption), bar);
        menu->menuAction()->setObjectName(QString::fromLatin1(entry.name));
        for (const MenuItem& item : entry.items) {
            if (!item.name) {
                menu->addSeparator();
                continue;
            }
            auto* action = new QAction(QString::fromUtf8(item.caption), menu);
            action->setObjectName(QString::fromLatin1(item.name));
            if (item.shortcut) {
                action->setShortcut(QKeySequence(QString::fromLatin1(item.shortcut)));
            }
            menu->addAction(action);
            m_menu.*item.member = action;
        }
        bar->addMenu(menu);
    }
    setMenuBar(bar);

    // The developer-mode item is never shown, and Qt disables the shortcut of a hidden action; a window
    // shortcut of its own keeps the key working.
    m_menu.developerMode->setVisible(false);
    auto* developerKey = new QShortcut(m_menu.developerMode->shortcut(), this);
    connect(developerKey, &QShortcut::activated, m_menu.developerMode, &QAction::trigger);

    // Closing is the window's own: every close asks the close query.
    connect(m_menu.exit, &QAction::triggered, this, &QWidget::close);
}

void MainWindow::createTimers()
{
    m_monitoringTimer = new QTimer(this);
    m_monitoringTimer->setObjectName(QStringLiteral("Timer1"));
    m_monitoringTimer->setInterval(monitoringInterval() * 1000);
    connect(m_monitoringTimer, &QTimer::timeout, this, &MainWindow::monitoringTick);

    m_clockTimer = new QTimer(this);
    m_clockTimer->setObjectName(QStringLiteral("Timer2"));
    m_clockTimer->setInterval(1000);
    connect(m_clockTimer, &QTimer::timeout, this, &MainWindow::clockTick);
}

void MainWindow::selectNavigationEntry(int position)
{
    QTreeWidgetItem* root = m_tree->topLevelItem(0);
    QTreeWidgetItem* node = position == 0 ? root : nullptr;
    if (position >= 1 && position <= root->childCount()) {
        node = root->child(position - 1);
    }
    if (!node) {
        return;
    }
    m_tree->setCurrentItem(node);
    m_tree->setFocus();
}

void MainWindow::setNavigationTexts(const QStringList& fiveTexts)
{
    QTreeWidgetItem* root = m_tree->topLevelItem(0);
    const int count = qMin(int(fiveTexts.size()), root->childCount());
    for (int child = 0; child < count; ++child) {
        root->child(child)->setText(0, fiveTexts.at(child));
    }
}

void MainWindow::applyNavigationTexts()
{
    QStringList texts;
    for (int entry = 1; entry <= PageCount; ++entry) {
        texts << Language::message(QStringLiteral("Principal"), QStringLiteral("TreeView1.Items%1.Text").arg(entry));
    }
    setNavigationTexts(texts);
}

void MainWindow::showPageOfNode(QTreeWidgetItem* node)
{
    if (!node) {
        return;
    }
    const WaitCursor wait;
    setUpdatesEnabled(false);
    ErrorHandler::reportingErrors([this, node] {
        // The page follows the node's place among its siblings, so the root shows the first page too.
        const int position = node->parent() ? node->parent()->indexOfChild(node) : m_tree->indexOfTopLevelItem(node);
        if (position >= 0 && position < PageCount) {
            showOnlyPage(position);
        }
    });
    // Painting and the cursor come back also when showing the page failed.
    setUpdatesEnabled(true);
}

void MainWindow::showOnlyPage(int index)
{
    // Show the new tab before hiding the others, so the tab bar never has to pick a page of its own.
    m_pages->setTabVisible(index, true);
    m_pages->setCurrentIndex(index);
    for (int page = 0; page < m_pages->count(); ++page) {
        if (page != index) {
            m_pages->setTabVisible(page, false);
        }
    }
}

namespace {

// A panel is as wide as its text needs, and never narrower than the panels' usual width: a longer count or
// a longer language's words are never cut off.
void fitStatusPanel(QLabel* panel, const QString& text)
{
    panel->setText(text);
    panel->setFixedWidth(std::max(StatusPanelWidth, panel->sizeHint().width()));
}

} // namespace

void MainWindow::setTodayCountText(const QString& text)
{
    fitStatusPanel(m_statusPanels.at(2), text);
}

void MainWindow::setReleaseText(const QString& text)
{
    fitStatusPanel(m_statusPanels.at(1), text);
}

QString MainWindow::statusPanelText(int panel) const
{
    return panel >= 0 && panel < m_statusPanels.size() ? m_statusPanels.at(panel)->text() : QString();
}

void MainWindow::setDeveloperLabelVisible(bool visible)
{
    m_lbModoDesenv->setVisible(visible);
}

bool MainWindow::isDeveloperLabelVisible() const
{
    return !m_lbModoDesenv->isHidden();
}

void MainWindow::setRefreshCountdown(int seconds)
{
    m_countdown = seconds;
}

int MainWindow::monitoringInterval() const
{
    return m_upDown->value();
}

void MainWindow::clockTick()
{
    m_lbHora->setText(Clock::now().time().toString(QStringLiteral("hh:mm:ss")));
    if (m_countdown >= 0) {
        m_lbNextRefresh->setText(QString::number(m_countdown));
        --m_countdown;
    }
}

void MainWindow::monitoringSwitched(bool on)
{
    if (on) {
        m_monitoringTimer->start(); // the period starts anew
    } else {
        m_monitoringTimer->stop();
    }
    m_todayJobs->setMonitoring(on);
    m_countdown = monitoringInterval();
}

void MainWindow::intervalChanged(int seconds)
{
    m_editTimer->setText(QString::number(seconds));
    // The new period starts at once, but a change of period does not switch monitoring on.
    m_monitoringTimer->setInterval(seconds * 1000);
    if (m_monitoringTimer->isActive()) {
        m_monitoringTimer->start();
    }
    m_countdown = seconds;
}

void MainWindow::setCloseQuery(std::function<bool()> query)
{
    m_closeQuery = std::move(query);
}

QAction* MainWindow::action(const QString& objectName) const
{
    return objectName.isEmpty() ? nullptr : findChild<QAction*>(objectName);
}

void MainWindow::startTimers()
{
    // The clock shows the time at once, not a second later.
    m_lbHora->setText(Clock::now().time().toString(QStringLiteral("hh:mm:ss")));
    m_clockTimer->start();
    if (m_monitoringSwitch->isChecked()) {
        m_monitoringTimer->start();
    }
    m_todayJobs->setMonitoring(m_monitoringSwitch->isChecked());
}

void MainWindow::stopTimers()
{
    m_clockTimer->stop();
    m_monitoringTimer->stop();
    m_todayJobs->setMonitoring(false);
}

bool MainWindow::isSidePaneOpen() const
{
    return !m_sidePane->isHidden();
}

void MainWindow::toggleSidePane()
{
    m_sidePane->setVisible(m_sidePane->isHidden());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_closeQuery && !m_closeQuery()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_imgMenu && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_imgMenu->rect().contains(mouse->position().toPoint())) {
            toggleSidePane();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace tollbook
