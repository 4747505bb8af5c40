// The file list of a modern backup (Manifest.db) from a backup folder, damaged or made to
// stall: read as a backup's list is read; the rows it gives, written again as a list, must read
// back to the same records.
#include "FuzzInput.h"

#include "itunes/ManifestFilesDb.h"

#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzzFile(QStringLiteral("Manifest.db"), data, size);
    ManifestFilesContent content;
    try {
        content = readManifestFilesDb(path, path);
    } catch (const std::runtime_error &) {
        return 0;
    }
    const QString again = fuzzFolder(QStringLiteral("again")) + QStringLiteral("/Manifest.db");
    writeManifestFilesDb(content.index, again);
    const ManifestFilesContent reread = readManifestFilesDb(again, again);
    if (reread.index.keys() != content.index.keys())
        std::abort();
    return 0;
}
