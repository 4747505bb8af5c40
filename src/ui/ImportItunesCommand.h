#pragma once

#include <QString>

class MainWindow;

// Loads Kik's messages out of an iTunes backup the user picks (asking for the password of an
// encrypted one) and backs them all up into a local database.
class ImportItunesCommand
{
public:
    explicit ImportItunesCommand(MainWindow &window) : m_window(window) {}

    // An empty proposed name proposes the backup's device name followed by "_Backup".
    void run(const QString &proposedName);

private:
    MainWindow &m_window;
};
