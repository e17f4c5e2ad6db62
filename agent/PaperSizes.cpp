#include "PaperSizes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>

namespace tollbook::agent {

namespace {

struct Sheet
{
    int code;
    int length;
    int width;
    std::initializer_list<const char*> names;
};

// The sizes are those of the Windows paper codes; the first sheet of a size wins when only the size is known, so the
// more common of two sheets of one size comes first (Letter before Note, Tabloid before Ledger, Folio before German
// Legal Fanfold).
const Sheet Sheets[] = {
    { 1, 2794, 2159, { "letter", "na_letter_8.5x11in", "us-letter" } },
    { 3, 4318, 2794, { "tabloid", "11x17", "na_ledger_11x17in" } },
    { 4, 2794, 4318, { "ledger" } },
    { 5, 3556, 2159, { "legal", "na_legal_8.5x14in", "us-legal" } },
    { 6, 2159, 1397, { "statement", "invoice", "na_invoice_5.5x8.5in" } },
    { 7, 2667, 1842, { "executive", "na_executive_7.25x10.5in" } },
    { 8, 4200, 2970, { "a3", "iso_a3_297x420mm" } },
    { 9, 2970, 2100, { "a4", "iso_a4_210x297mm" } },
    { 11, 2100, 1480, { "a5", "iso_a5_148x210mm" } },
    { 12, 3640, 2570, { "b4", "jis_b4_257x364mm" } },
    { 13, 2570, 1820, { "b5", "jis_b5_182x257mm" } },
    { 14, 3302, 2159, { "folio", "foolscap", "na_foolscap_8.5x13in" } },
    { 15, 2750, 2150, { "quarto", "na_quarto_8.5x10.83in" } },
    { 16, 3556, 2540, { "10x14", "na_10x14_10x14in" } },
    { 18, 2794, 2159, { "note" } },
    { 19, 2254, 984, { "env9", "na_number-9_3.875x8.875in" } },
    { 20, 2413, 1048, { "env10", "com10", "na_number-10_4.125x9.5in" } },
    { 21, 2635, 1143, { "env11", "na_number-11_4.5x10.375in" } },
    { 22, 2794, 1207, { "env12", "na_number-12_4.75x11in" } },
    { 23, 2921, 1270, { "env14", "na_number-14_5x11.5in" } },
    { 27, 2200, 1100, { "envdl", "dl", "iso_dl_110x220mm" } },
    { 28, 2290, 1620, { "envc5", "c5", "iso_c5_162x229mm" } },
    { 29, 4580, 3240, { "envc3", "c3", "iso_c3_324x458mm" } },
    { 30, 3240, 2290, { "envc4", "c4", "iso_c4_229x324mm" } },
    { 31, 1620, 1140, { "envc6", "c6", "iso_c6_114x162mm" } },
    { 34, 2500, 1760, { "envisob5", "isob5", "iso_b5_176x250mm" } },
    { 37, 1905, 984, { "envmonarch", "monarch", "na_monarch_3.875x7.5in" } },
    { 39, 3778, 2794, { "fanfoldus", "na_fanfold-us_11x14.875in" } },
    { 41, 3302, 2159, { "fanfoldgermanlegal" } },
    { 42, 3530, 2500, { "isob4", "iso_b4_250x353mm" } },
    { 43, 1480, 1000, { "postcard", "jpn_hagaki_100x148mm" } },
    { 66, 5940, 4200, { "a2", "iso_a2_420x594mm" } },
    { 70, 1480, 1050, { "a6", "iso_a6_105x148mm" } },
};

// Tolerance when matching a size, in tenths of a millimetre.
constexpr int Tolerance = 10;

std::string lowered(const std::string& text)
{
    std::string result = text;
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    });
    return result;
}

// A plain decimal number with '.' as the mark, whatever the process locale says.
bool parseDecimal(const std::string& text, double& value)
{
    if (text.empty()) {
        return false;
    }
    double whole = 0;
    double scale = 0;
    bool digits = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits = true;
            if (scale == 0) {
                whole = whole * 10 + (c - '0');
            } else {
                scale /= 10;
                whole += (c - '0') * scale;
            }
        } else if (c == '.' && scale == 0) {
            scale = 1;
        } else {
            return false;
        }
    }
    value = whole;
    return digits;
}

// "210x297" with its unit already removed, converted to tenths of a millimetre.
bool parseDimensions(const std::string& text, double tenthsPerUnit, int& first, int& second)
{
    const std::size_t cross = text.find('x');
    double a = 0;
    double b = 0;
    if (cross == std::string::npos || !parseDecimal(text.substr(0, cross), a) ||
        !parseDecimal(text.substr(cross + 1), b) || a <= 0 || b <= 0) {
        return false;
    }
    first = static_cast<int>(std::lround(a * tenthsPerUnit));
    second = static_cast<int>(std::lround(b * tenthsPerUnit));
    return first > 0 && second > 0;
}

// Splits a trailing unit off "100x200mm" and converts; a size without unit is in `defaultTenths` per unit.
bool parseSizeWithUnit(const std::string& text, double defaultTenths, int& first, int& second)
{
    struct Unit
    {
        const char* suffix;
        double tenths;
    };
    static const Unit Units[] = {
        { "mm", 10.0 }, { "cm", 100.0 }, { "in", 254.0 }, { "ft", 3048.0 }, { "m", 10000.0 }
    };
    for (const Unit& unit : Units) {
        const std::string suffix = unit.suffix;
        if (text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return parseDimensions(text.substr(0, text.size() - suffix.size()), unit.tenths, first, second);
        }
    }
    return defaultTenths > 0 && parseDimensions(text, defaultTenths, first, second);
}

PaperSize paperForSize(int a, int b)
{
    const int shorter = std::min(a, b);
    const int longer = std::max(a, b);
    for (const Sheet& sheet : Sheets) {
        const int sheetShorter = std::min(sheet.length, sheet.width);
        const int sheetLonger = std::max(sheet.length, sheet.width);
        if (std::abs(sheetShorter - shorter) <= Tolerance && std::abs(sheetLonger - longer) <= Tolerance) {
            return { sheet.code, sheet.length, sheet.width };
        }
    }
    return { CustomPaperCode, longer, shorter };
}

} // namespace

PaperSize paperForMedia(const std::string& media)
{
    const std::string name = lowered(media);
    if (name.empty()) {
        return {};
    }

    // A PPD custom size: "Custom.WxH", in points unless a unit follows.
    if (name.rfind("custom.", 0) == 0) {
        int a = 0;
        int b = 0;
        if (parseSizeWithUnit(name.substr(7), 254.0 / 72.0, a, b)) {
            return paperForSize(a, b);
        }
        return {};
    }

    for (const Sheet& sheet : Sheets) {
        for (const char* known : sheet.names) {
            if (name == known) {
                return { sheet.code, sheet.length, sheet.width };
            }
        }
    }

    // A PWG self-describing name "class_name_WxHunit" spells its size out.
    const std::size_t underscore = name.rfind('_');
    if (underscore != std::string::npos) {
        int a = 0;
        int b = 0;
        if (parseSizeWithUnit(name.substr(underscore + 1), 0, a, b)) {
            return paperForSize(a, b);
        }
        return {};
    }

    // A PPD name with a variant ("A4.Transverse", "Letter.Fullbleed") is the sheet of its base name.
    const std::size_t dot = name.find('.');
    if (dot != std::string::npos && dot > 0) {
        return paperForMedia(name.substr(0, dot));
    }
    return {};
}

PaperSize paperForDimensions(int widthHundredthsMm, int lengthHundredthsMm)
{
    if (widthHundredthsMm <= 0 || lengthHundredthsMm <= 0) {
        return {};
    }
    return paperForSize(static_cast<int>(std::lround(widthHundredthsMm / 10.0)),
                        static_cast<int>(std::lround(lengthHundredthsMm / 10.0)));
}

} // namespace tollbook::agent
