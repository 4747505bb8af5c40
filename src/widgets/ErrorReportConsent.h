#pragma once

#include "widgets/Export.h"

#include <QString>

// Error boxes report their text to the vendor only while a vendor host is configured and the
// user agreed: asked once, at the first error box, and remembered; Preferences changes it.
PARLEWICK_WIDGETS_EXPORT void installErrorReporter();
// Whether a report may go out now; asks the user the first time (on the GUI thread only).
PARLEWICK_WIDGETS_EXPORT bool errorReportsAgreed();
PARLEWICK_WIDGETS_EXPORT QString errorReportQuestion();
