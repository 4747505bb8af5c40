#pragma once

#include "kik/Export.h"
#include "kik/KikStringPool.h"

#include <QSet>
#include <QString>
#include <QVariantHash>

class KikMessage;
class CFType;

// Reads the side files of a message's attachment in a mirror of Kik's app container: the
// description "Documents/attachments/<content id>" (a property list), the file URL kept in
// "Documents/content_manager/metadata_cache/<content id>", and the content file's path.
// Pictures carried inside a description are written to the thumbs folder under the GUID form
// of their MD5. Missing or malformed files leave the attachment map empty or partial.
class PARLEWICK_KIK_EXPORT IOSAttachmentReader
{
public:
    IOSAttachmentReader(const QString &rootFolder, const QString &thumbsFolder);

    // Fills attachment, app_id, sub_app_id and the picture and content paths of a message
    // whose content_id is set. A content id that is not a plain file name reads nothing.
    void read(KikMessage *message);

private:
    void readDescription(KikMessage *message, const QString &path);
    void addNamedEntries(QVariantHash &map, const CFType &array, const QString &prefix, const QString &nameKey,
                         const QString &valueKey);
    QString pictureName(const CFType &value);
    QString writePicture(const QByteArray &bytes);
    QString thumbPath(const QVariantHash &map, const QString &key);

    QString m_root;
    QString m_thumbs;
    KikStringPool m_pool;
    QSet<QString> m_picturesPresent;
};
