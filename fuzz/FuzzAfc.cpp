// Answers of the phone's AFC service, as AfcClient reads them: the details of a path, a
// folder's listing, then file blocks, until the stream ends or breaks.
#include "FuzzInput.h"

#include "device/AfcChannel.h"
#include "device/AfcFileInfo.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const FuzzPeer phone(data, size);
    AfcChannel channel(phone.socket());
    try {
        for (int answer = 0; channel.isOpen(); ++answer) {
            quint64 status = 0;
            const QByteArray body = channel.receiveAnswer(answer % 2 ? &status : nullptr);
            if (answer == 0)
                AfcFileInfo::fromAnswer(QStringLiteral("/Documents/kik.sqlite"), body);
            else if (answer == 1)
                body.split('\0');
        }
    } catch (const std::runtime_error &) {
    }
    return 0;
}
