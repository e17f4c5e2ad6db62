#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tollbook::ModalWait {

// The object name of the wait window, by which tests find it.
inline const QString ObjectName = QStringLiteral("frmAguarde");

// Runs work on a worker thread while an application-modal window showing text keeps the user waiting. The
// event loop turns in the meantime: windows repaint and timers (the monitoring tick) fire. Returns once work has
// ended, and throws on the calling thread what work threw. Work must touch no QObject of the caller's thread.
void run(const QString& text, const std::function<void()>& work, QWidget* parent = nullptr);

} // namespace tollbook::ModalWait
