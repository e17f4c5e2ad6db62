#include "JournalFixture.h"
#include "capture/JournalImport.h"
#include "common/PostgresFixture.h"
#include "platform/Errors.h"

#include <QtTest>

#include <QProcess>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tollbook;
using namespace JournalLines;

namespace {

const QDateTime ImportTime(QDate(2020, 1, 2), QTime(10, 30, 0));

// The row the job of jobFields() becomes.
const QString StandardRow = QStringLiteral("P|PC|u|doc|Driver|2|9|2970|2100|S|N|1");

QString row(const QStringList& values)
{
    return values.join(QLatin1Char('|'));
}

QByteArray utf16Journal(const QStringList& lines, bool bigEndian)
{
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
    for (const QChar c : lines.join(QStringLiteral("\r\n"))) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xff);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

quint64 inodeOf(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? quint64(info.st_ino) : 0;
}

// The database of one case, opened as the application's connection: a new SQLite file in a temporary folder, or
// with TOLLBOOK_TEST_STORE=postgres a new database of a throwaway PostgreSQL cluster (the same cases on the
// other store).
class ImportStore
{
public:
    ImportStore()
    {
        QVERIFY2(m_dir.isValid(), "temporary folder");
        if (onPostgres()) {
            PostgresFixture* cluster = PostgresFixture::shared();
            QVERIFY2(cluster, qPrintable(PostgresFixture::sharedReason()));
            m_location = cluster->createDatabase();
            QVERIFY2(!m_location.isEmpty(), qPrintable(cluster->reason()));
        } else {
            m_location = m_dir.filePath(QStringLiteral("Tollbook.db"));
        }
        Database::create(m_location);
        Database::open(m_location);
    }
    ~ImportStore() { Database::close(); }

    static bool onPostgres() { return qEnvironmentVariable("TOLLBOOK_TEST_STORE") == QLatin1String("postgres"); }

    // The database's file, or its address.
    const QString& location() const { return m_location; }
    QString folder() const { return m_dir.path(); }

    // Runs statements on the application's connection; fails the test on an error.
    static void exec(const QStringList& statements)
    {
        QSqlQuery query(QSqlDatabase::database(Database::ConnectionName));
        for (const QString& statement : statements) {
            if (!query.exec(statement)) {
                QFAIL(qPrintable(statement + QStringLiteral(": ") + query.lastError().text()));
            }
        }
    }

    // A trigger that raises an error with a message when a row of the table meets a condition on the new row
    // (written for both stores: NEW.column = value); on PostgreSQL with the error code given, on SQLite by
    // RAISE(ABORT), or RAISE(ROLLBACK) for a code other than raise_exception.
    static void addFailingTrigger(const QString& name, const QString& table, const QString& condition,
                                  const QString& message, const QString& code = QStringLiteral("raise_exception"))
    {
        if (!onPostgres()) {
            exec({ QStringLiteral("CREATE TRIGGER %1 BEFORE INSERT ON %2 WHEN %3 BEGIN SELECT RAISE(%4, '%5'); END")
                       .arg(name, table, condition,
                            code == QLatin1String("raise_exception") ? QStringLiteral("ABORT")
                                                                     : QStringLiteral("ROLLBACK"),
                            message) });
            return;
        }
        exec({ QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF %2 THEN RAISE"
                              " EXCEPTION '%3' USING ERRCODE = '%4'; END IF; RETURN NEW; END $$")
                   .arg(name, condition, message, code),
               QStringLiteral("CREATE TRIGGER %1 BEFORE INSERT ON %2 FOR EACH ROW EXECUTE FUNCTION %1()")
                   .arg(name, table) });
    }
    static void dropTrigger(const QString& name, const QString& table)
    {
        exec({ onPostgres() ? QStringLiteral("DROP TRIGGER %1 ON %2").arg(name, table)
                            : QStringLiteral("DROP TRIGGER %1").arg(name) });
    }

private:
    QTemporaryDir m_dir;
    QString m_location;
};

// A database with the users ANA (project 2) and Semprojeto (no project), and the import of its jobs folder
// (or of the folder given) with its clock at ImportTime.
class ImportFixture
{
public:
    explicit ImportFixture(const QString& jobsFolder = QString())
        : m_jobs(jobsFolder.isEmpty() ? m_database.folder() + QStringLiteral("/jobs") : jobsFolder)
    {
        ImportStore::exec(
            { QStringLiteral("INSERT INTO Projeto (Projeto_Id, Projeto_Codigo, Projeto_Nome) VALUES (2, 'P2', 'Obra')"),
              QStringLiteral("INSERT INTO Usuario VALUES ('ANA', 'Ana', 'ADM', 2, 'S')"),
              QStringLiteral("INSERT INTO Usuario VALUES ('Semprojeto', 'Sem', 'ADM', NULL, 'S')") });
        m_import = std::make_unique<JournalImport>(journalPath(), copyPath());
        m_import->setClock([] { return ImportTime; });
    }

    JournalImport& import() { return *m_import; }
    // One import into the fixture's database, as the tick runs it.
    JournalImport::Result importPending()
    {
        return m_import->importPending(ImportTarget::read(Database::ConnectionName));
    }
    QString databasePath() const { return m_database.location(); }
    QString journalPath() const { return m_jobs + QStringLiteral("/printjob.tlj"); }
    QString copyPath() const { return m_jobs + QStringLiteral("/printjobnew.tlj"); }
    QString sequencePath() const { return m_jobs + QStringLiteral("/printjobnew.seq"); }
    QString rejectedPath() const { return m_jobs + QStringLiteral("/printjob.rejected"); }
    int storedCopies() const { return JournalImport::storedCopyCount(Database::ConnectionName); }
    // The ids of the copies stored, oldest first.
    static QStringList storedIds()
    {
        QStringList ids;
        QSqlQuery query(QSqlDatabase::database(Database::ConnectionName));
        query.exec(ImportStore::onPostgres()
                       ? QStringLiteral("SELECT Arquivo_Id FROM ArquivoImportado ORDER BY ctid")
                       : QStringLiteral("SELECT Arquivo_Id FROM ArquivoImportado ORDER BY rowid"));
        while (query.next()) {
            ids << query.value(0).toString();
        }
        return ids;
    }

private:
    ImportStore m_database;
    QString m_jobs;
    std::unique_ptr<JournalImport> m_import;
};

} // namespace

class TestJournalImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rules_data();
    void rules();
    void rowsTakeTheTimeOfTheImport();
    void refusedLinesAreKeptWithTheirReason();
    void lineRefusedByTheDatabase();
    void refusedRowsAmongManyKeepTheOthers();
    void failedImportKeepsItsCopyAndStoresNothing();
    void copyStoredBeforeACrash_data();
    void copyStoredBeforeACrash();
    void sameCopyImportedMeanwhile_data();
    void sameCopyImportedMeanwhile();
    void eachTakeoverHasItsNumber();
    void cancelledImportKeepsItsCopy();
    void killedImportStoresEveryJobOnce();
    void twoInstallationsKilledAtRandomStoreEveryJobOnce();
    void fullDiskNeverLeavesAnEmptyCopyId();
    void refusedLinesAreKeptOncePerCopy();
    void takeoverNeverWaitsOnTheCallingThread();
};

void TestJournalImport::rules_data()
{
    QTest::addColumn<QByteArray>("journal");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("rejected");

    const QStringList standard = jobFields();
    const auto one = [](const QStringList& fields) { return utf8Journal({ line(fields) }); };

    QTest::newRow("example line") << utf8Journal({ QStringLiteral("1|P|\\\\PC|u||x|x|x|x|D|0|0|x|x|9|2970|2100|N|S|") })
                                  << QStringList{ QStringLiteral("P|PC|u|Não Definido|D|1|9|2970|2100|S|N|1") } << 0;
    QTest::newRow("a|b|c") << utf8Journal({ QStringLiteral("a|b|c") }) << QStringList() << 1;
    QTest::newRow("document of blanks") << one(withField(standard, 4, QStringLiteral("   ")))
                                        << QStringList{ QStringLiteral(
                                               "P|PC|u|Não Definido|Driver|2|9|2970|2100|S|N|1") }
                                        << 0;
    QTest::newRow("document trimmed") << one(withField(standard, 4, QStringLiteral(" a b\t")))
                                      << QStringList{ QStringLiteral("P|PC|u|a b|Driver|2|9|2970|2100|S|N|1") } << 0;
    QTest::newRow("empty printer, user, driver")
        << one(withField(withField(withField(standard, 1, QString()), 3, QString()), 9, QString()))
        << QStringList{ QStringLiteral("|PC||doc||2|9|2970|2100|S|N|1") } << 0;
    QTest::newRow("-3 pages") << one(withField(standard, 10, QStringLiteral("-3")))
                              << QStringList{ QStringLiteral("P|PC|u|doc|Driver|1|9|2970|2100|S|N|1") } << 0;
    QTest::newRow("3,5 pages") << one(withField(standard, 10, QStringLiteral("3,5"))) << QStringList() << 1;
    QTest::newRow("size 1024.5") << one(withField(standard, 11, QStringLiteral("1024.5"))) << QStringList() << 1;
    QTest::newRow("size 1024,5") << one(withField(standard, 11, QStringLiteral("1024,5"))) << QStringList{ StandardRow }
                                 << 0;
    QTest::newRow("ana of ANA's project")
        << one(withField(standard, 3, QStringLiteral("ana")))
        << QStringList{ QStringLiteral("P|PC|ana|doc|Driver|2|9|2970|2100|S|N|2") } << 0;
    QTest::newRow("user without project")
        << one(withField(standard, 3, QStringLiteral("SEMPROJETO")))
        << QStringList{ QStringLiteral("P|PC|SEMPROJETO|doc|Driver|2|9|2970|2100|S|N|0") } << 0;
    // An empty line holds no job: skipped (and counted), not refused.
    QTest::newRow("empty line in the middle")
        << utf8Journal({ job(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d1")), QString(),
                         job(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d3")) })
        << QStringList{ QStringLiteral("P|PC|u|d1|Driver|2|9|2970|2100|S|N|1"),
                        QStringLiteral("P|PC|u|d3|Driver|2|9|2970|2100|S|N|1") }
        << 0;
    QTest::newRow("third line refused, fourth stored")
        << utf8Journal({ job(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d1")),
                         job(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d2")),
                         line(withField(standard, 10, QStringLiteral("x"))),
                         job(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d4")) })
        << QStringList{ QStringLiteral("P|PC|u|d1|Driver|2|9|2970|2100|S|N|1"),
                        QStringLiteral("P|PC|u|d2|Driver|2|9|2970|2100|S|N|1"),
                        QStringLiteral("P|PC|u|d4|Driver|2|9|2970|2100|S|N|1") }
        << 1;
    QTest::newRow("17 fields") << utf8Journal({ line(standard.mid(0, 17)) })
                               << QStringList{ QStringLiteral("P|PC|u|doc|Driver|2|9|2970|2100|||1") } << 0;
    QTest::newRow("18 fields") << utf8Journal({ line(standard.mid(0, 18)) })
                               << QStringList{ QStringLiteral("P|PC|u|doc|Driver|2|9|2970|2100||N|1") } << 0;
    QTest::newRow("16 fields") << utf8Journal({ line(standard.mid(0, 16)) }) << QStringList() << 1;

    const QStringList jose = withField(standard, 3, QStringLiteral("José"));
    const QString joseRow = QStringLiteral("P|PC|José|doc|Driver|2|9|2970|2100|S|N|1");
    QTest::newRow("UTF-16LE with mark") << utf16Journal({ line(jose), line(standard) }, false)
                                        << QStringList{ joseRow, StandardRow } << 0;
    QTest::newRow("UTF-16BE with mark") << utf16Journal({ line(jose), line(standard) }, true)
                                        << QStringList{ joseRow, StandardRow } << 0;
    QTest::newRow("Windows-1252 without mark") << line(jose).toLatin1() + "\r\n" << QStringList{ joseRow } << 0;
    QTest::newRow("CR only") << (line(standard) + QLatin1Char('\r') + line(standard)).toLatin1()
                             << QStringList{ StandardRow, StandardRow } << 0;
    QTest::newRow("no break at the end") << line(standard).toLatin1() << QStringList{ StandardRow } << 0;
    QTest::newRow("empty journal") << QByteArray() << QStringList() << 0;

    QTest::newRow("5000 characters, beyond the last bar")
        << utf8Journal({ line(standard) + QString(5000 - line(standard).size(), QLatin1Char('z')) })
        << QStringList{ StandardRow } << 0;
    QTest::newRow("5000 characters, fields beyond 4096")
        << one(withField(standard, 4, QString(4090, QLatin1Char('d')))) << QStringList() << 1;
    // Characters with a meaning in the rows' way to the database stand as they are.
    QTest::newRow("backslash, tab and quotes")
        << one(withField(standard, 4, QStringLiteral("C:\\a\tb 'c' \"d\" \\N")))
        << QStringList{ QStringLiteral("P|PC|u|C:\\a\tb 'c' \"d\" \\N|Driver|2|9|2970|2100|S|N|1") } << 0;
    QTest::newRow("texts cut to their columns")
        << one(withField(withField(withField(withField(withField(standard, 1, QString(150, QLatin1Char('p'))), 2,
                                                       QStringLiteral("\\\\") + QString(60, QLatin1Char('c'))),
                                             3, QString(60, QLatin1Char('u'))),
                                   4, QString(300, QLatin1Char('d'))),
                         18, QStringLiteral("SS")))
        << QStringList{ row({ QString(100, QLatin1Char('p')), QString(50, QLatin1Char('c')),
                              QString(50, QLatin1Char('u')), QString(255, QLatin1Char('d')), QStringLiteral("Driver"),
                              QStringLiteral("2"), QStringLiteral("9"), QStringLiteral("2970"), QStringLiteral("2100"),
                              QStringLiteral("S"), QStringLiteral("N"), QStringLiteral("1") }) }
        << 0;
    QTest::newRow("machine of two characters")
        << one(withField(standard, 2, QStringLiteral("\\\\")))
        << QStringList{ QStringLiteral("P||u|doc|Driver|2|9|2970|2100|S|N|1") } << 0;
}

void TestJournalImport::rules()
{
    QFETCH(QByteArray, journal);
    QFETCH(QStringList, rows);
    QFETCH(int, rejected);

    ImportFixture fixture;
    writeFile(fixture.journalPath(), journal);

    const JournalImport::Result result = fixture.importPending();

    QCOMPARE(JobRows::stored(), rows);
    QVERIFY(result.copyProcessed);
    QCOMPARE(result.rows, rows.size());
    QCOMPARE(result.rejected, rejected);
    QCOMPARE(readFile(fixture.rejectedPath()).count('\n'), rejected);
    for (const QString& path : { fixture.journalPath(), fixture.copyPath(), fixture.sequencePath() }) {
        QVERIFY2(!QFileInfo::exists(path), qPrintable(path));
    }
}

void TestJournalImport::rowsTakeTheTimeOfTheImport()
{
    // Jobs printed at 10:15 and 10:20 and imported at 10:30 are dated by the import.
    ImportFixture fixture;
    writeFile(fixture.journalPath(), utf8Journal({ line(withField(jobFields(), 13, QStringLiteral("10:15:00"))),
                                                   line(withField(jobFields(), 13, QStringLiteral("10:20:00"))) }));

    fixture.importPending();

    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao WHERE Print_Data = '2020-01-02'"
                                           " AND Print_Hora = '2020-01-02 10:30:00'")),
             2);
}

void TestJournalImport::refusedLinesAreKeptWithTheirReason()
{
    ImportFixture fixture;
    const QString refused = line(withField(jobFields(QStringLiteral("joão")), 10, QStringLiteral("3,5")));
    writeFile(fixture.journalPath(), utf8Journal({ job(), refused }));
    fixture.importPending();
    writeFile(fixture.journalPath(), utf8Journal({ QStringLiteral("a|b|c") }));
    fixture.importPending();

    QCOMPARE(JobRows::stored(), QStringList{ StandardRow });
    // Marked as UTF-8 once, then one line per refusal: the reason, a tab, the line as it was.
    const QByteArray kept = readFile(fixture.rejectedPath());
    QVERIFY(kept.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(QString::fromUtf8(kept.sliced(3)),
             QStringLiteral("Campo 10 (pTotalPages) não é um número inteiro: \"3,5\"\t") + refused +
                 QStringLiteral("\nCampo 0 (pJob) não é um número inteiro: \"a\"\ta|b|c\n"));
}

void TestJournalImport::lineRefusedByTheDatabase()
{
    ImportFixture fixture;
    ImportStore::addFailingTrigger(QStringLiteral("refuse_seven"), QStringLiteral("Impressao"),
                                   QStringLiteral("NEW.Print_Pages = 7"), QStringLiteral("sete não"));
    const QString seven = line(withField(jobFields(), 10, QStringLiteral("7")));
    writeFile(fixture.journalPath(), utf8Journal({ job(), seven, job() }));

    const JournalImport::Result result = fixture.importPending();

    QCOMPARE(JobRows::stored(), (QStringList{ StandardRow, StandardRow }));
    QCOMPARE(result.rejected, 1);
    QCOMPARE(QString::fromUtf8(readFile(fixture.rejectedPath()).sliced(3)),
             QStringLiteral("Linha recusada pelo banco de dados: sete não\t") + seven + QLatin1Char('\n'));
}

// Rows go to the database many at a time: one it refuses leaves the others of its batch stored, in file order.
void TestJournalImport::refusedRowsAmongManyKeepTheOthers()
{
    ImportFixture fixture;
    ImportStore::addFailingTrigger(QStringLiteral("refuse_seven"), QStringLiteral("Impressao"),
                                   QStringLiteral("NEW.Print_Pages = 7"), QStringLiteral("sete não"));
    constexpr int Jobs = 12000;
    const QList<int> refused = { 3, 10005, Jobs };
    QStringList lines;
    for (int i = 1; i <= Jobs; ++i) {
        lines << line(withField(jobFields(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d%1").arg(i)), 10,
                                refused.contains(i) ? QStringLiteral("7") : QStringLiteral("1")));
    }
    writeFile(fixture.journalPath(), utf8Journal(lines));

    const JournalImport::Result result = fixture.importPending();

    QCOMPARE(result.rows, Jobs - refused.size());
    QCOMPARE(result.rejected, refused.size());
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao WHERE Print_Pages = 7")), 0);
    const QStringList stored = JobRows::stored();
    QCOMPARE(stored.size(), Jobs - refused.size());
    QVERIFY(stored.at(2).contains(QLatin1String("|d4|")));
    QVERIFY(stored.last().contains(QStringLiteral("|d%1|").arg(Jobs - 1)));
    QStringList kept;
    for (const int i : refused) {
        kept << QStringLiteral("Linha recusada pelo banco de dados: sete não\t") + lines.at(i - 1);
    }
    QCOMPARE(QString::fromUtf8(readFile(fixture.rejectedPath()).sliced(3)), kept.join(QLatin1Char('\n')) + '\n');

    // A text PostgreSQL cannot hold is refused there with its line; SQLite keeps it.
    writeFile(fixture.journalPath(), utf8Journal({ job(),
                                                   job(QStringLiteral("u"), QStringLiteral("P"),
                                                       QStringLiteral("a") + QChar(0) + QStringLiteral("b")),
                                                   job() }));
    QCOMPARE(fixture.importPending().rejected, ImportStore::onPostgres() ? 1 : 0);
}

// A failure of the database leaves nothing of the copy stored and the copy in place, and the copy goes
// first when the import runs again: the journal written meanwhile waits for the import after it.
void TestJournalImport::failedImportKeepsItsCopyAndStoresNothing()
{
    ImportFixture fixture;
    ImportStore::addFailingTrigger(QStringLiteral("full_disk"), QStringLiteral("Impressao"),
                                   QStringLiteral("NEW.Print_Document = 'd3'"), QStringLiteral("disco cheio"),
                                   QStringLiteral("disk_full"));
    QStringList first;
    for (int i = 1; i <= 4; ++i) {
        first << job(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d%1").arg(i));
    }
    writeFile(fixture.journalPath(), utf8Journal(first));
    const quint64 journalFile = inodeOf(fixture.journalPath());

    QVERIFY_THROWS_EXCEPTION(DriverError, fixture.importPending());

    QCOMPARE(JobRows::stored(), QStringList());
    QCOMPARE(fixture.storedCopies(), 0);
    QVERIFY(!QFileInfo::exists(fixture.journalPath()));
    QVERIFY(QFileInfo::exists(fixture.sequencePath()));
    // Renamed, not copied: the copy is the journal's own file.
    QCOMPARE(inodeOf(fixture.copyPath()), journalFile);

    ImportStore::dropTrigger(QStringLiteral("full_disk"), QStringLiteral("Impressao"));
    writeFile(fixture.journalPath(),
              utf8Journal({ job(QStringLiteral("u"), QStringLiteral("P"), QStringLiteral("d5")) }));

    JournalImport::Result result = fixture.importPending();
    QCOMPARE(result.rows, 4);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), 4);
    QVERIFY(QFileInfo::exists(fixture.journalPath()));
    QVERIFY(!QFileInfo::exists(fixture.copyPath()));

    result = fixture.importPending();
    QCOMPARE(result.rows, 1);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(DISTINCT Print_Document) FROM Impressao")), 5);
    QCOMPARE(fixture.storedCopies(), 2);
}

void TestJournalImport::copyStoredBeforeACrash_data()
{
    QTest::addColumn<QString>("id"); // beside the copy found: "stored" for the id of the copy stored before
    QTest::addColumn<bool>("importedAgain");

    QTest::newRow("id stored already") << "stored" << false;
    // Another installation sharing the database, or a later takeover: never taken for a stored copy.
    QTest::newRow("other id") << QUuid::createUuid().toString(QUuid::WithoutBraces) << true;
    QTest::newRow("no id") << QString() << true;
    QTest::newRow("id unreadable") << "x" << true;
}

// A crash between the commit and the removal of the copy leaves the copy and its id behind.
void TestJournalImport::copyStoredBeforeACrash()
{
    QFETCH(QString, id);
    QFETCH(bool, importedAgain);

    ImportFixture fixture;
    const QByteArray journal = numberedJournal(3);
    writeFile(fixture.journalPath(), journal);
    fixture.importPending();
    QCOMPARE(fixture.storedCopies(), 1);

    writeFile(fixture.copyPath(), journal);
    if (!id.isNull()) {
        writeFile(fixture.sequencePath(),
                  (id == QLatin1String("stored") ? ImportFixture::storedIds().first() : id).toLatin1() + '\n');
    }
    const JournalImport::Result result = fixture.importPending();

    QVERIFY(result.copyProcessed);
    QCOMPARE(result.alreadyStored, !importedAgain);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), importedAgain ? 6 : 3);
    QVERIFY(!QFileInfo::exists(fixture.copyPath()));
    QVERIFY(!QFileInfo::exists(fixture.sequencePath()));
}

void TestJournalImport::sameCopyImportedMeanwhile_data()
{
    QTest::addColumn<bool>("otherCommits");

    QTest::newRow("the other import commits: found stored") << true;
    QTest::newRow("the other import rolls back: imported") << false;
}

// Another process imports the same copy (its id the same) and has not ended yet: the import waits for it, then
// finds the copy stored, or stores it when the other did not commit. Never stored twice.
void TestJournalImport::sameCopyImportedMeanwhile()
{
    QFETCH(bool, otherCommits);

    ImportFixture fixture;
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    writeFile(fixture.copyPath(), numberedJournal(3));
    writeFile(fixture.sequencePath(), id.toLatin1() + '\n');
    const QString other = QStringLiteral("other import");
    QSqlDatabase otherImport = Database::open(fixture.databasePath(), other);
    QVERIFY(otherImport.transaction());
    QSqlQuery record(otherImport);
    record.prepare(QStringLiteral("INSERT INTO ArquivoImportado (Arquivo_Id) VALUES (?)"));
    record.addBindValue(id);
    QVERIFY2(record.exec(), qPrintable(record.lastError().text()));
    bool ended = false;
    QTimer::singleShot(300, [&]() { ended = otherCommits ? otherImport.commit() : otherImport.rollback(); });

    const JournalImport::Result result = fixture.importPending();

    QVERIFY(ended);
    record = QSqlQuery();
    otherImport = QSqlDatabase();
    Database::close(other);
    QVERIFY(result.copyProcessed);
    QCOMPARE(result.alreadyStored, otherCommits);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), otherCommits ? 0 : 3);
    QCOMPARE(fixture.storedCopies(), 1);
    QVERIFY(!QFileInfo::exists(fixture.copyPath()));
}

void TestJournalImport::eachTakeoverHasItsNumber()
{
    ImportFixture fixture;
    for (int takeover = 1; takeover <= 3; ++takeover) {
        writeFile(fixture.journalPath(), numberedJournal(1, takeover));
        fixture.importPending();
        QCOMPARE(fixture.storedCopies(), takeover);
    }
    const QStringList ids = ImportFixture::storedIds();
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), 3);
    // Nothing to import: nothing changes.
    QVERIFY(!fixture.importPending().copyProcessed);
    QCOMPARE(fixture.storedCopies(), 3);
}

void TestJournalImport::cancelledImportKeepsItsCopy()
{
    ImportFixture fixture;
    writeFile(fixture.journalPath(), numberedJournal(2000));
    // Cancelled from the import's own thread at its hundredth row, as the application's end would.
    std::atomic<int> rows{ 0 };
    fixture.import().setClock([&fixture, &rows]() {
        if (++rows == 100) {
            fixture.import().cancel();
        }
        return ImportTime;
    });

    QVERIFY_THROWS_EXCEPTION(SilentAbort, fixture.importPending());
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), 0);
    QVERIFY(QFileInfo::exists(fixture.copyPath()));
    QVERIFY(QFileInfo::exists(fixture.sequencePath()));

    fixture.import().setClock([] { return ImportTime; });
    QCOMPARE(fixture.importPending().rows, 2000);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(DISTINCT Print_Document) FROM Impressao")), 2000);
}

// A process importing a large journal is killed half-way; the next import stores every job exactly once.
void TestJournalImport::killedImportStoresEveryJobOnce()
{
    const QString child = qEnvironmentVariable("TOLLBOOK_IMPORT_CHILD");
    QVERIFY2(QFileInfo::exists(child), "TOLLBOOK_IMPORT_CHILD names the import child");
    constexpr int Jobs = 100000;

    ImportFixture fixture;
    writeFile(fixture.journalPath(), numberedJournal(Jobs));

    QProcess importing;
    importing.start(child, { fixture.databasePath(), fixture.journalPath(), fixture.copyPath() });
    QVERIFY(importing.waitForStarted(-1));
    bool halfWay = false;
    QDeadlineTimer deadline(120000);
    while (!halfWay && importing.state() == QProcess::Running && !deadline.hasExpired()) {
        importing.waitForReadyRead(100);
        while (importing.canReadLine()) {
            const QList<QByteArray> words = importing.readLine().trimmed().split(' ');
            halfWay = halfWay || (words.size() == 3 && words[0] == "progress" && words[1].toLongLong() > 0 &&
                                  words[1].toLongLong() < words[2].toLongLong());
        }
    }
    if (halfWay) {
        importing.kill();
    }
    QVERIFY(importing.waitForFinished(-1));
    if (!halfWay) {
        qWarning("The import ended before it could be killed half-way: %s", importing.readAll().constData());
    } else {
        QCOMPARE(importing.exitStatus(), QProcess::CrashExit);
        QVERIFY(QFileInfo::exists(fixture.copyPath()));
    }

    fixture.importPending();
    fixture.importPending();

    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), Jobs);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(DISTINCT Print_Document) FROM Impressao")), Jobs);
    QVERIFY(!QFileInfo::exists(fixture.copyPath()));
    QVERIFY(!QFileInfo::exists(fixture.journalPath()));
}

// Two installations (two installation folders) import into one database at the same time, each killed at random
// moments and started again, round after round, while jobs keep coming: in the end every job of every journal is
// stored exactly once.
void TestJournalImport::twoInstallationsKilledAtRandomStoreEveryJobOnce()
{
    const QString child = qEnvironmentVariable("TOLLBOOK_IMPORT_CHILD");
    QVERIFY2(QFileInfo::exists(child), "TOLLBOOK_IMPORT_CHILD names the import child");
    constexpr int Rounds = 6;
    constexpr int JobsPerRound = 4000;
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    qInfo("random seed %u", seed);

    ImportStore store;
    QTemporaryDir installations;
    QVERIFY(installations.isValid());
    struct Installation
    {
        QString jobs;
        QString journal() const { return jobs + QStringLiteral("/printjob.tlj"); }
        QString copy() const { return jobs + QStringLiteral("/printjobnew.tlj"); }
        std::unique_ptr<QProcess> importer;
    };
    Installation sites[2];
    for (int site = 0; site < 2; ++site) {
        sites[site].jobs = installations.filePath(QStringLiteral("site%1/jobs").arg(site));
    }
    const auto finish = [](Installation& site) {
        return site.importer->state() == QProcess::NotRunning || site.importer->waitForFinished(-1);
    };
    const auto start = [&](Installation& site) {
        site.importer = std::make_unique<QProcess>();
        site.importer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        site.importer->start(child, { store.location(), site.journal(), site.copy() });
        QVERIFY(site.importer->waitForStarted(-1));
    };

    int written = 0;
    int killed = 0;
    for (int round = 0; round < Rounds; ++round) {
        // New jobs come while no importer of the installation runs (the agent's own lock is tried elsewhere).
        for (int site = 0; site < 2; ++site) {
            QByteArray jobs = readFile(sites[site].journal());
            for (int i = 0; i < JobsPerRound; ++i) {
                jobs += (line(jobFields(QStringLiteral("u%1").arg(site), QStringLiteral("P%1").arg(site),
                                        QStringLiteral("s%1-r%2-%3").arg(site).arg(round).arg(i))) +
                         QStringLiteral("\r\n"))
                            .toLatin1();
            }
            writeFile(sites[site].journal(), jobs);
            written += JobsPerRound;
        }
        for (Installation& site : sites) {
            start(site);
        }
        QElapsedTimer since;
        since.start();
        qint64 killAt[2] = { qint64(random.bounded(600)), qint64(random.bounded(600)) };
        for (int first = killAt[0] <= killAt[1] ? 0 : 1, turn = 0; turn < 2; ++turn) {
            Installation& site = sites[turn == 0 ? first : 1 - first];
            const qint64 at = killAt[turn == 0 ? first : 1 - first];
            if (site.importer->state() != QProcess::NotRunning &&
                !site.importer->waitForFinished(int(std::max<qint64>(1, at - since.elapsed())))) {
                site.importer->kill();
                ++killed;
            }
        }
        for (Installation& site : sites) {
            QVERIFY(finish(site));
            QVERIFY2(site.importer->exitStatus() == QProcess::CrashExit || site.importer->exitCode() == 0,
                     qPrintable(QStringLiteral("seed %1").arg(seed)));
        }
    }
    // The last runs, to their end: the copy left over, then the journal.
    for (int run = 0; run < 2; ++run) {
        for (Installation& site : sites) {
            start(site);
        }
        for (Installation& site : sites) {
            QVERIFY(finish(site));
            QCOMPARE(site.importer->exitCode(), 0);
        }
    }
    qInfo("%d importers killed", killed);

    const QString context = QStringLiteral("seed %1").arg(seed);
    QVERIFY2(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")) == written, qPrintable(context));
    QVERIFY2(JobRows::count(QStringLiteral("SELECT count(DISTINCT Print_Document) FROM Impressao")) == written,
             qPrintable(context));
    for (const Installation& site : sites) {
        QVERIFY(!QFileInfo::exists(site.journal()));
        QVERIFY(!QFileInfo::exists(site.copy()));
    }
}

// The copy's id is what keeps a copy from being stored twice: a disk too full to hold it stops the import
// before the journal is taken over, and the import goes on once there is room.
void TestJournalImport::fullDiskNeverLeavesAnEmptyCopyId()
{
    Mount disk(QStringLiteral("size=64k"));
    if (!disk.isMounted()) {
        QSKIP("mounting a file system needs root");
    }
    ImportFixture fixture(disk.path(QStringLiteral("jobs")));
    writeFile(fixture.journalPath(), numberedJournal(3));
    QFile filler(disk.path(QStringLiteral("filler")));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    filler.close();

    QVERIFY_THROWS_EXCEPTION(PlainError, fixture.importPending());
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), 0);
    QVERIFY(QFileInfo::exists(fixture.journalPath()));
    QVERIFY(!QFileInfo::exists(fixture.copyPath()));
    QVERIFY(!QFileInfo::exists(fixture.sequencePath()) || QFileInfo(fixture.sequencePath()).size() > 0);

    QVERIFY(filler.remove());
    QCOMPARE(fixture.importPending().rows, 3);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), 3);
}

// Refused lines follow the rows: attempts that do not commit leave none behind, a copy found stored adds
// none, and the lines of the copies before stay.
void TestJournalImport::refusedLinesAreKeptOncePerCopy()
{
    ImportFixture fixture;
    writeFile(fixture.journalPath(), utf8Journal({ QStringLiteral("first|refused") }));
    fixture.importPending();
    ImportStore::addFailingTrigger(QStringLiteral("commit_fails"), QStringLiteral("ArquivoImportado"),
                                   QStringLiteral("NEW.Arquivo_Id <> ''"), QStringLiteral("disco cheio"),
                                   QStringLiteral("disk_full"));
    writeFile(fixture.journalPath(), utf8Journal({ job(), QStringLiteral("a|b|c"), job() }));

    for (int attempt = 0; attempt < 3; ++attempt) {
        QVERIFY_THROWS_EXCEPTION(Error, fixture.importPending());
    }
    ImportStore::dropTrigger(QStringLiteral("commit_fails"), QStringLiteral("ArquivoImportado"));
    const JournalImport::Result result = fixture.importPending();
    QCOMPARE(result.rows, 2);
    QCOMPARE(result.rejected, 1);

    const QString expected = QStringLiteral("Campo 0 (pJob) não é um número inteiro: \"first\"\tfirst|refused\n"
                                            "Campo 0 (pJob) não é um número inteiro: \"a\"\ta|b|c\n");
    QCOMPARE(QString::fromUtf8(readFile(fixture.rejectedPath()).sliced(3)), expected);

    // The copy stored, then a crash before its removal: found stored, it adds nothing.
    writeFile(fixture.copyPath(), utf8Journal({ job(), QStringLiteral("a|b|c"), job() }));
    writeFile(fixture.sequencePath(), ImportFixture::storedIds().last().toLatin1() + '\n');
    QVERIFY(fixture.importPending().alreadyStored);
    QCOMPARE(QString::fromUtf8(readFile(fixture.rejectedPath()).sliced(3)), expected);
    QCOMPARE(JobRows::count(QStringLiteral("SELECT count(*) FROM Impressao")), 2);
}

// The agent holds its lock on the journal while it writes a line; the takeover waits for it without holding
// up the calling thread's events, and gives up after a while when the lock is never let go.
void TestJournalImport::takeoverNeverWaitsOnTheCallingThread()
{
    ImportFixture fixture;
    writeFile(fixture.journalPath(), numberedJournal(3));
    const int lock = ::open(QFile::encodeName(fixture.journalPath()).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(lock >= 0);
    QCOMPARE(::flock(lock, LOCK_EX), 0);

    // Let go by an event of the calling thread; by a watchdog after ten seconds, so that a takeover waiting on
    // that thread fails the test instead of hanging it.
    std::atomic<bool> watchdogFired{ false };
    std::atomic<bool> done{ false };
    bool releasedByAnEvent = false;
    QTimer::singleShot(200, [&]() {
        releasedByAnEvent = !watchdogFired;
        ::flock(lock, LOCK_UN);
    });
    std::thread watchdog([&]() {
        for (int waited = 0; waited < 10000 && !done; waited += 10) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!done) {
            watchdogFired = true;
            ::flock(lock, LOCK_UN);
        }
    });
    const JournalImport::Result result = fixture.importPending();
    done = true;
    watchdog.join();
    QVERIFY(releasedByAnEvent);
    QCOMPARE(result.rows, 3);

    // A lock never let go: the journal stays for a later attempt.
    writeFile(fixture.journalPath(), numberedJournal(2));
    const int held = ::open(QFile::encodeName(fixture.journalPath()).constData(), O_RDONLY | O_CLOEXEC);
    QCOMPARE(::flock(held, LOCK_EX), 0);
    fixture.import().setLockWait(200);
    QVERIFY_THROWS_EXCEPTION(PlainError, fixture.importPending());
    QVERIFY(QFileInfo::exists(fixture.journalPath()));
    QVERIFY(!QFileInfo::exists(fixture.copyPath()));
    ::close(held);
    ::close(lock);
    QCOMPARE(fixture.importPending().rows, 2);
}

QTEST_GUILESS_MAIN(TestJournalImport)

#include "tst_journalimport.moc"
