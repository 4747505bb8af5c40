#include "app/AppError.h"

AppError::AppError(const QString &text)
    : std::runtime_error(text.toStdString())
{
}

void failWith(const QString &text)
{
    throw AppError(text);
}

QString errorText(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}
