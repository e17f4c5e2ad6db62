#include "app/Application.h"
#include "app/ApplicationShell.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    tollbook::Application app(argc, argv);
    // Every file of the installation is found from the folder of the executable.
    return tollbook::runApplication(app, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
}
