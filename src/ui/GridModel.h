#pragma once

#include "data/DatasetModel.h"

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

    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
};

} // namespace tollbook
