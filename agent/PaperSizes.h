#pragma once

#include <string>

namespace tollbook::agent {

// A sheet as the journal describes it: the Windows paper code and the portrait sheet's length and width in tenths of
// a millimetre.
struct PaperSize
{
    int code = 0;
    int length = 0;
    int width = 0;
};

// Code used for any size without a code of its own.
constexpr int CustomPaperCode = 256;

// The sheet named by an IPP or PPD media name ("iso_a4_210x297mm", "A4", "na_letter_8.5x11in", "Env10",
// "Custom.100x200mm"...). A known name or a size within a millimetre of a known sheet gives that sheet; any other size
// that the name spells out gives the custom code with that size; anything else gives code 0 and no size.
PaperSize paperForMedia(const std::string& media);

// The sheet of a size given in hundredths of a millimetre (IPP media-size), matched as above.
PaperSize paperForDimensions(int widthHundredthsMm, int lengthHundredthsMm);

} // namespace tollbook::agent
