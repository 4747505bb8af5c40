#pragma once

#include <QString>

#include <functional>

// What the call threw, as text: an exception's message, "int N" for a cancel code, or
// "(nothing thrown)".
QString thrownText(const std::function<void()> &call);
