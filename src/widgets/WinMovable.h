#pragma once

#include "widgets/Export.h"

#include <QObject>
#include <QPoint>

class QWidget;

// Event filter that lets a frameless window be dragged with the left mouse button: by the
// desktop's own move where the platform offers one, else by moving the widget.
// It never consumes an event.
class PARLEWICK_WIDGETS_EXPORT WinMovable : public QObject
{
    Q_OBJECT
public:
    explicit WinMovable(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static bool startSystemMove(QWidget *widget);

    QPoint m_pressPos;
    bool m_leftPressed = false;
};
