#include "views/ViewIcons.h"

#include <QGuiApplication>
#include <QHash>
#include <QPixmap>
#include <QtMath>

QIcon viewIcon(const QImage &image)
{
    if (image.isNull())
        return QIcon();
    // Kept as large as the sharpest screen present draws it; the icon scales it down per view.
    const int width = qCeil(ViewIconWidth * qGuiApp->devicePixelRatio());
    return QIcon(QPixmap::fromImage(image.width() > width ? image.scaledToWidth(width, Qt::SmoothTransformation) : image));
}

QIcon resourceViewIcon(const QString &name)
{
    // Only used on the GUI thread, like every icon.
    static QHash<QString, QIcon> cache;
    auto it = cache.find(name);
    if (it == cache.end())
        it = cache.insert(name, QIcon(name));
    return it.value();
}
