#include "ThrownText.h"

#include "app/TaskCanceled.h"

#include <exception>

QString thrownText(const std::function<void()> &call)
{
    try {
        call();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    } catch (const TaskCanceled &) {
        return QStringLiteral("(canceled)");
    }
    return QStringLiteral("(nothing thrown)");
}
