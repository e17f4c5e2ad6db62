#include "Database.h"

#include "Schema.h"
#include "platform/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace tollbook {

namespace {

void execOrThrow(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement)) {
        throw DriverError(Database::driverMessage(query.lastError()));
    }
}

// Settings of every connection: wait for a writer of another process instead of failing at once, as a
// shared database file is read and written by the service copy and the desktop copy alike.
void configureConnection(QSqlDatabase& db)
{
    execOrThrow(db, QStringLiteral("PRAGMA busy_timeout = 10000"));
    execOrThrow(db, QStringLiteral("PRAGMA synchronous = NORMAL"));
    // Reports over a year read most of the jobs table: map it rather than copy it page by page.
    execOrThrow(db, QStringLiteral("PRAGMA mmap_size = 1073741824"));
    execOrThrow(db, QStringLiteral("PRAGMA cache_size = -65536"));
}

} // namespace

QString Database::driverMessage(const QSqlError& error)
{
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.text().trimmed() : text;
}

QSqlDatabase Database::open(const QString& path, const QString& connectionName)
{
    close(connectionName);
    const QFileInfo file(path);
    if (path.trimmed().isEmpty() || !file.isFile()) {
        throw DriverError(QStringLiteral("Could not find file '%1'.").arg(path));
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(file.absoluteFilePath());
    if (!db.open()) {
        const QString message = Database::driverMessage(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw DriverError(message);
    }
    try {
        // A file that is no database fails here rather than at the first dataset.
        execOrThrow(db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
        configureConnection(db);
    } catch (...) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw;
    }
    return db;
}

void Database::close(const QString& connectionName)
{
    if (!QSqlDatabase::contains(connectionName)) {
        return;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

void Database::create(const QString& path)
{
    if (QFileInfo::exists(path)) {
        throw PlainError(QStringLiteral("O arquivo já existe: %1").arg(path));
    }
    const QString connectionName = QStringLiteral("tollbook-create");
    bool created = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(path);
        try {
            if (!db.open()) {
                throw DriverError(Database::driverMessage(db.lastError()));
            }
            created = true;
            // Readers never wait for the writer: the views stay responsive while a journal imports.
            execOrThrow(db, QStringLiteral("PRAGMA journal_mode = WAL"));
            if (!db.transaction()) {
                throw DriverError(Database::driverMessage(db.lastError()));
            }
            for (const QString& statement : Schema::createStatements()) {
                execOrThrow(db, statement);
            }
            if (!db.commit()) {
                throw DriverError(Database::driverMessage(db.lastError()));
            }
            db.close();
        } catch (...) {
            db.rollback();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connectionName);
            if (created) {
                QFile::remove(path);
                QFile::remove(path + QStringLiteral("-wal"));
                QFile::remove(path + QStringLiteral("-shm"));
            }
            throw;
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
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
