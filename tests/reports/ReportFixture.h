#pragma once

// Reading reports back: the text of a PDF file as poppler lays it out (pdftotext -layout), its page count
// and its fonts; the tests fail when poppler-utils is missing.

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTest>

namespace ReportFixture {

// The standard output of a poppler tool; empty (and a warning) when it fails.
inline QString popplerOutput(const QString& tool, const QStringList& arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << tool << arguments << process.readAllStandardError();
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of one page (from 1), or of every page for 0; pages are separated by form feeds.
inline QString pdfText(const QString& path, int page = 0)
{
    QStringList arguments{ QStringLiteral("-layout") };
    if (page > 0) {
        arguments << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
    }
    return popplerOutput(QStringLiteral("pdftotext"), arguments << path << QStringLiteral("-"));
}

// The non-empty lines of the text, each with its runs of blanks made one.
inline QStringList pdfLines(const QString& path, int page = 0)
{
    QStringList lines;
    for (const QString& line : pdfText(path, page).split(QLatin1Char('\n'))) {
        const QString simple = QString(line).remove(QLatin1Char('\f')).simplified();
        if (!simple.isEmpty()) {
            lines << simple;
        }
    }
    return lines;
}

inline int pdfPages(const QString& path)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                                              .match(popplerOutput(QStringLiteral("pdfinfo"), { path }));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// The rows of pdffonts: one per font, after the two header lines.
inline QStringList pdfFonts(const QString& path)
{
    return popplerOutput(QStringLiteral("pdffonts"), { path }).split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2);
}

} // namespace ReportFixture
