#pragma once

#include "ui/widgets/Panel.h"

#include <QDate>

#include <functional>
#include <memory>

namespace tollbook {

class BarChartView;
class DatePicker;
class Dataset;
class GridModel;
class MainWindowDatasets;
struct ChartBar;

// "Gráficos " (tab5): pages per user and per sector in a period, as bar charts over userChart and
// sectorChart, in two collapsible panels ("Usuários" expanded, "Setores" collapsed), each with its
// period pickers, a reload and a save button. Owns both charts, their pickers and their models.
//
// A reload reads the chart's dataset for the pickers' period and titles the chart with that period in the
// current language. A save titles the chart in Portuguese with the period its bars were read for (not the
// pickers' dates, which may have changed since), writes it as a 24-bit bitmap into the installation folder
// and opens the file. A user missing from the users registry gets a bar labelled with the login name.
class ChartsPage : public TabSheet
{
    Q_OBJECT

public:
    enum Chart { Users, Sectors };
    // Opens a saved file with the desktop's program for it; the result is not looked at.
    using FileOpener = std::function<void(const QString& path)>;

    ChartsPage(MainWindowDatasets* datasets, QWidget* parent = nullptr);
    ~ChartsPage() override;

    GridModel* userModel() const { return m_userModel; }
    GridModel* sectorModel() const { return m_sectorModel; }

    BarChartView* chartView(Chart chart) const;
    DatePicker* startPicker(Chart chart) const;
    DatePicker* endPicker(Chart chart) const;

    // The folder the pictures are saved in (the installation folder); the executable's folder unless set.
    void setSaveFolder(const QString& folder);
    void setFileOpener(FileOpener opener) { m_open = std::move(opener); }

    // Both pickers of both charts to the day, then both charts reloaded, users first.
    void showDay(const QDate& day);

    // Reads the chart's dataset for the period of its pickers and retitles it. A failure leaves the chart
    // empty and is raised.
    void reload(Chart chart);
    // Saves the chart as grafico_usuario.bmp / grafico_setor.bmp and opens the file; the path written. A file
    // that cannot be written is raised and not opened.
    QString save(Chart chart);

    // The file a chart is saved to.
    QString picturePath(Chart chart) const;

private:
    struct ChartPanel;
    ChartPanel& panel(Chart chart) const;
    CategoryPanel* createPanel(ChartPanel& chart, const QString& name, const QString& labelName,
                               const QString& startName, const QString& endName, const QString& reloadName,
                               const QString& saveName, const QString& viewName);
    static QList<ChartBar> barsOf(const Dataset& dataset, const QString& keyField, const QString& labelField);

    GridModel* m_userModel;
    GridModel* m_sectorModel;
    std::unique_ptr<ChartPanel> m_users;
    std::unique_ptr<ChartPanel> m_sectors;
    QString m_saveFolder;
    FileOpener m_open;
};

} // namespace tollbook
