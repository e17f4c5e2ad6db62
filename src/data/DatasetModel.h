#pragma once

#include "Dataset.h"

#include <QAbstractTableModel>
#include <QPointer>

namespace tollbook {

// An item model over a dataset's visible fields, for grids, combo boxes and charts. Columns carry the
// fields' labels and widths; flag fields are check boxes. Editing a cell edits the dataset's row, so the
// dataset's hooks and write-back apply; views hear nothing while the dataset's controls are disabled.
class DatasetModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int DisplayWidthRole = Qt::UserRole + 1; // header: width in characters
    static constexpr int FieldNameRole = Qt::UserRole + 2;    // header: the field's name

    explicit DatasetModel(Dataset* dataset, QObject* parent = nullptr);

    Dataset* dataset() const { return m_dataset; }
    Field* fieldAt(int column) const;
    int columnOf(const QString& fieldName) const;
    // Call after changing which fields are visible.
    void refreshColumns();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    void collectColumns();

    QPointer<Dataset> m_dataset;
    QList<Field*> m_columns;
    int m_rowCount = 0;
};

} // namespace tollbook
