#include "views/WrappedText.h"

#include "kik/KikEmoji.h"

#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QTextOption>

#include <cmath>

namespace {

// QTextLayout breaks lines only at its own separator; messages carry \n, \r\n or \r.
QString withLineSeparators(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return text;
}

// The colour emoji font the program depends on.
const QString EmojiFamily = QStringLiteral("Noto Color Emoji");

QList<QTextLayout::FormatRange> emojiFormats(const QString &text)
{
    QList<QTextLayout::FormatRange> formats;
    for (const EmojiSpan &span : emojiSpans(text)) {
        QTextLayout::FormatRange range;
        range.start = int(span.start);
        range.length = int(span.length);
        range.format.setFontFamilies({EmojiFamily});
        formats.append(range);
    }
    return formats;
}

// Colour glyphs are bitmaps that paged devices leave out: drawn into a picture first, at a
// resolution that prints sharp.
void drawAsPicture(QPainter &painter, const QPointF &origin, const QGlyphRun &run)
{
    constexpr qreal Scale = 4;
    const QRectF bounds = run.boundingRect();
    if (bounds.isEmpty())
        return;
    QImage picture((bounds.size() * Scale).toSize() + QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter picturePainter(&picture);
    picturePainter.scale(Scale, Scale);
    picturePainter.translate(-bounds.topLeft());
    picturePainter.drawGlyphRun(QPointF(0, 0), run);
    picturePainter.end();
    painter.drawImage(QRectF(origin + bounds.topLeft(), QSizeF(picture.size()) / Scale), picture);
}

}   // namespace

WrappedText::WrappedText(const QString &text, const QFont &font, QPaintDevice *device, int width, bool colourEmoji)
    : m_layout(withLineSeparators(text), font, device)
    , m_colourEmoji(colourEmoji)
{
    if (colourEmoji)
        m_layout.setFormats(emojiFormats(m_layout.text()));
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_layout.setTextOption(option);
    m_layout.setCacheEnabled(true);
    m_layout.beginLayout();
    qreal y = 0;
    qreal widest = 0;
    for (QTextLine line = m_layout.createLine(); line.isValid(); line = m_layout.createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    m_layout.endLayout();
    m_size = QSize(int(std::ceil(widest)), int(std::ceil(y)));
}

int WrappedText::lineTop(int line) const
{
    return int(std::floor(m_layout.lineAt(line).y()));
}

int WrappedText::lineBottom(int line) const
{
    const QTextLine textLine = m_layout.lineAt(line);
    return int(std::ceil(textLine.y() + textLine.height()));
}

QList<WrappedText::Piece> WrappedText::pieces(int firstHeight, int height) const
{
    QList<Piece> result;
    const int lines = m_layout.lineCount();
    int first = 0;
    while (first < lines) {
        const int limit = result.isEmpty() ? firstHeight : height;
        const int top = lineTop(first);
        int end = first + 1;
        while (end < lines && lineBottom(end) - top <= limit)
            ++end;
        result.append(Piece{first, end, QSize(m_size.width(), lineBottom(end - 1) - top)});
        first = end;
    }
    return result;
}

WrappedText::Piece WrappedText::whole() const
{
    return Piece{0, m_layout.lineCount(), m_size};
}

void WrappedText::draw(QPainter &painter, const QPoint &at, const Piece &piece) const
{
    if (piece.firstLine >= piece.endLine)
        return;
    // Lines keep their positions in the whole text; shift the piece's first line to `at`.
    const QPointF origin = QPointF(at) - QPointF(0, m_layout.lineAt(piece.firstLine).y());
    for (int line = piece.firstLine; line < piece.endLine; ++line) {
        if (!m_colourEmoji) {
            m_layout.lineAt(line).draw(&painter, origin);
            continue;
        }
        for (const QGlyphRun &run : m_layout.lineAt(line).glyphRuns()) {
            if (run.rawFont().familyName() == EmojiFamily)
                drawAsPicture(painter, origin, run);
            else
                painter.drawGlyphRun(origin, run);
        }
    }
}
