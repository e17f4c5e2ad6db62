#include "app/ApplicationShell.h"

#include "app/Application.h"
#include "app/DataModule.h"
#include "app/DeveloperKeys.h"
#include "app/LoginDialog.h"
#include "app/MainWindowController.h"
#include "app/TrayIcon.h"
#include "app/commands/MenuCommands.h"
#include "platform/SingleInstance.h"
#include "ui/ErrorHandler.h"
#include "ui/MainWindow.h"
#include "ui/MessageBox.h"
#include "ui/SplashWindow.h"

#include <QFile>
#include <QStyleFactory>
#include <QTimer>

namespace tollbook {

ApplicationShell::ApplicationShell(const QString& installFolder)
    : m_installFolder(installFolder)
{
}

ApplicationShell::~ApplicationShell()
{
    // The window's datasets go before the data module's connection.
    m_controller.reset();
    m_window.reset();
    m_developerKeys.reset();
    m_dataModule.reset();
    m_tray.reset();
}

bool ApplicationShell::createDataModule()
{
    m_tray = std::make_unique<TrayIcon>();
    m_dataModule = std::make_unique<DataModule>(m_installFolder);
    QObject::connect(m_dataModule.get(), &DataModule::languageSetUp, m_tray.get(), &TrayIcon::retranslate);
    m_developerKeys = std::make_unique<DeveloperKeys>(m_dataModule.get());
    qApp->installEventFilter(m_developerKeys.get());
    return m_dataModule->create();
}

void ApplicationShell::createMainWindow()
{
    m_window = std::make_unique<MainWindow>(m_dataModule->datasets());
    m_controller = std::make_unique<MainWindowController>(m_dataModule.get(), m_tray.get(), m_window.get());
    // The commands of the main menu, one object per menu group; owned by the main window.
    m_commands = new MenuCommands(m_dataModule.get(), m_window.get());
}

void ApplicationShell::showMainWindow()
{
    m_controller->showMainWindow();
}

void ApplicationShell::bringForward()
{
    if (LoginDialog* login = LoginDialog::instance()) {
        login->show();
        login->raise();
        login->activateWindow();
        return;
    }
    if (!m_controller || !m_controller->firstShowingDone() || m_dataModule->endRequested()) {
        return;
    }
    if (m_window->isVisible() && !m_window->isMinimized()) {
        m_window->raise();
        m_window->activateWindow();
        return;
    }
    try {
        m_controller->restoreFromTray();
    } catch (...) {
        ErrorHandler::handleCurrentException();
    }
}

void applyVisualStyle(QApplication& app)
{
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(fusion);
    }
    QFile sheet(QStringLiteral(":/style/SmokeyQuartz.qss"));
    if (!sheet.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning("Visual style: cannot read %s", qPrintable(sheet.fileName()));
        return;
    }
    app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
}

int runApplication(Application& app, const QString& installFolder)
{
    SingleInstance instance;
    if (!instance.claim()) {
        MessageBox::show(DataModule::ProductName, QStringLiteral("The Tollbook is running."), MessageBox::Buttons::Ok);
        instance.activateRunning();
        return 0;
    }

    // The application ends when it says so, not when its last window closes: the main window is hidden
    // while the application runs in the notification area.
    app.setQuitOnLastWindowClosed(false);
    applyVisualStyle(app);
    QCoreApplication::setApplicationName(DataModule::ProductName);

    auto splash = std::make_unique<SplashWindow>(installFolder + QStringLiteral("config.ini"));
    splash->showAndPaint();
    splash->runLoading();

    ApplicationShell shell(installFolder);
    if (!shell.createDataModule()) {
        return 0;
    }
    shell.createMainWindow();
    // A second copy brings this one forward, showing only what the user may see (its errors are handled
    // there). Queued: the login it may open waits in a loop of its own, which must not run inside the
    // socket's handler.
    QObject::connect(
        &instance, &SingleInstance::activationRequested, shell.controller(), [&shell]() { shell.bringForward(); },
        Qt::QueuedConnection);

    splash->hide();
    splash->close();
    splash.reset();

    bool looping = false;
    QObject::connect(shell.dataModule(), &DataModule::endApplicationRequested, &app, [&looping]() {
        if (looping) {
            QCoreApplication::exit(0);
        }
    });
    // The first showing runs inside the loop, as the loop first shows the window.
    QTimer::singleShot(0, shell.controller(), [&shell]() { shell.showMainWindow(); });
    looping = true;
    const int exitCode = app.exec();
    looping = false;
    return exitCode;
}

} // namespace tollbook
