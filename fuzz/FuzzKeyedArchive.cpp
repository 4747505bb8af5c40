// An attachment's metadata archive in Kik's metadata cache.
#include "FuzzInput.h"

#include "kik/KikKeyedArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readKeyedArchive(fuzzFile(QStringLiteral("metadata_cache/archive"), data, size));
    return 0;
}
