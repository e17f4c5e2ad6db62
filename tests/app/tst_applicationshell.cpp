#include "InstallFixture.h"
#include "app/Application.h"
#include "app/DataModule.h"
#include "app/LoginDialog.h"
#include "app/TrayIcon.h"
#include "capture/MonitoringCycle.h"
#include "data/Catalogue.h"
#include "platform/Clock.h"
#include "ui/MainWindow.h"
#include "ui/SplashWindow.h"
#include "ui/pages/ChartsPage.h"
#include "ui/pages/TodayJobsPage.h"
#include "ui/widgets/BarChartView.h"
#include "ui/widgets/DatePicker.h"
#include "ui/widgets/Panel.h"

#include <QtTest>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QThread>
#include <QToolButton>
#include <QTreeWidget>

using namespace tollbook;
using MessageBox::Answer;

namespace {

enum class Setup { NoConfig, MissingDatabase, OtherVersion, VersionWithBlank, JobsIsAFile };

QString today()
{
    return QDate::currentDate().toString(Qt::ISODate);
}

void writeJournals(const InstallFixture& install)
{
    for (const QString& name : { QStringLiteral("jobs/printjob.tlj"), QStringLiteral("jobs/printjobnew.tlj") }) {
        QFile journal(install.path(name));
        QVERIFY(journal.open(QIODevice::WriteOnly));
        journal.write("line\r\n");
    }
}

bool journalsExist(const InstallFixture& install)
{
    return QFile::exists(install.path(QStringLiteral("jobs/printjob.tlj"))) &&
           QFile::exists(install.path(QStringLiteral("jobs/printjobnew.tlj")));
}

// The process has ended, whether or not this side has noticed yet.
bool ended(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(-1);
}

bool clockRunning(MainWindow* window)
{
    auto* timer = window->findChild<QTimer*>(QStringLiteral("Timer2"));
    return timer && timer->isActive();
}

} // namespace

Q_DECLARE_METATYPE(Setup)

class TestApplicationShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void startupPaths_data();
    void startupPaths();
    void firstShowingFillsTheWindow();
    void languageWithoutFilesReadsPortuguese();
    void statusCountFitsItsPanel();
    void collapsedSidePanelsStayAtTheTop();
    void captureRole_data();
    void captureRole();
    void agentIsRestarted_data();
    void agentIsRestarted();
    void tickReachesTheWindow();
    void startupLogin_data();
    void startupLogin();

    void exitQuestion_data();
    void exitQuestion();
    void trayFinishEndsWithoutAsking();
    void minimisingHidesBehindTheIcon();
    void restoreFromTray_data();
    void restoreFromTray();
    void restoreWhileLoginOpenKeepsOneDialog();
    void balloonWaitsForTheIconsPlace_data();
    void balloonWaitsForTheIconsPlace();
    void trayRestoreWaitsForTheIconsHandler_data();
    void trayRestoreWaitsForTheIconsHandler();
    void secondCopyBringsForwardOnlyWhatIsAllowed_data();
    void secondCopyBringsForwardOnlyWhatIsAllowed();
    void secondCopyWhileRestoreLoginOpen();

    void splashTextFollowsLanguage_data();
    void splashTextFollowsLanguage();
    void visualStyleIsOurs();
};

void TestApplicationShell::cleanup()
{
    resetProcessWideState();
    TerminateProcesses(ownAgentName());
}

void TestApplicationShell::startupPaths_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<QStringList>("boxTexts"); // "%1" stands for the installation folder
    QTest::addColumn<QMessageBox::Icon>("firstIcon");
    QTest::addColumn<bool>("jobsFolder");
    QTest::addColumn<QString>("finishCaption"); // the language set-up relabels the tray's exit item

    const QString unchanged = QStringLiteral("&Finalizar");
    QTest::newRow("no config.ini") << Setup::NoConfig << false << QStringList() << QMessageBox::NoIcon << false
                                   << unchanged;
    QTest::newRow("database missing")
        << Setup::MissingDatabase << true
        << QStringList{ QStringLiteral("ATENÇÃO \n\nCould not find file '%1data/none.db'."),
                        QStringLiteral("ATENÇÃO \n\nSQL_Importa: Missing or closed connection 'ADOConexao'") }
        << QMessageBox::Critical << false << unchanged;
    QTest::newRow("other version") << Setup::OtherVersion << false
                                   << QStringList{ QStringLiteral(
                                          "A versão do sistema é diferente do banco de dados! Banco: 0.0.0.1") }
                                   << QMessageBox::Critical << false << unchanged;
    QTest::newRow("same version and a blank") << Setup::VersionWithBlank << true << QStringList() << QMessageBox::NoIcon
                                              << true << QStringLiteral("Finalizar");
    QTest::newRow("jobs cannot be created")
        << Setup::JobsIsAFile << true
        << QStringList{ QStringLiteral("ATENÇÃO \n\nDiretório não pode ser criado: %1jobs. Consulte o Administrador "
                                       "da rede pois seu usuário não tem permissão para criar esta pasta.") }
        << QMessageBox::Warning << false << unchanged;
}

void TestApplicationShell::startupPaths()
{
    QFETCH(Setup, setup);
    QFETCH(bool, goesOn);
    QFETCH(QStringList, boxTexts);
    QFETCH(QMessageBox::Icon, firstIcon);
    QFETCH(bool, jobsFolder);
    QFETCH(QString, finishCaption);

    InstallFixture install;
    switch (setup) {
        case Setup::NoConfig:
            QVERIFY(QFile::remove(install.configPath()));
            break;
        case Setup::MissingDatabase:
            install.writeConfig(QStringLiteral("DataBase"), install.path(QStringLiteral("data/none.db")));
            break;
        case Setup::OtherVersion:
            install.execSql({ QStringLiteral("UPDATE Configuracao SET Versao_Sistema = '0.0.0.1'") });
            break;
        case Setup::VersionWithBlank:
            install.execSql({ QStringLiteral("UPDATE Configuracao SET Versao_Sistema = '%1 '").arg(GetVersionText()) });
            break;
        case Setup::JobsIsAFile:
            install.writeText(QStringLiteral("jobs"), { QStringLiteral("not a folder") });
            break;
    }
    for (QString& text : boxTexts) {
        text.replace(QStringLiteral("%1"), install.folder());
    }

    BoxRecorder boxes;
    const auto shell = startShell(install);

    QCOMPARE(shell->dataModule()->endRequested(), !goesOn);
    QCOMPARE(shell->mainWindow() != nullptr, goesOn);
    if (goesOn) {
        QVERIFY(shell->mainWindow()->isVisible());
        QVERIFY(shell->mainWindow()->updatesEnabled()); // also after a failed first showing
    }
    QCOMPARE(boxes.texts(), boxTexts);
    if (!boxTexts.isEmpty()) {
        QCOMPARE(boxes.box(0).icon, firstIcon);
    }
    QCOMPARE(QFileInfo(install.path(QStringLiteral("jobs"))).isDir(), jobsFolder);
    QCOMPARE(shell->tray()->finishAction()->text(), finishCaption);
    QCOMPARE(QFileInfo::exists(install.configPath()), setup != Setup::NoConfig);
}

void TestApplicationShell::firstShowingFillsTheWindow()
{
    InstallFixture install;
    install.execSql({ QStringLiteral("INSERT INTO Impressao (Print_Name, Print_Data, Print_Hora, Usuario_Id,"
                                     " Print_Pages, dmPaperSize, Print_Color, Projeto_Id) VALUES"
                                     " ('HP1', '%1', '%1 10:00:00', 'Bruno', 2, 9, 'N', 1),"
                                     " ('HP1', '2019-12-31', '2019-12-31 10:00:00', 'Bruno', 2, 9, 'N', 1)")
                          .arg(today()) });
    BoxRecorder boxes;
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();

    QCOMPARE(boxes.count(), 0);
    QVERIFY(window->isVisible());
    QVERIFY(window->updatesEnabled());
    QCOMPARE(window->windowTitle(), QStringLiteral("Tollbook"));
    QCOMPARE(Language::currentCode(), QStringLiteral("pt_BR"));

    // Only today's job is counted, in the template of the language file.
    QCOMPARE(window->statusPanelText(2), QStringLiteral("Registros: 1"));
    QCOMPARE(window->statusPanelText(1), QStringLiteral("Release: ") + GetVersionText());

    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
    QVERIFY(tree);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("Tollbook"));
    for (int entry = 1; entry <= 5; ++entry) {
        QCOMPARE(root->child(entry - 1)->text(0), QStringLiteral("pt_BR %1").arg(entry));
    }
    QCOMPARE(tree->currentItem(), root->child(0));
    auto* pages = window->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    QVERIFY(pages);
    QCOMPARE(pages->currentIndex(), 0);

    MainWindowDatasets* datasets = window->datasets();
    for (Dataset* dataset : { datasets->jobImport, datasets->userJobs, datasets->periodJobs, datasets->users,
                              datasets->sectors, datasets->printers, datasets->printerPrices, datasets->projects }) {
        QVERIFY2(dataset->isOpen(), qPrintable(dataset->objectName()));
    }
    QCOMPARE(datasets->userJobs->recordCount(), 0); // opened for no user
    QCOMPARE(datasets->periodJobs->recordCount(), 1);

    // Both charts show today's pages, and save into the installation folder.
    ChartsPage* charts = window->chartsPage();
    for (const ChartsPage::Chart chart : { ChartsPage::Users, ChartsPage::Sectors }) {
        QCOMPARE(charts->startPicker(chart)->date(), Clock::today());
        QCOMPARE(charts->endPicker(chart)->date(), Clock::today());
    }
    QCOMPARE(charts->chartView(ChartsPage::Users)->chart().bars().size(), 1);
    QCOMPARE(charts->chartView(ChartsPage::Users)->chart().bars().at(0).label, QStringLiteral("Bruno"));
    QCOMPARE(charts->picturePath(ChartsPage::Users), install.path(QStringLiteral("grafico_usuario.bmp")));

    QCOMPARE(install.config(QStringLiteral("PID")), QString::number(QCoreApplication::applicationPid()));
    QVERIFY(!window->isDeveloperLabelVisible());
    QCOMPARE(window->refreshCountdown(), 50);
    QVERIFY(clockRunning(window));
    QVERIFY(!shell->tray()->icon()->isVisible());
}

// A code edited into config.ini by hand, for which no file exists, must not leave entries and questions blank.
void TestApplicationShell::languageWithoutFilesReadsPortuguese()
{
    InstallFixture install;
    install.writeConfig(QStringLiteral("Language"), QStringLiteral("fr"));
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();
    QCOMPARE(Language::currentCode(), QStringLiteral("fr"));

    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
    QVERIFY(tree);
    for (int entry = 1; entry <= 5; ++entry) {
        QCOMPARE(tree->topLevelItem(0)->child(entry - 1)->text(0), QStringLiteral("pt_BR %1").arg(entry));
    }
    QCOMPARE(window->statusPanelText(2), QStringLiteral("Registros: 0"));

    BoxRecorder boxes({ Answer::No });
    QVERIFY(!window->close());
    QCOMPARE(boxes.texts(), QStringList{ QStringLiteral("Sair do Tollbook?") });
}

// "Registro(s): 1234" is wider than the panels' usual width; it must show whole.
void TestApplicationShell::statusCountFitsItsPanel()
{
    InstallFixture install;
    install.writeText(QStringLiteral("language/Default_pt_BR.lpu"),
                      { QStringLiteral("[Principal]"), QStringLiteral("StatusBar1.Panels2.Text=Registro(s): %s") });
    install.execSql(
        { QStringLiteral("INSERT INTO Impressao (Print_Name, Print_Data, Print_Hora, Usuario_Id, Print_Pages,"
                         " dmPaperSize, Print_Color, Projeto_Id)"
                         " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1234)"
                         " SELECT 'HP1', '%1', '%1 10:00:00', 'Bruno', 1, 9, 'N', 1 FROM n")
              .arg(today()) });
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();
    QCOMPARE(window->statusPanelText(2), QStringLiteral("Registro(s): 1234"));

    auto* bar = window->findChild<QStatusBar*>(QStringLiteral("StatusBar1"));
    QVERIFY(bar);
    QCoreApplication::processEvents();
    int checked = 0;
    for (QLabel* panel : bar->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        if (panel->text().isEmpty()) {
            continue;
        }
        QVERIFY2(panel->contentsRect().width() >= panel->fontMetrics().horizontalAdvance(panel->text()),
                 qPrintable(panel->text()));
        ++checked;
    }
    QCOMPARE(checked, 3);
}

// Collapsing a panel of the side pane leaves the panels stacked at its top, not floating in the middle.
void TestApplicationShell::collapsedSidePanelsStayAtTheTop()
{
    InstallFixture install;
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();
    auto* menu = window->findChild<CategoryPanel*>(QStringLiteral("CategoryPanel1"));
    auto* printers = window->findChild<CategoryPanel*>(QStringLiteral("CategoryPanel3"));
    auto* options = window->findChild<CategoryPanel*>(QStringLiteral("CategoryPanel2"));
    QVERIFY(menu && printers && options);
    const int top = menu->y();

    for (CategoryPanel* panel : { menu, printers, options }) {
        panel->setCollapsed(true);
    }
    QTRY_VERIFY(menu->height() < 60);
    QCOMPARE(menu->y(), top);
    for (CategoryPanel* panel : { menu, printers }) {
        const QWidget* next = panel == menu ? printers : options;
        QVERIFY2(next->y() - (panel->y() + panel->height()) <= 8, qPrintable(next->objectName()));
        QCOMPARE(panel->height(), panel->sizeHint().height());
    }

    menu->setCollapsed(false);
    QTRY_VERIFY(menu->height() > 100);
}

void TestApplicationShell::captureRole_data()
{
    QTest::addColumn<QString>("holder");    // "": PID empty; "copy": a running copy of this installation; else PID
    QTest::addColumn<int>("copiesRunning"); // processes under the application's name elsewhere
    QTest::addColumn<bool>("takesOver");

    QTest::newRow("empty, alone") << QString() << 0 << true;
    QTest::newRow("empty, another copy running") << QString() << 2 << true;
    QTest::newRow("held by a running copy of this installation") << QStringLiteral("copy") << 0 << false;
    // The copy named ended (a crash, a service restarted): other programs of that name do not hold the role.
    QTest::newRow("held by a copy that ended, others running") << QStringLiteral("424242") << 2 << true;
    QTest::newRow("held, no other copy") << QStringLiteral("424242") << 1 << true;
}

void TestApplicationShell::captureRole()
{
    QFETCH(QString, holder);
    QFETCH(int, copiesRunning);
    QFETCH(bool, takesOver);

    InstallFixture install;
    QTemporaryDir bin;
    QProcess copies[2];
    for (int i = 0; i < copiesRunning; ++i) {
        QVERIFY(startNamedProcess(copies[i], bin.path(), ownAppName()));
    }
    QCOMPARE(CountProcesses(ownAppName()), copiesRunning);
    // The installation's executable: a copy of sleep stands in for it.
    const QString application = install.path(QStringLiteral("Tollbook"));
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), application));
    QProcess installed;
    QString pidBefore = holder;
    if (holder == QLatin1String("copy")) {
        installed.start(application, { QStringLiteral("600") });
        QVERIFY(installed.waitForStarted(-1));
        pidBefore = QString::number(installed.processId());
    }
    install.writeConfig(QStringLiteral("PID"), pidBefore);

    const auto shell = startShell(install, false);
    shell->controller()->monitoring()->setApplicationPath(application);
    shell->showMainWindow();

    const QString own = QString::number(QCoreApplication::applicationPid());
    QCOMPARE(install.config(QStringLiteral("PID")), takesOver ? own : pidBefore);
    installed.kill();
    installed.waitForFinished(-1);
}

// The monitoring cycle knows no window: what a tick did reaches it through the controller.
void TestApplicationShell::tickReachesTheWindow()
{
    InstallFixture install;
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();
    window->findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
    window->setRefreshCountdown(3);
    QFile journal(install.path(QStringLiteral("jobs/printjob.tlj")));
    QVERIFY(journal.open(QIODevice::WriteOnly));
    journal.write("1|P|\\\\PC|u|doc|n|RAW|cups||D|1|100|x|x|9|2970|2100|N|N|\r\n\r\n");
    journal.close();

    // The control view's refresh button waits while the tick reads today's jobs.
    QToolButton* reload = window->todayJobsPage()->reloadButton();
    bool reloadEnabledDuringTick = true;
    shell->controller()->monitoring()->setClock([&reloadEnabledDuringTick, reload] {
        if (QThread::currentThread() == reload->thread()) {
            reloadEnabledDuringTick = reloadEnabledDuringTick && reload->isEnabled();
        }
        return Clock::now();
    });

    BoxRecorder boxes;
    Q_EMIT window->monitoringTick();

    QCOMPARE(boxes.count(), 0);
    QVERIFY(!reloadEnabledDuringTick);
    QVERIFY(reload->isEnabled());
    QCOMPARE(window->statusPanelText(2), QStringLiteral("Registros: 1"));
    QCOMPARE(window->refreshCountdown(), window->monitoringInterval());
    QCOMPARE(window->statusBar()->currentMessage(),
             QStringLiteral("1 linha(s) vazia(s) do arquivo de impressões foram ignoradas"));
}

void TestApplicationShell::agentIsRestarted_data()
{
    QTest::addColumn<bool>("installed");

    QTest::newRow("agent installed") << true;
    QTest::newRow("agent missing") << false;
}

// The agent found running is ended and a fresh one started from the folder of the system's bitness; a
// missing agent is not reported.
void TestApplicationShell::agentIsRestarted()
{
    QFETCH(bool, installed);

    InstallFixture install;
    QTemporaryDir bin;
    const QString standIn = QDir(bin.path()).filePath(ownAgentName());
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), standIn));
    if (installed) {
        // The installation's agent runs the stand-in under this run's agent name.
        const QString agent =
            install.path(IsWindows64Bit() ? QStringLiteral("bin/x64/PrintJob") : QStringLiteral("bin/x86/PrintJob"));
        QVERIFY(QDir().mkpath(QFileInfo(agent).absolutePath()));
        QFile script(agent);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nexec '%1' 600\n").arg(standIn).toUtf8());
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
    }
    QProcess oldAgent;
    QVERIFY(startNamedProcess(oldAgent, bin.path(), ownAgentName()));

    BoxRecorder boxes;
    const auto shell = startShell(install);

    QVERIFY(ended(oldAgent));
    if (installed) {
        QTRY_VERIFY(IsProcessRunning(ownAgentName()));
    } else {
        QVERIFY(!IsProcessRunning(ownAgentName()));
    }
    QCOMPARE(boxes.count(), 0);
}

void TestApplicationShell::startupLogin_data()
{
    QTest::addColumn<bool>("logIn");

    QTest::newRow("logged in") << true;
    QTest::newRow("closed") << false;
}

void TestApplicationShell::startupLogin()
{
    QFETCH(bool, logIn);

    InstallFixture install;
    install.setLogin(QStringLiteral("S"), QStringLiteral("Admin"), QStringLiteral("segredo"));
    bool asked = false;
    const auto login = ModalHelper::onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<LoginDialog*>(modal);
        QVERIFY(dialog);
        asked = true;
        if (logIn) {
            dialog->findChild<QLineEdit*>(QStringLiteral("EditLogin"))->setText(QStringLiteral("admin"));
            dialog->findChild<QLineEdit*>(QStringLiteral("EditSenha"))->setText(QStringLiteral("segredo"));
            dialog->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
        } else {
            dialog->findChild<QPushButton*>(QStringLiteral("btnCancelar"))->click();
        }
    });
    const auto shell = startShell(install);

    QVERIFY(asked);
    QCOMPARE(shell->dataModule()->endRequested(), !logIn);
    QCOMPARE(shell->mainWindow()->isVisible(), logIn);
    // Closing the login stops the first showing before anything else is done.
    QCOMPARE(install.config(QStringLiteral("PID")).isEmpty(), !logIn);
    QCOMPARE(clockRunning(shell->mainWindow()), logIn);
    QVERIFY(!LoginDialog::instance());
}

void TestApplicationShell::exitQuestion_data()
{
    QTest::addColumn<bool>("fromMenu");
    QTest::addColumn<Answer>("answer");

    QTest::newRow("close box, yes") << false << Answer::Yes;
    QTest::newRow("close box, no") << false << Answer::No;
    QTest::newRow("menu Sair, yes") << true << Answer::Yes;
    QTest::newRow("menu Sair, no") << true << Answer::No;
}

void TestApplicationShell::exitQuestion()
{
    QFETCH(bool, fromMenu);
    QFETCH(Answer, answer);
    const bool yes = answer == Answer::Yes;

    InstallFixture install;
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();
    writeJournals(install);
    QTemporaryDir bin;
    QProcess agent;
    QVERIFY(startNamedProcess(agent, bin.path(), ownAgentName()));

    BoxRecorder boxes({ answer });
    if (fromMenu) {
        window->action(QStringLiteral("Sair1"))->trigger();
    } else {
        QCOMPARE(window->close(), yes);
    }

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.box(0).text, QStringLiteral("Sair do Tollbook?"));
    QCOMPARE(boxes.box(0).buttons, (QStringList{ QStringLiteral("&Sim"), QStringLiteral("&Não") }));
    QVERIFY(!window->isVisible());
    QCOMPARE(shell->dataModule()->endRequested(), yes);
    // Yes ends the agent; the journal files stay either way, for the next start to import.
    QVERIFY(journalsExist(install));
    QCOMPARE(yes ? ended(agent) : agent.state() == QProcess::NotRunning, yes);
    QCOMPARE(clockRunning(window), !yes);
}

void TestApplicationShell::trayFinishEndsWithoutAsking()
{
    InstallFixture install;
    const auto shell = startShell(install);
    writeJournals(install);
    QTemporaryDir bin;
    QProcess agent;
    QVERIFY(startNamedProcess(agent, bin.path(), ownAgentName()));

    BoxRecorder boxes;
    shell->tray()->finishAction()->trigger();

    QCOMPARE(boxes.count(), 0);
    QVERIFY(shell->dataModule()->endRequested());
    QVERIFY(journalsExist(install));
    QVERIFY(ended(agent));
}

void TestApplicationShell::minimisingHidesBehindTheIcon()
{
    InstallFixture install;
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();

    window->showMinimized();
    QTRY_VERIFY(!window->isVisible());
    QVERIFY(!shell->dataModule()->endRequested());

    shell->tray()->restoreAction()->trigger();
    QTRY_VERIFY(window->isVisible());
    QVERIFY(!window->isMinimized());
    QVERIFY(shell->dataModule()->restoreFlag());
}

void TestApplicationShell::restoreFromTray_data()
{
    QTest::addColumn<QString>("loginSwitch");
    QTest::addColumn<QString>("typedPassword"); // empty: the dialog is closed with "Fechar"
    QTest::addColumn<bool>("dialogShown");
    QTest::addColumn<bool>("restored");

    QTest::newRow("login off") << QStringLiteral("N") << QString() << false << true;
    QTest::newRow("login on, right password") << QStringLiteral("S") << QStringLiteral("segredo") << true << true;
    QTest::newRow("login on, Fechar") << QStringLiteral("S") << QString() << true << false;
}

// After a restore was asked for, closing the login leaves the application in the notification area.
void TestApplicationShell::restoreFromTray()
{
    QFETCH(QString, loginSwitch);
    QFETCH(QString, typedPassword);
    QFETCH(bool, dialogShown);
    QFETCH(bool, restored);

    InstallFixture install;
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();
    shell->controller()->minimizeToTray();
    QVERIFY(!window->isVisible());
    install.setLogin(loginSwitch, QStringLiteral("admin"), QStringLiteral("segredo"));
    shell->dataModule()->datasets()->configuration->reopen();

    bool shown = false;
    const auto login = ModalHelper::onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<LoginDialog*>(modal);
        QVERIFY(dialog);
        shown = true;
        if (typedPassword.isEmpty()) {
            dialog->findChild<QPushButton*>(QStringLiteral("btnCancelar"))->click();
            return;
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("EditLogin"))->setText(QStringLiteral("ADMIN"));
        dialog->findChild<QLineEdit*>(QStringLiteral("EditSenha"))->setText(typedPassword);
        dialog->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
    });
    QSystemTrayIcon* icon = shell->tray()->icon();
    Q_EMIT icon->activated(QSystemTrayIcon::DoubleClick);

    QTRY_VERIFY(shell->dataModule()->restoreFlag());
    QCOMPARE(shown, dialogShown);
    QCOMPARE(window->isVisible(), restored);
    QVERIFY(shell->dataModule()->restoreFlag());
    QVERIFY(!shell->dataModule()->endRequested());
}

void TestApplicationShell::restoreWhileLoginOpenKeepsOneDialog()
{
    InstallFixture install;
    const auto shell = startShell(install);
    shell->controller()->minimizeToTray();
    install.setLogin(QStringLiteral("S"), QStringLiteral("admin"), QStringLiteral("segredo"));
    shell->dataModule()->datasets()->configuration->reopen();

    int dialogs = -1;
    const auto login = ModalHelper::onNextModal([&](QWidget* modal) {
        // A second request, by the balloon this time, while the first dialog is open.
        Q_EMIT shell->tray()->icon()->messageClicked();
        QCoreApplication::processEvents();
        dialogs = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            dialogs += qobject_cast<LoginDialog*>(widget) ? 1 : 0;
        }
        QCOMPARE(LoginDialog::instance(), modal);
        modal->findChild<QPushButton*>(QStringLiteral("btnCancelar"))->click();
    });
    shell->tray()->restoreAction()->trigger();

    QTRY_COMPARE(dialogs, 1);
    QVERIFY(!LoginDialog::instance());
    QVERIFY(!shell->mainWindow()->isVisible());
}

void TestApplicationShell::balloonWaitsForTheIconsPlace_data()
{
    QTest::addColumn<int>("placedAtAsk"); // the first ask that finds the icon placed; 0: never
    QTest::addColumn<int>("asksBeforeShowing");

    QTest::newRow("placed at once") << 1 << 1;
    QTest::newRow("placed a moment later") << 4 << 4;
    QTest::newRow("never placed: shown after the last ask") << 0 << 9;
}

void TestApplicationShell::balloonWaitsForTheIconsPlace()
{
    QFETCH(int, placedAtAsk);
    QFETCH(int, asksBeforeShowing);

    QObject context;
    int asks = 0;
    int shown = 0;
    int asksWhenShown = -1;
    whenTrayIconPlaced(
        &context, [&]() { return ++asks == placedAtAsk; },
        [&]() {
            ++shown;
            asksWhenShown = asks;
        },
        10, 1);
    QCOMPARE(shown, 0); // never inside the call that showed the icon
    QTRY_COMPARE(shown, 1);
    // Ten attempts: the last one shows without asking.
    QCOMPARE(asksWhenShown, asksBeforeShowing);
    QTest::qWait(30);
    QCOMPARE(shown, 1);

    // Gone before the icon was placed: nothing is shown.
    auto gone = std::make_unique<QObject>();
    whenTrayIconPlaced(
        gone.get(), []() { return false; }, [&]() { ++shown; }, 10, 1);
    gone.reset();
    QTest::qWait(30);
    QCOMPARE(shown, 1);
}

void TestApplicationShell::trayRestoreWaitsForTheIconsHandler_data()
{
    QTest::addColumn<QString>("signal");

    QTest::newRow("balloon click") << QStringLiteral("messageClicked");
    QTest::newRow("click") << QStringLiteral("Trigger");
    QTest::newRow("double click") << QStringLiteral("DoubleClick");
    QTest::newRow("menu Restaurar") << QStringLiteral("Restaurar1");
}

// Restoring hides the icon; done inside the icon's own handler, that deletes what the handler still uses.
void TestApplicationShell::trayRestoreWaitsForTheIconsHandler()
{
    QFETCH(QString, signal);

    InstallFixture install;
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();
    shell->controller()->minimizeToTray();
    QVERIFY(!window->isVisible());

    QSystemTrayIcon* icon = shell->tray()->icon();
    bool restoredInsideHandler = false;
    const auto probe = [&]() { restoredInsideHandler = window->isVisible(); };
    if (signal == QLatin1String("messageClicked")) {
        Q_EMIT icon->messageClicked();
        probe();
    } else if (signal == QLatin1String("Restaurar1")) {
        shell->tray()->restoreAction()->trigger();
        probe();
    } else {
        Q_EMIT icon->activated(signal == QLatin1String("Trigger") ? QSystemTrayIcon::Trigger
                                                                  : QSystemTrayIcon::DoubleClick);
        probe();
    }

    QVERIFY(!restoredInsideHandler);
    QTRY_VERIFY(window->isVisible());
}

void TestApplicationShell::secondCopyBringsForwardOnlyWhatIsAllowed_data()
{
    QTest::addColumn<QString>("loginSwitch");
    QTest::addColumn<bool>("inTray");
    QTest::addColumn<bool>("loginAsked");
    QTest::addColumn<bool>("windowShown");

    QTest::newRow("login off, in the tray") << QStringLiteral("N") << true << false << true;
    QTest::newRow("login off, on screen") << QStringLiteral("N") << false << false << true;
    // The login comes forward, never the main window behind it; closing it leaves the window hidden.
    QTest::newRow("login on, in the tray") << QStringLiteral("S") << true << true << false;
    QTest::newRow("login on, on screen") << QStringLiteral("S") << false << false << true;
}

void TestApplicationShell::secondCopyBringsForwardOnlyWhatIsAllowed()
{
    QFETCH(QString, loginSwitch);
    QFETCH(bool, inTray);
    QFETCH(bool, loginAsked);
    QFETCH(bool, windowShown);

    InstallFixture install;
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();
    if (inTray) {
        shell->controller()->minimizeToTray();
    }
    install.setLogin(loginSwitch, QStringLiteral("admin"), QStringLiteral("segredo"));
    shell->dataModule()->datasets()->configuration->reopen();

    bool asked = false;
    bool windowBehindLogin = false;
    const auto login = ModalHelper::onNextModal([&](QWidget* modal) {
        QVERIFY(qobject_cast<LoginDialog*>(modal));
        asked = true;
        windowBehindLogin = window->isVisible();
        modal->findChild<QPushButton*>(QStringLiteral("btnCancelar"))->click();
    });
    shell->bringForward();

    QCOMPARE(asked, loginAsked);
    QVERIFY(!windowBehindLogin);
    QCOMPARE(window->isVisible(), windowShown);
    QVERIFY(!shell->dataModule()->endRequested());
}

void TestApplicationShell::secondCopyWhileRestoreLoginOpen()
{
    InstallFixture install;
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();
    shell->controller()->minimizeToTray();
    install.setLogin(QStringLiteral("S"), QStringLiteral("admin"), QStringLiteral("segredo"));
    shell->dataModule()->datasets()->configuration->reopen();

    int dialogs = -1;
    bool windowBehindLogin = true;
    const auto login = ModalHelper::onNextModal([&](QWidget* modal) {
        shell->bringForward();
        QCoreApplication::processEvents();
        dialogs = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            dialogs += qobject_cast<LoginDialog*>(widget) && widget->isVisible() ? 1 : 0;
        }
        windowBehindLogin = window->isVisible();
        modal->findChild<QPushButton*>(QStringLiteral("btnCancelar"))->click();
    });
    shell->tray()->restoreAction()->trigger();

    QTRY_COMPARE(dialogs, 1);
    QVERIFY(!windowBehindLogin);
    // After "Fechar" the application stays in the notification area.
    QVERIFY(!window->isVisible());
    QVERIFY(!shell->dataModule()->endRequested());
}

void TestApplicationShell::splashTextFollowsLanguage_data()
{
    QTest::addColumn<QString>("language"); // null: no Language key
    QTest::addColumn<QString>("text");

    QTest::newRow("pt_BR") << QStringLiteral("pt_BR") << QStringLiteral("Carregando sistema");
    QTest::newRow("en") << QStringLiteral("en") << QStringLiteral("Loading system");
    QTest::newRow("es") << QStringLiteral("es") << QStringLiteral("Cargando systema");
    QTest::newRow("other code") << QStringLiteral("fr") << QStringLiteral("Loading system");
    QTest::newRow("no key") << QString() << QStringLiteral("Loading system");
}

void TestApplicationShell::splashTextFollowsLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, text);

    QTemporaryDir folder;
    const QString config = folder.filePath(QStringLiteral("config.ini"));
    if (!language.isNull()) {
        WriteIniValue(config, QStringLiteral("App"), QStringLiteral("Language"), language);
    }
    SplashWindow splash(config);
    splash.showAndPaint();
    QCOMPARE(splash.loadingLabel()->text(), text);
    splash.runLoading();
    QCOMPARE(splash.loadingLabel()->text(), text + QStringLiteral(" . . . . . ."));
}

void TestApplicationShell::visualStyleIsOurs()
{
    applyVisualStyle(*qApp);
    QVERIFY(qApp->styleSheet().contains(QLatin1String("QPushButton")));
    qApp->setStyleSheet(QString());
    QCOMPARE(QApplication::style()->name(), QStringLiteral("fusion"));
}

int main(int argc, char** argv)
{
    tollbook::Application app(argc, argv);
    TestApplicationShell test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_applicationshell.moc"
