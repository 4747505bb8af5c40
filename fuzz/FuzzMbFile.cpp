// The `file` blob of a Manifest.db row: an MBFile keyed archive read in place.
#include "FuzzInput.h"

#include "itunes/ManifestFilesDb.h"
#include "itunes/MbFileArchive.h"
#include "plist/BinaryPlistView.h"

#include <cstdlib>

namespace {

// Every object reachable from the root, each container's references followed a bounded
// number of steps deep, every value read the way callers read them.
void walk(const BinaryPlistView &view, quint64 index, int depth)
{
    const BinaryPlistView::Object object = view.object(index);
    qint64 number = 0;
    BinaryPlistView::number(object, &number);
    BinaryPlistView::uid(object);
    BinaryPlistView::bytes(object);
    BinaryPlistView::text(object);
    if (depth == 0)
        return;
    const quint64 references = BinaryPlistView::referenceCount(object);
    for (quint64 n = 0; n < references && n < 64; ++n)
        walk(view, view.reference(object, n), depth - 1);
    if (object.kind == BinaryPlistView::Dictionary)
        view.value(object, QLatin1StringView("$objects"));
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray blob = fuzzBytes(data, size);
    const BinaryPlistView view(blob);
    if (view.isValid())
        walk(view, view.rootIndex(), 4);

    MbdbRecord rec;
    if (!MbFileArchive::decode(blob, rec))
        return 0;
    manifestFilesFlags(rec);
    // A transfer writes the record back as an archive of its own, which must read again.
    MbdbRecord again;
    if (!MbFileArchive::decode(MbFileArchive::encode(rec), again))
        std::abort();
    return 0;
}
