#pragma once

#include "CliHelp.h"

// The manual page of parlewick-cli (section 1, roff) from its help.
QString manPage(const CliHelp &help);
