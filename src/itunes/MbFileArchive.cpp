#include "itunes/MbFileArchive.h"

#include "plist/BinaryPlistView.h"
#include "plist/CFType.h"

#include <QString>

#include <array>

namespace {

const QString kObjects = QStringLiteral("$objects");
const QString kClass = QStringLiteral("$class");
const QString kNsData = QStringLiteral("NS.data");

// Read in place rather than through a parsed tree: a backup lists hundreds of thousands of
// archives, and only a dozen values of each are wanted. The walk goes a fixed few levels deep,
// however the archive nests.
class Archive
{
public:
    using Object = BinaryPlistView::Object;

    explicit Archive(const QByteArray &blob)
        : m_plist(blob)
        , m_root(m_plist.object(m_plist.rootIndex()))
        , m_objects(m_plist.value(m_root, QLatin1StringView("$objects")))
    {
    }

    bool isValid() const { return m_plist.isValid() && m_objects.kind == BinaryPlistView::Array; }

    // The archived object: $top's root.
    Object file() const
    {
        return resolve(m_plist.value(m_plist.value(m_root, QLatin1StringView("$top")), QLatin1StringView("root")));
    }

    // The values of the keys in one pass over the dictionary.
    template <size_t N>
    std::array<Object, N> values(const Object &dictionary, const std::array<QLatin1StringView, N> &keys) const
    {
        std::array<Object, N> out;
        m_plist.values(dictionary, keys.data(), int(N), out.data());
        return out;
    }

    // The object a UID points at; Broken for anything else or a UID out of range.
    Object resolve(const Object &value) const
    {
        if (value.kind != BinaryPlistView::Uid || BinaryPlistView::uid(value) >= m_objects.count)
            return {};
        return m_plist.object(m_plist.reference(m_objects, BinaryPlistView::uid(value)));
    }

    QByteArray text(const Object &value) const
    {
        const Object object = resolve(value);
        const bool isString = object.kind == BinaryPlistView::AsciiString || object.kind == BinaryPlistView::Utf16String;
        // Index 0 is "$null", which stands for a missing object.
        return isString && BinaryPlistView::uid(value) != 0 ? BinaryPlistView::text(object).toUtf8() : QByteArray();
    }

    // Digest is stored as raw data; keys are NSData objects holding theirs in NS.data.
    QByteArray data(const Object &value) const
    {
        Object object = resolve(value);
        if (object.kind == BinaryPlistView::Dictionary)
            object = m_plist.value(object, QLatin1StringView("NS.data"));
        return object.kind == BinaryPlistView::Data ? BinaryPlistView::bytes(object).toByteArray() : QByteArray();
    }

private:
    BinaryPlistView m_plist;
    Object m_root;
    Object m_objects;
};

template <typename T>
void setNumber(const Archive::Object &value, T &field)
{
    qint64 number = 0;
    if (BinaryPlistView::number(value, &number))
        field = T(number);
}

enum FileKey {
    Size,
    ProtectionClass,
    Mode,
    UserID,
    GroupID,
    LastModified,
    LastStatusChange,
    Birth,
    InodeNumber,
    EncryptionKey,
    Digest,
    Target,
    FileKeyCount
};
constexpr std::array<QLatin1StringView, FileKeyCount> kFileKeys = {QLatin1StringView("Size"),
                                                                   QLatin1StringView("ProtectionClass"),
                                                                   QLatin1StringView("Mode"),
                                                                   QLatin1StringView("UserID"),
                                                                   QLatin1StringView("GroupID"),
                                                                   QLatin1StringView("LastModified"),
                                                                   QLatin1StringView("LastStatusChange"),
                                                                   QLatin1StringView("Birth"),
                                                                   QLatin1StringView("InodeNumber"),
                                                                   QLatin1StringView("EncryptionKey"),
                                                                   QLatin1StringView("Digest"),
                                                                   QLatin1StringView("Target")};

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

}   // namespace

bool MbFileArchive::decode(const QByteArray &blob, MbdbRecord &rec)
{
    const Archive archive(blob);
    if (!archive.isValid())
        return false;
    const Archive::Object file = archive.file();
    if (file.kind != BinaryPlistView::Dictionary)
        return false;

    const auto value = archive.values(file, kFileKeys);
    setNumber(value[Size], rec.size);
    setNumber(value[ProtectionClass], rec.protectionClass);
    setNumber(value[Mode], rec.mode);
    setNumber(value[UserID], rec.userId);
    setNumber(value[GroupID], rec.groupId);
    setNumber(value[LastModified], rec.modificationTime);
    setNumber(value[LastStatusChange], rec.changeTime);
    setNumber(value[Birth], rec.birthTime);
    quint64 inode = quint64(rec.inodeHigh) << 32 | rec.inodeLow;
    setNumber(value[InodeNumber], inode);
    rec.inodeHigh = quint32(inode >> 32);
    rec.inodeLow = quint32(inode);
    // A phone keeps no access time; the modification time is the nearest thing.
    rec.accessTime = rec.modificationTime;

    const QByteArray key = archive.data(value[EncryptionKey]);
    if (!key.isEmpty())
        rec.encryptionKey = key;
    const QByteArray digest = archive.data(value[Digest]);
    if (!digest.isEmpty())
        rec.dataHash = digest;
    const QByteArray target = archive.text(value[Target]);
    if (!target.isEmpty())
        rec.linkTarget = target;
    return true;
}

QByteArray MbFileArchive::encode(const MbdbRecord &rec)
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
        data.setValue(kClass, CFType::fromUid(quint64(referred.size() + 3)));   // the class right after it
        data.setValue(kNsData, CFType(rec.encryptionKey.bytes));
        key = refer(data);
        refer(classObject("NSMutableData",
                          {QStringLiteral("NSMutableData"), QStringLiteral("NSData"), QStringLiteral("NSObject")}));
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
    file.setValue(QStringLiteral("InodeNumber"), CFType::fromInt64(qint64(quint64(rec.inodeHigh) << 32 | rec.inodeLow)));
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
