// tollbook-import-child DATABASE JOURNAL COPY: imports the journal into the database (a SQLite file or a
// PostgreSQL address) the way the capture copy does, printing "progress DONE TOTAL" as the import goes and "done ROWS"
// at its end. Run by the tests that kill an import half-way.

#include "capture/JournalImport.h"
#include "data/Database.h"
#include "platform/Errors.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: tollbook-import-child DATABASE JOURNAL COPY\n");
        return 2;
    }
    QTextStream out(stdout);
    try {
        tollbook::Database::open(args.at(1));
        int rows = 0;
        {
            tollbook::JournalImport import(args.at(2), args.at(3));
            QObject::connect(&import, &tollbook::JournalImport::progress, [&out](qint64 done, qint64 total) {
                out << "progress " << done << ' ' << total << Qt::endl;
            });
            rows = int(import.importPending(tollbook::ImportTarget::read(tollbook::Database::ConnectionName)).rows);
        }
        tollbook::Database::close();
        out << "done " << rows << Qt::endl;
    } catch (const tollbook::Error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
