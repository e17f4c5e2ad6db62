#include "InstallFixture.h"
#include "app/DataModule.h"
#include "app/commands/MenuCommands.h"
#include "app/commands/ServiceCommands.h"
#include "app/commands/ToolCommands.h"
#include "platform/Elevation.h"
#include "platform/Errors.h"
#include "platform/ShellExecution.h"
#include "ui/MainWindow.h"

#include <QtTest>

#include <QAction>
#include <QCursor>
#include <QDateEdit>
#include <QDialog>
#include <QGuiApplication>
#include <QPointer>

#include <unistd.h>

using namespace tollbook;
using MessageBox::Answer;

namespace {

const QString InstallNotice = QStringLiteral("Serviço instalado.");
const QString RemoveNotice = QStringLiteral("Serviço removido.");
const QString ExitQuestion = QStringLiteral("Sair do Tollbook?");
const QString NoMeansNotice = QStringLiteral("Sem pkexec. Execute como root: %s");
const QString NotGrantedNotice = QStringLiteral("Direitos recusados.");
const QString FailedNotice = QStringLiteral("Falhou: %s");

// The messages the service commands show, beside the exit question.
void writeServiceMessages(InstallFixture& install)
{
    install.writeText(QStringLiteral("language/Default_pt_BR.lpu"),
                      { QStringLiteral("[Principal]"), QStringLiteral("sMsgSair=") + ExitQuestion,
                        QStringLiteral("sMsgIniciaServico=") + InstallNotice,
                        QStringLiteral("sMsgRemoveServico=") + RemoveNotice,
                        QStringLiteral("sMsgServicoSemDireitos=") + NoMeansNotice,
                        QStringLiteral("sMsgServicoRecusado=") + NotGrantedNotice,
                        QStringLiteral("sMsgServicoFalhou=") + FailedNotice });
}

// The commands built with the shell's main window.
MenuCommands* commandsOf(ApplicationShell& shell)
{
    MenuCommands* built = shell.commands();
    if (!built) {
        qFatal("the shell built no menu commands");
    }
    return built;
}

// The process has ended, whether or not this side has noticed yet. The bound only keeps a broken build
// from hanging the run; QTRY waits three times its bound before it fails.
bool ended(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(60000);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeExecutable(const QString& path, const QByteArray& content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                QFileDevice::ExeOther));
}

// What the elevated start was asked to run, and what config.ini held at that moment.
struct ElevatedStartSeen
{
    QString program;
    QString service;
    QString pid;
};

} // namespace

class TestServiceCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void serviceCommand_data();
    void serviceCommand();
    void serviceCommandNotDone_data();
    void serviceCommandNotDone();
    void elevatedRunReportsTheOutcome_data();
    void elevatedRunReportsTheOutcome();
    void unwritableConfigStartsNothing_data();
    void unwritableConfigStartsNothing();
    void printQueueViewerUnderHourglass();
    void purgeDialogFromTheToolsMenu();
    void printQueueViewerFailureShown();
    void printQueueViewerProgram_data();
    void printQueueViewerProgram();

    void elevatedStartCommand_data();
    void elevatedStartCommand();
    void pkexecKeepsAWaitingParent();

    void serviceScripts();
};

void TestServiceCommands::cleanup()
{
    resetProcessWideState();
    TerminateProcesses(ownAgentName());
}

void TestServiceCommands::serviceCommand_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("is64Bit");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<Answer>("exitAnswer");

    QTest::newRow("install, 64-bit") << QStringLiteral("IniciarcomoServio1") << true
                                     << QStringLiteral("bin/x64/Service-Intall") << QStringLiteral("start")
                                     << InstallNotice << Answer::No;
    QTest::newRow("install, 32-bit") << QStringLiteral("IniciarcomoServio1") << false
                                     << QStringLiteral("bin/x86/Service-Intall") << QStringLiteral("start")
                                     << InstallNotice << Answer::No;
    QTest::newRow("remove, 64-bit") << QStringLiteral("RemoverServio1") << true
                                    << QStringLiteral("bin/x64/Service-Remove") << QStringLiteral("stop")
                                    << RemoveNotice << Answer::No;
    QTest::newRow("remove, 32-bit, then exit")
        << QStringLiteral("RemoverServio1") << false << QStringLiteral("bin/x86/Service-Remove")
        << QStringLiteral("stop") << RemoveNotice << Answer::Yes;
}

// The command hands the capture over: config.ini first, then the script, the agent ended, the notice, and
// the exit question. Declining to exit leaves this copy hidden and no longer the capture copy.
void TestServiceCommands::serviceCommand()
{
    QFETCH(QString, action);
    QFETCH(bool, is64Bit);
    QFETCH(QString, script);
    QFETCH(QString, service);
    QFETCH(QString, notice);
    QFETCH(Answer, exitAnswer);

    InstallFixture install;
    writeServiceMessages(install);
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();
    QVERIFY(window->isVisible());
    QCOMPARE(install.config(QStringLiteral("PID")), QString::number(QCoreApplication::applicationPid()));
    QTemporaryDir bin;
    QProcess agent;
    QVERIFY(startNamedProcess(agent, bin.path(), ownAgentName()));

    ServiceCommands* commands = commandsOf(*shell)->service();
    shell->dataModule()->installation().setBitness([is64Bit]() { return is64Bit; });
    QList<ElevatedStartSeen> starts;
    commands->setElevatedRun([&](const QString& program) {
        starts.append({ program, install.config(QStringLiteral("Service")), install.config(QStringLiteral("PID")) });
        // Asked again while the script runs (the window stays alive meanwhile): nothing more is started.
        window->action(action)->trigger();
        return ElevatedRun{ ElevatedRun::Outcome::Succeeded, 0, QString() };
    });

    BoxRecorder boxes({ Answer::Ok, exitAnswer });
    window->action(action)->trigger();

    QCOMPARE(starts.size(), 1);
    QCOMPARE(starts.at(0).program, install.path(script));
    QCOMPARE(starts.at(0).service, service);
    QVERIFY(starts.at(0).pid.isEmpty());
    QVERIFY(ended(agent));

    QCOMPARE(boxes.texts(), (QStringList{ notice, ExitQuestion }));
    QCOMPARE(boxes.box(0).icon, QMessageBox::Information);
    QCOMPARE(boxes.box(0).buttons.size(), 1);
    QVERIFY(boxes.box(1).answered);

    QVERIFY(!window->isVisible());
    QCOMPARE(shell->dataModule()->endRequested(), exitAnswer == Answer::Yes);
    QCOMPARE(install.config(QStringLiteral("Service")), service);
    QVERIFY(install.config(QStringLiteral("PID")).isEmpty());
}

void TestServiceCommands::serviceCommandNotDone_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errorOutput");
    QTest::addColumn<QString>("expected"); // %1: the script's path

    QTest::newRow("install, no pkexec and not root")
        << QStringLiteral("IniciarcomoServio1") << int(ElevatedRun::Outcome::NoMeansToAsk) << -1 << QString()
        << QStringLiteral("Sem pkexec. Execute como root: %1");
    QTest::newRow("remove, rights refused") << QStringLiteral("RemoverServio1") << int(ElevatedRun::Outcome::NotGranted)
                                            << 126 << QString() << NotGrantedNotice;
    QTest::newRow("install, script refused")
        << QStringLiteral("IniciarcomoServio1") << int(ElevatedRun::Outcome::Failed) << 1
        << QStringLiteral("Service-Intall: installing a system service needs administrator rights")
        << QStringLiteral("Falhou: Service-Intall: installing a system service needs administrator rights");
    QTest::newRow("install, script failed silently")
        << QStringLiteral("IniciarcomoServio1") << int(ElevatedRun::Outcome::Failed) << 4 << QString()
        << QStringLiteral("Falhou: %1: 4");
}

// A script that did not run, or refused, hands nothing over: no success notice, config.ini as it was, the
// agent still running, the window still open, and an error box that says what happened.
void TestServiceCommands::serviceCommandNotDone()
{
    QFETCH(QString, action);
    QFETCH(int, outcome);
    QFETCH(int, exitCode);
    QFETCH(QString, errorOutput);
    QFETCH(QString, expected);

    InstallFixture install;
    writeServiceMessages(install);
    install.writeConfig(QStringLiteral("Service"), QStringLiteral("stop"));
    const auto shell = startShell(install);
    const QString ownPid = QString::number(QCoreApplication::applicationPid());
    QCOMPARE(install.config(QStringLiteral("PID")), ownPid);
    QTemporaryDir bin;
    QProcess agent;
    QVERIFY(startNamedProcess(agent, bin.path(), ownAgentName()));

    ServiceCommands* commands = commandsOf(*shell)->service();
    shell->dataModule()->installation().setBitness([]() { return true; });
    QString script;
    commands->setElevatedRun([&](const QString& program) {
        script = program;
        return ElevatedRun{ ElevatedRun::Outcome(outcome), exitCode, errorOutput };
    });

    BoxRecorder boxes({ Answer::Ok, Answer::No });
    shell->mainWindow()->action(action)->trigger();

    QCOMPARE(boxes.texts(), QStringList{ expected.arg(script) });
    QCOMPARE(boxes.box(0).icon, QMessageBox::Critical);
    QCOMPARE(install.config(QStringLiteral("Service")), QStringLiteral("stop"));
    QCOMPARE(install.config(QStringLiteral("PID")), ownPid);
    QCOMPARE(agent.state(), QProcess::Running);
    QVERIFY(shell->mainWindow()->isVisible());
    QVERIFY(!shell->dataModule()->endRequested());
    agent.kill();
    agent.waitForFinished(60000);
}

void TestServiceCommands::elevatedRunReportsTheOutcome_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errorOutput");

    QTest::newRow("success") << QByteArray("#!/bin/sh\necho done\n") << int(ElevatedRun::Outcome::Succeeded) << 0
                             << QString();
    QTest::newRow("refusal") << QByteArray("#!/bin/sh\necho 'no unit folder' >&2\nexit 1\n")
                             << int(ElevatedRun::Outcome::Failed) << 1 << QStringLiteral("no unit folder");
    QTest::newRow("missing script") << QByteArray() << int(ElevatedRun::Outcome::Failed) << -1 << QString();
}

// Run as root the script runs directly; its end, its exit code and its error output come back.
void TestServiceCommands::elevatedRunReportsTheOutcome()
{
    QFETCH(QByteArray, script);
    QFETCH(int, outcome);
    QFETCH(int, exitCode);
    QFETCH(QString, errorOutput);
    if (::geteuid() != 0) {
        QSKIP("without root the run goes through pkexec, which asks a person");
    }

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Service-Intall"));
    if (!script.isEmpty()) {
        writeExecutable(path, script);
    }
    const ElevatedRun run = Elevation::system().runElevated(path);
    QCOMPARE(int(run.outcome), outcome);
    QCOMPARE(run.exitCode, exitCode);
    if (script.isEmpty()) {
        QVERIFY2(run.errorOutput.contains(path), qPrintable(run.errorOutput));
    } else {
        QCOMPARE(run.errorOutput, errorOutput);
    }
}

void TestServiceCommands::unwritableConfigStartsNothing_data()
{
    QTest::addColumn<QString>("action");

    QTest::newRow("install") << QStringLiteral("IniciarcomoServio1");
    QTest::newRow("remove") << QStringLiteral("RemoverServio1");
}

void TestServiceCommands::unwritableConfigStartsNothing()
{
    QFETCH(QString, action);

    InstallFixture install;
    writeServiceMessages(install);
    const auto shell = startShell(install);
    // Something the file cannot be written over, also by root.
    QVERIFY(QFile::remove(install.configPath()));
    QVERIFY(QDir().mkdir(install.configPath()));
    QTemporaryDir bin;
    QProcess agent;
    QVERIFY(startNamedProcess(agent, bin.path(), ownAgentName()));

    ServiceCommands* commands = commandsOf(*shell)->service();
    QStringList started;
    commands->setElevatedRun([&](const QString& program) {
        started << program;
        return ElevatedRun{ ElevatedRun::Outcome::Succeeded, 0, QString() };
    });

    BoxRecorder boxes({ Answer::Ok, Answer::No });
    shell->mainWindow()->action(action)->trigger();

    QCOMPARE(boxes.texts(), QStringList{ QStringLiteral("ATENÇÃO \n\nUnable to write to ") + install.configPath() });
    QVERIFY(started.isEmpty());
    QCOMPARE(agent.state(), QProcess::Running);
    QVERIFY(shell->mainWindow()->isVisible());
    QVERIFY(!shell->dataModule()->endRequested());
    agent.kill();
    agent.waitForFinished(60000);
}

void TestServiceCommands::printQueueViewerUnderHourglass()
{
    InstallFixture install;
    const auto shell = startShell(install);
    MenuCommands* commands = commandsOf(*shell);
    QStringList started;
    bool hourglass = false;
    commands->tools()->setViewerStart([&](const QString& program) {
        started << program;
        const QCursor* cursor = QGuiApplication::overrideCursor();
        hourglass = cursor && cursor->shape() == Qt::WaitCursor;
    });
    QStringList elevated;
    commands->service()->setElevatedRun([&](const QString& program) {
        elevated << program;
        return ElevatedRun{};
    });

    BoxRecorder boxes;
    shell->mainWindow()->action(QStringLiteral("Tollwatch1"))->trigger();

    QCOMPARE(started, QStringList{ install.path(QStringLiteral("bin/Tollwatch")) });
    QVERIFY(elevated.isEmpty());
    QVERIFY(hourglass);
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(boxes.count(), 0);
    QVERIFY(install.config(QStringLiteral("Service")).isEmpty());
    QCOMPARE(install.config(QStringLiteral("PID")), QString::number(QCoreApplication::applicationPid()));
    QVERIFY(shell->mainWindow()->isVisible());
}

// "Manutenção da Base" opens the purge dialog, modal over the main window, with empty pickers; closing it
// releases it.
void TestServiceCommands::purgeDialogFromTheToolsMenu()
{
    InstallFixture install;
    const auto shell = startShell(install);
    QPointer<QDialog> seen;
    QString name;
    bool overWindow = false;
    bool empty = false;
    const auto token = ModalHelper::onNextModal([&](QWidget* modal) {
        name = modal->objectName();
        overWindow = modal->parentWidget() == shell->mainWindow();
        seen = qobject_cast<QDialog*>(modal);
        if (!seen) {
            return;
        }
        // Empty pickers hold the zero date.
        const auto pickers = seen->findChildren<QDateEdit*>();
        empty = pickers.size() == 2 && pickers.at(0)->date() == QDate(1899, 12, 30) &&
                pickers.at(1)->date() == QDate(1899, 12, 30);
        seen->reject();
    });
    shell->mainWindow()->action(QStringLiteral("ManutenodaBase1"))->trigger();

    QCOMPARE(name, QStringLiteral("frmLimpa"));
    QVERIFY(overWindow);
    QVERIFY(seen.isNull()); // released once closed
    QVERIFY(empty);
    QVERIFY(shell->mainWindow()->isVisible());
}

// A viewer that cannot be started is shown by the error handler, and the hourglass goes all the same.
void TestServiceCommands::printQueueViewerFailureShown()
{
    InstallFixture install;
    const auto shell = startShell(install);
    commandsOf(*shell)->tools()->setViewerStart(
        [](const QString&) { throw PlainError(QStringLiteral("O visualizador não pôde ser iniciado.")); });

    BoxRecorder boxes;
    shell->mainWindow()->action(QStringLiteral("Tollwatch1"))->trigger();

    QCOMPARE(boxes.count(), 1);
    QVERIFY(boxes.texts().at(0).endsWith(QStringLiteral("O visualizador não pôde ser iniciado.")));
    QVERIFY(!QGuiApplication::overrideCursor());
    QVERIFY(shell->mainWindow()->isVisible());
}

void TestServiceCommands::printQueueViewerProgram_data()
{
    QTest::addColumn<bool>("installed");

    QTest::newRow("viewer installed") << true;
    QTest::newRow("viewer missing") << false;
}

// Through the platform's own start: the installed viewer runs without parameters; a missing one shows
// nothing at all.
void TestServiceCommands::printQueueViewerProgram()
{
    QFETCH(bool, installed);

    InstallFixture install;
    const auto shell = startShell(install);
    const QString marker = install.path(QStringLiteral("viewer-ran"));
    if (installed) {
        writeExecutable(
            install.path(QStringLiteral("bin/Tollwatch")),
            QStringLiteral("#!/bin/sh\necho \"$#\" > '%1.part' && mv '%1.part' '%1'\n").arg(marker).toUtf8());
    }

    commandsOf(*shell);

    BoxRecorder boxes;
    shell->mainWindow()->action(QStringLiteral("Tollwatch1"))->trigger();

    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(boxes.count(), 0);
    if (installed) {
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(marker), 60000);
        QCOMPARE(readAll(marker).trimmed(), QByteArray("0"));
    }
}

void TestServiceCommands::elevatedStartCommand_data()
{
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<QString>("pkexec");
    QTest::addColumn<bool>("throughPkexec");

    QTest::newRow("already root") << true << QStringLiteral("/usr/bin/pkexec") << false;
    QTest::newRow("user, pkexec present") << false << QStringLiteral("/usr/bin/pkexec") << true;
    QTest::newRow("user, no pkexec") << false << QString() << false;
}

void TestServiceCommands::elevatedStartCommand()
{
    QFETCH(bool, administrator);
    QFETCH(QString, pkexec);
    QFETCH(bool, throughPkexec);

    const QString script = QStringLiteral("/opt/Tollbook 5/bin/x64/Service-Intall");
    const ElevatedCommand command = tollbook::elevatedCommand(script, administrator, pkexec);
    if (!throughPkexec) {
        QCOMPARE(command.program, script);
        QVERIFY(command.arguments.isEmpty());
        return;
    }
    // pkexec gets the script as its one argument, run under a shell.
    QCOMPARE(command.program, QStringLiteral("/bin/sh"));
    QCOMPARE(command.arguments.mid(command.arguments.size() - 2), (QStringList{ pkexec, script }));
}

// pkexec refuses to act for a caller whose parent is gone, and a detached start leaves none. Started the
// way the elevated start does it, a stand-in pkexec must find a parent that still runs and waits for it.
void TestServiceCommands::pkexecKeepsAWaitingParent()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString pkexec = folder.filePath(QStringLiteral("pkexec"));
    const QString record = folder.filePath(QStringLiteral("record"));
    const QString script = folder.filePath(QStringLiteral("Service Intall"));
    writeExecutable(pkexec, QStringLiteral("#!/bin/sh\n"
                                           "{ echo \"$PPID\"; tr '\\0' '\\n' < /proc/$PPID/cmdline; echo --;"
                                           "  printf '%s\\n' \"$@\"; } > '%1.part'\n"
                                           "mv '%1.part' '%1'\n")
                                .arg(record)
                                .toUtf8());

    const ElevatedCommand command = tollbook::elevatedCommand(script, false, pkexec);
    QVERIFY(ShellExecution::system().start(command.program, command.arguments, ShellExecution::Window::Hidden));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record), 60000);

    const QStringList lines = QString::fromUtf8(readAll(record)).split(QLatin1Char('\n'));
    const int separator = int(lines.indexOf(QStringLiteral("--")));
    QVERIFY(separator > 0);
    const QStringList parentCommandLine = lines.mid(1, separator - 1);
    QVERIFY2(lines.at(0) != QLatin1String("1"), "pkexec was left to the init process");
    QVERIFY2(parentCommandLine.contains(pkexec) && parentCommandLine.contains(script),
             qPrintable(parentCommandLine.join(QLatin1Char(' '))));
    QCOMPARE(lines.mid(separator + 1, 2), (QStringList{ script, QString() }));
}

// The service scripts as delivered, run from an installation whose folder name needs escaping in a unit
// file, against a stand-in systemctl and a unit folder of the test's own: never the system's.
void TestServiceCommands::serviceScripts()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString folder = root.filePath(QStringLiteral("Tollbook 5% & co"));
    const QString bin = folder + QStringLiteral("/bin/x64/");
    QVERIFY(QDir().mkpath(bin));
    for (const char* name : { "Service-Intall", "Service-Remove", "tollbook-capture.service.in" }) {
        const QString file = QString::fromLatin1(name);
        QVERIFY2(QFile::copy(QStringLiteral(TOLLBOOK_SOURCE_DIR "/service/") + file, bin + file), name);
    }
    writeExecutable(folder + QStringLiteral("/Tollbook"), "#!/bin/sh\n");

    const QString stubs = root.filePath(QStringLiteral("stubs"));
    const QString calls = root.filePath(QStringLiteral("systemctl-calls"));
    const QByteArray stub = QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1'\n").arg(calls).toUtf8();
    writeExecutable(stubs + QStringLiteral("/systemctl"), stub);
    const QString units = root.filePath(QStringLiteral("units"));
    const QString unit = units + QStringLiteral("/tollbook-capture.service");

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TOLLBOOK_UNIT_DIR"), units);
    environment.insert(QStringLiteral("TOLLBOOK_SYSTEMCTL"), stubs + QStringLiteral("/systemctl"));
    // Should the variable ever be ignored, PATH still finds the stand-in first.
    environment.insert(QStringLiteral("PATH"), stubs + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    const auto run = [&](const QString& script, QByteArray* errors) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(root.path());
        process.start(bin + script, {});
        if (!process.waitForStarted(-1) || !process.waitForFinished(60000)) {
            return -1;
        }
        *errors = process.readAllStandardError();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    };

    QByteArray errors;
    if (::geteuid() != 0) {
        for (const QString& script : { QStringLiteral("Service-Intall"), QStringLiteral("Service-Remove") }) {
            QCOMPARE(run(script, &errors), 1);
            QVERIFY2(errors.contains("run it as root"), errors.constData());
        }
        QVERIFY(!QFileInfo::exists(units));
        QVERIFY(!QFileInfo::exists(calls));
        return;
    }

    QCOMPARE(run(QStringLiteral("Service-Intall"), &errors), 0);
    const QStringList lines = QString::fromUtf8(readAll(unit)).split(QLatin1Char('\n'));
    QString escaped = folder;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
    for (const QString& line :
         { QStringLiteral("ExecStart=\"%1/Tollbook\"").arg(escaped), QStringLiteral("WorkingDirectory=") + escaped,
           QStringLiteral("Environment=QT_QPA_PLATFORM=offscreen"), QStringLiteral("Restart=on-failure"),
           QStringLiteral("After=cups.service"), QStringLiteral("WantedBy=multi-user.target") }) {
        QVERIFY2(lines.contains(line), qPrintable(line));
    }
    QVERIFY(!lines.join(QLatin1Char('\n')).contains(QLatin1Char('@')));
    QCOMPARE(readAll(calls), QByteArray("daemon-reload\nenable --now tollbook-capture.service\n"));

    QVERIFY(QFile::remove(calls));
    QCOMPARE(run(QStringLiteral("Service-Remove"), &errors), 0);
    QVERIFY(!QFileInfo::exists(unit));
    QCOMPARE(readAll(calls), QByteArray("stop tollbook-capture.service\ndisable tollbook-capture.service\n"
                                        "daemon-reload\nreset-failed tollbook-capture.service\n"));
}

QTEST_MAIN(TestServiceCommands)
#include "tst_servicecommands.moc"
