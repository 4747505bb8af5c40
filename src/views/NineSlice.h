#pragma once

#include "views/Export.h"

#include <QImage>
#include <QList>
#include <QMargins>

class QPainter;
class QRect;

// A frame of nine pictures (top-left, top-middle, top-right, middle-left, ... bottom-right)
// stretched over a rectangle: the corners keep the margin sizes, the edges stretch along one
// direction, the middle fills the rest. Missing pictures leave their cell unpainted.
class PARLEWICK_VIEWS_EXPORT NineSlice
{
public:
    NineSlice() = default;
    NineSlice(const QList<QImage> &pictures, const QMargins &margins);

    // Loads "<folder>/<prefix>_01.png" .. "<prefix>_09.png".
    static NineSlice load(const QString &folder, const QString &prefix, const QMargins &margins);

    void draw(QPainter &painter, const QRect &target) const;

private:
    QList<QImage> m_pictures;
    QMargins m_margins;
};
