#pragma once

#include "ui/Export.h"

class CommandHost;

// The three deletions from local databases, each after the user confirmed it: selected
// messages, one chat, or a whole database. Phone sources are never touched.
class PARLEWICK_UI_EXPORT DeleteCommand
{
public:
    explicit DeleteCommand(CommandHost &host)
        : m_host(host)
    {
    }

    void deleteSelected();
    void deleteChat();
    void deleteDatabase();
    // The selected messages if any, else the current chat, else the database.
    void deleteFromToolbar();

private:
    CommandHost &m_host;
};
