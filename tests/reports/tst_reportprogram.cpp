// tollbook-report, the program that writes a report without a window: the PDF it writes for an
// installation folder, and one line on standard error with a non-zero status for whatever stops it.

#include "ReportFixture.h"

#include "common/DatabaseFixture.h"
#include "platform/SystemRoutines.h"

#include <QDir>
#include <QProcess>
#include <QTest>

namespace {

const QString SourceDir = QStringLiteral(TOLLBOOK_SOURCE_DIR "/");

bool copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files)) {
        if (!QFile::copy(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name)) {
            return false;
        }
    }
    return true;
}

} // namespace

class TestReportProgram : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesThePdf();
    void failures_data();
    void failures();
};

// Runs the program; its status and the lines of its standard error.
static int run(const QStringList& arguments, QStringList* errorLines)
{
    QProcess process;
    process.start(qEnvironmentVariable("TOLLBOOK_REPORT_EXE"), arguments);
    if (!process.waitForFinished(120000)) {
        return -1;
    }
    *errorLines = QString::fromUtf8(process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// An installation folder (the database fixture's) with config.ini, the layout and the language files.
static QString installation(const DatabaseFixture& db)
{
    const QString folder = db.folder();
    tollbook::WriteIniValue(folder + QStringLiteral("/config.ini"), QStringLiteral("App"), QStringLiteral("DataBase"),
                            db.path());
    tollbook::WriteIniValue(folder + QStringLiteral("/config.ini"), QStringLiteral("App"), QStringLiteral("Language"),
                            QStringLiteral("pt_BR"));
    if (!copyFolder(SourceDir + QStringLiteral("report"), folder + QStringLiteral("/report")) ||
        !copyFolder(SourceDir + QStringLiteral("language"), folder + QStringLiteral("/language"))) {
        return QString();
    }
    return folder;
}

void TestReportProgram::writesThePdf()
{
    DatabaseFixture db;
    addPeriodJobs();
    const QString folder = installation(db);
    QVERIFY(!folder.isEmpty());
    const QString pdf = folder + QStringLiteral("/Relatorio.pdf");

    QStringList errors;
    QCOMPARE(run({ "--installation", folder, "--report", "Relat_UsuarioR", "--from", "2019-12-31", "--to", "2020-01-02",
                   "--pdf", pdf },
                 &errors),
             0);
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
    QStringList lines = ReportFixture::pdfLines(pdf);
    QVERIFY2(lines.contains(QStringLiteral("Total geral 18 1,75")), qPrintable(lines.join(QLatin1Char('\n'))));

    // The language of the command line goes before config.ini's.
    QCOMPARE(run({ "--installation", folder, "--report", "Relat_UsuarioR", "--from", "2019-12-31", "--to", "2020-01-02",
                   "--language", "en", "--pdf", pdf },
                 &errors),
             0);
    lines = ReportFixture::pdfLines(pdf);
    QVERIFY2(lines.contains(QStringLiteral("Grand total 18 1,75")), qPrintable(lines.join(QLatin1Char('\n'))));
}

void TestReportProgram::failures_data()
{
    QTest::addColumn<QStringList>("arguments"); // "%I" is the installation folder
    QTest::addColumn<QString>("breakage");      // what is done to the installation first
    QTest::addColumn<QString>("says");

    const QStringList good{ "--installation", "%I",         "--report", "Relat_Impressora2", "--from", "2020-01-01",
                            "--to",           "2020-01-31", "--pdf",    "%I/r.pdf" };
    const auto with = [&good](const QString& option, const QString& value) {
        QStringList arguments = good;
        arguments[int(arguments.indexOf(option)) + 1] = value;
        return arguments;
    };
    QTest::newRow("unknown report") << with("--report", "Relat_Nada") << ""
                                    << "unknown report \"Relat_Nada\"";
    QTest::newRow("not a date") << with("--from", "2020-13-01") << ""
                                << "--from: \"2020-13-01\" is not a date";
    QTest::newRow("day-first date") << with("--to", "31/01/2020") << ""
                                    << "--to: \"31/01/2020\" is not a date";
    QTest::newRow("start after end") << with("--to", "2019-12-31") << ""
                                     << "is after the last day";
    QTest::newRow("unknown language") << QStringList(good) + QStringList{ "--language", "fr" } << ""
                                      << "unknown language \"fr\"";
    QTest::newRow("no output") << good.mid(0, 8) << ""
                               << "one of --pdf and --mail is required";
    QTest::newRow("unknown option") << QStringList(good) + QStringList{ "--mailto" } << ""
                                    << "mailto";
    QTest::newRow("no config.ini") << good << "config"
                                   << "no config.ini in";
    QTest::newRow("no database") << good << "database"
                                 << "Tollbook.db";
    QTest::newRow("database of another version") << good << "version"
                                                 << "A versão do sistema é diferente do banco de dados! Banco: 0.0.0.1";
    QTest::newRow("no layout") << good << "layout"
                               << "Tollbook_report.rav";
    QTest::newRow("output unwritable") << with("--pdf", "%I/missing/r.pdf") << ""
                                       << "missing/r.pdf";
}

void TestReportProgram::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, breakage);
    QFETCH(QString, says);

    DatabaseFixture db;
    const QString folder = installation(db);
    QVERIFY(!folder.isEmpty());
    if (breakage == QLatin1String("config")) {
        QVERIFY(QFile::remove(folder + QStringLiteral("/config.ini")));
    } else if (breakage == QLatin1String("database")) {
        tollbook::WriteIniValue(folder + QStringLiteral("/config.ini"), QStringLiteral("App"),
                                QStringLiteral("DataBase"), folder + QStringLiteral("/gone/Tollbook.db"));
    } else if (breakage == QLatin1String("version")) {
        DatabaseFixture::exec({ QStringLiteral("UPDATE Configuracao SET Versao_Sistema = '0.0.0.1'") });
    } else if (breakage == QLatin1String("layout")) {
        QVERIFY(QFile::remove(folder + QStringLiteral("/report/Tollbook_report.rav")));
    }
    arguments.replaceInStrings(QStringLiteral("%I"), folder);

    QStringList errors;
    const int status = run(arguments, &errors);
    QVERIFY2(status > 0, qPrintable(QString::number(status)));
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().startsWith(QLatin1String("tollbook-report: ")) && errors.first().contains(says),
             qPrintable(errors.first()));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/r.pdf")));
}

QTEST_GUILESS_MAIN(TestReportProgram)
#include "tst_reportprogram.moc"
