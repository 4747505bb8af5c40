#pragma once

#include "app/Preferences.h"

#include <QPalette>

// The palette of the chosen theme, and applying it to the whole program. "System" gives back
// the palette the program started with.
QPalette themePalette(ThemeChoice theme);
void applyTheme(ThemeChoice theme);
