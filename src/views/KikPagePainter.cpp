#include "views/KikPagePainter.h"

#include "app/ClockStyle.h"
#include "kik/KikChat.h"
#include "kik/KikMedia.h"
#include "kik/KikMessageKind.h"
#include "kik/KikRules.h"
#include "kik/KikUser.h"
#include "views/KikBubbleArt.h"
#include "views/WrappedText.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace {

const QColor PageBackground(238, 238, 238);
const QColor PageNumberColour(146, 146, 165);
const QColor DateColour(143, 150, 157);
const QColor SenderColour(242, 116, 5);

constexpr int DateLineGap = 11;
constexpr int BubbleGap = 10;
constexpr int SenderGap = 6;
constexpr int PageNumberBand = 18;

QFont applicationFont(int points)
{
    QFont font = QGuiApplication::font();
    font.setPointSize(points);
    return font;
}

// What a printed message shows: a picture, a text, or both (a card with a title).
struct Shown
{
    QStringList picturePaths;   // the first that can be read is drawn
    QString text;
    bool framed = true;   // stickers stand without a bubble
    PictureMark mark = PictureMark::None;
};

bool readable(const QString &path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.canRead();
}

Shown shownOf(const KikMessage *message, EmojiStyle emoji)
{
    switch (messageKindOf(message)) {
    case KikMessageKind::Picture:
    case KikMessageKind::Gif:
    case KikMessageKind::Sticker: {
        const KikMediaFile media = messageMediaFile(message);
        const bool framed = messageKindOf(message) != KikMessageKind::Sticker;
        if (isPictureType(media.type) && readable(media.path))
            return {{media.path}, QString(), framed};
        // The media is gone (or a type Qt cannot draw): the preview stands in, marked as such.
        const QString preview = messagePreviewPath(message);
        return {{preview}, QString(), framed, preview.isEmpty() ? PictureMark::None : PictureMark::Preview};
    }
    case KikMessageKind::Video:
        return {{messagePreviewPath(message)}, QString(), true, PictureMark::Play};
    case KikMessageKind::Card:
        switch (cardKindOf(message->sub_app_id)) {
        case KikCardKind::ImageSearch:
        case KikCardKind::KikPoints:
        case KikCardKind::Memes:
        case KikCardKind::Stickers:
            return {{message->preview_path}, QString()};
        case KikCardKind::ViralVideos:
        case KikCardKind::Sketch:
            return {{message->preview_path}, message->attachment.value(QStringLiteral("string:title")).toString()};
        case KikCardKind::OtherCard: {
            const QString preview = messagePreviewPath(message);
            const QStringList lines{cardName(message), cardText(message), cardLink(message)};
            return {preview.isEmpty() ? QStringList() : QStringList{preview},
                    lines.filter(QRegularExpression(QStringLiteral("\\S"))).join(QLatin1Char('\n'))};
        }
        }
        break;
    case KikMessageKind::Text:
        break;
    }
    return {{}, messageDisplayText(message, emoji)};
}

// The first frame of the first picture that can be read; files are told apart by their bytes.
QImage firstReadable(const QStringList &paths)
{
    for (const QString &path : paths) {
        if (path.isEmpty())
            continue;
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        const QImage picture = reader.read();
        if (!picture.isNull())
            return picture;
    }
    return QImage();
}

// "Preview" on a dark band along the bottom of a picture shown from its preview.
void drawPreviewMark(QPainter &painter, const QRect &picture)
{
    QFont font = painter.font();
    font.setPointSize(7);
    const QFontMetrics metrics(font, painter.device());
    const int height = metrics.height();
    // A picture too small to carry the word keeps it off rather than hidden under it.
    if (picture.height() < 3 * height || picture.width() < metrics.horizontalAdvance(QStringLiteral("Preview")) + 4)
        return;
    const QRect band(picture.left(), picture.bottom() + 1 - height, picture.width(), height);
    painter.save();
    painter.fillRect(band, QColor(0, 0, 0, 140));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(band, Qt::AlignCenter, QStringLiteral("Preview"));
    painter.restore();
}

// A round play mark in the middle of a video's picture.
void drawPlayMark(QPainter &painter, const QRect &picture)
{
    const int side = std::max(12, std::min(picture.width(), picture.height()) / 3);
    const QRectF circle(picture.center().x() - side / 2.0, picture.center().y() - side / 2.0, side, side);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 140));
    painter.drawEllipse(circle);
    painter.setBrush(Qt::white);
    const QPointF c = circle.center();
    const qreal r = side / 4.0;
    painter.drawPolygon(QPolygonF{{c.x() - r * 0.6, c.y() - r}, {c.x() - r * 0.6, c.y() + r}, {c.x() + r, c.y()}});
    painter.restore();
}

qint64 minuteOf(const QDateTime &ts)
{
    if (!ts.isValid())
        return std::numeric_limits<qint64>::min();
    const qint64 msecs = ts.toMSecsSinceEpoch();
    return msecs >= 0 ? msecs / 60000 : -((-msecs + 59999) / 60000);
}

}   // namespace

KikPagePainter::KikPagePainter()
    : KikPagePainter(KikBubbleArt::instance())
{
}

KikPagePainter::KikPagePainter(const KikBubbleArt &art)
    : m_art(art)
    , m_textFont(applicationFont(12))
    , m_dateFont(applicationFont(13))
{
}

bool KikPagePainter::start(QPagedPaintDevice *printer)
{
    m_printer = printer;
    const QPageLayout layout = printer->pageLayout();
    const QMarginsF margins = layout.margins(QPageLayout::Point);
    const QRect page = layout.paintRectPixels(printer->logicalDpiX());
    const int left = int(margins.left());
    const int top = int(margins.top());
    m_content = QRect(left, top, int(page.width() - margins.left() - margins.right()),
                      int(page.height() - margins.top() - margins.bottom()));
    m_y = m_content.top();
    m_page = 1;
    m_lastMinute.reset();
    if (!m_painter.begin(printer))
        return false;
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform);
    m_painter.setFont(m_textFont);
    m_painter.setPen(PageNumberColour);
    startPage();
    return true;
}

void KikPagePainter::end()
{
    if (m_painter.isActive())
        m_painter.end();
}

void KikPagePainter::draw(const KikMessage *message)
{
    if (!m_painter.isActive())
        return;
    drawDateLine(message->ts);
    const QString sender = groupSenderName(message);
    const Shown shown = shownOf(message, m_emojiStyle);
    if (!shown.picturePaths.isEmpty())
        drawPicture(message, shown.picturePaths, sender, shown.framed, shown.mark);
    if (!shown.text.trimmed().isEmpty())
        drawText(message, shown.text, sender);
}

// Date lines never ask for space: they stay with the page of the message before them.
void KikPagePainter::drawDateLine(const QDateTime &ts)
{
    const qint64 minute = minuteOf(ts);
    if (m_lastMinute == minute)
        return;
    const QString text = ts.toString(withClock(QStringLiteral("dd MMM yyyy @ hh:mm AP")));
    m_painter.setFont(m_dateFont);
    m_painter.setPen(DateColour);
    const int width = m_content.right() - 10 - 10 + 1;
    const int height = m_painter.boundingRect(QRect(10, m_y, width, 0), Qt::AlignHCenter | Qt::TextWordWrap, text).height();
    const QRect band(10, m_y, width, height);
    m_painter.drawText(band, Qt::AlignCenter | Qt::TextWordWrap, text);
    notify({Placement::DateLine, m_page, band, band, text, DateColour});
    m_y += height + DateLineGap;
    m_lastMinute = minute;
}

QImage KikPagePainter::scalePicture(const QImage &picture)
{
    if (picture.height() >= picture.width() && picture.height() > MaxPictureSide)
        return picture.scaledToHeight(MaxPictureSide, Qt::SmoothTransformation);
    if (picture.width() > MaxPictureSide)
        return picture.scaledToWidth(MaxPictureSide, Qt::SmoothTransformation);
    return picture;
}

void KikPagePainter::drawPicture(const KikMessage *message, const QStringList &paths, const QString &sender, bool framed,
                                 PictureMark mark)
{
    QImage picture = firstReadable(paths);
    if (picture.isNull()) {
        picture = m_art.emptyPhoto();
        mark = mark == PictureMark::Play ? mark : PictureMark::None;
    }
    if (picture.isNull())
        return;   // not even the stand-in could be read: nothing to show
    picture = scalePicture(picture);
    placeBubble(
        message->was_me, Placement::Picture, picture.size(), sender, QString(),
        [&picture, mark](QPainter &painter, const QPoint &at) {
            painter.drawImage(at, picture);
            if (mark == PictureMark::Play)
                drawPlayMark(painter, QRect(at, picture.size()));
            else if (mark == PictureMark::Preview)
                drawPreviewMark(painter, QRect(at, picture.size()));
        },
        framed);
}

void KikPagePainter::drawText(const KikMessage *message, const QString &text, const QString &sender)
{
    const QMargins padding = m_art.bubble(message->was_me).padding;
    const int width = int((m_content.right() - m_content.left() + 1) * 0.8) - padding.left() - padding.right();
    const WrappedText wrapped(text, m_textFont, m_printer, std::max(width, 1), m_emojiStyle == EmojiStyle::Characters);

    // Text taller than a page goes on in further bubbles rather than off the page.
    const int pageRoom = m_content.height() - m_content.top() - padding.top() - padding.bottom();
    const int nameShare = sender.isEmpty() ? 0 : QFontMetrics(m_textFont, m_printer).height() + SenderGap;
    QList<WrappedText::Piece> pieces{wrapped.whole()};
    if (wrapped.size().height() + nameShare > pageRoom)
        pieces = wrapped.pieces(pageRoom - nameShare, pageRoom);

    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const WrappedText::Piece &piece = pieces.at(i);
        placeBubble(message->was_me, Placement::Text, piece.size, i == 0 ? sender : QString(), text,
                    [&wrapped, &piece](QPainter &painter, const QPoint &at) {
                        painter.setPen(Qt::black);
                        wrapped.draw(painter, at, piece);
                    });
    }
}

// A bubble is its frame stretched over the content and its padding, the sender's name (when
// there is one) above the content, and the content. Sent bubbles go right, received ones left.
void KikPagePainter::placeBubble(bool sent, Placement::Kind kind, const QSize &contentSize, const QString &sender,
                                 const QString &text, const std::function<void(QPainter &, const QPoint &)> &paintContent,
                                 bool framed)
{
    const KikBubbleArt::Bubble &bubble = m_art.bubble(sent);
    const QMargins padding = bubble.padding;
    const int nameHeight = sender.isEmpty() ? 0 : QFontMetrics(m_textFont, m_printer).height();
    const int nameShare = sender.isEmpty() ? 0 : nameHeight + SenderGap;
    const int width = std::max(contentSize.width() + padding.left() + padding.right(), MinBubbleWidth);
    const int height = std::max(contentSize.height() + padding.top() + padding.bottom(), MinBubbleHeight) + nameShare;

    ensureSpace(height);
    const int x = sent ? m_content.x() + m_content.width() - width : m_content.x();
    const QRect rect(x, m_y, width, height);
    // Drawn straight onto the page, so that text stays text in a PDF. The painter's font and
    // pen are left as they were: later page numbers are drawn with them.
    m_painter.save();
    if (framed)
        bubble.frame.draw(m_painter, rect);
    if (!sender.isEmpty()) {
        m_painter.setFont(m_textFont);
        m_painter.setPen(SenderColour);
        m_painter.drawText(QRect(x + padding.left(), m_y + padding.top(), width - padding.left() - padding.right(), nameHeight),
                           Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, sender);
    }
    const QPoint at(x + padding.left(), m_y + padding.top() + nameShare);
    m_painter.setFont(m_textFont);
    paintContent(m_painter, at);
    m_painter.restore();

    notify({kind, m_page, rect, QRect(at, contentSize), text, QColor()});
    m_y += height + BubbleGap;
}

void KikPagePainter::ensureSpace(int height)
{
    if ((m_content.bottom() - m_content.top() + 1) - m_y >= height)
        return;
    m_printer->newPage();
    ++m_page;
    m_y = m_content.top();
    // Later page numbers keep the painter's current font and pen: those of the last date line.
    startPage();
}

void KikPagePainter::startPage()
{
    m_painter.fillRect(m_content, PageBackground);
    drawPageNumber();
}

void KikPagePainter::drawPageNumber()
{
    const QRect band(m_content.x(), m_content.bottom() + 2, m_content.width(), PageNumberBand);
    const QString number = QString::number(m_page);
    m_painter.drawText(band, Qt::AlignRight | Qt::AlignVCenter, number);
    notify({Placement::PageNumber, m_page, band, band, number, m_painter.pen().color()});
}

void KikPagePainter::notify(const Placement &placement) const
{
    if (m_observer)
        m_observer(placement);
}
