#pragma once

#include <QApplication>

namespace tollbook {

// The application object. Every event goes through notify, which hands an exception escaping from any
// event handler to the error handler, so that no exception ever crosses Qt's event loop: the failed
// operation stays failed and the application carries on.
class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace tollbook
