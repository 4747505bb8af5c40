#pragma once

#include "kik/KikMessage.h"
#include "widgets/Export.h"

#include <QObject>

#include <functional>

class QPrintPreviewDialog;
class QPrinter;

// Prints a selection of messages as chat bubbles through the print-preview dialog.
class PARLEWICK_WIDGETS_EXPORT KikMsgPrinter : public QObject
{
    Q_OBJECT
public:
    explicit KikMsgPrinter(QObject *parent = nullptr);

    // Stores the messages in display order and runs the preview dialog on an A4 printer
    // (a PDF file when no printer is installed).
    void print(const KikMessageList &messages);

    const KikMessageList &messages() const { return m_messages; }

    // Runs the modal dialog in place of its exec(); tests set it to look at the dialog or to
    // paint through it without a user. An empty function restores exec().
    using PreviewRunner = std::function<void(QPrintPreviewDialog &)>;
    static void setPreviewRunner(PreviewRunner runner);

public slots:
    void onPaintRequested(QPrinter *printer);

private:
    KikMessageList m_messages;
};
