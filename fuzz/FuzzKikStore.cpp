// Kik's store (Documents/kik.sqlite) from a phone or a backup, damaged: opened read-only and
// loaded whole, as a source is loaded before it is shown.
#include "FuzzInput.h"

#include "kik/IOSKikDb.h"
#include "kik/KikRules.h"

#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString root = fuzzFolder(QStringLiteral("container"));
    fuzzFile(QStringLiteral("container/") + QLatin1String(IOSKikDb::StoreFile), data, size);
    try {
        IOSKikDb db(root);
        db.setOpenMode(IOSKikDb::ReadOnlyMode);
        db.open();
        const KikDataSetPtr dataSet = KikDataSetPtr::create();
        db.load(dataSet);
        KikMessageList messages = dataSet->allMessages();
        sortMessages(messages);
        for (const KikMessage *message : messages)
            messageDisplayText(message);
        db.messageSummary();
    } catch (const std::runtime_error &) {
    }
    return 0;
}
