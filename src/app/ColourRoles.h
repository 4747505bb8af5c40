#pragma once

#include "app/Export.h"

#include <QColor>
#include <QString>

class QPalette;

// A text colour with the background it is drawn on: text is never given without its ground.
struct PARLEWICK_APP_EXPORT ColourPair
{
    QColor text;
    QColor background;
};

// Every colour of the window and its dialogs. The style sheet, the item models and the
// application palette all take their colours from here, so that a dark desktop palette never
// meets a fixed light background.
struct PARLEWICK_APP_EXPORT ColourRoles
{
    bool dark = false;
    ColourPair window;      // main window, dialogs, message boxes, the tree of sources
    QColor windowShade;     // every other row of lists in dialogs, under window.text
    ColourPair received;    // rows of received messages
    ColourPair sent;        // rows of sent messages
    ColourPair match;       // rows that match the message search
    ColourPair selection;   // selected rows and menu entries
    ColourPair panel;       // message count, status bar, menus
    ColourPair header;      // list header (background: top of its gradient)
    QColor headerFade;      // bottom of the header gradient
    ColourPair title;       // conversation title row (background: top of its gradient)
    QColor titleFade;
    ColourPair button;   // background: top of the button gradient
    QColor buttonFade;
    QColor buttonHover, buttonHoverFade;
    QColor disabledText;   // on panel.background
    QColor border, accent, hoverBorder;
    QColor fieldBorder;   // edge of text fields: at least 3:1 against the window, so they are found

    static ColourRoles lightSet();
    static ColourRoles darkSet();
    // The dark set when the palette's window is dark, else the light one.
    static ColourRoles forPalette(const QPalette &palette);
    // The set chosen for the application's palette now (the light one without a GUI application).
    static ColourRoles current();

    // A complete palette of these colours, so that widgets the style sheet does not reach pair
    // text and ground as well.
    QPalette palette() const;
    // The style sheet template with its @role@ names replaced by these colours.
    QString fillStyleSheet(QString sheet) const;
};

// Picks the colour set that suits the desktop's palette and makes it the application's.
PARLEWICK_APP_EXPORT void applyColourRoles();
// WCAG contrast ratio of two colours (1 to 21).
PARLEWICK_APP_EXPORT double contrastRatio(const QColor &a, const QColor &b);
