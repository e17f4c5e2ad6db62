#include "capture/JournalImport.h"

#include "capture/JournalFormat.h"
#include "capture/JournalText.h"
#include "data/Database.h"
#include "data/Dataset.h"
#include "data/Field.h"
#include "data/Formats.h"
#include "data/Schema.h"
#include "data/Store.h"
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
#include <QScopedValueRollback>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

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

bool isTextColumn(int column)
{
    return column <= PrintDrive || column == PrintColor || column == PrintDuplex;
}

// The import's own connection, opened and closed on the thread that uses it.
class ImportConnection
{
public:
    explicit ImportConnection(const QString& location) { Database::open(location, ConnectionName); }
    ~ImportConnection() { Database::close(ConnectionName); }
    ImportConnection(const ImportConnection&) = delete;
    ImportConnection& operator=(const ImportConnection&) = delete;
};

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
    for (int column = 0; column < ColumnCount; ++column) {
        plan.widths[column] = Schema::textWidth(QStringLiteral("Impressao"), QLatin1String(ColumnNames[column]));
    }

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

    // Every job of the copy, in file order, added to the rows; lines that do not convert are refused here. False
    // when cancelled.
    const auto importLines = [&](BulkInsert& rows) {
        TToll record;
        qint64 lastSecond = -1;
        QByteArray dataText;
        QByteArray horaText;
        QElapsedTimer sinceReport;
        sinceReport.start();
        QString line;
        BulkInsert::Value job[ColumnCount];
        job[PrintData].utf8 = &dataText;
        job[PrintHora].utf8 = &horaText;
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

            job[PrintName].text = cut(PrintName, record.pPrinter);
            job[ComputerId].text = cut(ComputerId, QStringView(record.pMachine).mid(JournalLine::MachinePrefixLength));
            job[UsuarioId].text = cut(UsuarioId, record.pUser);
            job[PrintDocument].text = cut(PrintDocument, document.isEmpty() ? NotDefined : document);
            job[PrintDrive].text = cut(PrintDrive, record.pDriver);
            job[PrintPages].integer = record.pTotalPages > 0 ? record.pTotalPages : 1;
            job[PaperSize].integer = record.pPaperSize;
            job[PaperLength].integer = record.pPaperLength;
            job[PaperWidth].integer = record.pPaperWidth;
            job[PrintColor].text = cut(PrintColor, record.pColor);
            job[PrintDuplex].text = cut(PrintDuplex, record.pDuplex);
            job[ProjetoId].integer = project == plan.projects.cend() ? 1 : *project;
            rows.add(job, line);
        }
        return true;
    };

    BulkInsert::Setup setup;
    setup.table = QStringLiteral("Impressao");
    for (int column = 0; column < ColumnCount; ++column) {
        const BulkInsert::Kind kind = column == PrintData || column == PrintHora ? BulkInsert::Kind::Utf8
                                      : isTextColumn(column)                     ? BulkInsert::Kind::Text
                                                                                 : BulkInsert::Kind::Integer;
        setup.columns.push_back({ QLatin1String(ColumnNames[column]), kind });
    }
    setup.reportedColumns = { UsuarioId, PrintName };
    setup.recordTable = QStringLiteral("ArquivoImportado");
    setup.recordKeyColumn = QStringLiteral("Arquivo_Id");
    setup.recordTimeColumn = QStringLiteral("Data_Importacao");
    setup.refused = reject;
    setup.stored = [&stored](const QStringView* reported) { stored(reported[0], reported[1]); };

    const std::unique_ptr<BulkInsert> rows = Store::forConnection(ConnectionName).bulkInsert(ConnectionName, setup);
    if (!rows->begin(copyId, FieldValues::toIsoText(tollbook::Clock::now()))) {
        outcome.alreadyStored = true;
        return outcome;
    }
    rejected.takeBackUncommitted();
    if (!importLines(*rows)) {
        outcome.cancelled = true;
        return outcome;
    }
    rows->flush();
    rejected.sync();
    rows->commit();
    report(total, total);
    return outcome;
}

} // namespace tollbook
