#include "itunes/MbFileArchive.h"

#include "device/CFType.h"

#include <QString>

namespace {

const QString kObjects = QStringLiteral("$objects");
const QString kClass = QStringLiteral("$class");
const QString kNsData = QStringLiteral("NS.data");

class Archive
{
public:
    explicit Archive(const CFType &root) : m_objects(root.value(kObjects)) {}

    bool isValid() const { return m_objects.isArray(); }

    // The object a UID points at; null for anything else or a UID out of range.
    CFType resolve(const CFType &value) const
    {
        if (!value.isUid() || value.toUid() >= quint64(m_objects.count()))
            return CFType();
        return m_objects.at(int(value.toUid()));
    }

    QByteArray text(const CFType &value) const
    {
        const CFType object = resolve(value);
        // Index 0 is "$null", which stands for a missing object.
        return object.isString() && value.toUid() != 0 ? object.toQString().toUtf8() : QByteArray();
    }

    // Digest is stored as raw data; keys are NSData objects holding theirs in NS.data.
    QByteArray data(const CFType &value) const
    {
        const CFType object = resolve(value);
        if (object.isData())
            return object.toByteArray();
        if (object.isDictionary() && object.value(kNsData).isData())
            return object.value(kNsData).toByteArray();
        return QByteArray();
    }

private:
    CFType m_objects;
};

template<typename T>
void setNumber(const CFType &file, const char *key, T &field)
{
    const CFType value = file.value(QLatin1String(key));
    if (value.isNumber())
        field = T(value.toInt64());
}

CFType classObject(const char *name, const QStringList &chain)
{
    CFType classes = CFType::newArray();
    for (const QString &c : chain)
        classes.append(CFType(c));
    CFType object = CFType::newDictionary();
    object.setValue(QStringLiteral("$classname"), CFType(name));
    object.setValue(QStringLiteral("$classes"), classes);
    return object;
}

} // namespace

bool MbFileArchive::decode(const QByteArray &blob, _MbdbRecord &rec)
{
    const CFType root = CFType::fromPlistData(blob);
    const Archive archive(root);
    if (!archive.isValid())
        return false;
    const CFType file = archive.resolve(root.value(QStringLiteral("$top")).value(QStringLiteral("root")));
    if (!file.isDictionary())
        return false;

    setNumber(file, "Size", rec.size);
    setNumber(file, "ProtectionClass", rec.protectionClass);
    setNumber(file, "Mode", rec.mode);
    setNumber(file, "UserID", rec.userId);
    setNumber(file, "GroupID", rec.groupId);
    setNumber(file, "LastModified", rec.modificationTime);
    setNumber(file, "LastStatusChange", rec.changeTime);
    setNumber(file, "Birth", rec.birthTime);
    quint64 inode = quint64(rec.inodeHigh) << 32 | rec.inodeLow;
    setNumber(file, "InodeNumber", inode);
    rec.inodeHigh = quint32(inode >> 32);
    rec.inodeLow = quint32(inode);
    // A phone keeps no access time; the modification time is the nearest thing.
    rec.accessTime = rec.modificationTime;

    const QByteArray key = archive.data(file.value(QStringLiteral("EncryptionKey")));
    if (!key.isEmpty())
        rec.encryptionKey = key;
    const QByteArray digest = archive.data(file.value(QStringLiteral("Digest")));
    if (!digest.isEmpty())
        rec.dataHash = digest;
    const QByteArray target = archive.text(file.value(QStringLiteral("Target")));
    if (!target.isEmpty())
        rec.linkTarget = target;
    return true;
}

QByteArray MbFileArchive::encode(const _MbdbRecord &rec)
{
    // $objects: "$null", the file, then what it refers to in the order a phone writes them.
    QList<CFType> referred;
    auto refer = [&referred](const CFType &object) {
        referred.append(object);
        return CFType::fromUid(quint64(referred.size() + 1));
    };
    const CFType relativePath = refer(CFType(rec.path.toString()));
    const CFType digest = rec.dataHash.isEmpty() ? CFType() : refer(CFType(rec.dataHash.bytes));
    CFType key;
    if (!rec.encryptionKey.isEmpty()) {
        CFType data = CFType::newDictionary();
        data.setValue(kClass, CFType::fromUid(quint64(referred.size() + 3)));  // the class right after it
        data.setValue(kNsData, CFType(rec.encryptionKey.bytes));
        key = refer(data);
        refer(classObject("NSMutableData", {QStringLiteral("NSMutableData"), QStringLiteral("NSData"),
                                            QStringLiteral("NSObject")}));
    }
    const CFType target = rec.linkTarget.isEmpty() ? CFType() : refer(CFType(rec.linkTarget.toString()));
    const CFType fileClass = refer(classObject("MBFile", {QStringLiteral("MBFile"), QStringLiteral("NSObject")}));

    CFType file = CFType::newDictionary();
    file.setValue(kClass, fileClass);
    file.setValue(QStringLiteral("Birth"), CFType::fromInt64(rec.birthTime));
    if (!digest.isNull())
        file.setValue(QStringLiteral("Digest"), digest);
    if (!key.isNull())
        file.setValue(QStringLiteral("EncryptionKey"), key);
    file.setValue(QStringLiteral("Flags"), CFType::fromInt64(0));
    file.setValue(QStringLiteral("GroupID"), CFType::fromInt64(rec.groupId));
    file.setValue(QStringLiteral("InodeNumber"),
                  CFType::fromInt64(qint64(quint64(rec.inodeHigh) << 32 | rec.inodeLow)));
    file.setValue(QStringLiteral("LastModified"), CFType::fromInt64(rec.modificationTime));
    file.setValue(QStringLiteral("LastStatusChange"), CFType::fromInt64(rec.changeTime));
    file.setValue(QStringLiteral("Mode"), CFType::fromInt64(rec.mode));
    file.setValue(QStringLiteral("ProtectionClass"), CFType::fromInt64(rec.protectionClass));
    file.setValue(QStringLiteral("RelativePath"), relativePath);
    file.setValue(QStringLiteral("Size"), CFType::fromInt64(qint64(rec.size)));
    if (!target.isNull())
        file.setValue(QStringLiteral("Target"), target);
    file.setValue(QStringLiteral("UserID"), CFType::fromInt64(rec.userId));

    CFType objects = CFType::newArray();
    objects.append(CFType("$null"));
    objects.append(file);
    for (const CFType &object : std::as_const(referred))
        objects.append(object);
    CFType top = CFType::newDictionary();
    top.setValue(QStringLiteral("root"), CFType::fromUid(1));
    CFType root = CFType::newDictionary();
    root.setValue(QStringLiteral("$version"), CFType::fromInt64(100000));
    root.setValue(QStringLiteral("$archiver"), CFType("NSKeyedArchiver"));
    root.setValue(QStringLiteral("$top"), top);
    root.setValue(kObjects, objects);
    return root.toPlistData(CFType::BinaryFormat);
}
