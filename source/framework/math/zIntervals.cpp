#include "framework/math/zIntervals.h"

#include "framework/math/zVector.h"

#include <utility>

namespace {

void ProjectInterval(const zVector& axis, int count, const zVector* points, float& lo, float& hi)
{
    lo = hi = count > 0 ? axis.Dot(points[0]) : 0.0f;
    for (int i = 1; i < count; ++i) {
        const float p = axis.Dot(points[i]);
        if (p < lo)
            lo = p;
        if (p > hi)
            hi = p;
    }
}

} // namespace

int CompareProjectedIntervals(const zVector& axis, int countA, const zVector* pointsA, int countB, const zVector* pointsB)
{
    float a0, a1, b0, b1;
    ProjectInterval(axis, countA, pointsA, a0, a1);
    ProjectInterval(axis, countB, pointsB, b0, b1);
    if (a1 < b0 || a0 > b1)
        return 0;
    if (a0 < b0 && a1 > b1)
        return 1;
    return 2;
}

void SortFloatKeyedPairs(zFloatKeyedPair* array, int first, int last)
{
    while (first < last) {
        std::swap(array[first], array[first + (last - first) / 2]);
        int end = first;
        for (int i = first + 1; i <= last; ++i) {
            if (array[i].key < array[first].key)
                std::swap(array[++end], array[i]);
        }
        std::swap(array[first], array[end]);
        // The two parts are sorted independently, so which one recurses does
        // not change the result; recursing into the smaller bounds the depth.
        if (end - first < last - end) {
            SortFloatKeyedPairs(array, first, end - 1);
            first = end + 1;
        } else {
            SortFloatKeyedPairs(array, end + 1, last);
            last = end - 1;
        }
    }
}

void SortIntKeyedPairs(int count, zIntKeyedPair* array, zIntKeyedPair* output)
{
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (int i = 1; i < count; ++i) {
            if (array[i].key < array[i - 1].key) {
                std::swap(array[i], array[i - 1]);
                swapped = true;
            }
        }
    }
    for (int i = 0; i < count; ++i)
        output[i] = array[i];
}

zString GetSystemLocale()
{
    return zString("EN");
}
