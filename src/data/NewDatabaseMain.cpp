// tollbook-newdb PATH | postgresql://...: creates a new installation's database with its tables, reserved rows
// and paper names: a new SQLite file, or the tables in an existing, empty PostgreSQL database. Refuses to touch
// an existing file or a database that has the tables already.

#include "data/Database.h"
#include "platform/Errors.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        err << "usage: tollbook-newdb PATH | postgresql://[host][:port]/dbname[?option=value...]\n";
        return 2;
    }
    try {
        tollbook::Database::create(args.at(1));
    } catch (const tollbook::Error& error) {
        err << "tollbook-newdb: " << error.message() << '\n';
        return 1;
    }
    QTextStream(stdout) << "created " << args.at(1) << '\n';
    return 0;
}
