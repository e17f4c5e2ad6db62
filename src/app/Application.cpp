#include "app/Application.h"

#include "ui/ErrorHandler.h"

namespace tollbook {

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Tollbook"));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ErrorHandler::handleCurrentException();
    }
    return false;
}

} // namespace tollbook
