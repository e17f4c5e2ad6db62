#pragma once

#include "data/DatasetModel.h"

#include <QHash>

namespace tollbook {

// The item model the pages put over their datasets: a DatasetModel whose writes from an item view run
// under the error handler. A dataset's hooks and write-back raise their refusals and database errors;
// the view calling setData is inside Qt's event loop, so the error is shown here and the edit stays
// refused.
class GridModel : public DatasetModel
{
    Q_OBJECT

public:
    using DatasetModel::DatasetModel;

    // The lookup field's column is edited through its key field: its edit value is the key's, and a value
    // written to it goes to the key field ("lk_papel" through "dmPaperSize").
    void setLookupEdit(const QString& lookupField, const QString& keyField);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    Field* keyFieldOf(const QModelIndex& index) const;

    QHash<QString, QString> m_lookupEdits; // lookup field name, lower case -> key field name
};

} // namespace tollbook
