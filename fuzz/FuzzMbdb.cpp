// Manifest.mbdb of a backup folder.
#include "FuzzInput.h"

#include "itunes/ManifestDb.h"

#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MbdbIndex index;
    try {
        index = parseManifestDb(fuzzBytes(data, size), QStringLiteral("Manifest.mbdb"));
    } catch (const std::runtime_error &) {
        return 0;
    }
    // A transfer writes the list it read back into the backup: it must read as the same list.
    if (parseManifestDb(serializeManifestDb(index), QStringLiteral("Manifest.mbdb")) != index)
        std::abort();
    return 0;
}
