// tollbook-bench-purge DATABASE [FIRST LAST]: measures the purge of the jobs of a period (March 2025 unless
// given, as dd/MM/yyyy) on a copy of DATABASE, which is left as it was.
//
// Two ways, each on a fresh copy of the file: the period's jobs deleted by one statement, which holds the
// window (and the import's write lock) for the whole deletion; and the purge as the dialog runs it, in batches
// of about a tenth of a second each, with the event loop running in between. For each: the count, the total
// time, and the longest time the window waits without processing its events. Exits 0 once it has measured.

#include "data/Database.h"
#include "data/JobPurge.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <algorithm>
#include <ctime>

namespace {

QTextStream out(stdout);

// The dialog's own figures; BENCH_BATCH_MS tries another length of a batch.
const qint64 BatchMilliseconds =
    qEnvironmentVariableIsSet("BENCH_BATCH_MS") ? qEnvironmentVariableIntValue("BENCH_BATCH_MS") : 100;
constexpr int FirstBatch = 2000;
constexpr int SmallestBatch = 200;
constexpr int LargestBatch = 200000;

// Processor time of this process (user and system), in milliseconds: the machine the figures come from is
// shared, and wall-clock time there measures the neighbours too.
qint64 processorMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

struct Figures
{
    qint64 deleted = 0;
    qint64 cpuMs = 0;
    qint64 totalMs = 0;
    qint64 longestMs = 0;
    int steps = 0;
};

QString copyOf(const QString& path)
{
    const QString copy = path + QStringLiteral(".purge-bench");
    for (const QString& suffix : { QString(), QStringLiteral("-wal"), QStringLiteral("-shm") }) {
        QFile::remove(copy + suffix);
    }
    if (!QFile::copy(path, copy)) {
        throw tollbook::PlainError(QStringLiteral("cannot copy %1").arg(path));
    }
    return copy;
}

void removeCopy(const QString& copy)
{
    for (const QString& suffix : { QString(), QStringLiteral("-wal"), QStringLiteral("-shm") }) {
        QFile::remove(copy + suffix);
    }
}

Figures oneStatement(const QString& path, const QDate& first, const QDate& last)
{
    const QString copy = copyOf(path);
    tollbook::Database::open(copy);
    Figures figures;
    {
        QSqlQuery query(QSqlDatabase::database(tollbook::Database::ConnectionName));
        query.prepare(QStringLiteral("Delete  from impressao where Print_Data >= ? AND Print_Data <= ?"));
        query.bindValue(0, first.toString(Qt::ISODate));
        query.bindValue(1, last.toString(Qt::ISODate));
        QElapsedTimer timer;
        timer.start();
        const qint64 cpu = processorMs();
        if (!query.exec()) {
            throw tollbook::DriverError(tollbook::Database::driverMessage(query.lastError()));
        }
        figures.cpuMs = processorMs() - cpu;
        figures.totalMs = figures.longestMs = timer.elapsed();
        figures.deleted = query.numRowsAffected();
        figures.steps = 1;
    }
    tollbook::Database::close();
    removeCopy(copy);
    return figures;
}

Figures batches(const QString& path, const QDate& first, const QDate& last, qint64* counted, qint64* countMs)
{
    const QString copy = copyOf(path);
    tollbook::Database::open(copy);
    Figures figures;
    {
        tollbook::JobPurge purge;
        QElapsedTimer timer;
        timer.start();
        *counted = purge.count(first, last);
        *countMs = timer.elapsed();
        timer.start();
        // BENCH_ONE_TRANSACTION: the same batches inside one transaction, to tell the cost of the commits apart.
        const bool oneTransaction = qEnvironmentVariableIsSet("BENCH_ONE_TRANSACTION");
        QSqlDatabase db = QSqlDatabase::database(tollbook::Database::ConnectionName);
        if (oneTransaction) {
            db.transaction();
        }
        int batch = FirstBatch;
        const qint64 cpu = processorMs();
        QElapsedTimer step;
        while (!purge.isDone()) {
            step.start();
            purge.deleteNext(batch);
            const qint64 elapsed = std::max<qint64>(1, step.elapsed());
            figures.longestMs = std::max(figures.longestMs, elapsed);
            batch = int(std::clamp<qint64>(batch * BatchMilliseconds / elapsed, SmallestBatch, LargestBatch));
            ++figures.steps;
            QCoreApplication::processEvents();
        }
        if (oneTransaction) {
            db.commit();
        }
        figures.cpuMs = processorMs() - cpu;
        figures.totalMs = timer.elapsed();
        figures.deleted = purge.deleted();
    }
    tollbook::Database::close();
    removeCopy(copy);
    return figures;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 && args.size() != 4) {
        out << "usage: tollbook-bench-purge DATABASE [FIRST LAST]\n";
        return 2;
    }
    const QDate first =
        args.size() == 4 ? QDate::fromString(args.at(2), QStringLiteral("dd/MM/yyyy")) : QDate(2025, 3, 1);
    const QDate last =
        args.size() == 4 ? QDate::fromString(args.at(3), QStringLiteral("dd/MM/yyyy")) : QDate(2025, 3, 31);
    try {
        const Figures single = oneStatement(args.at(1), first, last);
        qint64 counted = 0;
        qint64 countMs = 0;
        const Figures batched = batches(args.at(1), first, last, &counted, &countMs);
        out << "purge of " << first.toString(Qt::ISODate) << " to " << last.toString(Qt::ISODate) << " on "
            << args.at(1) << "\n";
        out << "count: " << counted << " jobs in " << countMs << " ms\n";
        out << "one statement: " << single.deleted << " jobs in " << single.totalMs << " ms (processor " << single.cpuMs
            << " ms), window held " << single.longestMs << " ms\n";
        out << "batches: " << batched.deleted << " jobs in " << batched.totalMs << " ms (processor " << batched.cpuMs
            << " ms), " << batched.steps << " batches, window held at most " << batched.longestMs << " ms\n";
    } catch (const tollbook::Error& error) {
        out << "failed: " << error.message() << "\n";
        return 1;
    }
    return 0;
}
