#include "ui/pages/PeriodJobsPage.h"

#include "data/Catalogue.h"
#include "ui/GridModel.h"
#include "ui/pages/GridColumns.h"

namespace tollbook {

PeriodJobsPage::PeriodJobsPage(MainWindowDatasets* datasets, QWidget* parent)
    : TabSheet(QStringLiteral("Impressão por Data"), parent)
    , m_dataset(presented(datasets->SQL_Data, GridColumns::jobs()))
    , m_model(new GridModel(m_dataset, this))
{
    setObjectName(QStringLiteral("tab3"));
}

} // namespace tollbook
