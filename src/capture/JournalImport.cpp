#include "capture/JournalImport.h"

#include "capture/JournalFormat.h"
#include "capture/JournalText.h"
#include "data/Database.h"
#include "data/Dataset.h"
#include "data/Field.h"
#include "data/Formats.h"
#include "data/SqliteStatement.h"
#include "data/TextCompare.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tollbook {

namespace {

const QString ConnectionName = QStringLiteral("Importacao");
const QString NotDefined = QStringLiteral("Não Definido");
constexpr int ProgressInterval = 100; // milliseconds between two progress reports
constexpr int CheckEvery = 256;       // lines between two looks at the clock and the cancel flag

// The columns a row is filled with, in the order they are filled.
enum Column {
    PrintName,
    ComputerId,
    UsuarioId,
    PrintDocument,
    PrintDrive,
    PrintPages,
    PrintData,
    PrintHora,
    PaperSize,
    PaperLength,
    PaperWidth,
    PrintColor,
    PrintDuplex,
    ProjetoId,
    ColumnCount
};
const char* const ColumnNames[ColumnCount] = {
    "Print_Name", "Computer_Id", "Usuario_Id",        "Print_Document",   "Print_Drive", "Print_Pages",  "Print_Data",
    "Print_Hora", "dmPaperSize", "Print_PaperLength", "Print_PaperWidth", "Print_Color", "Print_Duplex", "Projeto_Id"
};

QString quotedIdentifier(const QString& name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

[[noreturn]] void failOn(sqlite3* db)
{
    throw DriverError(QString::fromUtf8(sqlite3_errmsg(db)));
}

void exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        failOn(db);
    }
}

// The import's own connection, opened and closed on the thread that uses it: the SQLite library's handle
// under it, or libpq's.
class ImportConnection
{
public:
    explicit ImportConnection(const QString& location)
    {
        Database::open(location, ConnectionName);
        try {
            if (Database::isPostgres(ConnectionName)) {
                const QVariant handle = QSqlDatabase::database(ConnectionName, false).driver()->handle();
                // Qt names the type by libpq's struct tag.
                if (handle.isValid() &&
                    (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0)) {
                    m_pg = *static_cast<PGconn* const*>(handle.constData());
                }
                if (!m_pg) {
                    throw DriverError(QStringLiteral("The connection %1 has no libpq handle: %2")
                                          .arg(ConnectionName, QString::fromLatin1(handle.typeName())));
                }
            } else {
                m_db = SqliteStatement::connectionHandle(ConnectionName);
            }
        } catch (...) {
            Database::close(ConnectionName);
            throw;
        }
    }
    ~ImportConnection() { Database::close(ConnectionName); }
    ImportConnection(const ImportConnection&) = delete;
    ImportConnection& operator=(const ImportConnection&) = delete;
    sqlite3* handle() const { return m_db; }
    PGconn* postgres() const { return m_pg; }

private:
    sqlite3* m_db = nullptr;
    PGconn* m_pg = nullptr;
};

// Rolls back unless committed.
class WriteTransaction
{
public:
    explicit WriteTransaction(sqlite3* db)
        : m_db(db)
    {
        // The write lock is taken at once: the copy's number is read under it.
        exec(m_db, "BEGIN IMMEDIATE");
    }
    ~WriteTransaction()
    {
        if (!sqlite3_get_autocommit(m_db)) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void commit() { exec(m_db, "COMMIT"); }

private:
    sqlite3* m_db;
};

// What the database says of one row, as opposed to a failure of the whole import: the line is refused,
// the transaction goes on.
bool refusesTheRow(int result)
{
    switch (result & 0xff) {
        case SQLITE_CONSTRAINT:
        case SQLITE_MISMATCH:
        case SQLITE_TOOBIG:
        case SQLITE_RANGE:
            return true;
        default:
            return false;
    }
}

void bindText(sqlite3_stmt* statement, int column, QStringView text)
{
    // A null pointer would bind NULL; an empty field is stored as an empty text.
    static const char16_t empty[] = u"";
    const void* data = text.isEmpty() ? static_cast<const void*>(empty) : static_cast<const void*>(text.utf16());
    sqlite3_bind_text16(statement, column + 1, data, int(text.size() * 2), SQLITE_STATIC);
}

void bindUtf8(sqlite3_stmt* statement, int column, const QByteArray& text)
{
    sqlite3_bind_text(statement, column + 1, text.constData(), int(text.size()), SQLITE_STATIC);
}

void bindInteger(sqlite3_stmt* statement, int column, qint64 value)
{
    sqlite3_bind_int64(statement, column + 1, value);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void cannotWrite(const QString& path, const QString& why)
{
    throw PlainError(QStringLiteral("O arquivo %1 não pode ser gravado: %2").arg(path, why));
}

[[noreturn]] void cannotRead(const QFile& file)
{
    throw PlainError(QStringLiteral("O arquivo %1 não pode ser lido: %2").arg(file.fileName(), file.errorString()));
}

void writeWhole(const QString& path, const QByteArray& bytes)
{
    const AtomicWriteResult written = writeFileAtomically(path, bytes);
    if (!written.ok) {
        throw PlainError(QString::fromLocal8Bit(written.error.c_str()));
    }
}

// The refused lines of one copy, appended to the rejected file as they come, never gathered in memory. Where
// the file stood before them is noted in the mark file, with the copy's id: an attempt at the same copy that
// did not commit is taken back by the next attempt, so every copy's lines are kept once.
class RejectedLines
{
public:
    RejectedLines(const QString& path, const QString& markPath, const QString& copyId)
        : m_path(path)
        , m_markPath(markPath)
        , m_copyId(copyId)
        , m_file(path)
    {
    }

    // Cuts the lines of an attempt at this copy that did not commit.
    void takeBackUncommitted()
    {
        QFile mark(m_markPath);
        if (!mark.open(QIODevice::ReadOnly)) {
            return;
        }
        const QList<QByteArray> words = mark.read(256).trimmed().split(' ');
        bool isNumber = false;
        const qint64 offset = words.size() == 2 ? words.at(1).toLongLong(&isNumber) : -1;
        if (!isNumber || offset < 0 || QString::fromLatin1(words.at(0)) != m_copyId) {
            return;
        }
        m_marked = true;
        // A file cut or removed meanwhile holds nothing of that attempt.
        const QFileInfo file(m_path);
        if (file.exists() && file.size() > offset &&
            ::truncate(QFile::encodeName(m_path).constData(), off_t(offset)) != 0) {
            cannotWrite(m_path, systemError(errno));
        }
    }

    void add(const QString& reason, const QString& line)
    {
        if (!m_file.isOpen()) {
            open();
        }
        const QByteArray bytes = reason.toUtf8() + '\t' + line.toUtf8() + '\n';
        if (m_file.write(bytes) != bytes.size()) {
            cannotWrite(m_path, m_file.errorString());
        }
    }

    // On disk before the commit: after it the copy's lines exist nowhere else.
    void sync()
    {
        if (m_file.isOpen() && (!m_file.flush() || ::fsync(m_file.handle()) != 0)) {
            cannotWrite(m_path, m_file.error() != QFileDevice::NoError ? m_file.errorString() : systemError(errno));
        }
    }

private:
    void open()
    {
        const QFileInfo file(m_path);
        if (!m_marked) {
            const qint64 offset = file.exists() ? file.size() : 0;
            writeWhole(m_markPath, m_copyId.toLatin1() + ' ' + QByteArray::number(offset) + '\n');
            m_marked = true;
        }
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            cannotWrite(m_path, m_file.errorString());
        }
        // Marked as UTF-8, so that any editor (and the journal reader) takes it as such.
        if (m_file.size() == 0 && m_file.write("\xEF\xBB\xBF") != 3) {
            cannotWrite(m_path, m_file.errorString());
        }
    }

    QString m_path;
    QString m_markPath;
    QString m_copyId;
    QFile m_file;
    bool m_marked = false;
};

// One job's values as they are stored, in the order of the columns.
struct JobValues
{
    QStringView texts[ColumnCount];
    qint64 numbers[ColumnCount] = {};
    const QByteArray* data = nullptr; // Print_Data and Print_Hora, as ISO texts
    const QByteArray* hora = nullptr;
};

bool isTextColumn(int column)
{
    return column <= PrintDrive || column == PrintColor || column == PrintDuplex;
}

using PgResult = std::unique_ptr<PGresult, decltype(&PQclear)>;

// The database's own words for a failure: its primary message where it gave one.
QString postgresMessage(PGconn* pg, const PGresult* result)
{
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    return QString::fromUtf8(primary ? primary : PQerrorMessage(pg)).trimmed();
}

// What the database says of the rows it was sent, as opposed to a failure of the whole import (a lost
// connection, a lock waited for too long): a value it does not take, a key or check it refuses, a trigger that
// raises.
bool postgresRefusesTheRows(const PGresult* result)
{
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    return state &&
           (std::strncmp(state, "22", 2) == 0 || std::strncmp(state, "23", 2) == 0 || std::strcmp(state, "P0001") == 0);
}

// The rows of one copy stored on PostgreSQL in one transaction. Jobs are gathered into batches sent with COPY;
// a batch the database refuses (COPY stores all of it or nothing) is sent again in parts under savepoints, so
// that only the refused lines are left out.
class PostgresRows
{
public:
    using Reject = std::function<void(const QString& reason, const QString& line)>;
    using Stored = std::function<void(const QString& user, const QString& printer)>;

    static constexpr int BatchRows = 10000;

    PostgresRows(PGconn* pg, const QString& copySql, Reject reject, Stored stored)
        : m_pg(pg)
        , m_copySql(copySql.toUtf8())
        , m_reject(std::move(reject))
        , m_stored(std::move(stored))
    {
    }
    ~PostgresRows()
    {
        if (m_open) {
            PgResult(PQexec(m_pg, "ROLLBACK"), &PQclear);
        }
    }
    PostgresRows(const PostgresRows&) = delete;
    PostgresRows& operator=(const PostgresRows&) = delete;

    void begin()
    {
        command("BEGIN");
        m_open = true;
    }

    // Records the copy as stored, before its rows: an import of the same copy running meanwhile (another
    // process) waits on the key until this one ends, and then finds the copy stored. False, and the transaction
    // ended, when the copy is stored already.
    bool recordCopy(const QString& copyId, const QString& when)
    {
        const QByteArray id = copyId.toUtf8();
        const QByteArray time = when.toUtf8();
        const char* values[] = { id.constData(), time.constData() };
        const PgResult result(PQexecParams(m_pg,
                                           "INSERT INTO ArquivoImportado (Arquivo_Id, Data_Importacao) VALUES ($1, $2)",
                                           2, nullptr, values, nullptr, nullptr, 0),
                              &PQclear);
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK) {
            return true;
        }
        const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
        if (state && std::strcmp(state, "23505") == 0) {
            command("ROLLBACK");
            m_open = false;
            return false;
        }
        throw DriverError(postgresMessage(m_pg, result.get()));
    }

    void add(const JobValues& job, const QString& line)
    {
        const qsizetype start = m_data.size();
        for (int column = 0; column < ColumnCount; ++column) {
            if (column > 0) {
                m_data += '\t';
            }
            if (column == PrintData || column == PrintHora) {
                m_data += column == PrintData ? *job.data : *job.hora;
            } else if (isTextColumn(column)) {
                appendEscaped(job.texts[column]);
            } else {
                m_data += QByteArray::number(job.numbers[column]);
            }
        }
        m_data += '\n';
        m_pending.push_back(
            { line, job.texts[UsuarioId].toString(), job.texts[PrintName].toString(), start, m_data.size() });
        if (int(m_pending.size()) >= BatchRows) {
            flush();
        }
    }

    // Sends the jobs gathered.
    void flush()
    {
        if (m_pending.empty()) {
            return;
        }
        send(0, qsizetype(m_pending.size()));
        m_data.clear();
        m_pending.clear();
    }

    void commit()
    {
        flush();
        const PgResult result(PQexec(m_pg, "COMMIT"), &PQclear);
        m_open = false;
        // A transaction that had failed answers COMMIT with a rollback.
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK || std::strcmp(PQcmdStatus(result.get()), "COMMIT") != 0) {
            throw DriverError(postgresMessage(m_pg, result.get()));
        }
    }

private:
    struct Pending
    {
        QString line;
        QString user;
        QString printer;
        qsizetype start;
        qsizetype end;
    };

    // Sends the gathered jobs first to last (excluded) with one COPY under a savepoint. When the database
    // refuses them, each half is sent again on its own, down to the single rows it refuses: a few refused lines
    // among many cost a few statements each, not one per line.
    void send(qsizetype first, qsizetype last)
    {
        const qsizetype start = m_pending[size_t(first)].start;
        command("SAVEPOINT rows");
        const PgResult result = copy(m_data.constData() + start, m_pending[size_t(last - 1)].end - start);
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK) {
            command("RELEASE SAVEPOINT rows");
            for (qsizetype row = first; row < last; ++row) {
                m_stored(m_pending[size_t(row)].user, m_pending[size_t(row)].printer);
            }
            return;
        }
        if (!postgresRefusesTheRows(result.get())) {
            throw DriverError(postgresMessage(m_pg, result.get()));
        }
        command("ROLLBACK TO SAVEPOINT rows");
        command("RELEASE SAVEPOINT rows");
        if (last - first == 1) {
            m_reject(QStringLiteral("Linha recusada pelo banco de dados: ") + postgresMessage(m_pg, result.get()),
                     m_pending[size_t(first)].line);
            return;
        }
        const qsizetype middle = first + (last - first) / 2;
        send(first, middle);
        send(middle, last);
    }

    void command(const char* sql)
    {
        const PgResult result(PQexec(m_pg, sql), &PQclear);
        if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
            throw DriverError(postgresMessage(m_pg, result.get()));
        }
    }

    // COPY's text format: a backslash, a tab and a line break are escaped; everything else stands as it is (a
    // NUL character, which no PostgreSQL text can hold, is refused by the database with its line).
    void appendEscaped(QStringView text)
    {
        const QByteArray bytes = text.toUtf8();
        for (const char c : bytes) {
            switch (c) {
                case '\\':
                    m_data += "\\\\";
                    break;
                case '\t':
                    m_data += "\\t";
                    break;
                case '\n':
                    m_data += "\\n";
                    break;
                case '\r':
                    m_data += "\\r";
                    break;
                default:
                    m_data += c;
            }
        }
    }

    // One COPY of rows in its text format; the result that ends it.
    PgResult copy(const char* data, qsizetype size)
    {
        PgResult result(PQexec(m_pg, m_copySql.constData()), &PQclear);
        if (PQresultStatus(result.get()) != PGRES_COPY_IN) {
            throw DriverError(postgresMessage(m_pg, result.get()));
        }
        // Sent in pieces: libpq takes an int per call.
        constexpr qsizetype Piece = 1 << 20;
        for (qsizetype sent = 0; sent < size; sent += Piece) {
            if (PQputCopyData(m_pg, data + sent, int(std::min(Piece, size - sent))) != 1) {
                throw DriverError(postgresMessage(m_pg, nullptr));
            }
        }
        if (PQputCopyEnd(m_pg, nullptr) != 1) {
            throw DriverError(postgresMessage(m_pg, nullptr));
        }
        result.reset(PQgetResult(m_pg));
        // The end of the command's results.
        while (PGresult* more = PQgetResult(m_pg)) {
            PQclear(more);
        }
        return result;
    }

    PGconn* m_pg;
    QByteArray m_copySql;
    Reject m_reject;
    Stored m_stored;
    QByteArray m_data;
    std::vector<Pending> m_pending;
    bool m_open = false;
};

// The number of lines of the copy, read through once without keeping them.
qint64 countLines(const QString& path, const std::atomic<bool>& cancel)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        cannotRead(file);
    }
    JournalText text(&file);
    qint64 count = 0;
    while (text.skipLine()) {
        if (++count % 65536 == 0 && cancel) {
            return -1;
        }
    }
    return count;
}

} // namespace

QString ImportTarget::userKey(const QString& user)
{
    // As the database compares: without letter case, accented letters too.
    return TextCompare::key(user);
}

void ImportTarget::addUser(const QString& user, const QVariant& project)
{
    const QString key = userKey(user);
    if (!projects.contains(key)) {
        projects.insert(key, project.isNull() ? 0 : project.toLongLong());
    }
}

ImportTarget ImportTarget::read(const QString& connectionName)
{
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    if (!db.isOpen()) {
        throw DatabaseError(QStringLiteral("Missing or closed connection '%1'").arg(connectionName));
    }
    ImportTarget target;
    target.databasePath = Database::location(connectionName);
    if (target.databasePath.isEmpty()) {
        target.databasePath = db.databaseName();
    }
    QSqlQuery query(db);
    if (Database::isPostgres(connectionName)) {
        // The widths are the checks of the text columns: "CHECK ((length((print_name)::text) <= 100))".
        if (!query.exec(QStringLiteral("SELECT pg_get_constraintdef(oid) FROM pg_catalog.pg_constraint"
                                       " WHERE conrelid = 'impressao'::regclass AND contype = 'c'"))) {
            throw DriverError(Database::driverMessage(query.lastError()));
        }
        static const QRegularExpression checkedWidth(
            QStringLiteral("^CHECK \\(\\(length\\(\\(?(\\w+)\\)?(?:::text)?\\) <= (\\d+)\\)\\)$"));
        while (query.next()) {
            const QRegularExpressionMatch match = checkedWidth.match(query.value(0).toString());
            if (match.hasMatch()) {
                target.columnWidths.insert(match.captured(1), match.captured(2).toInt());
            }
        }
    } else {
        if (!query.exec(QStringLiteral("PRAGMA table_info(Impressao)"))) {
            throw DriverError(Database::driverMessage(query.lastError()));
        }
        static const QRegularExpression declaredWidth(QStringLiteral("\\(\\s*(\\d+)\\s*\\)"));
        while (query.next()) {
            const QRegularExpressionMatch match = declaredWidth.match(query.value(2).toString());
            if (match.hasMatch()) {
                target.columnWidths.insert(query.value(1).toString(), match.captured(1).toInt());
            }
        }
    }
    if (!query.exec(QStringLiteral("SELECT Usuario_id, Projeto_Id FROM Usuario ORDER BY Usuario_id"))) {
        throw DriverError(Database::driverMessage(query.lastError()));
    }
    while (query.next()) {
        target.addUser(query.value(0).toString(), query.value(1));
    }
    return target;
}

struct JournalImport::Plan
{
    QString databasePath;
    QString copyPath;
    QString rejectedPath;
    QString rejectedMarkPath;
    QString insertSql;
    QString copySql;
    int widths[ColumnCount] = {};
    QHash<QString, qint64> projects; // by ImportTarget::userKey()
    QChar decimalMark;
    Clock clock;
};

struct JournalImport::Outcome
{
    bool processed = false;
    bool alreadyStored = false;
    bool cancelled = false;
    qint64 rows = 0;
    qint64 rejected = 0;
    qint64 emptyLines = 0;
    QSet<QString> users;
    QSet<QString> printers;
};

JournalImport::JournalImport(const QString& journalPath, const QString& copyPath, QObject* parent)
    : QObject(parent)
    , m_journalPath(journalPath)
    , m_copyPath(copyPath)
    , m_clock(&tollbook::Clock::now)
{
    setObjectName(QStringLiteral("Importacao"));
}

JournalImport::~JournalImport()
{
    if (m_thread) {
        m_cancel = true;
        m_thread->wait();
    }
}

QString JournalImport::sequencePath() const
{
    const QFileInfo copy(m_copyPath);
    return copy.dir().filePath(copy.completeBaseName() + QStringLiteral(".seq"));
}

QString JournalImport::rejectedPath() const
{
    const QFileInfo journal(m_journalPath);
    return journal.dir().filePath(journal.completeBaseName() + QStringLiteral(".rejected"));
}

QString JournalImport::rejectedMarkPath() const
{
    const QFileInfo copy(m_copyPath);
    return copy.dir().filePath(copy.completeBaseName() + QStringLiteral(".rejected-from"));
}

void JournalImport::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(&tollbook::Clock::now);
}

void JournalImport::cancel()
{
    // Cleared when an import starts: a cancel between two imports cancels neither.
    m_cancel = true;
}

bool JournalImport::isCopyStored(const QString& connectionName, const QString& copyId)
{
    QSqlQuery query(QSqlDatabase::database(connectionName, false));
    query.prepare(QStringLiteral("SELECT count(*) FROM ArquivoImportado WHERE Arquivo_Id = ?"));
    query.addBindValue(copyId);
    if (!query.exec() || !query.next()) {
        throw DriverError(Database::driverMessage(query.lastError()));
    }
    return query.value(0).toInt() > 0;
}

int JournalImport::storedCopyCount(const QString& connectionName)
{
    QSqlQuery query(QSqlDatabase::database(connectionName, false));
    if (!query.exec(QStringLiteral("SELECT count(*) FROM ArquivoImportado")) || !query.next()) {
        throw DriverError(Database::driverMessage(query.lastError()));
    }
    return query.value(0).toInt();
}

QString JournalImport::readCopyId() const
{
    QFile file(sequencePath());
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    const QString id = QString::fromLatin1(file.read(64).trimmed());
    // A foreign file gives no id: the copy is then numbered anew and imported.
    return QUuid::fromString(id).isNull() ? QString() : id;
}

void JournalImport::writeCopyId(const QString& copyId) const
{
    // Checked on disk before anything relies on it: a full disk must never leave an empty id behind, which a
    // later attempt would take for a copy never stored.
    writeWhole(sequencePath(), copyId.toLatin1() + '\n');
}

bool JournalImport::takeOver() const
{
    writeCopyId(QUuid::createUuid().toString(QUuid::WithoutBraces));
    // Renamed, never copied and deleted: a job the agent adds meanwhile either stays in the journal or moves
    // with the copy, and the copy is never left behind half written.
    // The agent locks the journal for each line it writes and looks again at the name once it holds the
    // lock: holding the lock across the rename means no line of its goes into the copy after this. The lock
    // is asked for without waiting, again and again, so that a cancel or a lock held for good cannot keep
    // the import (and the application's end) waiting.
    const QByteArray journal = QFile::encodeName(m_journalPath);
    const int lockedJournal = ::open(journal.constData(), O_RDONLY | O_CLOEXEC);
    if (lockedJournal >= 0) {
        const QDeadlineTimer deadline(m_lockWait);
        while (::flock(lockedJournal, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EWOULDBLOCK) {
                break; // a file system without locks: renamed without one
            }
            if (m_cancel || deadline.hasExpired()) {
                ::close(lockedJournal);
                if (m_cancel) {
                    return false;
                }
                throw PlainError(QStringLiteral("O arquivo %1 está bloqueado por outro processo; ele será importado "
                                                "numa próxima vez.")
                                     .arg(m_journalPath));
            }
            QThread::msleep(10);
        }
    }
    const int renamed = std::rename(journal.constData(), QFile::encodeName(m_copyPath).constData());
    const int renameError = errno;
    if (lockedJournal >= 0) {
        ::close(lockedJournal);
    }
    if (renamed != 0) {
        throw PlainError(QStringLiteral("O arquivo %1 não pode ser renomeado para %2: %3")
                             .arg(m_journalPath, m_copyPath, systemError(renameError)));
    }
    return true;
}

JournalImport::Result JournalImport::importPending(const ImportTarget& target)
{
    Result result;
    if (m_running) {
        return result;
    }
    QScopedValueRollback<bool> running(m_running, true);
    m_cancel = false;
    if (!QFileInfo::exists(m_copyPath) && !QFileInfo::exists(m_journalPath)) {
        return result;
    }

    Plan plan;
    plan.databasePath = target.databasePath;
    plan.copyPath = m_copyPath;
    plan.rejectedPath = rejectedPath();
    plan.rejectedMarkPath = rejectedMarkPath();
    plan.decimalMark = Formats::decimalSeparator();
    plan.clock = m_clock;
    plan.projects = target.projects;
    QStringList columns;
    QStringList plainColumns;
    for (int column = 0; column < ColumnCount; ++column) {
        const QString name = QLatin1String(ColumnNames[column]);
        columns << quotedIdentifier(name);
        // PostgreSQL spells every name of the schema in lower case: unquoted, as it was created.
        plainColumns << name;
        for (auto width = target.columnWidths.cbegin(); width != target.columnWidths.cend(); ++width) {
            if (width.key().compare(name, Qt::CaseInsensitive) == 0) {
                plan.widths[column] = width.value();
            }
        }
    }
    plan.insertSql = QStringLiteral("INSERT INTO Impressao (%1) VALUES (%2)")
                         .arg(columns.join(QStringLiteral(", ")),
                              QStringList(ColumnCount, QStringLiteral("?")).join(QStringLiteral(", ")));
    plan.copySql = QStringLiteral("COPY Impressao (%1) FROM STDIN").arg(plainColumns.join(QStringLiteral(", ")));

    const Outcome outcome = runInThread(plan);
    if (outcome.cancelled) {
        throw SilentAbort();
    }
    result.copyProcessed = outcome.processed;
    result.alreadyStored = outcome.alreadyStored;
    result.rows = outcome.rows;
    result.rejected = outcome.rejected;
    result.emptyLines = outcome.emptyLines;
    result.users = outcome.users;
    result.printers = outcome.printers;
    return result;
}

JournalImport::Outcome JournalImport::work(const Plan& plan, const std::function<void(qint64, qint64)>& report) const
{
    Outcome outcome;
    if (!QFileInfo::exists(m_copyPath)) {
        if (!QFileInfo::exists(m_journalPath)) {
            return outcome;
        }
        if (!takeOver()) {
            outcome.cancelled = true;
            return outcome;
        }
    }
    QString copyId = readCopyId();
    if (copyId.isEmpty()) {
        // A copy without its id: given one now, before anything is stored.
        copyId = QUuid::createUuid().toString(QUuid::WithoutBraces);
        writeCopyId(copyId);
    }
    outcome = run(plan, copyId, m_cancel, report);
    if (outcome.cancelled) {
        return outcome;
    }

    // Stored: only now may the copy go.
    if (!QFile::remove(m_copyPath) && QFileInfo::exists(m_copyPath)) {
        throw PlainError(QStringLiteral("O arquivo %1 não pode ser removido.").arg(m_copyPath));
    }
    QFile::remove(sequencePath());
    QFile::remove(rejectedMarkPath());
    outcome.processed = true;
    return outcome;
}

JournalImport::Outcome JournalImport::runInThread(const Plan& plan)
{
    Outcome outcome;
    std::exception_ptr failure;
    const auto report = [this](qint64 done, qint64 total) {
        QMetaObject::invokeMethod(
            this, [this, done, total]() { Q_EMIT progress(done, total); }, Qt::QueuedConnection);
    };
    std::unique_ptr<QThread> thread(QThread::create([&]() {
        try {
            outcome = work(plan, report);
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    thread->setObjectName(QStringLiteral("Importacao"));

    QEventLoop loop;
    bool finished = false;
    connect(thread.get(), &QThread::finished, &loop, [&finished, &loop]() {
        finished = true;
        loop.quit();
    });
    m_thread = thread.get();
    thread->start();
    if (!finished) {
        loop.exec();
    }
    if (!thread->isFinished()) {
        // The loop was left before the import ended: the application is ending. The rows roll back and the
        // copy stays for the next start.
        m_cancel = true;
    }
    thread->wait();
    m_thread = nullptr;
    if (failure) {
        std::rethrow_exception(failure);
    }
    return outcome;
}

JournalImport::Outcome JournalImport::run(const Plan& plan, const QString& copyId, const std::atomic<bool>& cancel,
                                          const std::function<void(qint64, qint64)>& report)
{
    Outcome outcome;
    const qint64 total = countLines(plan.copyPath, cancel);
    if (total < 0) {
        outcome.cancelled = true;
        return outcome;
    }
    report(0, total);
    QFile copy(plan.copyPath);
    if (!copy.open(QIODevice::ReadOnly)) {
        cannotRead(copy);
    }
    JournalText text(&copy);

    ImportConnection connection(plan.databasePath);
    RejectedLines rejected(plan.rejectedPath, plan.rejectedMarkPath, copyId);
    const auto reject = [&](const QString& reason, const QString& line) {
        rejected.add(reason, line);
        ++outcome.rejected;
    };
    const auto stored = [&outcome](QStringView user, QStringView printer) {
        ++outcome.rows;
        for (const auto& [names, name] :
             { std::pair{ &outcome.users, user }, std::pair{ &outcome.printers, printer } }) {
            if (!name.isEmpty()) {
                names->insert(ImportTarget::userKey(name.toString()));
            }
        }
    };

    // Every job of the copy, in file order, handed to store(job, line); lines that do not convert are refused
    // here. False when cancelled.
    const auto importLines = [&](auto&& store) {
        TToll record;
        qint64 lastSecond = -1;
        QByteArray dataText;
        QByteArray horaText;
        QElapsedTimer sinceReport;
        sinceReport.start();
        QString line;
        JobValues job;
        job.data = &dataText;
        job.hora = &horaText;
        for (qint64 index = 0; text.nextLine(line); ++index) {
            if (index % CheckEvery == 0 && index > 0) {
                if (cancel) {
                    return false;
                }
                if (sinceReport.elapsed() >= ProgressInterval) {
                    report(index, total);
                    sinceReport.restart();
                }
            }
            // A line without any job (a blank line, the zeros a crash can leave in a file) is no refusal.
            if (JournalFormat::trimmed(line).isEmpty()) {
                ++outcome.emptyLines;
                continue;
            }
            const QString reason = JournalFormat::parse(line, plan.decimalMark, record);
            if (!reason.isEmpty()) {
                reject(reason, line);
                continue;
            }

            // The day and time of the import, not of the job.
            const QDateTime now = plan.clock();
            const qint64 second = now.date().toJulianDay() * 86400 + now.time().msecsSinceStartOfDay() / 1000;
            if (second != lastSecond) {
                lastSecond = second;
                dataText = now.date().toString(Qt::ISODate).toUtf8();
                horaText = FieldValues::toIsoText(QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(),
                                                                              now.time().second())))
                               .toUtf8();
            }
            const auto cut = [&plan](Column column, QStringView value) {
                return JournalFormat::cutToWidth(value, plan.widths[column]);
            };
            const QStringView document = JournalFormat::trimmed(record.pDocument);
            const auto project = plan.projects.constFind(ImportTarget::userKey(record.pUser));

            job.texts[PrintName] = cut(PrintName, record.pPrinter);
            job.texts[ComputerId] = cut(ComputerId, QStringView(record.pMachine).mid(JournalLine::MachinePrefixLength));
            job.texts[UsuarioId] = cut(UsuarioId, record.pUser);
            job.texts[PrintDocument] = cut(PrintDocument, document.isEmpty() ? NotDefined : document);
            job.texts[PrintDrive] = cut(PrintDrive, record.pDriver);
            job.numbers[PrintPages] = record.pTotalPages > 0 ? record.pTotalPages : 1;
            job.numbers[PaperSize] = record.pPaperSize;
            job.numbers[PaperLength] = record.pPaperLength;
            job.numbers[PaperWidth] = record.pPaperWidth;
            job.texts[PrintColor] = cut(PrintColor, record.pColor);
            job.texts[PrintDuplex] = cut(PrintDuplex, record.pDuplex);
            job.numbers[ProjetoId] = project == plan.projects.cend() ? 1 : *project;
            store(job, line);
        }
        return true;
    };

    const QString importedAt = FieldValues::toIsoText(tollbook::Clock::now());
    if (PGconn* pg = connection.postgres()) {
        PostgresRows rows(pg, plan.copySql, reject, stored);
        rows.begin();
        if (!rows.recordCopy(copyId, importedAt)) {
            outcome.alreadyStored = true;
            return outcome;
        }
        rejected.takeBackUncommitted();
        if (!importLines([&rows](const JobValues& job, const QString& line) { rows.add(job, line); })) {
            outcome.cancelled = true;
            return outcome;
        }
        rows.flush();
        rejected.sync();
        rows.commit();
        report(total, total);
        return outcome;
    }

    sqlite3* db = connection.handle();
    // The commit that records the copy as stored must survive a power cut too.
    exec(db, "PRAGMA synchronous = FULL");
    // Appending needs few pages at hand; a large copy spills to the log instead of filling memory.
    exec(db, "PRAGMA cache_size = -8192");
    WriteTransaction transaction(db);
    {
        SqliteStatement stored(ConnectionName,
                               QStringLiteral("SELECT count(*) FROM ArquivoImportado WHERE Arquivo_Id = ?"));
        stored.bind(0, copyId);
        if (stored.step() && stored.integer(0) > 0) {
            outcome.alreadyStored = true;
            return outcome;
        }
    }
    rejected.takeBackUncommitted();

    SqliteStatement insert(ConnectionName, plan.insertSql);
    sqlite3_stmt* statement = insert.handle();
    const bool finished = importLines([&](const JobValues& job, const QString& line) {
        for (int column = 0; column < ColumnCount; ++column) {
            if (column == PrintData || column == PrintHora) {
                bindUtf8(statement, column, column == PrintData ? *job.data : *job.hora);
            } else if (isTextColumn(column)) {
                bindText(statement, column, job.texts[column]);
            } else {
                bindInteger(statement, column, job.numbers[column]);
            }
        }
        const int result = sqlite3_step(statement);
        if (result == SQLITE_DONE) {
            sqlite3_reset(statement);
            stored(job.texts[UsuarioId], job.texts[PrintName]);
            return;
        }
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_reset(statement);
        // A failure that ended the transaction (or any other than a refused row) fails the whole copy.
        if (!refusesTheRow(result) || sqlite3_get_autocommit(db)) {
            throw DriverError(message);
        }
        reject(QStringLiteral("Linha recusada pelo banco de dados: ") + message, line);
    });
    if (!finished) {
        outcome.cancelled = true;
        return outcome;
    }

    rejected.sync();
    {
        SqliteStatement record(
            ConnectionName, QStringLiteral("INSERT INTO ArquivoImportado (Arquivo_Id, Data_Importacao) VALUES (?, ?)"));
        record.bind(0, copyId);
        record.bind(1, importedAt);
        record.step();
    }
    transaction.commit();
    report(total, total);
    return outcome;
}

} // namespace tollbook
