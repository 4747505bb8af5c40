#include "ui/AppTheme.h"

#include "app/ColourRoles.h"
#include "app/FileUtils.h"

#include <QApplication>
#include <QWidget>

namespace {

// Taken before the first theme is applied: the palette the program started with (at start-up the
// colour set that suits the desktop).
const QPalette &systemPalette()
{
    static const QPalette palette = QApplication::palette();
    return palette;
}

}   // namespace

QPalette themePalette(ThemeChoice theme)
{
    switch (theme) {
    case ThemeChoice::Light:
        return ColourRoles::lightSet().palette();
    case ThemeChoice::Dark:
        return ColourRoles::darkSet().palette();
    case ThemeChoice::System:
        break;
    }
    return systemPalette();
}

void applyTheme(ThemeChoice theme)
{
    systemPalette();   // remembered before it is replaced
    QApplication::setPalette(themePalette(theme));
    // Open windows carry the style sheet filled in with the colours of the theme they opened under.
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (!window->styleSheet().isEmpty())
            window->setStyleSheet(styleSheet());
    }
}
