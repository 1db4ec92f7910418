#pragma once

#include "core/render/zRenderer.h"
#include "core/render/zShaderRecord.h"
#include "framework/math/zMatrix4.h"
#include "gl3/deferred/GL3RenderMapCompiler.h"

#define GL_GLEXT_LEGACY 1
#include <GL/gl.h>
#undef GL_GLEXT_LEGACY
#include <GL/glext.h>

#include <cstdint>
#include <vector>

class zCamera;
class zLight;
class zObject;
class zVector;
struct zRenderWindow;

// A program loaded through LoadShader; owned by the renderer's shader list.
class zGL3ShaderRecord : public zShaderRecord {
public:
    explicit zGL3ShaderRecord(const char* name) : zShaderRecord(name) {}
    uint8_t linked = 0;
    GLhandleARB program = 0;
    GLhandleARB vertexShader = 0;
    GLhandleARB fragmentShader = 0;
    // Attribute locations a shader-map program reads; -1 when unused.
    GLint tangentLocation = -1;
    GLint bitangentLocation = -1;
    GLint skinIdLocation = -1;
    GLint skinWeightLocation = -1;
};

// What SetupTexture hangs on a texture: its GL name and the video memory it
// was counted for.
struct zGL3TextureRecord {
    GLuint name = 0;
    uint64_t bytes = 0;
};

// One triangle list of a geometry in GL buffers. Offsets are byte offsets in
// the vertex buffer, -1 when the list has no such attribute.
struct zGL3Batch {
    int32_t indexCount = 0;
    GLuint indexBuffer = 0;
    GLuint vertexBuffer = 0;
    int32_t normals = -1;
    int32_t tangents = -1;
    int32_t bitangents = -1;
    int32_t boneIndices = -1;
    int32_t boneWeights = -1;
    int32_t colours = -1;
    int32_t uvSets[3] = {-1, -1, -1};
    int32_t vertexSize = 0;
    int32_t boneCount = 0;
    // Owned.
    uint16_t* boneIds = nullptr;
    // Owned; boneCount matrices, filled by the skinned draw.
    float* skinMatrices = nullptr;
    zMaterial* material = nullptr;
};

// What SetupGeometry hangs on a geometry.
struct zGL3GeometryRecord {
    int32_t batchCount = 0;
    // Owned.
    zGL3Batch* batches = nullptr;
};

// The renderer data of a material: its shader map compiled for the
// depth-normal (2), attribute (3) and shadow-caster (6) passes, each null
// when absent. The maps are owned; their programs are the renderer's.
// In safe mode all three stay null.
struct zGL3MaterialPrograms {
    ~zGL3MaterialPrograms() { Clear(); }
    void Clear()
    {
        delete depthNormalMap;
        delete attributeMap;
        delete shadowMap;
        depthNormalMap = attributeMap = shadowMap = nullptr;
    }
    CompiledRenderMap* depthNormalMap = nullptr;
    CompiledRenderMap* attributeMap = nullptr;
    CompiledRenderMap* shadowMap = nullptr;
};
// One parallel split of a parallel light's shadow: the far distance of the
// slice from the viewing camera and the split camera's matrices.
struct PSSMSplit {
    float sliceDistance = 0.0f;
    zMatrix4 view;
    zMatrix4 projection;
};
// The six splits of a parallel light (matrices start as the identity).
struct PSSMStructure {
    PSSMSplit splits[6];
};
// A point light's six cube faces: view matrices 0 to 5, then their
// projection matrices (all the identity at creation).
struct CubeShadowStructure {
    zMatrix4 matrices[12];
};

// The renderer data of a light: the programs its passes use (the renderer's,
// null when not loaded or in safe mode) and its shadow structures, made on
// first use and owned.
struct zGL3LightPrograms {
    ~zGL3LightPrograms()
    {
        delete pssm;
        delete cube;
    }
    zGL3ShaderRecord* lightProgram = nullptr;
    zGL3ShaderRecord* volumetricProgram = nullptr;
    PSSMStructure* pssm = nullptr;
    CubeShadowStructure* cube = nullptr;
};

// The OpenGL renderer ("gl2" in the application). Construct it with the core:
// it becomes the core's current renderer and deleting it puts the core's
// default back (the destructor closes video first). Option and effect flags
// (Tavrin::LoadRendererSettings) must be set before OpenVideo, which opens the
// window and context (false, logged with "[!] ", on any failure: video stays
// closed); GetWindowHandle then gives the SDL window for the input devices;
// CloseVideo releases the GL objects, the context and the window, and may be
// called again. Everything runs on the main thread with the renderer's
// context current. It draws the deferred frame; without GLSL, with
// "DisableShader", or when the shader library or a framebuffer cannot be
// made, it draws the fixed-function frame ("safe mode").
class zGL3Renderer : public zRenderer {
public:
    // Option flag bits this renderer reads.
    enum : uint32_t {
        OptionEnableDebug = 1,
        OptionAntialiasing = 2,
        OptionUseFloatTarget = 4,
        OptionOptimizeVideoRam = 8,
        OptionDisableShader = 16,
        OptionDisableMRT = 32,
        OptionPowerOfTwoTargets = 64,
        OptionTextureNoDownscale = 128,
        OptionTextureForceTrueColor = 256,
        OptionTextureNoCompression = 512,
        OptionTextureForceSquare = 1024,
    };
    enum : uint32_t {
        EffectMotionBlur = 1,
        EffectBloom = 8,
        EffectDepthOfField = 32,
        EffectFramebufferAsTexture = 256,
        EffectLowResolutionFx = 512,
        EffectShadowMapping = 2,
        EffectLinearShadow = 0x40,
        EffectExposure = 16,
        EffectAmbientOcclusion = 128,
    };
    // Texture-unit state word bits.
    enum : uint32_t {
        UnitBound = 1,
        UnitMatrix = 2,
        UnitTexGen = 4,
        UnitEnvironment = 8,
        UnitCoordArray = 16,
    };
    // Window modes of OpenVideoMode.
    enum : int32_t {
        ModeWindowed = 0,
        ModeFullScreen = 1,
        ModeHidden = 2,
        ModeCustom = 3,
    };
    static constexpr int32_t MaxLines = 4096;
    static constexpr int32_t TextureUnits = 8;
    static constexpr int32_t MaxFixedLights = 8;
    // Matrices of the skin palette a shader-map program declares.
    static constexpr int32_t SkinPaletteSize = 32;

    // Resolves a GL entry point by name; null when the driver lacks it.
    using ProcResolver = void* (*)(const char* name);

    explicit zGL3Renderer(Tavrin* core, bool makeCurrent = true);
    ~zGL3Renderer() override;

    void BeginFrame() override {}
    void EndFrame() override {}
    const char* GetName() override { return "Tavrin OpenGL 3"; }
    const char* GetDescription() override { return "Tavrin OpenGL 3 [Hybrid]."; }
    const char* GetVersion() override { return "0.5"; }
    // Windowed (mode 0) or full screen (mode 1); see OpenVideoMode.
    bool OpenVideo(int32_t width, int32_t height, int32_t bitsPerPixel, bool fullScreen) override;
    void CloseVideo() override;
    bool ResizeOutput(int32_t width, int32_t height) override;
    void ReservedA(void*) override {}
    void UpdateClientSize() override;
    // The SDL window (PlatformWindow*), null while video is closed.
    zWindowHandle GetWindowHandle() override { return mainWindow; }
    bool SetupAdditionalWindow(zWindowHandle window, zRenderWindow* record) override;
    void SetOutputWindow(zRenderWindow* record) override;
    void ReleaseAdditionalWindow(zRenderWindow* record) override;
    void RenderQueue() override;
    void Present() override;
    zShaderRecord* LoadShader(const char* name, const char* vertexProgram, const char* pixelProgram) override;
    void FreeShader(zShaderRecord* shader) override;
    void Clear(float red, float green, float blue, float depth, uint32_t flags) override;
    // As much of the output as the texture holds, from its lower left corner.
    void CopyFramebufferToTexture(zTexture* texture) override;
    void SetRenderTarget(zTexture* texture) override;
    void Line3D(const zVector& from, const zVector& to, const float* colour) override;
    void DrawTriangle(const zVector* corners, const float* colour, const zVector2* uvs, zTexture* texture,
                      uint32_t drawFlags) override;
    void Write(zRasterFont* font, const char* text, float x, float y, float size, bool keepAspect, int32_t alignment,
               const float* colour) override;
    bool SetupGeometry(zGeometry* geometry) override;
    void FreeGeometry(zGeometry* geometry) override;
    void UpdateGeometry(zGeometry* geometry, int32_t firstVertex, int32_t vertexCount) override;
    bool SetupTexture(zTexture* texture) override;
    bool LoadTextureContent(zTexture*, const char*) override { return false; }
    void FreeTexture(zTexture* texture) override;
    // pixels: width x height of them; the texture's own picture in its own
    // format (converted first when GL cannot read it as it is), any other
    // pixels RGBA bytes. Null pixels, an empty rectangle or one larger than
    // the texture's own picture change nothing.
    void UpdateTexture(zTexture* texture, const uint8_t* pixels, int32_t width, int32_t height, int32_t x,
                       int32_t y) override;
    bool SetupMaterial(zMaterial* material) override;
    void FreeMaterial(zMaterial* material) override;
    void UpdateMaterial(zMaterial* material) override;
    bool SetupLight(zLight* light) override;
    void FreeLight(zLight* light) override;
    void UpdateLight(zLight* light) override;
    void SetViewMatrix(const zMatrix4& matrix) override;
    void SetProjectionMatrix(const zMatrix4& matrix) override;
    void SetModelMatrix(const zMatrix4& matrix, const void* reserved) override;
    // The rectangle clamped to the output, or to the render target while one
    // is set (ClampGL3Viewport).
    void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) override;

    // Video output (system/video).
    // mode: 0 windowed at (32, 32), 1 full screen with a display-mode change,
    // 2 a window that is never shown; any other value is reported and opens a
    // windowed one. False, with video closed and the reason logged, when the
    // window or the context cannot be made or set-up fails.
    bool OpenVideoMode(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode);
    // A window the caller made (an SDL window created with SDL_WINDOW_OPENGL)
    // whose GL context is current; the renderer neither creates nor deletes them.
    bool OpenVideoCustomWindow(zWindowHandle window, int32_t width, int32_t height);
    bool OpenVideoWindow(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode);
    bool SetupContext(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode);
    // The result SetOutputWindow cannot return through the interface slot.
    bool SelectOutputWindow(zRenderWindow* record);

    // Set-up (gl/setup, gl/extensions).
    bool SetupOpenGL(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode);
    bool LoadOpenGLExtensions();
    bool SetupCoreShader();
    // False when no depth format gives a complete framebuffer: the deferred
    // framebuffer is then freed and the renderer falls back to safe mode.
    // Every buffer is at least one pixel a side; an output that supersampled
    // would pass the driver's texture or viewport limit is not supersampled.
    bool SetupDeferredFramebuffer(int32_t width, int32_t height);
    void FreeDeferredFramebuffer();
    void CheckglClear();
    void ClearBuffers(float red, float green, float blue, float alpha, float depth, GLbitfield mask);
    // A size-only texture of exact size uploaded without data; owned by the
    // caller (unlinked from the core's cache unless keepInCache). Null on failure.
    zTexture* NewRenderTexture(const char* name, int32_t width, int32_t height, int32_t kind, bool keepInCache);
    void ReleaseGLObjects();
    // Logs the pending GL error, if any; true when there was one.
    bool CheckGLError(const char* context, int32_t number);
    // The end of one pass of the frame: with the error check on, reads the GL
    // error state (see glErrorCheck).
    void CheckPass(const char* pass)
    {
        if (glErrorCheck != 0)
            ReportPassErrors(pass);
    }
    void ReportPassErrors(const char* pass);

    // State (system/state).
    void SetMatrixMode(GLenum mode);
    void ApplyViewport(int32_t x, int32_t y, int32_t width, int32_t height);
    void BindTextureUnit(int32_t unit, GLuint name);
    zGL3TextureRecord* BindTexture(int32_t unit, zGL3TextureRecord* record);
    int32_t FindFreeTextureUnit() const;
    uint32_t GetTextureUnitState(int32_t unit) const;
    void ResetTextureUnits(int32_t first);
    void SetDefaultState();
    // The caches as a new context has them (GL's initial material colours,
    // no arrays, no matrix mode known, every unit free).
    void ResetStateCaches();

    // Upload (common).
    void UploadTextureData(zGL3TextureRecord* record, zTexture* texture, bool compressible);
    void PrepareTextureSize(zTexture* texture);
    bool IsCompressible(const zTexture* texture) const;
    void FlushLines();
    void DrawScreenQuad(bool textured, float u, float v, float w, float h);
    void DrawCameraQuad(bool textured, float u, float v);
    void DrawTextureQuad(zTexture* texture, float x, float y, float width, float height, bool full);
    static void CopyMatrix(const float* source, float* destination, bool transpose);

    // Shader maps (deferred/setup_shader_map). Builds the program of the
    // compiler's current sections for queue pass 0 to 6, shared with every
    // earlier map of the same key in that pass. The caller owns the result;
    // null (logged) for a pass out of range or when allocation fails.
    CompiledRenderMap* SetupShaderMap(int32_t pass);
    // The core program a light draws with, by type, shadow mode, projection
    // map and specular intensity; null for types without one.
    const char* SelectLightProgram(const zLight* light) const;
    // Forgets the per-pass program lists (the programs belong to the shader list).
    void ClearPassPrograms();

    // Shadow maps (deferred/shadow_maps). Render the maps of one shadowed
    // light just before the light pass draws it; all lights share the six maps.
    void RenderLightShadow(zLight* light);
    void RenderShadowView(zCamera* camera, int32_t map);
    void FitShadowCamera(const zVector* corners, zCamera* camera, float depthOffset);
    void LightRenderPSSM(zLight* light);
    void LightRenderPSM(zLight* light);
    // The six "shadow_map" depth textures (compare mode on, linear) and the
    // framebuffer they are rendered through; false, with nothing kept, when
    // one cannot be made. FreeShadowMaps releases them and may run again.
    bool SetupShadowMaps();
    void FreeShadowMaps();

    // Frame (fixed, deferred).
    void WalkQueue(int32_t mode);
    // The deferred frame: depth and normals, attributes, lights, fog, the
    // forward pass, post effects, then the composed image into the output
    // (or the render target). Needs set-up's framebuffers and core programs.
    void RenderDeferredQueue();
    // Attribute buffers 1 to 3 from queue pass 3 over the depth of pass 2.
    void FillAttributeBuffers();
    void RenderVelocityPass();
    void RenderDepthPass();
    // Wire light volumes of the visible lights and, with showGBuffer, the
    // four attribute buffers as small quads.
    void DrawDebugOverlay(bool showGBuffer);

    // Deferred lighting (deferred/light_passes). Passes draw into the bound
    // framebuffer's colour attachment 0 and leave program 0 bound.
    void RenderAmbientPass();
    void RenderLightLoop();
    void DrawLight(zLight* light);
    // False when the light has no program.
    bool SetupLightPass(zLight* light);
    void DrawLightVolume(zLight* light);
    // A sphere around the origin of the model matrix that encloses the one
    // of the given radius (four bands of eight segments).
    void DrawLightSphere(float radius);
    // A four-sided pyramid, apex at the origin, base at distance a with half size b.
    void DrawLightPyramid(float distance, float halfSize);
    void RenderVolumetricLight(zLight* light);
    bool SetupVolumetricPass(zLight* light);

    // Screen passes and post effects (deferred/post_effects). Each post
    // effect returns true when its result is in spare (the caller swaps),
    // false when the image was changed in place or left alone.
    void RenderFogPass();
    void RenderSSAOPass();
    // source drawn into target (null: fx0) with program (null: a plain copy);
    // scale multiplies the effect uniforms' buffer scale.
    void RenderFullscreenPass(zTexture* source, float scale, zGL3ShaderRecord* program, zTexture* target);
    bool RenderBloom(zTexture* image, zTexture* spare);
    bool RenderMotionBlur(zTexture* image, zTexture* spare);
    bool RenderDepthOfField(zTexture* image, zTexture* spare);
    // One pass of a separable blur from source into target: binds the program
    // with its buffer uniforms and the source and returns it for the caller's
    // own uniforms; EndBlurPass draws it and unbinds.
    GLhandleARB BeginBlurPass(zGL3ShaderRecord* program, zTexture* source, zTexture* target, float size, float scale);
    void EndBlurPass();
    // fx0 drawn over image with the blend factors given.
    void BlendEffectOntoImage(zTexture* image, GLenum sourceFactor, GLenum destinationFactor);
    // Sets a named uniform of the bound program; a name the program does not
    // use is skipped.
    void SetUniform(GLhandleARB program, const char* name, float x);
    void SetUniform(GLhandleARB program, const char* name, float x, float y);
    void SetUniform(GLhandleARB program, const char* name, float x, float y, float z);
    void SetUniformMatrix(GLhandleARB program, const char* name, const zMatrix4& matrix);
    // The sampler uniform of the bound program takes the unit, with the
    // texture bound there (nothing bound for a null texture).
    void BindSampler(GLhandleARB program, int32_t unit, zTexture* texture, const char* name);
    // Makes a texture colour attachment 0 of the bound framebuffer and the
    // viewport its full size.
    void SetPassTarget(zTexture* target);
    // Polygon mode fill again after a pass whose materials may be wireframe.
    void RestoreFilledPolygons();
    // The part of a buffer that holds the picture (1 unless the buffers are
    // rounded up to powers of two).
    float DisplayRatioX() const;
    float DisplayRatioY() const;
    void BeginFixedFunctionQueuePass();
    void EndFixedFunctionQueuePass();
    void SetupAmbientLight();
    void SetupFixedLights();
    void SetupFixedLight(int32_t index, zLight* light);
    // Binds the output framebuffer with the render target as colour and a
    // depth texture of its size, depth cleared. False when it cannot.
    bool BindSafeModeTarget();
    // Draws the batches of the walk's current item for one pass.
    void DrawItemBatches(zObject* object, zGeometry* geometry, int32_t mode);
    void DrawFixedFunctionBatch(zObject* object, const zGL3Batch& batch, zMaterial* material, int32_t mode);
    // The shader-map route: map is the material's map for the pass (not null).
    void DrawShaderMapBatch(zObject* object, const zGL3Batch& batch, zMaterial* material,
                            const CompiledRenderMap* map, int32_t mode);
    // Uses the map's program with its textures, the batch's coordinate sets
    // (batch may be null) and its uniforms.
    void UseShaderMap(const CompiledRenderMap* map, const zGL3Batch* batch);
    void ApplyMaterialState(const zMaterial* material);

    // Entry points; null when the driver lacks them.
    ProcResolver procResolver;
    PFNGLGENERATEMIPMAPEXTPROC glGenerateMipmap_ = nullptr;
    PFNGLGENBUFFERSARBPROC glGenBuffers_ = nullptr;
    PFNGLBINDBUFFERARBPROC glBindBuffer_ = nullptr;
    PFNGLBUFFERDATAARBPROC glBufferData_ = nullptr;
    PFNGLDELETEBUFFERSARBPROC glDeleteBuffers_ = nullptr;
    PFNGLMAPBUFFERARBPROC glMapBuffer_ = nullptr;
    PFNGLUNMAPBUFFERARBPROC glUnmapBuffer_ = nullptr;
    PFNGLCREATEPROGRAMOBJECTARBPROC glCreateProgramObject_ = nullptr;
    PFNGLCREATESHADEROBJECTARBPROC glCreateShaderObject_ = nullptr;
    PFNGLSHADERSOURCEARBPROC glShaderSource_ = nullptr;
    PFNGLCOMPILESHADERARBPROC glCompileShader_ = nullptr;
    PFNGLATTACHOBJECTARBPROC glAttachObject_ = nullptr;
    PFNGLDETACHOBJECTARBPROC glDetachObject_ = nullptr;
    PFNGLDELETEOBJECTARBPROC glDeleteObject_ = nullptr;
    PFNGLLINKPROGRAMARBPROC glLinkProgram_ = nullptr;
    PFNGLUSEPROGRAMOBJECTARBPROC glUseProgramObject_ = nullptr;
    PFNGLGETINFOLOGARBPROC glGetInfoLog_ = nullptr;
    PFNGLACTIVETEXTUREARBPROC glActiveTexture_ = nullptr;
    PFNGLCLIENTACTIVETEXTUREARBPROC glClientActiveTexture_ = nullptr;
    PFNGLUNIFORM1IARBPROC glUniform1i_ = nullptr;
    PFNGLGETUNIFORMLOCATIONARBPROC glGetUniformLocation_ = nullptr;
    PFNGLUNIFORM1FARBPROC glUniform1f_ = nullptr;
    PFNGLUNIFORM2FARBPROC glUniform2f_ = nullptr;
    PFNGLUNIFORM3FARBPROC glUniform3f_ = nullptr;
    PFNGLUNIFORM4FARBPROC glUniform4f_ = nullptr;
    PFNGLUNIFORMMATRIX3FVPROC glUniformMatrix3fv_ = nullptr;
    PFNGLUNIFORMMATRIX4FVPROC glUniformMatrix4fv_ = nullptr;
    PFNGLGENFRAMEBUFFERSEXTPROC glGenFramebuffers_ = nullptr;
    PFNGLBINDFRAMEBUFFEREXTPROC glBindFramebuffer_ = nullptr;
    PFNGLDELETEFRAMEBUFFERSEXTPROC glDeleteFramebuffers_ = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DEXTPROC glFramebufferTexture2D_ = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC glCheckFramebufferStatus_ = nullptr;
    PFNGLDRAWBUFFERSPROC glDrawBuffers_ = nullptr;
    PFNGLGENQUERIESARBPROC glGenQueries_ = nullptr;
    PFNGLDELETEQUERIESARBPROC glDeleteQueries_ = nullptr;
    PFNGLBEGINQUERYARBPROC glBeginQuery_ = nullptr;
    PFNGLENDQUERYARBPROC glEndQuery_ = nullptr;
    PFNGLGETQUERYOBJECTIVARBPROC glGetQueryObjectiv_ = nullptr;
    PFNGLGETQUERYOBJECTUIVARBPROC glGetQueryObjectuiv_ = nullptr;
    PFNGLENABLEVERTEXATTRIBARRAYPROC glEnableVertexAttribArray_ = nullptr;
    PFNGLVERTEXATTRIBPOINTERPROC glVertexAttribPointer_ = nullptr;
    PFNGLDISABLEVERTEXATTRIBARRAYPROC glDisableVertexAttribArray_ = nullptr;
    PFNGLGETATTRIBLOCATIONPROC glGetAttribLocation_ = nullptr;
    PFNGLCLAMPCOLORARBPROC glClampColor_ = nullptr;

    // Context and windows: the SDL window and context, and the window Present swaps.
    void* context = nullptr;
    zWindowHandle mainWindow = nullptr;
    zWindowHandle outputWindow = nullptr;
    int32_t maxDrawBuffers = 0;
    uint8_t sixteenBitDepth = 0;
    // 1 when the driver can clamp depth instead of clipping at the near and
    // far planes (GL 3.2, or the ARB or NV depth-clamp extension).
    uint8_t depthClamp = 0;
    // Client-array and matrix-mode caches.
    int32_t vertexArraySet = 0;
    int32_t normalArraySet = 0;
    int32_t colourArraySet = 0;
    GLenum matrixMode = 0;
    // Material-colour cache of the fixed-function path.
    float materialAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    float materialDiffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    float materialSpecular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float materialEmission[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float materialShininess = 0.0f;
    // Cached material state of the item draw: -1 unknown.
    int32_t cachedShadeModel = -1;
    int32_t cachedPolygonMode = -1;
    int32_t cachedCulling = -1;
    uint32_t unitState[TextureUnits] = {};
    int32_t currentItem = 0;
    zMatrix4 viewMatrix;
    float supersampling = 1.0f;
    int32_t viewportX = 0;
    int32_t viewportY = 0;
    int32_t viewportWidth = 0;
    int32_t viewportHeight = 0;
    GLuint occlusionQuery = 0;
    GLuint velocityFramebuffer = 0;
    zTexture* shadowMaps[6] = {};
    // Owned (deleted at close) unless noiseTextureOwned is 0: then the
    // core's cache holds it.
    zTexture* noiseTexture = nullptr;
    uint8_t noiseTextureOwned = 0;
    int32_t shadowMapSize = 1024;
    float shadowMapReciprocal = 1.0f / 1024.0f;
    float framebufferScaleX = 1.0f;
    float framebufferScaleY = 1.0f;
    float framebufferReciprocalWidth = 1.0f;
    float framebufferReciprocalHeight = 1.0f;
    float outputReciprocalWidth = 1.0f;
    float outputReciprocalHeight = 1.0f;
    GLuint deferredFramebuffer = 0;
    zTexture* depthMap = nullptr;
    zTexture* attrMaps[4] = {};
    struct LineEntry {
        float from[4];
        float to[4];
        float colour[4];
    };
    // Owned, MaxLines entries.
    LineEntry* lines = nullptr;
    uint32_t lineCount = 0;
    uint8_t lineListFullReported = 0;
    float framebufferWidth = 0.0f;
    float framebufferHeight = 0.0f;
    zTexture* composeMap = nullptr;
    zTexture* fxMaps[2] = {};
    zTexture* velocityMap = nullptr;
    int32_t effectMapDivisor = 2;
    GLuint outputFramebuffer = 0;
    int32_t windowMode = 0;
    int32_t windowWidth = 0;
    int32_t windowHeight = 0;
    int32_t windowBits = 0;
    uint8_t glClearClamps = 0;
    uint8_t customWindow = 0;
    // Depth for safe-mode frames drawn into a render target (the output
    // framebuffer has none of its own); owned, remade when the target's size changes.
    zTexture* targetDepthMap = nullptr;
    // The lights the fixed-function pass configured this frame.
    int32_t lightCount = 0;
    zLight* lightList[MaxFixedLights] = {};
    // The shader-map compiler and, per queue pass, the programs built from
    // maps in creation order (borrowed from the shader list).
    static constexpr int32_t PassCount = 7;
    GL3_RenderMapCompiler mapCompiler;
    std::vector<zGL3ShaderRecord*> passPrograms[PassCount];
    // Programs built from shader maps since the renderer was made; frames
    // never build any (the tests read it).
    uint64_t shaderMapPrograms = 0;
    // Deferred frame bookkeeping: "FBO incomplete." is said once per frame;
    // a shadow rendered in the light loop asks for a new cull of the view.
    uint8_t attributeFramebufferReported = 0;
    uint8_t shadowRendered = 0;
    // Seconds (glFinish to glFinish) the last deferred frame spent in each
    // pass, for the benchmarks; filled only while passTiming is set. The
    // lights' time does not hold the shadow maps rendered in their loop.
    enum : int32_t {
        TimeVelocity = 0,
        TimeDepth,
        TimeSSAO,
        TimeAttributes,
        TimeLights,
        TimeShadows,
        TimeFog,
        TimeForward,
        TimePostEffects,
        TimeOutput,
        TimeCount,
    };
    uint8_t passTiming = 0;
    double passSeconds[TimeCount] = {};
    // The GL error check the tests switch on: with the environment variable
    // TAVRIN_GL_CHECK set, and not to "0", when video opens, the error state
    // is read after every pass of every frame. Each error is logged with the
    // frame (frames presented so far + 1) and the pass, counted, and handed
    // to GLErrorHook when one is set. Off, a pass costs a test of the flag.
    uint8_t glErrorCheck = 0;
    uint64_t glErrorsFound = 0;
    uint64_t framesPresented = 0;
    static inline void (*GLErrorHook)(const char* message) = nullptr;
    // Whether the platform's video system was started by this renderer.
    uint8_t videoSystemStarted = 0;
    // Counters the benchmarks and tests read: GL state changes issued by the
    // state caches and the item draw (material, shading, culling, polygon
    // mode, texture binds, matrix modes), and uploads (geometry batches and
    // textures sent to GL). Never reset by the renderer.
    uint64_t stateChanges = 0;
    uint64_t uploads = 0;
    // The driver gave no context for a multisampled surface this run.
    uint8_t multisampleRefused = 0;
    // The framebuffer shadow maps are rendered through (no colour buffer).
    GLuint shadowFramebuffer = 0;

protected:
    // Test seam: the allocation of a texture's renderer record.
    virtual zGL3TextureRecord* AllocateTextureRecord();
    // Test seams: a light's shadow structures, made on first use; null when
    // memory runs out (the light then renders no maps this frame).
    virtual PSSMStructure* AllocatePSSMStructure();
    virtual CubeShadowStructure* AllocateCubeShadowStructure();
};
