#include "ui/pages/RegistriesPage.h"

#include "data/Catalogue.h"
#include "i18n/Language.h"
#include "ui/GridModel.h"
#include "ui/pages/GridColumns.h"
#include "ui/pages/RegistryGrid.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tollbook {

namespace {

constexpr int TitleHeight = 33;
constexpr int NavigatorPanelHeight = 31;
const char* const PriceCaptionDesign = "Custo de Impressão por página";

enum InnerPage { Users, Printers, Sectors, Projects };

const QList<GridColumn> UserColumns = {
    { "Usuario_id", "Usuário", 17, nullptr, true }, { "Usuario_Nome", "Nome", 31, nullptr, true },
    { "Setor_id", "Setor", 15, nullptr, true },     { "Projeto_Id", "Projeto", 14, nullptr, true },
    { "Usuario_Ativo", "Ativo", 4, nullptr, true },
};

const QList<GridColumn> SectorColumns = { { "Setor_Id", "Setor", 85, nullptr, true } };

const QList<GridColumn> ProjectColumns = {
    { "Projeto_Codigo", "Código", 12, nullptr, true },   { "Projeto_Nome", "Nome Projeto", 35, nullptr, true },
    { "Projeto_Cliente", "Cliente", 25, nullptr, true }, { "Projeto_Data", "Data", 10, nullptr, true },
    { "Projeto_Id", nullptr, 0, nullptr, false },
};

const QList<GridColumn> PrinterColumns = { { "Print_Name", "Impressora", 85, nullptr, true } };

const QList<GridColumn> PriceColumns = {
    { "lk_papel", "Papel", 51, nullptr, true },
    { "Custo_Mono", "Valor Preto e Branco", 16, "###,##0.00", true },
    { "Custo_Color", "Valor Colorido", 16, "###,##0.00", true },
    { "dmPaperSize", nullptr, 0, nullptr, false },
    { "Print_Name", nullptr, 0, nullptr, false },
};

const QList<GridColumn> PaperListColumns = {
    { "PaperName", "Papel", 255, nullptr, true },
    { "dmPaperSize", "Id", 10, nullptr, true },
    { "ID", nullptr, 0, nullptr, false },
};

} // namespace

RegistriesPage::RegistriesPage(MainWindowDatasets* datasets, DataModuleDatasets* dataModule, QWidget* parent)
    : TabSheet(QStringLiteral("Configuração"), parent)
    , m_userModel(new GridModel(presented(datasets->users, UserColumns), this))
    , m_printerModel(new GridModel(presented(datasets->printers, PrinterColumns), this))
    , m_priceModel(new GridModel(presented(datasets->printerPrices, PriceColumns), this))
    , m_paperListModel(new GridModel(presented(dataModule->papers, PaperListColumns), this))
    , m_sectorModel(new GridModel(presented(datasets->sectors, SectorColumns), this))
    , m_projectModel(new GridModel(presented(datasets->projects, ProjectColumns), this))
    , m_datasets(datasets)
{
    setObjectName(QStringLiteral("tab4"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* titleBar = new Panel(this);
    titleBar->setObjectName(QStringLiteral("Panel11"));
    titleBar->setFixedHeight(TitleHeight);
    auto* titleLayout = new QHBoxLayout(titleBar);
    titleLayout->setContentsMargins(8, 0, 10, 0);
    m_lbTitulo = new QLabel(QStringLiteral("Usuários"), titleBar);
    m_lbTitulo->setObjectName(QStringLiteral("lbTitulo"));
    m_lbTitulo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont titleFont = m_lbTitulo->font();
    titleFont.setBold(true);
    m_lbTitulo->setFont(titleFont);
    titleLayout->addWidget(m_lbTitulo, 1);
    layout->addWidget(titleBar);

    m_innerPages = new QTabWidget(this);
    m_innerPages->setObjectName(QStringLiteral("PageControl2"));
    m_innerPages->setTabPosition(QTabWidget::West);
    const QList<QPair<QString, QString>> innerPages = {
        { QStringLiteral("TabSheet2"), QStringLiteral("Usuários") },
        { QStringLiteral("TabSheet3"), QStringLiteral("Impressoras") },
        { QStringLiteral("TabSheet4"), QStringLiteral("Setores") },
        { QStringLiteral("TabSheet1"), QStringLiteral("Projetos") },
    };
    for (const auto& [name, caption] : innerPages) {
        auto* page = new TabSheet(caption, m_innerPages);
        page->setObjectName(name);
        m_innerPages->addTab(page, caption);
    }
    connect(m_innerPages, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0) {
            m_lbTitulo->setText(m_innerPages->tabText(index));
        }
    });
    layout->addWidget(m_innerPages, 1);

    // Users: added by the capture only, so no row is added here; their sector and project from lists.
    m_userGrid = new RegistryGrid(QStringLiteral("wwDBGrid4"), m_userModel, innerPage(Users));
    m_userGrid->setInsertAllowed(false);
    m_userNavigator = addGridPage(Users, m_userGrid, QStringLiteral("Panel5"), QStringLiteral("wwDBNavigator6"));
    m_userNavigator->setInsertAllowed(false);
    m_userGrid->setItemDelegateForColumn(m_userModel->columnOf(QStringLiteral("Setor_id")),
                                         new LookupDelegate(m_sectorModel,
                                                            { QStringLiteral("wwDBLookupComboDlg1"),
                                                              QStringLiteral("Setor_Id"),
                                                              QStringLiteral("Setor_Id"),
                                                              true,
                                                              { { QStringLiteral("Setor_Id"), 85 } } },
                                                            m_userGrid));
    m_userGrid->setItemDelegateForColumn(m_userModel->columnOf(QStringLiteral("Projeto_Id")),
                                         new LookupDelegate(m_projectModel,
                                                            { QStringLiteral("DBLC_Projeto"),
                                                              QStringLiteral("Projeto_Id"),
                                                              QStringLiteral("Projeto_Codigo"),
                                                              false,
                                                              { { QStringLiteral("Projeto_Codigo"), 12 },
                                                                { QStringLiteral("Projeto_Nome"), 31 },
                                                                { QStringLiteral("Projeto_Cliente"), 25 } } },
                                                            m_userGrid));

    buildPrinterPage(dataModule, datasets);

    m_sectorGrid = new RegistryGrid(QStringLiteral("wwDBGrid6"), m_sectorModel, innerPage(Sectors));
    m_sectorNavigator = addGridPage(Sectors, m_sectorGrid, QStringLiteral("Panel7"), QStringLiteral("wwDBNavigator3"));

    m_projectGrid = new RegistryGrid(QStringLiteral("wwDBGrid8"), m_projectModel, innerPage(Projects));
    m_projectNavigator =
        addGridPage(Projects, m_projectGrid, QStringLiteral("Panel10"), QStringLiteral("wwDBNavigator4"));
}

QWidget* RegistriesPage::innerPage(int index) const
{
    return m_innerPages->widget(index);
}

// The grid fills the page; the navigator sits right-aligned in a panel at the bottom.
RegistryNavigator* RegistriesPage::addGridPage(int page, RegistryGrid* grid, const QString& panelName,
                                               const QString& navigatorName)
{
    QWidget* sheet = innerPage(page);
    auto* layout = qobject_cast<QVBoxLayout*>(sheet->layout());
    if (!layout) {
        layout = new QVBoxLayout(sheet);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    layout->addWidget(grid, 1);
    auto* panel = new Panel(sheet);
    panel->setObjectName(panelName);
    panel->setFixedHeight(NavigatorPanelHeight);
    auto* panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(4, 2, 4, 2);
    panelLayout->addStretch(1);
    auto* navigator = new RegistryNavigator(navigatorName, grid->dataset(), panel);
    panelLayout->addWidget(navigator);
    layout->addWidget(panel);
    return navigator;
}

// Printers above, read-only and without a navigator; the caption naming the printer; its prices below.
void RegistriesPage::buildPrinterPage(DataModuleDatasets* dataModule, MainWindowDatasets* datasets)
{
    Q_UNUSED(dataModule)
    QWidget* sheet = innerPage(Printers);
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_printerGrid = new RegistryGrid(QStringLiteral("wwDBGrid5"), m_printerModel, sheet);
    m_printerGrid->setReadOnly(true);
    m_printerGrid->setInsertAllowed(false);
    layout->addWidget(m_printerGrid, 2);

    m_panelCusto = new Panel(sheet);
    m_panelCusto->setObjectName(QStringLiteral("PanelCusto"));
    auto* captionLayout = new QHBoxLayout(m_panelCusto);
    captionLayout->setContentsMargins(4, 4, 4, 4);
    captionLayout->addWidget(m_panelCusto->captionLabel());
    QFont captionFont = m_panelCusto->captionLabel()->font();
    captionFont.setBold(true);
    m_panelCusto->captionLabel()->setFont(captionFont);
    m_panelCusto->setCaption(QString::fromUtf8(PriceCaptionDesign));
    layout->addWidget(m_panelCusto);

    m_priceModel->setLookupEdit(QStringLiteral("lk_papel"), QStringLiteral("dmPaperSize"));
    m_priceGrid = new RegistryGrid(QStringLiteral("wwDBGrid7"), m_priceModel, sheet);
    m_priceGrid->setItemDelegateForColumn(
        m_priceModel->columnOf(QStringLiteral("lk_papel")),
        new LookupDelegate(m_paperListModel,
                           { QStringLiteral("wwDBLCPapel"),
                             QStringLiteral("dmPaperSize"),
                             QStringLiteral("PaperName"),
                             false,
                             { { QStringLiteral("PaperName"), 30 }, { QStringLiteral("dmPaperSize"), 10 } } },
                           m_priceGrid));
    for (const char* price : { "Custo_Mono", "Custo_Color" }) {
        m_priceGrid->setItemDelegateForColumn(m_priceModel->columnOf(QLatin1String(price)),
                                              new PriceDelegate(m_priceGrid));
    }
    layout->addWidget(m_priceGrid, 3);
    auto* panel = new Panel(sheet);
    panel->setObjectName(QStringLiteral("Panel6"));
    panel->setFixedHeight(NavigatorPanelHeight);
    auto* panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(4, 2, 4, 2);
    panelLayout->addStretch(1);
    m_priceNavigator = new RegistryNavigator(QStringLiteral("wwDBNavigator2"), datasets->printerPrices, panel);
    panelLayout->addWidget(m_priceNavigator);
    layout->addWidget(panel);

    // The caption follows the printer, from its first opening on.
    connect(datasets->printersSource, &DataSource::dataChange, this, [this] { updatePriceCaption(); });
}

void RegistriesPage::updatePriceCaption()
{
    const Dataset* printers = m_datasets->printers;
    if (!printers->isOpen()) {
        return;
    }
    const QString printer =
        printers->recNo() >= 0 ? printers->fieldByName(QStringLiteral("Print_Name"))->asString() : QString();
    QString caption = Language::message(QStringLiteral("Principal"), QStringLiteral("PanelCusto.Caption"));
    if (caption.isEmpty()) {
        caption = QString::fromUtf8(PriceCaptionDesign) + QStringLiteral(" - %s");
    }
    m_panelCusto->setCaption(Language::format(caption, { printer }));
}

void RegistriesPage::showEvent(QShowEvent* event)
{
    TabSheet::showEvent(event);
    updatePriceCaption();
    for (RegistryNavigator* navigator : { m_userNavigator, m_priceNavigator, m_sectorNavigator, m_projectNavigator }) {
        navigator->applyLanguage();
    }
}

QString RegistriesPage::title() const
{
    return m_lbTitulo->text();
}

} // namespace tollbook
