#pragma once

#include <QDate>
#include <QObject>

namespace tollbook {

class Dataset;

// Deletes the jobs of a period, both days included, and nothing else: the registries stay as they are.
//
// count() takes the jobs the deletion will remove: those of the period stored up to that moment. Jobs that
// the capture stores afterwards, on a day of the period, stay, so the number the user confirmed is the
// number deleted. The deletion goes in batches, each a transaction of its own, so that the caller can show
// its progress and keep the window alive between two batches, and that no lock is held meanwhile: the
// capture's import, on its own connection, may store its jobs between two batches.
class JobPurge : public QObject
{
    Q_OBJECT

public:
    explicit JobPurge(QObject* parent = nullptr);

    // Counts the jobs of the period, first to last (a first day after the last counts none); an invalid
    // date counts as the zero date, 30 December 1899.
    qint64 count(const QDate& first, const QDate& last);
    qint64 counted() const { return m_counted; }
    qint64 deleted() const { return m_deleted; }
    bool isDone() const { return m_deleted >= m_counted || m_exhausted; }

    // Deletes at most limit of the jobs counted, in a transaction of its own; how many it deleted.
    int deleteNext(int limit);

    // The zero date an empty date picker stands for.
    static QDate zeroDate() { return QDate(1899, 12, 30); }

private:
    Dataset* m_count;
    Dataset* m_delete;
    qint64 m_counted = 0;
    qint64 m_deleted = 0;
    bool m_exhausted = false;
};

} // namespace tollbook
