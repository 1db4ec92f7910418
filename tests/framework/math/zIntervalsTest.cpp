#include "framework/math/zIntervals.h"
#include "framework/math/zVector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

namespace {

// The sort as the engine always ran it: recursion on the left part, iteration on the right.
void ReferenceSort(zFloatKeyedPair* v, int left, int right)
{
    while (left < right) {
        std::swap(v[left], v[(left + right) / 2]);
        int last = left;
        for (int i = left + 1; i <= right; ++i) {
            if (v[i].key < v[left].key)
                std::swap(v[++last], v[i]);
        }
        std::swap(v[left], v[last]);
        ReferenceSort(v, left, last - 1);
        left = last + 1;
    }
}

std::vector<zFloatKeyedPair> Numbered(const std::vector<float>& keys)
{
    std::vector<zFloatKeyedPair> pairs;
    for (size_t i = 0; i < keys.size(); ++i)
        pairs.push_back({keys[i], int32_t(i)});
    return pairs;
}

void ExpectSameOrder(const std::vector<zFloatKeyedPair>& a, const std::vector<zFloatKeyedPair>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].value, b[i].value) << "position " << i;
        ASSERT_EQ(a[i].key, b[i].key);
    }
}

} // namespace

TEST(CompareProjectedIntervals, DisjointContainedOrOverlapping)
{
    const zVector a[] = {{0, 0, 0}, {4, 9, 9}};
    struct Case {
        zVector b0, b1;
        int expected;
    };
    const Case cases[] = {
        {{1, -5, 0}, {3, 5, 0}, 1},     // strictly inside on x
        {{0, 0, 0}, {3, 0, 0}, 2},      // shares an end: not strict
        {{3, 0, 0}, {6, 0, 0}, 2},
        {{-2, 0, 0}, {6, 0, 0}, 2},     // B contains A
        {{4, 0, 0}, {5, 0, 0}, 2},      // touching is not disjoint
        {{4.5f, 0, 0}, {5, 0, 0}, 0},
        {{-3, 0, 0}, {-1, 0, 0}, 0},
    };
    const zVector axis(1, 0, 0, 123);
    for (const Case& c : cases) {
        const zVector b[] = {c.b0, c.b1};
        EXPECT_EQ(CompareProjectedIntervals(axis, 2, a, 2, b), c.expected) << c.b0.x << ".." << c.b1.x;
    }
    // A longer axis scales both intervals alike; only x, y, z take part.
    const zVector diagonal(1, 1, 0, 0);
    const zVector b[] = {{1, 1, 0}, {2, 2, 50}};
    EXPECT_EQ(CompareProjectedIntervals(diagonal, 2, a, 2, b), 1);
}

TEST(SortFloatKeyedPairs, SortsAscending)
{
    std::vector<zFloatKeyedPair> pairs = Numbered({5, -1, 3, 3, 0.5f, 9, -7, 3});
    SortFloatKeyedPairs(pairs.data(), 0, int(pairs.size()) - 1);
    for (size_t i = 1; i < pairs.size(); ++i)
        EXPECT_LE(pairs[i - 1].key, pairs[i].key);
    EXPECT_EQ(pairs.front().value, 6);
    EXPECT_EQ(pairs.back().value, 5);
}

TEST(SortFloatKeyedPairs, SubrangeOnlyAndTrivialRanges)
{
    std::vector<zFloatKeyedPair> pairs = Numbered({9, 8, 7, 6, 5});
    SortFloatKeyedPairs(pairs.data(), 1, 3);
    const int32_t expected[] = {0, 3, 2, 1, 4};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(pairs[i].value, expected[i]);

    const std::vector<zFloatKeyedPair> before = pairs;
    SortFloatKeyedPairs(pairs.data(), 2, 2);
    SortFloatKeyedPairs(pairs.data(), 4, 1);
    ExpectSameOrder(pairs, before);
}

TEST(SortFloatKeyedPairs, EqualKeysEndInTheEnginesOrder)
{
    // The render order of equal-depth items follows this exact permutation.
    std::vector<zFloatKeyedPair> pairs = Numbered({2, 2, 2, 2, 2, 2, 2});
    SortFloatKeyedPairs(pairs.data(), 0, 6);
    // By hand: the middle record moves to the front, then each right part repeats that.
    const int32_t expected[] = {3, 0, 4, 2, 5, 1, 6};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(pairs[i].value, expected[i]) << i;
}

TEST(SortFloatKeyedPairs, PermutationMatchesTheRecursiveOriginal)
{
    std::mt19937 random(99);
    for (const int size : {2, 3, 10, 100, 1000, 5000}) {
        for (const int distinct : {1, 3, 50, 1 << 20}) {
            std::uniform_int_distribution<int> key(0, distinct - 1);
            std::vector<float> keys(size_t(size), 0.0f);
            for (float& k : keys)
                k = float(key(random));
            std::vector<zFloatKeyedPair> ours = Numbered(keys);
            std::vector<zFloatKeyedPair> reference = ours;
            SortFloatKeyedPairs(ours.data(), 0, size - 1);
            ReferenceSort(reference.data(), 0, size - 1);
            ExpectSameOrder(ours, reference);
        }
    }
}

TEST(SortFloatKeyedPairs, HandlesTheWorstCaseOrder)
{
    // Arrange keys so that every middle pivot is the largest remaining key:
    // each pass leaves everything in the left part, which the engine's sort
    // entered recursively once per record.
    const int size = 10000;
    std::vector<int> slot(size_t(size), 0);
    for (int i = 0; i < size; ++i)
        slot[size_t(i)] = i;
    std::vector<float> keys(size_t(size), 0.0f);
    float next = float(size);
    for (int last = size - 1; last > 0; --last) {
        std::swap(slot[0], slot[size_t(last / 2)]);
        keys[size_t(slot[0])] = next;
        next -= 1.0f;
        std::swap(slot[0], slot[size_t(last)]);
    }
    keys[size_t(slot[0])] = next;

    std::vector<zFloatKeyedPair> pairs = Numbered(keys);
    SortFloatKeyedPairs(pairs.data(), 0, size - 1);
    for (int i = 0; i < size; ++i)
        ASSERT_EQ(pairs[size_t(i)].key, float(i + 1)) << i;
}

TEST(SortIntKeyedPairs, StableBubbleSortIntoTheOutput)
{
    int tags[6];
    zIntKeyedPair pairs[6] = {{5, &tags[0]}, {-2, &tags[1]}, {5, &tags[2]}, {0, &tags[3]}, {-2, &tags[4]}, {7, &tags[5]}};
    zIntKeyedPair output[6];
    SortIntKeyedPairs(6, pairs, output);
    const int order[] = {1, 4, 3, 0, 2, 5};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(output[i].pointer, &tags[order[i]]) << i;
        EXPECT_EQ(pairs[i].pointer, &tags[order[i]]) << i;  // sorted in place as well
    }

    zIntKeyedPair one[1] = {{3, nullptr}};
    zIntKeyedPair oneOut[1] = {{0, &tags[0]}};
    SortIntKeyedPairs(1, one, oneOut);
    EXPECT_EQ(oneOut[0].key, 3);
    EXPECT_EQ(oneOut[0].pointer, nullptr);
}

TEST(GetSystemLocale, IsFixed)
{
    EXPECT_TRUE(GetSystemLocale() == "EN");
}
