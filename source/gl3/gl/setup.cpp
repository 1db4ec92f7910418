// Set-up after the context exists: extensions, the deferred framebuffer,
// shader programs, and the release of every GL object at close.

#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "framework/system/zLogStream.h"
#include "gl3/common/zGL3Rules.h"
#include "gl3/system/zGL3Renderer.h"
#include "platform/PlatformVideo.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

const char* GLString(GLenum name)
{
    const auto* s = reinterpret_cast<const char*>(glGetString(name));
    return s != nullptr ? s : "";
}

// The words of an error GL names, or null.
const char* GLErrorName(GLenum error)
{
    switch (error) {
    case GL_INVALID_ENUM: return "GL invalid enumeration";
    case GL_INVALID_VALUE: return "GL invalid value";
    case GL_INVALID_OPERATION: return "GL invalid operation";
    case GL_STACK_OVERFLOW: return "GL stack overflow";
    case GL_STACK_UNDERFLOW: return "GL stack underflow";
    case GL_OUT_OF_MEMORY: return "GL out of memory";
    case GL_INVALID_FRAMEBUFFER_OPERATION_EXT: return "GL invalid framebuffer operation";
    default: return nullptr;
    }
}

} // namespace

bool zGL3Renderer::SetupOpenGL(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t mode)
{
    sixteenBitDepth = 0;
    const char* check = std::getenv("TAVRIN_GL_CHECK");
    glErrorCheck = check != nullptr && check[0] != '\0' && std::strcmp(check, "0") != 0 ? 1 : 0;
    LogHeading("zGL3Renderer::SetupOpenGL") << "Starting OpenGL 3 renderer...\n";
    if ((optionFlags & OptionAntialiasing) != 0)
        *GlobalLogStream << "Using 4x supersampling.\n";
    else
        *GlobalLogStream << "No supersampling.\n";
    if ((optionFlags & OptionUseFloatTarget) != 0) {
        *GlobalLogStream << "Full HDR support.\n";
    } else {
        LogWarning("zGL3Renderer::SetupOpenGL") << "No HDR support.\n";
        effectFlags &= ~uint32_t(EffectExposure);
    }
    if (mode != ModeCustom && !SetupContext(width, height, bitsPerPixel, mode))
        return false;
    if (mode == ModeCustom) {
        outputWidth = float(width);
        outputHeight = float(height);
    }
    // Every step below talks to GL: without a current context there is no
    // driver to ask (a caller's window without its context, or a lost one).
    if (!PlatformHasCurrentGLContext()) {
        LogError("zGL3Renderer::SetupOpenGL") << "No current GL context: the rendering context was lost or never "
                                                 "made current.\n";
        CloseVideo();
        return false;
    }
    if (!LoadOpenGLExtensions()) {
        CloseVideo();
        return false;
    }
    // Without its programs the deferred frame cannot draw; the fixed-function
    // frame still can, so a missing library is not the end of the run.
    if ((optionFlags & OptionDisableShader) == 0 && !LoadShaderLibrary("default_shaders.zml", "GLSL_Deferred;")) {
        LogWarning("zGL3Renderer::SetupOpenGL")
            << "Cannot load the shader library 'default_shaders.zml', defaulting to fixed-function pipeline.\n";
        optionFlags |= OptionDisableShader;
    }
    videoOpen = 1;
    *GlobalLogStream << "Vendor: " << GLString(GL_VENDOR) << "\n";
    *GlobalLogStream << "Renderer: " << GLString(GL_RENDERER) << "\n";
    *GlobalLogStream << "Version: " << GLString(GL_VERSION) << "\n";
    *GlobalLogStream << "\n";
    // Sizes before the first frame: the viewport covers the output.
    framebufferWidth = float(width);
    framebufferHeight = float(height);
    SetViewport(0, 0, width, height);
    SetDefaultState();
    if (glGenQueries_ != nullptr)
        glGenQueries_(1, &occlusionQuery);
    // Render targets draw through the output framebuffer in both frames.
    if (glGenFramebuffers_ != nullptr)
        glGenFramebuffers_(1, &outputFramebuffer);
    if ((optionFlags & OptionDisableShader) == 0) {
        if (!SetupCoreShader()) {
            LogWarning("zGL3Renderer::SetupOpenGL") << "Defaulting to fixed-function pipeline.\n";
            FreeAllShaders();
            ClearPassPrograms();
            optionFlags |= OptionDisableShader;
        }
    }
    if ((optionFlags & OptionDisableShader) == 0) {
        glGenFramebuffers_(1, &deferredFramebuffer);
        glGenFramebuffers_(1, &velocityFramebuffer);
        if (SetupDeferredFramebuffer(width, height)) {
            SetupShadowMaps();
            velocityMap = NewRenderTexture("velocity_map", 1024, 1024, 2, false);
            if (velocityMap != nullptr && velocityMap->rendererData != nullptr) {
                glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(velocityMap->rendererData)->name);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
                glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            }
            glBindTexture(GL_TEXTURE_2D, 0);
        }
    }
    // Every GL call from here on is valid: the closed marker goes first.
    videoClosed = 0;
    SetRenderTarget(nullptr);
    glReadBuffer(GL_BACK);
    CheckglClear();
    cullingTimer.Reset();
    renderTimer.Reset();
    if ((optionFlags & OptionDisableMRT) != 0)
        LogWarning("zGL3Renderer::SetupOpenGL") << "MRT support is disabled.\n";
    return true;
}

bool zGL3Renderer::SetupCoreShader()
{
    static const char* const required[] = {
        "core::fog",         "core::ambient",          "core::pointlight",           "core::pointlight_specular",
        "core::ssao",        "core::spotlight",        "core::spotlight_specular",   "core::projective_spotlight",
        "core::projective_spotlight_shadow",
    };
    for (const char* name : required) {
        if (shaders.Find(name) == nullptr) {
            LogError("zGL3Renderer::SetupCoreShader") << "Failed to load one or more core shader.\n";
            return false;
        }
    }
    // The renderer's own copy, out of the core's cache: the core deletes its
    // cache before video closes, and the texture must outlive the frames.
    noiseTexture = core != nullptr ? core->LoadTexture("noise.tga", false, false, 0.5f, false) : nullptr;
    noiseTextureOwned = noiseTexture != nullptr && !core->GetTextures().Contains(noiseTexture) ? 1 : 0;
    if (noiseTexture != nullptr && noiseTexture->rendererData != nullptr) {
        glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(noiseTexture->rendererData)->name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    return true;
}

bool zGL3Renderer::SetupShadowMaps()
{
    FreeShadowMaps();
    if (glGenFramebuffers_ == nullptr)
        return false;
    shadowMapReciprocal = 1.0f / float(shadowMapSize);
    for (zTexture*& map : shadowMaps) {
        map = NewRenderTexture("shadow_map", shadowMapSize, shadowMapSize, 3, false);
        if (map == nullptr) {
            LogError("zGL3Renderer::SetupShadowMaps") << "Failed to create the shadow maps.\n";
            FreeShadowMaps();
            return false;
        }
        // Depth comparison in the light programs' samplers, filtered.
        glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(map->rendererData)->name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE_ARB, GL_COMPARE_R_TO_TEXTURE_ARB);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC_ARB, GL_LEQUAL);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glGenFramebuffers_(1, &shadowFramebuffer);
    return true;
}

void zGL3Renderer::FreeShadowMaps()
{
    for (zTexture*& map : shadowMaps) {
        if (map != nullptr) {
            FreeTexture(map);
            delete map;
            map = nullptr;
        }
    }
    if (shadowFramebuffer != 0 && glDeleteFramebuffers_ != nullptr)
        glDeleteFramebuffers_(1, &shadowFramebuffer);
    shadowFramebuffer = 0;
}

zTexture* zGL3Renderer::NewRenderTexture(const char* name, int32_t width, int32_t height, int32_t kind,
                                         bool keepInCache)
{
    zTexture* texture = zTexture::New(core, name, kind, 1, true, 0.5f);
    if (texture == nullptr)
        return nullptr;
    texture->flags |= GL3TextureRaw;
    texture->picture.SetSizeOnly(width, height);
    if (!SetupTexture(texture)) {
        delete texture;
        return nullptr;
    }
    if (!keepInCache && core != nullptr)
        core->GetTextures().Unlink(texture);
    return texture;
}

bool zGL3Renderer::SetupDeferredFramebuffer(int32_t width, int32_t height)
{
    outputWidth = float(width);
    outputHeight = float(height);
    supersampling = (optionFlags & OptionAntialiasing) != 0 ? 2.0f : 1.0f;
    if (glGenFramebuffers_ == nullptr || glBindFramebuffer_ == nullptr) {
        LogError("zGL3Renderer::SetupDeferredFramebuffer") << "Driver has no framebuffer objects.\n";
        return false;
    }
    // The buffers hold the supersampled output: past what the driver can
    // texture and draw into, the output is drawn without supersampling.
    GLint textureLimit = 0;
    GLint viewportLimits[2] = {};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &textureLimit);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewportLimits);
    const int64_t limit = std::min<int64_t>(textureLimit, std::min(viewportLimits[0], viewportLimits[1]));
    if (supersampling > 1.0f && limit > 0 &&
        (int64_t(width) * 2 > limit || int64_t(height) * 2 > limit)) {
        LogWarning("zGL3Renderer::SetupDeferredFramebuffer")
            << "A " << width << "x" << height << " output supersampled exceeds the driver's " << int32_t(limit)
            << " pixels a side, drawing it without supersampling.\n";
        supersampling = 1.0f;
    }
    const zGL3DeferredSize size = ComputeGL3DeferredSize(width, height, supersampling, optionFlags);
    if (deferredFramebuffer == 0)
        glGenFramebuffers_(1, &deferredFramebuffer);
    const int32_t colourKind = (optionFlags & OptionUseFloatTarget) != 0 ? 2 : 0;
    auto nearest = [](zTexture* t) {
        if (t == nullptr || t->rendererData == nullptr)
            return;
        glBindTexture(GL_TEXTURE_2D, static_cast<zGL3TextureRecord*>(t->rendererData)->name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    };
    depthMap = NewRenderTexture("depth_map", size.width, size.height, 3, false);
    static const char* const attrNames[4] = {"attr0_map", "attr1_map", "attr2_map", "attr3_map"};
    for (int i = 0; i < 4; ++i) {
        attrMaps[i] = NewRenderTexture(attrNames[i], size.width, size.height, i == 0 ? 2 : colourKind, false);
        nearest(attrMaps[i]);
    }
    composeMap = NewRenderTexture("compose_map", size.width, size.height, colourKind, false);
    nearest(composeMap);
    // The effect buffers at a fraction of the size, never below one pixel:
    // a one-pixel-high output still has one row to draw its effects into.
    const int32_t effectWidth = std::max(size.width / effectMapDivisor, 1);
    const int32_t effectHeight = std::max(size.height / effectMapDivisor, 1);
    fxMaps[0] = NewRenderTexture("fx0_map", effectWidth, effectHeight, colourKind, false);
    fxMaps[1] = NewRenderTexture("fx1_map", effectWidth, effectHeight, colourKind, false);
    glBindTexture(GL_TEXTURE_2D, 0);

    auto attachAndCheck = [&]() {
        glBindFramebuffer_(GL_FRAMEBUFFER_EXT, deferredFramebuffer);
        const GLuint depthName =
            depthMap != nullptr ? static_cast<zGL3TextureRecord*>(depthMap->rendererData)->name : 0;
        const GLuint colourName =
            attrMaps[0] != nullptr ? static_cast<zGL3TextureRecord*>(attrMaps[0]->rendererData)->name : 0;
        glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_TEXTURE_2D, depthName, 0);
        glFramebufferTexture2D_(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, colourName, 0);
        return glCheckFramebufferStatus_(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
    };
    bool complete = attachAndCheck();
    if (!complete) {
        LogWarning("zGL3Renderer::SetupDeferredFramebuffer")
            << "Card does not appear to have support for 32 bit depth texture frame buffer.\n";
        sixteenBitDepth = 1;
        if (depthMap != nullptr) {
            FreeTexture(depthMap);
            delete depthMap;
        }
        depthMap = NewRenderTexture("depth_map", size.width, size.height, 3, false);
        complete = attachAndCheck();
    }
    glBindFramebuffer_(GL_FRAMEBUFFER_EXT, 0);
    if (!complete) {
        // Without a depth format the deferred frame cannot draw at all.
        LogError("zGL3Renderer::SetupDeferredFramebuffer")
            << "No depth texture format gives a complete frame buffer, defaulting to fixed-function pipeline.\n";
        FreeDeferredFramebuffer();
        optionFlags |= OptionDisableShader;
        return false;
    }
    framebufferWidth = size.framebufferWidth;
    framebufferHeight = size.framebufferHeight;
    framebufferReciprocalWidth = 1.0f / framebufferWidth;
    framebufferReciprocalHeight = 1.0f / framebufferHeight;
    outputReciprocalWidth = 1.0f / float(size.width);
    outputReciprocalHeight = 1.0f / float(size.height);
    SetViewport(0, 0, width, height);
    return true;
}

void zGL3Renderer::FreeDeferredFramebuffer()
{
    zTexture** owned[] = {&attrMaps[0], &attrMaps[1], &attrMaps[2], &attrMaps[3],
                          &depthMap,    &composeMap,  &fxMaps[0],   &fxMaps[1]};
    for (zTexture** t : owned) {
        if (*t != nullptr) {
            FreeTexture(*t);
            delete *t;
            *t = nullptr;
        }
    }
}

bool zGL3Renderer::ResizeOutput(int32_t width, int32_t height)
{
    if (width < 1 || height < 1 || videoOpen == 0)
        return false;
    if ((optionFlags & OptionDisableShader) != 0) {
        // No deferred framebuffer: only the output size and viewport follow.
        outputWidth = float(width);
        outputHeight = float(height);
        framebufferWidth = float(width);
        framebufferHeight = float(height);
        SetViewport(0, 0, width, height);
        return true;
    }
    FreeDeferredFramebuffer();
    return SetupDeferredFramebuffer(width, height);
}

void zGL3Renderer::CheckglClear()
{
    LogHeading("zGL3Renderer::CheckglClear") << "Checking glClear() range.\n";
    if (glBindFramebuffer_ == nullptr || deferredFramebuffer == 0 || attrMaps[0] == nullptr)
        return;
    glBindFramebuffer_(GL_FRAMEBUFFER_EXT, deferredFramebuffer);
    SetRenderTarget(attrMaps[0]);
    glClearColor(2.0f, 2.0f, 2.0f, 2.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    float pixel[4] = {};
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, pixel);
    if (pixel[0] < 1.9f) {
        glClearClamps = 1;
        LogWarning("zGL3Renderer::CheckglClear")
            << "glClear() is clamping on float buffers, performances will suffer.\n";
    }
    SetRenderTarget(nullptr);
}

void zGL3Renderer::ClearBuffers(float red, float green, float blue, float alpha, float depth, GLbitfield mask)
{
    glClearDepth(depth);
    if (glClearClamps == 0) {
        glClearColor(red, green, blue, alpha);
        glClear(mask);
        return;
    }
    auto* program = static_cast<zGL3ShaderRecord*>(shaders.Find("core::ati_glclear_workaround_shadowmap"));
    if ((mask & GL_COLOR_BUFFER_BIT) != 0 && program != nullptr && glUseProgramObject_ != nullptr) {
        glUseProgramObject_(program->program);
        glUniform4f_(glGetUniformLocation_(program->program, "clear_color"), red, green, blue, alpha);
        DrawScreenQuad(false, 1.0f, 1.0f, 1.0f, 1.0f);
        glUseProgramObject_(0);
    }
    if ((mask & GL_DEPTH_BUFFER_BIT) != 0)
        glClear(GL_DEPTH_BUFFER_BIT);
}

zShaderRecord* zGL3Renderer::LoadShader(const char* name, const char* vertexProgram, const char* pixelProgram)
{
    *GlobalLogStream << "LoadShader(): '" << (name != nullptr ? name : "") << "'.\n";
    if (name == nullptr || vertexProgram == nullptr || pixelProgram == nullptr || glCreateProgramObject_ == nullptr ||
        glCreateShaderObject_ == nullptr) {
        LogError("zGL3Renderer::LoadShader") << "cannot register shader '" << (name != nullptr ? name : "") << "'.\n";
        return nullptr;
    }
    auto* record = new (std::nothrow) zGL3ShaderRecord(name);
    if (record == nullptr) {
        LogError("zGL3Renderer::LoadShader") << "Failed to allocate shader.\n";
        return nullptr;
    }
    auto printLog = [&](GLhandleARB object) {
        char text[513] = {};
        GLsizei length = 0;
        glGetInfoLog_(object, 512, &length, text);
        if (length > 0)
            *GlobalLogStream << text << "\n";
    };
    record->program = glCreateProgramObject_();
    record->vertexShader = glCreateShaderObject_(GL_VERTEX_SHADER_ARB);
    record->fragmentShader = glCreateShaderObject_(GL_FRAGMENT_SHADER_ARB);
    glShaderSource_(record->vertexShader, 1, &vertexProgram, nullptr);
    glCompileShader_(record->vertexShader);
    printLog(record->vertexShader);
    glAttachObject_(record->program, record->vertexShader);
    glShaderSource_(record->fragmentShader, 1, &pixelProgram, nullptr);
    glCompileShader_(record->fragmentShader);
    printLog(record->fragmentShader);
    glAttachObject_(record->program, record->fragmentShader);
    glLinkProgram_(record->program);
    printLog(record->program);
    record->linked = 1;
    return record;
}

void zGL3Renderer::FreeShader(zShaderRecord* shader)
{
    auto* record = static_cast<zGL3ShaderRecord*>(shader);
    if (record == nullptr || record->linked == 0 || glDetachObject_ == nullptr)
        return;
    glDetachObject_(record->program, record->fragmentShader);
    glDetachObject_(record->program, record->vertexShader);
    glDeleteObject_(record->fragmentShader);
    glDeleteObject_(record->vertexShader);
    glDeleteObject_(record->program);
    record->linked = 0;
}

void zGL3Renderer::ReleaseGLObjects()
{
    if (outputFramebuffer != 0 && glDeleteFramebuffers_ != nullptr)
        glDeleteFramebuffers_(1, &outputFramebuffer);
    outputFramebuffer = 0;
    for (zTexture** owned : {&depthMap, &targetDepthMap}) {
        if (*owned != nullptr) {
            FreeTexture(*owned);
            delete *owned;
            *owned = nullptr;
        }
    }
    // A noise texture the cache gave (found under another name) is the cache's.
    if (noiseTexture != nullptr && noiseTextureOwned != 0) {
        FreeTexture(noiseTexture);
        delete noiseTexture;
    }
    noiseTexture = nullptr;
    noiseTextureOwned = 0;
    if (occlusionQuery != 0 && glDeleteQueries_ != nullptr)
        glDeleteQueries_(1, &occlusionQuery);
    occlusionQuery = 0;
    if ((optionFlags & OptionDisableShader) == 0) {
        FreeDeferredFramebuffer();
        if (velocityMap != nullptr) {
            FreeTexture(velocityMap);
            delete velocityMap;
            velocityMap = nullptr;
        }
        if (glDeleteFramebuffers_ != nullptr) {
            if (velocityFramebuffer != 0)
                glDeleteFramebuffers_(1, &velocityFramebuffer);
            if (deferredFramebuffer != 0)
                glDeleteFramebuffers_(1, &deferredFramebuffer);
        }
        velocityFramebuffer = 0;
        deferredFramebuffer = 0;
        FreeAllShaders();
    } else {
        // A deferred framebuffer made directly (the fall-back tests) still goes.
        FreeDeferredFramebuffer();
        if (deferredFramebuffer != 0 && glDeleteFramebuffers_ != nullptr)
            glDeleteFramebuffers_(1, &deferredFramebuffer);
        deferredFramebuffer = 0;
    }
    // Shadow maps made directly (the shadow tests) go in safe mode too.
    FreeShadowMaps();
    // Map programs went with the shader list.
    ClearPassPrograms();
    optionFlags &= ~uint32_t(OptionDisableMRT);
}

bool zGL3Renderer::CheckGLError(const char* context_, int32_t number)
{
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR)
        return false;
    zLogStream& log = LogError("zGL3Renderer::CheckGLError");
    const char* name = GLErrorName(error);
    if (name != nullptr)
        log << name << " (";
    else
        log << "GL error " << uint32_t(error) << " (";
    log << (context_ != nullptr ? context_ : "") << ":" << number << ").\n";
    return true;
}

void zGL3Renderer::ReportPassErrors(const char* pass)
{
    if (videoOpen == 0 || videoClosed != 0)
        return;
    // GL keeps one flag per kind of error; a lost context reports forever.
    for (int32_t flags = 0; flags < 8; ++flags) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR)
            return;
        const char* name = GLErrorName(error);
        std::string message = (name != nullptr ? std::string(name) : "GL error " + std::to_string(error)) +
            " in frame " + std::to_string(framesPresented + 1) + ", pass '" + (pass != nullptr ? pass : "") + "'.";
        LogError("zGL3Renderer::CheckPass") << message.c_str() << "\n";
        ++glErrorsFound;
        if (GLErrorHook != nullptr)
            GLErrorHook(message.c_str());
    }
}
