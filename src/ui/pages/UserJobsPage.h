#pragma once

#include "ui/widgets/Panel.h"

namespace tollbook {

class Dataset;
class DataModuleDatasets;
class GridModel;
class MainWindowDatasets;

// "Impressão por Usuário" (tab2): one user's jobs in a period. Owns the grid of SQL_Impressao, the user
// picker over the data module's SQL_Usuario, the period pickers and its tool bar.
class UserJobsPage : public TabSheet
{
    Q_OBJECT

public:
    UserJobsPage(MainWindowDatasets* datasets, DataModuleDatasets* dataModule, QWidget* parent = nullptr);

    Dataset* dataset() const { return m_dataset; }
    GridModel* model() const { return m_model; }
    // The users the picker offers.
    GridModel* userListModel() const { return m_userListModel; }

private:
    Dataset* m_dataset;
    GridModel* m_model;
    GridModel* m_userListModel;
};

} // namespace tollbook
