#pragma once

#include <QString>

#include <functional>

// What the call threw, as text: an exception's message, "(canceled)" for a TaskCanceled, or
// "(nothing thrown)".
QString thrownText(const std::function<void()> &call);
