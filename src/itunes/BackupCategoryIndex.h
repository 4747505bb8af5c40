#pragma once

#include "itunes/Export.h"

#include <QByteArray>
#include <QHash>
#include <QString>

class BackupFileNode;

// Well-known files of a backup (photos, voicemail, message attachments, recordings, system
// databases), found while the file tree is built.
class PARLEWICK_ITUNES_EXPORT BackupCategoryIndex
{
public:
    enum Category {
        Photo,            // CameraRollDomain, key: path
        PhotoMetadata,    // CameraRollDomain, key: file name
        PhotoThumbnail,   // CameraRollDomain, key: file name after "NNNAPPLE___"
        Voicemail,        // HomeDomain, key: the number of "Library/Voicemail/N.amr"
        SmsAttachment,    // HomeDomain, key: "/var/mobile/" + path, as the messages database names it
        Recording,        // MediaDomain, key: file name
        Database,         // key: path
        CategoryCount
    };

    void add(const QByteArray &domain, const QString &path, const BackupFileNode *node);
    const BackupFileNode *find(Category category, const QString &key) const;
    const QHash<QString, const BackupFileNode *> &entries(Category category) const;
    void clear();

private:
    void addCameraRoll(const QString &path, const BackupFileNode *node);
    void addHome(const QString &path, const BackupFileNode *node);

    QHash<QString, const BackupFileNode *> m_maps[CategoryCount];
};
