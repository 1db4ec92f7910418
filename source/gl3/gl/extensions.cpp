// GL entry points: fetched by name through the platform, required ones end
// set-up, optional ones only warn.

#include "framework/system/zLogStream.h"
#include "gl3/system/zGL3Renderer.h"

#include <cstdio>
#include <cstring>

namespace {

template <typename T>
bool Fetch(zGL3Renderer& renderer, T& slot, const char* name, bool required)
{
    slot = reinterpret_cast<T>(renderer.procResolver != nullptr ? renderer.procResolver(name) : nullptr);
    if (slot != nullptr)
        return true;
    if (required)
        LogError("zGL3Renderer::LoadOpenGLExtensions") << name << " is not supported by this driver.\n";
    else
        LogWarning("zGL3Renderer::LoadOpenGLExtensions") << name << " is not supported by this driver.\n";
    return false;
}

// GL 3.2 has depth clamping in its core; older drivers may offer it as an
// extension.
bool SupportsDepthClamp()
{
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (version != nullptr && std::sscanf(version, "%d.%d", &major, &minor) == 2 &&
        (major > 3 || (major == 3 && minor >= 2)))
        return true;
    const auto* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    return extensions != nullptr &&
           (std::strstr(extensions, "GL_ARB_depth_clamp") != nullptr ||
            std::strstr(extensions, "GL_NV_depth_clamp") != nullptr);
}

} // namespace

bool zGL3Renderer::LoadOpenGLExtensions()
{
    LogHeading("zGL3Renderer::LoadOpenGLExtensions") << "Fetch GL extensions...\n";
    auto& r = *this;
    Fetch(r, glGenerateMipmap_, "glGenerateMipmapEXT", false);
    if (!Fetch(r, glGenBuffers_, "glGenBuffersARB", true) || !Fetch(r, glBindBuffer_, "glBindBufferARB", true) ||
        !Fetch(r, glBufferData_, "glBufferDataARB", true) || !Fetch(r, glDeleteBuffers_, "glDeleteBuffersARB", true) ||
        !Fetch(r, glMapBuffer_, "glMapBufferARB", true) || !Fetch(r, glUnmapBuffer_, "glUnmapBufferARB", true))
        return false;
    glBindFramebuffer_ = nullptr;
    glDeleteFramebuffers_ = nullptr;
    glFramebufferTexture2D_ = nullptr;
    glCheckFramebufferStatus_ = nullptr;
    const bool framebuffers = Fetch(r, glGenFramebuffers_, "glGenFramebuffersEXT", false);
    if (framebuffers) {
        if (!Fetch(r, glBindFramebuffer_, "glBindFramebufferEXT", true) ||
            !Fetch(r, glDeleteFramebuffers_, "glDeleteFramebuffersEXT", true) ||
            !Fetch(r, glFramebufferTexture2D_, "glFramebufferTexture2DEXT", true) ||
            !Fetch(r, glCheckFramebufferStatus_, "glCheckFramebufferStatusEXT", true))
            return false;
    }
    if (!Fetch(r, glActiveTexture_, "glActiveTextureARB", true) ||
        !Fetch(r, glClientActiveTexture_, "glClientActiveTextureARB", true))
        return false;
    Fetch(r, glGenQueries_, "glGenQueriesARB", false);
    Fetch(r, glDeleteQueries_, "glDeleteQueriesARB", false);
    Fetch(r, glBeginQuery_, "glBeginQueryARB", false);
    Fetch(r, glEndQuery_, "glEndQueryARB", false);
    Fetch(r, glGetQueryObjectiv_, "glGetQueryObjectivARB", false);
    Fetch(r, glGetQueryObjectuiv_, "glGetQueryObjectuivARB", false);
    if ((optionFlags & OptionDisableShader) == 0) {
        if (!Fetch(r, glCreateProgramObject_, "glCreateProgramObjectARB", false)) {
            LogWarning("zGL3Renderer::LoadOpenGLExtensions")
                << "Driver has no support for GLSL, defaulting to fixed-function pipeline.\n";
            optionFlags |= OptionDisableShader;
        } else if (!framebuffers) {
            // Every pass of the deferred frame draws into framebuffer objects.
            LogWarning("zGL3Renderer::LoadOpenGLExtensions")
                << "Driver has no support for framebuffer objects, defaulting to fixed-function pipeline.\n";
            optionFlags |= OptionDisableShader;
        }
    }
    Fetch(r, glClampColor_, "glClampColorARB", false);
    depthClamp = SupportsDepthClamp() ? 1 : 0;
    if ((optionFlags & OptionDisableShader) != 0) {
        glUseProgramObject_ = nullptr;
        *GlobalLogStream << "Renderer instantiated with no shader support.\n";
        return true;
    }
    *GlobalLogStream << "Renderer instantiated with shader support.\n";
    if (!Fetch(r, glEnableVertexAttribArray_, "glEnableVertexAttribArray", true) ||
        !Fetch(r, glVertexAttribPointer_, "glVertexAttribPointer", true) ||
        !Fetch(r, glDisableVertexAttribArray_, "glDisableVertexAttribArray", true) ||
        !Fetch(r, glGetAttribLocation_, "glGetAttribLocation", true) ||
        !Fetch(r, glCreateShaderObject_, "glCreateShaderObjectARB", true) ||
        !Fetch(r, glShaderSource_, "glShaderSourceARB", true) ||
        !Fetch(r, glCompileShader_, "glCompileShaderARB", true) ||
        !Fetch(r, glAttachObject_, "glAttachObjectARB", true) ||
        !Fetch(r, glDetachObject_, "glDetachObjectARB", true) ||
        !Fetch(r, glDeleteObject_, "glDeleteObjectARB", true) ||
        !Fetch(r, glLinkProgram_, "glLinkProgramARB", true) ||
        !Fetch(r, glUseProgramObject_, "glUseProgramObjectARB", true) ||
        !Fetch(r, glGetInfoLog_, "glGetInfoLogARB", true) || !Fetch(r, glUniform1i_, "glUniform1iARB", true) ||
        !Fetch(r, glGetUniformLocation_, "glGetUniformLocationARB", true) ||
        !Fetch(r, glUniform1f_, "glUniform1fARB", true) || !Fetch(r, glUniform2f_, "glUniform2fARB", true) ||
        !Fetch(r, glUniform3f_, "glUniform3fARB", true) || !Fetch(r, glUniform4f_, "glUniform4fARB", true) ||
        !Fetch(r, glUniformMatrix3fv_, "glUniformMatrix3fv", true) ||
        !Fetch(r, glUniformMatrix4fv_, "glUniformMatrix4fv", true))
        return false;
    if (Fetch(r, glDrawBuffers_, "glDrawBuffers", false)) {
        glGetIntegerv(GL_MAX_DRAW_BUFFERS, &maxDrawBuffers);
        *GlobalLogStream << "Card MRT supports up to " << maxDrawBuffers << " target(s).\n";
    }
    return true;
}
