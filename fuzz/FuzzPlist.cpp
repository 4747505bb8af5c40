// Property lists, binary and XML, through CFType: Manifest.plist, Info.plist, Status.plist,
// attachment descriptions in Kik's folder, the phone's lockdown values and pair records.
#include "FuzzInput.h"

#include "plist/CFType.h"
#include "plist/PlistInputCheck.h"

#include <cstdlib>

namespace {

// Reads every value the way the program's readers do, a bounded number of entries per level.
void walk(const CFType &value, int depth)
{
    value.toInt64();
    value.toDouble();
    value.toBool();
    value.toUid();
    value.toQString();
    value.toByteArray();
    value.toDateTime();
    value.toDisplayString();
    if (depth == 0)
        return;
    const int count = std::min(value.count(), 64);
    if (value.isDictionary()) {
        const QList<CFType> keys = value.keys();
        for (int i = 0; i < keys.size() && i < count; ++i)
            walk(value.value(keys.at(i)), depth - 1);
        value.value(QStringLiteral("$objects"));
    } else {
        for (int i = 0; i < count; ++i)
            walk(value.at(i), depth - 1);
    }
}

// How deep containers nest below value, counting no further than limit.
int nesting(const CFType &value, int limit)
{
    if (!value.isDictionary() && !value.isArray())
        return 0;
    const QList<CFType> keys = value.keys();
    int deepest = 0;
    for (int i = 0; i < value.count() && deepest < limit; ++i) {
        const CFType child = value.isArray() ? value.at(i) : value.value(keys.at(i));
        deepest = std::max(deepest, nesting(child, limit - 1));
    }
    return deepest + 1;
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const CFType root = CFType::fromPlistData(fuzzBytes(data, size));
    if (root.isNull())
        return 0;
    // The parser recurses (parsing, copying, freeing): the input check must have refused
    // anything deeper than its limit.
    if (nesting(root, PlistInputCheck::MaxDepth + 1) > PlistInputCheck::MaxDepth)
        std::abort();
    walk(root, 8);
    // Both writers run over whatever was read (a copy, as a list put into another is). Their
    // output need not read again: a list with texts that are no UTF-8 (found by fuzzing) does
    // not, and the program writes only lists of its own making.
    for (int format : {CFType::XmlFormat, CFType::BinaryFormat})
        CFType::fromPlistData(CFType::deepCopy(root).toPlistData(format));
    return 0;
}
