#include "ui/pages/UserJobsPage.h"

#include "data/Catalogue.h"
#include "ui/GridModel.h"

namespace tollbook {

UserJobsPage::UserJobsPage(MainWindowDatasets* datasets, QWidget* parent)
    : TabSheet(QStringLiteral("Impressão por Usuário"), parent)
    , m_dataset(datasets->SQL_Impressao)
    , m_model(new GridModel(m_dataset, this))
{
    setObjectName(QStringLiteral("tab2"));
}

} // namespace tollbook
