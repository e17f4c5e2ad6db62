// A dataset's rows read anew in place: refresh, which keeps the user's place, and the rows newer than those held.

#include "Dataset.h"

#include "DatasetValues.h"
#include "RowPager.h"
#include "RowStatement.h"
#include "platform/Errors.h"

#include <QHash>

#include <algorithm>
#include <limits>

namespace tollbook {

using DatasetValues::quotedIdentifier;

namespace {

// How the rows held before a refresh meet the rows read: where each row held is now, and which of them stay,
// found again in the same order among themselves; the others go, and the rows read that no row stays at come in.
struct RowMatch
{
    std::vector<int> place; // of each row held among the rows read, or -1
    std::vector<bool> kept;
    int keptCount = 0;
    int prefix = 0; // the same rows at both ends, left alone: a tick adds at one end, a deletion takes
    int suffix = 0; // one row from the middle
};

// By identities (see Dataset::rowIds); where one repeats, the first row read holding it is the one matched.
RowMatch matchRows(const std::vector<qint64>& before, const std::vector<qint64>& after)
{
    RowMatch match;
    const int oldCount = int(before.size());
    const int newCount = int(after.size());
    if (RowPager::allDistinct(before) && RowPager::allDistinct(after)) {
        const int common = std::min(oldCount, newCount);
        while (match.prefix < common && before[size_t(match.prefix)] == after[size_t(match.prefix)]) {
            ++match.prefix;
        }
        while (match.suffix < common - match.prefix &&
               before[size_t(oldCount - 1 - match.suffix)] == after[size_t(newCount - 1 - match.suffix)]) {
            ++match.suffix;
        }
    }
    QHash<qint64, int> placeOf;
    placeOf.reserve(newCount - match.prefix - match.suffix);
    for (int i = match.prefix; i < newCount - match.suffix; ++i) {
        if (!placeOf.contains(after[size_t(i)])) {
            placeOf.insert(after[size_t(i)], i);
        }
    }
    match.place.resize(size_t(oldCount));
    match.kept.assign(size_t(oldCount), false);
    int lastPlace = -1;
    for (int i = 0; i < oldCount; ++i) {
        const int place = i < match.prefix               ? i
                          : i >= oldCount - match.suffix ? i + newCount - oldCount
                                                         : placeOf.value(before[size_t(i)], -1);
        match.place[size_t(i)] = place;
        if (place > lastPlace) {
            match.kept[size_t(i)] = true;
            lastPlace = place;
            ++match.keptCount;
        }
    }
    return match;
}

} // namespace

// Each row's identity as a number: its key itself where that is one whole number (Print_Id), else the key as
// lookups compare it, numbered in order of appearance across both reads. A row without a key matches nothing.
std::vector<qint64> Dataset::rowIds(const QVector<Row>& rows, const QVector<int>& keyFields, qint64 unmatchedBase,
                                    QHash<QString, qint64>& textIds) const
{
    constexpr qint64 TextKeys = qint64(1) << 62;
    std::vector<qint64> ids;
    ids.reserve(size_t(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        const QVariant& first = rows.at(row).at(keyFields.first());
        if (keyFields.size() == 1 && first.typeId() == QMetaType::LongLong) {
            ids.push_back(first.toLongLong());
            continue;
        }
        QString key;
        for (const int field : keyFields) {
            const QString part = DatasetValues::lookupKey(rows.at(row).at(field));
            if (part.isEmpty()) {
                key.clear();
                break;
            }
            key += part + QChar(0x1f);
        }
        if (key.isEmpty()) {
            ids.push_back(unmatchedBase - row);
            continue;
        }
        const auto found = textIds.constFind(key);
        ids.push_back(found != textIds.cend() ? *found : *textIds.insert(key, TextKeys + textIds.size()));
    }
    return ids;
}

void Dataset::refresh()
{
    const QVector<int> keyFields = isOpen() && !m_appendOnly ? keyFieldIndexes() : QVector<int>();
    if (keyFields.isEmpty()) {
        reopen();
        return;
    }
    if (isEditing()) {
        cancel();
    }
    takeMasterParams();

    // The identities of the rows held and of the rows read; held whole, the rows themselves are read, held by
    // keys, the keys, and the pages the views read lately are read again to tell which of their rows changed.
    const bool paged = isPaged();
    std::vector<qint64> before;
    std::vector<qint64> after;
    QVector<Row> fresh;
    std::vector<RowPager::ReadRow> seen;
    if (paged) {
        readKeys(m_pager->keyField(), after);
        if (!RowPager::allDistinct(after)) {
            reopen();
            return;
        }
        seen = m_pager->rowsRead();
        m_pager->forgetRows();
        before = m_pager->keys();
    } else {
        {
            const std::unique_ptr<RowStatement> statement =
                RowStatement::prepare(m_connectionName, filteredSql(QStringLiteral("*")));
            bindQuery(*statement);
            fetch(*statement, fresh);
        }
        QHash<QString, qint64> textIds;
        after = rowIds(fresh, keyFields, -1, textIds);
        before = rowIds(m_rows, keyFields, std::numeric_limits<qint64>::min() / 2, textIds);
    }
    const RowMatch match = matchRows(before, after);
    const int oldCount = int(before.size());
    const int newCount = int(after.size());

    // The current row stays on its key, else goes to the row that followed it, else to the one before it.
    int target = newCount == 0 ? -1 : 0;
    if (m_current >= 0 && m_current < oldCount && newCount > 0) {
        int place = match.place[size_t(m_current)];
        for (int i = m_current + 1; place < 0 && i < oldCount; ++i) {
            place = match.place[size_t(i)];
        }
        for (int i = m_current - 1; place < 0 && i >= 0; --i) {
            place = match.place[size_t(i)];
        }
        target = std::max(place, 0);
    }

    // Row by row for the few rows a tick or an edit elsewhere changes; a new day, or a catch-up of thousands
    // of jobs, is one reset (the current row still kept), cheaper for the views than thousands of signals.
    constexpr int MaxRowByRowChanges = 1024;
    if (!notifying() || oldCount + newCount - 2 * match.keptCount > MaxRowByRowChanges) {
        if (notifying()) {
            Q_EMIT aboutToReset();
        }
        if (paged) {
            m_pager->setKeys(std::move(after));
        } else {
            m_rows = std::move(fresh);
        }
        m_current = target;
        m_bof = m_current <= 0;
        m_eof = isEmpty();
        if (notifying()) {
            Q_EMIT resetDone();
            Q_EMIT currentRowChanged(m_current);
        }
        return;
    }

    // The rows that do not stay go; then the new ones come in.
    std::vector<qint64>& ids = before; // of the rows held whole, as they come and go
    for (int i = oldCount - 1; i >= 0; --i) {
        if (match.kept[size_t(i)]) {
            continue;
        }
        Q_EMIT aboutToRemoveRow(i);
        if (paged) {
            m_pager->eraseKey(i);
        } else {
            m_rows.remove(i);
            ids.erase(ids.begin() + i);
        }
        m_current = i < m_current ? m_current - 1 : (i == m_current ? -1 : m_current);
        Q_EMIT rowRemoved(i);
    }
    for (int i = match.prefix; i < newCount - match.suffix; ++i) {
        if (i < rowCount() && (paged ? m_pager->key(i) : ids[size_t(i)]) == after[size_t(i)]) {
            continue;
        }
        Q_EMIT aboutToInsertRow(i);
        if (paged) {
            m_pager->insertKey(i, after[size_t(i)]);
        } else {
            m_rows.insert(i, fresh.at(i));
            ids.insert(ids.begin() + i, after[size_t(i)]);
        }
        if (m_current >= i) {
            ++m_current;
        }
        Q_EMIT rowInserted(i);
    }

    // The rows that stayed and changed.
    bool currentChanged = m_current != target;
    bool currentSeen = !paged && target >= 0;
    if (paged) {
        for (const RowPager::ReadRow& row : seen) {
            if (!match.kept[size_t(row.position)]) {
                continue;
            }
            const int place = match.place[size_t(row.position)];
            const bool changed = rowAt(place) != row.values;
            if (changed) {
                Q_EMIT rowDataChanged(place);
            }
            if (place == target) {
                currentSeen = true;
                currentChanged = currentChanged || changed;
            }
        }
    } else {
        for (int i = 0; i < fresh.size(); ++i) {
            if (m_rows.at(i) != fresh.at(i)) {
                m_rows[i] = std::move(fresh[i]);
                Q_EMIT rowDataChanged(i);
                currentChanged = currentChanged || i == target;
            }
        }
    }
    m_bof = target <= 0;
    m_eof = isEmpty();
    if (currentChanged || !currentSeen) {
        m_current = target;
        Q_EMIT currentRowChanged(m_current);
    }
}

int Dataset::appendNewerRows(const QString& keyField, NewRowsAt at)
{
    requireActive();
    if (isEditing()) {
        throw DatabaseError(QStringLiteral("%1: Dataset not in browse mode").arg(objectName()));
    }
    if (m_appendOnly) {
        return 0;
    }
    const int key = fieldByName(keyField)->index();
    bool holdsKey = false;
    qint64 highest = 0;
    if (isPaged() && key == m_pager->keyField()) {
        // Not editing: every key held is the database's.
        const std::vector<qint64>& keys = m_pager->keys();
        holdsKey = !keys.empty();
        highest = holdsKey ? *std::max_element(keys.begin(), keys.end()) : 0;
    } else {
        for (int row = 0; row < rowCount(); ++row) {
            const QVariant& value = rowAt(row).at(key);
            if (!value.isNull() && (!holdsKey || value.toLongLong() > highest)) {
                highest = value.toLongLong();
                holdsKey = true;
            }
        }
    }
    const QString newer = quotedIdentifier(fields().at(key)->fieldName()) + QStringLiteral(" > ?");
    const QVariant bound = holdsKey ? highest : std::numeric_limits<qint64>::min();
    if (isPaged()) {
        std::vector<qint64> addedKeys;
        readKeys(m_pager->keyField(), addedKeys, newer, { bound });
        if (addedKeys.empty()) {
            return 0;
        }
        const int count = int(addedKeys.size());
        const int first = at == NewRowsAt::Start ? 0 : rowCount();
        if (notifying()) {
            Q_EMIT aboutToInsertRows(first, first + count - 1);
        }
        m_pager->insertKeys(first, addedKeys);
        const int current = m_current >= first ? m_current + count : m_current;
        if (notifying()) {
            Q_EMIT rowsInserted(first, first + count - 1);
        }
        if (current < 0) {
            m_eof = false;
        }
        setCurrent(current < 0 ? 0 : current);
        return count;
    }
    const std::unique_ptr<RowStatement> statement =
        RowStatement::prepare(m_connectionName, filteredSql(QStringLiteral("*"), newer));
    bindQuery(*statement, { bound });

    QVector<Row> added;
    fetch(*statement, added);
    if (added.isEmpty()) {
        return 0;
    }
    const int count = int(added.size());
    const int first = at == NewRowsAt::Start ? 0 : int(m_rows.size());
    if (notifying()) {
        Q_EMIT aboutToInsertRows(first, first + count - 1);
    }
    const bool wasEmpty = m_rows.isEmpty();
    if (at == NewRowsAt::Start) {
        added.append(std::move(m_rows));
        m_rows = std::move(added);
    } else {
        m_rows.append(std::move(added));
    }
    const int current = wasEmpty ? 0 : (m_current >= first ? m_current + count : m_current);
    if (wasEmpty) {
        m_eof = false;
    }
    if (notifying()) {
        Q_EMIT rowsInserted(first, first + count - 1);
    }
    setCurrent(current);
    return count;
}

} // namespace tollbook
