#pragma once

#include "app/Export.h"

// What a background task throws when the user cancels it. It is deliberately no
// std::exception: a handler for errors never takes a cancel for a failure, and only the
// worker's top level (runTask, src/workers/TaskRun.h) turns it into the cancel report.
class PARLEWICK_APP_EXPORT TaskCanceled
{ };
