#include "views/NineSlice.h"

#include <QDir>
#include <QPainter>
#include <QRect>

NineSlice::NineSlice(const QList<QImage> &pictures, const QMargins &margins)
    : m_pictures(pictures)
    , m_margins(margins)
{
}

NineSlice NineSlice::load(const QString &folder, const QString &prefix, const QMargins &margins)
{
    const QDir dir(folder);
    QList<QImage> pictures;
    for (int n = 1; n <= 9; ++n)
        pictures.append(QImage(dir.filePath(QStringLiteral("%1_%2.png").arg(prefix).arg(n, 2, 10, QLatin1Char('0')))));
    return NineSlice(pictures, margins);
}

void NineSlice::draw(QPainter &painter, const QRect &target) const
{
    if (m_pictures.size() != 9)
        return;
    const int top = m_margins.top();
    const int right = m_margins.right();
    const int bottom = m_margins.bottom();
    const int left = m_margins.left();
    // Cell edges along each axis; the right and bottom cells end flush with the target.
    const int xs[] = {target.x(), target.x() + left, target.x() + target.width() - right};
    const int widths[] = {left, target.width() - left - right, right};
    const int ys[] = {target.y(), target.y() + top, target.y() + target.height() - bottom};
    const int heights[] = {top, target.height() - top - bottom, bottom};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QImage &picture = m_pictures.at(row * 3 + column);
            if (picture.isNull() || widths[column] <= 0 || heights[row] <= 0)
                continue;
            painter.drawImage(QRect(xs[column], ys[row], widths[column], heights[row]), picture);
        }
    }
}
