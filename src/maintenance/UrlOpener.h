#pragma once

#include <QUrl>

#include <functional>

// Hands a file or a web or mail address to the desktop's default program, as the shell's "open" does.
// Nothing is reported when no program takes it.
namespace tollbook {

using UrlOpener = std::function<bool(const QUrl& url)>;

// Opens the address with the current opener: QDesktopServices::openUrl unless replaced.
bool openUrl(const QUrl& url);

// Replaces the opener for the whole process and returns the one it replaces; an empty function brings
// back the desktop's. Tests use it to see what would be opened.
UrlOpener setUrlOpener(UrlOpener opener);

} // namespace tollbook
