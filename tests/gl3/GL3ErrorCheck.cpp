// The GL error check of the GL test programs: on for every renderer they
// open and for the runs of the executable they start (the environment is
// inherited), and a GL error found after a pass fails the test drawing the
// frame. TAVRIN_GL_CHECK=0 in the caller's environment turns it off.
#include "gl3/system/zGL3Renderer.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const bool checkSwitchedOn = [] {
    setenv("TAVRIN_GL_CHECK", "1", 0);
    zGL3Renderer::GLErrorHook = [](const char* message) { ADD_FAILURE() << message; };
    return true;
}();

} // namespace
