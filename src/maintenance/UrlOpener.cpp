#include "maintenance/UrlOpener.h"

#include <QDesktopServices>

#include <utility>

namespace tollbook {

namespace {

UrlOpener& currentOpener()
{
    static UrlOpener opener;
    return opener;
}

} // namespace

bool openUrl(const QUrl& url)
{
    const UrlOpener& opener = currentOpener();
    return opener ? opener(url) : QDesktopServices::openUrl(url);
}

UrlOpener setUrlOpener(UrlOpener opener)
{
    return std::exchange(currentOpener(), std::move(opener));
}

} // namespace tollbook
