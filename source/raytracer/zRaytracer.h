#pragma once

#include "bfgt/picture/zPicture.h"
#include "framework/math/zColor.h"
#include "raytracer/zRaySpread.h"
#include "raytracer/zSceneBIH.h"

#include <atomic>
#include <cstdint>
#include <vector>

class Tavrin;
class zMLight;
class zMaterial;
class zScene;

// What a trace does; see zRaytracer::GetParameters for the defaults.
struct zRaytracerParameters {
    // Transparent surfaces a shadow ray may cross.
    int32_t shadowLayers = 32;
    int32_t reflectionDepth = 12;
    int32_t refractionDepth = 32;
    int32_t giDepth = 1;
    // Each spread holds giRays x giRays directions.
    int32_t giRays = 8;
    // M x M samples per supersampled pixel.
    int32_t aaSubdivision = 4;
    uint8_t shadows = 1;
    uint8_t gi = 0;
    uint8_t aa = 1;
    uint8_t transparentShadows = 1;
    uint8_t reflections = 1;
    uint8_t refraction = 1;
    // A GI path that runs out of bounces still gets the scene ambient.
    uint8_t ambientAfterGi = 0;
    uint8_t aaJitter = 0;
    uint8_t interlace = 0;
    // Field parity a sequence starts with.
    uint8_t firstField = 1;
    // Each interlaced call traces half the rows.
    uint8_t halfFields = 1;
    // Squared colour distance to a neighbour above which a pixel is supersampled.
    float aaThreshold = 0.015f;
};

// Progress of a pass, handed to the callback from the tracing thread 0.
struct zRaytracerProgress {
    float fraction = 0.0f;
    int32_t width = 0;
    int32_t row = 0;
    int32_t rows = 0;
    uint8_t done = 0;
};
using zRaytracerProgressCallback = void (*)(const zRaytracerProgress& progress);

// Renders the current camera view of a scene on the CPU into a 32-bit
// picture: one ray per pixel in parallel, then supersampling of the pixels
// that differ from a neighbour. Shading: the scene's lights with shadows
// that see through transparent surfaces, optional one-bounce indirect light,
// reflection and refraction. The image depends only on the scene and the
// parameters, never on the number of threads.
//
// Main thread: SetScene copies what it needs of the scene (matrices, light
// list, trees); move objects, then SetScene again before the next Trace.
// The scene, its geometries and lights must outlive the traces.
class zRaytracer {
public:
    // The core is not owned (may be null). The tracer reads meshes and
    // texture pictures on the CPU: from now on the core's current renderer
    // keeps its CPU copies of what it uploads instead of releasing them.
    // What it uploaded and released before cannot be traced (SetScene warns).
    explicit zRaytracer(Tavrin* core);
    ~zRaytracer();
    zRaytracer(const zRaytracer&) = delete;
    zRaytracer& operator=(const zRaytracer&) = delete;

    // Builds both hierarchies and the light list. False, logged, when memory
    // runs out or the scene is null.
    bool SetScene(zScene* scene);
    void ReleaseScene();

    // Copies the block and recomputes the ray spreads. Counts that multiply
    // the rays of a pixel are clamped, with a warning: GI rays to
    // [0, MaxGIRays], GI depth to [0, MaxGIDepth], AA subdivision to
    // [0, MaxAASubdivision] (below 1 traces as 1).
    void SetParameters(const zRaytracerParameters& parameters);
    // Every GI bounce traces rays x rays directions.
    static constexpr int32_t MaxGIRays = 256;
    // Each bounce multiplies the rays; the bounces also nest on the stack.
    static constexpr int32_t MaxGIDepth = 16;
    // Beyond 32 x 32 sub-samples the mean moves by less than one 8-bit step.
    static constexpr int32_t MaxAASubdivision = 32;
    zRaytracerParameters GetParameters() const { return parameters; }

    // Traces width x height into picture (32-bit, alpha red green blue from
    // the top byte down). False, logged, with no camera, no scene, a size
    // below 1, an odd height in interlaced mode or when memory runs out. In
    // interlaced mode the first call of a pair stores its field and leaves
    // the picture empty; the second weaves both into a full frame.
    bool Trace(zPicture& picture, int32_t width, int32_t height);

    void StartInterlacedSequence();
    // Asks a running trace to stop at the next pixel; any thread.
    void Cancel() { cancel.store(1, std::memory_order_relaxed); }
    void SetProgressCallback(zRaytracerProgressCallback callback) { progress = callback; }

    // Statistics of the last trace (approximate under threads).
    uint32_t GetRayCount() const { return rayCount.load(std::memory_order_relaxed); }
    uint32_t GetNodeTests() const { return nodeTests.load(std::memory_order_relaxed); }
    // Pixels the antialiasing pass supersampled in the last trace.
    uint32_t GetSupersampledCount() const { return supersampled.load(std::memory_order_relaxed); }
    // Opacity crossed by a shadow ray, 1 fully lit; exposed for tests.
    float ShadowFactor(const zVector& origin, const zVector& direction, float distance, int32_t layers) const;

    // The 32-bit word of a float colour, each channel clamped to [0, 1] first.
    static uint32_t PackColour(const float* rgba);

    // Per-ray state: bounces left and the refraction index the ray travels in.
    struct Budget {
        int32_t gi = 0;
        int32_t reflections = 0;
        int32_t refractions = 0;
        float ior = 1.0f;
    };

private:
    struct Surface;
    struct Context;

    zColor TracePixel(Context& context, const zVector& origin, const zVector& direction, Budget budget) const;
    zColor Shade(Context& context, const Surface& surface, Budget budget) const;
    bool ComputeSurface(const zSceneRayQuery& query, const zVector& origin, const zVector& direction,
                        Surface& out) const;
    zColor SampleLayer(const Surface& surface, int32_t layer) const;
    // A channel of a shader-map material: its graph evaluated at the surface,
    // or the channel's constant when the graph has no input for it or a block
    // cannot be evaluated.
    zColor GetMaterialChannel(const Surface& surface, int32_t channel) const;
    float GetOpacity(const Surface& surface) const;
    zColor InterpolatedVertexColour(const Surface& surface) const;

    std::atomic<int32_t> cancel{0};
    Tavrin* core;
    zScene* scene = nullptr;
    zSceneBIH view;
    zSceneBIH shadowTree;
    std::vector<zMLight*> lights;
    mutable std::atomic<uint32_t> rayCount{0};
    mutable std::atomic<uint32_t> nodeTests{0};
    std::atomic<uint32_t> supersampled{0};
    zRaytracerParameters parameters;
    zRaySpread spreads[32];
    float frameWidth = 1.0f;
    float frameHeight = 1.0f;
    uint8_t field = 1;
    zPicture storedField;
    zRaytracerProgressCallback progress = nullptr;
};
