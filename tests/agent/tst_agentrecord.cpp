// The agent's pure parts: paper names, the journal line of a job, page counting and the saved state.

#include "AgentState.h"
#include "Installation.h"
#include "JobRecord.h"
#include "PageCounter.h"
#include "PaperSizes.h"
#include "SampleDocuments.h"

#include <QTest>

#include <cstdlib>
#include <ctime>

using namespace tollbook::agent;

Q_DECLARE_METATYPE(tollbook::agent::JobSnapshot)
Q_DECLARE_METATYPE(tollbook::agent::PrinterInfo)

namespace {

// 2024-03-05 14:07:09 UTC.
constexpr std::time_t CompletedAt = 1709647629;

JobSnapshot baseJob()
{
    JobSnapshot job;
    job.id = 7;
    job.state = JobState::Completed;
    job.printerUri = "ipp://localhost/printers/pdf1";
    job.user = "ana";
    job.host = "pc-ana.example";
    job.name = "Report.pdf";
    job.documentFormat = "application/pdf";
    job.media = "iso_a4_210x297mm";
    job.sides = "two-sided-long-edge";
    job.colorMode = "monochrome";
    job.kOctets = 3;
    job.createdAt = CompletedAt - 5;
    job.completedAt = CompletedAt;
    job.impressions = 3;
    return job;
}

PrinterInfo basePrinter()
{
    PrinterInfo printer;
    printer.makeAndModel = "Generic PDF Printer";
    printer.mediaDefault = "na_letter_8.5x11in";
    printer.sidesDefault = "one-sided";
    printer.colorModeDefault = "color";
    return printer;
}

} // namespace

class AgentRecordTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void paperFromMedia_data();
    void paperFromMedia();
    void journalLine_data();
    void journalLine();
    void recordedJobs_data();
    void recordedJobs();
    void pageCount_data();
    void pageCount();
    void stateText_data();
    void stateText();
    void installationFolder_data();
    void installationFolder();
};

void AgentRecordTest::initTestCase()
{
    // Dates and times are written in local time.
    qputenv("TZ", "UTC");
    tzset();
}

void AgentRecordTest::paperFromMedia_data()
{
    QTest::addColumn<QString>("media");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("width");

    QTest::newRow("PWG A4") << "iso_a4_210x297mm" << 9 << 2970 << 2100;
    QTest::newRow("PPD A4") << "A4" << 9 << 2970 << 2100;
    QTest::newRow("PPD variant") << "A4.Transverse" << 9 << 2970 << 2100;
    QTest::newRow("PWG Letter") << "na_letter_8.5x11in" << 1 << 2794 << 2159;
    QTest::newRow("Letter") << "Letter" << 1 << 2794 << 2159;
    QTest::newRow("Legal") << "Legal" << 5 << 3556 << 2159;
    QTest::newRow("A3") << "A3" << 8 << 4200 << 2970;
    QTest::newRow("A5") << "iso_a5_148x210mm" << 11 << 2100 << 1480;
    QTest::newRow("A6") << "iso_a6_105x148mm" << 70 << 1480 << 1050;
    QTest::newRow("Executive") << "Executive" << 7 << 2667 << 1842;
    QTest::newRow("Tabloid") << "Tabloid" << 3 << 4318 << 2794;
    QTest::newRow("PWG 11x17 is Tabloid") << "na_ledger_11x17in" << 3 << 4318 << 2794;
    QTest::newRow("Ledger") << "Ledger" << 4 << 2794 << 4318;
    QTest::newRow("PPD B4 is JIS") << "B4" << 12 << 3640 << 2570;
    QTest::newRow("JIS B5") << "jis_b5_182x257mm" << 13 << 2570 << 1820;
    QTest::newRow("ISO B4") << "ISOB4" << 42 << 3530 << 2500;
    QTest::newRow("Envelope DL") << "EnvDL" << 27 << 2200 << 1100;
    QTest::newRow("Envelope C5") << "iso_c5_162x229mm" << 28 << 2290 << 1620;
    QTest::newRow("Envelope #10") << "Env10" << 20 << 2413 << 1048;
    QTest::newRow("borderless A4 by size") << "om_a-4-fullbleed_209.9x297.04mm" << 9 << 2970 << 2100;
    QTest::newRow("landscape Letter by size") << "oe_letter-fullbleed_11x8.5in" << 1 << 2794 << 2159;
    QTest::newRow("PWG custom size") << "custom_200x300mm_200x300mm" << 256 << 3000 << 2000;
    QTest::newRow("PPD custom in points") << "Custom.595x842" << 9 << 2970 << 2100;
    QTest::newRow("PPD custom in mm, near no sheet") << "Custom.100x150mm" << 256 << 1500 << 1000;
    QTest::newRow("nothing") << "" << 0 << 0 << 0;
    QTest::newRow("unknown name") << "photo" << 0 << 0 << 0;
    QTest::newRow("size without unit") << "iso_a4_210x297" << 0 << 0 << 0;
}

void AgentRecordTest::paperFromMedia()
{
    QFETCH(QString, media);
    QFETCH(int, code);
    QFETCH(int, length);
    QFETCH(int, width);

    const PaperSize paper = paperForMedia(media.toStdString());
    QCOMPARE(paper.code, code);
    QCOMPARE(paper.length, length);
    QCOMPARE(paper.width, width);
}

void AgentRecordTest::journalLine_data()
{
    QTest::addColumn<JobSnapshot>("job");
    QTest::addColumn<PrinterInfo>("printer");
    QTest::addColumn<int>("documentPages");
    QTest::addColumn<QString>("line");

    const QString rest = QStringLiteral("|cups||Generic PDF Printer|");
    const QString when = QStringLiteral("|05/03/2024|14:07:09|");

    QTest::newRow("everything asked") << baseJob() << basePrinter() << 0
                                      << "7|pdf1|\\\\pc-ana.example|ana|Report.pdf|ana|application/pdf" + rest +
                                             "3|3072" + when + "9|2970|2100|S|N|\r\n";
    {
        JobSnapshot job = baseJob();
        job.impressions = 0;
        job.copies = 2;
        PrinterInfo printer = basePrinter();
        printer.makeAndModel = "Local Raw Printer";
        QTest::newRow("raw queue: counted pages times copies")
            << job << printer << 3
            << "7|pdf1|\\\\pc-ana.example|ana|Report.pdf|ana|RAW|cups||Local Raw Printer|6|3072" + when +
                   "9|2970|2100|S|N|\r\n";
    }
    {
        JobSnapshot job = baseJob();
        job.impressions = 5;
        QTest::newRow("the spooler's count comes first")
            << job << basePrinter() << 3
            << "7|pdf1|\\\\pc-ana.example|ana|Report.pdf|ana|application/pdf" + rest + "5|3072" + when +
                   "9|2970|2100|S|N|\r\n";
    }
    {
        JobSnapshot job = baseJob();
        job.impressions = 0;
        QTest::newRow("no count anywhere") << job << basePrinter() << 0
                                           << "7|pdf1|\\\\pc-ana.example|ana|Report.pdf|ana|application/pdf" + rest +
                                                  "0|3072" + when + "9|2970|2100|S|N|\r\n";
    }
    {
        JobSnapshot job = baseJob();
        job.media.clear();
        job.sides.clear();
        job.colorMode.clear();
        PrinterInfo printer = basePrinter();
        printer.sidesDefault = "two-sided-short-edge";
        QTest::newRow("printer defaults") << job << printer << 0
                                          << "7|pdf1|\\\\pc-ana.example|ana|Report.pdf|ana|application/pdf" + rest +
                                                 "3|3072" + when + "1|2794|2159|S|S|\r\n";
    }
    {
        JobSnapshot job = baseJob();
        job.colorMode.clear();
        PrinterInfo printer = basePrinter();
        printer.colorModeDefault = "monochrome";
        QTest::newRow("monochrome by default") << job << printer << 0
                                               << "7|pdf1|\\\\pc-ana.example|ana|Report.pdf|ana|application/pdf" +
                                                      rest + "3|3072" + when + "9|2970|2100|S|N|\r\n";
    }
    {
        JobSnapshot job = baseJob();
        job.colorMode = "color";
        job.sides = "one-sided";
        PrinterInfo printer = basePrinter();
        printer.colorSupported = false;
        QTest::newRow("a printer without colour") << job << printer << 0
                                                  << "7|pdf1|\\\\pc-ana.example|ana|Report.pdf|ana|application/pdf" +
                                                         rest + "3|3072" + when + "9|2970|2100|N|N|\r\n";
    }
    {
        JobSnapshot job = baseJob();
        job.sides.clear();
        job.colorMode.clear();
        job.duplexOption = "DuplexNoTumble";
        job.colorModelOption = "Gray";
        QTest::newRow("PPD options") << job << basePrinter() << 0
                                     << "7|pdf1|\\\\pc-ana.example|ana|Report.pdf|ana|application/pdf" + rest +
                                            "3|3072" + when + "9|2970|2100|S|N|\r\n";
    }
    {
        JobSnapshot job = baseJob();
        job.host = "localhost";
        job.printerUri = "ipp://localhost/printers/Office%20HP";
        job.name = "a|b\r\nc";
        job.media.clear();
        job.mediaWidth = 21000;
        job.mediaLength = 29700;
        job.documentFormat = "application/vnd.cups-raw";
        QTest::newRow("local job, odd names, media-col")
            << job << basePrinter() << 0
            << "7|Office HP|\\\\thishost|ana|a b  c|ana|RAW|cups||Generic PDF Printer|3|3072" + when +
                   "9|2970|2100|S|N|\r\n";
    }
    {
        JobSnapshot job = baseJob();
        job.colorMode.clear();
        job.completedAt = 0;
        QTest::newRow("printer gone, no completion time")
            << job << PrinterInfo() << 0
            << "7|pdf1|\\\\pc-ana.example|ana|Report.pdf|ana|application/pdf|cups|||3|3072|05/03/2024|14:07:04|"
               "9|2970|2100|S|S|\r\n";
    }
}

void AgentRecordTest::journalLine()
{
    QFETCH(JobSnapshot, job);
    QFETCH(PrinterInfo, printer);
    QFETCH(int, documentPages);
    QFETCH(QString, line);

    const std::string written = formatLine(describeJob(job, printer, documentPages, "thishost"));
    QCOMPARE(QString::fromStdString(written), line);
    QCOMPARE(jobNumberOfLine(written), job.id);
}

void AgentRecordTest::recordedJobs_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("impressions");
    QTest::addColumn<bool>("recorded");

    QTest::newRow("completed") << int(JobState::Completed) << 0 << true;
    QTest::newRow("cancelled before printing") << int(JobState::Canceled) << 0 << false;
    QTest::newRow("cancelled after two pages") << int(JobState::Canceled) << 2 << true;
    QTest::newRow("aborted after a page") << int(JobState::Aborted) << 1 << true;
    QTest::newRow("still printing") << int(JobState::Processing) << 2 << false;
    QTest::newRow("held") << int(JobState::Held) << 0 << false;
}

void AgentRecordTest::recordedJobs()
{
    QFETCH(int, state);
    QFETCH(int, impressions);
    QFETCH(bool, recorded);

    JobSnapshot job = baseJob();
    job.state = static_cast<JobState>(state);
    job.impressions = impressions;
    QCOMPARE(isWorthRecording(job), recorded);
}

void AgentRecordTest::pageCount_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<int>("pages");

    QTest::newRow("PDF") << samplePdf(3) << 3;
    QTest::newRow("PDF without blanks") << samplePdf(2, "") << 2;
    QTest::newRow("PDF page rewritten by an update")
        << samplePdf(3, " ") + "5 0 obj\n<< /Type /Page /Parent 2 0 R /Rotate 90 >>\nendobj\n"
        << 3;
    QTest::newRow("PDF pages out of sight")
        << pdfOfObjects({ "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 5 >>",
                          "<< /Type /ObjStm /N 5 /First 20 /Length 4 >>\nstream\nxxxx\nendstream" })
        << 5;
    QTest::newRow("PDF page name inside stream data")
        << pdfOfObjects({ "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                          "<< /Type /Page /Parent 2 0 R >>",
                          "<< /Length 20 >>\nstream\n/Type /Page /Type /Page\nendstream" })
        << 1;
    QTest::newRow("PDF after a PJL header") << "\x1b%-12345X@PJL ENTER LANGUAGE=PDF\r\n" + samplePdf(4) << 4;
    QTest::newRow("PostScript page count")
        << QByteArray("%!PS-Adobe-3.0\n%%Pages: 4\n%%EndComments\n%%Page: 1 1\nshowpage\n%%EOF\n") << 4;
    QTest::newRow("PostScript count at end")
        << QByteArray("%!PS-Adobe-3.0\r\n%%Pages: (atend)\r\n%%Page: 1 1\r\nshowpage\r\n%%Page: 2 2\r\nshowpage\r\n"
                      "%%Trailer\r\n%%Pages: 2\r\n%%EOF\r\n")
        << 2;
    QTest::newRow("PostScript page comments only")
        << QByteArray("%!PS\n%%Page: 1 1\nshowpage\n%%Page: 2 2\nshowpage\n%%Page: 3 3\nshowpage\n") << 3;
    QTest::newRow("plain text") << QByteArray("hello\f\nworld\n") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
}

void AgentRecordTest::pageCount()
{
    QFETCH(QByteArray, document);
    QFETCH(int, pages);

    QCOMPARE(countDocumentPages(std::string_view(document.constData(), static_cast<std::size_t>(document.size()))),
             pages);
}

void AgentRecordTest::stateText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("whole") << QByteArray("tollbook-printjob-state 1\nnext 42\nopen 17 39\ncreated 1709647629\n"
                                         "writing 39\nend\n")
                           << true;
    QTest::newRow("cut short") << QByteArray("tollbook-printjob-state 1\nnext 42\nopen 17 39\n") << false;
    QTest::newRow("other file") << QByteArray("next 42\nend\n") << false;
    QTest::newRow("bad number") << QByteArray("tollbook-printjob-state 1\nnext 4x2\nopen\ncreated 0\nend\n") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void AgentRecordTest::stateText()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);

    AgentState state;
    QCOMPARE(parseState(text.toStdString(), state), valid);
    if (valid) {
        QCOMPARE(state.nextJob, 42);
        QCOMPARE(state.openJobs, (std::set<int>{ 17, 39 }));
        QCOMPARE(state.writingJob, 39);
        AgentState again;
        QVERIFY(parseState(serializeState(state), again));
        QVERIFY(again == state);
    }
}

void AgentRecordTest::installationFolder_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QString>("folder");

    QTest::newRow("64-bit") << "/opt/tollbook/bin/x64/PrintJob"
                            << "/opt/tollbook";
    QTest::newRow("32-bit") << "/opt/tollbook/bin/x86/PrintJob"
                            << "/opt/tollbook";
    QTest::newRow("at the root") << "/bin/x64/PrintJob"
                                 << "/";
}

void AgentRecordTest::installationFolder()
{
    QFETCH(QString, executable);
    QFETCH(QString, folder);

    QCOMPARE(QString::fromStdString(installationFolderOf(executable.toStdString())), folder);
}

QTEST_GUILESS_MAIN(AgentRecordTest)
#include "tst_agentrecord.moc"
