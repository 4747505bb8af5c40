// What a phone sends during a device backup or restore: DeviceLink messages and the file streams
// of its uploads, answered as the program's backup client answers them, into a private folder.
// No name may lead a file outside the phone's backup folder.
#include "FuzzInput.h"

#include "device/MobileBackupFolder.h"
#include "device/MobileBackupLink.h"
#include "device/MobileBackupMessages.h"

#include <QDir>
#include <QDirIterator>

#include <cstdlib>
#include <stdexcept>

namespace {

const QString kUdid = QStringLiteral("00008030-001A2B3C4D5E6F70");

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString root = fuzzFolder(QStringLiteral("backup"));
    {
        const FuzzPeer phone(data, size);
        MobileBackupFolder folder(root, kUdid);
        MobileBackupLink link(phone.socket(), [] {});
        MobileBackupMessages messages(link, folder);
        try {
            for (int message = 0; message < 64; ++message)
                messages.handle(link.receiveMessage());
        } catch (const std::runtime_error &) {
        }
    }
    // Whatever was written lies in the phone's folder.
    QDirIterator written(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (written.hasNext()) {
        if (written.next() != root + QLatin1Char('/') + kUdid)
            std::abort();
    }
    return 0;
}
