#pragma once

#include "kikstore/KikFakeText.h"

#include <QByteArray>
#include <QList>
#include <QString>

class CFType;

// Writes the side files Kik keeps for one attachment in its app container: the description
// "Documents/attachments/<id>" (binary or XML property list: app id, pictures as data, strings,
// extras, link lists), the archived metadata with the file URL for pictures and videos, and
// the content file in "Documents/content_manager/data_cache".
class KikFakeAttachment
{
public:
    enum Kind { Gallery, Camera, Video, Stickers, Card };

    struct Written
    {
        QString appId;
        QString appName;            // "string:app-name" of the description
        bool description = false;   // false for the few Kik lost (rows without a description)
        bool content = false;
        bool preview = false;   // the description carries a preview picture
    };

    KikFakeAttachment(KikFakeText &text, const QString &rootFolder);

    // Kik of 2015: pictures, videos and cards, the content a JPEG-like blob.
    Kind pickKind();
    Written write(const QString &contentId, Kind kind);
    // Kik of today: every app id and media type in turn (GIFs, stickers, films, WebP pictures),
    // media missing with and without a preview, a description missing.
    Written writeToday(const QString &contentId);

private:
    struct TodayCase;
    QByteArray picture();
    CFType description(const QString &contentId, Kind kind, Written &written, QString *fileUrl);
    CFType todayDescription(const QString &contentId, const TodayCase &shape, QString *fileUrl);
    void writeMedia(const QString &contentId, const QString &appId, const QString &fileUrl, const QByteArray &data);
    void writeFile(const QString &relativePath, const QByteArray &data);

    KikFakeText &m_text;
    QString m_root;
    QList<QByteArray> m_pictures;   // a small set of real PNG pictures, shared as stickers are
    int m_todayCount = 0;
};
