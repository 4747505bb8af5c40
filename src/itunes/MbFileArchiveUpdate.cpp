#include "itunes/MbFileArchiveUpdate.h"

#include "plist/CFType.h"

QByteArray MbFileArchive::withNewContent(const QByteArray &blob, quint64 size, quint32 lastModified, const QByteArray &digest)
{
    const CFType root = CFType::fromPlistData(blob);
    CFType objects = root.value(QStringLiteral("$objects"));
    const CFType top = root.value(QStringLiteral("$top")).value(QStringLiteral("root"));
    if (!objects.isArray() || !top.isUid() || top.toUid() >= quint64(objects.count()))
        return QByteArray();
    CFType file = objects.at(int(top.toUid()));
    if (!file.isDictionary())
        return QByteArray();
    file.setValue(QStringLiteral("Size"), CFType::fromInt64(qint64(size)));
    file.setValue(QStringLiteral("LastModified"), CFType::fromInt64(lastModified));
    const CFType digestRef = file.value(QStringLiteral("Digest"));
    // Index 0 is "$null": no digest to replace.
    if (digestRef.isUid() && digestRef.toUid() > 0 && digestRef.toUid() < quint64(objects.count()))
        objects.setAt(int(digestRef.toUid()), CFType(digest));
    return root.toPlistData(CFType::BinaryFormat);
}
