#include "ui/pages/RegistriesPage.h"

#include "data/Catalogue.h"
#include "ui/GridModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

namespace tollbook {

namespace {

constexpr int TitleHeight = 33;

} // namespace

RegistriesPage::RegistriesPage(MainWindowDatasets* datasets, QWidget* parent)
    : TabSheet(QStringLiteral("Configuração"), parent)
    , m_userModel(new GridModel(datasets->SQL_Usuario, this))
    , m_printerModel(new GridModel(datasets->SQL_Impressora, this))
    , m_priceModel(new GridModel(datasets->SQL_Custo, this))
    , m_sectorModel(new GridModel(datasets->SQL_Setor, this))
    , m_projectModel(new GridModel(datasets->SQL_Projeto, this))
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
