#include "db/Sqlite3DB.h"

int sqlite_qt_version()
{
    return 7;
}
