#pragma once

#include "Field.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

namespace tollbook {

class DataSource;
class SqliteStatement;

// A named parameter of a dataset's SQL ("... where Print_Data >= :datai").
struct Parameter
{
    QString name;
    FieldType type = FieldType::Unknown;
    QVariant value;
};

// A named parameterised query over the shared connection, with its fields, its rows fetched whole on
// open, a current row and the browse, edit and insert states. Edits are written back to the base table
// (the first table after "from") by its key, and only to the base table's columns, also when the SQL
// joins other tables. Errors are raised, never shown: the dataset layer's own checks raise
// DatabaseError, what the database refuses raises DriverError.
class Dataset : public QObject
{
    Q_OBJECT

public:
    enum class State { Inactive, Browse, Edit, Insert };
    using Hook = std::function<void(Dataset&)>;

    explicit Dataset(const QString& name, QObject* parent = nullptr);
    ~Dataset() override;

    void setConnectionName(const QString& connectionName);
    const QString& connectionName() const { return m_connectionName; }

    // SQL, one line per entry; changing it closes the dataset and parses the parameters anew.
    void setSql(const QStringList& lines);
    const QStringList& sql() const { return m_sql; }
    QString sqlText() const;

    int paramCount() const { return int(m_params.size()); }
    Parameter& param(int index);
    Parameter& param(const QString& name);
    void setParamType(const QString& name, FieldType type);
    void setParam(int index, const QVariant& value);
    void setParam(const QString& name, const QVariant& value);

    Field* addDataField(const QString& name, FieldType type, int size = 0);
    Field* addCalculatedField(const QString& name, FieldType type, int size = 0);
    Field* addLookupField(const QString& name, int size, Dataset* lookupDataset, const QString& keyField,
                          const QString& lookupKeyField, const QString& resultField);
    const QList<Field*>& fields() const { return m_fields; }
    Field* findField(const QString& name) const;
    Field* fieldByName(const QString& name) const; // throws DatabaseError when absent

    // The table edits go to; by default the first table named after "from".
    void setBaseTable(const QString& table);
    const QString& baseTable() const { return m_baseTable; }
    // Opened only to append: opening reads the base table's columns and no row.
    void setAppendOnly(bool appendOnly);
    bool isAppendOnly() const { return m_appendOnly; }

    // Detail of a master data source: on every change of the master's current row, the parameters are
    // set from the master's fields of the same name and the dataset is reopened; a row appended here
    // receives those values in its fields of the same name.
    void setMasterSource(DataSource* master, const QStringList& masterFields);

    void open();
    void close();
    void reopen();
    // Reads the rows anew and keeps the user's place. Rows are matched with those read before by the base
    // table's key, and attached views hear of each row added, removed or changed instead of a reset, so that
    // their selection and scroll position stay. The current row stays on its key; when its row went away, it
    // moves to the row that followed it (the one before it at the end). A row being edited is dropped, as by
    // close(). Without the whole key among the fields, or closed, it reopens.
    void refresh();
    // Where appendNewerRows() puts the rows it reads.
    enum class NewRowsAt { Start, End };
    // Reads the rows of the query whose keyField is above the highest value it holds in that field (a key that
    // only grows, as an autoincrement id) and adds them, in the query's order, before or after the rows held,
    // as a query ordered by that key (or by the time the rows were stored) would place them. The rows held and
    // the current row stay as they are; views hear of the added range only. Returns the number added.
    int appendNewerRows(const QString& keyField, NewRowsAt at);
    bool isOpen() const { return m_state != State::Inactive; }
    // Runs a statement that returns no rows; the number of rows it changed.
    int execSql();

    State state() const { return m_state; }
    // A row is being edited or added and is not posted yet.
    bool isEditing() const { return m_state == State::Edit || m_state == State::Insert; }
    int recordCount() const { return int(m_rows.size()); }
    int recNo() const { return m_current; } // from 0; -1 when there is no row
    bool isEmpty() const { return m_rows.isEmpty(); }
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    void first();
    void next();
    void prior();
    void last();
    void moveTo(int row);
    bool locate(const QString& fieldName, const QVariant& value, bool caseInsensitive = false);

    void append();
    void insert();
    void edit();
    void post();
    void cancel();
    void remove();

    // While suspended, attached views and data sources hear nothing; resuming tells them to refresh.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    // Hooks: before edit, before insert, before post and before delete may refuse by throwing (Refusal,
    // SilentAbort): the dataset stays as it was, a row being edited stays in edit. Calculate fills the
    // calculated fields of one row.
    Hook beforeEdit;
    Hook beforeInsert;
    Hook beforePost;
    Hook beforeDelete;
    Hook onCalcFields;
    // Runs when a post has written the row and before the write is committed, in one savepoint with it: what
    // it changes elsewhere is stored together with the row, and when it throws the row's write is undone too
    // and the row stays in edit or insert state. Field::oldValue() gives the row as it was read.
    Hook afterWrite;

    // Values as stored, for views: the edit buffer stands for the current row while editing.
    // References stay valid until the dataset changes.
    const QVariant& storedValue(int row, int fieldIndex) const;
    const QVariant& storedValue(int fieldIndex) const;
    // The current row as it was read, whatever the edit buffer holds.
    const QVariant& oldStoredValue(int fieldIndex) const;

Q_SIGNALS:
    void aboutToReset();
    void resetDone();
    void aboutToInsertRow(int row);
    void rowInserted(int row);
    // Rows first to last (inclusive) are added at once.
    void aboutToInsertRows(int first, int last);
    void rowsInserted(int first, int last);
    void aboutToRemoveRow(int row);
    void rowRemoved(int row);
    void rowDataChanged(int row);
    void currentRowChanged(int row);
    void fieldChanged(tollbook::Field* field);
    void stateChanged(tollbook::Dataset::State state);

private:
    friend class Field;

    struct TableInfo;
    struct Occurrence
    {
        int param;
    };

    Field* addField(FieldKind kind, const QString& name, FieldType type, int size);
    QSqlDatabase database() const;
    QString translatedSql() const;
    void bindParams(QSqlQuery& query) const;
    void bindParams(SqliteStatement& statement) const;
    void takeMasterParams();
    QVariant bindableValue(const Parameter& param) const;
    void fetch(SqliteStatement& statement, QVector<QVector<QVariant>>& rows);
    QVector<int> keyFieldIndexes();
    void buildLookups();
    void calculate(QVector<QVariant>& row);
    void setCurrent(int row);
    void removeCurrentRow();
    void setState(State state);
    void requireBrowse(const char* operation);
    void requireActive() const;
    void requireCurrentRow() const;
    const TableInfo& tableInfo();
    struct RowCriteria
    {
        bool byKey = false;
        QStringList criteria; // "column IS ?"
        QVariantList values;
    };
    RowCriteria rowCriteria(const QVector<QVariant>& row);
    void writeUpdate(const QVector<QVariant>& before, const QVector<QVariant>& after);
    void writeInsert(QVector<QVariant>& row);
    void writeDelete(const QVector<QVariant>& row);
    // Runs the write of a post, with afterWrite in one savepoint when there is one.
    template<typename Write>
    void writeWithAfterWrite(Write&& write);
    QSqlQuery& preparedWrite(const QString& statement);
    void setFieldStored(Field* field, const QVariant& stored);
    void onMasterChanged();
    bool notifying() const { return m_disableCount == 0; }

    QString m_connectionName;
    QStringList m_sql;
    QList<Parameter> m_params;
    QVector<int> m_occurrences; // parameter index of each placeholder, in SQL order
    QString m_translatedSql;    // placeholders as "?"
    QList<Field*> m_fields;
    QString m_baseTable;
    bool m_baseTableSet = false;
    bool m_appendOnly = false;

    State m_state = State::Inactive;
    QVector<QVector<QVariant>> m_rows;
    QVector<QVariant> m_editBuffer;
    int m_current = -1;
    bool m_eof = true;
    bool m_bof = true;
    QVector<QVariant>* m_calcRow = nullptr;
    int m_disableCount = 0;
    bool m_pendingRefresh = false;

    struct Lookup
    {
        int field = -1;
        int keyField = -1;
        QHash<QString, QVariant> values; // normalised key -> result
        bool hasLast = false;
        QVariant lastKey;
        QVariant lastResult;
    };
    std::vector<Lookup> m_lookups;
    std::unique_ptr<TableInfo> m_tableInfo;
    QHash<QString, std::shared_ptr<QSqlQuery>> m_writeQueries;

    QPointer<DataSource> m_master;
    QStringList m_masterFields;
};

} // namespace tollbook
