#include "maintenance/Help.h"

#include "maintenance/UrlOpener.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

using namespace tollbook;

class HelpTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void opensTheHelpFileOfTheLanguage_data();
    void opensTheHelpFileOfTheLanguage();
    void hourglassWhileOpeningAndRestoredAfter();
};

void HelpTest::cleanup()
{
    setUrlOpener({});
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
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

QTEST_MAIN(HelpTest)
#include "tst_help.moc"
