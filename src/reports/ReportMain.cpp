// tollbook-report: runs one management report for a period without any window, for scheduled reports.
//
//   tollbook-report [--installation DIR] --report NAME --from YYYY-MM-DD --to YYYY-MM-DD [--language CODE]
//                   (--pdf FILE | --mail ADDRESS[,ADDRESS...])
//
// The installation folder defaults to the program's own; config.ini there names the database and the
// language. A database of another version than the program's is refused. --mail sends the report as Relatorio.pdf with
// the SMTP settings of the configuration row. Exit status 0 on success; otherwise one line on standard error and a
// non-zero status.

#include "data/Catalogue.h"
#include "i18n/Language.h"
#include "mail/MailConfiguration.h"
#include "mail/TollMail.h"
#include "platform/Errors.h"
#include "reports/ReportCatalogue.h"
#include "reports/ReportRenderer.h"
#include "reports/ReportRun.h"
#include "session/Session.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using namespace tollbook;

enum ExitStatus { Success = 0, Failure = 1, UsageError = 2 };

// A failure that ends the program with its one line.
struct Stop
{
    QString message;
    int status;
};

struct Options
{
    QString installation;
    QString report;
    QDate from;
    QDate to;
    QString language;
    QString pdf;
    QStringList mailTo; // empty: the PDF file
};

QDate isoDate(const QString& text, const char* option)
{
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid()) {
        throw Stop{
            QStringLiteral("--%1: \"%2\" is not a date of the form YYYY-MM-DD").arg(QLatin1String(option), text),
            UsageError
        };
    }
    return date;
}

Options parseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption installation(QStringLiteral("installation"),
                                          QStringLiteral("Installation folder (default: the program's own)."),
                                          QStringLiteral("DIR"));
    const QCommandLineOption report(QStringLiteral("report"), QStringLiteral("Report name."), QStringLiteral("NAME"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("First day."), QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Last day."), QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption language(QStringLiteral("language"), QStringLiteral("pt_BR, en or es."),
                                      QStringLiteral("CODE"));
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("PDF file to write."), QStringLiteral("FILE"));
    const QCommandLineOption mail(QStringLiteral("mail"),
                                  QStringLiteral("Mail the report as PDF to these addresses (comma-separated)."),
                                  QStringLiteral("ADDRESS[,ADDRESS...]"));
    parser.addOptions({ installation, report, from, to, language, pdf, mail });
    if (!parser.parse(arguments)) {
        throw Stop{ parser.errorText(), UsageError };
    }
    if (!parser.positionalArguments().isEmpty()) {
        throw Stop{ QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()),
                    UsageError };
    }
    if (parser.isSet(pdf) == parser.isSet(mail)) {
        throw Stop{ QStringLiteral("one of --pdf and --mail is required"), UsageError };
    }
    for (const QCommandLineOption* required : { &report, &from, &to }) {
        if (!parser.isSet(*required)) {
            throw Stop{ QStringLiteral("--%1 is required").arg(required->names().first()), UsageError };
        }
    }

    Options options;
    options.installation =
        parser.isSet(installation) ? parser.value(installation) : QCoreApplication::applicationDirPath();
    options.report = parser.value(report);
    if (!ReportCatalogue::find(options.report)) {
        QStringList names;
        for (const ReportCatalogue::Entry& entry : ReportCatalogue::entries()) {
            names << entry.name;
        }
        throw Stop{ QStringLiteral("unknown report \"%1\"; the reports are %2")
                        .arg(options.report, names.join(QStringLiteral(", "))),
                    UsageError };
    }
    options.from = isoDate(parser.value(from), "from");
    options.to = isoDate(parser.value(to), "to");
    if (options.from > options.to) {
        throw Stop{
            QStringLiteral("the first day %1 is after the last day %2").arg(parser.value(from), parser.value(to)),
            UsageError
        };
    }
    options.language = parser.value(language);
    if (!options.language.isEmpty() && !Language::isKnownCode(options.language)) {
        throw Stop{ QStringLiteral("unknown language \"%1\"; the languages are pt_BR, en, es").arg(options.language),
                    UsageError };
    }
    if (parser.isSet(pdf)) {
        options.pdf = QFileInfo(parser.value(pdf)).absoluteFilePath();
    } else {
        options.mailTo = MailConfiguration::splitAddresses(parser.value(mail));
        if (options.mailTo.isEmpty()) {
            throw Stop{ QStringLiteral("--mail names no address"), UsageError };
        }
    }
    return options;
}

void run(const Options& options)
{
    Session session(QDir(options.installation).absolutePath());
    if (!session.configure(options.language)) {
        throw Stop{ QStringLiteral("no config.ini in %1").arg(session.installation().folder()), Failure };
    }
    session.connect();
    session.checkVersion();
    const Installation& installation = session.installation();
    DataModuleDatasets& datasets = *session.datasets();

    const std::optional<PreparedReport> prepared =
        prepareReport(options.report, options.from, options.to, datasets, ReportCatalogue::layoutPath(installation),
                      &Language::reportText);
    if (!prepared) {
        throw Stop{ QStringLiteral("unknown report \"%1\"").arg(options.report), UsageError };
    }
    if (options.mailTo.isEmpty()) {
        writeReportPdf(prepared->definition, *prepared->rows, prepared->parameters, options.pdf, prepared->title);
        return;
    }

    // Mailed under the name the application mails it by, from a folder of its own.
    const QTemporaryDir folder;
    if (!folder.isValid()) {
        throw Stop{ QStringLiteral("no temporary folder: %1").arg(folder.errorString()), Failure };
    }
    const QString pdfPath = folder.filePath(QStringLiteral("Relatorio.pdf"));
    writeReportPdf(prepared->definition, *prepared->rows, prepared->parameters, pdfPath, prepared->title);

    TollMail mail;
    QString failure;
    mail.setReporter([&failure](TollMail::Notice kind, const QString& text) {
        if (kind == TollMail::Notice::Warning && failure.isEmpty()) {
            failure = text;
        }
    });
    MailConfiguration::prepareReport(mail, session.mailSettings(), options.mailTo, pdfPath);
    // Its messages in the report's language; the application's own window always keeps Portuguese.
    if (Language::isKnownCode(Language::currentCode())) {
        mail.language = Language::currentCode();
    }
    mail.notifySuccess = false;
    if (!mail.send()) {
        throw Stop{ failure.simplified(), Failure };
    }
}

// Standard error carries the one line of a failure; Qt's own notes (no XDG_RUNTIME_DIR, font fallbacks)
// are not for the reader of a scheduled job's output.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "tollbook-report: %s\n", qPrintable(message));
    }
}

} // namespace

int main(int argc, char* argv[])
{
    // Fonts and painting without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qInstallMessageHandler(quietMessages);
    QGuiApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tollbook-report"));
    try {
        run(parseOptions(QCoreApplication::arguments()));
        return Success;
    } catch (const Stop& stop) {
        std::fprintf(stderr, "tollbook-report: %s\n", qPrintable(stop.message));
        return stop.status;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tollbook-report: %s\n", qPrintable(QString::fromUtf8(error.what()).simplified()));
        return Failure;
    }
}
