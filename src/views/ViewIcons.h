#pragma once

#include "views/Export.h"

#include <QIcon>
#include <QImage>
#include <QString>

// Icons of the tree and the message list are all drawn 18 pixels wide; the views ask for them
// at that size (`ViewIconSize`) and their own device pixel ratio.
inline constexpr int ViewIconWidth = 18;
inline constexpr QSize ViewIconSize(ViewIconWidth, ViewIconWidth);

PARLEWICK_VIEWS_EXPORT QIcon viewIcon(const QImage &image);           // null for a null image
PARLEWICK_VIEWS_EXPORT QIcon resourceViewIcon(const QString &name);   // a compiled-in SVG picture, read once
