// Tollwatch: the print queues of this machine's print server and their jobs, refreshed every few seconds.
#include "QueueWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tollwatch"));
    tollwatch::QueueWindow window;
    window.show();
    return app.exec();
}
