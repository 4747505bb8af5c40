#pragma once

#include "widgets/Export.h"

#include <QString>

// A plain text of the layers below (an error, a note) as the window's rich text: markup
// characters escaped, each "\n" a line break, and web addresses live links. Message boxes
// show rich text only, so every plain text goes through here on its way into one.
PARLEWICK_WIDGETS_EXPORT QString richTextOf(const QString &plain);
