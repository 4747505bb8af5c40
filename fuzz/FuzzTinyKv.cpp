// A "tinykv" blob from a local database (a file anyone could have changed).
#include "FuzzInput.h"

#include "db/TinyKv.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QVariantHash hash = fromTinyKv(fuzzBytes(data, size));
    // Whatever was read is a hash the program can write again and read back whole (values
    // are not compared: a NaN read is never equal to itself).
    if (!hash.isEmpty() && fromTinyKv(toTinyKv(hash)).size() != hash.size())
        std::abort();
    return 0;
}
