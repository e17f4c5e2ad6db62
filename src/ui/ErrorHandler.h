#pragma once

#include <exception>
#include <utility>

namespace tollbook {

// The application-wide error handler: every error that no event handler caught ends here and is shown in
// one modal box with an OK button (or not at all, for a silent abort and the messages meant to stay
// silent). The failed operation stays failed; the application carries on.
namespace ErrorHandler {

void handleError(const std::exception& error);

// Handles the exception being caught; call it only inside a catch block. An exception that is not a
// std::exception is reported as an error of unknown kind.
void handleCurrentException();

// The one exception boundary between our code and Qt's event loop: every slot, menu command, timer and
// item-model write runs its work through it. Whatever the work throws is shown by the handler and goes no
// further. True when the work ended without an exception.
template<typename Work>
bool reportingErrors(Work&& work) noexcept
{
    try {
        std::forward<Work>(work)();
        return true;
    } catch (...) {
        handleCurrentException();
        return false;
    }
}

// A slot that runs work under reportingErrors, for connect(): connect(action, &QAction::triggered, this,
// ErrorHandler::guarded([this] { ... })).
template<typename Work>
auto guarded(Work work)
{
    return [work = std::move(work)](auto&&...) mutable { reportingErrors(work); };
}

} // namespace ErrorHandler
} // namespace tollbook
