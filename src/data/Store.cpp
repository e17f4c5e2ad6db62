#include "Store.h"

#include "PostgresStore.h"
#include "SqliteStore.h"
#include "i18n/Language.h"
#include "platform/Errors.h"

#include <QSqlError>
#include <QSqlQuery>

namespace tollbook {

StoreTraits StoreTraits::of(const QString& connectionName)
{
    return Store::forConnection(connectionName).datasetTraits();
}

const Store& Store::sqlite()
{
    static const SqliteStore store;
    return store;
}

const Store& Store::postgres()
{
    static const PostgresStore store;
    return store;
}

const Store& Store::forConnection(const QString& connectionName)
{
    const bool postgres = QSqlDatabase::contains(connectionName) &&
                          QSqlDatabase::database(connectionName, false).driverName() == QLatin1String("QPSQL");
    return postgres ? Store::postgres() : Store::sqlite();
}

const Store& Store::forLocation(const QString& location)
{
    const QString trimmed = location.trimmed();
    const bool postgres = trimmed.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
                          trimmed.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
    return postgres ? Store::postgres() : Store::sqlite();
}

void Store::release(const QString&) const {}

void StoreSupport::exec(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement)) {
        throw DriverError(Database::driverMessage(query.lastError()));
    }
}

void StoreSupport::openOrThrow(QSqlDatabase& db, const QString& connectionName)
{
    if (!db.open()) {
        const QString message = Database::driverMessage(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw DriverError(message);
    }
}

QString StoreSupport::errorMessage(const char* key, const char* portuguese)
{
    const QString text = Language::message(QStringLiteral("Erro"), QLatin1String(key));
    return text.isEmpty() ? QString::fromUtf8(portuguese) : text;
}

QString StoreSupport::quotedIdentifier(const QString& name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

void StoreSupport::findRowidColumn(TableInfo& info, const QMap<int, QString>& keys)
{
    info.keyColumns = keys.values();
    if (info.keyColumns.size() == 1 &&
        info.types.value(info.keyColumns.first().toLower()) == QLatin1String("INTEGER")) {
        info.rowidColumn = info.keyColumns.first();
    }
}

} // namespace tollbook
