// The deferred frame. Its passes (G-buffer fill, lighting, fog, forward pass
// and post effects) need the shader-map compiler and the material and light
// programs, which this build does not have yet; set-up therefore always
// selects safe mode and this frame is never reached.

#include "gl3/system/zGL3Renderer.h"

void zGL3Renderer::RenderDeferredQueue()
{
}
