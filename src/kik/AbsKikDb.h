#pragma once

#include "db/Sqlite3DB.h"
#include "kik/Export.h"
#include "kik/KikDataSet.h"
#include "kik/KikSchemaMap.h"

// A database of Kik records: the program's local databases and Kik's own store on a phone.
// Every Kik database is also an open SQLite connection.
class PARLEWICK_KIK_EXPORT AbsKikDb : public Sqlite3DB
{
public:
    ~AbsKikDb() override;

    // Makes the connection usable; returns at once when already open. Raises on failure.
    virtual void open() = 0;
    // Reads the whole database into an empty data set. Raises on a database error.
    virtual bool load(const KikDataSetPtr &dataSet) = 0;

    KikSchemaMap schemaMap();
};
