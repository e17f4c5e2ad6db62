#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace tollbook {

// The hourglass for as long as it lives, also when what it covers fails.
class WaitCursor
{
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace tollbook
