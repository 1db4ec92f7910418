// Every test program runs without a display, a sound card or a GPU: SDL's
// offscreen video and dummy audio, OpenAL Soft's null output. Set before
// main, unless the caller chose otherwise.
#include <cstdlib>

namespace {

const bool environmentSet = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("ALSOFT_DRIVERS", "null", 0);
    return true;
}();

} // namespace
