#pragma once

#include <QString>

namespace tollbook {

// The eighteen standard texts of the message boxes, replaced process-wide by the language set-up so that
// every later box uses them. "&" marks the accelerator letter. Built-in values are the English ones.
enum class MessageBoxText {
    WarningTitle,
    ErrorTitle,
    InformationTitle,
    ConfirmTitle,
    Yes,
    No,
    Ok,
    Cancel,
    Help,
    NoHelpNotice,
    NoHelpTitle,
    Abort,
    Retry,
    Ignore,
    All,
    NoToAll,
    YesToAll,
    Close,
};

constexpr int MessageBoxTextCount = 18;
static_assert(int(MessageBoxText::Close) + 1 == MessageBoxTextCount);

namespace MessageBoxTexts {
QString text(MessageBoxText role);
// Replaces one text for the rest of the run; false (and nothing changed) for an unknown role.
bool change(MessageBoxText role, const QString& newText);
// Puts every text back to its built-in (English) value.
void reset();
} // namespace MessageBoxTexts

} // namespace tollbook
