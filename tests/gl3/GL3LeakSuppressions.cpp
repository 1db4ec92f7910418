// Mesa, its LLVM back-end, EGL and SDL keep allocations for the life of the
// process; leak checks of the GL tests look only at the engine's own.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libEGL_mesa\n"
           "leak:libGLX_mesa\n"
           "leak:libgallium\n"
           "leak:swrast_dri\n"
           "leak:libLLVM\n"
           "leak:libSDL2\n"
           "leak:libdbus\n"
           "leak:libglapi\n"
           "leak:libEGL\n"
           "leak:libGLdispatch\n";
}
