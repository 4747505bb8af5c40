#pragma once

#include "ui/Export.h"

class MainWindow;

// The three deletions from local databases, each after the user confirmed it: selected
// messages, one chat, or a whole database. Phone sources are never touched.
class PARLEWICK_UI_EXPORT DeleteCommand
{
public:
    explicit DeleteCommand(MainWindow &window)
        : m_window(window)
    {
    }

    void deleteSelected();
    void deleteChat();
    void deleteDatabase();
    // The selected messages if any, else the current chat, else the database.
    void deleteFromToolbar();

private:
    MainWindow &m_window;
};
