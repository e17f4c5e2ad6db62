#pragma once

#include "ui/widgets/Panel.h"

class QLabel;
class QTabWidget;

namespace tollbook {

class DataModuleDatasets;
class GridModel;
class MainWindowDatasets;
class Panel;
class RegistryGrid;
class RegistryNavigator;

// "Configuração" (tab4): the registries. A title bar names the inner page shown; the inner pages, tabs on
// the left, hold the users, the printers with their page prices, the sectors and the projects, each with
// its grid and navigator. An inner page stays the one shown when the user comes back to this page.
//
// The users' sector, the users' project and the prices' paper are chosen from drop-down lists of their
// registries. The price caption names the printer whose prices are shown. The rules that refuse a change
// are the datasets' own; the grids and navigators only show what they refuse.
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

    RegistryGrid* userGrid() const { return m_userGrid; }
    RegistryGrid* printerGrid() const { return m_printerGrid; }
    RegistryGrid* priceGrid() const { return m_priceGrid; }
    RegistryGrid* sectorGrid() const { return m_sectorGrid; }
    RegistryGrid* projectGrid() const { return m_projectGrid; }
    RegistryNavigator* userNavigator() const { return m_userNavigator; }
    RegistryNavigator* priceNavigator() const { return m_priceNavigator; }
    RegistryNavigator* sectorNavigator() const { return m_sectorNavigator; }
    RegistryNavigator* projectNavigator() const { return m_projectNavigator; }
    // "PanelCusto": the printer whose prices are shown.
    Panel* priceCaption() const { return m_panelCusto; }
    // The caption anew, in the current language, for the current printer.
    void updatePriceCaption();

protected:
    // The window file of the language sets the caption's design text; shown, the page names the printer
    // again and takes the navigators' tool tips of the current language.
    void showEvent(QShowEvent* event) override;

private:
    QWidget* innerPage(int index) const;
    RegistryNavigator* addGridPage(int page, RegistryGrid* grid, const QString& panelName,
                                   const QString& navigatorName);
    void buildPrinterPage(DataModuleDatasets* dataModule, MainWindowDatasets* datasets);

    QLabel* m_lbTitulo = nullptr;
    QTabWidget* m_innerPages = nullptr;
    GridModel* m_userModel;
    GridModel* m_printerModel;
    GridModel* m_priceModel;
    GridModel* m_paperListModel;
    GridModel* m_sectorModel;
    GridModel* m_projectModel;
    RegistryGrid* m_userGrid = nullptr;
    RegistryGrid* m_printerGrid = nullptr;
    RegistryGrid* m_priceGrid = nullptr;
    RegistryGrid* m_sectorGrid = nullptr;
    RegistryGrid* m_projectGrid = nullptr;
    RegistryNavigator* m_userNavigator = nullptr;
    RegistryNavigator* m_priceNavigator = nullptr;
    RegistryNavigator* m_sectorNavigator = nullptr;
    RegistryNavigator* m_projectNavigator = nullptr;
    Panel* m_panelCusto = nullptr;
    MainWindowDatasets* m_datasets;
};

} // namespace tollbook
