#include "framework/system/zAssert.h"

#include <gtest/gtest.h>

#if defined(TAVRIN_ASSERTS)

TEST(zAssertDeathTest, ABrokenInvariantAbortsNamingTheConditionAndItsPlace)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const int index = 7;
    EXPECT_DEATH(TAVRIN_ASSERT(index < 4), "Assertion failed: index < 4 \\(.*zAssertTest\\.cpp:[0-9]+\\)");
}

TEST(zAssert, AHeldInvariantIsEvaluatedOnceAndPasses)
{
    int evaluated = 0;
    TAVRIN_ASSERT(++evaluated == 1);
    EXPECT_EQ(evaluated, 1);
}

#else

TEST(zAssert, OffTheConditionIsNeverEvaluated)
{
    int evaluated = 0;
    TAVRIN_ASSERT(++evaluated == 1);
    TAVRIN_ASSERT(++evaluated == 100);
    EXPECT_EQ(evaluated, 0);
}

#endif
