#include "gl3/common/zGL3Rules.h"

#include "core/geometry/zGeometry.h"
#include "core/render/zRenderer.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr uint32_t OptionOptimizeVideoRam = 8;
constexpr uint32_t OptionPowerOfTwoTargets = 64;
constexpr uint32_t OptionTextureNoDownscale = 128;
constexpr uint32_t OptionTextureNoCompression = 512;
constexpr uint32_t OptionTextureForceSquare = 1024;

} // namespace

zGL3VertexLayout ComputeGL3VertexLayout(const zGL3VertexAttributes& attributes, uint32_t vertexCount)
{
    zGL3VertexLayout layout;
    const int64_t n = vertexCount;
    int64_t offset = 12 * n;
    auto block = [&](bool present, int32_t& field, int64_t bytesPerVertex) {
        if (!present)
            return;
        field = int32_t(std::min<int64_t>(offset, INT32_MAX));
        offset += bytesPerVertex * n;
    };
    block(attributes.normals, layout.normals, 12);
    block(attributes.tangents, layout.tangents, 12);
    block(attributes.tangents, layout.bitangents, 12);
    block(attributes.skinned, layout.boneIndices, 4);
    block(attributes.skinned, layout.boneWeights, 16);
    block(attributes.colours, layout.colours, 12);
    for (int s = 0; s < 3; ++s)
        block(attributes.uvSets[s], layout.uvSets[s], 8);
    layout.size = offset > INT32_MAX ? -1 : int32_t(offset);
    return layout;
}

bool IsGL3TextureReducible(uint32_t textureFlags, float priority, uint32_t options)
{
    return (textureFlags & GL3TextureKeepPicture) == 0 && (options & OptionTextureNoDownscale) == 0 &&
           !(priority > 0.5f) && (textureFlags & GL3TextureRaw) == 0;
}

bool IsGL3TextureCompressible(uint32_t textureFlags, int32_t kind, uint32_t options)
{
    return (options & OptionTextureNoCompression) == 0 && (textureFlags & GL3TextureRaw) == 0 && kind != 3 &&
           kind != 4;
}

bool DoesGL3TextureGetMipmaps(uint32_t textureFlags, int32_t kind, int32_t usage, bool canGenerateMipmaps)
{
    return canGenerateMipmaps && usage != 1 && (textureFlags & GL3TextureKeepPicture) == 0 &&
           (textureFlags & GL3TextureRaw) == 0 && kind != 3 && kind != 4;
}

void ComputeGL3TextureSize(int32_t& width, int32_t& height, int32_t usage, bool reducible, uint32_t options)
{
    const int32_t divisor = ((options & OptionOptimizeVideoRam) != 0 && reducible) ? 2 : 1;
    auto side = [&](int32_t value) {
        const uint32_t v = uint32_t(std::max(value / divisor, 1));
        if (usage != 1)
            return int32_t(ComputeTextureSize(v, !reducible));
        // An exact-size texture is only ever rounded up: the content and the
        // framebuffer size the passes compute must fit in it.
        return int32_t(ComputeTextureSize(v, true));
    };
    if (usage != 1 || (options & OptionPowerOfTwoTargets) != 0) {
        width = side(width);
        height = side(height);
    }
    if ((options & OptionTextureForceSquare) != 0) {
        const int32_t s = reducible ? std::min(width, height) : std::max(width, height);
        width = s;
        height = s;
    }
}

zGeometry* ChooseGL3WalkGeometry(zGeometry* g, int32_t mode, float squaredDistance)
{
    if (g == nullptr)
        return nullptr;
    zGeometry* candidate = nullptr;
    if (mode == GL3PassShadowCasters) {
        if ((g->flags & zGeometry::FlagShadowNull) != 0)
            return nullptr;
        candidate = g->shadowProxy;
    } else if (squaredDistance > g->lodDistance * g->lodDistance) {
        if ((g->flags & zGeometry::FlagLodNull) != 0)
            return nullptr;
        candidate = g->lodProxy;
    }
    if (candidate != nullptr)
        g = candidate;
    if ((g->flags & zGeometry::FlagHidden) != 0)
        return nullptr;
    return g;
}

int32_t ToGL3Pixels(float value)
{
    if (!(value == value))
        return 0;
    // The largest float below 2^31 and -2^31 itself convert exactly.
    if (value >= 2147483520.0f)
        return INT32_MAX;
    if (value <= -2147483648.0f)
        return INT32_MIN;
    return int32_t(value);
}

int32_t ScaleGL3Pixels(int32_t value, float scale)
{
    return ToGL3Pixels(float(value) * scale);
}

zGL3Viewport ClampGL3Viewport(int32_t x, int32_t y, int32_t width, int32_t height, int32_t outputWidth,
                              int32_t outputHeight)
{
    const auto side = [](int32_t origin, int32_t size, int32_t limit, int32_t& start) {
        limit = std::max(limit, 0);
        start = std::clamp(origin, 0, limit);
        const int64_t end = std::clamp<int64_t>(int64_t(origin) + size, start, limit);
        return int32_t(end - start);
    };
    zGL3Viewport viewport;
    viewport.width = side(x, width, outputWidth, viewport.x);
    viewport.height = side(y, height, outputHeight, viewport.y);
    return viewport;
}

void ApplyGL3FarPlane(zMatrix4& projection, float farDistance)
{
    const float f = farDistance;
    projection.m[10] = f / (f - 0.1f);
    projection.m[11] = -0.1f * f / (f - 0.1f);
}

zGL3DeferredSize ComputeGL3DeferredSize(int32_t width, int32_t height, float supersampling, uint32_t options)
{
    zGL3DeferredSize size;
    size.width = ScaleGL3Pixels(width, supersampling);
    size.height = ScaleGL3Pixels(height, supersampling);
    if ((options & OptionPowerOfTwoTargets) != 0) {
        const int32_t larger = std::max(size.width, size.height);
        size.width = larger;
        size.height = larger;
        size.framebufferWidth = float(ComputeTextureSize(uint32_t(std::max(size.width, 1)), true));
        size.framebufferHeight = float(ComputeTextureSize(uint32_t(std::max(size.height, 1)), true));
    } else {
        size.framebufferWidth = float(size.width);
        size.framebufferHeight = float(size.height);
    }
    return size;
}
