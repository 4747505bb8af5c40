#pragma once

#include "ui/Export.h"

#include <QImage>
#include <QLabel>
#include <QSize>
#include <QString>

// A label that shows one picture drawn for the screen it is on: an SVG source rendered at the
// label's device pixel ratio, or a photo scaled down from its full size. It draws again when
// its window moves to a screen of another ratio, so a picture is never a small raster scaled up.
class PARLEWICK_UI_EXPORT PictureLabel : public QLabel
{
    Q_OBJECT
public:
    explicit PictureLabel(QWidget *parent = nullptr);

    // The SVG file (a resource such as ":/res/main.svg") drawn at `size` logical pixels.
    void setSvg(const QString &source, const QSize &size);
    // A photo drawn `width` logical pixels wide, keeping its proportions.
    void setPhoto(const QImage &photo, int width);

protected:
    bool event(QEvent *event) override;

private:
    void draw();

    QString m_svg;
    QImage m_photo;
    QSize m_size;
    qreal m_drawnRatio = 0;
};

// The SVG file rendered into a pixmap of `size` logical pixels at `ratio` device pixels each.
PARLEWICK_UI_EXPORT QPixmap svgPixmap(const QString &source, const QSize &size, qreal ratio);
