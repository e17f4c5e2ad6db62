#pragma once

#include "ui/RowFilter.h"

#include <QSortFilterProxyModel>
#include <QStringList>
#include <QTableView>

class QToolButton;

namespace tollbook {

class Dataset;
class Field;
class GridModel;
class Panel;

// What a print view's grid shows of its model: nothing can be edited or ticked in place, the flags named as
// check boxes are check boxes and the other flags their letter ("S", "N"), costs carry the currency, and
// the rows are the dataset's rows that pass the filter dialog's criteria (all of them without criteria).
class JobsViewModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    JobsViewModel(GridModel* source, const QStringList& checkBoxFields, QObject* parent = nullptr);

    GridModel* gridModel() const { return m_source; }
    Dataset* dataset() const;
    Field* fieldAt(int column) const;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // An amount as the grids show it, "R$ 1.234,50".
    static QString moneyText(double amount);

private:
    GridModel* m_source;
    QStringList m_checkBoxFields;
};

// The grid of a print view: read-only rows over a dataset's fields, its current row the dataset's current
// row, titles on two lines, the columns in the order given until the user moves or resizes them; that layout
// is kept from one run to the next in an ini file ("Tollbook.ini"), under the grid's name.
class JobsGrid : public QTableView
{
    Q_OBJECT

public:
    // columnOrder: field names from the left; fields not named keep the dataset's order after them.
    JobsGrid(GridModel* model, const QString& objectName, const QStringList& columnOrder,
             const QStringList& checkBoxFields, QWidget* parent = nullptr);

    JobsViewModel* viewModel() const { return m_viewModel; }
    Dataset* dataset() const;

    // The fields of the visible columns, from the left as the user sees them.
    QStringList visualFieldOrder() const;
    int columnWidth(const QString& fieldName) const;

    // The layout (order and widths) in the ini file's section of this grid. Saving throws PlainError when
    // the file cannot be written; restoring ignores what it does not know.
    void saveLayout(const QString& iniPath) const;
    void restoreLayout(const QString& iniPath);

    // Shows only the rows that meet the filter dialog's criteria (all of them without criteria): the
    // dataset is filtered and read anew, keeping the current row where it is still shown.
    void applyFilter(const RowFilter& filter);
    const RowFilter& rowFilter() const { return m_filter; }
    bool isFiltered() const { return !m_filter.isEmpty(); }

    // Writes the rows the grid shows (filtered, in its order) with its visible columns, in their order and
    // under their titles, to an XLSX file. Throws PlainError when it cannot.
    void exportTo(const QString& path) const;

    // Makes the dataset row current in the grid and the dataset; false when the grid has no such row.
    bool showDatasetRow(int row);
    // The dataset row of the grid's current row; -1 when the grid shows none.
    int currentDatasetRow() const;
    // The grid's row (counted among the rows it shows) made current, with its dataset row.
    void showRow(int shownRow);
    int currentShownRow() const;
    int shownRowCount() const;

    // The ini section of a grid.
    static QString layoutSection(const QString& gridName);

private:
    void followDataset();
    void applyColumnOrder(const QStringList& order);
    int logicalColumnOf(const QString& fieldName) const;

    JobsViewModel* m_viewModel;
    QStringList m_fieldNames; // per logical column, kept for the save when the model may be gone
    RowFilter m_filter;
    bool m_syncing = false;
};

// The dataset's views hear nothing while it lives, and are told to refresh when it ends, also when the work
// throws.
class SuspendedViews
{
public:
    explicit SuspendedViews(Dataset* dataset);
    ~SuspendedViews();
    SuspendedViews(const SuspendedViews&) = delete;
    SuspendedViews& operator=(const SuspendedViews&) = delete;

private:
    Dataset* m_dataset;
};

// The tool bar across the top of a print view, 33 pixels high, and its flat icon buttons with their hints
// as tool tips.
Panel* createViewToolBar(const QString& objectName, QWidget* parent);
QToolButton* createViewButton(const QString& objectName, const QString& hint, const QIcon& icon, QWidget* parent);

} // namespace tollbook
