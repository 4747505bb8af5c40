#include "TestEnv.h"

#include "widgets/WinMovable.h"

#include <QApplication>
#include <QDialog>
#include <QMouseEvent>
#include <QWindow>
#include <QtTest>

// Dragging a frameless dialog. The offscreen platform has no move of its own, so here the
// filter moves the widget itself, as it does on X11 without a window manager.
class TestWinMovable : public QObject
{
    Q_OBJECT
    TestEnv env;

    static void send(QWidget *widget, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }

    static void drag(QWidget *widget, QPoint from, QPoint to, Qt::MouseButton button)
    {
        send(widget, QEvent::MouseButtonPress, from, button, button);
        send(widget, QEvent::MouseMove, to, Qt::NoButton, button);
        send(widget, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
    }

private slots:
    void leftDragMovesTheDialogWhereTheDesktopCannot()
    {
        QDialog dialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint);
        dialog.installEventFilter(new WinMovable(&dialog));
        dialog.setGeometry(100, 100, 200, 120);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(!dialog.windowHandle()->startSystemMove());

        drag(&dialog, {10, 10}, {30, 25}, Qt::LeftButton);
        QTRY_COMPARE(dialog.pos(), QPoint(120, 115));

        // Not with the right button, not after the release, not from the corner (0, 0).
        drag(&dialog, {10, 10}, {50, 50}, Qt::RightButton);
        send(&dialog, QEvent::MouseMove, {60, 60}, Qt::NoButton, Qt::NoButton);
        drag(&dialog, {0, 0}, {40, 40}, Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(dialog.pos(), QPoint(120, 115));
    }
};

QTEST_MAIN(TestWinMovable)
#include "TestWinMovable.moc"
