#include "platform/MessageBoxTexts.h"

#include <QMutex>
#include <QMutexLocker>

#include <array>
#include <optional>

namespace tollbook {
namespace MessageBoxTexts {
namespace {

using Table = std::array<QString, MessageBoxTextCount>;

// In the order of MessageBoxText.
Table builtInTexts()
{
    return {
        QStringLiteral("Warning"),     QStringLiteral("Error"),
        QStringLiteral("Information"), QStringLiteral("Confirm"),
        QStringLiteral("&Yes"),        QStringLiteral("&No"),
        QStringLiteral("OK"),          QStringLiteral("Cancel"),
        QStringLiteral("&Help"),       QStringLiteral("No help available"),
        QStringLiteral("Help"),        QStringLiteral("&Abort"),
        QStringLiteral("&Retry"),      QStringLiteral("&Ignore"),
        QStringLiteral("&All"),        QStringLiteral("N&o to All"),
        QStringLiteral("Yes to &All"), QStringLiteral("&Close"),
    };
}

struct State
{
    QMutex mutex;
    Table texts = builtInTexts();
};

State& state()
{
    static State instance;
    return instance;
}

std::optional<std::size_t> indexOf(MessageBoxText role)
{
    const auto index = static_cast<std::size_t>(role);
    if (index >= std::size_t(MessageBoxTextCount))
        return std::nullopt;
    return index;
}

} // namespace

QString text(MessageBoxText role)
{
    const std::optional<std::size_t> index = indexOf(role);
    if (!index)
        return {};
    QMutexLocker lock(&state().mutex);
    return state().texts[*index];
}

bool change(MessageBoxText role, const QString& newText)
{
    const std::optional<std::size_t> index = indexOf(role);
    if (!index)
        return false;
    QMutexLocker lock(&state().mutex);
    state().texts[*index] = newText;
    return true;
}

void reset()
{
    QMutexLocker lock(&state().mutex);
    state().texts = builtInTexts();
}

} // namespace MessageBoxTexts
} // namespace tollbook
