#include "InstallFixture.h"
#include "app/Application.h"
#include "app/DataModule.h"
#include "app/DeveloperKeys.h"
#include "app/LoginDialog.h"
#include "app/TrayIcon.h"
#include "data/Catalogue.h"
#include "ui/MainWindow.h"

#include <QtTest>

#include <QAction>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

using namespace tollbook;
using MessageBox::Answer;

namespace {

// Counts the presses of G that reach a widget.
class KeySpy : public QObject
{
public:
    int presses = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_G) {
            ++presses;
        }
        return QObject::eventFilter(watched, event);
    }
};

// What the export showed in its save dialog.
struct SaveDialogSeen
{
    int runs = 0;
    QString objectName;
    QStringList filters;
    QString suffix;
    QString folder;
    QString proposedName;
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestLanguageMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void switchLanguage_data();
    void switchLanguage();
    void unwritableConfigKeepsLanguage();
    void developerModeToggles();
    void exportKey_data();
    void exportKey();
    void exportTakesTheModalDialog();

private:
    // Records the save dialog the export prepares and answers it with the file.
    void answerSaveDialog(ApplicationShell& shell, const QString& file);

    SaveDialogSeen m_seen;
};

void TestLanguageMenu::cleanup()
{
    resetProcessWideState();
    m_seen = SaveDialogSeen();
}

void TestLanguageMenu::answerSaveDialog(ApplicationShell& shell, const QString& file)
{
    shell.developerKeys()->setSaveDialog([this, file](QFileDialog& dialog) {
        ++m_seen.runs;
        m_seen.objectName = dialog.objectName();
        m_seen.filters = dialog.nameFilters();
        m_seen.suffix = dialog.defaultSuffix();
        m_seen.folder = dialog.directory().absolutePath();
        m_seen.proposedName = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        return file;
    });
}

void TestLanguageMenu::switchLanguage_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("noticeTitle");
    QTest::addColumn<QString>("exitQuestion");
    QTest::addColumn<QStringList>("exitButtons");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("restoreCaption");
    QTest::addColumn<QString>("finishCaption");

    QTest::newRow("pt_BR to en") << QStringLiteral("pt_BR") << QStringLiteral("InglsEN1") << QStringLiteral("en")
                                 << QStringLiteral("The Tollbook needs to be restarted for the change of language to "
                                                   "take effect.")
                                 << QStringLiteral("Information") << QStringLiteral("Exit Tollbook?")
                                 << QStringList{ QStringLiteral("&Yes"), QStringLiteral("&No") }
                                 << QStringLiteral("Tollbook (EN)") << QStringLiteral("Restore")
                                 << QStringLiteral("Finalize");
    // No window file for Spanish: the main window keeps its captions.
    QTest::newRow("en to es") << QStringLiteral("en") << QStringLiteral("EspanholES1") << QStringLiteral("es")
                              << QStringLiteral("El Tollbook necesita ser reiniciado para el cambio de idioma surta "
                                                "efecto.")
                              << QStringLiteral("Información") << QStringLiteral("¿Salir del Tollbook?")
                              << QStringList{ QStringLiteral("&Sí"), QStringLiteral("&No") }
                              << QStringLiteral("Tollbook") << QStringLiteral("Restaurar")
                              << QStringLiteral("Finalizar");
    QTest::newRow("the language in use") << QStringLiteral("pt_BR") << QStringLiteral("PortugusBrasilBR1")
                                         << QStringLiteral("pt_BR")
                                         << QStringLiteral("O Tollbook precisa ser reiniciado para que a alteração do "
                                                           "idioma tenha efeito.")
                                         << QStringLiteral("Informação") << QStringLiteral("Sair do Tollbook?")
                                         << QStringList{ QStringLiteral("&Sim"), QStringLiteral("&Não") }
                                         << QStringLiteral("Tollbook") << QStringLiteral("Restaurar")
                                         << QStringLiteral("Finalizar");
}

// A switch stores the code, relabels at once, tells that a restart is needed and asks to close; answered
// No, the application runs on in the notification area with the new texts.
void TestLanguageMenu::switchLanguage()
{
    QFETCH(QString, from);
    QFETCH(QString, item);
    QFETCH(QString, to);
    QFETCH(QString, notice);
    QFETCH(QString, noticeTitle);
    QFETCH(QString, exitQuestion);
    QFETCH(QStringList, exitButtons);
    QFETCH(QString, title);
    QFETCH(QString, restoreCaption);
    QFETCH(QString, finishCaption);

    InstallFixture install;
    install.writeConfig(QStringLiteral("Language"), from);
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();

    BoxRecorder boxes({ Answer::Ok, Answer::No });
    window->action(item)->trigger();

    QCOMPARE(install.config(QStringLiteral("Language")), to);
    QCOMPARE(Language::currentCode(), to);
    QCOMPARE(boxes.count(), 2);
    QCOMPARE(boxes.box(0).text, notice);
    QCOMPARE(boxes.box(0).title, noticeTitle);
    QCOMPARE(boxes.box(1).text, exitQuestion);
    QCOMPARE(boxes.box(1).buttons, exitButtons);

    QVERIFY(!shell->dataModule()->endRequested());
    QVERIFY(!window->isVisible());
    QCOMPARE(window->windowTitle(), title);
    QTreeWidgetItem* root = window->findChild<QTreeWidget*>(QStringLiteral("TreeView1"))->topLevelItem(0);
    for (int entry = 1; entry <= 5; ++entry) {
        QCOMPARE(root->child(entry - 1)->text(0), QStringLiteral("%1 %2").arg(to).arg(entry));
    }
    QCOMPARE(shell->tray()->restoreAction()->text(), restoreCaption);
    QCOMPARE(shell->tray()->finishAction()->text(), finishCaption);
}

void TestLanguageMenu::unwritableConfigKeepsLanguage()
{
    InstallFixture install;
    const auto shell = startShell(install);
    // Something the file cannot be written over.
    QVERIFY(QFile::remove(install.configPath()));
    QVERIFY(QDir().mkdir(install.configPath()));

    BoxRecorder boxes({ Answer::Ok, Answer::No });
    shell->mainWindow()->action(QStringLiteral("InglsEN1"))->trigger();

    QCOMPARE(boxes.texts(), QStringList{ QStringLiteral("ATENÇÃO \n\nUnable to write to ") + install.configPath() });
    QCOMPARE(Language::currentCode(), QStringLiteral("pt_BR"));
    QCOMPARE(shell->tray()->finishAction()->text(), QStringLiteral("Finalizar"));
    QVERIFY(shell->mainWindow()->isVisible());
}

void TestLanguageMenu::developerModeToggles()
{
    InstallFixture install;
    const auto shell = startShell(install);
    QAction* toggle = shell->mainWindow()->action(QStringLiteral("AtivaPermisso1"));
    auto* label = shell->mainWindow()->findChild<QLabel*>(QStringLiteral("lbModoDesenv"));
    QVERIFY(label);

    toggle->trigger();
    QVERIFY(shell->dataModule()->developerMode());
    QVERIFY(label->isVisible());

    toggle->trigger();
    QVERIFY(!shell->dataModule()->developerMode());
    QVERIFY(!label->isVisible());
}

void TestLanguageMenu::exportKey_data()
{
    QTest::addColumn<bool>("developerMode");
    QTest::addColumn<bool>("chooseFile");
    QTest::addColumn<bool>("written");

    QTest::newRow("mode off") << false << true << false;
    QTest::newRow("mode on, file chosen") << true << true << true;
    QTest::newRow("mode on, cancelled") << true << false << false;
}

// While developer mode is on, Ctrl+Alt+G is taken by the export; otherwise the key reaches the window.
void TestLanguageMenu::exportKey()
{
    QFETCH(bool, developerMode);
    QFETCH(bool, chooseFile);
    QFETCH(bool, written);

    InstallFixture install;
    const auto shell = startShell(install);
    MainWindow* window = shell->mainWindow();
    if (developerMode) {
        window->action(QStringLiteral("AtivaPermisso1"))->trigger();
    }
    QTemporaryDir out;
    const QString file = out.filePath(QStringLiteral("exported.lpu"));
    answerSaveDialog(*shell, chooseFile ? file : QString());
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    KeySpy spy;
    target->installEventFilter(&spy);

    QTest::keyClick(target, Qt::Key_G, Qt::ControlModifier | Qt::AltModifier);

    QCOMPARE(spy.presses, developerMode ? 0 : 1);
    QCOMPARE(m_seen.runs, developerMode ? 1 : 0);
    QCOMPARE(QFile::exists(file), written);
    if (developerMode) {
        QCOMPARE(m_seen.objectName, QStringLiteral("SaveDialoglpu"));
        QCOMPARE(m_seen.filters, QStringList{ QStringLiteral("Arquivos de Linguagem (*.lpu)") });
        QCOMPARE(m_seen.suffix, QStringLiteral("lpu"));
        QCOMPARE(m_seen.folder, QDir(install.path(QStringLiteral("language/pt_BR"))).absolutePath());
        QVERIFY(m_seen.proposedName.startsWith(QLatin1String("frmTBKPrincipal")));
    }
    if (written) {
        QVERIFY(readAll(file).startsWith("[frmTBKPrincipal]\r\nfrmTBKPrincipal.Caption=Tollbook\r\n"));
    }
}

void TestLanguageMenu::exportTakesTheModalDialog()
{
    InstallFixture install;
    const auto shell = startShell(install);
    shell->mainWindow()->action(QStringLiteral("AtivaPermisso1"))->trigger();
    shell->controller()->minimizeToTray();
    install.setLogin(QStringLiteral("S"), QStringLiteral("admin"), QStringLiteral("segredo"));
    shell->dataModule()->datasets()->configuration->reopen();
    QTemporaryDir out;
    const QString file = out.filePath(QStringLiteral("login.lpu"));
    answerSaveDialog(*shell, file);

    bool active = false;
    const auto login = ModalHelper::onNextModal([&](QWidget* modal) {
        active = QTest::qWaitForWindowActive(modal);
        QTest::keyClick(modal->focusWidget(), Qt::Key_G, Qt::ControlModifier | Qt::AltModifier);
        modal->findChild<QPushButton*>(QStringLiteral("btnCancelar"))->click();
    });
    shell->tray()->restoreAction()->trigger();

    QTRY_VERIFY(active);
    QCOMPARE(m_seen.runs, 1);
    QVERIFY(m_seen.proposedName.startsWith(QLatin1String("frmLogin")));
    QVERIFY(readAll(file).startsWith("[frmLogin]\r\nfrmLogin.Caption=Login - Tollbook\r\n"));
}

int main(int argc, char** argv)
{
    tollbook::Application app(argc, argv);
    TestLanguageMenu test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_languagemenu.moc"
