#include "widgets/WinMovable.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

WinMovable::WinMovable(QObject *parent)
    : QObject(parent)
{
}

bool WinMovable::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        m_pressPos = mouse->position().toPoint();
        m_leftPressed = mouse->button() == Qt::LeftButton;
        break;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_leftPressed && !m_pressPos.isNull()) {
            // Where the desktop moves windows itself (Wayland allows nothing else), it takes
            // over until the button is released; elsewhere the widget moves along.
            if (startSystemMove(widget))
                m_leftPressed = false;
            else
                widget->move(widget->pos() + (mouse->position().toPoint() - m_pressPos));
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        m_leftPressed = false;
        break;
    default:
        break;
    }
    return false;
}

bool WinMovable::startSystemMove(QWidget *widget)
{
    QWindow *window = widget->window()->windowHandle();
    return window && window->startSystemMove();
}
