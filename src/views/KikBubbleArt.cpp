#include "views/KikBubbleArt.h"

#include "app/AppFolders.h"

#include <QDir>

KikBubbleArt::KikBubbleArt(const QString &folder)
{
    // QMargins take left, top, right, bottom.
    m_received.frame = NineSlice::load(folder, QStringLiteral("bb1"), QMargins(14, 11, 12, 12));
    m_received.padding = QMargins(16, 7, 10, 8);
    m_sent.frame = NineSlice::load(folder, QStringLiteral("bb2"), QMargins(16, 12, 19, 17));
    m_sent.padding = QMargins(10, 7, 16, 8);
    m_emptyPhoto.load(QDir(folder).filePath(QStringLiteral("empty_photo.jpg")), "JPEG");
}

const KikBubbleArt &KikBubbleArt::instance()
{
    static const KikBubbleArt art(QDir(applicationFolder()).filePath(QStringLiteral("kikbb")));
    return art;
}
