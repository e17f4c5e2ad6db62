#pragma once

#include "ui/widgets/Panel.h"

#include <functional>

class QComboBox;
class QToolButton;

namespace tollbook {

class Dataset;
class DataModuleDatasets;
class DatePicker;
class GridModel;
class JobsGrid;
class MainWindowDatasets;

// "Impressão por Usuário" (tab2): one user's jobs in a period. Owns the grid of userJobs, the user
// picker over the data module's users, the period pickers and its tool bar.
class UserJobsPage : public TabSheet
{
    Q_OBJECT

public:
    // Called with the file an export wrote, to open it.
    using FileOpener = std::function<void(const QString& path)>;

    UserJobsPage(MainWindowDatasets* datasets, DataModuleDatasets* dataModule, QWidget* parent = nullptr);

    Dataset* dataset() const { return m_dataset; }
    GridModel* model() const { return m_model; }
    // The users the picker offers.
    GridModel* userListModel() const { return m_userListModel; }
    JobsGrid* grid() const { return m_grid; }
    QComboBox* userPicker() const { return m_userPicker; }
    DatePicker* startPicker() const { return m_start; }
    DatePicker* endPicker() const { return m_end; }

    // Where the export goes (report/Tollbook_Report.xlsx below it) and how the written file is opened.
    void setInstallFolder(const QString& folder) { m_installFolder = folder; }
    void setFileOpener(FileOpener opener) { m_openFile = std::move(opener); }
    QString exportPath() const;

    // btnRImpressao: the jobs of the user typed (blanks around it dropped; registered or not) in the pickers'
    // period. An empty text does nothing. Throws what the database reports; the grid is then empty.
    void reload();
    // SpeedButton4: the grid's rows to the spreadsheet file, then opened. Throws PlainError when it cannot be
    // written; the file is then not opened.
    void exportRows();

private:
    Dataset* m_dataset;
    GridModel* m_model;
    GridModel* m_userListModel;
    JobsGrid* m_grid = nullptr;
    QComboBox* m_userPicker = nullptr;
    DatePicker* m_start = nullptr;
    DatePicker* m_end = nullptr;
    QString m_typedUser;
    QString m_installFolder;
    FileOpener m_openFile;
};

} // namespace tollbook
