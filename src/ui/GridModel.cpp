#include "ui/GridModel.h"

#include "ui/ErrorHandler.h"

namespace tollbook {

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    bool written = false;
    ErrorHandler::reportingErrors([&] { written = DatasetModel::setData(index, value, role); });
    return written;
}

} // namespace tollbook
