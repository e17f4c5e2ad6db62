#include "maintenance/Help.h"

#include "maintenance/UrlOpener.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <memory>

using namespace tollbook;

class HelpTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void opensTheHelpFileOfTheLanguage_data();
    void opensTheHelpFileOfTheLanguage();
    void hourglassWhileOpeningAndRestoredAfter();
    void viewerShowsTheFile_data();
    void viewerShowsTheFile();
    void viewerStartedWithItsEnvironment();

private:
    // A PATH of one folder of the test's own, with or without a stand-in xchm that records how it was run.
    QString putViewerOnPath(bool installed);

    QByteArray m_path;
    std::unique_ptr<QTemporaryDir> m_bin;
};

void HelpTest::init()
{
    m_path = qgetenv("PATH");
    putViewerOnPath(false);
}

void HelpTest::cleanup()
{
    qputenv("PATH", m_path);
    setUrlOpener({});
    setHelpViewerStarter({});
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

QString HelpTest::putViewerOnPath(bool installed)
{
    m_bin = std::make_unique<QTemporaryDir>();
    const QString viewer = m_bin->filePath(QStringLiteral("xchm"));
    if (installed) {
        QFile file(viewer);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(QStringLiteral("#!/bin/sh\n"
                                  "printf '%s\\n' \"$wx_filesys_no_mimetypesmanager\" \"$@\" > '%1.part'\n"
                                  "/bin/mv '%1.part' '%1'\n")
                       .arg(m_bin->filePath(QStringLiteral("ran")))
                       .toUtf8());
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }
    qputenv("PATH", QFile::encodeName(m_bin->path()));
    return viewer;
}

void HelpTest::opensTheHelpFileOfTheLanguage_data()
{
    QTest::addColumn<QStringList>("installed"); // help files present in help/
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("trailingSlash"); // how the installation folder is written
    QTest::addColumn<QString>("opened");     // relative to the installation folder; empty: nothing opened

    const QStringList all{ "Tollbook_pt_BR.chm", "Tollbook_en.chm", "Tollbook_es.chm" };
    QTest::newRow("en") << all << "en" << true << "help/Tollbook_en.chm";
    QTest::newRow("pt_BR, folder without slash") << all << "pt_BR" << false << "help/Tollbook_pt_BR.chm";
    QTest::newRow("es") << all << "es" << true << "help/Tollbook_es.chm";
    QTest::newRow("file of the language missing") << QStringList{ "Tollbook_pt_BR.chm" } << "en" << true << "";
    QTest::newRow("language without help") << all << "fr" << true << "";
    QTest::newRow("empty language code") << all << "" << true << "";
    QTest::newRow("no help folder") << QStringList{} << "pt_BR" << true << "";
}

void HelpTest::opensTheHelpFileOfTheLanguage()
{
    QFETCH(QStringList, installed);
    QFETCH(QString, code);
    QFETCH(bool, trailingSlash);
    QFETCH(QString, opened);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    if (!installed.isEmpty())
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("help")));
    for (const QString& name : installed) {
        QFile file(folder.filePath(QStringLiteral("help/") + name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("ITSF");
    }

    QList<QUrl> asked;
    setUrlOpener([&asked](const QUrl& url) {
        asked << url;
        return true;
    });
    QWidget owner;
    openHelp(folder.path() + (trailingSlash ? QStringLiteral("/") : QString()), code, &owner);

    if (opened.isEmpty()) {
        QVERIFY(asked.isEmpty());
    } else {
        QCOMPARE(asked, QList<QUrl>{ QUrl::fromLocalFile(folder.filePath(opened)) });
    }
    QVERIFY(QApplication::topLevelWidgets().size() == 1); // only the owner: no message box
}

void HelpTest::hourglassWhileOpeningAndRestoredAfter()
{
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("help")));
    QFile file(folder.filePath(QStringLiteral("help/Tollbook_en.chm")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    int calls = 0;
    Qt::CursorShape whileOpening = Qt::ArrowCursor;
    setUrlOpener([&](const QUrl&) {
        ++calls;
        if (const QCursor* cursor = QApplication::overrideCursor())
            whileOpening = cursor->shape();
        return false; // nothing took the file: still no message
    });
    openHelp(folder.path(), QStringLiteral("en"), nullptr);
    QCOMPARE(calls, 1);
    QCOMPARE(whileOpening, Qt::WaitCursor);
    QVERIFY(!QApplication::overrideCursor());

    // A missing file also passes under the hourglass and leaves no cursor behind.
    openHelp(folder.path(), QStringLiteral("es"), nullptr);
    QCOMPARE(calls, 1);
    QVERIFY(!QApplication::overrideCursor());
}

void HelpTest::viewerShowsTheFile_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<bool>("throughDesktop");

    QTest::newRow("viewer installed") << true << true << false;
    QTest::newRow("viewer fails to start") << true << false << true;
    QTest::newRow("no viewer") << false << true << true;
}

// The help goes to xchm, with the setting that lets it render the pages, and to the desktop only without it.
void HelpTest::viewerShowsTheFile()
{
    QFETCH(bool, installed);
    QFETCH(bool, starts);
    QFETCH(bool, throughDesktop);

    const QString viewer = putViewerOnPath(installed);
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("help")));
    const QString helpFile = folder.filePath(QStringLiteral("help/Tollbook_pt_BR.chm"));
    QFile file(helpFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    QList<HelpViewerCommand> started;
    setHelpViewerStarter([&](const HelpViewerCommand& command) {
        started << command;
        return starts;
    });
    QList<QUrl> desktop;
    setUrlOpener([&desktop](const QUrl& url) {
        desktop << url;
        return true;
    });
    openHelp(folder.path(), QStringLiteral("pt_BR"), nullptr);

    QCOMPARE(started.size(), installed ? 1 : 0);
    if (installed) {
        QCOMPARE(started.at(0).program, viewer);
        QCOMPARE(started.at(0).arguments, QStringList{ helpFile });
        QCOMPARE(started.at(0).environment, QStringList{ QStringLiteral("wx_filesys_no_mimetypesmanager=1") });
    }
    QCOMPARE(desktop, throughDesktop ? QList<QUrl>{ QUrl::fromLocalFile(helpFile) } : QList<QUrl>{});
}

void HelpTest::viewerStartedWithItsEnvironment()
{
    putViewerOnPath(true);
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("help")));
    const QString helpFile = folder.filePath(QStringLiteral("help/Tollbook_es.chm"));
    QFile file(helpFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    setUrlOpener([](const QUrl& url) {
        qWarning("opened through the desktop: %s", qPrintable(url.toString()));
        return false;
    });

    openHelp(folder.path(), QStringLiteral("es"), nullptr);

    const QString ran = m_bin->filePath(QStringLiteral("ran"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(ran), 20000);
    QFile record(ran);
    QVERIFY(record.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(record.readAll()), QStringLiteral("1\n") + helpFile + QLatin1Char('\n'));
}

QTEST_MAIN(HelpTest)
#include "tst_help.moc"
