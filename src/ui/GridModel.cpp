#include "ui/GridModel.h"

#include "ui/ErrorHandler.h"

namespace tollbook {

void GridModel::setLookupEdit(const QString& lookupField, const QString& keyField)
{
    m_lookupEdits.insert(lookupField.toLower(), keyField);
}

Field* GridModel::keyFieldOf(const QModelIndex& index) const
{
    const Field* field = fieldAt(index.column());
    if (!field || m_lookupEdits.isEmpty()) {
        return nullptr;
    }
    const auto key = m_lookupEdits.constFind(field->fieldName().toLower());
    return key == m_lookupEdits.cend() ? nullptr : dataset()->findField(*key);
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::EditRole && index.isValid() && index.row() < dataset()->recordCount()) {
        if (const Field* key = keyFieldOf(index)) {
            return key->fromStored(dataset()->storedValue(index.row(), key->index()));
        }
    }
    return DatasetModel::data(index, role);
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags result = DatasetModel::flags(index);
    const Field* key = keyFieldOf(index);
    return key && !key->isReadOnly() ? result | Qt::ItemIsEditable : result;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    bool written = false;
    ErrorHandler::reportingErrors([&] {
        Field* key = role == Qt::EditRole ? keyFieldOf(index) : nullptr;
        if (!key) {
            written = DatasetModel::setData(index, value, role);
            return;
        }
        Dataset* rows = dataset();
        if (index.row() >= rows->recordCount()) {
            return;
        }
        if (rows->recNo() != index.row()) {
            rows->moveTo(index.row());
        }
        rows->edit();
        key->setValue(value);
        written = true;
    });
    return written;
}

} // namespace tollbook
