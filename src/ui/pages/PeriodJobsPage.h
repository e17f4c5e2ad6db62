#pragma once

#include "ui/widgets/Panel.h"

namespace tollbook {

class Dataset;
class GridModel;
class MainWindowDatasets;

// "Impressão por Data" (tab3): every job of a period. Owns the grid of SQL_Data, the period pickers and
// its tool bar.
class PeriodJobsPage : public TabSheet
{
    Q_OBJECT

public:
    PeriodJobsPage(MainWindowDatasets* datasets, QWidget* parent = nullptr);

    Dataset* dataset() const { return m_dataset; }
    GridModel* model() const { return m_model; }

private:
    Dataset* m_dataset;
    GridModel* m_model;
};

} // namespace tollbook
