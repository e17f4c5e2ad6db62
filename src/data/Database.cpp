#include "Database.h"

#include "Store.h"
#include "platform/Errors.h"

#include <QHash>
#include <QMutex>
#include <QSqlError>

namespace tollbook {

namespace {

// The locations of the open connections, by connection name; connections open on several threads.
QMutex locationsLock;
QHash<QString, QString>& locations()
{
    static QHash<QString, QString> byConnection;
    return byConnection;
}

} // namespace

QString Database::location(const QString& connectionName)
{
    const QMutexLocker locker(&locationsLock);
    return locations().value(connectionName);
}

bool Database::isPostgresLocation(const QString& location)
{
    return &Store::forLocation(location) == &Store::postgres();
}

bool Database::isPostgres(const QString& connectionName)
{
    return &Store::forConnection(connectionName) == &Store::postgres();
}

QString Database::driverMessage(const QSqlError& error)
{
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.text().trimmed() : text;
}

QSqlDatabase Database::open(const QString& location, const QString& connectionName)
{
    close(connectionName);
    const Store& store = Store::forLocation(location);
    QSqlDatabase db = store.open(location, connectionName);
    const QMutexLocker locker(&locationsLock);
    locations().insert(connectionName, store.canonicalLocation(location));
    return db;
}

void Database::close(const QString& connectionName)
{
    {
        const QMutexLocker locker(&locationsLock);
        locations().remove(connectionName);
    }
    if (!QSqlDatabase::contains(connectionName)) {
        return;
    }
    Store::forConnection(connectionName).release(connectionName);
    QSqlDatabase::database(connectionName, false).close();
    QSqlDatabase::removeDatabase(connectionName);
}

void Database::create(const QString& location)
{
    Store::forLocation(location).create(location);
}

QString Database::storeSql(const QString& sql, const QString& connectionName)
{
    return Store::forConnection(connectionName).sql(sql);
}

bool Database::inPostgresTransaction(const QString& connectionName)
{
    return Store::postgres().inTransaction(connectionName);
}

Transaction::Transaction(const QString& connectionName)
    : m_connectionName(connectionName)
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.transaction()) {
        throw DriverError(Database::driverMessage(db.lastError()));
    }
    m_open = true;
}

Transaction::~Transaction()
{
    if (m_open) {
        QSqlDatabase::database(m_connectionName, false).rollback();
    }
}

void Transaction::commit()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.commit()) {
        throw DriverError(Database::driverMessage(db.lastError()));
    }
    m_open = false;
}

} // namespace tollbook
