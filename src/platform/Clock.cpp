#include "platform/Clock.h"

#include <utility>

namespace tollbook::Clock {

namespace {

Source& currentSource()
{
    static Source source;
    return source;
}

} // namespace

QDateTime now()
{
    const Source& source = currentSource();
    return source ? source() : QDateTime::currentDateTime();
}

QDate today()
{
    return now().date();
}

Override::Override(Source source)
    : m_previous(std::exchange(currentSource(), std::move(source)))
{
}

Override::~Override()
{
    currentSource() = std::move(m_previous);
}

} // namespace tollbook::Clock
