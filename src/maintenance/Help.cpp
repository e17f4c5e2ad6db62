#include "maintenance/Help.h"

#include "maintenance/UrlOpener.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace tollbook {

namespace {

// Shows the hourglass until the end of the scope, also when the opener throws.
class HourglassCursor
{
public:
    HourglassCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QApplication::restoreOverrideCursor(); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;
};

} // namespace

QString helpFilePath(const QString& installFolder, const QString& code)
{
    return QDir(installFolder).filePath(QStringLiteral("help/Tollbook_") + code + QStringLiteral(".chm"));
}

void openHelp(const QString& installFolder, const QString& code, QWidget* owner)
{
    // The desktop opens the file in a window of its own; the owner only marks where the request came from.
    Q_UNUSED(owner)
    const HourglassCursor hourglass;
    const QString path = helpFilePath(installFolder, code);
    if (QFileInfo(path).isFile())
        openUrl(QUrl::fromLocalFile(path));
    QCoreApplication::processEvents();
}

} // namespace tollbook
