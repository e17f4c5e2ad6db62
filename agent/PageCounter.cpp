#include "PageCounter.h"

#include <algorithm>
#include <set>
#include <utility>

namespace tollbook::agent {

namespace {

bool isPdfWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0';
}

bool isPdfDelimiter(char c)
{
    return isPdfWhitespace(c) || c == '/' || c == '<' || c == '>' || c == '[' || c == ']' || c == '(' || c == ')' ||
           c == '{' || c == '}' || c == '%';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::size_t skipWhitespace(std::string_view data, std::size_t pos)
{
    while (pos < data.size() && isPdfWhitespace(data[pos])) {
        ++pos;
    }
    return pos;
}

// Reads the unsigned number that starts at `pos`; returns the position after it, or npos when there is none.
std::size_t readNumber(std::string_view data, std::size_t pos, long& value)
{
    const std::size_t start = pos;
    value = 0;
    while (pos < data.size() && isDigit(data[pos])) {
        if (value < 100000000) {
            value = value * 10 + (data[pos] - '0');
        }
        ++pos;
    }
    return pos == start ? std::string_view::npos : pos;
}

// True when `name` (with its slash) stands at `pos` as a whole PDF name.
bool nameAt(std::string_view data, std::size_t pos, std::string_view name)
{
    return data.substr(pos, name.size()) == name &&
           (pos + name.size() == data.size() || isPdfDelimiter(data[pos + name.size()]));
}

// The object number and generation of the "N G obj" header that ends just before `objPos`, or false.
bool objectHeaderBefore(std::string_view data, std::size_t objPos, std::pair<long, long>& id)
{
    std::size_t pos = objPos;
    auto skipBack = [&] {
        while (pos > 0 && isPdfWhitespace(data[pos - 1])) {
            --pos;
        }
    };
    auto numberBack = [&](long& value) {
        const std::size_t end = pos;
        while (pos > 0 && isDigit(data[pos - 1])) {
            --pos;
        }
        if (pos == end) {
            return false;
        }
        readNumber(data, pos, value);
        return true;
    };
    skipBack();
    if (pos == objPos || !numberBack(id.second)) {
        return false;
    }
    const std::size_t afterGeneration = pos;
    skipBack();
    if (pos == afterGeneration || !numberBack(id.first)) {
        return false;
    }
    return pos == 0 || isPdfWhitespace(data[pos - 1]);
}

} // namespace

int countPdfPages(std::string_view data)
{
    std::set<std::pair<long, long>> pageObjects;
    long largestCount = 0;

    std::size_t pos = 0;
    while ((pos = data.find("obj", pos)) != std::string_view::npos) {
        const std::size_t objPos = pos;
        pos += 3;
        std::pair<long, long> id;
        if ((objPos + 3 < data.size() && !isPdfDelimiter(data[objPos + 3])) || !objectHeaderBefore(data, objPos, id)) {
            continue;
        }
        std::size_t end = data.find("endobj", pos);
        if (end == std::string_view::npos) {
            end = data.size();
        }
        // Only the object's dictionary matters, not its stream data.
        const std::size_t stream = data.substr(pos, end - pos).find("stream");
        const std::string_view body = data.substr(pos, stream == std::string_view::npos ? end - pos : stream);

        bool isPage = false;
        bool isPages = false;
        long count = -1;
        for (std::size_t at = body.find("/Type"); at != std::string_view::npos; at = body.find("/Type", at + 1)) {
            if (!nameAt(body, at, "/Type")) {
                continue;
            }
            const std::size_t value = skipWhitespace(body, at + 5);
            if (nameAt(body, value, "/Page")) {
                isPage = true;
            } else if (nameAt(body, value, "/Pages")) {
                isPages = true;
            }
        }
        if (isPages) {
            for (std::size_t at = body.find("/Count"); at != std::string_view::npos; at = body.find("/Count", at + 1)) {
                long value = 0;
                if (nameAt(body, at, "/Count") &&
                    readNumber(body, skipWhitespace(body, at + 6), value) != std::string_view::npos) {
                    count = std::max(count, value);
                }
            }
        }
        if (isPage) {
            pageObjects.insert(id);
        }
        largestCount = std::max(largestCount, count);
        pos = end;
    }

    if (!pageObjects.empty()) {
        return static_cast<int>(std::min<std::size_t>(pageObjects.size(), 1000000));
    }
    return static_cast<int>(largestCount);
}

int countPostScriptPages(std::string_view data)
{
    long declared = -1;
    long comments = 0;
    std::size_t lineStart = 0;
    while (lineStart < data.size()) {
        std::size_t lineEnd = data.find_first_of("\r\n", lineStart);
        if (lineEnd == std::string_view::npos) {
            lineEnd = data.size();
        }
        const std::string_view line = data.substr(lineStart, lineEnd - lineStart);
        if (line.substr(0, 8) == "%%Pages:") {
            std::size_t at = 8;
            while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
                ++at;
            }
            long value = 0;
            if (readNumber(line, at, value) != std::string_view::npos) {
                declared = value;
            }
        } else if (line.substr(0, 7) == "%%Page:") {
            ++comments;
        }
        lineStart = lineEnd + 1;
    }
    return static_cast<int>(std::min<long>(declared >= 0 ? declared : comments, 1000000));
}

int countDocumentPages(std::string_view data)
{
    // A PJL job header ("\x1b%-12345X@PJL ...") may stand before the document; its language switch ends it.
    std::size_t start = 0;
    if (data.substr(0, 9) == "\x1b%-12345X") {
        const std::size_t pdf = data.find("%PDF-");
        const std::size_t ps = data.find("%!PS");
        start = std::min(pdf, ps);
        if (start == std::string_view::npos) {
            return 0;
        }
    }
    const std::string_view document = data.substr(start);
    if (document.substr(0, 5) == "%PDF-") {
        return countPdfPages(document);
    }
    if (document.substr(0, 4) == "%!PS" || document.substr(0, 5) == "\x04%!PS") {
        return countPostScriptPages(document);
    }
    return 0;
}

} // namespace tollbook::agent
