#pragma once

#include <algorithm>
#include <utility>

// Sorts by a rule that orders close neighbours differently from far ones ("close in id and in
// time: by id, else by time"). Such a rule is not transitive for every set of items, and
// std::sort may then run past the range. Here a strict order comes first, and an insertion
// pass by the rule then only moves items across their close neighbours; it never leaves the
// range, whatever the rule answers.
template <typename Iterator, typename Strict, typename Rule>
void neighbourSort(Iterator first, Iterator last, Strict strict, Rule rule)
{
    std::stable_sort(first, last, strict);
    if (first == last)
        return;
    for (Iterator i = std::next(first); i != last; ++i) {
        auto current = std::move(*i);
        Iterator j = i;
        while (j != first && rule(current, *std::prev(j))) {
            *j = std::move(*std::prev(j));
            --j;
        }
        *j = std::move(current);
    }
}
