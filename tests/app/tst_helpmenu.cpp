// The Help menu of the main window: the help file of the current language and the About box.

#include "InstallFixture.h"

#include "app/ApplicationShell.h"
#include "maintenance/Help.h"
#include "maintenance/UrlOpener.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QTest>
#include <QTimer>

using namespace tollbook;

class TestHelpMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        setUrlOpener({});
        setHelpViewerStarter({});
        resetProcessWideState();
    }

    void helpFollowsLanguage_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("pt_BR") << "pt_BR";
        QTest::newRow("en") << "en";
        QTest::newRow("es") << "es";
    }

    void helpFollowsLanguage()
    {
        QFETCH(QString, code);
        InstallFixture install;
        install.writeConfig(QStringLiteral("Language"), code);
        install.writeText(QStringLiteral("help/Tollbook_") + code + QStringLiteral(".chm"), { QStringLiteral("x") });
        auto shell = startShell(install);
        // Through the help viewer where it is installed, through the desktop elsewhere.
        QStringList opened;
        setUrlOpener([&opened](const QUrl& url) {
            opened << url.toLocalFile();
            return true;
        });
        setHelpViewerStarter([&opened](const HelpViewerCommand& command) {
            opened << command.arguments.last();
            return true;
        });
        shell->mainWindow()->action(QStringLiteral("Ajuda2"))->trigger();
        QCOMPARE(opened, QStringList{ install.path(QStringLiteral("help/Tollbook_") + code + QStringLiteral(".chm")) });
    }

    void aboutBoxFromMenu()
    {
        InstallFixture install;
        auto shell = startShell(install);
        QString title;
        QString release;
        QTimer::singleShot(0, [&]() {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(box);
            title = box->windowTitle();
            release = box->findChild<QLabel*>(QStringLiteral("lbRelease"))->text();
            box->accept();
        });
        shell->mainWindow()->action(QStringLiteral("SobreoSistema1"))->trigger();
        QCOMPARE(title, QStringLiteral("Sobre"));
        QCOMPARE(release, QStringLiteral("Release: 5.0.0.2"));
    }
};

QTEST_MAIN(TestHelpMenu)
#include "tst_helpmenu.moc"
