#include "capture/MonitoringCycle.h"

#include "capture/JournalImport.h"
#include "data/Catalogue.h"
#include "data/TextCompare.h"
#include "i18n/Language.h"
#include "platform/Errors.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindow.h"

#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QSet>
#include <QStatusBar>

#include <exception>

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
    explicit SuspendedDisplay(Dataset* dataset)
        : m_dataset(dataset)
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
                ErrorHandler::handleCurrentException();
            }
        }
    }
    SuspendedDisplay(const SuspendedDisplay&) = delete;
    SuspendedDisplay& operator=(const SuspendedDisplay&) = delete;

private:
    Dataset* m_dataset;
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

// Posts the row just appended; a row the database refuses is dropped before the error goes on.
template<typename Fill>
void appendRow(Dataset* dataset, Fill&& fill)
{
    dataset->append();
    try {
        fill();
        dataset->post();
    } catch (...) {
        dataset->cancel();
        throw;
    }
}

QString message(const QString& key, const QString& fallback, const QStringList& values)
{
    const QString text = Language::message(PrincipalSection, key);
    return Language::format(text.isEmpty() ? fallback : text, values);
}

} // namespace

MonitoringCycle::MonitoringCycle(const CapturePaths& paths, DataModuleDatasets* dataModule, MainWindow* window,
                                 QObject* parent)
    : QObject(parent)
    , m_paths(paths)
    , m_dataModule(dataModule)
    , m_window(window)
    , m_agent(paths.agentPath)
    , m_import(new JournalImport(paths.journalPath, paths.journalCopyPath, window->datasets()->SQL_Importa,
                                 window->datasets()->SQL_Usuario, this))
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    connect(m_import, &JournalImport::progress, this, &MonitoringCycle::showProgress);
}

MonitoringCycle::~MonitoringCycle() = default;

void MonitoringCycle::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
    m_import->setClock(m_clock);
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
    } catch (...) {
        ErrorHandler::handleCurrentException();
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

void MonitoringCycle::runSteps()
{
    // The control view's refresh button (btnRControle) is disabled here, and enabled again where the
    // countdown is reset, once the print views bring it.
    refreshControlView();
    if (!isCaptureCopy()) {
        resetCountdown();
        return;
    }

    if (m_agent.runningCount() > 1) {
        m_agent.terminate();
        checkStopped();
    }
    m_agent.startIfNone();
    checkStopped();

    JournalImport::Result imported;
    try {
        imported = m_import->importPending();
    } catch (...) {
        m_window->statusBar()->clearMessage();
        throw;
    }
    m_window->statusBar()->clearMessage();
    checkStopped();

    if (imported.copyProcessed) {
        // A copy found stored already (after a crash) may hold users and printers not registered yet.
        m_registriesDue = m_registriesDue || imported.rows > 0 || imported.alreadyStored;
        if (m_registriesDue) {
            // A row the user is still editing in one of the registries puts the additions off to a later tick.
            m_registriesDue = !(addNewUsers() && addNewPrinters());
        }
        refresh(m_window->datasets()->SQL_Usuario);
        refreshControlView();
        Q_EMIT todayCountChanged();
    }
    resetCountdown();

    if (imported.rejected > 0) {
        throw PlainError(message(QStringLiteral("sMsgLinhasRecusadas"),
                                 QStringLiteral("%s linha(s) do arquivo de impressões não puderam ser importadas e "
                                                "foram guardadas em %s"),
                                 { QString::number(imported.rejected), m_import->rejectedPath() }));
    }
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
    Dataset* control = m_window->datasets()->SQL_Controle;
    refresh(control,
            [this, control]() { control->setParam(QStringLiteral("Data"), DateToQueryText(m_clock().date())); });
}

bool MonitoringCycle::addNewUsers()
{
    Dataset* found = m_dataModule->SQL_BuscaUsuario;
    Dataset* users = m_dataModule->SQL_Usuario;
    Dataset* sectors = m_window->datasets()->SQL_Setor;
    if (users->isEditing() || sectors->isEditing()) {
        return false;
    }
    refresh(found);
    QCoreApplication::processEvents();
    refresh(users);
    QCoreApplication::processEvents();

    requireOpen(sectors);
    SuspendedDisplay suspendedUsers(users);
    SuspendedDisplay suspendedFound(found);
    SuspendedDisplay suspendedSectors(sectors);
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
        appendRow(users, [&]() {
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
    Dataset* found = m_dataModule->SQL_BuscaPrint;
    Dataset* printers = m_window->datasets()->SQL_Impressora;
    Dataset* costs = m_window->datasets()->SQL_Custo;
    if (printers->isEditing() || costs->isEditing()) {
        return false;
    }
    refresh(found);
    QCoreApplication::processEvents();

    requireOpen(printers);
    requireOpen(costs);
    SuspendedDisplay suspendedFound(found);
    SuspendedDisplay suspendedPrinters(printers);
    QSet<QString> known = namesOf(printers, QStringLiteral("Print_Name"));
    const int nameField = found->fieldByName(QStringLiteral("Print_Name"))->index();
    for (int row = 0; row < found->recordCount(); ++row) {
        const QString name = found->storedValue(row, nameField).toString();
        if (name.isEmpty() || known.contains(TextCompare::key(name))) {
            continue;
        }
        appendRow(printers, [&]() { printers->fieldByName(QStringLiteral("Print_Name"))->setValue(name); });
        known.insert(TextCompare::key(name));
        QCoreApplication::processEvents();

        // The new printer is the current one: its price rows are those kept for a printer of that name, if
        // any were left behind. Only the papers without a price get the default one.
        costs->reopen();
        const QSet<QString> priced = namesOf(costs, QStringLiteral("dmPaperSize"));
        for (const int paper : DefaultPapers) {
            if (priced.contains(QString::number(paper))) {
                continue;
            }
            appendRow(costs, [&]() {
                costs->fieldByName(QStringLiteral("Print_Name"))->setValue(name);
                costs->fieldByName(QStringLiteral("Custo_Mono"))->setCurrencyUnits(DefaultMonoPrice);
                costs->fieldByName(QStringLiteral("Custo_Color"))->setCurrencyUnits(DefaultColorPrice);
                costs->fieldByName(QStringLiteral("dmPaperSize"))->setValue(paper);
            });
        }
        QCoreApplication::processEvents();
    }
    return true;
}

void MonitoringCycle::resetCountdown()
{
    m_window->setRefreshCountdown(m_window->monitoringInterval());
}

void MonitoringCycle::showProgress(qint64 done, qint64 total)
{
    if (!m_import->isRunning() || total <= 0) {
        return;
    }
    m_window->statusBar()->showMessage(message(QStringLiteral("sMsgImportando"),
                                               QStringLiteral("Importando impressões: %s de %s"),
                                               { QString::number(done), QString::number(total) }));
}

} // namespace tollbook
