// Sanitizer settings of the GL tests.
//
// Mesa and SDL keep allocations for the life of their libraries, and SDL
// unloads the GL driver when video closes, after which LeakSanitizer can no
// longer tell whose blocks those were. The GL tests therefore run without
// leak checking; address and undefined-behaviour checks stay on.
extern "C" const char* __asan_default_options()
{
    return "detect_leaks=0";
}

// Mesa's software rasteriser runs its own threads, which ThreadSanitizer
// cannot see synchronise (the driver is not instrumented); the engine's GL
// code itself runs on the main thread only.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:swrast_dri.so\n"
           "race:libgallium\n"
           "mutex:swrast_dri.so\n"
           "deadlock:swrast_dri.so\n";
}
