#include "mail/SmtpDelivery.h"

#include <QSysInfo>

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace tollbook::Smtp {

namespace {

struct Transfer
{
    const QByteArray* message = nullptr;
    qsizetype sent = 0;
    bool authenticate = false;
    bool authSent = false;
    bool refusedUnauthenticated = false;
    std::string lastRefusal; // the server's last 4xx or 5xx line, for the error text
};

size_t readMessage(char* buffer, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    // The first read comes after MAIL FROM and RCPT TO were accepted and DATA asked for: the last moment to
    // stop before the server holds a message, if authentication was asked but never took place.
    if (transfer->sent == 0 && transfer->authenticate && !transfer->authSent) {
        transfer->refusedUnauthenticated = true;
        return CURL_READFUNC_ABORT;
    }
    const size_t room = size * count;
    const size_t left = size_t(transfer->message->size() - transfer->sent);
    const size_t chunk = std::min(room, left);
    std::memcpy(buffer, transfer->message->constData() + transfer->sent, chunk);
    transfer->sent += qsizetype(chunk);
    return chunk;
}

int watchProtocol(CURL*, curl_infotype type, char* data, size_t size, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    if (type == CURLINFO_HEADER_OUT && size >= 5 && std::string(data, 5) == "AUTH ") {
        transfer->authSent = true;
    } else if (type == CURLINFO_HEADER_IN && size > 0) {
        std::string line(data, size);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        if (line[0] == '4' || line[0] == '5') {
            transfer->lastRefusal = line;
        }
    }
    return 0; // never shown, never logged: the lines hold the credentials
}

struct EasyDeleter
{
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlDeleter
{
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

void check(CURLcode code, const char* what)
{
    if (code != CURLE_OK) {
        throw DeliveryError(std::string(what) + ": " + curl_easy_strerror(code));
    }
}

std::string bracketed(const QString& address)
{
    return '<' + address.toStdString() + '>';
}

// The name the client greets with; curl's own default otherwise.
std::string greetingName()
{
    const QByteArray name = QSysInfo::machineHostName().toLatin1();
    for (const char c : name) {
        const bool allowed =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!allowed) {
            return {};
        }
    }
    return name.toStdString();
}

} // namespace

void deliver(const Settings& settings, const QString& envelopeFrom, const QStringList& recipients,
             const QByteArray& message)
{
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    if (settings.port <= 0 || settings.port > 65535) {
        throw DeliveryError("Invalid port " + std::to_string(settings.port));
    }

    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    const bool implicitTls = settings.security == Security::ImplicitTls;
    std::string host = settings.host.toStdString();
    if (host.find(':') != std::string::npos && host.front() != '[') {
        host = '[' + host + ']'; // an IPv6 address
    }
    if (!url || curl_url_set(url.get(), CURLUPART_SCHEME, implicitTls ? "smtps" : "smtp", 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_HOST, host.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PORT, std::to_string(settings.port).c_str(), 0) != CURLUE_OK) {
        throw DeliveryError("Invalid host name \"" + settings.host.toStdString() + '"');
    }
    const std::string greeting = greetingName();
    if (!greeting.empty()) {
        curl_url_set(url.get(), CURLUPART_PATH, ('/' + greeting).c_str(), 0);
    }

    std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl) {
        throw DeliveryError("libcurl could not be started");
    }
    CURL* const handle = curl.get();

    Transfer transfer;
    transfer.message = &message;
    transfer.authenticate = settings.authenticate;

    std::unique_ptr<curl_slist, ListDeleter> recipientList;
    for (const QString& recipient : recipients) {
        curl_slist* extended = curl_slist_append(recipientList.get(), bracketed(recipient).c_str());
        if (!extended) {
            throw DeliveryError("Out of memory");
        }
        // The old head is part of the extended list, which the pointer owns from here on.
        static_cast<void>(recipientList.release());
        recipientList.reset(extended);
    }

    const std::string from = bracketed(envelopeFrom);
    const std::string user = settings.user.toStdString();
    const std::string password = settings.password.toStdString();
    const std::string caFile = settings.caFile.toStdString();
    char errorText[CURL_ERROR_SIZE] = {};

    check(curl_easy_setopt(handle, CURLOPT_CURLU, url.get()), "URL");
    check(curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps"), "protocols");
    check(curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L), "signals");
    check(curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText), "error buffer");
    check(curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, long(settings.connectTimeoutSeconds)), "time-out");
    check(curl_easy_setopt(handle, CURLOPT_TIMEOUT, long(settings.transferTimeoutSeconds)), "time-out");
    check(curl_easy_setopt(handle, CURLOPT_MAIL_FROM, from.c_str()), "sender");
    check(curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipientList.get()), "recipients");
    check(curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L), "upload");
    check(curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size())), "size");
    check(curl_easy_setopt(handle, CURLOPT_READFUNCTION, readMessage), "reader");
    check(curl_easy_setopt(handle, CURLOPT_READDATA, &transfer), "reader");
    check(curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, watchProtocol), "protocol watch");
    check(curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &transfer), "protocol watch");
    check(curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L), "protocol watch");

    if (settings.security != Security::None) {
        check(curl_easy_setopt(handle, CURLOPT_USE_SSL, long(CURLUSESSL_ALL)), "TLS");
        check(curl_easy_setopt(handle, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2)), "TLS version");
        check(curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L), "certificate check");
        check(curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L), "host name check");
        if (!caFile.empty()) {
            check(curl_easy_setopt(handle, CURLOPT_CAINFO, caFile.c_str()), "certificate authorities");
        }
    } else {
        check(curl_easy_setopt(handle, CURLOPT_USE_SSL, long(CURLUSESSL_NONE)), "TLS");
    }
    if (settings.authenticate) {
        check(curl_easy_setopt(handle, CURLOPT_USERNAME, user.c_str()), "user name");
        check(curl_easy_setopt(handle, CURLOPT_PASSWORD, password.c_str()), "password");
    }

    const CURLcode result = curl_easy_perform(handle);
    if (transfer.refusedUnauthenticated) {
        throw DeliveryError("The server offers no authentication this client can use; nothing was sent");
    }
    if (result != CURLE_OK) {
        std::string text = errorText[0] ? errorText : curl_easy_strerror(result);
        while (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        if (!transfer.lastRefusal.empty() && text.find(transfer.lastRefusal) == std::string::npos) {
            text += " (" + transfer.lastRefusal + ')';
        }
        throw DeliveryError(text);
    }
}

} // namespace tollbook::Smtp
