#include "ui/pages/TodayJobsPage.h"

#include "data/Catalogue.h"
#include "ui/GridModel.h"

namespace tollbook {

TodayJobsPage::TodayJobsPage(MainWindowDatasets* datasets, QWidget* parent)
    : TabSheet(QStringLiteral("Controle de Impressão"), parent)
    , m_dataset(datasets->SQL_Controle)
    , m_model(new GridModel(m_dataset, this))
{
    setObjectName(QStringLiteral("tab1"));
}

} // namespace tollbook
