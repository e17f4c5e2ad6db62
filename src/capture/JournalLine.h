#pragma once

// One line of the job journal (jobs/printjob.tlj): what the capture agent writes and the import reads. The
// agent is plain C++ without Qt and includes this header too, so it holds no Qt.
//
// A line is nineteen fields, each followed by the separator, then CR LF. There is no quoting: a field cannot
// carry the separator or a line break, and the agent writes a space for any character it cannot carry. What
// follows the last separator of a line is no field; a field the line does not have reads as empty.

namespace tollbook::JournalLine {

constexpr char Separator = '|';
// What the agent ends a line with; the reader also takes a lone CR or a lone LF.
constexpr char LineEnd[] = "\r\n";
// Characters of a line beyond this many are ignored by the reader.
constexpr int MaxLineLength = 4096;
// The machine field starts with two backslashes before the computer's name.
constexpr int MachinePrefixLength = 2;
// The flags (duplex, colour): "S" for yes, "N" for no.
constexpr char Yes = 'S';
constexpr char No = 'N';

// The fields in line order.
enum Field : int {
    Job,
    Printer,
    Machine,
    User,
    Document,
    Notify,
    DataType,
    PrintProcessor,
    Parameters,
    Driver,
    TotalPages,
    Size,
    Date,
    Time,
    PaperSize,
    PaperLength,
    PaperWidth,
    Duplex,
    Color,
    FieldCount
};

enum class Kind {
    WholeNumber, // decimal, optionally signed, 32 bits
    Text,        // taken as it stands
    RealNumber,  // decimal mark ','; the agent writes whole numbers
    Date,        // dd/MM/yyyy, not read by the import
    Time,        // HH:mm:ss, not read by the import
    Flag,        // Yes or No
};

struct FieldDefinition
{
    const char* name; // the name the import's messages give the field
    Kind kind;
    const char* column; // the column of Impressao it is stored in (its width is the schema's); nullptr when not stored
};

constexpr FieldDefinition FieldDefinitions[FieldCount] = {
    { "pJob", Kind::WholeNumber, nullptr },
    { "pPrinter", Kind::Text, "Print_Name" },
    { "pMachine", Kind::Text, "Computer_Id" }, // without its two leading characters
    { "pUser", Kind::Text, "Usuario_Id" },
    { "pDocument", Kind::Text, "Print_Document" }, // trimmed
    { "pNotify", Kind::Text, nullptr },
    { "pDataType", Kind::Text, nullptr },
    { "pPrintProcessor", Kind::Text, nullptr },
    { "pParameters", Kind::Text, nullptr },
    { "pDriver", Kind::Text, "Print_Drive" },
    { "pTotalPages", Kind::WholeNumber, "Print_Pages" }, // 0 or less is stored as 1
    { "pSize", Kind::RealNumber, nullptr },
    { "pDate", Kind::Date, nullptr },
    { "pTime", Kind::Time, nullptr },
    { "pPaperSize", Kind::WholeNumber, "dmPaperSize" },
    { "pPaperLength", Kind::WholeNumber, "Print_PaperLength" },
    { "pPaperWidth", Kind::WholeNumber, "Print_PaperWidth" },
    { "pDuplex", Kind::Flag, "Print_Duplex" },
    { "pColor", Kind::Flag, "Print_Color" },
};

// A line needs the fields up to the paper width; the two flags after it may be missing.
constexpr int RequiredFieldCount = PaperWidth + 1;

// Whether a character (a byte of UTF-8 or a code point) may stand inside a field: not the separator, not a line
// break, not another control character.
constexpr bool canCarry(unsigned int c)
{
    return c != static_cast<unsigned char>(Separator) && c >= 0x20 && c != 0x7f;
}

} // namespace tollbook::JournalLine
