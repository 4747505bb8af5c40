#pragma once

#include "ui/CommandScope.h"

#include <QStringList>

class MainWindow;

// Exports messages into a file (text, Word, CSV) or a folder of pages (PDF, HTML) the user
// names in the save dialog.
class ExportFileCommand
{
public:
    explicit ExportFileCommand(MainWindow &window)
        : m_window(window)
    {
    }

    void run(MessageVariant variant);

    // The save dialog's filters, in the order shown, and the kind of file each one asks for.
    static const QStringList &filters();
    static QString kindOfFilter(const QString &filter);

private:
    MainWindow &m_window;
};
