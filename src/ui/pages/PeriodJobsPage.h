#pragma once

#include "ui/widgets/Panel.h"

#include <functional>

namespace tollbook {

class Dataset;
class DatePicker;
class GridModel;
class JobsGrid;
class MainWindowDatasets;

// "Impressão por Data" (tab3): every job of a period, newest day first. Owns the grid of periodJobs, the
// period pickers and its tool bar: reload, export, deletion of one job, the record view, the locate and the
// filter dialogs.
class PeriodJobsPage : public TabSheet
{
    Q_OBJECT

public:
    using FileOpener = std::function<void(const QString& path)>;

    PeriodJobsPage(MainWindowDatasets* datasets, QWidget* parent = nullptr);

    Dataset* dataset() const { return m_dataset; }
    GridModel* model() const { return m_model; }
    JobsGrid* grid() const { return m_grid; }
    DatePicker* startPicker() const { return m_start; }
    DatePicker* endPicker() const { return m_end; }

    // Where the export goes (Tollbook_report.xlsx in it) and how the written file is opened.
    void setInstallFolder(const QString& folder) { m_installFolder = folder; }
    void setFileOpener(FileOpener opener) { m_openFile = std::move(opener); }
    QString exportPath() const;

    // btnRData: the jobs of the pickers' period. Throws what the database reports; the grid is then empty.
    void reload();
    // SpeedButton6: the rows the grid shows to the spreadsheet file, then opened. Throws PlainError when it
    // cannot be written; the file is then not opened.
    void exportRows();
    // SpeedButton3: asks, deletes the current job (none without rows) and reloads the pickers' period.
    void deleteCurrent();
    // SpeedButton7, SpeedButton8, SpeedButton9: the dialogs over the grid's rows, modal.
    void showRecordView();
    void showLocate();
    void showFilter();

private:
    MainWindowDatasets* m_datasets;
    Dataset* m_dataset;
    GridModel* m_model;
    JobsGrid* m_grid = nullptr;
    DatePicker* m_start = nullptr;
    DatePicker* m_end = nullptr;
    QString m_installFolder;
    FileOpener m_openFile;
};

} // namespace tollbook
