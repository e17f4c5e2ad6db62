#include "ui/pages/RegistriesPage.h"

#include "data/Catalogue.h"
#include "ui/GridModel.h"
#include "ui/pages/GridColumns.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tollbook {

namespace {

constexpr int TitleHeight = 33;

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
    , m_userModel(new GridModel(presented(datasets->SQL_Usuario, UserColumns), this))
    , m_printerModel(new GridModel(presented(datasets->SQL_Impressora, PrinterColumns), this))
    , m_priceModel(new GridModel(presented(datasets->SQL_Custo, PriceColumns), this))
    , m_paperListModel(new GridModel(presented(dataModule->SQL_Papel, PaperListColumns), this))
    , m_sectorModel(new GridModel(presented(datasets->SQL_Setor, SectorColumns), this))
    , m_projectModel(new GridModel(presented(datasets->SQL_Projeto, ProjectColumns), this))
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
}

QString RegistriesPage::title() const
{
    return m_lbTitulo->text();
}

} // namespace tollbook
