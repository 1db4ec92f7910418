#include "raytracer/zRaySpread.h"

#include "framework/math/zMatrix3.h"
#include "framework/system/zLogStream.h"

#include <cmath>
#include <new>

bool zRaySpread::Compute(int32_t azimuths, int32_t rings, float angle, zRayRandom& random)
{
    Free();
    if (azimuths <= 0 || rings <= 0)
        return true;
    const uint64_t total = uint64_t(azimuths) * uint64_t(rings);
    directions = total < (1u << 24) ? new (std::nothrow) zVector[total] : nullptr;
    if (directions == nullptr) {
        LogError("zRaySpread::Compute") << "failed to allocate vector spread.\n";
        return false;
    }
    const float step = angle / float(rings + 2);
    const float sector = 6.2831855f / float(azimuths);
    uint32_t n = 0;
    for (int32_t k = 0; k < rings; ++k) {
        const float elevation = step * float(k + 1) + random.Float(step);
        const zVector base(std::sin(elevation), 0.0f, std::cos(elevation));
        for (int32_t j = 0; j < azimuths; ++j) {
            const float azimuth = float(j) * sector + random.Float(sector);
            directions[n++] = base.Rotate(zMatrix3::RotationZ(azimuth));
        }
    }
    count = n;
    return true;
}

void zRaySpread::Free()
{
    delete[] directions;
    directions = nullptr;
    count = 0;
}
