#pragma once

#include "ui/Export.h"

#include <QObject>

#include <functional>

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;
class QWidget;
class WindowCommands;
struct CommandScope;

// The menu bar, the tool bar and the two context menus of the main window. Every entry runs one
// of the window's commands; its object name ("miExportChat") names it for the tests, the log and
// the manual. Context menus are built anew each time from the scope.
class PARLEWICK_UI_EXPORT MainMenus : public QObject
{
    Q_OBJECT
public:
    MainMenus(QMainWindow *window, QToolBar *toolBar, WindowCommands &commands);

    // The enable table of the File menu and tool bar actions.
    void updateEnabled(const CommandScope &scope);

    // Null where the node has no menu. The caller owns the menu.
    QMenu *treeContextMenu(const CommandScope &scope, QWidget *parent) const;
    QMenu *listContextMenu(const CommandScope &scope, QWidget *parent) const;

private:
    using Command = std::function<void()>;
    QAction *command(QObject *owner, const QString &text, const char *icon, const char *name, const Command &run) const;
    void addCommand(QMenu *menu, const QString &text, const char *icon, const char *name, const Command &run, bool enabled) const;
    void buildFileMenu(QMenu *menu, QToolBar *toolBar);

    QMainWindow *m_window;
    WindowCommands *m_commands;
    QAction *m_backup = nullptr;
    QAction *m_i2i = nullptr;
    QAction *m_db2i = nullptr;
    QAction *m_export = nullptr;
    QAction *m_print = nullptr;
    QAction *m_delete = nullptr;
};
