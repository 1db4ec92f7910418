#include "framework/data_structure/zWeakRef.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Target : zWeakTarget {
    int value = 7;
};

// The target base sits after another base, so its address differs from the
// object's: the reference must hand back the object, not the base.
struct Other {
    virtual ~Other() = default;
    double padding = 0;
};
struct Derived : Other, zWeakTarget {
    int value = 9;
};

TEST(WeakRef, ReadsTheTargetUntilItIsDestroyed)
{
    auto target = std::make_unique<Target>();
    zWeakRef<Target> a = target.get();
    zWeakRef<Target> b = a;
    zWeakRef<Target> c;
    c = target.get();
    EXPECT_EQ(a.Get(), target.get());
    EXPECT_EQ(b->value, 7);
    EXPECT_TRUE(target->HasWeakRefs());
    target.reset();
    EXPECT_EQ(a.Get(), nullptr);
    EXPECT_EQ(b.Get(), nullptr);
    EXPECT_EQ(c.Get(), nullptr);
}

TEST(WeakRef, AReferenceGoneFirstLeavesTheOthersLinked)
{
    auto target = std::make_unique<Target>();
    zWeakRef<Target> kept = target.get();
    {
        zWeakRef<Target> first = target.get();
        zWeakRef<Target> last = target.get();
    }
    EXPECT_EQ(kept.Get(), target.get());
    kept.Reset();
    EXPECT_FALSE(target->HasWeakRefs());
}

TEST(WeakRef, RetargetingLeavesTheOldTarget)
{
    Target one, two;
    zWeakRef<Target> ref = &one;
    ref = &two;
    EXPECT_FALSE(one.HasWeakRefs());
    EXPECT_EQ(ref.Get(), &two);
    ref = nullptr;
    EXPECT_FALSE(two.HasWeakRefs());
    EXPECT_EQ(ref.Get(), nullptr);
}

TEST(WeakRef, MovesRelinkAndLeaveTheSourceNull)
{
    auto target = std::make_unique<Target>();
    zWeakRef<Target> source = target.get();
    zWeakRef<Target> moved = std::move(source);
    EXPECT_EQ(source.Get(), nullptr);
    EXPECT_EQ(moved.Get(), target.get());

    // A vector that grows moves its references to new addresses.
    std::vector<zWeakRef<Target>> refs;
    for (int i = 0; i < 100; ++i)
        refs.emplace_back(target.get());
    target.reset();
    for (const zWeakRef<Target>& ref : refs)
        EXPECT_EQ(ref.Get(), nullptr);
    EXPECT_EQ(moved.Get(), nullptr);
}

TEST(WeakRef, ACopiedTargetIsNotReferenced)
{
    Target original;
    zWeakRef<Target> ref = &original;
    Target copy = original;
    EXPECT_FALSE(copy.HasWeakRefs());
    copy = original;
    EXPECT_FALSE(copy.HasWeakRefs());
    EXPECT_EQ(ref.Get(), &original);
}

TEST(WeakRef, ReleasingEarlyClearsBeforeTheDestructorRuns)
{
    Target target;
    zWeakRef<Target> ref = &target;
    target.ReleaseWeakRefs();
    EXPECT_EQ(ref.Get(), nullptr);
    EXPECT_FALSE(target.HasWeakRefs());
}

TEST(WeakRef, HandsBackTheObjectWhenTheBaseIsNotFirst)
{
    auto object = std::make_unique<Derived>();
    zWeakRef<Derived> ref = object.get();
    EXPECT_EQ(ref.Get(), object.get());
    EXPECT_EQ(ref->value, 9);
    object.reset();
    EXPECT_EQ(ref.Get(), nullptr);
}

} // namespace
