#pragma once

#include "Field.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace tollbook {

class ConditionRules;
class DataSource;
class RowPager;
class RowStatement;
class RowWriter;
struct TableInfo;

// A named parameter of a dataset's SQL ("... where Print_Data >= :datai").
struct Parameter
{
    QString name;
    FieldType type = FieldType::Unknown;
    QVariant value;
};

// A named parameterised query over the shared connection, with its fields, its rows, a current row and the
// browse, edit and insert states. A small result is read whole on open. A large one (a year of jobs) whose
// base table has a single integer key among the fields is held as that key alone, one number a row in the
// query's order; its rows are read by pages as views ask for them and a few pages are kept. Either way the
// interface is the same. Edits are written back to the base table
// (the first table after "from") by its key, and only to the base table's columns, also when the SQL
// joins other tables. Errors are raised, never shown: the dataset layer's own checks raise
// DatabaseError, what the database refuses raises DriverError.
// Its jobs are pieces of their own: ConditionRules (the filter and search rules), RowPager (rows held by keys),
// RowWriter (writes to the base table), ColumnReader (values read into fields); StoreTraits says what differs
// between the stores.
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
    // Dates as QDate or QDateTime, bound as the day and time on the clock; a date parameter (setParamType) also
    // takes month/day/year or ISO text. An amount parameter takes the amount, bound as whole ten-thousandths.
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
    // Results of more rows than this are held by their keys and read by pages, when the base table's single
    // integer key is among the fields; 0 holds every such result by keys.
    void setPagedAbove(int rows) { m_pagedAbove = rows; }
    // The threshold of datasets made from now on (20 000 rows unless set).
    static void setDefaultPagedAbove(int rows);
    int pagedAbove() const { return m_pagedAbove; }
    // Whether the rows are held by their keys (see setPagedAbove).
    bool isPaged() const;
    // Only the rows whose fields satisfy every condition; takes effect on the next open or refresh. Values are
    // bound as parameters, never written into the SQL. A condition may name a data field, a lookup field (it
    // becomes a condition on the lookup's key) or a calculated field that has an SQL expression.
    struct Condition
    {
        enum class Match { Equal, Contains, StartsWith, Like, Range, Null, AnyOf, AllOf };
        QString field;
        Match match = Match::Equal;
        QVariant value; // Range: the lowest; a null bound is open. Like: "%" is any run of characters, the rest
                        // is taken literally
        QVariant high;  // Range: the highest
        bool caseSensitive = false;
        bool negated = false; // the rows that do not satisfy it (a group as a whole)
        // Equal, Contains, StartsWith and Like on a field that is not text compare its text as shown: dates and
        // times in the field's display format, numbers as written, amounts with two decimals.
        bool asShown = false;
        std::vector<Condition> operands; // AnyOf, AllOf: the conditions joined; an empty AnyOf is never
                                         // satisfied, an empty AllOf always

        static Condition anyOf(std::vector<Condition> operands);
        static Condition allOf(std::vector<Condition> operands);
    };
    void setFilter(const QList<Condition>& conditions);
    const QList<Condition>& filter() const { return m_filter; }
    // The first row after `from` (before it, backwards) whose data field satisfies the condition, or -1; the
    // current row stays. For the locate dialog's find first and find next: rows held by keys ask the database
    // which keys satisfy it, rows held whole are looked through in memory, by the same rules.
    int findRow(const Condition& condition, int from = -1, bool forward = true);
    // Runs a statement that returns no rows; the number of rows it changed.
    int execSql();

    State state() const { return m_state; }
    // A row is being edited or added and is not posted yet.
    bool isEditing() const { return m_state == State::Edit || m_state == State::Insert; }
    int recordCount() const { return rowCount(); }
    int recNo() const { return m_current; } // from 0; -1 when there is no row
    bool isEmpty() const { return rowCount() == 0; }
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

    // Values as stored, for views: the edit buffer stands for the current row while editing. A row held by
    // its key is read with its page; a page that cannot be read shows as nulls (and is said on the log).
    QVariant storedValue(int row, int fieldIndex) const;
    QVariant storedValue(int fieldIndex) const;
    // The current row as it was read, whatever the edit buffer holds.
    QVariant oldStoredValue(int fieldIndex) const;

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

    using Row = QVector<QVariant>;

    Field* addField(FieldKind kind, const QString& name, FieldType type, int size);
    // A parameter's value as statements bind it, and the query's parameters in the order of its placeholders.
    QVariant boundValue(const Parameter& param) const;
    QVariantList boundParams() const;
    void takeMasterParams();
    void fetch(RowStatement& statement, QVector<Row>& rows, bool newLookups = true);
    int rowCount() const;
    // The rows of the query with the filter applied, or their keys, for open and refresh.
    // "SELECT columns FROM (the query) WHERE the filter's conditions AND extraCondition", or the query itself;
    // bound by bindQuery (the query's parameters, the filter's values, then the extra value).
    QString filteredSql(const QString& columns, const QString& extraCondition = QString()) const;
    void bindQuery(RowStatement& statement, const QVariantList& extraValues = {}) const;
    int pageableKeyField();
    // The keys of the rows of the filtered query (and of the extra condition) in keyField; without an extra
    // condition, the pages are read with the parameters bound here from now on.
    bool readKeys(int keyField, std::vector<qint64>& keys, const QString& extraCondition = QString(),
                  const QVariantList& extraValues = {});
    // The filter and search rules over this dataset's fields, on its connection's store.
    ConditionRules conditionRules() const;
    const Row& rowAt(int row);
    void insertRowAt(int position, const Row& row);
    void removeRowAt(int position);
    void replaceRow(int position, const Row& row);
    int locateRow(const Field* field, const QVariant& wanted, bool caseInsensitive);
    QVector<int> keyFieldIndexes();
    std::vector<qint64> rowIds(const QVector<Row>& rows, const QVector<int>& keyFields, qint64 unmatchedBase,
                               QHash<QString, qint64>& textIds) const;
    void buildLookups();
    void calculate(Row& row);
    void setCurrent(int row);
    void removeCurrentRow();
    void setState(State state);
    void requireBrowse(const char* operation);
    void requireActive() const;
    void requireCurrentRow() const;
    const TableInfo& tableInfo();
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
    QList<Condition> m_filter;
    QStringList m_filterSql;     // one condition of the filter each, with "?" for its values
    QVariantList m_filterValues; // in the order of the placeholders
    QVector<Row> m_rows;         // every row, when not held by keys
    int m_pagedAbove;
    std::unique_ptr<RowPager> m_pager; // the rows, when held by keys
    std::unique_ptr<RowWriter> m_writer;
    Row m_editBuffer;
    int m_current = -1;
    bool m_eof = true;
    bool m_bof = true;
    Row* m_calcRow = nullptr;
    int m_disableCount = 0;

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

    QPointer<DataSource> m_master;
    QStringList m_masterFields;
};

} // namespace tollbook
