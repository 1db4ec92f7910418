#include "GeometryTestSupport.h"
#include "ResourceTestSupport.h"

#include "core/geometry/zGeometry.h"
#include "core/item/zItem.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <new>

// The engine allocates with the non-throwing new wherever it checks the
// result; this binary's replacement of it can be told to refuse every
// allocation from the n-th on, as an exhausted heap would.
namespace {
int allocationsLeft = -1;
bool allocationRefused = false;
} // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (allocationsLeft == 0) {
        allocationRefused = true;
        return nullptr;
    }
    if (allocationsLeft > 0)
        --allocationsLeft;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

int CountTags(const zMetaTag* tag)
{
    int count = tag != nullptr ? 1 : 0;
    for (const zMetaTag* child = tag != nullptr ? tag->GetFirstChild() : nullptr; child != nullptr;
         child = child->GetNextSibling())
        count += CountTags(child);
    return count;
}

// What the writers write, made before any allocation is refused.
struct Subjects {
    explicit Subjects(Tavrin* core) : renderer(core), strip(core, "strip")
    {
        item.position = zVector(1.0f, 2.0f, 3.0f);
        item.rotation = zVector(0.5f, 0.0f, 0.0f);
        item.flags = zItem::HasTarget | zItem::Invisible;
        FillSkinnedStrip(strip);
    }
    ResourceRenderer renderer;
    zItem item{nullptr};
    zGeometry strip;
};

struct WriterCase {
    const char* name;
    // The message when not even the root tag can be made.
    const char* rootMessage;
    std::function<zMetaTag*(Subjects&)> write;
};

void PrintTo(const WriterCase& c, std::ostream* out)
{
    *out << c.name;
}

class WriterAllocationFailure : public ::testing::TestWithParam<WriterCase> {
protected:
    void TearDown() override { allocationsLeft = -1; }
};

TEST_P(WriterAllocationFailure, EachFailedTagIsLeftOutAndTheRestWritten)
{
    // Whichever allocation fails, the writer neither throws nor crashes: with
    // no root it returns null and says so, otherwise it returns the tags it
    // could make (fewer than the full tree), and nothing leaks.
    Tavrin core;
    Subjects subjects(&core);
    const std::unique_ptr<zMetaTag> full(GetParam().write(subjects));
    ASSERT_NE(full, nullptr);
    const int fullCount = CountTags(full.get());
    ASSERT_GT(fullCount, 3);
    for (int successes = 0; successes < 100000; ++successes) {
        LogCapture log;
        allocationsLeft = successes;
        allocationRefused = false;
        const std::unique_ptr<zMetaTag> tag(GetParam().write(subjects));
        allocationsLeft = -1;
        if (successes == 0) {
            EXPECT_EQ(tag, nullptr);
            EXPECT_TRUE(log.Contains(GetParam().rootMessage));
            continue;
        }
        ASSERT_NE(tag, nullptr) << "after " << successes << " allocations";
        if (!allocationRefused) {
            // Every allocation succeeded: the whole tree.
            EXPECT_EQ(CountTags(tag.get()), fullCount);
            return;
        }
        EXPECT_LT(CountTags(tag.get()), fullCount) << "after " << successes << " allocations";
    }
    FAIL() << "the writer never finished";
}

INSTANTIATE_TEST_SUITE_P(
    Writers, WriterAllocationFailure,
    ::testing::Values(
        WriterCase{"Item", "Could not serialize item. Failed to create root tag.",
                   [](Subjects& s) { return s.item.AsMetaTag(nullptr); }},
        WriterCase{"Geometry", "Could not create root tag to serialize geometry 'strip'.",
                   [](Subjects& s) { return s.strip.AsMetaTag(nullptr); }}),
    [](const ::testing::TestParamInfo<WriterCase>& info) { return std::string(info.param.name); });

} // namespace
