#pragma once

#include <QByteArray>
#include <QColor>
#include <QSize>

// Tiny media files of each type Kik sends today, made here so that no sample file is needed.
namespace KikFakeMedia {

QByteArray jpeg(const QColor &colour, const QSize &size = QSize(24, 16));
// A round dot on a transparent square, as stickers are.
QByteArray png(const QColor &colour, bool transparent = false);
// Two frames of 4x4 pixels that alternate for ever.
QByteArray animatedGif();
// A lossless WebP of one colour (every pixel the same, so no pixel needs a bit).
QByteArray webp(const QColor &colour);
// An MP4 (or, quickTime, a MOV) whose movie header gives the length; it holds no frames.
QByteArray film(int seconds, bool quickTime);

}   // namespace KikFakeMedia
