#pragma once

#include "app/Export.h"

#include <QString>

// Hand-offs to the desktop: show a folder or picture, open a document or web address, quit hard.
PARLEWICK_APP_EXPORT void openInExplorer(const QString &path);
PARLEWICK_APP_EXPORT void shellOpen(const QString &target);
[[noreturn]] PARLEWICK_APP_EXPORT void killSelf();
