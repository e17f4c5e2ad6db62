#pragma once

#include <string_view>

namespace tollbook::agent {

// Pages of a PDF: the distinct objects of type /Page (an object rewritten by an incremental update counts once);
// when the page objects are out of sight (compressed object streams), the largest /Count of a /Pages node.
// 0 when neither is found.
int countPdfPages(std::string_view data);

// Pages of a PostScript document: the last numeric "%%Pages:" comment (the trailer's answers a header's "(atend)"),
// else the number of "%%Page:" comments; 0 when there are none.
int countPostScriptPages(std::string_view data);

// Pages of a document whose format its first bytes tell (PDF or PostScript, a PJL header allowed before either);
// 0 for any other format.
int countDocumentPages(std::string_view data);

} // namespace tollbook::agent
