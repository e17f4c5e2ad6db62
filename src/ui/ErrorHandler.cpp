#include "ui/ErrorHandler.h"

#include "data/ErrorTranslation.h"
#include "ui/MessageBox.h"

#include <QtGlobal>

#include <stdexcept>

namespace tollbook {
namespace ErrorHandler {

void handleError(const std::exception& error)
{
    try {
        const std::optional<ErrorBox> box = translateError(errorKindOf(error), errorMessageOf(error));
        if (box) {
            MessageBox::show(box->kind, box->text, MessageBox::Buttons::Ok);
        }
    } catch (const std::exception& failure) {
        // Nothing is left to show it with; it must not escape into the event loop either.
        qCritical("Error while reporting \"%s\": %s", error.what(), failure.what());
    } catch (...) {
        qCritical("Error while reporting \"%s\"", error.what());
    }
}

void handleCurrentException()
{
    if (!std::current_exception()) {
        return;
    }
    try {
        throw;
    } catch (const std::exception& error) {
        handleError(error);
    } catch (...) {
        handleError(std::runtime_error("Unknown error"));
    }
}

} // namespace ErrorHandler
} // namespace tollbook
