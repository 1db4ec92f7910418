#pragma once

#include "core/camera/zCamera.h"
#include "framework/math/zMatrix3.h"

#include <cstdint>

class zLight;

// Shadow-map geometry that needs no GL: the parallel splits' distances and
// the cube faces' orientations. The renderer calls these; the tests and
// tools can use them without a window.

inline constexpr int32_t GL3ShadowSplits = 6;

// The far distance from the viewing camera of split 0 .. 5 of a parallel
// light: a blend, by distribution (0 even, 1 logarithmic), of the even and the
// logarithmic division of near .. range. Every split starts at near, so the
// slices are nested and the last one ends at range. A near distance that is
// not positive is taken as 1e-6 so the logarithmic term stays finite.
float ComputeGL3ShadowSliceDistance(float nearDistance, float range, float distribution, int32_t split);

// The rotation of cube face 0 .. 5 in the light's own frame (Euler angles,
// rotation order 4); made once and kept. Faces 0 .. 3 turn about y by
// quarter turns, faces 4 and 5 about x. An index out of range reads face 0.
const zMatrix3& GL3CubeFaceRotation(int32_t face);

// The cameras the shadow passes render through. They are square whatever
// the display's aspect ratio (a map is square). With a source light the
// camera stands for that light: its projection and frustum are the light's
// (a spot light's cone with its near and far); the light is borrowed and must
// outlive the camera.
class zGL3ShadowCamera : public zCamera {
public:
    explicit zGL3ShadowCamera(Tavrin* owner, zLight* light = nullptr);

    void GetProjectionMatrix(zMatrix4& out) override;
    void ComputeFrustum(zFrustum& out, float nearDistance, float farDistance) override;

    // Sets the world matrix (its inverse follows); UpdateWorldMatrix keeps it.
    void PlaceAt(const zMatrix4& world);

    zLight* source;
};
