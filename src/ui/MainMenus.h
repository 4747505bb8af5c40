#pragma once

#include "ui/Export.h"

#include <QObject>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;
class QWidget;
struct CommandScope;

// The menu bar, the tool bar and the two context menus of the main window. Every entry calls
// the window's slot named by the action's object name, so a wrong slot name shows in a test
// instead of doing nothing. Context menus are built anew each time from the scope.
class PARLEWICK_UI_EXPORT MainMenus : public QObject
{
    Q_OBJECT
public:
    MainMenus(QMainWindow *window, QToolBar *toolBar);

    // The enable table of the File menu and tool bar actions.
    void updateEnabled(const CommandScope &scope);

    // Null where the node has no menu. The caller owns the menu.
    QMenu *treeContextMenu(const CommandScope &scope, QWidget *parent) const;
    QMenu *listContextMenu(const CommandScope &scope, QWidget *parent) const;

private:
    QAction *command(QObject *owner, const QString &text, const char *icon, const char *slot) const;
    void addCommand(QMenu *menu, const QString &text, const char *icon, const char *slot, bool enabled) const;
    void buildFileMenu(QMenu *menu, QToolBar *toolBar);

    QMainWindow *m_window;
    QAction *m_backup = nullptr;
    QAction *m_i2i = nullptr;
    QAction *m_db2i = nullptr;
    QAction *m_export = nullptr;
    QAction *m_print = nullptr;
    QAction *m_delete = nullptr;
};
