#pragma once

#include "capture/JournalLine.h"

#include <QDate>
#include <QString>
#include <QStringView>
#include <QTime>
#include <QVarLengthArray>

namespace tollbook {

// One job as the capture agent writes it: the nineteen fields of a journal line (JournalLine.h), in line order.
struct TToll
{
    qint32 pJob = 0;
    QString pPrinter;
    QString pMachine;
    QString pUser;
    QString pDocument;
    QString pNotify;
    QString pDataType;
    QString pPrintProcessor;
    QString pParameters;
    QString pDriver;
    qint32 pTotalPages = 0;
    double pSize = 0;
    QDate pDate; // not read from the line
    QTime pTime; // not read from the line
    qint32 pPaperSize = 0;
    qint32 pPaperLength = 0;
    qint32 pPaperWidth = 0;
    QString pDuplex;
    QString pColor;
};

// The line format of the job journal: fields terminated by "|", no quoting, whole numbers in decimal and
// the job size with the process's decimal mark.
namespace JournalFormat {

constexpr int MaxLineLength = JournalLine::MaxLineLength;
constexpr char16_t Separator = JournalLine::Separator;
constexpr int FieldCount = JournalLine::FieldCount;

using Fields = QVarLengthArray<QStringView, 24>;

// The fields of a line: the texts before each "|". Whatever follows the last "|" is no field.
Fields splitFields(QStringView line);

// A decimal whole number of 32 bits, optionally signed; nothing else is accepted (no blanks).
bool toWholeNumber(QStringView text, qint32* value);
// A number with decimalMark as its decimal mark ("184320,5"), optionally signed, with an optional
// exponent; a point is no decimal mark.
bool toRealNumber(QStringView text, QChar decimalMark, double* value);

// The line cut to MaxLineLength characters, never between the halves of a surrogate pair.
QStringView readablePart(QStringView line);

// Fills record from the fields of one line, in field order. Returns the reason the line is refused (the
// first field that does not convert), or the empty text when it converts.
QString parse(QStringView line, QChar decimalMark, TToll& record);

// Blanks and control characters removed from both ends.
QStringView trimmed(QStringView text);
// The text cut to at most width characters (code points; 0 for no limit).
QStringView cutToWidth(QStringView text, int width);

} // namespace JournalFormat
} // namespace tollbook
