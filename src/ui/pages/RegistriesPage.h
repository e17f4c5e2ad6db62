#pragma once

#include "ui/widgets/Panel.h"

class QLabel;
class QTabWidget;

namespace tollbook {

class DataModuleDatasets;
class GridModel;
class MainWindowDatasets;

// "Configuração" (tab4): the registries. A title bar names the inner page shown; the inner pages, tabs on
// the left, hold the users, the printers with their page prices, the sectors and the projects, each with
// its grid and navigator. An inner page stays the one shown when the user comes back to this page.
class RegistriesPage : public TabSheet
{
    Q_OBJECT

public:
    RegistriesPage(MainWindowDatasets* datasets, DataModuleDatasets* dataModule, QWidget* parent = nullptr);

    QTabWidget* innerPages() const { return m_innerPages; }
    QString title() const;

    GridModel* userModel() const { return m_userModel; }
    GridModel* printerModel() const { return m_printerModel; }
    GridModel* priceModel() const { return m_priceModel; }
    // The paper names the price grid's paper column offers.
    GridModel* paperListModel() const { return m_paperListModel; }
    GridModel* sectorModel() const { return m_sectorModel; }
    GridModel* projectModel() const { return m_projectModel; }

private:
    QLabel* m_lbTitulo = nullptr;
    QTabWidget* m_innerPages = nullptr;
    GridModel* m_userModel;
    GridModel* m_printerModel;
    GridModel* m_priceModel;
    GridModel* m_paperListModel;
    GridModel* m_sectorModel;
    GridModel* m_projectModel;
};

} // namespace tollbook
