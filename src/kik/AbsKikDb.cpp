#include "kik/AbsKikDb.h"

AbsKikDb::~AbsKikDb() = default;

KikSchemaMap AbsKikDb::schemaMap()
{
    return KikSchemaMap::read(*this);
}
