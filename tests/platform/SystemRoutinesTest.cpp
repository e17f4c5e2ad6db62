#include "platform/SystemRoutines.h"
#include "platform/MessageBoxTexts.h"

#include <QLocale>
#include <QTest>

#include <iterator>

using namespace tollbook;

class SystemRoutinesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void dateToQueryText_data();
    void dateToQueryText();
    void versionText();
    void upperAsciiOnly_data();
    void upperAsciiOnly();

    void messageBoxDefaults_data();
    void messageBoxDefaults();
    void messageBoxChangeAndReset();
};

void SystemRoutinesTest::cleanup()
{
    QLocale::setDefault(QLocale::c());
    MessageBoxTexts::reset();
}

void SystemRoutinesTest::dateToQueryText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("expected");

    QTest::newRow("hyphen separator") << "nl_NL" << QDate(2019, 12, 31) << "12/31/2019";
    QTest::newRow("point separator, day first") << "de_DE" << QDate(2019, 12, 31) << "12/31/2019";
    QTest::newRow("slash separator, day first") << "pt_BR" << QDate(2019, 12, 31) << "12/31/2019";
    QTest::newRow("zero padding") << "nl_NL" << QDate(2021, 1, 5) << "01/05/2021";
    QTest::newRow("four-digit year") << "C" << QDate(999, 3, 7) << "03/07/0999";
}

void SystemRoutinesTest::dateToQueryText()
{
    QFETCH(QString, locale);
    QFETCH(QDate, date);
    QFETCH(QString, expected);

    QLocale::setDefault(QLocale(locale));
    QCOMPARE(DateToQueryText(date), expected);
}

void SystemRoutinesTest::versionText()
{
    QCOMPARE(GetVersionText(), QStringLiteral("5.0.0.2"));
}

void SystemRoutinesTest::upperAsciiOnly_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ascii") << "PrintJob.exe"
                           << "PRINTJOB.EXE";
    QTest::newRow("accented letters unchanged") << "Manutenção"
                                                << "MANUTENçãO";
    QTest::newRow("sharp s and dotless i unchanged") << "straße ı"
                                                     << "STRAßE ı";
}

void SystemRoutinesTest::upperAsciiOnly()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    QCOMPARE(upperAscii(text), expected);
}

void SystemRoutinesTest::messageBoxDefaults_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("expected");

    const char* const texts[] = { "Warning", "Error",   "Information", "Confirm",           "&Yes",        "&No",
                                  "OK",      "Cancel",  "&Help",       "No help available", "Help",        "&Abort",
                                  "&Retry",  "&Ignore", "&All",        "N&o to All",        "Yes to &All", "&Close" };
    static_assert(std::size(texts) == MessageBoxTextCount);
    for (int role = 0; role < MessageBoxTextCount; ++role)
        QTest::addRow("%s", texts[role]) << role << QString::fromLatin1(texts[role]);
}

void SystemRoutinesTest::messageBoxDefaults()
{
    QFETCH(int, role);
    QFETCH(QString, expected);

    QCOMPARE(MessageBoxTexts::text(static_cast<MessageBoxText>(role)), expected);
}

void SystemRoutinesTest::messageBoxChangeAndReset()
{
    QVERIFY(MessageBoxTexts::change(MessageBoxText::Yes, QStringLiteral("&Sim")));
    QVERIFY(MessageBoxTexts::change(MessageBoxText::ErrorTitle, QStringLiteral("Erro")));
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::Yes), QStringLiteral("&Sim"));
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::ErrorTitle), QStringLiteral("Erro"));
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::No), QStringLiteral("&No"));

    QVERIFY(!MessageBoxTexts::change(static_cast<MessageBoxText>(MessageBoxTextCount), QStringLiteral("x")));
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::Close), QStringLiteral("&Close"));

    MessageBoxTexts::reset();
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::Yes), QStringLiteral("&Yes"));
    QCOMPARE(MessageBoxTexts::text(MessageBoxText::ErrorTitle), QStringLiteral("Error"));
}

QTEST_GUILESS_MAIN(SystemRoutinesTest)
#include "SystemRoutinesTest.moc"
