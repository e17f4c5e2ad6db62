#pragma once

#include "ui/widgets/Panel.h"

namespace tollbook {

class Dataset;
class GridModel;
class MainWindowDatasets;

// "Controle de Impressão" (tab1): the jobs printed today, newest first, refreshed by the monitoring
// cycle; the operator marks the printouts handed over here. Owns the grid of SQL_Controle and its tool bar.
class TodayJobsPage : public TabSheet
{
    Q_OBJECT

public:
    TodayJobsPage(MainWindowDatasets* datasets, QWidget* parent = nullptr);

    Dataset* dataset() const { return m_dataset; }
    GridModel* model() const { return m_model; }

private:
    Dataset* m_dataset;
    GridModel* m_model;
};

} // namespace tollbook
