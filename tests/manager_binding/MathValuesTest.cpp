#include "manager_binding/MathScriptFixture.h"

#include <array>

#include "framework/math/zMinMax.h"

namespace {

struct RectCase {
    const char* name;
    const char* value; // a script expression
    std::array<int32_t, 4> expected;
    bool complete;
};

void PrintTo(const RectCase& c, std::ostream* os)
{
    *os << c.name;
}

class RectReaderTest : public MathScriptTest, public ::testing::WithParamInterface<RectCase> {};

TEST_P(RectReaderTest, ReadsTruncatedMembersAndKeepsTheStack)
{
    const RectCase& c = GetParam();
    ASSERT_TRUE(RunText("class Rect { sx = 0; sy = 0; ex = 0; ey = 0; constructor(a, b, c, d) { sx = a; sy = b; ex = c; ey = d } }"
                        "value <- " + std::string(c.value)));
    sq_pushroottable(v);
    sq_pushstring(v, "value", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_pushinteger(v, 77); // something above the value: the index is negative
    const SQInteger top = sq_gettop(v);
    int32_t out[4] = {-9, -9, -9, -9};
    EXPECT_EQ(c.complete, SqGetRect(v, -2, out));
    EXPECT_EQ(top, sq_gettop(v));
    EXPECT_EQ(c.expected, (std::array<int32_t, 4>{out[0], out[1], out[2], out[3]}));
    SQInteger marker = 0;
    sq_getinteger(v, -1, &marker);
    EXPECT_EQ(77, marker);
    sq_settop(v, 0);
}

INSTANTIATE_TEST_SUITE_P(Rects, RectReaderTest,
                         ::testing::Values(RectCase{"Instance", "Rect(2.9, 1, -2.9, 100.5)", {2, 1, -2, 100}, true},
                                           RectCase{"Table", "{sx = 10, sy = -3.99, ex = 0.5, ey = 7}", {10, -3, 0, 7}, true},
                                           RectCase{"MissingMember", "{sx = 1, sy = 2, ex = 3}", {1, 2, 3, 0}, false},
                                           RectCase{"NotANumber", "{sx = 1, sy = \"2\", ex = 3, ey = 4}", {1, 0, 3, 4}, false},
                                           RectCase{"OutOfRange", "{sx = 1e20, sy = -1e20, ex = 3, ey = 4}", {0, 0, 3, 4}, false},
                                           RectCase{"NotAContainer", "12", {0, 0, 0, 0}, false}),
                         [](const ::testing::TestParamInfo<RectCase>& info) { return std::string(info.param.name); });

// A caller may attach a heap value of its own with a release hook; methods
// read it and the hook frees it once, when the instance goes.
int releasedHeapVectors = 0;

SQInteger ReleaseHeapVector(SQUserPointer p, SQInteger)
{
    delete static_cast<zVector*>(p);
    ++releasedHeapVectors;
    return 0;
}

TEST_F(MathScriptTest, HeapValueAttachedByACallerIsReadAndReleasedOnce)
{
    releasedHeapVectors = 0;
    sq_pushroottable(v);
    sq_pushstring(v, "heap", -1);
    sq_pushstring(v, "Vector", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -3)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_createinstance(v, -1)));
    sq_remove(v, -2);
    sq_setinstanceup(v, -1, new zVector(3.0f, 4.0f, 12.0f));
    sq_setreleasehook(v, -1, ReleaseHeapVector);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);

    ASSERT_TRUE(RunText("len <- heap.Len(); sum <- heap + Vector(1.0, 1.0, 1.0); heap = null"));
    EXPECT_EQ(1, releasedHeapVectors);
    EXPECT_EQ(zVector(4, 5, 13).x, Global("sum").x);
    EXPECT_EQ(zVector(4, 5, 13).z, Global("sum").z);
    master.StopVM();
    EXPECT_EQ(1, releasedHeapVectors);
}

// A result of the instance's own class is made from that class; any other
// result comes from the root table's class of that name, and is null when
// that is not the native one.
TEST_F(MathScriptTest, ResultsNeedTheNativeClassesOnceTheRootNamesAreReplaced)
{
    ASSERT_TRUE(RunText("a <- Vector(1.0, 2.0, 3.0); m <- Matrix3(); m4 <- Matrix4(); Vector <- class {}; Matrix3 <- null;"
                        "sum <- a + a; row <- m.GetRow(0); basis <- RotationMatrixFromDirection(a);"
                        "part <- m4.AsMatrix3(); product <- m4 * m4"));
    std::string error;
    ASSERT_TRUE(RunText("if (typeof sum != \"Vector\" || sum.x != 2.0) throw \"sum\";"
                        "if (row != null || basis != null || part != null) throw \"not null\";"
                        "if (typeof product != \"Matrix4\") throw \"product\"",
                        &error))
        << error;
}

TEST_F(MathScriptTest, ManyTemporariesAreFreedAsTheyGo)
{
    // Results are collected by reference counting as the loop drops them; the
    // sanitizer build checks nothing leaks or is freed twice.
    std::string error;
    ASSERT_TRUE(RunText("local a = Vector(1.0, 2.0, 3.0); local m = Matrix4(); local n = Matrix3();"
                        "for (local i = 0; i < 20000; i++) { a = (a * 0.5 + Vector(1.0, 0.0, 0.0)) * m;"
                        "  local c = clone a; c = c.Cross(a).ApplyRotationMatrix(n); m = m * Matrix4(); n = clone n }"
                        "result <- a",
                        &error))
        << error;
    zVector a(1, 2, 3);
    for (int i = 0; i < 20000; ++i)
        a = (a * 0.5f + zVector(1, 0, 0)).Transform(zMatrix4());
    const zVector result = Global("result");
    EXPECT_FLOAT_EQ(a.x, result.x);
    EXPECT_FLOAT_EQ(a.y, result.y);
    EXPECT_FLOAT_EQ(a.z, result.z);
}

} // namespace

namespace {

TEST_F(MathScriptTest, PushedVectorsAreNativeInstances)
{
    const SQInteger top = sq_gettop(v);
    ASSERT_TRUE(SqPushVector(v, zVector(1.0f, 2.0f, 3.0f, 4.0f)));
    ASSERT_TRUE(SqPushVector(v, zVector(1.0f, 2.0f, 3.0f, 4.0f), true));
    const float four[4] = {5.0f, 6.0f, 7.0f, 8.0f};
    ASSERT_TRUE(SqPushVector4(v, four));
    ASSERT_EQ(top + 3, sq_gettop(v));
    const zVector* withoutW = SqGetVectorInstance(v, -3);
    const zVector* withW = SqGetVectorInstance(v, -2);
    const zVector* fromFour = SqGetVectorInstance(v, -1);
    ASSERT_TRUE(withoutW && withW && fromFour);
    EXPECT_EQ(3.0f, withoutW->z);
    EXPECT_EQ(1.0f, withoutW->w);
    EXPECT_EQ(4.0f, withW->w);
    EXPECT_EQ(5.0f, fromFour->x);
    EXPECT_EQ(8.0f, fromFour->w);
    sq_settop(v, top);
    EXPECT_TRUE(master.IsOk());
}

// A failed member read must not take anything else off the stack.
TEST_F(MathScriptTest, ReadingValuesWithMissingMembersKeepsTheStack)
{
    ASSERT_TRUE(RunText("partial <- {x = 1.0, z = 3.0}; box <- {min = {x = 1, y = 2, z = 3}}"));
    const SQInteger top = sq_gettop(v);
    sq_pushinteger(v, 77);
    sq_pushroottable(v);
    sq_pushstring(v, "partial", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -2)));
    sq_remove(v, -2);
    zVector out;
    EXPECT_FALSE(SqGetVector(v, -1, out, true));
    EXPECT_EQ(top + 2, sq_gettop(v));
    EXPECT_EQ(1.0f, out.x);
    EXPECT_EQ(0.0f, out.y);
    EXPECT_EQ(3.0f, out.z);
    sq_pop(v, 1);

    sq_pushroottable(v);
    sq_pushstring(v, "box", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -2)));
    sq_remove(v, -2);
    zMinMax box;
    EXPECT_FALSE(SqGetMinMax(v, -1, box));
    EXPECT_EQ(top + 2, sq_gettop(v));
    EXPECT_EQ(2.0f, box.min.y);
    sq_pop(v, 1);

    SQInteger marker = 0;
    sq_getinteger(v, -1, &marker);
    EXPECT_EQ(77, marker);
    sq_settop(v, top);
}

} // namespace

namespace {

void SetInstanceWithoutStorage(HSQUIRRELVM v, const char* global, const char* className)
{
    sq_pushroottable(v);
    sq_pushstring(v, global, -1);
    sq_pushstring(v, className, -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -3)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_createinstance(v, -1)));
    sq_remove(v, -2);
    sq_setinstanceup(v, -1, nullptr);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

TEST_F(MathScriptTest, InstancesWithoutStorageRaiseTheirErrors)
{
    SetInstanceWithoutStorage(v, "empty", "Vector");
    SetInstanceWithoutStorage(v, "emptyM3", "Matrix3");
    SetInstanceWithoutStorage(v, "emptyM4", "Matrix4");
    RunCases("no_storage.nut");
    const zScriptError internal{"internal failure"};
    const zScriptError instanceType{"invalid instance type"};
    CheckAll({
        {"vector_method", internal},
        {"vector_operator", internal},
        {"vector_key", internal},
        {"vector_argument", instanceType},
        {"vector_operator_argument", instanceType},
        {"vector_copy", zScriptError{"Vector() invalid instance type"}},
        {"matrix4_rows", zScriptError{"Matrix4() invalid parameters"}},
        {"matrix3_rows", zScriptError{"Matrix3() invalid parameters"}},
        {"matrix4_method", internal},
        {"matrix3_method", internal},
        {"matrix3_argument", instanceType},
        {"function_argument", instanceType},
        {"function_matrix_argument", instanceType},
    });
}

// An instance made without its constructor has a block of zeros, which must
// not pass for a value: it is refused as an instance without storage is, and
// running the constructor on it later makes it whole.
TEST_F(MathScriptTest, InstancesMadeWithoutTheirConstructorAreRefused)
{
    RunCases("unconstructed.nut");
    const zScriptError internal{"internal failure"};
    const zScriptError instanceType{"invalid instance type"};
    CheckAll({
        {"vector_method", internal},
        {"vector_operator", internal},
        {"vector_key", internal},
        {"vector_set_key", internal},
        {"vector_set_values", internal},
        {"vector_argument", instanceType},
        {"vector_operator_argument", instanceType},
        {"vector_times_unconstructed_matrix", zScriptError{"Vector * operator: Invalid argument type.\n"}},
        {"vector_copy", zScriptError{"Vector() invalid instance type"}},
        {"vector_clone", instanceType},
        {"constructor_run_later", zVector(1.0f, 2.0f, 3.0f, 1.0f)},
        {"matrix4_rows", zScriptError{"Matrix4() invalid parameters"}},
        {"matrix3_rows", zScriptError{"Matrix3() invalid parameters"}},
        {"matrix4_method", internal},
        {"matrix4_key", internal},
        {"matrix3_method", internal},
        {"matrix4_product", instanceType},
        {"matrix3_argument", instanceType},
        {"matrix3_constructor_run_later", zMatrix3()},
        {"function_argument", instanceType},
        {"function_matrix_argument", instanceType},
    });
}

} // namespace
