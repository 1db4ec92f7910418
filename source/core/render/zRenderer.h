#pragma once

#include "framework/data_structure/zLinkedList.h"
#include "framework/data_structure/ztLinkedList.h"
#include "framework/math/zFrustum.h"
#include "framework/math/zIntervals.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zVector.h"
#include "framework/system/zClock.h"
#include "framework/tools/zString.h"
#include "core/render/zRendererProperty.h"

#include <cstddef>
#include <cstdint>

class Tavrin;
class zCamera;
class zGeometry;
class zLight;
class zMaterial;
class zMinMax;
class zOBB;
class zObject;
class zRasterFont;
class zShaderRecord;
class zTexture;
struct zRenderWindow;

// The platform's handle of an output window.
using zWindowHandle = void*;

// An entry of the item stack: the object and its visibility, 1 when pushed,
// then the frustum class of the cull (0 outside, 1 inside, 2 clipped).
struct zRenderItem {
    zObject* item;
    int32_t visibility;
};

// The abstract renderer. The order of the virtual operations is fixed: the
// back-ends fill the same slots. Besides the operations it carries the state
// every renderer shares: camera and view frustum, the item stack of the frame,
// the per-frame counters, fog, option and effect flags and the loaded shaders.
// Main thread only. Objects, geometries, textures, materials, lights and the
// camera handed in are borrowed: their owners keep them alive while the
// renderer may use them. What a back-end makes for a resource lives in the
// resource's rendererData, from its Setup to its Free.
class zRenderer {
public:
    // Indices of the per-frame counters.
    enum : int {
        StatQueuePasses = 0,
        StatLightsProcessed = 1,
        StatObjectsSent = 2,
        StatObjectsDrawn = 3,
        StatTrianglesDrawn = 4,
        StatListsDrawn = 5,
        StatCount = 6,
    };

    // AllocateItemStack refuses this many records or more.
    static constexpr int32_t MaxItemStackCapacity = int32_t(1) << 29;

    // With makeCurrent the renderer becomes the core's current renderer. The
    // core is not owned; it outlives the renderer.
    zRenderer(Tavrin* owner, bool makeCurrent);
    zRenderer(const zRenderer&) = delete;
    zRenderer& operator=(const zRenderer&) = delete;

    // Slot 0, shared by all renderers: view, projection and frustum of the
    // current camera.
    virtual void ApplyCamera();
    virtual void BeginFrame() = 0;
    virtual void EndFrame() = 0;
    virtual const char* GetName() = 0;
    virtual const char* GetDescription() = 0;
    virtual const char* GetVersion() = 0;
    // Sizes in pixels; false when no output can be opened.
    virtual bool OpenVideo(int32_t width, int32_t height, int32_t bitsPerPixel, bool fullScreen) = 0;
    virtual void CloseVideo() = 0;
    virtual bool ResizeOutput(int32_t width, int32_t height) = 0;
    // No effect in any renderer; keeps the slots after it in place.
    virtual void ReservedA(void* unused) = 0;
    virtual void UpdateClientSize() = 0;
    virtual zWindowHandle GetWindowHandle() = 0;
    virtual bool SetupAdditionalWindow(zWindowHandle window, zRenderWindow* record) = 0;
    // Null selects the main window.
    virtual void SetOutputWindow(zRenderWindow* record) = 0;
    virtual void ReleaseAdditionalWindow(zRenderWindow* record) = 0;
    // Culls, sorts and draws the item stack.
    virtual void RenderQueue() = 0;
    virtual void Present() = 0;
    // A new record for the compiled program, or null when it does not build
    // (the null renderer builds none). LoadShaderLibrary hands each record to
    // the shaders list, which owns it from then on.
    virtual zShaderRecord* LoadShader(const char* name, const char* vertexProgram, const char* pixelProgram) = 0;
    // Releases the program; the record itself stays for its list to delete.
    virtual void FreeShader(zShaderRecord* shader) = 0;
    // Colour channels and depth 0 .. 1.
    virtual void Clear(float red, float green, float blue, float depth, uint32_t flags) = 0;
    virtual void CopyFramebufferToTexture(zTexture* texture) = 0;
    // Null renders to the output window.
    virtual void SetRenderTarget(zTexture* texture) = 0;
    // colour: four floats, or null for the renderer's default.
    virtual void Line3D(const zVector& from, const zVector& to, const float* colour) = 0;
    // Three corners, a colour (four floats or null), three texture coordinate
    // pairs or null, a texture or null, and drawing flags.
    virtual void DrawTriangle(const zVector* corners, const float* colour, const zVector2* uvs, zTexture* texture,
                              uint32_t drawFlags) = 0;
    // alignment: 0 left, 1 centred, 2 right-aligned; colour null is white.
    virtual void Write(zRasterFont* font, const char* text, float x, float y, float size, bool keepAspect,
                       int32_t alignment, const float* colour) = 0;
    // Each Setup makes the renderer's data for the resource (false when it
    // cannot); the matching Free releases it and must come before the
    // resource is deleted. Update re-sends changed content.
    virtual bool SetupGeometry(zGeometry* geometry) = 0;
    virtual void FreeGeometry(zGeometry* geometry) = 0;
    virtual void UpdateGeometry(zGeometry* geometry, int32_t firstVertex, int32_t vertexCount) = 0;
    virtual bool SetupTexture(zTexture* texture) = 0;
    virtual bool LoadTextureContent(zTexture* texture, const char* path) = 0;
    virtual void FreeTexture(zTexture* texture) = 0;
    // New content of width x height pixels, placed at (x, y); the video
    // streams give (0, 0). Pixels that are the texture's own picture are read
    // in that picture's format, whatever it is (a renderer converts or refuses
    // what it cannot take); any other pixels are 32-bit RGBA bytes. Main
    // thread only.
    virtual void UpdateTexture(zTexture* texture, const uint8_t* pixels, int32_t width, int32_t height, int32_t x,
                               int32_t y) = 0;
    virtual bool SetupMaterial(zMaterial* material) = 0;
    virtual void FreeMaterial(zMaterial* material) = 0;
    virtual void UpdateMaterial(zMaterial* material) = 0;
    virtual bool SetupLight(zLight* light) = 0;
    virtual void FreeLight(zLight* light) = 0;
    virtual void UpdateLight(zLight* light) = 0;
    virtual void SetViewMatrix(const zMatrix4& matrix) = 0;
    virtual void SetProjectionMatrix(const zMatrix4& matrix) = 0;
    // The second argument is not read.
    virtual void SetModelMatrix(const zMatrix4& matrix, const void* reserved) = 0;
    virtual void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    // Frees the item stack; if this is the core's default renderer the core is
    // left without one, else if it is the current one the default returns.
    virtual ~zRenderer();

    // Frees both arrays and empties the stack, then allocates count records;
    // a count that cannot be allocated leaves capacity 0.
    bool AllocateItemStack(int32_t count);
    void FreeItemStack();
    // Empties the stack; the arrays stay.
    void ResetItemStack() { itemStackCount = 0; }
    // Adds a visible object with a set-up geometry to this frame's stack,
    // keyed by the view depth of its geometry's centre. A full stack refuses
    // it with an error line and sets itemStackOverflow. The object is
    // borrowed until the stack is reset.
    void PushObject(zObject* object);
    // Classifies each pushed object against the frustum (its visibility) and
    // marks the visible octree leaves.
    void CullItemStack(bool useShadowProxy);
    // Sorts the pushed entries ascending by key.
    void SortItemStack();

    // The render target's picture size, else the output size.
    void GetViewportSize(float& width, float& height) const;
    // colour: three floats or null to keep it. A near below 0.001 keeps the
    // previous one; far is at least near + 0.001. A near or far that is NaN or
    // infinite turns the fog off and keeps both distances.
    void SetFog(bool on, const float* colour, float nearDistance, float farDistance);

    // Reads the shader library at path once (whatever the profile) and
    // registers the programs of the profile ("Default" when null) through
    // LoadShader. False when the library or its profile cannot be used.
    bool LoadShaderLibrary(const char* path, const char* profile);
    // FreeShader for every loaded shader in list order, then deletes them and
    // forgets the loaded libraries (a later LoadShaderLibrary reads them again).
    void FreeAllShaders();

    // A raster font of the renderer's core loaded from its description and
    // pages; null when it cannot be allocated or loaded. The caller owns it.
    zRasterFont* LoadRasterFont(const char* path, const char* base);

    // Debug shapes made of Line3D calls; colour null is the shape's default.
    void DrawCross(const zVector& position, float size, const float* colour);
    void DrawSphere(const zMatrix4& placement, float radius, const float* colour);
    void DrawOBB(const zOBB& box, const float* colour);
    // The box as an oriented box without rotation.
    void DrawMinMax(const zMinMax& box, const float* colour);

    Tavrin* core;
    uint8_t itemStackOverflow = 0;
    int32_t itemStackCapacity = 0;
    int32_t itemStackCount = 0;
    zRenderItem* itemArray = nullptr;
    // {key, index into the item array}.
    zFloatKeyedPair* sortArray = nullptr;
    // Zeroed by the main loop after every frame; the base counts objects sent.
    uint32_t statistics[StatCount] = {};
    uint8_t videoOpen = 0;
    uint8_t videoClosed = 1;
    float outputWidth = 1.0f;
    float outputHeight = 1.0f;
    zCamera* camera = nullptr;
    zFrustum frustum;
    zTexture* renderTarget = nullptr;
    // The shader records LoadShader returned for the loaded libraries.
    zLinkedListId shaders;
    uint32_t effectFlags = 0;
    uint32_t optionFlags = 0;
    uint8_t fogOn = 0;
    float fogNear = 0.0f;
    float fogFar = 0.0f;
    float fogColour[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    ztLinkedList<zString> shaderLibraries;
    zTimer cullingTimer;
    zTimer renderTimer;

    // Further shared state that the back-ends read and write.
    // Pictures and geometry data are released once uploaded.
    uint8_t freeCpuCopies = 1;
    uint8_t fullScreen = 0;
    uint64_t textureMemory = 0;
    uint64_t geometryMemory = 0;
    zMatrix4 projectionMatrix;
    // Installed by the scene that draws through this renderer (null: none);
    // the context goes back to it in every request.
    zRendererPropertyCallback propertyCallback = nullptr;
    void* propertyContext = nullptr;
    // Handed over by the scene every frame.
    float targetExposure = 0.25f;
    // Depth of field of the current camera, copied by the scene.
    float dofFStop = 0.0f;
    float dofFocalDistance = 0.0f;
};

// Texture side length for a size: with forcePowerOfTwo the smallest power of
// two not below size; otherwise the nearest power of two (doubling while 1.5
// times it is below size), at most MaxTextureSize.
constexpr uint32_t MaxTextureSize = 4096;
uint32_t ComputeTextureSize(uint32_t size, bool forcePowerOfTwo);
