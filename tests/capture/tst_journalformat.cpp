#include "JobRecord.h"
#include "capture/JournalFormat.h"
#include "capture/JournalImport.h"
#include "capture/JournalText.h"
#include "common/DatabaseFixture.h"
#include "data/Schema.h"

#include <QtTest>

using namespace tollbook;

Q_DECLARE_METATYPE(JournalText::Encoding)

namespace {

QByteArray utf16(const QString& text, bool bigEndian)
{
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xff);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

QStringList linesOf(JournalText& text)
{
    QStringList lines;
    QString line;
    while (text.nextLine(line)) {
        lines << line;
    }
    return lines;
}

} // namespace

class TestJournalFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lines_data();
    void lines();
    void fields_data();
    void fields();
    void wholeNumbers_data();
    void wholeNumbers();
    void realNumbers_data();
    void realNumbers();
    void refusals_data();
    void refusals();
    void longLinesAndWidths();
    void agentLinesReadBack();
    void widthsAreTheSchemas();
};

void TestJournalFormat::lines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<JournalText::Encoding>("encoding");
    QTest::addColumn<QStringList>("lines");

    const QString jose = QStringLiteral("José €");
    QTest::newRow("no mark: Windows-1252") << QByteArray("Jos\xE9 \x80\r\nb") << JournalText::Encoding::Windows1252
                                           << QStringList{ jose, QStringLiteral("b") };
    QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBF") + jose.toUtf8() + "\r\nb\r\n"
                                << JournalText::Encoding::Utf8 << QStringList{ jose, QStringLiteral("b") };
    QTest::newRow("UTF-16LE mark") << utf16(jose + QStringLiteral("\r\nb\r\n"), false)
                                   << JournalText::Encoding::Utf16LittleEndian
                                   << QStringList{ jose, QStringLiteral("b") };
    QTest::newRow("UTF-16BE mark, lone CRs")
        << utf16(jose + QStringLiteral("\rb\r"), true) << JournalText::Encoding::Utf16BigEndian
        << QStringList{ jose, QStringLiteral("b") };
    QTest::newRow("UTF-16LE, odd last byte")
        << utf16(QStringLiteral("a\nb"), false) + "\x00" << JournalText::Encoding::Utf16LittleEndian
        << QStringList{ QStringLiteral("a"), QStringLiteral("b") };
    QTest::newRow("CR only") << QByteArray("a\rb\rc") << JournalText::Encoding::Windows1252
                             << QStringList{ QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c") };
    QTest::newRow("CR LF, LF and CR mixed")
        << QByteArray("a\r\nb\nc\rd") << JournalText::Encoding::Windows1252
        << QStringList{ QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d") };
    QTest::newRow("break at the end makes no line")
        << QByteArray("a\r\n") << JournalText::Encoding::Windows1252 << QStringList{ QStringLiteral("a") };
    QTest::newRow("empty line in the middle") << QByteArray("a\r\n\r\nb") << JournalText::Encoding::Windows1252
                                              << QStringList{ QStringLiteral("a"), QString(), QStringLiteral("b") };
    QTest::newRow("CR then CR LF") << QByteArray("a\r\r\nb") << JournalText::Encoding::Windows1252
                                   << QStringList{ QStringLiteral("a"), QString(), QStringLiteral("b") };
    QTest::newRow("empty file") << QByteArray() << JournalText::Encoding::Windows1252 << QStringList();
    QTest::newRow("mark only") << QByteArray("\xEF\xBB\xBF") << JournalText::Encoding::Utf8 << QStringList();
    QTest::newRow("one break") << QByteArray("\n") << JournalText::Encoding::Windows1252 << QStringList{ QString() };
    QTest::newRow("UTF-16LE, CR LF") << utf16(QStringLiteral("a\r\n\r\nb"), false)
                                     << JournalText::Encoding::Utf16LittleEndian
                                     << QStringList{ QStringLiteral("a"), QString(), QStringLiteral("b") };
    // Only what a reader looks at of a very long line is kept: far more than its 4096 characters.
    QTest::newRow("very long line") << QByteArray(100000, 'x') + "\nb" << JournalText::Encoding::Windows1252
                                    << QStringList{ QString(16388, QLatin1Char('x')), QStringLiteral("b") };
}

void TestJournalFormat::lines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(JournalText::Encoding, encoding);
    QFETCH(QStringList, lines);

    // Read in chunks of every small size too, so that marks, breaks and characters fall across chunks.
    for (const qsizetype chunk : { 1, 2, 3, 5, 65536 }) {
        QBuffer device(&bytes);
        QVERIFY(device.open(QIODevice::ReadOnly));
        JournalText text(&device, chunk);
        QCOMPARE(text.encoding(), encoding);
        QCOMPARE(linesOf(text), lines);

        device.seek(0);
        JournalText counted(&device, chunk);
        qsizetype count = 0;
        while (counted.skipLine()) {
            ++count;
        }
        QCOMPARE(count, lines.size());
    }
}

void TestJournalFormat::fields_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("text after the last bar is no field")
        << QStringLiteral("a|b|c") << QStringList{ QStringLiteral("a"), QStringLiteral("b") };
    QTest::newRow("empty fields") << QStringLiteral("a||b|")
                                  << QStringList{ QStringLiteral("a"), QString(), QStringLiteral("b") };
    QTest::newRow("one bar") << QStringLiteral("|") << QStringList{ QString() };
    QTest::newRow("no bar") << QStringLiteral("abc") << QStringList();
    QTest::newRow("blanks kept") << QStringLiteral(" a | b|")
                                 << QStringList{ QStringLiteral(" a "), QStringLiteral(" b") };
}

void TestJournalFormat::fields()
{
    QFETCH(QString, line);
    QFETCH(QStringList, fields);

    QStringList split;
    for (const QStringView field : JournalFormat::splitFields(line)) {
        split << field.toString();
    }
    QCOMPARE(split, fields);
}

void TestJournalFormat::wholeNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("value");

    QTest::newRow("zero") << QStringLiteral("0") << true << 0;
    QTest::newRow("negative") << QStringLiteral("-3") << true << -3;
    QTest::newRow("plus sign") << QStringLiteral("+5") << true << 5;
    QTest::newRow("leading zeros") << QStringLiteral("0042") << true << 42;
    QTest::newRow("highest") << QStringLiteral("2147483647") << true << 2147483647;
    QTest::newRow("lowest") << QStringLiteral("-2147483648") << true << int(-2147483648LL);
    QTest::newRow("too high") << QStringLiteral("2147483648") << false << 0;
    QTest::newRow("too low") << QStringLiteral("-2147483649") << false << 0;
    QTest::newRow("decimal comma") << QStringLiteral("3,5") << false << 0;
    QTest::newRow("leading blank") << QStringLiteral(" 5") << false << 0;
    QTest::newRow("trailing blank") << QStringLiteral("5 ") << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("sign alone") << QStringLiteral("-") << false << 0;
    QTest::newRow("hexadecimal") << QStringLiteral("0x10") << false << 0;
    QTest::newRow("arabic-indic digit") << QStringLiteral("\u0663") << false << 0;
}

void TestJournalFormat::wholeNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, converts);
    QFETCH(int, value);

    qint32 result = 0;
    QCOMPARE(JournalFormat::toWholeNumber(text, &result), converts);
    if (converts) {
        QCOMPARE(result, value);
    }
}

void TestJournalFormat::realNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<double>("value");

    QTest::newRow("whole") << QStringLiteral("184320") << true << 184320.0;
    QTest::newRow("decimal comma") << QStringLiteral("184320,5") << true << 184320.5;
    QTest::newRow("decimal point") << QStringLiteral("184320.5") << false << 0.0;
    QTest::newRow("negative") << QStringLiteral("-1,25") << true << -1.25;
    QTest::newRow("no whole part") << QStringLiteral(",5") << true << 0.5;
    QTest::newRow("no decimals") << QStringLiteral("5,") << true << 5.0;
    QTest::newRow("exponent") << QStringLiteral("1,5E3") << true << 1500.0;
    QTest::newRow("exponent without digits") << QStringLiteral("1e") << false << 0.0;
    QTest::newRow("two marks") << QStringLiteral("1,2,3") << false << 0.0;
    QTest::newRow("empty") << QString() << false << 0.0;
    QTest::newRow("mark alone") << QStringLiteral(",") << false << 0.0;
    QTest::newRow("blank") << QStringLiteral("1 ") << false << 0.0;
    QTest::newRow("out of range") << QStringLiteral("1e999") << false << 0.0;
}

void TestJournalFormat::realNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, converts);
    QFETCH(double, value);

    double result = 0;
    QCOMPARE(JournalFormat::toRealNumber(text, QLatin1Char(','), &result), converts);
    if (converts) {
        QCOMPARE(result, value);
    }
}

void TestJournalFormat::refusals_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("reason"); // empty: the line converts

    const auto job = [](int index, const QString& value) {
        QStringList fields{ "1", "P",  "\\\\PC", "u", "d", "",  "",  "",  "", "D",
                            "2", "10", "x",      "x", "9", "1", "1", "N", "S" };
        fields[index] = value;
        return fields.join(QLatin1Char('|')) + QLatin1Char('|');
    };
    QTest::newRow("all fields") << job(0, QStringLiteral("1")) << QString();
    QTest::newRow("date and time hold anything") << job(12, QStringLiteral("?")) << QString();
    QTest::newRow("job number") << job(0, QStringLiteral("J"))
                                << QStringLiteral("Campo 0 (pJob) não é um número inteiro: \"J\"");
    QTest::newRow("pages 3,5") << job(10, QStringLiteral("3,5"))
                               << QStringLiteral("Campo 10 (pTotalPages) não é um número inteiro: \"3,5\"");
    QTest::newRow("size 1024.5") << job(11, QStringLiteral("1024.5"))
                                 << QStringLiteral("Campo 11 (pSize) não é um número: \"1024.5\"");
    QTest::newRow("paper width") << job(16, QString())
                                 << QStringLiteral("Campo 16 (pPaperWidth) não é um número inteiro: \"\"");
    QTest::newRow("a|b|c") << QStringLiteral("a|b|c")
                           << QStringLiteral("Campo 0 (pJob) não é um número inteiro: \"a\"");
    QTest::newRow("empty line") << QString() << QStringLiteral("Campo 0 (pJob) ausente: a linha tem 0 campo(s)");
    QTest::newRow("16 fields") << QStringLiteral("1|P|\\\\PC|u|d|||||D|2|10|x|x|9|1|")
                               << QStringLiteral("Campo 16 (pPaperWidth) ausente: a linha tem 16 campo(s)");
    QTest::newRow("17 fields") << QStringLiteral("1|P|\\\\PC|u|d|||||D|2|10|x|x|9|1|1|") << QString();
}

void TestJournalFormat::refusals()
{
    QFETCH(QString, line);
    QFETCH(QString, reason);

    TToll record;
    QCOMPARE(JournalFormat::parse(line, QLatin1Char(','), record), reason);
}

void TestJournalFormat::longLinesAndWidths()
{
    // Characters beyond 4096 are not read, and a surrogate pair is never cut in half.
    const QString longLine(5000, QLatin1Char('x'));
    QCOMPARE(JournalFormat::readablePart(longLine).size(), 4096);
    const QString pairAtTheEdge = QString(4095, QLatin1Char('x')) + QStringLiteral("\U0001F5A8") + QStringLiteral("y");
    QCOMPARE(JournalFormat::readablePart(pairAtTheEdge).size(), 4095);

    // Widths count characters, not UTF-16 units.
    const QString printers = QStringLiteral("\U0001F5A8\U0001F5A8ab");
    QCOMPARE(JournalFormat::cutToWidth(printers, 3).toString(), QStringLiteral("\U0001F5A8\U0001F5A8a"));
    QCOMPARE(JournalFormat::cutToWidth(QStringLiteral("SS"), 1).toString(), QStringLiteral("S"));
    QCOMPARE(JournalFormat::trimmed(QStringLiteral(" \t doc \r")).toString(), QStringLiteral("doc"));
}

// What the agent writes, the import reads field for field; what a field cannot carry becomes a space.
void TestJournalFormat::agentLinesReadBack()
{
    agent::JournalRecord record;
    record.job = 42;
    record.printer = "Escritório HP";
    record.machine = "\\\\pc-07";
    record.user = "josé";
    record.document = "a|b\r\nc\td.pdf";
    record.notify = "josé";
    record.dataType = "application/pdf";
    record.printProcessor = "cups";
    record.driver = "HP LaserJet";
    record.totalPages = 3;
    record.size = 184320;
    record.date = "31/12/2025";
    record.time = "10:15:00";
    record.paperSize = 9;
    record.paperLength = 2970;
    record.paperWidth = 2100;
    record.duplex = true;
    record.color = false;

    const std::string written = agent::formatLine(record);
    QVERIFY(written.size() > 2 && written.compare(written.size() - 2, 2, JournalLine::LineEnd) == 0);
    const QString line = QString::fromUtf8(written.data(), qsizetype(written.size()) - 2);
    QCOMPARE(JournalFormat::splitFields(line).size(), JournalLine::FieldCount);
    TToll read;
    QCOMPARE(JournalFormat::parse(line, QLatin1Char(','), read), QString());
    QCOMPARE(read.pJob, 42);
    QCOMPARE(read.pPrinter, QStringLiteral("Escritório HP"));
    QCOMPARE(read.pMachine, QStringLiteral("\\\\pc-07"));
    QCOMPARE(read.pUser, QStringLiteral("josé"));
    QCOMPARE(read.pDocument, QStringLiteral("a b  c d.pdf"));
    QCOMPARE(read.pDriver, QStringLiteral("HP LaserJet"));
    QCOMPARE(read.pTotalPages, 3);
    QCOMPARE(read.pSize, 184320.0);
    QCOMPARE(read.pPaperSize, 9);
    QCOMPARE(read.pPaperLength, 2970);
    QCOMPARE(read.pPaperWidth, 2100);
    QCOMPARE(read.pDuplex, QStringLiteral("S"));
    QCOMPARE(read.pColor, QStringLiteral("N"));
}

// The widths the import cuts the journal's texts to are those the database holds them to: a text of that many
// characters (not bytes) is stored, one more is refused.
void TestJournalFormat::widthsAreTheSchemas()
{
    DatabaseFixture database;
    QSqlQuery query(QSqlDatabase::database(Database::ConnectionName));
    for (const JournalLine::FieldDefinition& field : JournalLine::FieldDefinitions) {
        if (!field.column || (field.kind != JournalLine::Kind::Text && field.kind != JournalLine::Kind::Flag)) {
            continue;
        }
        const QString column = QString::fromLatin1(field.column);
        const int width = Schema::textWidth(QStringLiteral("Impressao"), column);
        QVERIFY2(width > 0, qPrintable(column));
        for (const int length : { width, width + 1 }) {
            QVERIFY(
                query.prepare(Database::storeSql(QStringLiteral("INSERT INTO Impressao (%1) VALUES (?)").arg(column))));
            query.addBindValue(QString(length, QChar(0xE9)));
            QVERIFY2(query.exec() == (length == width), qPrintable(QStringLiteral("%1: %2").arg(column).arg(length)));
        }
    }
}

QTEST_GUILESS_MAIN(TestJournalFormat)

#include "tst_journalformat.moc"
