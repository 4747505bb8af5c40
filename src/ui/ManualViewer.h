#pragma once

#include "ui/Export.h"

#include <QDialog>

class QTextBrowser;

// The user manual that ships inside the program (docs/manual.md), shown in a window of its own,
// so that Help works offline and asks no server anything. Plain text that wraps at the window's
// width, in the colours of the palette.
class PARLEWICK_UI_EXPORT ManualViewer : public QDialog
{
    Q_OBJECT
public:
    explicit ManualViewer(QWidget *parent = nullptr);

    // Shows the window's one viewer, creating it the first time, and brings it to the front.
    static ManualViewer *showFor(QWidget *window);
    QTextBrowser *browser() const { return m_browser; }

private:
    QTextBrowser *m_browser;
};
