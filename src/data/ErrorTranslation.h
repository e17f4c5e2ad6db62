#pragma once

#include <QString>

#include <exception>
#include <optional>

namespace tollbook {

// The four kinds of error the application-wide handler tells apart, by exact type.
enum class ErrorKind {
    SilentAbort, // nothing is shown
    Refusal,     // a rule refused the operation: its message in an information box
    Database,    // the dataset layer's own checks: fragment table
    Plain,       // failures the application detects: fragment table
    Other,       // driver, conversion, system and every other error: fallback error box
};

enum class BoxKind { Warning, Error, Information, Confirmation };

struct ErrorBox
{
    BoxKind kind;
    QString text; // lines separated by a single carriage return
};

ErrorKind errorKindOf(const std::exception& error);
QString errorMessageOf(const std::exception& error);

// The box shown for an error of this kind and message, or nothing when the error is to stay silent.
std::optional<ErrorBox> translateError(ErrorKind kind, const QString& message);

} // namespace tollbook
