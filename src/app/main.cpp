#include "app/Application.h"
#include "app/SingleInstance.h"
#include "data/Database.h"
#include "platform/SystemRoutines.h"
#include "ui/ErrorHandler.h"
#include "ui/MessageBox.h"

#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

namespace {

const QString ProductName = QStringLiteral("Tollbook");

void bringForward(QMainWindow& window)
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

int main(int argc, char** argv)
{
    tollbook::Application app(argc, argv);

    tollbook::SingleInstance instance;
    if (!instance.claim()) {
        tollbook::MessageBox::show(ProductName, QStringLiteral("The Tollbook is running."),
                                   tollbook::MessageBox::Buttons::Ok);
        instance.activateRunning();
        return 0;
    }

    const QString installDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    const QString configPath = installDir + QStringLiteral("config.ini");
    if (!QFileInfo::exists(configPath)) {
        return 0;
    }

    try {
        tollbook::Database::open(tollbook::ReadIniValue(configPath, QStringLiteral("App"), QStringLiteral("DataBase")));
    } catch (...) {
        tollbook::ErrorHandler::handleCurrentException();
    }

    QMainWindow window;
    window.setObjectName(QStringLiteral("frmTBKPrincipal"));
    window.setWindowTitle(ProductName);
    auto* statusBar = new QStatusBar(&window);
    statusBar->setObjectName(QStringLiteral("StatusBar1"));
    auto* release = new QLabel(&window);
    try {
        release->setText(QStringLiteral("Release: ") + tollbook::GetVersionText());
    } catch (...) {
        tollbook::ErrorHandler::handleCurrentException();
    }
    statusBar->addWidget(release);
    window.setStatusBar(statusBar);
    window.resize(1024, 700);
    QObject::connect(&instance, &tollbook::SingleInstance::activationRequested, &window,
                     [&window]() { bringForward(window); });
    window.show();

    const int exitCode = app.exec();
    tollbook::Database::close();
    return exitCode;
}
