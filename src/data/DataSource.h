#pragma once

#include "Dataset.h"

#include <QObject>
#include <QPointer>

namespace tollbook {

// Connects a dataset to grids, combo boxes, charts and detail datasets ("dsControle"), and tells them of
// every change of the current row.
class DataSource : public QObject
{
    Q_OBJECT

public:
    DataSource(const QString& name, Dataset* dataset, QObject* parent = nullptr);
    Dataset* dataset() const { return m_dataset; }

Q_SIGNALS:
    // field is null when the current row changed or the dataset was refilled, else the field that changed.
    void dataChange(tollbook::Field* field);
    void stateChange(tollbook::Dataset::State state);

private:
    QPointer<Dataset> m_dataset;
};

} // namespace tollbook
