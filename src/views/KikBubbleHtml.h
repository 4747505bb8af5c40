#pragma once

#include "kik/KikMedia.h"
#include "kik/KikMessage.h"
#include "views/Export.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The chat-bubble markup, shared by the bubble view (whole pages) and the HTML export (one
// bubble after the other). An exported page differs from the view only where files lie and in
// how its links open: see forExport.
//
// Everything taken from a message that ends up in an attribute is attribute-escaped, and a
// link taken from a message stays live only for http, https and file addresses.
class PARLEWICK_VIEWS_EXPORT KikBubbleHtml
{
public:
    static constexpr int PageSize = 50;

    // Bubbles for the view: pages are shown with the program's folder as base URL, pictures
    // and emoticons by file URL, content files linked where they lie.
    KikBubbleHtml() = default;
    // Bubbles for an exported page: content files and pictures copied into filesFolder and
    // linked as "files/<name>" (names free in alsoFreeIn too: the folder the page moves into),
    // picture links open a new window, emoticons relative to the page and copied beside it
    // ("emoji", "kikemoji" next to filesFolder, which must exist) only when a page shows them.
    // Nothing on the page points outside its folder.
    static KikBubbleHtml forExport(const QString &filesFolder, const QString &alsoFreeIn = QString());

    // Pages in the dark theme's colours (the style sheet's "dark" page); exports stay light.
    void setDark(bool dark) { m_dark = dark; }

    static int pageCount(qsizetype messageCount);
    // Page pageNumber (from 1) of messages; empty when there is no such page.
    QString page(const KikMessageList &messages, int pageNumber) const;
    QString bubble(const KikMessage *message) const;
    // The same markup added to html: a writer of many bubbles keeps one growing buffer.
    void appendBubble(QString &html, const KikMessage *message) const;

    static QString documentStart();   // document type and the html start tag
    static QString contentTypeMeta();
    // The date line of ts when it falls in another minute than *lastMinute, which it becomes.
    static QString dateLine(const QDateTime &ts, std::optional<qint64> *lastMinute);

    QString emojiPictures(const QString &text) const;
    QString renderInstruction(const QString &text) const;
    // copyName: the name of the picture's copy beside an exported page (default: the file's own).
    QString pictureLink(const QString &link, const QString &picturePath, int size, const QString &copyName = QString()) const;

    static QString escapeAttribute(const QString &value);
    // The address itself when it is http, https or file; "#" for anything else.
    static QString liveLink(const QString &address);

private:
    QString pictureContent(const KikMessage *message) const;
    QString videoContent(const KikMessage *message) const;
    QString mediaLink(const KikMessage *message, const KikMediaFile &media) const;
    QString exportedMediaName(const KikMessage *message, const KikMediaFile &media) const;
    QString cardContent(const KikMessage *message) const;
    QString otherCardContent(const KikMessage *message) const;
    QString textContent(const KikMessage *message) const;
    QString senderLine(const KikMessage *message) const;
    QString pictureSource(const QString &path, const QString &copyName = QString()) const;
    QString exportedCopy(const QString &source, const QString &name) const;
    void copyProgramPicture(const QString &name) const;

    bool m_export = false;
    bool m_dark = false;
    QString m_filesFolder;
    QStringList m_alsoFreeIn;
    mutable QHash<QString, QString> m_copies;        // source file and name -> its link on the exported page
    mutable QSet<QString> m_programPicturesCopied;   // "emoji/<code>.png" ... beside the exported page
};
