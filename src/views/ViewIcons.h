#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

// Icons of the tree and the message list are all drawn 18 pixels wide.
inline constexpr int ViewIconWidth = 18;

QPixmap viewIcon(const QImage &image);           // null for a null image
QPixmap resourceViewIcon(const QString &name);   // a compiled-in picture, read once
