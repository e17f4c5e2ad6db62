#include "ui/pages/ChartsPage.h"

#include "data/Catalogue.h"
#include "ui/GridModel.h"

namespace tollbook {

ChartsPage::ChartsPage(MainWindowDatasets* datasets, QWidget* parent)
    : TabSheet(QStringLiteral("Gráficos "), parent)
    , m_userModel(new GridModel(datasets->SQL_GraficoUsuario, this))
    , m_sectorModel(new GridModel(datasets->SQL_GraficoSetor, this))
{
    setObjectName(QStringLiteral("tab5"));
}

} // namespace tollbook
