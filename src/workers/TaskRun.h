#pragma once

#include "workers/Export.h"

#include <QString>

#include <exception>
#include <functional>

class AbsProgressTarget;

// The top level of every worker's run(): runs work and posts exactly one outcome.
// - work returns: postSuccess with the text it returned (empty when the command shows its own
//   result). Only this path posts a success, so work never posts one itself.
// - work throws TaskCanceled: postCanceled.
// - work throws a std::exception: postError with its text, or with errorText(it) when given.
// - work throws anything else: postError with a general text.
// takeBack, when given, runs after a cancel or an error, before the post: it undoes what the run
// made. Its own failure is logged; the outcome stays the first one.
PARLEWICK_WORKERS_EXPORT void runTask(AbsProgressTarget *progress, const std::function<QString()> &work,
                                      const std::function<void()> &takeBack = {},
                                      const std::function<QString(const std::exception &)> &errorText = {});
