#pragma once

#include <QString>

// Hand-offs to the desktop: show a folder or picture, open a document or web address, quit hard.
void openInExplorer(const QString &path);
void shellOpen(const QString &target);
[[noreturn]] void killSelf();
