#include "capture/JournalImport.h"

#include "capture/JournalFormat.h"
#include "capture/JournalText.h"
#include "data/Database.h"
#include "data/Dataset.h"
#include "data/Field.h"
#include "data/Formats.h"
#include "data/SqliteStatement.h"
#include "data/TextCompare.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QScopedValueRollback>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

// Users compare as the database compares them: without letter case, accented letters too.
QString userKey(const QString& user)
{
    return TextCompare::key(user);
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

// The import's own connection, opened and closed on the thread that uses it.
class ImportConnection
{
public:
    explicit ImportConnection(const QString& path)
    {
        Database::open(path, ConnectionName);
        try {
            m_db = SqliteStatement::connectionHandle(ConnectionName);
        } catch (...) {
            Database::close(ConnectionName);
            throw;
        }
    }
    ~ImportConnection() { Database::close(ConnectionName); }
    ImportConnection(const ImportConnection&) = delete;
    ImportConnection& operator=(const ImportConnection&) = delete;
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
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

// The copy's bytes: mapped where the file system allows, read otherwise.
class CopyBytes
{
public:
    explicit CopyBytes(const QString& path)
        : m_file(path)
    {
        if (!m_file.open(QIODevice::ReadOnly)) {
            throw PlainError(QStringLiteral("O arquivo %1 não pode ser lido: %2").arg(path, m_file.errorString()));
        }
        const qint64 size = m_file.size();
        if (size > 0) {
            if (uchar* mapped = m_file.map(0, size)) {
                m_view = QByteArrayView(mapped, size);
                return;
            }
        }
        m_read = m_file.readAll();
        if (m_file.error() != QFileDevice::NoError) {
            throw PlainError(QStringLiteral("O arquivo %1 não pode ser lido: %2").arg(path, m_file.errorString()));
        }
        m_view = m_read;
    }
    QByteArrayView view() const { return m_view; }

private:
    QFile m_file;
    QByteArray m_read;
    QByteArrayView m_view;
};

void appendRejected(const QString& path, const QByteArray& lines)
{
    QFile file(path);
    const bool isNew = !file.exists() || file.size() == 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        throw PlainError(QStringLiteral("O arquivo %1 não pode ser gravado: %2").arg(path, file.errorString()));
    }
    // Marked as UTF-8, so that any editor (and the journal reader) takes it as such.
    if ((isNew && file.write("\xEF\xBB\xBF") != 3) || file.write(lines) != lines.size() || !file.flush()) {
        throw PlainError(QStringLiteral("O arquivo %1 não pode ser gravado: %2").arg(path, file.errorString()));
    }
}

} // namespace

struct JournalImport::Plan
{
    QString databasePath;
    QString copyPath;
    QString rejectedPath;
    QString copyId;
    QString insertSql;
    int widths[ColumnCount] = {};
    QHash<QString, qint64> projects; // by userKey()
    QChar decimalMark;
    Clock clock;
};

struct JournalImport::Outcome
{
    bool alreadyStored = false;
    bool cancelled = false;
    qint64 rows = 0;
    qint64 rejected = 0;
};

JournalImport::JournalImport(const QString& journalPath, const QString& copyPath, Dataset* importa, Dataset* users,
                             QObject* parent)
    : QObject(parent)
    , m_journalPath(journalPath)
    , m_copyPath(copyPath)
    , m_importa(importa)
    , m_users(users)
    , m_clock([] { return QDateTime::currentDateTime(); })
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

void JournalImport::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
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
    // A torn or foreign file gives no id: the copy is then numbered anew and imported.
    return QUuid::fromString(id).isNull() ? QString() : id;
}

void JournalImport::writeCopyId(const QString& copyId) const
{
    // Written whole or not at all.
    QSaveFile file(sequencePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(copyId.toLatin1() + '\n') < 0 || !file.commit()) {
        throw PlainError(
            QStringLiteral("O arquivo %1 não pode ser gravado: %2").arg(sequencePath(), file.errorString()));
    }
}

void JournalImport::takeOver()
{
    writeCopyId(QUuid::createUuid().toString(QUuid::WithoutBraces));
    // Renamed, never copied and deleted: a job the agent adds meanwhile either stays in the journal or moves
    // with the copy, and the copy is never left behind half written.
    // The agent locks the journal for each line it writes and looks again at the name once it holds the
    // lock: holding the lock across the rename means no line of its goes into the copy after this.
    const QByteArray journal = QFile::encodeName(m_journalPath);
    const int lockedJournal = ::open(journal.constData(), O_RDONLY | O_CLOEXEC);
    if (lockedJournal >= 0) {
        while (::flock(lockedJournal, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    const int renamed = std::rename(journal.constData(), QFile::encodeName(m_copyPath).constData());
    const int renameError = errno;
    if (lockedJournal >= 0) {
        ::close(lockedJournal);
    }
    if (renamed != 0) {
        throw PlainError(QStringLiteral("O arquivo %1 não pode ser renomeado para %2: %3")
                             .arg(m_journalPath, m_copyPath, QString::fromLocal8Bit(std::strerror(renameError))));
    }
}

JournalImport::Plan JournalImport::makePlan(const QString& copyId) const
{
    for (Dataset* dataset : { m_importa, m_users }) {
        if (!dataset->isOpen()) {
            throw DatabaseError(
                QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(dataset->objectName()));
        }
    }
    Plan plan;
    plan.databasePath = QSqlDatabase::database(m_importa->connectionName(), false).databaseName();
    plan.copyPath = m_copyPath;
    plan.rejectedPath = rejectedPath();
    plan.copyId = copyId;
    plan.decimalMark = Formats::decimalSeparator();
    plan.clock = m_clock;

    QStringList columns;
    for (int column = 0; column < ColumnCount; ++column) {
        const Field* field = m_importa->fieldByName(QLatin1String(ColumnNames[column]));
        columns << quotedIdentifier(field->fieldName());
        plan.widths[column] = field->type() == FieldType::String ? field->size() : 0;
    }
    plan.insertSql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(quotedIdentifier(m_importa->baseTable()), columns.join(QStringLiteral(", ")),
                              QStringList(ColumnCount, QStringLiteral("?")).join(QStringLiteral(", ")));

    // The first row of a user counts, as a look-up from the top of the list finds it.
    const int idField = m_users->fieldByName(QStringLiteral("Usuario_id"))->index();
    const int projectField = m_users->fieldByName(QStringLiteral("Projeto_Id"))->index();
    for (int row = 0; row < m_users->recordCount(); ++row) {
        const QString key = userKey(m_users->storedValue(row, idField).toString());
        if (!plan.projects.contains(key)) {
            const QVariant project = m_users->storedValue(row, projectField);
            plan.projects.insert(key, project.isNull() ? 0 : project.toLongLong());
        }
    }
    return plan;
}

JournalImport::Result JournalImport::importPending()
{
    Result result;
    if (m_running) {
        return result;
    }
    QScopedValueRollback<bool> running(m_running, true);
    m_cancel = false;

    if (!QFileInfo::exists(m_copyPath)) {
        if (!QFileInfo::exists(m_journalPath)) {
            return result;
        }
        takeOver();
    }
    QCoreApplication::processEvents();

    QString copyId = readCopyId();
    if (copyId.isEmpty()) {
        // A copy without its id: given one now, before anything is stored.
        copyId = QUuid::createUuid().toString(QUuid::WithoutBraces);
        writeCopyId(copyId);
    }
    const Outcome outcome = runInThread(makePlan(copyId));
    if (outcome.cancelled) {
        throw SilentAbort();
    }

    // Stored: only now may the copy go.
    if (!QFile::remove(m_copyPath) && QFileInfo::exists(m_copyPath)) {
        throw PlainError(QStringLiteral("O arquivo %1 não pode ser removido.").arg(m_copyPath));
    }
    QFile::remove(sequencePath());
    QCoreApplication::processEvents();

    result.copyProcessed = true;
    result.alreadyStored = outcome.alreadyStored;
    result.rows = outcome.rows;
    result.rejected = outcome.rejected;
    return result;
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
            outcome = run(plan, m_cancel, report);
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

JournalImport::Outcome JournalImport::run(const Plan& plan, const std::atomic<bool>& cancel,
                                          const std::function<void(qint64, qint64)>& report)
{
    Outcome outcome;
    const CopyBytes bytes(plan.copyPath);
    JournalText text(bytes.view());
    const qint64 total = text.lineCount();
    report(0, total);

    ImportConnection connection(plan.databasePath);
    sqlite3* db = connection.handle();
    // The commit that records the copy as stored must survive a power cut too.
    exec(db, "PRAGMA synchronous = FULL");
    WriteTransaction transaction(db);
    {
        SqliteStatement stored(ConnectionName,
                               QStringLiteral("SELECT count(*) FROM ArquivoImportado WHERE Arquivo_Id = ?"));
        stored.bind(0, plan.copyId);
        if (stored.step() && stored.integer(0) > 0) {
            outcome.alreadyStored = true;
            return outcome;
        }
    }

    SqliteStatement insert(ConnectionName, plan.insertSql);
    sqlite3_stmt* statement = insert.handle();
    QByteArray rejected;
    const auto reject = [&](const QString& reason, const QString& line) {
        rejected += reason.toUtf8() + '\t' + line.toUtf8() + '\n';
        ++outcome.rejected;
    };

    TToll record;
    qint64 lastSecond = -1;
    QByteArray dataText;
    QByteArray horaText;
    QElapsedTimer sinceReport;
    sinceReport.start();
    for (qint64 index = 0; index < total; ++index) {
        if (index % CheckEvery == 0 && index > 0) {
            if (cancel) {
                outcome.cancelled = true;
                return outcome;
            }
            if (sinceReport.elapsed() >= ProgressInterval) {
                report(index, total);
                sinceReport.restart();
            }
        }
        const QString line = text.line(index);
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
            horaText = FieldValues::toIsoText(
                           QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second())))
                           .toUtf8();
        }
        const auto cut = [&plan](Column column, QStringView value) {
            return JournalFormat::cutToWidth(value, plan.widths[column]);
        };
        const QStringView document = JournalFormat::trimmed(record.pDocument);
        const auto project = plan.projects.constFind(userKey(record.pUser));

        bindText(statement, PrintName, cut(PrintName, record.pPrinter));
        bindText(statement, ComputerId, cut(ComputerId, QStringView(record.pMachine).mid(2)));
        bindText(statement, UsuarioId, cut(UsuarioId, record.pUser));
        bindText(statement, PrintDocument, cut(PrintDocument, document.isEmpty() ? NotDefined : document));
        bindText(statement, PrintDrive, cut(PrintDrive, record.pDriver));
        bindInteger(statement, PrintPages, record.pTotalPages > 0 ? record.pTotalPages : 1);
        bindUtf8(statement, PrintData, dataText);
        bindUtf8(statement, PrintHora, horaText);
        bindInteger(statement, PaperSize, record.pPaperSize);
        bindInteger(statement, PaperLength, record.pPaperLength);
        bindInteger(statement, PaperWidth, record.pPaperWidth);
        bindText(statement, PrintColor, cut(PrintColor, record.pColor));
        bindText(statement, PrintDuplex, cut(PrintDuplex, record.pDuplex));
        bindInteger(statement, ProjetoId, project == plan.projects.cend() ? 1 : *project);

        const int result = sqlite3_step(statement);
        if (result == SQLITE_DONE) {
            sqlite3_reset(statement);
            ++outcome.rows;
            continue;
        }
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_reset(statement);
        // A failure that ended the transaction (or any other than a refused row) fails the whole copy.
        if (!refusesTheRow(result) || sqlite3_get_autocommit(db)) {
            throw DriverError(message);
        }
        reject(QStringLiteral("Linha recusada pelo banco de dados: ") + message, line);
    }

    // Kept before the commit: after it, the copy's lines exist nowhere else.
    if (!rejected.isEmpty()) {
        appendRejected(plan.rejectedPath, rejected);
    }
    {
        SqliteStatement record(
            ConnectionName, QStringLiteral("INSERT INTO ArquivoImportado (Arquivo_Id, Data_Importacao) VALUES (?, ?)"));
        record.bind(0, plan.copyId);
        record.bind(1, FieldValues::toIsoText(QDateTime::currentDateTime()));
        record.step();
    }
    transaction.commit();
    report(total, total);
    return outcome;
}

} // namespace tollbook
