#pragma once

#include "data/ErrorTranslation.h"

#include <QString>

class QWidget;

namespace tollbook {

// The one way the application shows a message box. Every box is application-modal; its title and button
// captions come from the process-wide message-box texts, so they follow the current language. A single
// carriage return in the text starts a new line.
namespace MessageBox {

enum class Buttons { Ok, YesNo, OkCancel };
enum class Answer { Ok, Yes, No, Cancel };

// The box's object name, by which tests and the language files find it.
inline const QString ObjectName = QStringLiteral("MessageBox");

// A box of the kind (its icon and standard title) with the buttons; returns the button pressed. Closing the
// box without a button (Escape, the close box) answers No for Yes/No, Cancel for OK/Cancel and OK for OK.
Answer show(BoxKind kind, const QString& text, Buttons buttons, QWidget* parent = nullptr);

// A box without icon under a title of the caller's own, such as the product name.
Answer show(const QString& title, const QString& text, Buttons buttons, QWidget* parent = nullptr);

} // namespace MessageBox
} // namespace tollbook
