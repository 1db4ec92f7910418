#include "framework/data_structure/zArray.h"
#include "framework/data_structure/zMemoryRingBuffer.h"
#include "framework/data_structure/zProperty.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace {

struct Item : zArrayItem {
    Item(int value, int* deleted) : value(value), deleted(deleted) {}
    ~Item() override { ++*deleted; }
    int value;
    int* deleted;
};

} // namespace

TEST(zArray, GrowsByTwiceCapacityPlusFour)
{
    int deleted = 0;
    zArray array;
    std::vector<uint32_t> capacities;
    for (int i = 0; i < 29; ++i) {
        ASSERT_TRUE(array.Add(new Item(i, &deleted)));
        if (capacities.empty() || capacities.back() != array.GetCapacity())
            capacities.push_back(array.GetCapacity());
    }
    EXPECT_EQ(capacities, (std::vector<uint32_t>{4, 12, 28, 60}));
    for (uint32_t i = 0; i < array.GetCount(); ++i)
        EXPECT_EQ(static_cast<Item*>(array[i])->value, int(i));
    array.Clear(true);
    EXPECT_EQ(deleted, 29);
    EXPECT_EQ(array.GetCapacity(), 0u);
}

TEST(zArray, FullArrayWithoutGrowthRefuses)
{
    int deleted = 0;
    zArray array;
    Item loose(0, &deleted);
    EXPECT_FALSE(array.Add(&loose, false));
    ASSERT_TRUE(array.Resize(1));
    auto* kept = new Item(1, &deleted);
    EXPECT_TRUE(array.Add(kept, false));
    EXPECT_FALSE(array.Add(&loose, false));
    EXPECT_EQ(array.GetCount(), 1u);
    array.Clear(false);
    EXPECT_EQ(deleted, 0);
    delete kept;
}

TEST(zArray, ResizeRulesAndMessages)
{
    LogCapture capture;
    int deleted = 0;
    zArray array;
    for (int i = 0; i < 5; ++i)
        array.Add(new Item(i, &deleted));
    ASSERT_EQ(array.GetCapacity(), 12u);

    EXPECT_FALSE(array.Resize(12));
    EXPECT_TRUE(capture.lines.empty());

    EXPECT_FALSE(array.Resize(4));
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_EQ(capture.lines[0].rfind("[!] zArray::Resize (", 0), 0u);
    EXPECT_NE(capture.lines[0].find(") Cannot shrink array, too many entries.\n"), std::string::npos);

    EXPECT_FALSE(array.Resize(1u << 30));
    ASSERT_EQ(capture.lines.size(), 2u);
    EXPECT_NE(capture.lines[1].find(") Failed to resize array, new() failed.\n"), std::string::npos);
    EXPECT_EQ(array.GetCapacity(), 12u);

    EXPECT_TRUE(array.Resize(5));
    EXPECT_EQ(array.GetCapacity(), 5u);
    for (uint32_t i = 0; i < 5; ++i)
        EXPECT_EQ(static_cast<Item*>(array[i])->value, int(i));
    EXPECT_EQ(deleted, 0);
}

TEST(zArray, OutOfRangeAccessWarnsAndYieldsNull)
{
    LogCapture capture;
    int deleted = 0;
    zArray array;
    EXPECT_EQ(array[0], nullptr);
    array.Add(new Item(7, &deleted));
    EXPECT_NE(array[0], nullptr);
    EXPECT_EQ(array[1], nullptr);
    ASSERT_EQ(capture.lines.size(), 2u);
    EXPECT_EQ(capture.lines[1].rfind("[*] zArray::operator [] (", 0), 0u);
    EXPECT_NE(capture.lines[1].find(") Out of bound array access.\n"), std::string::npos);
}

TEST(zProperty, TypedAccess)
{
    zProperty p("Width", int32_t(800));
    EXPECT_STREQ(p.GetName().Get(), "Width");
    int32_t i = 0;
    float f = 2.5f;
    const char* text = "untouched";
    EXPECT_TRUE(p.GetInt(i));
    EXPECT_EQ(i, 800);
    EXPECT_FALSE(p.GetFloat(f));
    EXPECT_FALSE(p.GetString(text));
    EXPECT_FLOAT_EQ(f, 2.5f);
    EXPECT_STREQ(text, "untouched");

    p.SetFloat(1.25f);
    EXPECT_FALSE(p.GetInt(i));
    EXPECT_EQ(i, 800);
    EXPECT_TRUE(p.GetFloat(f));
    EXPECT_FLOAT_EQ(f, 1.25f);

    p.SetString("");
    ASSERT_TRUE(p.GetString(text));
    EXPECT_EQ(text, nullptr);
    p.SetString("gl2");
    ASSERT_TRUE(p.GetString(text));
    EXPECT_STREQ(text, "gl2");

    zProperty s("Renderer", "none");
    EXPECT_EQ(s.GetType(), zProperty::String);
    zProperty r("AspectRatio", 1.0f);
    EXPECT_EQ(r.GetType(), zProperty::Float);
    r.ResetType();
    EXPECT_EQ(r.GetType(), zProperty::None);
    EXPECT_FALSE(r.GetFloat(f));
}

TEST(zMemoryRingBuffer, LogsItsAllocation)
{
    LogCapture capture;
    zMemoryRingBuffer ring;
    ASSERT_TRUE(ring.Allocate(4096, 8));
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_EQ(capture.lines[0], "Allocate 32kb ring buffer (8*4096 bytes)\n");

    EXPECT_FALSE(ring.Allocate(0, 8));
    ASSERT_EQ(capture.lines.size(), 2u);
    EXPECT_EQ(capture.lines[1].rfind("[!] zMemoryRingBuffer::Allocate (", 0), 0u);
    EXPECT_NE(capture.lines[1].find(") Failed to allocate ring buffer.\n"), std::string::npos);
}

TEST(zMemoryRingBuffer, OnlyCompleteBlocksAreReadable)
{
    LogCapture quiet;
    zMemoryRingBuffer ring;
    ASSERT_TRUE(ring.Allocate(4096, 2));
    std::vector<unsigned char> data(100, 7);
    EXPECT_EQ(ring.Write(data.data(), 100), 0u);
    std::vector<unsigned char> out(4096);
    EXPECT_EQ(ring.Read(out.data(), 4096), 0u);

    std::vector<unsigned char> rest(3996, 9);
    EXPECT_EQ(ring.Write(rest.data(), 3996), 0u);
    EXPECT_EQ(ring.Read(out.data(), 50), 50u);
    EXPECT_EQ(out[49], 7);
    EXPECT_EQ(ring.Read(out.data(), 4096), 4046u);
    EXPECT_EQ(out[49], 7);
    EXPECT_EQ(out[50], 9);
    EXPECT_EQ(out[4045], 9);
}

TEST(zMemoryRingBuffer, WrapsAroundAndReportsOverflow)
{
    LogCapture quiet;
    constexpr uint32_t BlockSize = 16;
    constexpr uint32_t BlockCount = 4;
    zMemoryRingBuffer ring;
    ASSERT_TRUE(ring.Allocate(BlockSize, BlockCount));

    std::vector<unsigned char> pattern(BlockSize * BlockCount + 10);
    std::iota(pattern.begin(), pattern.end(), 0);
    EXPECT_EQ(ring.Write(pattern.data(), uint32_t(pattern.size())), 10u);
    EXPECT_EQ(ring.GetFreeBlockCount(), 0u);

    std::vector<unsigned char> out(pattern.size());
    EXPECT_EQ(ring.Read(out.data(), uint32_t(out.size())), BlockSize * BlockCount);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + BlockSize * BlockCount, pattern.begin()));

    // Many rounds through the ring keep the byte order.
    unsigned char next = 0;
    unsigned char expected = 0;
    for (int round = 0; round < 20; ++round) {
        unsigned char chunk[24];
        for (unsigned char& c : chunk)
            c = next++;
        EXPECT_EQ(ring.Write(chunk, sizeof chunk), 0u);
        unsigned char got[24];
        const uint32_t n = ring.Read(got, sizeof got);
        for (uint32_t i = 0; i < n; ++i)
            ASSERT_EQ(got[i], expected++) << "round " << round;
    }
    // Null data reserves and discards space.
    EXPECT_EQ(ring.Write(nullptr, BlockSize), 0u);
    EXPECT_GT(ring.Read(nullptr, BlockSize * BlockCount), 0u);
}

TEST(zMemoryRingBuffer, AdoptedMemoryIsUsedAndNotFreed)
{
    LogCapture quiet;
    std::vector<unsigned char> memory(64, 0);
    {
        zMemoryRingBuffer ring;
        ASSERT_TRUE(ring.Allocate(32, 2, memory.data()));
        unsigned char chunk[32];
        std::fill(std::begin(chunk), std::end(chunk), 5);
        ring.Write(chunk, 32);
    }
    EXPECT_EQ(memory[0], 5);
    EXPECT_EQ(memory[31], 5);
}
