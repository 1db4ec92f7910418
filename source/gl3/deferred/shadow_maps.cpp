// Shadow maps of the deferred light pass: a spot light's map, a parallel
// light's six splits and a point light's six cube faces, rendered into the
// renderer's six shared depth maps just before the light is drawn.

#include "gl3/system/zGL3Renderer.h"

void zGL3Renderer::RenderLightShadow(zLight*)
{
}
