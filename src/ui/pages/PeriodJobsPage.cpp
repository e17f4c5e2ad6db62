#include "ui/pages/PeriodJobsPage.h"

#include "data/Catalogue.h"
#include "ui/GridModel.h"

namespace tollbook {

PeriodJobsPage::PeriodJobsPage(MainWindowDatasets* datasets, QWidget* parent)
    : TabSheet(QStringLiteral("Impressão por Data"), parent)
    , m_dataset(datasets->SQL_Data)
    , m_model(new GridModel(m_dataset, this))
{
    setObjectName(QStringLiteral("tab3"));
}

} // namespace tollbook
