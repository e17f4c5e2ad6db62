// The printers of the system, against a private CUPS server: names in the server's order and kept once
// listed, what a printer is described with, defaults changed on the server, and printers that cannot be
// opened or changed named in the error.

#include "common/CupsFixture.h"
#include "platform/Errors.h"
#include "platform/Printers.h"

#include <QtTest>

using namespace tollbook;

namespace {

PrinterDefault defaultOf(const PrinterDescription& description, const QString& attribute)
{
    for (const PrinterDefault& entry : description.defaults) {
        if (entry.attribute == attribute) {
            return entry;
        }
    }
    return {};
}

} // namespace

class TestPrinters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void namesAreListedOncePerList();
    void describesWhatTheServerSays();
    void defaultsChangeOnTheServer_data();
    void defaultsChangeOnTheServer();
    void missingPrinterIsAnError();

private:
    CupsFixture m_cups;
    QTemporaryDir m_home;
};

void TestPrinters::initTestCase()
{
    if (!m_cups.startWithPdfDescription()) {
        QSKIP(qPrintable(m_cups.reason()));
    }
    m_cups.pointClientHere(m_home.path());

    QVERIFY(m_cups.addQueue(QStringLiteral("pdf1"), CupsFixture::GenericPdfPpd));
    QVERIFY(m_cups.addQueue(QStringLiteral("raw1")));
    QVERIFY(m_cups.run(QStringLiteral("lpadmin"), { "-p", "pdf1", "-L", "Sala 2 – térreo", "-D", "Fila PDF" }));
}

void TestPrinters::cleanupTestCase()
{
    m_cups.stop();
}

// A printer added after the first listing shows only in a list made afterwards (a new process).
void TestPrinters::namesAreListedOncePerList()
{
    PrinterList list;
    const QStringList first = list.names();
    QCOMPARE(first, (QStringList{ "pdf1", "raw1" }));

    QVERIFY(m_cups.addQueue(QStringLiteral("late1")));
    QCOMPARE(list.names(), first);
    QCOMPARE(PrinterList().names(), (QStringList{ "late1", "pdf1", "raw1" }));
    QVERIFY(m_cups.run(QStringLiteral("lpadmin"), { "-x", "late1" }));
}

void TestPrinters::describesWhatTheServerSays()
{
    const PrinterDescription pdf = Printers::system().describe(QStringLiteral("pdf1"));
    QCOMPARE(pdf.name, QStringLiteral("pdf1"));
    QVERIFY2(pdf.makeAndModel.contains(QStringLiteral("PDF")), qPrintable(pdf.makeAndModel));
    QCOMPARE(pdf.location, QStringLiteral("Sala 2 – térreo"));
    QCOMPARE(pdf.info, QStringLiteral("Fila PDF"));
    QCOMPARE(pdf.state, QStringLiteral("idle"));
    QCOMPARE(pdf.deviceUri, QStringLiteral("file:///dev/null"));

    const PrinterDefault media = defaultOf(pdf, QStringLiteral("media"));
    QCOMPARE(media.value, QStringLiteral("na_letter_8.5x11in"));
    QVERIFY(media.supported.contains(QStringLiteral("iso_a4_210x297mm")));
    const PrinterDefault sides = defaultOf(pdf, QStringLiteral("sides"));
    QCOMPARE(sides.value, QStringLiteral("one-sided"));
    QVERIFY(sides.supported.contains(QStringLiteral("two-sided-long-edge")));
    QVERIFY(!defaultOf(pdf, QStringLiteral("print-color-mode")).value.isEmpty());

    // A raw queue is described too, with what little the server knows of it.
    const PrinterDescription raw = Printers::system().describe(QStringLiteral("raw1"));
    QCOMPARE(raw.name, QStringLiteral("raw1"));
    QCOMPARE(raw.state, QStringLiteral("idle"));
}

void TestPrinters::defaultsChangeOnTheServer_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("value");

    QTest::newRow("paper") << "media"
                           << "iso_a4_210x297mm";
    QTest::newRow("both sides") << "sides"
                                << "two-sided-long-edge";
    QTest::newRow("colour mode") << "print-color-mode"
                                 << "monochrome";
}

void TestPrinters::defaultsChangeOnTheServer()
{
    QFETCH(QString, attribute);
    QFETCH(QString, value);

    Printers::system().setDefaults(QStringLiteral("pdf1"), { { attribute, value } });
    QCOMPARE(defaultOf(Printers::system().describe(QStringLiteral("pdf1")), attribute).value, value);
}

void TestPrinters::missingPrinterIsAnError()
{
    QVERIFY_THROWS_EXCEPTION(PlainError, Printers::system().describe(QStringLiteral("gone1")));
    try {
        Printers::system().setDefaults(QStringLiteral("gone1"), { { "media", "iso_a4_210x297mm" } });
        QFAIL("a printer that does not exist took defaults");
    } catch (const PlainError& error) {
        QVERIFY(!error.message().isEmpty());
    }
    // Nor was a printer of that name added on the way.
    QCOMPARE(PrinterList().names(), (QStringList{ "pdf1", "raw1" }));
}

QTEST_MAIN(TestPrinters)
#include "tst_printers.moc"
