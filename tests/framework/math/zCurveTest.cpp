#include "framework/math/zCurve.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

struct Key {
    float time;
    float value;
    int32_t kind = zCurveKey::Linear;
};

void Build(zCurve& curve, const std::vector<Key>& keys)
{
    ASSERT_TRUE(curve.Allocate(uint32_t(keys.size())));
    for (size_t i = 0; i < keys.size(); ++i) {
        zCurveKey* key = curve.GetKey(uint32_t(i));
        key->time = keys[i].time;
        key->value = keys[i].value;
        key->kind = keys[i].kind;
    }
}

float Evaluate(zCurve& curve, float t, int32_t behaviour = -1)
{
    float v = -12345.0f;
    EXPECT_TRUE(curve.RawEvaluate(t, v, behaviour)) << "t = " << t;
    return v;
}

} // namespace

TEST(zCurve, NewCurveAndAllocation)
{
    zCurve curve;
    EXPECT_EQ(curve.GetKeyCount(), 0u);
    EXPECT_EQ(curve.preBehaviour, zCurve::Constant);
    EXPECT_EQ(curve.postBehaviour, zCurve::Constant);
    EXPECT_EQ(curve.GetMemoryFootprint(), 40u);
    EXPECT_EQ(curve.GetLastKeyTime(), 0.0f);
    float first = 1, last = 1;
    curve.GetTimeRange(first, last);
    EXPECT_EQ(first, 0.0f);
    EXPECT_EQ(last, 0.0f);

    ASSERT_TRUE(curve.Allocate(3));
    EXPECT_EQ(curve.GetKeyCount(), 3u);
    EXPECT_EQ(curve.GetMemoryFootprint(), 40u + 3u * 44u);
    const zCurveKey* key = curve.GetKey(2);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->kind, zCurveKey::Linear);
    EXPECT_EQ(key->time, 0.0f);
    for (const float p : key->parameters)
        EXPECT_EQ(p, 0.0f);

    Build(curve, {{-1, 0}, {4, 2}});
    EXPECT_EQ(curve.GetLastKeyTime(), 4.0f);
    curve.GetTimeRange(first, last);
    EXPECT_EQ(first, -1.0f);
    EXPECT_EQ(last, 4.0f);

    // More than one growth of the initial capacity.
    ASSERT_TRUE(curve.Allocate(200));
    EXPECT_EQ(curve.GetKeyCount(), 200u);
    curve.Clear();
    EXPECT_EQ(curve.GetKeyCount(), 0u);
}

TEST(zCurve, EmptyAndSingleKeyCurves)
{
    zCurve curve;
    float v = 5.0f;
    EXPECT_FALSE(curve.RawEvaluate(1.0f, v));
    EXPECT_EQ(v, 0.0f);
    Build(curve, {{1, 4}});
    for (const float t : {-3.0f, 1.0f, 8.0f}) {
        v = 0.0f;
        EXPECT_FALSE(curve.RawEvaluate(t, v));
        EXPECT_EQ(v, 4.0f);
    }
}

TEST(zCurve, LinearInsideTheKeys)
{
    zCurve curve;
    Build(curve, {{0, 0}, {2, 10}, {3, 4}, {5, 4}});
    struct Case {
        float t, v;
    };
    const Case cases[] = {{0.5f, 2.5f}, {0, 0}, {2, 10}, {2.5f, 7}, {3, 4}, {4.9f, 4}, {1, 5}, {5, 4}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(Evaluate(curve, c.t), c.v) << c.t;
}

TEST(zCurve, OutOfRangeBehaviours)
{
    zCurve curve;
    Build(curve, {{0, 0}, {2, 10}});
    struct Case {
        int32_t behaviour;
        float t;
        bool result;
        float v;
    };
    const Case cases[] = {
        {zCurve::Constant, 3, true, 10},
        {zCurve::Constant, -1, true, 0},
        {zCurve::Repeat, 3, true, 5},
        {zCurve::Repeat, 4.5f, true, 2.5f},
        {zCurve::Repeat, -0.5f, true, 7.5f},
        {zCurve::OffsetRepeat, 3, true, 15},
        {zCurve::OffsetRepeat, 4.5f, true, 22.5f},
        {zCurve::OffsetRepeat, -0.5f, true, -2.5f},
        {zCurve::Oscillate, 3, true, 5},
        {zCurve::Oscillate, 2.5f, true, 7.5f},     // one period: mirrored
        {zCurve::Oscillate, 4, true, 0},           // two periods: not mirrored
        {zCurve::Oscillate, 4.5f, true, 2.5f},
        {zCurve::Oscillate, 6.5f, true, 7.5f},
        {zCurve::Oscillate, -0.5f, true, 2.5f},    // -1 periods: odd
        {zCurve::Reset, 3, false, 0},              // after the last key: false
        {zCurve::Reset, -1, true, 0},              // before the first: true
        {7, 3, false, 0},
        {7, -1, false, 0},
    };
    for (const Case& c : cases) {
        curve.preBehaviour = c.behaviour;
        curve.postBehaviour = c.behaviour;
        float v = -1.0f;
        EXPECT_EQ(curve.RawEvaluate(c.t, v), c.result) << c.behaviour << " at " << c.t;
        EXPECT_FLOAT_EQ(v, c.v) << c.behaviour << " at " << c.t;
    }
}

TEST(zCurve, BehaviourOverrideAndSidesAreIndependent)
{
    zCurve curve;
    Build(curve, {{0, 0}, {2, 10}});
    curve.preBehaviour = zCurve::Reset;
    curve.postBehaviour = zCurve::Repeat;
    EXPECT_FLOAT_EQ(Evaluate(curve, -1), 0.0f);
    EXPECT_FLOAT_EQ(Evaluate(curve, 3), 5.0f);
    // The override replaces both.
    EXPECT_FLOAT_EQ(Evaluate(curve, 3, zCurve::Constant), 10.0f);
    EXPECT_FLOAT_EQ(Evaluate(curve, -1, zCurve::OffsetRepeat), -5.0f);
}

TEST(zCurve, PeriodsCountFromTheFirstKey)
{
    zCurve curve;
    Build(curve, {{1, 0}, {3, 10}});
    curve.postBehaviour = zCurve::Repeat;
    EXPECT_FLOAT_EQ(Evaluate(curve, 4), 5.0f);
    curve.postBehaviour = zCurve::Oscillate;
    EXPECT_FLOAT_EQ(Evaluate(curve, 3.5f), 7.5f);
    EXPECT_FLOAT_EQ(Evaluate(curve, 5.5f), 2.5f);
    curve.postBehaviour = zCurve::OffsetRepeat;
    EXPECT_FLOAT_EQ(Evaluate(curve, 4), 15.0f);

    float periods = 0;
    EXPECT_FLOAT_EQ(WrapCurveTime(8.5f, 1, 3, periods), 2.5f);
    EXPECT_EQ(periods, 3.0f);
    EXPECT_EQ(WrapCurveTime(8.5f, 2, 2, periods), 2.0f);
    EXPECT_EQ(periods, 0.0f);
}

TEST(zCurve, StepAndZeroKinds)
{
    zCurve curve;
    Build(curve, {{0, 1}, {1, 5, zCurveKey::Step}, {2, 3, zCurveKey::Zero}, {3, 6, 99}});
    EXPECT_FLOAT_EQ(Evaluate(curve, 0.5f), 1.0f);
    EXPECT_FLOAT_EQ(Evaluate(curve, 1.0f), 5.0f);   // key times give the key values
    EXPECT_FLOAT_EQ(Evaluate(curve, 1.5f), 0.0f);
    EXPECT_FLOAT_EQ(Evaluate(curve, 2.0f), 3.0f);
    EXPECT_FLOAT_EQ(Evaluate(curve, 2.5f), 0.0f);   // unknown kinds give 0 as well
}

TEST(zCurve, HermiteWithTangents)
{
    zCurve curve;
    Build(curve, {{0, 0}, {1, 1, zCurveKey::Hermite}});
    curve.GetKey(0)->parameters[zCurveKey::Tangent] = 2.0f;
    curve.GetKey(1)->parameters[zCurveKey::Tangent] = 4.0f;
    // No neighbours: the tangents are used as they are.
    EXPECT_FLOAT_EQ(Evaluate(curve, 0.5f), 0.5f + 0.125f * 2 - 0.125f * 4);
    EXPECT_FLOAT_EQ(Evaluate(curve, 0.25f), 0.140625f * 2 + 0.15625f - 0.046875f * 4);

    // With neighbours the tangents are scaled by the segment's share of the span.
    Build(curve, {{0, 0}, {1, 1}, {3, 2, zCurveKey::HermiteAlt}, {4, 0}});
    curve.GetKey(1)->parameters[zCurveKey::Tangent] = 1.0f;
    curve.GetKey(2)->parameters[zCurveKey::Tangent] = -1.0f;
    const float m0 = 1.0f * 2 / 3;
    const float m1 = -1.0f * 2 / 3;
    EXPECT_NEAR(Evaluate(curve, 2.0f), 0.5f * 1 + 0.125f * m0 + 0.5f * 2 - 0.125f * m1, 1e-6f);
}

TEST(zCurve, TensionContinuityBias)
{
    struct Case {
        const char* name;
        float startT, startC, startB;
        float endT, endC, endB;
        float expected;  // at the segment's middle, by hand
    };
    // Keys (0, -1), (1, 1), (3, 2), (4, 0); segment [1, 3], u = 0.5.
    const Case cases[] = {
        {"plain", 0, 0, 0, 0, 0, 0, 0.5f + 0.25f + 1.0f + 0.125f * 2 / 3},
        {"end continuity", 0, 0, 0, 0, 0.5f, 0, 1.5f + 0.25f + 0.125f * 5 / 3},
        {"end bias", 0, 0, 0, 0, 0, 0.5f, 1.5f + 0.25f - 0.125f / 3},
        {"start tension", 1, 0, 0, 0, 0, 0, 1.5f + 0.125f * 2 / 3},
        {"start bias", 0, 0, 0.5f, 0, 0, 0, 1.5f + 0.125f * 7 / 3 + 0.125f * 2 / 3},
    };
    for (const Case& c : cases) {
        zCurve curve;
        Build(curve, {{0, -1}, {1, 1}, {3, 2, zCurveKey::TCB}, {4, 0}});
        float* start = curve.GetKey(1)->parameters;
        float* end = curve.GetKey(2)->parameters;
        start[zCurveKey::Tension] = c.startT;
        start[zCurveKey::Continuity] = c.startC;
        start[zCurveKey::Bias] = c.startB;
        end[zCurveKey::Tension] = c.endT;
        end[zCurveKey::Continuity] = c.endC;
        end[zCurveKey::Bias] = c.endB;
        EXPECT_NEAR(Evaluate(curve, 2.0f), c.expected, 1e-6f) << c.name;
    }

    // Without neighbours only the segment's own difference counts, unscaled.
    zCurve curve;
    Build(curve, {{0, 0}, {2, 4, zCurveKey::TCB}});
    EXPECT_NEAR(Evaluate(curve, 1.0f), 0.5f * 4 + 0.125f * 4 - 0.125f * 4, 1e-6f);
}

TEST(zCurve, BezierHandles)
{
    zCurve curve;
    // Incoming handle a third of the span back, level with the key: an ease-in.
    Build(curve, {{0, 0}, {1, 1, zCurveKey::Bezier}});
    curve.GetKey(1)->parameters[zCurveKey::Tangent] = -1.0f / 3;
    EXPECT_NEAR(Evaluate(curve, 0.5f), 0.5f, 2e-4f);
    EXPECT_NEAR(Evaluate(curve, 0.25f), 0.15625f, 2e-4f);

    // A start key of kind 5 has its own outgoing handle.
    curve.GetKey(0)->kind = zCurveKey::Bezier;
    curve.GetKey(0)->parameters[zCurveKey::OutTime] = 1.0f / 3;
    curve.GetKey(0)->parameters[zCurveKey::OutValue] = 0.5f;
    EXPECT_NEAR(Evaluate(curve, 0.5f), 0.6875f, 2e-4f);

    // Another kind keeps three times its outgoing value offset in the in-value slot.
    curve.GetKey(0)->kind = zCurveKey::Linear;
    curve.GetKey(0)->parameters[zCurveKey::InValue] = 1.5f;
    EXPECT_NEAR(Evaluate(curve, 0.5f), 0.6875f, 2e-4f);

    // The incoming value offset moves the third control point.
    curve.GetKey(0)->parameters[zCurveKey::InValue] = 0.0f;
    curve.GetKey(1)->parameters[zCurveKey::InValue] = -1.0f;
    EXPECT_NEAR(Evaluate(curve, 0.5f), 0.375f * 0 + 0.125f, 2e-4f);
}

TEST(zCurve, CachedSegmentGivesTheSameValuesInAnyOrder)
{
    zCurve curve;
    Build(curve, {{0, 0}, {1, 3}, {2, -1}, {4, 5}, {5, 5}, {7, 0}});
    const float times[] = {0.5f, 1.5f, 3.0f, 6.0f, 4.5f, 0.25f, 7.0f, 0.0f, 2.0f, 1.0f, 3.5f, 1.25f};
    const float expected[] = {1.5f, 1.0f, 2.0f, 2.5f, 5.0f, 0.75f, 0.0f, 0.0f, -1.0f, 3.0f, 3.5f, 2.0f};
    for (int i = 0; i < 12; ++i)
        EXPECT_FLOAT_EQ(Evaluate(curve, times[i]), expected[i]) << times[i];
}

TEST(zCurve, NoSegmentFoundIsAFailure)
{
    zCurve curve;
    Build(curve, {{0, 0}, {2, 10}});
    LogCapture capture;
    float v = 7.0f;
    EXPECT_FALSE(curve.RawEvaluate(std::numeric_limits<float>::quiet_NaN(), v));
    EXPECT_EQ(v, 0.0f);
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_EQ(capture.lines[0].rfind("[!] zCurve::RawEvaluate (", 0), 0u);
    EXPECT_TRUE(capture.Contains("No interval start keyframe.\n"));
    // The curve still works.
    EXPECT_FLOAT_EQ(Evaluate(curve, 1.0f), 5.0f);
}

TEST(zCurve, OptimizeDropsRedundantMiddleKeys)
{
    struct Case {
        std::vector<Key> keys;
        float tolerance;
        int dropped;
        std::vector<float> keptTimes;
    };
    const Case cases[] = {
        {{{0, 0}, {1, 1}, {2, 2}, {3, 5}}, 0.01f, 1, {0, 2, 3}},
        {{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}, 0.01f, 2, {0, 2, 4}},
        {{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 10}}, 0.01f, 1, {0, 2, 3, 4}},
        {{{0, 0}, {1, 1.5f}, {2, 2}}, 0.5f, 1, {0, 2}},            // the bound itself drops
        {{{0, 0}, {1, 1.5f}, {2, 2}}, 0.49f, 0, {0, 1, 2}},
        {{{0, 0}, {3, 3}, {4, 4}}, 0.01f, 1, {0, 4}},               // interpolated by time
        {{{0, 0}, {1, 1}}, 10.0f, 0, {0, 1}},
    };
    for (const Case& c : cases) {
        zCurve curve;
        Build(curve, c.keys);
        curve.GetKey(uint32_t(c.keys.size() - 1))->kind = zCurveKey::TCB;
        curve.GetKey(uint32_t(c.keys.size() - 1))->parameters[zCurveKey::OutValue] = 0.5f;
        ASSERT_EQ(curve.Optimize(c.tolerance), c.dropped);
        ASSERT_EQ(curve.GetKeyCount(), c.keptTimes.size());
        for (uint32_t i = 0; i < curve.GetKeyCount(); ++i)
            EXPECT_EQ(curve.GetKey(i)->time, c.keptTimes[i]);
        const zCurveKey* last = curve.GetKey(curve.GetKeyCount() - 1);
        EXPECT_EQ(last->kind, zCurveKey::TCB);
        EXPECT_EQ(last->parameters[zCurveKey::OutValue], 0.5f);
        EXPECT_EQ(last->value, c.keys.back().value);
    }
}
