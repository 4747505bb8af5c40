// The vendor server's answers: the version check and the advertisement.
#include "FuzzInput.h"

#include "app/VendorHost.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body = fuzzBytes(data, size);
    // Only a plain http address with a host is ever handed to the browser.
    if (const std::optional<QUrl> address = versionAnswerAddress(body)) {
        if (address->scheme() != QLatin1String("http") || address->host().isEmpty())
            std::abort();
    }
    advertisementMarkup(body);
    return 0;
}
