#include "views/ViewIcons.h"

#include <QHash>

QPixmap viewIcon(const QImage &image)
{
    if (image.isNull())
        return QPixmap();
    return QPixmap::fromImage(image.scaledToWidth(ViewIconWidth, Qt::SmoothTransformation));
}

QPixmap resourceViewIcon(const QString &name)
{
    // Only used on the GUI thread, like every pixmap.
    static QHash<QString, QPixmap> cache;
    auto it = cache.find(name);
    if (it == cache.end())
        it = cache.insert(name, viewIcon(QImage(name)));
    return it.value();
}
