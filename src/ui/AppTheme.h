#pragma once

#include "app/Preferences.h"
#include "ui/Export.h"

#include <QPalette>

// The palette of the chosen theme, and applying it to the whole program. "System" gives back
// the palette the program started with.
PARLEWICK_UI_EXPORT QPalette themePalette(ThemeChoice theme);
PARLEWICK_UI_EXPORT void applyTheme(ThemeChoice theme);
