#include "ui/pages/TodayJobsPage.h"

#include "data/Catalogue.h"
#include "ui/GridModel.h"
#include "ui/pages/GridColumns.h"

namespace tollbook {

TodayJobsPage::TodayJobsPage(MainWindowDatasets* datasets, QWidget* parent)
    : TabSheet(QStringLiteral("Controle de Impressão"), parent)
    , m_dataset(presented(datasets->SQL_Controle, GridColumns::jobs()))
    , m_model(new GridModel(m_dataset, this))
{
    setObjectName(QStringLiteral("tab1"));
}

} // namespace tollbook
