#include "simiphone/HostileNames.h"

#include <QStringList>

std::optional<HostileName> HostileName::of(const QString &setting, const QString &udid)
{
    static const QStringList messages = {QStringLiteral("upload"), QStringLiteral("download"), QStringLiteral("move"),
                                         QStringLiteral("remove"), QStringLiteral("mkdir"),    QStringLiteral("copy")};
    const QString message = setting.section(QLatin1Char(':'), 0, 0);
    const QString kind = setting.section(QLatin1Char(':'), 1);
    if (!messages.contains(message))
        return std::nullopt;
    const QString planted = QLatin1String(kPlantedName);
    if (kind == QLatin1String("parent"))
        return HostileName{message, udid + QStringLiteral("/../../") + planted};
    if (kind == QLatin1String("absolute"))
        return HostileName{message, QLatin1Char('/') + planted};
    if (kind == QLatin1String("control")) {
        if (message == QLatin1String("upload"))
            return HostileName{message,
                               udid + QStringLiteral("/planted\x01") + QStringLiteral("by") + QChar(0) + QStringLiteral("phone")};
        return HostileName{message, udid + QStringLiteral("/planted\nby-phone")};
    }
    return std::nullopt;
}
