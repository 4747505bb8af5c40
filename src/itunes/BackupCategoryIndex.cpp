#include "itunes/BackupCategoryIndex.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

bool isMediaExtension(const QString &extension)
{
    static const QStringList known = {QStringLiteral(".jpg"), QStringLiteral(".png"), QStringLiteral(".thm"),
                                      QStringLiteral(".mov")};
    return known.contains(extension, Qt::CaseInsensitive);
}

bool isHomeDatabase(const QString &path)
{
    static const QStringList known = {QStringLiteral("Library/SMS/sms.db"),
                                      QStringLiteral("Library/AddressBook/AddressBook.sqlitedb"),
                                      QStringLiteral("Library/AddressBook/AddressBookImages.sqlitedb"),
                                      QStringLiteral("Library/Notes/notes.sqlite"),
                                      QStringLiteral("Library/Calendar/Calendar.sqlitedb"),
                                      QStringLiteral("Library/Calendar/Extras.db"),
                                      QStringLiteral("Library/Voicemail/voicemail.db"),
                                      QStringLiteral("Library/Safari/Bookmarks.db"),
                                      QStringLiteral("Library/CallHistoryDB/CallHistory.storedata")};
    return known.contains(path);
}

}   // namespace

void BackupCategoryIndex::add(const QByteArray &domain, const QString &path, const BackupFileNode *node)
{
    if (domain == "CameraRollDomain") {
        addCameraRoll(path, node);
    } else if (domain == "HomeDomain") {
        addHome(path, node);
    } else if (domain == "MediaDomain") {
        static const QRegularExpression recording(QStringLiteral("^Media/Recordings/([^/.]+\\.m4a)$"));
        if (path == QLatin1String("Media/Recordings/Recordings.db")) {
            m_maps[Database].insert(path, node);
        } else if (path.startsWith(QLatin1String("Media/Recordings/"))) {
            const auto match = recording.match(path);
            if (match.hasMatch())
                m_maps[Recording].insert(match.captured(1), node);
        }
    } else if (domain == "WirelessDomain") {
        if (path == QLatin1String("Library/CallHistory/call_history.db"))
            m_maps[Database].insert(path, node);
    }
}

void BackupCategoryIndex::addCameraRoll(const QString &path, const BackupFileNode *node)
{
    static const QRegularExpression photo(QStringLiteral("^Media/DCIM/\\d+APPLE/[^/\\.]+(\\.[^/\\.]+)"));
    static const QRegularExpression metadata(QStringLiteral("^Media/PhotoData/MetaData/DCIM/\\d+APPLE/([^/\\.]+)(\\.[^/\\.]+)"));
    static const QRegularExpression thumbnail(QStringLiteral("^Media/DCIM/\\.THMB/[^/]+/\\d+APPLE___([^/\\.]+)(\\.[^/\\.]+)"));
    if (!path.startsWith(QLatin1String("Media/")))
        return;
    if (auto match = photo.match(path); match.hasMatch()) {
        if (isMediaExtension(match.captured(1)))
            m_maps[Photo].insert(path, node);
    } else if (match = metadata.match(path); match.hasMatch()) {
        if (isMediaExtension(match.captured(2)))
            m_maps[PhotoMetadata].insert(match.captured(1) + match.captured(2), node);
    } else if (match = thumbnail.match(path); match.hasMatch()) {
        if (isMediaExtension(match.captured(2)))
            m_maps[PhotoThumbnail].insert(match.captured(1) + match.captured(2), node);
    }
}

void BackupCategoryIndex::addHome(const QString &path, const BackupFileNode *node)
{
    static const QRegularExpression voicemail(QStringLiteral("^Library/Voicemail/(\\d+)\\.amr$"));
    static const QRegularExpression parts(QStringLiteral("^Library/SMS/Parts/[^/]+/[^/]+/([^/]+)$"));
    static const QRegularExpression attachments(QStringLiteral("^Library/SMS/Attachments/([^/]+)/([^/]+)$"));
    if (isHomeDatabase(path)) {
        m_maps[Database].insert(path, node);
    } else if (path.startsWith(QLatin1String("Library/Voicemail/"))) {
        if (const auto match = voicemail.match(path); match.hasMatch())
            m_maps[Voicemail].insert(match.captured(1), node);
    } else if (path.startsWith(QLatin1String("Library/SMS/"))) {
        // Attachments and their "-preview" / "-preview-left" pictures, named as sms.db names them.
        if (parts.match(path).hasMatch() || attachments.match(path).hasMatch())
            m_maps[SmsAttachment].insert(QStringLiteral("/var/mobile/") + path, node);
    }
}

const BackupFileNode *BackupCategoryIndex::find(Category category, const QString &key) const
{
    return m_maps[category].value(key, nullptr);
}

const QHash<QString, const BackupFileNode *> &BackupCategoryIndex::entries(Category category) const
{
    return m_maps[category];
}

void BackupCategoryIndex::clear()
{
    for (auto &map : m_maps)
        map.clear();
}
