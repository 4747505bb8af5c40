#pragma once

#include "app/Export.h"

#include <QString>

#include <functional>
#include <memory>

class QLockFile;

// Takes the lock file at path for one writer, across threads and processes. Only a holder that
// has ended makes it stale (a write may take long), and it is then taken over. While another
// holder has it, whileWaiting is called between tries, the first time with true; it may throw
// to stop waiting. Raises cannotLockText when the file cannot be made at all.
PARLEWICK_APP_EXPORT std::unique_ptr<QLockFile> takeWriterLockThrow(const QString &path,
                                                                    const std::function<void(bool first)> &whileWaiting,
                                                                    const QString &cannotLockText);
