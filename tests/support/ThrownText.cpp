#include "ThrownText.h"

#include <exception>

QString thrownText(const std::function<void()> &call)
{
    try {
        call();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    } catch (int code) {
        return QStringLiteral("int %1").arg(code);
    }
    return QStringLiteral("(nothing thrown)");
}
