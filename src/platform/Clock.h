#pragma once

#include <QDate>
#include <QDateTime>

#include <functional>

namespace tollbook {

// The one source of the current time for the whole application: the window's clock, the monitoring
// countdown, the import's stamps and "today" of the views all ask it, so a test that fixes the time fixes
// it for all of them at once.
namespace Clock {

using Source = std::function<QDateTime()>;

QDateTime now();
QDate today();

// Replaces the source for as long as it lives, then puts the previous one back; nests.
class Override
{
public:
    explicit Override(Source source);
    ~Override();
    Override(const Override&) = delete;
    Override& operator=(const Override&) = delete;

private:
    Source m_previous;
};

} // namespace Clock
} // namespace tollbook
