#pragma once

// The writes of a dataset to its base table: a row updated or deleted by the table's key (or by every column it
// carries), a row inserted with the number the database gives it, and a post's write taken together with what
// follows it in one savepoint. Every statement goes through RowStatement, as the reads do.

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include <functional>
#include <memory>

namespace tollbook {

class Dataset;
struct TableInfo;

class RowWriter
{
public:
    explicit RowWriter(const Dataset& dataset);
    ~RowWriter();
    RowWriter(const RowWriter&) = delete;
    RowWriter& operator=(const RowWriter&) = delete;

    // The base table's columns and key, read once for each base table; forget() reads them again.
    const TableInfo& tableInfo();
    void forget();

    // Writes the columns of the base table that changed. Throws DatabaseError when no row or more than one
    // would change, DriverError when the database refuses.
    void update(const QVector<QVariant>& before, const QVector<QVariant>& after);
    // Writes the columns that hold a value; the row receives the number the database gave it.
    void insert(QVector<QVariant>& row);
    // Without a key only one of several equal rows goes.
    void remove(const QVector<QVariant>& row);
    // Runs write and then after in one savepoint: when either throws, both are undone.
    void inSavepoint(const std::function<void()>& write, const std::function<void()>& after);

private:
    struct RowCriteria
    {
        bool byKey = false;
        QStringList criteria; // "column IS ?"
        QVariantList values;
    };
    RowCriteria rowCriteria(const QVector<QVariant>& row);
    // Runs a statement of the savepoint; false, and the database's message, when it is refused.
    bool savepointExec(const QString& command, QString* message = nullptr);
    bool exec(const QString& command, QString* message = nullptr);

    const Dataset& m_dataset;
    std::unique_ptr<TableInfo> m_tableInfo;
    QSet<QString> m_savepointTransactions; // savepoints that began a transaction
};

} // namespace tollbook
