#include "RowPager.h"

#include "DatasetValues.h"
#include "RowStatement.h"
#include "SqliteStatement.h"
#include "platform/Errors.h"

#include <QRegularExpression>
#include <QStringList>

#include <sqlite3.h>

#include <algorithm>

namespace tollbook {

RowPager::RowPager(Fetch fetch)
    : m_fetch(std::move(fetch))
{
}

RowPager::~RowPager() = default;

void RowPager::start(const Query& query, std::vector<qint64> keys)
{
    m_query = query;
    m_keys = std::move(keys);
    m_active = true;
}

void RowPager::reset()
{
    m_active = false;
    m_query.keyField = -1;
    m_keys = {};
    m_pages = {};
    m_pageStatement.reset();
    m_heldRows.clear();
    m_binding.clear();
}

const RowPager::Row& RowPager::row(int position)
{
    const qint64 key = m_keys[size_t(position)];
    if (const auto held = m_heldRows.constFind(key); held != m_heldRows.cend()) {
        return *held;
    }
    return readPage(position);
}

// Pages stay short: for a few thousand keys the database would rather scan the whole period than look each row
// up.
const RowPager::Row& RowPager::readPage(int row)
{
    constexpr int PageRows = 256;
    constexpr int KeptRows = 8192;
    if (m_lastPage < m_pages.size()) {
        const Page& page = m_pages[m_lastPage];
        if (row >= page.first && row < page.first + page.rows.size()) {
            return page.rows.at(row - page.first); // the fields of one row, the rows of one screen
        }
    }
    for (size_t i = 0; i < m_pages.size(); ++i) {
        Page& page = m_pages[i];
        if (row >= page.first && row < page.first + page.rows.size()) {
            page.lastUse = ++m_pageUse;
            m_lastPage = i;
            return page.rows.at(row - page.first);
        }
    }
    const int keyField = m_query.keyField;
    const int first = row - row % PageRows;
    const int count = std::min(PageRows, rowCount() - first);
    Page page;
    page.first = first;
    page.lastUse = ++m_pageUse;
    page.rows.resize(count);
    QHash<qint64, int> slotOf;
    slotOf.reserve(count);
    for (int i = 0; i < count; ++i) {
        slotOf.insert(m_keys[size_t(first + i)], i);
        page.rows[i].resize(m_query.fieldCount);
        page.rows[i][keyField] = QVariant(m_keys[size_t(first + i)]);
    }
    try {
        // One statement for every page, prepared once (preparing costs as much as reading the page); the
        // last page binds nulls for the keys it does not have.
        static const QString placeholders = QStringList(PageRows, QStringLiteral("?")).join(QLatin1Char(','));
        const QString pageSql = QStringLiteral("SELECT * FROM (%1) AS query_rows WHERE %2 IN (%3)")
                                    .arg(m_query.sql, DatasetValues::quotedIdentifier(m_query.keyColumn), placeholders);
        std::unique_ptr<RowStatement> own;
        RowStatement* statement = nullptr;
        if (!m_query.keepStatement) {
            own = RowStatement::prepare(m_query.connectionName, pageSql);
            statement = own.get();
        } else {
            if (!m_pageStatement) {
                m_pageStatement = std::make_unique<KeptStatement>();
            }
            statement = &m_pageStatement->get(m_query.connectionName, pageSql);
        }
        for (int i = 0; i < m_binding.size(); ++i) {
            statement->bind(i, m_binding.at(i));
        }
        for (int i = 0; i < PageRows; ++i) {
            statement->bind(int(m_binding.size()) + i, i < count ? QVariant(m_keys[size_t(first + i)]) : QVariant());
        }
        QVector<Row> read;
        m_fetch(*statement, read);
        if (sqlite3_stmt* handle = statement->sqliteHandle()) {
            sqlite3_reset(handle); // not left running between pages
        }
        for (Row& values : read) {
            const auto slot = slotOf.constFind(values.at(keyField).toLongLong());
            if (slot != slotOf.cend()) {
                page.rows[*slot] = std::move(values);
            }
        }
    } catch (const Error& error) {
        // Asked for by a view while painting: nothing may be thrown into the event loop from here.
        qWarning("%s: rows %d to %d could not be read: %s", qPrintable(m_query.name), first, first + count - 1,
                 qPrintable(error.message()));
    }
    qsizetype kept = count;
    for (const Page& held : m_pages) {
        kept += held.rows.size();
    }
    while (kept > KeptRows && !m_pages.empty()) {
        const auto oldest = std::min_element(m_pages.begin(), m_pages.end(),
                                             [](const Page& a, const Page& b) { return a.lastUse < b.lastUse; });
        kept -= oldest->rows.size();
        m_pages.erase(oldest);
    }
    m_pages.push_back(std::move(page));
    m_lastPage = m_pages.size() - 1;
    return m_pages.back().rows.at(row - first);
}

void RowPager::insertRow(int position, const Row& row)
{
    const qint64 key = m_nextLocalKey++;
    m_keys.insert(m_keys.begin() + position, key);
    m_heldRows.insert(key, row);
    dropPages();
}

void RowPager::removeRow(int position)
{
    m_heldRows.remove(m_keys[size_t(position)]);
    m_keys.erase(m_keys.begin() + position);
    dropPages();
}

void RowPager::replaceRow(int position, const Row& row)
{
    // A row added here takes the key the database gave it.
    qint64& key = m_keys[size_t(position)];
    const QVariant& newKey = row.at(m_query.keyField);
    m_heldRows.remove(key);
    if (!newKey.isNull()) {
        key = newKey.toLongLong();
    }
    m_heldRows.insert(key, row);
    for (Page& page : m_pages) {
        if (position >= page.first && position < page.first + page.rows.size()) {
            page.rows[position - page.first] = row;
        }
    }
}

void RowPager::insertKeys(int first, const std::vector<qint64>& keys)
{
    m_keys.insert(m_keys.begin() + first, keys.begin(), keys.end());
    dropPages();
}

std::vector<RowPager::ReadRow> RowPager::rowsRead() const
{
    std::vector<ReadRow> read;
    for (const Page& page : m_pages) {
        for (int i = 0; i < page.rows.size(); ++i) {
            if (!m_heldRows.contains(m_keys[size_t(page.first + i)])) {
                read.push_back({ page.first + i, page.rows.at(i) });
            }
        }
    }
    for (auto it = m_heldRows.cbegin(); it != m_heldRows.cend(); ++it) {
        const auto at = std::find(m_keys.begin(), m_keys.end(), it.key());
        if (at != m_keys.end()) {
            read.push_back({ int(at - m_keys.begin()), it.value() });
        }
    }
    return read;
}

void RowPager::forgetRows()
{
    dropPages();
    m_heldRows.clear();
}

void RowPager::setKeys(std::vector<qint64> keys)
{
    m_keys = std::move(keys);
    dropPages();
}

void RowPager::eraseKey(int position)
{
    m_keys.erase(m_keys.begin() + position);
    dropPages();
}

void RowPager::insertKey(int position, qint64 key)
{
    m_keys.insert(m_keys.begin() + position, key);
    dropPages();
}

bool RowPager::readKeys(RowStatement& statement, std::vector<qint64>& keys)
{
    bool allKeys = true;
    if (sqlite3_stmt* handle = statement.sqliteHandle()) {
        while (statement.step()) {
            if (sqlite3_column_type(handle, 0) != SQLITE_INTEGER) {
                allKeys = false; // a row of an outer join without its base row: no key to read it by
                continue;
            }
            keys.push_back(sqlite3_column_int64(handle, 0));
        }
    } else {
        while (statement.step()) {
            if (statement.kind(0) != RowStatement::Kind::Integer) {
                allKeys = false;
                continue;
            }
            keys.push_back(statement.integer(0));
        }
    }
    if (!allKeys) {
        keys.clear();
        keys.push_back(0);
        keys.push_back(0); // not distinct: read whole
    }
    // Held for as long as the dataset is open: not the half of it more that growing left spare.
    keys.shrink_to_fit();
    return allKeys;
}

QString RowPager::withoutFinalOrder(const QString& sql)
{
    static const QRegularExpression orderBy(QStringLiteral("\\border\\s+by\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression limit(QStringLiteral("\\blimit\\b"), QRegularExpression::CaseInsensitiveOption);
    int depth = 0;
    QChar quote;
    int found = -1;
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char('[')) {
            quote = QLatin1Char(']');
        } else if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')')) {
            --depth;
        } else if (depth == 0 && (c == QLatin1Char('o') || c == QLatin1Char('O')) &&
                   orderBy.match(sql, i, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption)
                       .hasMatch()) {
            found = i;
        }
    }
    if (found < 0 || depth != 0 || !quote.isNull() || limit.match(sql, found).hasMatch()) {
        return sql;
    }
    return sql.left(found);
}

// By a bitmap over the keys' range where they are dense, as row ids are, else on a sorted copy.
bool RowPager::allDistinct(const std::vector<qint64>& keys)
{
    if (keys.size() < 2) {
        return true;
    }
    const auto [low, high] = std::minmax_element(keys.begin(), keys.end());
    const quint64 span = quint64(*high) - quint64(*low);
    if (span / 64 <= keys.size()) {
        std::vector<bool> seen(size_t(span) + 1, false);
        for (const qint64 key : keys) {
            const size_t bit = size_t(quint64(key) - quint64(*low));
            if (seen[bit]) {
                return false;
            }
            seen[bit] = true;
        }
        return true;
    }
    std::vector<qint64> sorted(keys);
    std::sort(sorted.begin(), sorted.end());
    return std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end();
}

} // namespace tollbook
