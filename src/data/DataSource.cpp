#include "DataSource.h"

namespace tollbook {

DataSource::DataSource(const QString& name, Dataset* dataset, QObject* parent)
    : QObject(parent)
    , m_dataset(dataset)
{
    setObjectName(name);
    connect(dataset, &Dataset::currentRowChanged, this, [this](int) { Q_EMIT dataChange(nullptr); });
    connect(dataset, &Dataset::fieldChanged, this, [this](Field* field) { Q_EMIT dataChange(field); });
    connect(dataset, &Dataset::stateChanged, this, [this](Dataset::State state) { Q_EMIT stateChange(state); });
}

} // namespace tollbook
