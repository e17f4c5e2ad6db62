#include "JobPurge.h"

#include "Catalogue.h"
#include "platform/SystemRoutines.h"

namespace tollbook {

JobPurge::JobPurge(QObject* parent)
    : QObject(parent)
    , m_count(Catalogue::createPurgeCount(this))
    , m_delete(Catalogue::createPurgeStatement(this))
{
}

qint64 JobPurge::count(const QDate& first, const QDate& last)
{
    const QDate from = first.isValid() ? first : zeroDate();
    const QDate to = last.isValid() ? last : zeroDate();
    m_count->close();
    m_count->setParam(QStringLiteral("DataI"), from);
    m_count->setParam(QStringLiteral("DataF"), to);
    m_count->open();
    const Field* total = m_count->fieldByName(QStringLiteral("Total"));
    const Field* lastId = m_count->fieldByName(QStringLiteral("UltimoId"));
    m_counted = m_count->isEmpty() ? 0 : total->asInteger();
    m_delete->setParam(QStringLiteral("DataI"), from);
    m_delete->setParam(QStringLiteral("DataF"), to);
    m_delete->setParam(QStringLiteral("UltimoId"), m_count->isEmpty() || lastId->isNull() ? 0 : lastId->asInteger());
    m_count->close();
    m_deleted = 0;
    m_exhausted = m_counted == 0;
    return m_counted;
}

int JobPurge::deleteNext(int limit)
{
    if (isDone() || limit <= 0) {
        return 0;
    }
    m_delete->setParam(QStringLiteral("Lote"), limit);
    const int deleted = m_delete->execSql();
    m_deleted += deleted;
    // Fewer than asked: nothing of the count is left (some may have gone another way meanwhile).
    m_exhausted = deleted < limit;
    return deleted;
}

} // namespace tollbook
