#pragma once

#include <utility>
#include <vector>

namespace velmora {

// The colour-table merge's one sort. It is not stable, and which of several
// equal elements ends first decides palette indices, so files written before
// keep their exact bytes only with this very partitioning: pivot at
// (L + R) / 2, i scans up while its element sorts before the pivot, j scans
// down while its element sorts after it, swap and step both while i <= j;
// recurse on the left part, loop on the right part.
template <typename T, typename Before>
void list_quick_sort(std::vector<T>& items, int left, int right, Before before)
{
    if (left >= right)
        return;
    int i;
    do {
        i = left;
        int j = right;
        const T pivot = items[static_cast<std::size_t>((left + right) / 2)];
        do {
            while (before(items[static_cast<std::size_t>(i)], pivot))
                ++i;
            while (before(pivot, items[static_cast<std::size_t>(j)]))
                --j;
            if (i <= j) {
                std::swap(items[static_cast<std::size_t>(i)], items[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (left < j)
            list_quick_sort(items, left, j, before);
        left = i;
    } while (i < right);
}

template <typename T, typename Before> void list_quick_sort(std::vector<T>& items, Before before)
{
    list_quick_sort(items, 0, static_cast<int>(items.size()) - 1, before);
}

} // namespace velmora
