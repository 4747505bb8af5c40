#pragma once

#include <functional>

// The first of count rows, searched from start to the end and then from the top up to start,
// that matches; -1 when none does. Both searches of the main window go round this way.
inline int wrappedSearch(int count, int start, const std::function<bool(int row)> &matches)
{
    if (start < 0 || start > count)
        start = 0;
    for (int i = 0; i < count; ++i) {
        const int row = (start + i) % count;
        if (matches(row))
            return row;
    }
    return -1;
}
