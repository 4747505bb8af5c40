#include "ui/AppTheme.h"

#include <QApplication>
#include <QColor>

namespace {

// Taken before the first theme is applied: the desktop's own palette.
const QPalette &systemPalette()
{
    static const QPalette palette = QApplication::palette();
    return palette;
}

struct ThemeColours
{
    QColor window, text, base, alternateBase, button, highlight, highlightedText, link, disabledText;
};

QPalette paletteOf(const ThemeColours &c)
{
    QPalette palette;
    palette.setColor(QPalette::Window, c.window);
    palette.setColor(QPalette::WindowText, c.text);
    palette.setColor(QPalette::Base, c.base);
    palette.setColor(QPalette::AlternateBase, c.alternateBase);
    palette.setColor(QPalette::ToolTipBase, c.base);
    palette.setColor(QPalette::ToolTipText, c.text);
    palette.setColor(QPalette::PlaceholderText, c.disabledText);
    palette.setColor(QPalette::Text, c.text);
    palette.setColor(QPalette::Button, c.button);
    palette.setColor(QPalette::ButtonText, c.text);
    palette.setColor(QPalette::BrightText, Qt::red);
    palette.setColor(QPalette::Highlight, c.highlight);
    palette.setColor(QPalette::HighlightedText, c.highlightedText);
    palette.setColor(QPalette::Link, c.link);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, c.disabledText);
    return palette;
}

} // namespace

QPalette themePalette(ThemeChoice theme)
{
    switch (theme) {
    case ThemeChoice::Light:
        return paletteOf({QColor(0xf3, 0xf3, 0xf3), QColor(0x1e, 0x1e, 0x1e), Qt::white, QColor(0xf7, 0xf7, 0xf7),
                          QColor(0xe8, 0xe8, 0xe8), QColor(0x30, 0x8c, 0xc6), Qt::white, QColor(0x1a, 0x5f, 0xb4),
                          QColor(0x8c, 0x8c, 0x8c)});
    case ThemeChoice::Dark:
        return paletteOf({QColor(0x2b, 0x2b, 0x2b), QColor(0xe6, 0xe6, 0xe6), QColor(0x1e, 0x1e, 0x1e),
                          QColor(0x26, 0x26, 0x26), QColor(0x3a, 0x3a, 0x3a), QColor(0x3d, 0x8e, 0xd0), Qt::white,
                          QColor(0x7a, 0xb7, 0xf0), QColor(0x80, 0x80, 0x80)});
    case ThemeChoice::System:
        break;
    }
    return systemPalette();
}

void applyTheme(ThemeChoice theme)
{
    systemPalette();   // remembered before it is replaced
    QApplication::setPalette(themePalette(theme));
}
