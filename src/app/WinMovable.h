#pragma once

#include <QObject>
#include <QPoint>

// Event filter that lets a frameless window be dragged with the left mouse button.
// It never consumes an event.
class WinMovable : public QObject
{
    Q_OBJECT
public:
    explicit WinMovable(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPoint m_pressPos;
    bool m_leftPressed = false;
};
