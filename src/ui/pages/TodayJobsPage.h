#pragma once

#include "ui/widgets/Panel.h"

class QLabel;
class QToolButton;

namespace tollbook {

class ActivityIndicator;
class Dataset;
class GridModel;
class JobsGrid;
class MainWindowDatasets;

// "Controle de Impressão" (tab1): the jobs printed today, newest first, refreshed by the monitoring
// cycle; the operator marks the printouts handed over here. Owns the grid of todayJobs and its tool bar.
class TodayJobsPage : public TabSheet
{
    Q_OBJECT

public:
    TodayJobsPage(MainWindowDatasets* datasets, QWidget* parent = nullptr);

    Dataset* dataset() const { return m_dataset; }
    GridModel* model() const { return m_model; }
    JobsGrid* grid() const { return m_grid; }
    QToolButton* reloadButton() const { return m_btnRControle; }

    // btnRControle: today's jobs read anew (the current job stays current while it is still there). Throws
    // what the database reports; the dataset is then closed and the grid empty until the next reload.
    void reload();
    // SpeedButton5: the current job is marked delivered ("S"); nothing happens without rows.
    void markDelivered();

    // The indicator spins while monitoring is switched on.
    void setMonitoring(bool on);
    bool isMonitoringShown() const;

Q_SIGNALS:
    // Today's jobs were read anew: the status bar counts them.
    void reloaded();

private:
    Dataset* m_dataset;
    GridModel* m_model;
    JobsGrid* m_grid = nullptr;
    QToolButton* m_btnRControle = nullptr;
    ActivityIndicator* m_indicator = nullptr;
};

} // namespace tollbook
