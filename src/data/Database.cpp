#include "Database.h"

#include "Collation.h"
#include "Schema.h"
#include "SqliteStatement.h"
#include "i18n/Language.h"
#include "platform/Errors.h"
#include "platform/FileSystems.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <QtGlobal>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace tollbook {

namespace {

void execOrThrow(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement)) {
        throw DriverError(Database::driverMessage(query.lastError()));
    }
}

void appendUtf8(std::string& out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out += char(codePoint);
    } else if (codePoint < 0x800) {
        out += char(0xC0 | (codePoint >> 6));
        out += char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += char(0xE0 | (codePoint >> 12));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    } else {
        out += char(0xF0 | (codePoint >> 18));
        out += char(0x80 | ((codePoint >> 12) & 0x3F));
        out += char(0x80 | ((codePoint >> 6) & 0x3F));
        out += char(0x80 | (codePoint & 0x3F));
    }
}

// A text with its letter case removed as the collation removes it, for a search within texts that ignores
// case also for accented letters; null stays null. Runs once per row of a filter: straight on the UTF-8
// bytes, a byte that starts no valid sequence kept as it is.
void foldText(sqlite3_context* context, int, sqlite3_value** arguments)
{
    const auto* bytes = static_cast<const unsigned char*>(sqlite3_value_text(arguments[0]));
    if (!bytes) {
        sqlite3_result_null(context);
        return;
    }
    const int length = sqlite3_value_bytes(arguments[0]);
    std::string folded;
    folded.reserve(size_t(length));
    for (int i = 0; i < length;) {
        const unsigned char lead = bytes[i];
        const int size = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
        bool valid = size > 0 && i + size <= length;
        char32_t codePoint = size == 1 ? lead : size == 2 ? lead & 0x1F : size == 3 ? lead & 0x0F : lead & 0x07;
        for (int k = 1; valid && k < size; ++k) {
            valid = (bytes[i + k] & 0xC0) == 0x80;
            codePoint = (codePoint << 6) | (bytes[i + k] & 0x3F);
        }
        if (!valid) {
            folded += char(lead);
            ++i;
            continue;
        }
        appendUtf8(folded, Collation::fold(codePoint));
        i += size;
    }
    sqlite3_result_text(context, folded.data(), int(folded.size()), SQLITE_TRANSIENT);
}

// The application's text collation, which every text column of the schema names: without it no
// statement that compares or orders those columns can even be prepared.
void registerCollation(const QString& connectionName)
{
    sqlite3* handle = SqliteStatement::connectionHandle(connectionName);
    if (sqlite3_create_collation_v2(handle, Collation::Name, SQLITE_UTF8, nullptr, &Collation::sqliteCompare,
                                    nullptr) != SQLITE_OK ||
        sqlite3_create_function_v2(handle, Database::FoldFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   &foldText, nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw DriverError(QString::fromUtf8(sqlite3_errmsg(handle)));
    }
}

// A database created before the application had its own collation compares texts with SQLite's NOCASE,
// which folds A-Z only ("JOSÉ" and "josé" are two users there). Its columns are moved to the collation
// in one transaction: the schema text is rewritten and every index rebuilt in the new order. Where a key
// already holds two rows that the collation takes for one, the rebuild refuses, the transaction is rolled
// back and the database keeps comparing as before, until the duplicate is removed; a read-only file
// likewise stays as it is. Either way it stays usable.
void adoptCollation(QSqlDatabase& db)
{
    QSqlQuery query(db);
    const auto comparesAsBefore = [&query] {
        const bool found = query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'"
                                                     " AND sql LIKE '%COLLATE NOCASE%'")) &&
                           query.next() && query.value(0).toInt() > 0;
        query.finish();
        return found;
    };
    if (!comparesAsBefore()) {
        return;
    }
    const QString collation = QString::fromLatin1(Collation::Name);
    const auto run = [&query](const QString& statement) {
        if (!query.exec(statement)) {
            throw DriverError(Database::driverMessage(query.lastError()));
        }
    };
    try {
        run(QStringLiteral("BEGIN IMMEDIATE"));
        // Another connection may have moved it meanwhile.
        if (!comparesAsBefore()) {
            run(QStringLiteral("ROLLBACK"));
            return;
        }
        run(QStringLiteral("PRAGMA schema_version"));
        const int version = query.next() ? query.value(0).toInt() : 0;
        query.finish();
        run(QStringLiteral("PRAGMA writable_schema = ON"));
        run(QStringLiteral("UPDATE sqlite_master SET sql = replace(sql, 'COLLATE NOCASE', 'COLLATE %1')"
                           " WHERE type = 'table' AND sql LIKE '%COLLATE NOCASE%'")
                .arg(collation));
        run(QStringLiteral("PRAGMA schema_version = %1").arg(version + 1));
        run(QStringLiteral("PRAGMA writable_schema = OFF"));
        // Every index: "REINDEX <collation>" would still see the schema as it was before this transaction.
        run(QStringLiteral("REINDEX"));
        run(QStringLiteral("COMMIT"));
    } catch (const DriverError& error) {
        query.exec(QStringLiteral("PRAGMA writable_schema = OFF"));
        query.exec(QStringLiteral("ROLLBACK"));
        qWarning("The database keeps comparing texts as before: %s", qUtf8Printable(error.message()));
    }
}

// Prices are whole ten-thousandths. A database created before the schema refused anything else may hold a
// price that another program wrote as a decimal amount (0.2): it becomes ten-thousandths here, so that the
// sums of the summary reports read it right too (a row read alone reads right anyway). A file that cannot
// be written is left as it is.
void convertDecimalPrices(QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM CustoImpressao WHERE typeof(Custo_Mono) = 'real'"
                                   " OR typeof(Custo_Color) = 'real'")) ||
        !query.next() || query.value(0).toInt() == 0) {
        return;
    }
    query.finish();
    for (const char* column : { "Custo_Mono", "Custo_Color" }) {
        if (!query.exec(QStringLiteral("UPDATE CustoImpressao SET %1 = CAST(round(%1 * 10000) AS INTEGER)"
                                       " WHERE typeof(%1) = 'real'")
                            .arg(QLatin1String(column)))) {
            qWarning("Prices written as decimals stay so: %s",
                     qUtf8Printable(Database::driverMessage(query.lastError())));
            return;
        }
    }
}

// SQLite creates the write-ahead log and its index (-wal, -shm) with the database file's permissions. A
// database once made read-only leaves them read-only, and SQLite then refuses every write even after the
// database file itself was made writable again. They follow the database file's permissions back.
void alignSidecarPermissions(const QString& path)
{
    const QFileInfo database(path);
    if (!database.isWritable()) {
        return;
    }
    for (const QString& suffix : { QStringLiteral("-shm"), QStringLiteral("-wal") }) {
        const QFileInfo sidecar(path + suffix);
        if (sidecar.exists() && !sidecar.isWritable()) {
            // Fails where another user owns the file: then SQLite's own message says what is wrong.
            QFile::setPermissions(sidecar.filePath(), QFile::permissions(path));
        }
    }
}

// Settings of every connection: wait for a writer of another process instead of failing at once, as a
// shared database file is read and written by the service copy and the desktop copy alike.
void configureConnection(QSqlDatabase& db)
{
    execOrThrow(db, QStringLiteral("PRAGMA busy_timeout = 10000"));
    execOrThrow(db, QStringLiteral("PRAGMA synchronous = NORMAL"));
    // No memory-mapped reading: a mapped file counts whole in the process's resident memory (a year's grid
    // on 1 M jobs peaked at 420 MiB mapped against 121 MiB without), and reading through the page cache
    // measured the same processor time for the views and the year's summaries.
    execOrThrow(db, QStringLiteral("PRAGMA mmap_size = 0"));
    execOrThrow(db, QStringLiteral("PRAGMA cache_size = -65536"));
}

// Opens the connection; when it cannot, removes it and throws what the driver said.
void openOrThrow(QSqlDatabase& db, const QString& connectionName)
{
    if (!db.open()) {
        const QString message = Database::driverMessage(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw DriverError(message);
    }
}

// A message of the Erro section in the current language, in Portuguese where the language file has none.
QString errorMessage(const char* key, const char* portuguese)
{
    const QString text = Language::message(QStringLiteral("Erro"), QLatin1String(key));
    return text.isEmpty() ? QString::fromUtf8(portuguese) : text;
}

QString quotedOption(const QString& value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

// Opens the PostgreSQL database of an address through Qt's driver, handing it the settings libpq itself reads
// from the address: the host and the database as the driver's own, every other one as a connection option.
// Nothing is filled in here: what the address leaves out libpq takes from its environment (PGUSER, PGPORT, a
// service file, ~/.pgpass), as psql would.
QSqlDatabase openPostgres(const QString& location, const QString& connectionName)
{
    char* parseError = nullptr;
    const std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
        PQconninfoParse(location.toUtf8().constData(), &parseError), &PQconninfoFree);
    if (!options) {
        const QString reason = parseError ? QString::fromUtf8(parseError).trimmed() : QStringLiteral("out of memory");
        PQfreemem(parseError);
        // Not the address itself: it may carry a password.
        throw DriverError(reason);
    }
    QString host;
    QString database;
    QStringList settings;
    bool hasConnectTimeout = false;
    for (const PQconninfoOption* option = options.get(); option->keyword; ++option) {
        if (!option->val) {
            continue;
        }
        const QString keyword = QString::fromUtf8(option->keyword);
        const QString value = QString::fromUtf8(option->val);
        if (keyword == QLatin1String("password")) {
            throw PlainError(errorMessage(
                "sMsgBancoSenhaNoEndereco",
                "O endereço do banco de dados no config.ini contém uma senha. Retire-a do endereço e guarde-a no "
                "arquivo ~/.pgpass do usuário (ou no arquivo que a variável PGPASSFILE indicar)."));
        }
        if (keyword == QLatin1String("host")) {
            host = value;
        } else if (keyword == QLatin1String("dbname")) {
            database = value;
        } else {
            // Qt's driver joins its options with ";" and turns every ";" into a space.
            if (value.contains(QLatin1Char(';'))) {
                throw DriverError(
                    QStringLiteral("The database address: the value of %1 cannot hold a semicolon").arg(keyword));
            }
            hasConnectTimeout = hasConnectTimeout || keyword == QLatin1String("connect_timeout");
            settings << keyword + QLatin1Char('=') + quotedOption(value);
        }
    }
    // A server that does not answer ends the start-up with a message instead of holding it for minutes.
    if (!hasConnectTimeout) {
        settings << QStringLiteral("connect_timeout=10");
    }
    settings << QStringLiteral("fallback_application_name=") + quotedOption(QStringLiteral("Tollbook"));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    db.setHostName(host);
    db.setDatabaseName(database);
    db.setConnectOptions(settings.join(QLatin1Char(';')));
    openOrThrow(db, connectionName);
    try {
        execOrThrow(db, QStringLiteral("SET client_encoding = 'UTF8'"));
        execOrThrow(db, QStringLiteral("SET DateStyle = 'ISO, YMD'"));
        // Dates and times are stored without a time zone, as the local wall-clock time of the installation that
        // wrote them. Qt's driver sends a date and time as UTC with its zone, which the server turns into the
        // session's zone: the session's zone is this computer's, so the stored time is the one the program
        // meant (and the server's current_date is today here). A zone the server does not know leaves its own.
        const QByteArray zone = QTimeZone::systemTimeZoneId();
        if (!zone.isEmpty()) {
            QSqlQuery query(db);
            QString literal = QString::fromUtf8(zone);
            literal.replace(QLatin1Char('\''), QLatin1String("''"));
            if (!query.exec(QStringLiteral("SET TimeZone = '%1'").arg(literal))) {
                qWarning("The database keeps its own time zone: %s",
                         qUtf8Printable(Database::driverMessage(query.lastError())));
            }
        }
        // As on SQLite, a row another installation holds locked is waited for (10 s), not for ever.
        execOrThrow(db, QStringLiteral("SET lock_timeout = '10s'"));
    } catch (...) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw;
    }
    return db;
}

void createPostgres(const QString& location)
{
    const QString connectionName = QStringLiteral("tollbook-create");
    QSqlDatabase db = openPostgres(location, connectionName);
    try {
        if (!db.transaction()) {
            throw DriverError(Database::driverMessage(db.lastError()));
        }
        {
            QSqlQuery query(db);
            QStringList names;
            for (const QString& table : Schema::tableNames()) {
                names << QLatin1Char('\'') + table.toLower() + QLatin1Char('\'');
            }
            if (!query.exec(QStringLiteral("SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname ="
                                           " current_schema() AND tablename IN (%1)")
                                .arg(names.join(QLatin1Char(',')))) ||
                !query.next()) {
                throw DriverError(Database::driverMessage(query.lastError()));
            }
            if (query.value(0).toInt() > 0) {
                throw PlainError(QStringLiteral("O banco de dados já tem as tabelas do Tollbook: %1").arg(location));
            }
        }
        for (const QString& statement : Schema::createStatements(Schema::Dialect::Postgres)) {
            execOrThrow(db, statement);
        }
        if (!db.commit()) {
            throw DriverError(Database::driverMessage(db.lastError()));
        }
    } catch (...) {
        db.rollback();
        db = QSqlDatabase();
        Database::close(connectionName);
        throw;
    }
    db = QSqlDatabase();
    Database::close(connectionName);
}

// SQLite's locking cannot be relied upon on a network file system: a file there would end up corrupted when two
// installations write it. Refused with the way out, a PostgreSQL database.
void refuseNetworkFolder(const QString& path, const QString& probed)
{
    const QString network = FileSystems::networkFileSystem(probed);
    if (!network.isEmpty()) {
        throw PlainError(Language::format(
            errorMessage("sMsgBancoEmRede",
                         "O banco de dados %s está numa pasta de rede (%s). O SQLite não funciona com segurança numa "
                         "pasta de rede: seus dados podem ser corrompidos. Para vários servidores de impressão, use um "
                         "banco de dados PostgreSQL (veja \"Several print servers, one database\" no README)."),
            { path, network }));
    }
}

// The address as libpq reads it: without the blanks around it, its scheme in lower case.
QString postgresAddress(const QString& location)
{
    const QString trimmed = location.trimmed();
    const int schemeEnd = int(trimmed.indexOf(QLatin1String("://")));
    return trimmed.left(schemeEnd).toLower() + trimmed.mid(schemeEnd);
}

// The locations of the open connections, by connection name; connections open on several threads.
QMutex locationsLock;
QHash<QString, QString>& locations()
{
    static QHash<QString, QString> byConnection;
    return byConnection;
}

void rememberLocation(const QString& connectionName, const QString& location)
{
    const QMutexLocker locker(&locationsLock);
    locations().insert(connectionName, location);
}

} // namespace

QString Database::location(const QString& connectionName)
{
    const QMutexLocker locker(&locationsLock);
    return locations().value(connectionName);
}

bool Database::isPostgresLocation(const QString& location)
{
    const QString trimmed = location.trimmed();
    return trimmed.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           trimmed.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

bool Database::isPostgres(const QString& connectionName)
{
    return QSqlDatabase::contains(connectionName) &&
           QSqlDatabase::database(connectionName, false).driverName() == QLatin1String("QPSQL");
}

QString Database::driverMessage(const QSqlError& error)
{
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.text().trimmed() : text;
}

QSqlDatabase Database::open(const QString& location, const QString& connectionName)
{
    close(connectionName);
    if (isPostgresLocation(location)) {
        QSqlDatabase db = openPostgres(postgresAddress(location), connectionName);
        rememberLocation(connectionName, postgresAddress(location));
        return db;
    }
    const QString& path = location;
    const QFileInfo file(path);
    if (path.trimmed().isEmpty() || !file.isFile()) {
        throw DriverError(QStringLiteral("Could not find file '%1'.").arg(path));
    }
    refuseNetworkFolder(file.absoluteFilePath(), file.absoluteFilePath());
    alignSidecarPermissions(file.absoluteFilePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(file.absoluteFilePath());
    openOrThrow(db, connectionName);
    try {
        // A file that is no database fails here rather than at the first dataset.
        execOrThrow(db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
        registerCollation(connectionName);
        configureConnection(db);
        adoptCollation(db);
        convertDecimalPrices(db);
    } catch (...) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw;
    }
    rememberLocation(connectionName, file.absoluteFilePath());
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
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        if (db.isOpen() && db.driverName() == QLatin1String("QSQLITE")) {
            KeptStatement::releaseAll(SqliteStatement::connectionHandle(connectionName));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

void Database::create(const QString& location)
{
    if (isPostgresLocation(location)) {
        createPostgres(postgresAddress(location));
        return;
    }
    const QString& path = location;
    if (QFileInfo::exists(path)) {
        throw PlainError(QStringLiteral("O arquivo já existe: %1").arg(path));
    }
    refuseNetworkFolder(QFileInfo(path).absoluteFilePath(), QFileInfo(path).absolutePath());
    // The file holds the administrator's and the mail server's passwords: it is made here for its owner
    // and group only, and SQLite gives its journal files the same mode.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0660);
    if (fd < 0) {
        if (errno == EEXIST) {
            throw PlainError(QStringLiteral("O arquivo já existe: %1").arg(path));
        }
        throw PlainError(QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    ::close(fd);
    const QString connectionName = QStringLiteral("tollbook-create");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(path);
        try {
            if (!db.open()) {
                throw DriverError(Database::driverMessage(db.lastError()));
            }
            registerCollation(connectionName);
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
            QFile::remove(path);
            QFile::remove(path + QStringLiteral("-wal"));
            QFile::remove(path + QStringLiteral("-shm"));
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
