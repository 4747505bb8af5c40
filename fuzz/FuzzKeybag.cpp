// The keybag of an encrypted backup (BackupKeyBag of Manifest.plist), old and DPSL/DPIC ones.
#include "FuzzInput.h"

#include "itunes/BackupKeybag.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray blob = fuzzBytes(data, size);
    try {
        BackupKeybag keybag = BackupKeybag::parseKeybag(blob, QStringLiteral("Manifest.plist"));
        // The key derivation is as slow as its counts ask; only small ones keep the runs fast.
        const quint32 iterations = BackupKeybag::number(keybag.attributes().value("ITER"));
        const quint32 iterations256 = BackupKeybag::number(keybag.attributes().value("DPIC"));
        if (iterations > 16 || iterations256 > 16)
            return 0;
        if (!keybag.unlock("password"))
            return 0;
        for (auto it = keybag.classKeys().cbegin(); it != keybag.classKeys().cend(); ++it)
            keybag.fileKey(it.key(), it.value().value("WPKY"));
        // A ManifestKey is a class number and a wrapped key: the input's last 44 bytes stand in.
        keybag.unwrapManifestKey(blob.right(44));
    } catch (const std::runtime_error &) {
    }
    return 0;
}
