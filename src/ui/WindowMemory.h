#pragma once

#include "ui/Export.h"

#include <QList>
#include <QRect>
#include <QStringList>

class QHeaderView;
class QMainWindow;
class QSplitter;

// Where the user left the main window: its place and size, whether it was maximized, the
// widths of the panes and of the message list's columns, and the node last selected (as the
// texts from a top node down). Kept in "window.ini" in the data folder.
class PARLEWICK_UI_EXPORT WindowMemory
{
public:
    static QString settingsPath();

    static void save(const QMainWindow &window, const QSplitter &panes, const QHeaderView &columns,
                     const QStringList &selectedNode);
    // Puts back what save() kept; values that are missing or make no sense leave the defaults.
    static void restore(QMainWindow &window, QSplitter &panes, QHeaderView &columns);
    static QStringList selectedNode();

    // The rectangle moved, and shrunk where needed, so that it lies whole on the screen it
    // overlaps most (the first one when it overlaps none).
    static QRect fitToScreens(const QRect &rect, const QList<QRect> &screens);
};
