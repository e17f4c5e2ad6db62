#include "capture/MonitoringCycle.h"

#include "capture/JournalImport.h"
#include "data/Catalogue.h"
#include "data/TextCompare.h"
#include "i18n/Language.h"
#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/Processes.h"
#include "platform/SystemRoutines.h"

#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <exception>
#include <typeinfo>

namespace tollbook {

namespace {

const QString AppSection = QStringLiteral("App");
const QString PrincipalSection = QStringLiteral("Principal");

// The default page prices of a printer seen for the first time, in ten-thousandths: 0.20 monochrome and
// 0.25 colour, for A4 (9) and then Letter (1).
constexpr qint64 DefaultMonoPrice = 2000;
constexpr qint64 DefaultColorPrice = 2500;
constexpr int DefaultPapers[] = { 9, 1 };

// A dataset's display suspended for the length of a scope.
class SuspendedDisplay
{
public:
    SuspendedDisplay(Dataset* dataset, const std::function<void()>& reportError)
        : m_dataset(dataset)
        , m_reportError(reportError)
    {
        m_dataset->disableControls();
    }
    // Resuming refreshes the views and detail datasets, which may fail; a destructor must not throw, so a
    // failure is reported here unless another error is already on its way out.
    ~SuspendedDisplay()
    {
        try {
            m_dataset->enableControls();
        } catch (...) {
            if (std::uncaught_exceptions() == 0) {
                m_reportError();
            }
        }
    }
    SuspendedDisplay(const SuspendedDisplay&) = delete;
    SuspendedDisplay& operator=(const SuspendedDisplay&) = delete;

private:
    Dataset* m_dataset;
    std::function<void()> m_reportError;
};

void requireOpen(const Dataset* dataset)
{
    if (!dataset->isOpen()) {
        throw DatabaseError(
            QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(dataset->objectName()));
    }
}

// Names compare as the database compares them: without letter case, accented letters too.
QSet<QString> namesOf(const Dataset* dataset, const QString& fieldName)
{
    const int field = dataset->fieldByName(fieldName)->index();
    QSet<QString> names;
    for (int row = 0; row < dataset->recordCount(); ++row) {
        names.insert(TextCompare::key(dataset->storedValue(row, field).toString()));
    }
    return names;
}

// Whether a registry holds a row of that key now, as the database compares keys. A failure to tell is taken for
// no.
bool isRegistered(const Dataset* dataset, const QString& sql, const QVariantList& key)
{
    QSqlQuery query(QSqlDatabase::database(dataset->connectionName(), false));
    if (!query.prepare(sql)) {
        return false;
    }
    for (const QVariant& value : key) {
        query.addBindValue(value);
    }
    return query.exec() && query.next() && query.value(0).toLongLong() > 0;
}

// Appends and posts a new registry row. Installations sharing the database complete the registries at the
// same time: when the row cannot be posted because its key is registered now (another installation registered
// the same user, printer or price meanwhile), the row is dropped and the one stored stands, nothing shown and
// nothing stored twice; false then. Any other failure goes on, the row dropped.
template<typename Fill>
bool appendRegistryRow(Dataset* dataset, const QString& registeredSql, const QVariantList& key, Fill&& fill)
{
    dataset->append();
    try {
        fill();
        dataset->post();
        return true;
    } catch (...) {
        dataset->cancel();
        if (isRegistered(dataset, registeredSql, key)) {
            return false;
        }
        throw;
    }
}

QString message(const QString& key, const QString& fallback, const QStringList& values)
{
    const QString text = Language::message(PrincipalSection, key);
    return Language::format(text.isEmpty() ? fallback : text, values);
}

} // namespace

MonitoringCycle::MonitoringCycle(const CapturePaths& paths, DataModuleDatasets* dataModule,
                                 MainWindowDatasets* datasets, QObject* parent)
    : QObject(parent)
    , m_paths(paths)
    , m_dataModule(dataModule)
    , m_datasets(datasets)
    , m_agent(paths.agentPath)
    , m_import(new JournalImport(paths.journalPath, paths.journalCopyPath, this))
    , m_clock(&tollbook::Clock::now)
{
    connect(m_import, &JournalImport::progress, this, &MonitoringCycle::showProgress);
}

MonitoringCycle::~MonitoringCycle() = default;

void MonitoringCycle::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(&tollbook::Clock::now);
    m_import->setClock(m_clock);
}

void MonitoringCycle::setErrorReporter(ErrorReporter reporter)
{
    m_reportError = std::move(reporter);
}

void MonitoringCycle::reportCurrentError() const
{
    if (m_reportError) {
        m_reportError();
        return;
    }
    try {
        throw;
    } catch (const std::exception& error) {
        qWarning("%s", error.what());
    } catch (...) {
        qWarning("Unknown error");
    }
}

void MonitoringCycle::runTick()
{
    if (m_ticking || m_stopped) {
        return;
    }
    // The error box belongs to the tick: no other tick starts while it is shown.
    QScopedValueRollback<bool> ticking(m_ticking, true);
    try {
        runSteps();
    } catch (const SilentAbort& abort) {
        // Ended on purpose (the application is ending): nothing to show.
        if (typeid(abort) != typeid(SilentAbort)) {
            reportCurrentError();
        }
    } catch (...) {
        reportCurrentError();
    }
}

void MonitoringCycle::tick()
{
    if (m_ticking || m_stopped) {
        return;
    }
    QScopedValueRollback<bool> ticking(m_ticking, true);
    runSteps();
}

void MonitoringCycle::stop()
{
    m_stopped = true;
    m_import->cancel();
}

void MonitoringCycle::checkStopped() const
{
    // The application ended while the tick let events through: nothing more is done, nothing reported.
    if (m_stopped) {
        throw SilentAbort();
    }
}

bool MonitoringCycle::takeCaptureRole()
{
    m_roleWanted = false;
    m_roleProblem.clear();
    const QString ownId = QString::number(QCoreApplication::applicationPid());
    const QString holder = ReadIniValue(m_paths.configPath, AppSection, QStringLiteral("PID"));
    if (holder == ownId) {
        return true;
    }
    // A copy that crashed leaves its id behind, and the system may give that number to any process later.
    if (!holder.isEmpty() && isHeldByRunningCopy(holder)) {
        return false;
    }
    try {
        WriteIniValue(m_paths.configPath, AppSection, QStringLiteral("PID"), ownId);
    } catch (const Error& error) {
        m_roleWanted = true;
        m_roleProblem = error.message();
        return false;
    }
    return true;
}

bool MonitoringCycle::isHeldByRunningCopy(const QString& pid) const
{
    bool isNumber = false;
    const qint64 id = pid.trimmed().toLongLong(&isNumber);
    const QString application =
        m_paths.applicationPath.isEmpty() ? QCoreApplication::applicationFilePath() : m_paths.applicationPath;
    return isNumber && isProcessOfExecutable(id, application);
}

void MonitoringCycle::runSteps()
{
    refreshControlView();
    if (m_roleWanted) {
        takeCaptureRole();
    }
    if (!isCaptureCopy()) {
        Q_EMIT countdownRestarted();
        // Silent while another copy captures; said at every tick while this one cannot take its turn.
        if (m_roleWanted) {
            throw PlainError(message(QStringLiteral("sMsgCapturaParada"),
                                     QStringLiteral("A captura de impressões está parada: o arquivo %s não pode ser "
                                                    "gravado (%s). Nenhuma impressão é importada até que ele possa."),
                                     { m_paths.configPath, m_roleProblem }));
        }
        return;
    }

    // One look at the process list when exactly one agent runs, as it does nearly always.
    const int agents = m_agent.runningCount();
    if (agents > 1) {
        m_agent.terminate();
        checkStopped();
    }
    if (agents != 1) {
        m_agent.startIfNone();
        checkStopped();
    }

    ImportTarget target;
    JournalImport::Result imported;
    try {
        target = ImportTarget::read(m_datasets->todayJobs->connectionName());
        imported = m_import->importPending(target);
    } catch (...) {
        Q_EMIT statusMessage(QString());
        throw;
    }
    Q_EMIT statusMessage(imported.emptyLines > 0
                             ? message(QStringLiteral("sMsgLinhasVazias"),
                                       QStringLiteral("%s linha(s) vazia(s) do arquivo de impressões foram ignoradas"),
                                       { QString::number(imported.emptyLines) })
                             : QString());
    checkStopped();

    if (imported.copyProcessed) {
        // A copy found stored already (after a crash) may hold users and printers not registered yet.
        // The registries are complete after the additions: only a name they do not hold yet can make them
        // incomplete again.
        m_registriesDue = m_registriesDue || imported.alreadyStored || hasUnknownNames(imported, target);
        if (m_registriesDue) {
            // A row the user is still editing in one of the registries puts the additions off to a later tick.
            m_registriesDue = !(addNewUsers() && addNewPrinters());
        }
        refresh(m_datasets->users);
        addNewJobs();
        Q_EMIT todayCountChanged(m_datasets->todayJobs->recordCount());
    }
    Q_EMIT countdownRestarted();

    if (imported.rejected > 0) {
        throw PlainError(message(QStringLiteral("sMsgLinhasRecusadas"),
                                 QStringLiteral("%s linha(s) do arquivo de impressões não puderam ser importadas e "
                                                "foram guardadas em %s"),
                                 { QString::number(imported.rejected), m_import->rejectedPath() }));
    }
}

bool MonitoringCycle::hasUnknownNames(const JournalImport::Result& imported, const ImportTarget& target) const
{
    for (const QString& user : imported.users) {
        if (!target.projects.contains(user)) {
            return true;
        }
    }
    const QSet<QString> printers = namesOf(m_datasets->printers, QStringLiteral("Print_Name"));
    for (const QString& printer : imported.printers) {
        if (!printers.contains(printer)) {
            return true;
        }
    }
    return false;
}

bool MonitoringCycle::isCaptureCopy() const
{
    return ReadIniValue(m_paths.configPath, AppSection, QStringLiteral("PID")) ==
           QString::number(QCoreApplication::applicationPid());
}

void MonitoringCycle::refresh(Dataset* dataset, const std::function<void()>& setParams)
{
    // A row the user is editing is neither posted nor dropped: the refresh waits for a later tick.
    if (dataset->isEditing()) {
        return;
    }
    if (setParams) {
        setParams();
    }
    // Row by row by key, not a reset: the user's current row, selection and scroll position stay.
    dataset->refresh();
}

void MonitoringCycle::refreshControlView()
{
    Dataset* control = m_datasets->todayJobs;
    const QDate today = m_clock().date();
    // Read whole on a new day only; otherwise only the jobs stored since the last look (by another copy, or
    // by another installation sharing the database) are added.
    if (control->isOpen() && control->param(QStringLiteral("Data")).value == QVariant(today)) {
        addNewJobs();
        return;
    }
    refresh(control, [control, &today]() { control->setParam(QStringLiteral("Data"), today); });
}

void MonitoringCycle::addNewJobs()
{
    Dataset* control = m_datasets->todayJobs;
    if (!control->isOpen() || control->isEditing()) {
        return;
    }
    // Today's jobs are newest first: the new ones go on top.
    control->appendNewerRows(QStringLiteral("Print_Id"), Dataset::NewRowsAt::Start);
}

bool MonitoringCycle::addNewUsers()
{
    Dataset* found = m_dataModule->knownUsers;
    Dataset* users = m_dataModule->users;
    Dataset* sectors = m_datasets->sectors;
    if (users->isEditing() || sectors->isEditing()) {
        return false;
    }
    refresh(found);
    QCoreApplication::processEvents();
    refresh(users);
    QCoreApplication::processEvents();

    requireOpen(sectors);
    const auto report = [this] { reportCurrentError(); };
    SuspendedDisplay suspendedUsers(users, report);
    SuspendedDisplay suspendedFound(found, report);
    SuspendedDisplay suspendedSectors(sectors, report);
    // The sectors are in order: the first row holds the lowest Setor_Id. None: the user gets no sector.
    const QVariant sector = sectors->isEmpty()
                                ? QVariant()
                                : sectors->storedValue(0, sectors->fieldByName(QStringLiteral("Setor_Id"))->index());

    QSet<QString> known = namesOf(users, QStringLiteral("usuario_id"));
    const int idField = found->fieldByName(QStringLiteral("usuario_id"))->index();
    for (int row = 0; row < found->recordCount(); ++row) {
        const QString id = found->storedValue(row, idField).toString();
        // A job without a user names no one who could be registered.
        if (id.isEmpty() || known.contains(TextCompare::key(id))) {
            continue;
        }
        appendRegistryRow(users, QStringLiteral("SELECT count(*) FROM Usuario WHERE usuario_id = ?"), { id }, [&]() {
            users->fieldByName(QStringLiteral("usuario_id"))->setValue(id);
            if (!sector.isNull()) {
                users->fieldByName(QStringLiteral("Setor_id"))->setValue(sector);
            }
            users->fieldByName(QStringLiteral("Usuario_Ativo"))->setValue(QStringLiteral("S"));
            users->fieldByName(QStringLiteral("Usuario_Nome"))->setValue(id);
        });
        known.insert(TextCompare::key(id));
        QCoreApplication::processEvents();
    }
    return true;
}

bool MonitoringCycle::addNewPrinters()
{
    Dataset* found = m_dataModule->knownPrinters;
    Dataset* printers = m_datasets->printers;
    Dataset* costs = m_datasets->printerPrices;
    if (printers->isEditing() || costs->isEditing()) {
        return false;
    }
    refresh(found);
    QCoreApplication::processEvents();

    requireOpen(printers);
    requireOpen(costs);
    const auto report = [this] { reportCurrentError(); };
    SuspendedDisplay suspendedFound(found, report);
    SuspendedDisplay suspendedPrinters(printers, report);
    QSet<QString> known = namesOf(printers, QStringLiteral("Print_Name"));
    bool registeredElsewhere = false;
    const int nameField = found->fieldByName(QStringLiteral("Print_Name"))->index();
    for (int row = 0; row < found->recordCount(); ++row) {
        const QString name = found->storedValue(row, nameField).toString();
        if (name.isEmpty() || known.contains(TextCompare::key(name))) {
            continue;
        }
        known.insert(TextCompare::key(name));
        if (!appendRegistryRow(printers, QStringLiteral("SELECT count(*) FROM Impressora WHERE Print_Name = ?"),
                               { name },
                               [&]() { printers->fieldByName(QStringLiteral("Print_Name"))->setValue(name); })) {
            // Registered by another installation, which gives it its prices.
            registeredElsewhere = true;
            continue;
        }
        QCoreApplication::processEvents();

        // The new printer is the current one: its price rows are those kept for a printer of that name, if
        // any were left behind. Only the papers without a price get the default one.
        costs->reopen();
        const QSet<QString> priced = namesOf(costs, QStringLiteral("dmPaperSize"));
        for (const int paper : DefaultPapers) {
            if (priced.contains(QString::number(paper))) {
                continue;
            }
            appendRegistryRow(
                costs,
                QStringLiteral("SELECT count(*) FROM CustoImpressao WHERE Print_Name = ?"
                               " AND dmPaperSize = ?"),
                { name, paper }, [&]() {
                    costs->fieldByName(QStringLiteral("Print_Name"))->setValue(name);
                    costs->fieldByName(QStringLiteral("Custo_Mono"))->setCurrencyUnits(DefaultMonoPrice);
                    costs->fieldByName(QStringLiteral("Custo_Color"))->setCurrencyUnits(DefaultColorPrice);
                    costs->fieldByName(QStringLiteral("dmPaperSize"))->setValue(paper);
                });
        }
        QCoreApplication::processEvents();
    }
    // So that the printers registered meanwhile are listed, and not tried again at every tick.
    if (registeredElsewhere) {
        refresh(printers);
    }
    return true;
}

void MonitoringCycle::showProgress(qint64 done, qint64 total)
{
    if (!m_import->isRunning() || total <= 0) {
        return;
    }
    Q_EMIT statusMessage(message(QStringLiteral("sMsgImportando"), QStringLiteral("Importando impressões: %s de %s"),
                                 { QString::number(done), QString::number(total) }));
}

} // namespace tollbook
