#pragma once

#include "framework/math/zMatrix4.h"

#include <cstdint>

class zGeometry;

// The decisions of the GL renderer that need no GL: vertex layout, texture
// sizes and formats, the walk's choice of geometry and far plane, the
// deferred framebuffer's size. The renderer calls these; tests check them
// without a window.

// Which attributes a triangle list carries. Tangents bring bitangents, a skin
// brings bone indices and weights.
struct zGL3VertexAttributes {
    bool normals = false;
    bool tangents = false;
    bool skinned = false;
    bool colours = false;
    bool uvSets[3] = {false, false, false};
};

// Byte offsets of each block in the vertex buffer (-1 absent) and its size.
// Positions always come first at offset 0.
struct zGL3VertexLayout {
    int32_t normals = -1;
    int32_t tangents = -1;
    int32_t bitangents = -1;
    int32_t boneIndices = -1;
    int32_t boneWeights = -1;
    int32_t colours = -1;
    int32_t uvSets[3] = {-1, -1, -1};
    int32_t size = 0;
};

// Blocks in the order positions, normals, tangents, bitangents, bone indices
// (4 bytes), bone weights (4 floats), colours, UV sets 0 to 2. A count whose
// buffer would not fit in 31 bits gives size -1.
zGL3VertexLayout ComputeGL3VertexLayout(const zGL3VertexAttributes& attributes, uint32_t vertexCount);

// Texture flag bits the renderer reads: keep the picture after upload, raw.
inline constexpr uint32_t GL3TextureKeepPicture = 1;
inline constexpr uint32_t GL3TextureRaw = 2;

bool IsGL3TextureReducible(uint32_t textureFlags, float priority, uint32_t options);
// kind: 0 RGBA8 .. 4 depth 16.
bool IsGL3TextureCompressible(uint32_t textureFlags, int32_t kind, uint32_t options);
bool DoesGL3TextureGetMipmaps(uint32_t textureFlags, int32_t kind, int32_t usage, bool canGenerateMipmaps);

// The size a texture is uploaded at. Usage other than 1 gets power-of-two
// sides: the nearest power of two for a reducible texture (halved first with
// "OptimizeVideoRam"), the next one up otherwise. Usage 1 (exact size) keeps
// its size unless option 64 asks for power-of-two targets: it then rounds up,
// never down, so the content still fits. "TextureForceSquare" makes both sides
// the smaller one for a reducible texture, else the larger.
void ComputeGL3TextureSize(int32_t& width, int32_t& height, int32_t usage, bool reducible, uint32_t options);

// Pass modes of the queue walk.
enum : int32_t {
    GL3PassFixedOpaque = 0,
    GL3PassBackToFront = 1,
    GL3PassDepthNormal = 2,
    GL3PassAttributes = 3,
    GL3PassForward = 4,
    GL3PassVelocity = 5,
    GL3PassShadowCasters = 6,
};

// The geometry the walk draws for an item whose own geometry is g, at
// squaredDistance from the camera, in the pass mode: its shadow proxy in mode
// 6, its LOD proxy beyond "LodDistance" in the others, else itself. Null when
// nothing is drawn ("ShadowNull" in mode 6, "LodNull" beyond the distance, a
// hidden result).
zGeometry* ChooseGL3WalkGeometry(zGeometry* g, int32_t mode, float squaredDistance);

// A pixel count or coordinate from a float: NaN gives 0, values beyond the
// int32 range its nearer end.
int32_t ToGL3Pixels(float value);
// value x scale (the supersampling) in pixels, saturated as ToGL3Pixels.
int32_t ScaleGL3Pixels(int32_t value, float scale);

// A viewport rectangle (x, y, width, height) clamped to an output of
// outputWidth x outputHeight: its part inside the output, empty (size 0)
// where nothing of it is; negative sizes are empty.
struct zGL3Viewport {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};
zGL3Viewport ClampGL3Viewport(int32_t x, int32_t y, int32_t width, int32_t height, int32_t outputWidth,
                              int32_t outputHeight);

// Entries 10 and 11 of a projection that draws with near plane 0.1 and far
// plane far (far must be positive).
void ApplyGL3FarPlane(zMatrix4& projection, float farDistance);

// The deferred framebuffer's texture size (output x supersampling; square at
// the larger side with option 64) and the framebuffer size the passes
// address (the next powers of two with option 64, else the texture size).
struct zGL3DeferredSize {
    int32_t width = 0;
    int32_t height = 0;
    float framebufferWidth = 0.0f;
    float framebufferHeight = 0.0f;
};
zGL3DeferredSize ComputeGL3DeferredSize(int32_t width, int32_t height, float supersampling, uint32_t options);
