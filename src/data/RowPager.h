#pragma once

// The rows of a large result held by their keys: one whole number a row, in the query's order, with the pages of
// rows read lately and the rows posted or being added here. A page is read with the query itself narrowed to its
// keys, so that joins, lookups and calculated fields come out as on a whole read.

#include <QHash>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace tollbook {

class KeptStatement;
class RowStatement;

class RowPager
{
public:
    using Row = QVector<QVariant>;
    // Reads the rows of a page's statement, prepared and bound, as a whole read reads them.
    using Fetch = std::function<void(RowStatement& statement, QVector<Row>& rows)>;

    // What pages are read from.
    struct Query
    {
        QString name; // for the log
        QString connectionName;
        QString sql; // the query, with "?" for its parameters
        QString keyColumn;
        int keyField = -1;
        int fieldCount = 0;
        // Kept prepared between pages, or prepared for each page (see StoreTraits).
        bool keepStatement = true;
    };

    explicit RowPager(Fetch fetch);
    ~RowPager();
    RowPager(const RowPager&) = delete;
    RowPager& operator=(const RowPager&) = delete;

    // From now on holds the query's rows by these keys (distinct); pages are read with the query's parameters as
    // last set by setBinding.
    void start(const Query& query, std::vector<qint64> keys);
    // Holds nothing.
    void reset();
    bool isActive() const { return m_active; }
    int keyField() const { return m_query.keyField; }
    int rowCount() const { return int(m_keys.size()); }
    qint64 key(int row) const { return m_keys[size_t(row)]; }
    const std::vector<qint64>& keys() const { return m_keys; }
    // The query's parameters as bound when the keys were read: pages are read with them, whatever is set on the
    // dataset's parameters until the next reading.
    void setBinding(QVariantList binding) { m_binding = std::move(binding); }

    // The row at a position: one posted here, or from its page, read when it is not among the pages kept. A key
    // the query no longer returns (deleted elsewhere) shows as a row of nulls but for its key; a page that cannot
    // be read shows as nulls, and is said on the log, since a view asks while painting.
    const Row& row(int position);
    // The rows posted or being added here, by key: the query may no longer return them (a new row outside the
    // period), and they are shown as posted.
    const QHash<qint64, Row>& heldRows() const { return m_heldRows; }

    // A row added here, under a key of its own until it is posted.
    void insertRow(int position, const Row& row);
    void removeRow(int position);
    // A row posted: held as posted, under the key the database gave it.
    void replaceRow(int position, const Row& row);
    void insertKeys(int first, const std::vector<qint64>& keys);

    // For a refresh: the rows of the pages kept and those held, each with its position; then the keys changed
    // one by one or all at once, and the rows read before forgotten.
    struct ReadRow
    {
        int position;
        Row values;
    };
    std::vector<ReadRow> rowsRead() const;
    void forgetRows();
    void setKeys(std::vector<qint64> keys);
    void eraseKey(int position);
    void insertKey(int position, qint64 key);

    // The keys a statement of one column returns; false, and keys that cannot be held, when a row has no whole
    // number there (a row of an outer join without its base row: no key to read it by).
    static bool readKeys(RowStatement& statement, std::vector<qint64>& keys);
    // Whether no key repeats (a join to a table of many rows per key would repeat them).
    static bool allDistinct(const std::vector<qint64>& keys);
    // The query without an ORDER BY that ends it: a page is placed by its keys, and sorting its rows would cost
    // more than reading them.
    static QString withoutFinalOrder(const QString& sql);

private:
    struct Page
    {
        int first = -1;
        quint64 lastUse = 0;
        QVector<Row> rows;
    };

    const Row& readPage(int position);
    void dropPages() { m_pages.clear(); }

    Fetch m_fetch;
    Query m_query;
    bool m_active = false;
    std::vector<qint64> m_keys;
    std::vector<Page> m_pages;
    quint64 m_pageUse = 0;
    size_t m_lastPage = 0; // the page the last row was found on
    QHash<qint64, Row> m_heldRows;
    QVariantList m_binding;
    std::unique_ptr<KeptStatement> m_pageStatement;
    qint64 m_nextLocalKey = std::numeric_limits<qint64>::min() / 2;
};

} // namespace tollbook
