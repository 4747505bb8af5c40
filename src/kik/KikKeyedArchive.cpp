#include "kik/KikKeyedArchive.h"

#include <QFile>

namespace {

// Archives of the metadata cache are a few hundred bytes; anything far larger is not one.
constexpr qint64 MaxArchiveSize = 1 << 20;

const char *const TemplateResource = ":res/ios_meta_cache_demo.plist";

// Positions of the replaced objects in the template's "$objects".
constexpr int ContentIdObject = 8;
constexpr int AppIdObject = 10;
constexpr int FileUrlObject = 12;

QByteArray readTemplate()
{
    QFile file(QString::fromLatin1(TemplateResource));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}

QMap<QString, QString> readKeyedArchive(const QString &path)
{
    QMap<QString, QString> result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxArchiveSize)
        return result;
    const CFType archive = CFType::fromPlistData(file.readAll());
    const CFType objects = archive.value(QStringLiteral("$objects"));
    const int count = objects.count();
    const int n = objects.at(1).value(QStringLiteral("NS.keys")).count();
    for (int i = 2; i <= n + 1 && i + n < count; ++i)
        result.insert(objects.at(i).toQString(), objects.at(i + n).toQString());
    return result;
}

CFType metadataArchive(const QString &contentId, const QString &appId, const QString &fileUrl)
{
    // Parsed afresh each time: property-list values must not be shared between threads.
    static const QByteArray pristine = readTemplate();
    CFType archive = CFType::fromPlistData(pristine);
    if (!archive.isDictionary())
        return {};
    const CFType objects = archive.value(QStringLiteral("$objects"));
    CFType replaced = CFType::newArray();
    for (int i = 0; i < objects.count(); ++i) {
        if (i == ContentIdObject)
            replaced.append(CFType(contentId));
        else if (i == AppIdObject)
            replaced.append(CFType(appId));
        else if (i == FileUrlObject)
            replaced.append(CFType(fileUrl));
        else
            replaced.append(objects.at(i));   // goes in as a copy
    }
    archive.setValue(QStringLiteral("$objects"), replaced);
    return archive;
}
