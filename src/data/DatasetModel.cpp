#include "DatasetModel.h"

namespace tollbook {

DatasetModel::DatasetModel(Dataset* dataset, QObject* parent)
    : QAbstractTableModel(parent)
    , m_dataset(dataset)
{
    collectColumns();
    m_rowCount = dataset->recordCount();
    connect(dataset, &Dataset::aboutToReset, this, [this] { beginResetModel(); });
    connect(dataset, &Dataset::resetDone, this, [this] {
        collectColumns();
        m_rowCount = m_dataset->recordCount();
        endResetModel();
    });
    connect(dataset, &Dataset::aboutToInsertRow, this, [this](int row) { beginInsertRows(QModelIndex(), row, row); });
    connect(dataset, &Dataset::rowInserted, this, [this](int) {
        ++m_rowCount;
        endInsertRows();
    });
    connect(dataset, &Dataset::aboutToInsertRows, this,
            [this](int first, int last) { beginInsertRows(QModelIndex(), first, last); });
    connect(dataset, &Dataset::rowsInserted, this, [this](int first, int last) {
        m_rowCount += last - first + 1;
        endInsertRows();
    });
    connect(dataset, &Dataset::aboutToRemoveRow, this, [this](int row) { beginRemoveRows(QModelIndex(), row, row); });
    connect(dataset, &Dataset::rowRemoved, this, [this](int) {
        --m_rowCount;
        endRemoveRows();
    });
    connect(dataset, &Dataset::rowDataChanged, this, [this](int row) {
        if (row >= 0 && row < m_rowCount && !m_columns.isEmpty()) {
            Q_EMIT dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
        }
    });
}

void DatasetModel::collectColumns()
{
    m_columns.clear();
    for (Field* field : m_dataset->fields()) {
        if (field->isVisible()) {
            m_columns << field;
        }
    }
}

void DatasetModel::refreshColumns()
{
    beginResetModel();
    collectColumns();
    m_rowCount = m_dataset->recordCount();
    endResetModel();
}

Field* DatasetModel::fieldAt(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns.at(column) : nullptr;
}

int DatasetModel::columnOf(const QString& fieldName) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i)->fieldName().compare(fieldName, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

int DatasetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rowCount;
}

int DatasetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant DatasetModel::data(const QModelIndex& index, int role) const
{
    const Field* field = fieldAt(index.column());
    // While controls are disabled the dataset may hold fewer rows than the view was last told of.
    if (!index.isValid() || !field || index.row() >= m_dataset->recordCount()) {
        return QVariant();
    }
    const QVariant stored = m_dataset->storedValue(index.row(), field->index());
    switch (role) {
        case Qt::DisplayRole:
            if (field->isFlag()) {
                return QVariant();
            }
            return field->displayTextOf(stored);
        case Qt::EditRole:
            return field->fromStored(stored);
        case Qt::CheckStateRole:
            if (field->isFlag()) {
                return stored.toString() == QLatin1String("S") ? Qt::Checked : Qt::Unchecked;
            }
            return QVariant();
        case Qt::TextAlignmentRole:
            switch (field->type()) {
                case FieldType::Integer:
                case FieldType::AutoInc:
                case FieldType::Float:
                case FieldType::Currency:
                    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
                default:
                    return QVariant();
            }
        default:
            return QVariant();
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal) {
        return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    }
    const Field* field = fieldAt(section);
    if (!field) {
        return QVariant();
    }
    switch (role) {
        case Qt::DisplayRole:
            return field->displayLabel();
        case DisplayWidthRole:
            return field->displayWidth();
        case FieldNameRole:
            return field->fieldName();
        default:
            return QVariant();
    }
}

Qt::ItemFlags DatasetModel::flags(const QModelIndex& index) const
{
    const Field* field = fieldAt(index.column());
    if (!index.isValid() || !field) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (!field->isReadOnly()) {
        result |= field->isFlag() ? Qt::ItemIsUserCheckable : Qt::ItemIsEditable;
    }
    return result;
}

bool DatasetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    Field* field = fieldAt(index.column());
    if (!index.isValid() || !field || field->isReadOnly() || index.row() >= m_dataset->recordCount()) {
        return false;
    }
    QVariant newValue = value;
    if (role == Qt::CheckStateRole) {
        if (!field->isFlag()) {
            return false;
        }
        newValue = value.toInt() == Qt::Checked ? QStringLiteral("S") : QStringLiteral("N");
    } else if (role != Qt::EditRole) {
        return false;
    }
    if (m_dataset->recNo() != index.row()) {
        m_dataset->moveTo(index.row());
    }
    m_dataset->edit();
    field->setValue(newValue);
    return true;
}

} // namespace tollbook
