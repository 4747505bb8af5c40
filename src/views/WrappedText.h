#pragma once

#include "views/Export.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QTextLayout>

class QPaintDevice;
class QPainter;
class QPoint;

// Text broken into lines at a width, measured for a paint device. Words longer than the
// width are broken too, so nothing runs past the width. The lines can be taken in pieces
// of limited height, for text that does not fit on one page.
class PARLEWICK_VIEWS_EXPORT WrappedText
{
public:
    struct Piece
    {
        int firstLine = 0;
        int endLine = 0;   // one past the last line
        QSize size;
    };

    // colourEmoji: emoji are laid out in the colour emoji font and drawn as pictures, so that
    // they show on devices that cannot embed that font (PDF).
    WrappedText(const QString &text, const QFont &font, QPaintDevice *device, int width, bool colourEmoji = false);
    WrappedText(const WrappedText &) = delete;
    WrappedText &operator=(const WrappedText &) = delete;

    QSize size() const { return m_size; }   // of all lines: widest line, total height

    // Consecutive pieces, the first at most firstHeight high, the others at most height;
    // each takes at least one line.
    QList<Piece> pieces(int firstHeight, int height) const;
    Piece whole() const;

    // Draws the lines of a piece with their top-left at `at`, in the painter's pen.
    void draw(QPainter &painter, const QPoint &at, const Piece &piece) const;

private:
    int lineTop(int line) const;
    int lineBottom(int line) const;

    QTextLayout m_layout;
    QSize m_size;
    bool m_colourEmoji;
};
