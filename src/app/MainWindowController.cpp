#include "app/MainWindowController.h"

#include "app/DataModule.h"
#include "app/LoginDialog.h"
#include "app/TrayIcon.h"
#include "capture/MonitoringCycle.h"
#include "data/Catalogue.h"
#include "data/ErrorTranslation.h"
#include "i18n/Language.h"
#include "maintenance/UrlOpener.h"
#include "platform/Clock.h"
#include "platform/Printers.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindow.h"
#include "ui/MessageBox.h"
#include "ui/WindowFile.h"
#include "ui/pages/ChartsPage.h"
#include "ui/pages/TodayJobsPage.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QListWidget>
#include <QPointer>
#include <QScopedValueRollback>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

namespace tollbook {

namespace {

const QString AppSection = QStringLiteral("App");
const QString PrincipalSection = QStringLiteral("Principal");
constexpr int CountdownAtStart = 50;

// Where the window can be hidden and still be found again: behind a notification icon, or on a platform
// without a desktop at all (offscreen), where there is nothing to minimise into.
bool canHideWindow()
{
    const QString platform = QGuiApplication::platformName();
    return QSystemTrayIcon::isSystemTrayAvailable() || platform == QLatin1String("offscreen") ||
           platform == QLatin1String("minimal");
}

} // namespace

MainWindowController::MainWindowController(DataModule* dataModule, TrayIcon* tray, MainWindow* window, QObject* parent)
    : QObject(parent)
    , m_dataModule(dataModule)
    , m_tray(tray)
    , m_window(window)
    , m_monitoring(new MonitoringCycle(
          { dataModule->installation().configPath(), dataModule->installation().agentPath(),
            dataModule->installation().journalPath(), dataModule->installation().journalCopyPath(), QString() },
          dataModule->datasets(), window->datasets(), this))
{
    m_monitoring->agent().setProcessName(dataModule->installation().agentName());
    m_monitoring->setErrorReporter(&ErrorHandler::handleCurrentException);
    m_window->setInstallFolder(dataModule->installation().folder());
    m_window->setFileOpener([](const QString& path) { openUrl(QUrl::fromLocalFile(path)); });
    // The control view's refresh button waits while a tick reads the same rows.
    connect(m_window, &MainWindow::monitoringTick, this, [this] {
        QToolButton* reload = m_window->todayJobsPage()->reloadButton();
        reload->setEnabled(false);
        m_monitoring->runTick();
        reload->setEnabled(true);
    });
    connect(m_window->todayJobsPage(), &TodayJobsPage::reloaded, this,
            ErrorHandler::guarded([this] { updateTodayCount(); }));
    connect(m_monitoring, &MonitoringCycle::todayCountChanged, this,
            ErrorHandler::guarded([this] { updateTodayCount(); }));
    connect(m_monitoring, &MonitoringCycle::countdownRestarted, this,
            [this]() { m_window->setRefreshCountdown(m_window->monitoringInterval()); });
    connect(m_monitoring, &MonitoringCycle::statusMessage, this, [this](const QString& text) {
        if (text.isEmpty()) {
            m_window->statusBar()->clearMessage();
        } else {
            m_window->statusBar()->showMessage(text);
        }
    });

    m_window->chartsPage()->setSaveFolder(dataModule->installation().folder());

    m_window->setCloseQuery([this]() { return closeQuery(); });
    m_window->installEventFilter(this);

    connect(m_tray, &TrayIcon::restoreRequested, this, ErrorHandler::guarded([this] { restoreFromTray(); }));
    connect(m_tray, &TrayIcon::finishRequested, this, &MainWindowController::finishFromTray);
}

MainWindowController::~MainWindowController()
{
    m_window->removeEventFilter(this);
    m_window->setCloseQuery(nullptr);
}

void MainWindowController::setAgentName(const QString& agent)
{
    m_dataModule->installation().setAgentName(agent);
    m_monitoring->agent().setProcessName(agent);
}

void MainWindowController::showMainWindow()
{
    if (m_firstShowingDone) {
        m_window->show();
        return;
    }
    if (m_inFirstShowing) {
        return;
    }
    QScopedValueRollback<bool> showing(m_inFirstShowing, true);

    m_window->setUpdatesEnabled(false);
    ErrorHandler::reportingErrors([this] {
        if (runStartupLogin()) {
            m_window->show();
            runFirstShowing();
        }
    });
    m_window->setUpdatesEnabled(true);
    m_firstShowingDone = true;
    if (!m_dataModule->endRequested()) {
        m_window->show();
        m_window->update();
    }
}

bool MainWindowController::runStartupLogin()
{
    if (!m_dataModule->loginEnabled()) {
        return true;
    }
    runLoginDialog();
    return !m_dataModule->endRequested();
}

void MainWindowController::runFirstShowing()
{
    MainWindowDatasets* datasets = m_window->datasets();

    // The user may end the application while pending messages are processed: nothing more is started then.
    const auto ended = [this]() {
        QCoreApplication::processEvents();
        return m_dataModule->endRequested();
    };

    datasets->jobImport->open();
    if (ended()) {
        return;
    }

    // The date pickers of the views come with those pages.
    m_window->chartsPage()->showDay(Clock::today());
    if (ended()) {
        return;
    }

    m_window->selectNavigationEntry(0); // only the first page's tab is visible
    if (ended()) {
        return;
    }

    reopenViews();
    m_monitoring->agent().terminate();
    if (ended()) {
        return;
    }
    takeCaptureRole();
    datasets->openRegistries();
    m_monitoring->agent().startIfNone();
    if (ended()) {
        return;
    }

    m_window->setDeveloperLabelVisible(m_dataModule->developerMode());
    WindowFile::apply(m_window, Language::currentCode());
    // The header's title label always shows the product name.
    m_window->setWindowTitle(DataModule::ProductName);

    m_window->selectNavigationEntry(1);
    m_window->applyNavigationTexts();
    updateTodayCount();
    m_window->setReleaseText(QStringLiteral("Release: ") + GetVersionText());
    m_window->printersList()->clear();
    m_window->printersList()->addItems(PrinterList::shared().names());
    m_window->setRefreshCountdown(CountdownAtStart);
    m_window->startTimers();
    m_window->update();
}

void MainWindowController::reopenViews()
{
    MainWindowDatasets* datasets = m_window->datasets();
    const QDate today = Clock::today();

    datasets->userJobs->close();
    datasets->userJobs->setParam(QStringLiteral("Usuario_Id"), QString());
    datasets->userJobs->setParam(QStringLiteral("datai"), today);
    datasets->userJobs->setParam(QStringLiteral("dataf"), today);
    datasets->userJobs->open();

    datasets->todayJobs->close();
    datasets->todayJobs->setParam(QStringLiteral("Data"), today);
    datasets->todayJobs->open();

    datasets->periodJobs->close();
    datasets->periodJobs->setParam(QStringLiteral("datai"), today);
    datasets->periodJobs->setParam(QStringLiteral("dataf"), today);
    datasets->periodJobs->open();
}

void MainWindowController::takeCaptureRole()
{
    // A copy that finds another copy of this installation holding the role leaves it alone; a config.ini
    // that cannot be written leaves capture stopped, which every tick then says.
    m_monitoring->takeCaptureRole();
}

void MainWindowController::endCapture()
{
    // The journal files stay: their jobs are imported by the next start, not dropped. An import under way
    // rolls back and keeps its copy.
    m_monitoring->stop();
    m_monitoring->agent().terminate();
    m_window->stopTimers();
}

void MainWindowController::updateTodayCount()
{
    const int count = m_window->datasets()->todayJobs->recordCount();
    m_window->setTodayCountText(Language::format(
        Language::message(PrincipalSection, QStringLiteral("StatusBar1.Panels2.Text")), { QString::number(count) }));
}

bool MainWindowController::closeQuery()
{
    // One question at a time: a close asked while the box is up is refused.
    if (m_askingClose) {
        return false;
    }
    QScopedValueRollback<bool> asking(m_askingClose, true);

    const MessageBox::Answer answer =
        MessageBox::show(BoxKind::Confirmation, Language::message(PrincipalSection, QStringLiteral("sMsgSair")),
                         MessageBox::Buttons::YesNo, m_window);
    if (answer != MessageBox::Answer::Yes) {
        minimizeToTray();
        return false;
    }
    // Whatever fails here is shown, and the application ends all the same.
    ErrorHandler::reportingErrors([this] { endCapture(); });
    m_dataModule->endApplication();
    return true;
}

void MainWindowController::finishFromTray()
{
    ErrorHandler::reportingErrors([this] { endCapture(); });
    m_dataModule->endApplication();
}

void MainWindowController::minimizeToTray()
{
    if (!canHideWindow()) {
        if (!m_window->isMinimized()) {
            m_window->showMinimized();
        }
        return;
    }
    m_window->hide();
    m_tray->show();
}

void MainWindowController::restoreApplication()
{
    m_tray->hide();
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void MainWindowController::restoreFromTray()
{
    m_dataModule->setRestoreFlag();
    if (!m_dataModule->loginEnabled()) {
        restoreApplication();
        return;
    }
    if (LoginDialog* open = LoginDialog::instance()) {
        open->show();
        open->raise();
        open->activateWindow();
        return;
    }
    runLoginDialog();
}

bool MainWindowController::runLoginDialog()
{
    QPointer<LoginDialog> dialog = new LoginDialog(m_dataModule);
    const int result = dialog->exec();
    delete dialog.data();
    if (result != QDialog::Accepted) {
        return false;
    }
    restoreApplication();
    return true;
}

bool MainWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::WindowStateChange && m_window->isMinimized() &&
        canHideWindow()) {
        // Hidden once the minimising is over, not in the middle of it.
        QTimer::singleShot(0, this, ErrorHandler::guarded([this] {
                               if (m_window->isMinimized()) {
                                   minimizeToTray();
                               }
                           }));
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tollbook
