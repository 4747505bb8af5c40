#include "ui/PictureLabel.h"

#include <QEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <QtMath>

PictureLabel::PictureLabel(QWidget *parent)
    : QLabel(parent)
{
}

void PictureLabel::setSvg(const QString &source, const QSize &size)
{
    m_svg = source;
    m_photo = QImage();
    m_size = size;
    draw();
}

void PictureLabel::setPhoto(const QImage &photo, int width)
{
    m_svg.clear();
    m_photo = photo;
    m_size = QSize(width, photo.isNull() ? 0 : qRound(qreal(width) * photo.height() / photo.width()));
    draw();
}

bool PictureLabel::event(QEvent *event)
{
    // Qt 6.4 tells a widget of its new screen only through this event; the ratio is compared
    // on showing too, for a label built before its window knew its screen.
    if ((event->type() == QEvent::ScreenChangeInternal || event->type() == QEvent::Show)
        && !qFuzzyCompare(devicePixelRatioF(), m_drawnRatio))
        draw();
    return QLabel::event(event);
}

void PictureLabel::draw()
{
    m_drawnRatio = devicePixelRatioF();
    if (!m_svg.isEmpty()) {
        setPixmap(svgPixmap(m_svg, m_size, m_drawnRatio));
    } else if (!m_photo.isNull()) {
        QPixmap pixmap =
            QPixmap::fromImage(m_photo.scaled(m_size * m_drawnRatio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(m_drawnRatio);
        setPixmap(pixmap);
    } else {
        clear();
    }
}

QPixmap svgPixmap(const QString &source, const QSize &size, qreal ratio)
{
    QImage image(QSize(qCeil(size.width() * ratio), qCeil(size.height() * ratio)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(source);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}
