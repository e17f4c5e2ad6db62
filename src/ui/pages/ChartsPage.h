#pragma once

#include "ui/widgets/Panel.h"

namespace tollbook {

class GridModel;
class MainWindowDatasets;

// "Gráficos " (tab5): pages per user and per sector in a period, as bar charts over SQL_GraficoUsuario and
// SQL_GraficoSetor. Owns both charts, their period pickers and their models.
class ChartsPage : public TabSheet
{
    Q_OBJECT

public:
    ChartsPage(MainWindowDatasets* datasets, QWidget* parent = nullptr);

    GridModel* userModel() const { return m_userModel; }
    GridModel* sectorModel() const { return m_sectorModel; }

private:
    GridModel* m_userModel;
    GridModel* m_sectorModel;
};

} // namespace tollbook
