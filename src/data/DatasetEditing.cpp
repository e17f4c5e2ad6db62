// A dataset's current row and its states: moving, editing, adding, posting, cancelling and deleting rows.

#include "Dataset.h"

#include "DataSource.h"
#include "RowWriter.h"
#include "Store.h"
#include "platform/Errors.h"

namespace tollbook {

void Dataset::setState(State state)
{
    if (m_state == state) {
        return;
    }
    m_state = state;
    if (notifying()) {
        Q_EMIT stateChanged(state);
    }
}

void Dataset::requireActive() const
{
    if (m_state == State::Inactive) {
        throw DatabaseError(QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(objectName()));
    }
}

void Dataset::requireCurrentRow() const
{
    requireActive();
    if (m_current < 0) {
        throw DatabaseError(QStringLiteral("%1: Cannot perform this operation on an empty dataset").arg(objectName()));
    }
}

void Dataset::requireBrowse(const char* operation)
{
    Q_UNUSED(operation);
    requireActive();
    if (isEditing()) {
        // Moving away from a row being edited posts it first.
        post();
    }
}

void Dataset::setCurrent(int row)
{
    if (row == m_current) {
        return;
    }
    m_current = row;
    if (notifying()) {
        Q_EMIT currentRowChanged(row);
    }
}

void Dataset::first()
{
    requireBrowse("first");
    m_bof = true;
    m_eof = isEmpty();
    setCurrent(isEmpty() ? -1 : 0);
}

void Dataset::next()
{
    requireBrowse("next");
    m_bof = false;
    if (m_current + 1 >= rowCount()) {
        m_eof = true;
        return;
    }
    m_eof = false;
    setCurrent(m_current + 1);
}

void Dataset::prior()
{
    requireBrowse("prior");
    m_eof = false;
    if (m_current <= 0) {
        m_bof = true;
        return;
    }
    m_bof = false;
    setCurrent(m_current - 1);
}

void Dataset::last()
{
    requireBrowse("last");
    m_eof = true;
    m_bof = isEmpty();
    setCurrent(rowCount() - 1);
}

void Dataset::moveTo(int row)
{
    requireBrowse("moveTo");
    if (row < 0 || row >= rowCount()) {
        throw DatabaseError(QStringLiteral("%1: Row %2 out of range").arg(objectName()).arg(row));
    }
    m_bof = m_eof = false;
    setCurrent(row);
}

void Dataset::setFieldStored(Field* field, const QVariant& stored)
{
    if (m_calcRow) {
        if (field->kind() != FieldKind::Calculated) {
            throw DatabaseError(QStringLiteral("%1: Field '%2' cannot be modified while calculating")
                                    .arg(objectName(), field->fieldName()));
        }
        (*m_calcRow)[field->index()] = stored;
        return;
    }
    if (m_state != State::Edit && m_state != State::Insert) {
        throw DatabaseError(QStringLiteral("%1: Dataset not in edit or insert mode").arg(objectName()));
    }
    if (field->isReadOnly() || field->kind() != FieldKind::Data) {
        throw DatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(field->fieldName()));
    }
    if (field->type() == FieldType::String && field->size() > 0 && stored.toString().size() > field->size()) {
        throw DatabaseError(QStringLiteral("Field '%1' is too small to accept the amount of data you attempted to add")
                                .arg(field->fieldName()));
    }
    m_editBuffer[field->index()] = stored;
    calculate(m_editBuffer);
    if (notifying()) {
        Q_EMIT fieldChanged(field);
        Q_EMIT rowDataChanged(m_current);
    }
}

void Dataset::append()
{
    requireBrowse("append");
    if (beforeInsert) {
        beforeInsert(*this);
    }
    QVector<QVariant> row(m_fields.size());
    if (m_master) {
        Dataset* master = m_master->dataset();
        for (const QString& name : std::as_const(m_masterFields)) {
            Field* own = findField(name);
            if (own && master && master->recNo() >= 0) {
                row[own->index()] = own->toStored(master->fieldByName(name)->value());
            }
        }
    }
    if (m_appendOnly && !isEmpty()) {
        // Only the row being appended is kept: an import appends millions.
        if (notifying()) {
            Q_EMIT aboutToReset();
        }
        m_rows.clear();
        m_current = -1;
        if (notifying()) {
            Q_EMIT resetDone();
        }
    }
    const int position = rowCount();
    calculate(row);
    if (notifying()) {
        Q_EMIT aboutToInsertRow(position);
    }
    insertRowAt(position, row);
    m_editBuffer = row;
    m_current = position;
    m_bof = m_eof = false;
    m_state = State::Insert;
    if (notifying()) {
        Q_EMIT rowInserted(position);
        Q_EMIT stateChanged(m_state);
        Q_EMIT currentRowChanged(position);
    }
}

void Dataset::insert()
{
    if (m_current < 0 || m_appendOnly) {
        append();
        return;
    }
    requireBrowse("insert");
    const int position = m_current;
    append();
    if (position != m_current) {
        // Move the new row from the end to the current position.
        const int from = m_current;
        if (notifying()) {
            Q_EMIT aboutToRemoveRow(from);
        }
        removeRowAt(from);
        m_current = -1;
        if (notifying()) {
            Q_EMIT rowRemoved(from);
            Q_EMIT aboutToInsertRow(position);
        }
        insertRowAt(position, m_editBuffer);
        m_current = position;
        if (notifying()) {
            Q_EMIT rowInserted(position);
            Q_EMIT currentRowChanged(position);
        }
    }
}

void Dataset::edit()
{
    requireCurrentRow();
    if (isEditing()) {
        return;
    }
    if (beforeEdit) {
        beforeEdit(*this);
    }
    m_editBuffer = rowAt(m_current);
    setState(State::Edit);
}

void Dataset::post()
{
    requireActive();
    if (!isEditing()) {
        throw DatabaseError(QStringLiteral("%1: Dataset not in edit or insert mode").arg(objectName()));
    }
    if (beforePost) {
        beforePost(*this);
    }
    // The write, with afterWrite in one savepoint when there is one.
    const auto write = [this](const std::function<void()>& rowWrite) {
        if (afterWrite) {
            m_writer->inSavepoint(rowWrite, [this] { afterWrite(*this); });
        } else {
            rowWrite();
        }
    };
    if (m_state == State::Edit) {
        const QVector<QVariant> before = rowAt(m_current);
        write([&] { m_writer->update(before, m_editBuffer); });
        replaceRow(m_current, m_editBuffer);
    } else {
        // A failed write leaves the row as it was before: no key of an insert that was undone.
        const QVector<QVariant> unwritten = m_editBuffer;
        try {
            write([this] { m_writer->insert(m_editBuffer); });
        } catch (...) {
            m_editBuffer = unwritten;
            throw;
        }
        // Stored: whatever fails from here on must not leave the row to be inserted a second time.
        QVector<QVariant> posted = std::move(m_editBuffer);
        m_editBuffer.clear();
        replaceRow(m_current, posted);
        setState(State::Browse);
        calculate(posted);
        replaceRow(m_current, posted);
        if (notifying()) {
            Q_EMIT rowDataChanged(m_current);
        }
        return;
    }
    m_editBuffer.clear();
    setState(State::Browse);
    if (notifying()) {
        Q_EMIT rowDataChanged(m_current);
    }
}

// SQLite opens a transaction for a savepoint outside one; PostgreSQL wants one open first. There a savepoint
// outside a transaction begins one, which the savepoint's release ends: committed when it is released, rolled
// back when the release fails.
void Dataset::cancel()
{
    if (m_state == State::Edit) {
        m_editBuffer.clear();
        setState(State::Browse);
        if (notifying()) {
            Q_EMIT rowDataChanged(m_current);
        }
    } else if (m_state == State::Insert) {
        m_editBuffer.clear();
        m_state = State::Browse;
        if (notifying()) {
            Q_EMIT stateChanged(m_state);
        }
        removeCurrentRow();
    }
}

void Dataset::removeCurrentRow()
{
    const int row = m_current;
    if (notifying()) {
        Q_EMIT aboutToRemoveRow(row);
    }
    removeRowAt(row);
    m_current = std::min(row, rowCount() - 1);
    m_eof = isEmpty();
    if (notifying()) {
        Q_EMIT rowRemoved(row);
        Q_EMIT currentRowChanged(m_current);
    }
}

void Dataset::remove()
{
    requireActive();
    if (m_state == State::Insert) {
        cancel();
        return;
    }
    requireCurrentRow();
    if (beforeDelete) {
        beforeDelete(*this);
    }
    if (m_state == State::Edit) {
        cancel();
    }
    const QVector<QVariant> removed = rowAt(m_current);
    m_writer->remove(removed);
    removeCurrentRow();
}

void Dataset::disableControls()
{
    ++m_disableCount;
}

void Dataset::enableControls()
{
    if (m_disableCount == 0) {
        return;
    }
    if (--m_disableCount == 0) {
        Q_EMIT aboutToReset();
        Q_EMIT resetDone();
        Q_EMIT stateChanged(m_state);
        Q_EMIT currentRowChanged(m_current);
    }
}

} // namespace tollbook
