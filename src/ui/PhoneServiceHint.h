#pragma once

#include "ui/Export.h"

#include <QLabel>
#include <QTimer>

// Says in the window what to do while the multiplexer (usbmuxd) does not answer, since no
// phone can appear then; hidden while it answers. While shown it asks again every few
// seconds, so it goes away once the service runs.
class PARLEWICK_UI_EXPORT PhoneServiceHint : public QLabel
{
    Q_OBJECT
public:
    explicit PhoneServiceHint(QWidget *parent = nullptr);

    // Asks the multiplexer now (after a phone left: the service may have ended with it).
    void check();

private:
    QTimer m_retry;
};
