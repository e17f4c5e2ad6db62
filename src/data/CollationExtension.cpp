// The application's text collation as a loadable SQLite extension, so that tools outside the application
// open its database file:  sqlite3 Tollbook.db '.load /path/to/tollbook-collation'
// Built from the same source as the collation the application registers on its own connections.

#include "Collation.h"

#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

extern "C" {

#ifdef _WIN32
__declspec(dllexport)
#endif
    int sqlite3_tollbookcollation_init(sqlite3* db, char** errorMessage, const sqlite3_api_routines* api)
{
    SQLITE_EXTENSION_INIT2(api);
    (void)errorMessage;
    return sqlite3_create_collation_v2(db, tollbook::Collation::Name, SQLITE_UTF8, nullptr,
                                       &tollbook::Collation::sqliteCompare, nullptr);
}
}
