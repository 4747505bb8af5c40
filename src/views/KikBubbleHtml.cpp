#include "views/KikBubbleHtml.h"

#include "app/AppConstants.h"
#include "app/AppFolders.h"
#include "app/ClockStyle.h"
#include "app/FileUtils.h"
#include "kik/KikChat.h"
#include "kik/KikMedia.h"
#include "kik/KikMessageKind.h"
#include "kik/KikRules.h"
#include "kik/KikUser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <algorithm>

namespace {

constexpr int PictureSize = 128;
constexpr int SmallPictureSize = 64;

const QString BackgroundCells = QStringLiteral("<div class=\"bb_bg top_left\"></div><div class=\"bb_bg top_middle\"></div>"
                                               "<div class=\"bb_bg top_right\"></div><div class=\"bb_bg middle_left\"></div>"
                                               "<div class=\"bb_bg middle_middle\"></div><div class=\"bb_bg middle_right\"></div>"
                                               "<div class=\"bb_bg bottom_left\"></div><div class=\"bb_bg bottom_middle\"></div>"
                                               "<div class=\"bb_bg bottom_right\"></div>");

bool isNonEmptyFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}

// The codes of the emoji pictures beside the program, read once.
const QSet<QString> &emojiPictureCodes()
{
    static const QSet<QString> codes = [] {
        QSet<QString> found;
        const QStringList names =
            QDir(QDir(applicationFolder()).filePath(QStringLiteral("emoji"))).entryList({QStringLiteral("*.png")}, QDir::Files);
        for (const QString &name : names)
            found.insert(name.chopped(4));
        return found;
    }();
    return codes;
}

QString fileUrl(const QString &path)
{
    return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
}

QString attachmentText(const KikMessage *message, const char *key)
{
    return message->attachment.value(QLatin1String(key)).toString();
}

// A value of the card data ("url", "image", "pic"), quotes optional: its first capture.
QRegularExpression cardValuePattern(const char *key)
{
    return QRegularExpression(QStringLiteral("\"?%1\"?:\"?([^\",]+)\"?").arg(QLatin1String(key)),
                              QRegularExpression::CaseInsensitiveOption);
}
const QRegularExpression UrlValue = cardValuePattern("url");
const QRegularExpression ImageValue = cardValuePattern("image");
const QRegularExpression PicValue = cardValuePattern("pic");

QString cardValue(const KikMessage *message, const QRegularExpression &pattern)
{
    return pattern.match(attachmentText(message, "extra:jsonData")).captured(1);
}

// Suffix of the sender's file name, read as an address ("photo.JPG" -> "JPG").
QString senderFileSuffix(const KikMessage *message)
{
    const QString name = attachmentText(message, "string:file-name");
    return QFileInfo(QUrl(name, QUrl::TolerantMode).path()).suffix();
}

void putDigits(char *at, int value, int digits)
{
    for (int i = digits - 1; i >= 0; --i, value /= 10)
        at[i] = char('0' + value % 10);
}

// The local time as "dd MMM yyyy @ hh:mm AP" (without " AP" on a 24-hour clock), with the
// English names QDateTime::toString uses. Put together by hand for years of four digits: an
// export writes a date line for nearly every message, and the general formatter took a fifth
// of its time.
QString dateText(const QDateTime &local)
{
    const QDate date = local.date();
    const QTime time = local.time();
    if (!date.isValid() || !time.isValid() || date.year() < 1000 || date.year() > 9999)
        return local.toString(withClock(QStringLiteral("dd MMM yyyy @ hh:mm AP")));
    const bool twelveHour = clockStyle() != ClockStyle::TwentyFourHour;
    static constexpr char Months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[] = "dd MMM yyyy @ hh:mm AP";
    putDigits(text, date.day(), 2);
    std::copy_n(Months[date.month() - 1], 3, text + 3);
    putDigits(text + 7, date.year(), 4);
    putDigits(text + 14, !twelveHour ? time.hour() : time.hour() % 12 == 0 ? 12 : time.hour() % 12, 2);
    putDigits(text + 17, time.minute(), 2);
    if (!twelveHour)
        return QString::fromLatin1(text, 19);
    text[20] = time.hour() < 12 ? 'A' : 'P';
    text[21] = 'M';
    return QString::fromLatin1(text, sizeof text - 1);
}

}   // namespace

KikBubbleHtml KikBubbleHtml::forExport(const QString &filesFolder, const QString &alsoFreeIn)
{
    KikBubbleHtml html;
    html.m_export = true;
    html.m_filesFolder = filesFolder;
    if (!alsoFreeIn.isEmpty())
        html.m_alsoFreeIn.append(alsoFreeIn);
    return html;
}

int KikBubbleHtml::pageCount(qsizetype messageCount)
{
    return int((messageCount + PageSize - 1) / PageSize);
}

QString KikBubbleHtml::documentStart()
{
    return QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                          "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
                          "<html xmlns=\"http://www.w3.org/1999/xhtml\">");
}

QString KikBubbleHtml::contentTypeMeta()
{
    return QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />");
}

QString KikBubbleHtml::page(const KikMessageList &messages, int pageNumber) const
{
    const int pages = pageCount(messages.size());
    if (pageNumber < 1 || pageNumber > pages)
        return QString();
    QString html = documentStart() + QStringLiteral("<head>") + contentTypeMeta()
                   + QStringLiteral("<title>Bubble</title>"
                                    "<link href=\"kikbb/style.css\" type=\"text/css\" rel=\"stylesheet\"/></head>")
                   + (m_dark ? QStringLiteral("<body class=\"dark\">") : QStringLiteral("<body>"))
                   + QStringLiteral("<a name=\"start\"></a>");
    if (pageNumber != 1)
        html += QStringLiteral("<p><a href=\"/pre_page\">&lt;&lt;Previous Page</a></p>");
    std::optional<qint64> lastMinute;
    const qsizetype first = qsizetype(pageNumber - 1) * PageSize;
    const qsizetype last = std::min<qsizetype>(first + PageSize, messages.size());
    for (qsizetype i = first; i < last; ++i) {
        const KikMessage *message = messages.at(i);
        html += QStringLiteral("<a name=\"sms_%1\"></a>").arg(message->id);
        html += dateLine(message->ts, &lastMinute);
        appendBubble(html, message);
    }
    if (pageNumber != pages)
        html += QStringLiteral("<p><a href=\"/next_page\">&gt;&gt;Next Page</a></p>");
    html += QStringLiteral("<a name=\"end\"></a></body></html>");
    return html;
}

QString KikBubbleHtml::dateLine(const QDateTime &ts, std::optional<qint64> *lastMinute)
{
    // Floor division: times before 1970 must not share a minute with the next one.
    const qint64 msecs = ts.isValid() ? ts.toMSecsSinceEpoch() : 0;
    const qint64 minute = msecs / 60000 - (msecs % 60000 < 0 ? 1 : 0);
    if (*lastMinute == minute)
        return QString();
    *lastMinute = minute;
    return QLatin1String("<div class=\"dt\">") + dateText(ts.toLocalTime()) + QLatin1String("</div>");
}

QString KikBubbleHtml::bubble(const KikMessage *message) const
{
    QString html;
    appendBubble(html, message);
    return html;
}

void KikBubbleHtml::appendBubble(QString &html, const KikMessage *message) const
{
    const KikMessageKind kind = messageKindOf(message);
    // A sticker goes without a frame: it is a picture of its own.
    if (kind == KikMessageKind::Sticker) {
        html += message->was_me ? QLatin1String("<div class=\"bb2 sticker\">") : QLatin1String("<div class=\"bb1 sticker\">");
    } else {
        html += message->was_me ? QLatin1String("<div class=\"bb2\">") : QLatin1String("<div class=\"bb1\">");
        html += BackgroundCells;
    }
    html += senderLine(message);
    if (kind == KikMessageKind::Video)
        html += videoContent(message);
    else if (carriesMediaFile(kind))
        html += pictureContent(message);
    else if (kind == KikMessageKind::Card)
        html += cardContent(message);
    else if (isMissingAttachment(message))
        html += escapeHtml(missingPictureText());
    else
        html += textContent(message);
    html += QLatin1String("</div><div class=\"clear\"></div>");
}

QString KikBubbleHtml::senderLine(const KikMessage *message) const
{
    const QString sender = groupSenderName(message);
    if (sender.isEmpty())
        return QString();
    return QLatin1String("<div class=\"handle\">") + emojiPictures(escapeHtml(sender))
           + QLatin1String("</div><div class=\"clear\"></div>");
}

// A picture, GIF or sticker: the media itself where it is a picture, else the description's
// preview, marked as such, else the words for a missing picture.
QString KikBubbleHtml::pictureContent(const KikMessage *message) const
{
    const KikMediaFile media = messageMediaFile(message);
    const QString link = mediaLink(message, media);
    if (isPictureType(media.type))
        return QStringLiteral("<div>") + pictureLink(link, media.path, PictureSize, mediaCopyName(message, media))
               + QStringLiteral("</div>");
    const QString preview = messagePreviewPath(message);
    if (preview.isEmpty())
        return QStringLiteral("<div>") + pictureLink(link, QString(), PictureSize) + QStringLiteral("</div>");
    return QStringLiteral("<div>") + pictureLink(link, preview, PictureSize)
           + QStringLiteral("<div class=\"preview_note\">Preview</div></div>");
}

// A video: its preview with a play mark and, when the film says, its length; a click opens it.
QString KikBubbleHtml::videoContent(const KikMessage *message) const
{
    const KikMediaFile media = messageMediaFile(message);
    const QString source = pictureSource(messagePreviewPath(message));
    QString html = QLatin1String("<div><a class=\"video\" href=\"") + escapeAttribute(mediaLink(message, media))
                   + QLatin1Char('"') + (m_export ? QLatin1String(" target=\"_blank\"") : QLatin1String()) + QLatin1Char('>');
    if (!source.isEmpty())
        html += QStringLiteral("<img style=\"max-width:%1px;max-height:%1px;\" src=\"").arg(PictureSize) + escapeAttribute(source)
                + QLatin1String("\" >");
    else
        html += QLatin1String("<img width=\"96\" height=\"64\" src=\"data:image/gif;base64,"
                              "R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7\" >");
    html += QLatin1String("<div class=\"play\">&#9654;</div>");
    const qint64 seconds = videoSeconds(media.path);
    if (seconds >= 0)
        html += QLatin1String("<div class=\"length\">") + videoLengthText(seconds) + QLatin1String("</div>");
    return html + QLatin1String("</a></div>");
}

// Where a click on media leads: the file (a copy beside an exported page), named with the suffix
// of its type; the address Kik fetched it from when the file is gone.
QString KikBubbleHtml::mediaLink(const KikMessage *message, const KikMediaFile &media) const
{
    if (media.path.isEmpty())
        return liveLink(attachmentFileUrl(message));
    if (m_export) {
        const QString link = exportedCopy(media.path, exportedMediaName(message, media));
        return link.isEmpty() ? liveLink(attachmentFileUrl(message)) : link;
    }
    if (!QFileInfo(media.path).suffix().isEmpty())
        return fileUrl(media.path);
    // Kik's and the program's own files carry no suffix; the viewer that opens the copy needs one.
    QString suffix = mediaSuffix(media.type);
    if (suffix.isEmpty())
        suffix = senderFileSuffix(message);
    if (suffix.isEmpty())
        return fileUrl(media.path);
    return QStringLiteral("atta:///?ph=%1&sf=%2")
        .arg(QString::fromLatin1(media.path.toUtf8().toHex()), QString::fromLatin1(QUrl::toPercentEncoding(suffix)));
}

// The media's name in an export: with the suffix of its type, else the one the sender gave.
QString KikBubbleHtml::exportedMediaName(const KikMessage *message, const KikMediaFile &media) const
{
    QString name = mediaCopyName(message, media);
    if (media.type == KikMediaType::Unknown && QFileInfo(name).suffix().isEmpty()) {
        const QString suffix = senderFileSuffix(message);
        if (!suffix.isEmpty())
            name += QLatin1Char('.') + suffix;
    }
    return name;
}

// The link "files/<name>" to a copy of source in the export's files folder, made once per
// source and name on a page; empty when it cannot be copied.
QString KikBubbleHtml::exportedCopy(const QString &source, const QString &name) const
{
    const QString key = source + QLatin1Char('\n') + name;
    const auto known = m_copies.constFind(key);
    if (known != m_copies.constEnd())
        return *known;
    // The name (its suffix above all) is the sender's: it must not lead the copy out of the folder.
    const QString target = uniqueFilePath(QDir(m_filesFolder).filePath(sanitizeFileName(name)), m_alsoFreeIn);
    QString link;
    if (QFile::copy(source, target)) {
        // Encoded only where the name would end the path ("#", "?") or be misread ("%", blanks).
        link = QStringLiteral("files/")
               + QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(target).fileName(), "!$&'()*+,;=:@[]"));
    }
    m_copies.insert(key, link);
    return link;
}

QString KikBubbleHtml::cardContent(const KikMessage *message) const
{
    const auto picture = [this, message](const QString &link) {
        return QStringLiteral("<div>") + pictureLink(link, message->preview_path, PictureSize) + QStringLiteral("</div>");
    };
    switch (cardKindOf(message->sub_app_id)) {
    case KikCardKind::ImageSearch:
        return picture(liveLink(cardValue(message, UrlValue)));
    case KikCardKind::KikPoints:
        if (!isNonEmptyFile(message->preview_path))
            return QStringLiteral("[Kik Points]");
        return picture(QStringLiteral("#"));
    case KikCardKind::Memes:
        return picture(liveLink(QLatin1String(AppConstants::KikMemeBaseUrl) + cardValue(message, ImageValue)));
    case KikCardKind::Stickers:
        return picture(liveLink(attachmentText(message, "extra:sticker_url")));
    case KikCardKind::ViralVideos: {
        const QString link = liveLink(cardValue(message, PicValue));
        return QStringLiteral("<div style=\"text-align:left; min-width:200px;\"><div style=\"float:left;margin:5px;\">")
               + pictureLink(link, message->preview_path, SmallPictureSize) + QStringLiteral("</div><div>")
               + escapeHtml(attachmentText(message, "string:title")) + QStringLiteral("</div><div class=\"clear\"></div></div>");
    }
    case KikCardKind::Sketch:
        return picture(liveLink(cardValue(message, ImageValue)));
    case KikCardKind::OtherCard:
        break;
    }
    return otherCardContent(message);
}

// Any other card: its preview when it has one, its name, its text and the link it leads to.
QString KikBubbleHtml::otherCardContent(const KikMessage *message) const
{
    QString html;
    const QString preview = messagePreviewPath(message);
    if (!preview.isEmpty())
        html += QStringLiteral("<div>") + pictureLink(QStringLiteral("#"), preview, PictureSize) + QStringLiteral("</div>");
    html += QLatin1String("<div class=\"card_name\">") + emojiPictures(escapeHtml(cardName(message))) + QLatin1String("</div>");
    const QString text = cardText(message);
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        html += QLatin1String("<div class=\"card_text\">") + emojiPictures(escapeHtml(line)) + QLatin1String("</div>");
    const QString link = cardLink(message);
    if (!link.isEmpty()) {
        html += QLatin1String("<div class=\"card_link\"><a href=\"") + escapeAttribute(liveLink(link)) + QLatin1Char('"')
                + (m_export ? QLatin1String(" target=\"_blank\"") : QLatin1String()) + QLatin1Char('>')
                + escapeHtml(link.simplified()) + QLatin1String("</a></div>");
    }
    return html;
}

QString KikBubbleHtml::textContent(const KikMessage *message) const
{
    QString text;
    if (!message->render_ins.isEmpty()) {
        text = applyRenderInstructions(
            message->body, message->render_ins, [this](const QString &t, const QString *) { return renderInstruction(t); }, true);
    } else {
        text = escapeHtml(message->body);
    }
    return emojiPictures(text);
}

QString KikBubbleHtml::emojiPictures(const QString &text) const
{
    return replaceEmoji(text, [this](const QString &code) {
        // An emoji the font had no picture for (a sequence it does not know, a newer emoji)
        // is left to the page's fonts rather than shown as a broken picture.
        if (!emojiPictureCodes().contains(code))
            return emojiCodeText(code);
        const QString name = QStringLiteral("emoji/%1.png").arg(code);
        copyProgramPicture(name);
        return QStringLiteral("<img src=\"%1\" width=\"20\" height=\"20\" style=\"vertical-align:top;\" />").arg(name);
    });
}

// An exported page takes along only the emoji pictures it shows, each copied once beside it.
void KikBubbleHtml::copyProgramPicture(const QString &name) const
{
    if (!m_export || m_programPicturesCopied.contains(name))
        return;
    m_programPicturesCopied.insert(name);
    const QString target = QDir(QFileInfo(m_filesFolder).path()).filePath(name);
    if (!QFileInfo::exists(target))
        QFile::copy(QDir(applicationFolder()).filePath(name), target);
}

QString KikBubbleHtml::renderInstruction(const QString &text) const
{
    // Kik draws some smileys from pictures on its servers; nothing a message names is fetched,
    // so every one shows as the program's picture of the emoticon its text stands for.
    if (text.isEmpty())
        return QStringLiteral("[EMOJI]");
    const QString name = QStringLiteral("kikemoji/") + QString::fromLatin1(text.toUtf8().toHex()) + QStringLiteral(".png");
    copyProgramPicture(name);
    const QString source = m_export ? name : fileUrl(QDir(applicationFolder()).filePath(name));
    return QStringLiteral("<img src=\"%1\" width=\"20\" height=\"20\"/>").arg(escapeAttribute(source));
}

QString KikBubbleHtml::pictureLink(const QString &link, const QString &picturePath, int size, const QString &copyName) const
{
    const QString pixels = QString::number(size);
    const QString start = QLatin1String("<a href=\"") + escapeAttribute(link) + QLatin1Char('"')
                          + (m_export ? QLatin1String(" target=\"_blank\"") : QLatin1String()) + QLatin1Char('>');
    const QString source = pictureSource(picturePath, copyName);
    if (source.isEmpty())
        return start + escapeHtml(missingPictureText()) + QLatin1String("</a>");
    return start + QLatin1String("<img style=\"max-width:") + pixels + QLatin1String("px;max-height:") + pixels
           + QLatin1String("px;\" src=\"") + escapeAttribute(source) + QLatin1String("\" ></a>");
}

// Where the picture is found: the file (a copy beside an exported page, under copyName when
// given); empty when there is no picture. Nothing is loaded from the network.
QString KikBubbleHtml::pictureSource(const QString &path, const QString &copyName) const
{
    if (!isNonEmptyFile(path))
        return QString();
    return m_export ? exportedCopy(path, copyName.isEmpty() ? QFileInfo(path).fileName() : copyName) : fileUrl(path);
}

QString KikBubbleHtml::escapeAttribute(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '&':
            escaped += QLatin1String("&amp;");
            break;
        case '<':
            escaped += QLatin1String("&lt;");
            break;
        case '>':
            escaped += QLatin1String("&gt;");
            break;
        case '"':
            escaped += QLatin1String("&quot;");
            break;
        case '\'':
            escaped += QLatin1String("&#39;");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString KikBubbleHtml::liveLink(const QString &address)
{
    // Browsers drop surrounding blanks and controls and every tab and line break of an
    // address before they read its scheme; so must this test.
    static const QRegularExpression breaks(QStringLiteral("[\\t\\n\\r]"));
    QString seen = address;
    seen.remove(breaks);
    static const QRegularExpression allowed(QStringLiteral("^[\\x00-\\x20]*(https?|file):"),
                                            QRegularExpression::CaseInsensitiveOption);
    return allowed.match(seen).hasMatch() ? address : QStringLiteral("#");
}
