#pragma once

#include "CliHelp.h"

// A bash completion script for parlewick-cli: its commands, each command's options, and
// folders or files after an option whose value is one.
QString bashCompletion(const CliHelp &help);
