#pragma once

#include <exception>

namespace tollbook {

// The application-wide error handler: every error that no event handler caught ends here and is shown in
// one modal box with an OK button (or not at all, for a silent abort and the messages meant to stay
// silent). The failed operation stays failed; the application carries on.
namespace ErrorHandler {

void handleError(const std::exception& error);

// Handles the exception being caught; call it only inside a catch block. An exception that is not a
// std::exception is reported as an error of unknown kind.
void handleCurrentException();

} // namespace ErrorHandler
} // namespace tollbook
