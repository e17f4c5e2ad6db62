#include "platform/PrintersCups.h"

#include "platform/Errors.h"

#include <cups/cups.h>

#include <memory>

namespace tollbook {

namespace {

// The defaults the properties show, in this order.
const char* const DefaultAttributes[] = { "media", "sides", "print-color-mode" };

struct DestsDeleter
{
    int count = 0;
    void operator()(cups_dest_t* dests) const { cupsFreeDests(count, dests); }
};

struct DestInfoDeleter
{
    void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};

QString text(const char* value)
{
    return value ? QString::fromUtf8(value) : QString();
}

QString option(const cups_dest_t& dest, const char* name)
{
    return text(cupsGetOption(name, dest.num_options, dest.options));
}

QString lastError()
{
    return text(cupsLastErrorString());
}

QString stateText(const QString& state)
{
    switch (state.toInt()) {
        case IPP_PSTATE_IDLE:
            return QStringLiteral("idle");
        case IPP_PSTATE_PROCESSING:
            return QStringLiteral("processing");
        case IPP_PSTATE_STOPPED:
            return QStringLiteral("stopped");
        default:
            return state;
    }
}

QStringList values(ipp_attribute_t* attribute)
{
    QStringList list;
    if (!attribute) {
        return list;
    }
    for (int index = 0; index < ippGetCount(attribute); ++index) {
        if (const char* value = ippGetString(attribute, index, nullptr)) {
            list << QString::fromUtf8(value);
        }
    }
    return list;
}

// "queue" or "queue/instance"
QPair<QByteArray, QByteArray> splitName(const QString& name)
{
    const int slash = name.indexOf(QLatin1Char('/'));
    if (slash < 0) {
        return { name.toUtf8(), QByteArray() };
    }
    return { name.left(slash).toUtf8(), name.mid(slash + 1).toUtf8() };
}

} // namespace

QStringList CupsPrinters::names() const
{
    cups_dest_t* raw = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &raw);
    const std::unique_ptr<cups_dest_t, DestsDeleter> dests(raw, DestsDeleter{ count });
    QStringList list;
    for (int index = 0; index < count; ++index) {
        const cups_dest_t& dest = raw[index];
        QString name = text(dest.name);
        if (dest.instance) {
            name += QLatin1Char('/') + text(dest.instance);
        }
        list << name;
    }
    return list;
}

PrinterDescription CupsPrinters::describe(const QString& name) const
{
    const auto [queue, instance] = splitName(name);
    cups_dest_t* found =
        cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), instance.isEmpty() ? nullptr : instance.constData());
    if (!found) {
        throw PlainError(lastError());
    }
    const std::unique_ptr<cups_dest_t, DestsDeleter> dest(found, DestsDeleter{ 1 });

    PrinterDescription description;
    description.name = name;
    description.makeAndModel = option(*found, "printer-make-and-model");
    description.location = option(*found, "printer-location");
    description.info = option(*found, "printer-info");
    description.state = stateText(option(*found, "printer-state"));
    const QString reasons = option(*found, "printer-state-reasons");
    if (!reasons.isEmpty() && reasons != QLatin1String("none")) {
        description.stateReasons = reasons.split(QLatin1Char(','), Qt::SkipEmptyParts);
    }
    description.deviceUri = option(*found, "device-uri");

    const std::unique_ptr<cups_dinfo_t, DestInfoDeleter> info(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, found));
    if (!info) {
        throw PlainError(lastError());
    }
    for (const char* attribute : DefaultAttributes) {
        PrinterDefault entry;
        entry.attribute = QString::fromLatin1(attribute);
        entry.value = values(cupsFindDestDefault(CUPS_HTTP_DEFAULT, found, info.get(), attribute)).value(0);
        entry.supported = values(cupsFindDestSupported(CUPS_HTTP_DEFAULT, found, info.get(), attribute));
        if (!entry.value.isEmpty() || !entry.supported.isEmpty()) {
            description.defaults << entry;
        }
    }
    return description;
}

void CupsPrinters::setDefaults(const QString& name, const QList<QPair<QString, QString>>& values) const
{
    if (values.isEmpty()) {
        return;
    }
    const QByteArray queue = splitName(name).first;
    // The server's request that modifies a printer adds one that does not exist: make sure it does.
    cups_dest_t* found = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), nullptr);
    if (!found) {
        throw PlainError(lastError());
    }
    cupsFreeDests(1, found);

    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", 0, "/printers/%s",
                     queue.constData());

    cups_option_t* options = nullptr;
    int count = 0;
    for (const auto& [attribute, value] : values) {
        count = cupsAddOption((attribute + QStringLiteral("-default")).toUtf8().constData(), value.toUtf8().constData(),
                              count, &options);
    }
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    cupsEncodeOptions2(request, count, options, IPP_TAG_PRINTER);
    cupsFreeOptions(count, options);

    ippDelete(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/admin/"));
    if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        throw PlainError(lastError());
    }
}

} // namespace tollbook
