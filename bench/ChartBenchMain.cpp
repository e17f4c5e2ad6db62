// tollbook-bench-chart PATH [RUNS=5]: the users chart of the charts page for the year 2025 over the database
// at PATH (tollbook-gendb: 300 users): its reload (the dataset's query and the bars), the painting of the
// picture the save button writes, the whole save (painting, BMP encoding, the file written beside the
// database) and the painting of the chart on screen. Best of RUNS, processor time (user + system) unless
// BENCH_CLOCK=wall. Runs on Qt's offscreen platform.

#include "BenchClock.h"
#include "data/Catalogue.h"
#include "data/Database.h"
#include "data/Formats.h"
#include "ui/pages/ChartsPage.h"
#include "ui/widgets/BarChartView.h"
#include "ui/widgets/DatePicker.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

#include <algorithm>
#include <functional>
#include <limits>

namespace {

using bench::processorSeconds;
using bench::wallClock;

// The best of runs of the work, in milliseconds.
double best(int runs, const std::function<void()>& work)
{
    double fastest = std::numeric_limits<double>::max();
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer wall;
        wall.start();
        const double cpu = processorSeconds();
        work();
        const double elapsed = wallClock() ? double(wall.nsecsElapsed()) / 1e6 : (processorSeconds() - cpu) * 1000;
        fastest = std::min(fastest, elapsed);
    }
    return fastest;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    if (args.size() < 2 || !QFileInfo::exists(args.at(1))) {
        QTextStream(stderr) << "usage: tollbook-bench-chart PATH [RUNS=5]\n";
        return 2;
    }
    const int runs = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 5;
    tollbook::Formats::setShortDateFormat(QStringLiteral("dd/MM/yyyy"));
    tollbook::Database::open(args.at(1));

    tollbook::DataModuleDatasets dataModule;
    tollbook::MainWindowDatasets datasets(&dataModule);
    datasets.users->open();
    tollbook::ChartsPage page(&datasets);
    QTemporaryDir folder;
    page.setSaveFolder(folder.path());
    page.setFileOpener(nullptr);
    page.resize(1200, 700);
    page.show();
    QCoreApplication::processEvents();

    using tollbook::ChartsPage;
    page.startPicker(ChartsPage::Users)->setDate(QDate(2025, 1, 1));
    page.endPicker(ChartsPage::Users)->setDate(QDate(2025, 12, 31));
    tollbook::BarChartView* view = page.chartView(ChartsPage::Users);

    const double reload = best(runs, [&] { page.reload(ChartsPage::Users); });
    const int bars = int(view->chart().bars().size());
    QImage picture;
    const double paint = best(runs, [&] { picture = view->picture(); });
    const double save = best(runs, [&] { page.save(ChartsPage::Users); });
    const double screen = best(runs, [&] { view->grab(); });

    out << "users chart for 2025 on " << QFileInfo(args.at(1)).fileName() << ", best of " << runs << " ("
        << (wallClock() ? "wall-clock" : "processor") << " ms)\n";
    out << "  bars " << bars << ", view " << view->width() << " x " << view->height() << ", picture " << picture.width()
        << " x " << picture.height() << ", file " << QFileInfo(page.picturePath(ChartsPage::Users)).size() / 1024
        << " KiB\n";
    out << "  reload (query + bars)      " << QString::number(reload, 'f', 1) << '\n';
    out << "  paint of the picture       " << QString::number(paint, 'f', 1) << '\n';
    out << "  save (paint + BMP + write) " << QString::number(save, 'f', 1) << '\n';
    out << "  paint on screen            " << QString::number(screen, 'f', 1) << '\n';
    return 0;
}
