#pragma once

#include "ui/widgets/Panel.h"

namespace tollbook {

class Dataset;
class GridModel;
class MainWindowDatasets;

// "Impressão por Usuário" (tab2): one user's jobs in a period. Owns the grid of SQL_Impressao, the user
// and period pickers and its tool bar.
class UserJobsPage : public TabSheet
{
    Q_OBJECT

public:
    UserJobsPage(MainWindowDatasets* datasets, QWidget* parent = nullptr);

    Dataset* dataset() const { return m_dataset; }
    GridModel* model() const { return m_model; }

private:
    Dataset* m_dataset;
    GridModel* m_model;
};

} // namespace tollbook
