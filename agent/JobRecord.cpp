#include "JobRecord.h"

#include "PaperSizes.h"
#include "capture/JournalLine.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace tollbook::agent {

namespace {

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
    });
    return text;
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

bool isLoopbackHost(const std::string& host)
{
    const std::string name = lowered(host);
    return name == "localhost" || name == "localhost.localdomain" || name == "::1" || name == "[::1]" ||
           startsWith(name, "127.");
}

bool isMonochromeMode(const std::string& mode)
{
    static const char* const Modes[] = { "monochrome", "process-monochrome", "auto-monochrome", "bi-level",
                                         "process-bi-level" };
    return std::any_of(std::begin(Modes), std::end(Modes), [&](const char* m) { return mode == m; });
}

bool isMonochromeColorModel(const std::string& model)
{
    static const char* const Models[] = { "gray", "grayscale", "kgray", "black", "mono", "monochrome", "bw" };
    const std::string name = lowered(model);
    return std::any_of(std::begin(Models), std::end(Models), [&](const char* m) { return name == m; });
}

bool isTwoSided(const JobSnapshot& job, const PrinterInfo& printer)
{
    if (!job.sides.empty()) {
        return startsWith(job.sides, "two-sided");
    }
    if (!job.duplexOption.empty()) {
        return startsWith(job.duplexOption, "Duplex");
    }
    return startsWith(printer.sidesDefault, "two-sided");
}

bool isInColor(const JobSnapshot& job, const PrinterInfo& printer)
{
    if (!printer.colorSupported) {
        return false;
    }
    if (!job.colorMode.empty()) {
        return !isMonochromeMode(job.colorMode);
    }
    if (!job.colorModelOption.empty()) {
        return !isMonochromeColorModel(job.colorModelOption);
    }
    return !isMonochromeMode(printer.colorModeDefault);
}

PaperSize paperOf(const JobSnapshot& job, const PrinterInfo& printer)
{
    PaperSize paper = paperForMedia(job.media);
    if (paper.code == 0) {
        paper = paperForDimensions(job.mediaWidth, job.mediaLength);
    }
    if (paper.code == 0 && job.media.empty()) {
        paper = paperForMedia(printer.mediaDefault);
    }
    return paper;
}

int pagesOf(const JobSnapshot& job, int documentPages)
{
    if (job.impressions > 0) {
        return job.impressions;
    }
    if (job.state != JobState::Completed || documentPages <= 0) {
        return 0;
    }
    const long long pages = static_cast<long long>(documentPages) * std::max(job.copies, 1);
    return static_cast<int>(std::min<long long>(pages, INT_MAX));
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void appendField(std::string& line, const std::string& text)
{
    for (char c : text) {
        line += JournalLine::canCarry(static_cast<unsigned char>(c)) ? c : ' ';
    }
    line += JournalLine::Separator;
}

} // namespace

bool isFinished(JobState state)
{
    return state == JobState::Canceled || state == JobState::Aborted || state == JobState::Completed;
}

bool isWorthRecording(const JobSnapshot& job)
{
    return job.state == JobState::Completed || (isFinished(job.state) && job.impressions > 0);
}

bool isRawPrinter(const PrinterInfo& printer)
{
    return printer.makeAndModel == "Local Raw Printer";
}

std::string printerNameFromUri(const std::string& uri)
{
    std::string path = uri;
    const std::size_t query = path.find_first_of("?#");
    if (query != std::string::npos) {
        path.erase(query);
    }
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    const std::string segment = path.substr(path.rfind('/') + 1);

    std::string name;
    for (std::size_t i = 0; i < segment.size(); ++i) {
        if (segment[i] == '%' && i + 2 < segment.size() && hexValue(segment[i + 1]) >= 0 &&
            hexValue(segment[i + 2]) >= 0) {
            name += static_cast<char>(hexValue(segment[i + 1]) * 16 + hexValue(segment[i + 2]));
            i += 2;
        } else {
            name += segment[i];
        }
    }
    return name;
}

JournalRecord describeJob(const JobSnapshot& job, const PrinterInfo& printer, int documentPages,
                          const std::string& localHost)
{
    JournalRecord record;
    record.job = job.id;
    record.printer = printerNameFromUri(job.printerUri);
    record.machine = "\\\\" + (isLoopbackHost(job.host) ? localHost : job.host);
    record.user = job.user;
    record.document = job.name;
    record.notify = job.user;
    const bool raw = isRawPrinter(printer) || job.documentFormat == "application/vnd.cups-raw";
    record.dataType = raw || job.documentFormat.empty() ? std::string("RAW") : job.documentFormat;
    record.printProcessor = "cups";
    record.driver = printer.makeAndModel;
    record.totalPages = pagesOf(job, documentPages);
    record.size = std::max(job.kOctets, 0LL) * 1024;

    const std::time_t when = job.completedAt != 0 ? job.completedAt : job.createdAt;
    std::tm local{};
    if (when != 0 && localtime_r(&when, &local)) {
        char text[32];
        std::snprintf(text, sizeof text, "%02d/%02d/%04d", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
        record.date = text;
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
        record.time = text;
    }

    const PaperSize paper = paperOf(job, printer);
    record.paperSize = paper.code;
    record.paperLength = paper.length;
    record.paperWidth = paper.width;
    record.duplex = isTwoSided(job, printer);
    record.color = isInColor(job, printer);
    return record;
}

std::string formatLine(const JournalRecord& record)
{
    namespace Line = JournalLine;
    const auto flag = [](bool on) { return std::string(1, on ? Line::Yes : Line::No); };
    std::string fields[Line::FieldCount];
    fields[Line::Job] = std::to_string(record.job);
    fields[Line::Printer] = record.printer;
    fields[Line::Machine] = record.machine;
    fields[Line::User] = record.user;
    fields[Line::Document] = record.document;
    fields[Line::Notify] = record.notify;
    fields[Line::DataType] = record.dataType;
    fields[Line::PrintProcessor] = record.printProcessor;
    fields[Line::Parameters] = record.parameters;
    fields[Line::Driver] = record.driver;
    fields[Line::TotalPages] = std::to_string(record.totalPages);
    fields[Line::Size] = std::to_string(record.size);
    fields[Line::Date] = record.date;
    fields[Line::Time] = record.time;
    fields[Line::PaperSize] = std::to_string(record.paperSize);
    fields[Line::PaperLength] = std::to_string(record.paperLength);
    fields[Line::PaperWidth] = std::to_string(record.paperWidth);
    fields[Line::Duplex] = flag(record.duplex);
    fields[Line::Color] = flag(record.color);

    std::string line;
    for (const std::string& field : fields) {
        appendField(line, field);
    }
    line += Line::LineEnd;
    return line;
}

int jobNumberOfLine(const std::string& line)
{
    std::size_t pos = line.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    const std::size_t bar = line.find(JournalLine::Separator, pos);
    if (bar == std::string::npos || bar == pos || bar - pos > 9) {
        return -1;
    }
    int value = 0;
    for (; pos < bar; ++pos) {
        if (line[pos] < '0' || line[pos] > '9') {
            return -1;
        }
        value = value * 10 + (line[pos] - '0');
    }
    return value;
}

} // namespace tollbook::agent
