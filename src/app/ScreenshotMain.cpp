// tollbook-screenshot INSTALLFOLDER PICTURE.png [frmTBKPrincipal|frmLogin|frmAbout]: starts Tollbook's
// windows on an installation folder as the application does, shows the one named and saves a picture of
// it. Used by scripts/screenshots to look at the windows in every language.

#include "app/Application.h"
#include "app/ApplicationShell.h"
#include "app/DataModule.h"
#include "app/LoginDialog.h"
#include "maintenance/AboutBox.h"
#include "ui/MainWindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>
#include <QThread>

namespace {

// Lets the window system lay out and paint the window before it is grabbed.
void settle()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 700) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    tollbook::Application app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() < 3 || args.size() > 4) {
        err << "usage: tollbook-screenshot INSTALLFOLDER PICTURE.png [frmTBKPrincipal|frmLogin|frmAbout]\n";
        return 2;
    }
    const QString folder = QDir(args.at(1)).absolutePath() + QLatin1Char('/');
    const QString picture = args.at(2);
    const QString window = args.size() > 3 ? args.at(3) : QStringLiteral("frmTBKPrincipal");
    app.setQuitOnLastWindowClosed(false);
    tollbook::applyVisualStyle(app);

    tollbook::ApplicationShell shell(folder);
    if (!shell.createDataModule()) {
        err << "tollbook-screenshot: the installation in " << folder << " does not start\n";
        return 1;
    }
    shell.createMainWindow();
    shell.showMainWindow();
    settle();

    QWidget* shown = shell.mainWindow();
    std::unique_ptr<QWidget> dialog;
    if (window == QLatin1String("frmLogin")) {
        dialog = std::make_unique<tollbook::LoginDialog>(shell.dataModule());
    } else if (window == QLatin1String("frmAbout")) {
        dialog = std::make_unique<tollbook::AboutBox>(shell.mainWindow());
    } else if (window != QLatin1String("frmTBKPrincipal")) {
        err << "tollbook-screenshot: no window " << window << '\n';
        return 2;
    }
    if (dialog) {
        dialog->show();
        settle();
        shown = dialog.get();
    }
    if (!shown->grab().save(picture)) {
        err << "tollbook-screenshot: cannot write " << picture << '\n';
        return 1;
    }
    return 0;
}
