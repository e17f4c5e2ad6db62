#include "PrintQueues.h"

#include <QHash>

#include <cups/cups.h>

#include <algorithm>
#include <iterator>
#include <memory>

namespace tollwatch {

namespace {

constexpr int ConnectTimeoutMs = 3000;

struct HttpClose
{
    void operator()(http_t* http) const { httpClose(http); }
};
using Connection = std::unique_ptr<http_t, HttpClose>;

QString text(const char* value)
{
    return value ? QString::fromUtf8(value) : QString();
}

QDateTime timeOf(time_t seconds)
{
    return seconds > 0 ? QDateTime::fromSecsSinceEpoch(qint64(seconds)) : QDateTime();
}

bool failed(ipp_status_t status)
{
    return status >= IPP_STATUS_ERROR_BAD_REQUEST && status != IPP_STATUS_ERROR_NOT_FOUND;
}

// The pages of every job the server keeps, by job id: those printed so far, or those the job announced
// while none is printed yet. cupsGetJobs2 does not report them, so one Get-Jobs request asks for the page
// counters alone. Jobs missing here show no pages.
QHash<int, int> readPageCounts(http_t* http)
{
    QHash<int, int> pages;
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    static const char* const wanted[] = { "job-id", "job-impressions", "job-impressions-completed" };
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(std::size(wanted)), nullptr,
                  wanted);

    ipp_t* response = cupsDoRequest(http, request, "/"); // frees the request
    if (!response) {
        return pages;
    }
    // The attributes of one job follow each other; a separator (an attribute without a name) ends it.
    int id = 0;
    int announced = -1;
    int printed = -1;
    const auto endJob = [&]() {
        if (id > 0) {
            pages.insert(id, printed > 0 ? printed : announced);
        }
        id = 0;
        announced = -1;
        printed = -1;
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute; attribute = ippNextAttribute(response)) {
        const char* name = ippGetName(attribute);
        if (!name) {
            endJob();
            continue;
        }
        if (ippGetValueTag(attribute) != IPP_TAG_INTEGER) {
            continue;
        }
        const QLatin1String attributeName(name);
        if (attributeName == QLatin1String("job-id")) {
            id = ippGetInteger(attribute, 0);
        } else if (attributeName == QLatin1String("job-impressions")) {
            announced = ippGetInteger(attribute, 0);
        } else if (attributeName == QLatin1String("job-impressions-completed")) {
            printed = ippGetInteger(attribute, 0);
        }
    }
    endJob();
    ippDelete(response);
    return pages;
}

// The jobs of every queue, of every user: the active ones or the completed ones.
QList<QueueJob> readJobs(http_t* http, int which, const QHash<int, int>& pages)
{
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(http, &jobs, nullptr, 0, which);
    QList<QueueJob> result;
    for (int i = 0; i < count; ++i) {
        const cups_job_t& job = jobs[i];
        QueueJob entry;
        entry.id = job.id;
        entry.queue = text(job.dest);
        entry.user = text(job.user);
        entry.document = text(job.title);
        entry.pages = pages.value(job.id, -1);
        entry.state = int(job.state);
        entry.completed = which == CUPS_WHICHJOBS_COMPLETED;
        entry.time = timeOf(entry.completed && job.completed_time > 0 ? job.completed_time : job.creation_time);
        result.append(entry);
    }
    cupsFreeJobs(count, jobs);
    return result;
}

PrintQueue& queueNamed(QList<PrintQueue>& queues, const QString& name)
{
    for (PrintQueue& queue : queues) {
        if (queue.name == name) {
            return queue;
        }
    }
    // A job of a queue that is gone, or of a class not listed: shown under its own name.
    PrintQueue queue;
    queue.name = name;
    queues.append(queue);
    return queues.last();
}

} // namespace

QueueSnapshot readPrintQueues(int completedPerQueue)
{
    QueueSnapshot snapshot;
    snapshot.takenAt = QDateTime::currentDateTime();
    snapshot.server = text(cupsServer());

    const Connection http(
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, ConnectTimeoutMs, nullptr));
    if (!http) {
        snapshot.error = QStringLiteral("o servidor de impressão não responde");
        return snapshot;
    }

    cups_dest_t* dests = nullptr;
    const int destCount = cupsGetDests2(http.get(), &dests);
    const bool destsFailed = destCount == 0 && failed(cupsLastError());
    const QString destsError = text(cupsLastErrorString());
    for (int i = 0; i < destCount; ++i) {
        const cups_dest_t& dest = dests[i];
        if (dest.instance) {
            continue; // an instance is the same queue with other default options
        }
        PrintQueue queue;
        queue.name = text(dest.name);
        queue.isDefault = dest.is_default != 0;
        queue.state = text(cupsGetOption("printer-state", dest.num_options, dest.options)).toInt();
        snapshot.queues.append(queue);
    }
    cupsFreeDests(destCount, dests);
    if (destsFailed) {
        snapshot.error = destsError;
        return snapshot;
    }
    snapshot.reachable = true;

    const QHash<int, int> pages = readPageCounts(http.get());
    QList<QueueJob> active = readJobs(http.get(), CUPS_WHICHJOBS_ACTIVE, pages);
    QList<QueueJob> completed = readJobs(http.get(), CUPS_WHICHJOBS_COMPLETED, pages);
    std::sort(active.begin(), active.end(), [](const QueueJob& a, const QueueJob& b) { return a.id < b.id; });
    std::sort(completed.begin(), completed.end(),
              [](const QueueJob& a, const QueueJob& b) { return a.time != b.time ? a.time > b.time : a.id > b.id; });

    for (const QueueJob& job : active) {
        queueNamed(snapshot.queues, job.queue).jobs.append(job);
    }
    QHash<QString, int> completedShown;
    for (const QueueJob& job : completed) {
        int& shown = completedShown[job.queue];
        if (shown < completedPerQueue) {
            ++shown;
            queueNamed(snapshot.queues, job.queue).jobs.append(job);
        }
    }
    return snapshot;
}

QString jobStateText(int state)
{
    switch (state) {
        case IPP_JSTATE_PENDING:
            return QStringLiteral("Aguardando");
        case IPP_JSTATE_HELD:
            return QStringLiteral("Retido");
        case IPP_JSTATE_PROCESSING:
            return QStringLiteral("Imprimindo");
        case IPP_JSTATE_STOPPED:
            return QStringLiteral("Parado");
        case IPP_JSTATE_CANCELED:
            return QStringLiteral("Cancelado");
        case IPP_JSTATE_ABORTED:
            return QStringLiteral("Abortado");
        case IPP_JSTATE_COMPLETED:
            return QStringLiteral("Concluído");
    }
    return QString();
}

QString queueStateText(int state)
{
    switch (state) {
        case IPP_PSTATE_IDLE:
            return QStringLiteral("Pronta");
        case IPP_PSTATE_PROCESSING:
            return QStringLiteral("Imprimindo");
        case IPP_PSTATE_STOPPED:
            return QStringLiteral("Parada");
    }
    return QString();
}

} // namespace tollwatch
