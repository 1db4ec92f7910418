#pragma once

#include "framework/data_structure/zArray.h"

#include <cstdint>

class zMetaFile;
class zMetaTag;

// One keyframe. The kind of a segment's end key decides how the segment
// leading to it is interpolated.
class zCurveKey : public zArrayItem {
public:
    enum : int32_t {
        Zero = 0,
        Linear = 1,
        TCB = 2,
        Hermite = 3,
        HermiteAlt = 4,
        Bezier = 5,
        Step = 6,
    };
    // Indices into parameters.
    enum : int {
        Tension = 0,
        Continuity = 1,
        Bias = 2,
        // Hermite kinds: the tangent; Bezier: time offset of the incoming handle.
        Tangent = 3,
        // Bezier: value offset of the incoming handle; a key of another kind
        // that starts a Bezier segment keeps three times its outgoing value offset here.
        InValue = 4,
        OutTime = 5,
        OutValue = 6,
        ParameterCount = 7,
    };

    int32_t kind = Linear;
    float time = 0.0f;
    float value = 0.0f;
    float parameters[ParameterCount] = {};
};

// A keyframed scalar function of time. Evaluation remembers the segment it
// used last, so steadily advancing times cost a constant step.
class zCurve {
public:
    enum : int32_t {
        Reset = 0,
        Constant = 1,
        Repeat = 2,
        Oscillate = 3,
        OffsetRepeat = 4,
    };

    zCurve();
    virtual ~zCurve();
    zCurve(const zCurve&) = delete;
    zCurve& operator=(const zCurve&) = delete;

    virtual uint32_t GetMemoryFootprint() const;

    void Clear();
    // Clears, then appends n default keys; false when the array cannot grow.
    bool Allocate(uint32_t n);
    uint32_t GetKeyCount() const { return keys.GetCount(); }
    // Null, with a warning, past the end.
    zCurveKey* GetKey(uint32_t i) const { return static_cast<zCurveKey*>(keys[i]); }

    float GetLastKeyTime() const;
    void GetTimeRange(float& first, float& last) const;

    // behaviour -1 uses the curve's own pre- and post-behaviours.
    bool RawEvaluate(float time, float& value, int32_t behaviour = -1);
    // Drops redundant middle keys in one pass; returns how many.
    int Optimize(float tolerance);

    // Reads a "Curve" tag; false on the errors that stop reading.
    bool FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // A new "Curve" tag, or null.
    zMetaTag* AsMetaTag() const;

    int32_t preBehaviour = Constant;
    int32_t postBehaviour = Constant;

private:
    float EvaluateSegment(int i, float time) const;
    bool ReadKnots(const zMetaFile* document, const zMetaTag* knots);

    zArray keys;
    int cachedIndex = -1;
};

// Folds t into [first, last] by whole periods of (last - first); periods gets
// the number of periods removed.
float WrapCurveTime(float t, float first, float last, float& periods);
