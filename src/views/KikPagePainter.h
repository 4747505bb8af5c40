#pragma once

#include "kik/KikMessage.h"
#include "kik/KikRules.h"
#include "views/Export.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class KikBubbleArt;

// What is drawn over a printed picture: a video's play mark, or "Preview" where the preview
// stands in for media that is gone.
enum class PictureMark { None, Play, Preview };
class QPagedPaintDevice;

// Lays printed messages out page by page as chat bubbles: a date line per minute, sent
// bubbles on the right, received ones on the left, pictures and text each in their own
// bubble, a page number under every page. Works on any paged device (a printer, a PDF writer).
class PARLEWICK_VIEWS_EXPORT KikPagePainter
{
public:
    // One block put on a page, for whoever wants to follow the layout (the tests do).
    struct Placement
    {
        enum Kind { PageNumber, DateLine, Picture, Text };
        Kind kind = DateLine;
        int page = 0;
        QRect rect;      // the block on the page
        QRect content;   // the picture or the text inside it (the date line: its band)
        QString text;    // the page number, the date line, the text shown (empty for pictures)
        QColor pen;      // the colour the page number or the date line is drawn in
    };
    using PlacementObserver = std::function<void(const Placement &)>;

    static constexpr int MinBubbleWidth = 150;
    static constexpr int MinBubbleHeight = 16;
    static constexpr int MaxPictureSide = 200;

    KikPagePainter();
    explicit KikPagePainter(const KikBubbleArt &art);
    KikPagePainter(const KikPagePainter &) = delete;
    KikPagePainter &operator=(const KikPagePainter &) = delete;

    // Begins painting on the device and draws the first page's frame; false (and nothing more
    // happens) when the device cannot be painted on. The device is not owned.
    bool start(QPagedPaintDevice *printer);
    void draw(const KikMessage *message);
    void end();

    QRect contentRect() const { return m_content; }
    int pageNumber() const { return m_page; }
    void setPlacementObserver(PlacementObserver observer) { m_observer = std::move(observer); }
    // How texts write emoji ("[EMOJI]" unless told otherwise).
    void setEmojiStyle(EmojiStyle style) { m_emojiStyle = style; }

    // Pictures larger than 200 pixels are scaled down to 200 along their longer side.
    static QImage scalePicture(const QImage &picture);

private:
    void drawDateLine(const QDateTime &ts);
    // The first of paths that can be read (else the stand-in), framed unless a sticker.
    void drawPicture(const KikMessage *message, const QStringList &paths, const QString &sender, bool framed, PictureMark mark);
    void drawText(const KikMessage *message, const QString &text, const QString &sender);
    void placeBubble(bool sent, Placement::Kind kind, const QSize &contentSize, const QString &sender, const QString &text,
                     const std::function<void(QPainter &, const QPoint &)> &paintContent, bool framed = true);
    void ensureSpace(int height);
    void startPage();
    void drawPageNumber();
    void notify(const Placement &placement) const;

    const KikBubbleArt &m_art;
    QPagedPaintDevice *m_printer = nullptr;
    QPainter m_painter;
    QRect m_content;
    int m_y = 0;
    int m_page = 1;
    std::optional<qint64> m_lastMinute;
    QFont m_textFont;   // 12 points: page numbers, text, sender names
    QFont m_dateFont;   // 13 points
    PlacementObserver m_observer;
    EmojiStyle m_emojiStyle = EmojiStyle::Placeholder;
};
