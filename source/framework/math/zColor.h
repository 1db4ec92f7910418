#pragma once

#include "framework/math/zVector.h"

#include <cstdint>

class zMetaFile;
class zMetaTag;

// Four components meant to lie in 0..1. Packed: r in bits 0-7, g 8-15,
// b 16-23, a 24-31.
class zColor {
public:
    zColor() = default;
    zColor(float r_, float g_, float b_, float a_) : r(r_), g(g_), b(b_), a(a_) {}

    // Each byte is the integer part of component x 255; components outside
    // 0..1 are clamped first.
    uint32_t ToRGBA32() const;
    void FromRGBA32(uint32_t packed);

    // A colour tag: its first four children by position as r, g, b, a;
    // missing children keep their component. Shortcuts resolve through the
    // document (may be null).
    void FromMetaTag(const zMetaFile* document, const zMetaTag* tag);
    // Appends a child of that name to parent with "R", "G", "B" and "A";
    // nothing when it cannot be allocated.
    void AddMetaTag(zMetaTag* parent, const char* name) const;

    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
};

// Parameter in [0, 1] of the point of segment a-b closest to p (0 for a
// segment whose ends coincide); the point itself when out is given.
float ClosestPointOnSegment(const zVector& a, const zVector& b, const zVector& p, zVector* out);
// False for nearly parallel lines (out untouched); otherwise the unclamped
// parameters of the closest points on p1 + s (q1 - p1) and p2 + t (q2 - p2).
bool ClosestPointsOfLines(const zVector& p1, const zVector& q1, const zVector& p2, const zVector& q2, float out[2]);
