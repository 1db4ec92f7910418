#pragma once

#include "framework/tools/zString.h"

#include <cstdint>

class zVector;

// 0 when the projections of the two point sets on the axis are disjoint,
// 1 when A's strictly contains B's, else 2.
int CompareProjectedIntervals(const zVector& axis, int countA, const zVector* pointsA, int countB, const zVector* pointsB);

struct zFloatKeyedPair {
    float key;
    int32_t value;
};

struct zIntKeyedPair {
    int32_t key;
    void* pointer;
};

// Ascending by key over first .. last inclusive; equal keys end in an order
// the render queue relies on, so the partitioning must not change.
void SortFloatKeyedPairs(zFloatKeyedPair* array, int first, int last);
// Stable bubble sort of count records, then copied to output.
void SortIntKeyedPairs(int count, zIntKeyedPair* array, zIntKeyedPair* output);

// The locale is fixed.
zString GetSystemLocale();
