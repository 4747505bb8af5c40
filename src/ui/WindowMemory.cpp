#include "ui/WindowMemory.h"

#include "app/AppFolders.h"

#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QSplitter>

#include <algorithm>

namespace {

const QString GeometryKey = QStringLiteral("window/geometry");
const QString MaximizedKey = QStringLiteral("window/maximized");
const QString PanesKey = QStringLiteral("window/panes");
const QString ColumnsKey = QStringLiteral("window/columns");
const QString NodeKey = QStringLiteral("window/selectedNode");

QSettings settings()
{
    return QSettings(WindowMemory::settingsPath(), QSettings::IniFormat);
}

QList<int> numbers(const QVariant &value)
{
    QList<int> result;
    for (const QString &item : value.toStringList()) {
        bool ok = false;
        const int number = item.toInt(&ok);
        if (!ok || number < 0)
            return {};
        result << number;
    }
    return result;
}

QStringList texts(const QList<int> &values)
{
    QStringList result;
    for (const int value : values)
        result << QString::number(value);
    return result;
}

QList<QRect> availableScreens()
{
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    return screens;
}

}   // namespace

QString WindowMemory::settingsPath()
{
    return QDir(dataFolder()).filePath(QStringLiteral("window.ini"));
}

void WindowMemory::save(const QMainWindow &window, const QSplitter &panes, const QHeaderView &columns,
                        const QStringList &selectedNode)
{
    QSettings store = settings();
    store.setValue(GeometryKey, window.normalGeometry());
    store.setValue(MaximizedKey, window.isMaximized());
    store.setValue(PanesKey, texts(panes.sizes()));
    QList<int> widths;
    for (int column = 0; column + 1 < columns.count(); ++column)   // the last one takes the rest
        widths << columns.sectionSize(column);
    store.setValue(ColumnsKey, texts(widths));
    store.setValue(NodeKey, selectedNode);
}

void WindowMemory::restore(QMainWindow &window, QSplitter &panes, QHeaderView &columns)
{
    const QSettings store = settings();
    const QRect geometry = store.value(GeometryKey).toRect();
    const QList<QRect> screens = availableScreens();
    if (geometry.isValid() && !screens.isEmpty())
        window.setGeometry(fitToScreens(geometry, screens));
    if (store.value(MaximizedKey).toBool())
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    const QList<int> paneSizes = numbers(store.value(PanesKey));
    if (paneSizes.size() == panes.count())
        panes.setSizes(paneSizes);
    const QList<int> widths = numbers(store.value(ColumnsKey));
    for (int column = 0; column < widths.size() && column + 1 < columns.count(); ++column) {
        if (widths.at(column) > 0)
            columns.resizeSection(column, widths.at(column));
    }
}

QStringList WindowMemory::selectedNode()
{
    return settings().value(NodeKey).toStringList();
}

QRect WindowMemory::fitToScreens(const QRect &rect, const QList<QRect> &screens)
{
    if (screens.isEmpty())
        return rect;
    QRect screen = screens.first();
    qint64 bestOverlap = 0;
    for (const QRect &candidate : screens) {
        const QRect overlap = candidate.intersected(rect);
        const qint64 area = qint64(overlap.width()) * overlap.height();
        if (!overlap.isEmpty() && area > bestOverlap) {
            bestOverlap = area;
            screen = candidate;
        }
    }
    QRect fitted(rect.topLeft(), rect.size().boundedTo(screen.size()));
    fitted.moveLeft(std::clamp(fitted.left(), screen.left(), screen.right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(fitted.top(), screen.top(), screen.bottom() - fitted.height() + 1));
    return fitted;
}
