#pragma once

#include "framework/math/zVector.h"

#include <cstdint>

class zFrustum;
class zLight;

// What a renderer asks the owner of its scene for while it draws: lights and
// the ambient colour. The owner installs a callback and its context in the
// renderer (zRenderer::propertyCallback / propertyContext); the renderer fills
// a request, calls, and reads the results when the callback answers true.
enum zRendererPropertyKind : int32_t {
    // The lights nearest to position, at most maximum of them.
    PropertyLightProximity = 1,
    // The visible lights near position (and in the frustum when one is
    // given), eight at a time: call again while resume is not null.
    PropertyVisibleLights = 2,
    // The ambient colour.
    PropertyAmbient = 3,
};

struct zRendererPropertyRequest {
    static constexpr int32_t MaxLights = 256;
    static constexpr int32_t VisibleBatch = 8;

    // Set to 1 by a callback that handled the request.
    uint8_t handled = 0;
    // The installed context, filled by the renderer.
    void* context = nullptr;
    int32_t maximum = 0;
    zVector position;
    // Results of the light requests: count entries of lights.
    int32_t count = 0;
    zLight* lights[MaxLights] = {};
    // Kind 2: optional frustum, and where the next batch resumes (opaque to
    // the renderer; null at first and once the lights are exhausted).
    const zFrustum* frustum = nullptr;
    const void* resume = nullptr;
    // Kind 3: the result.
    float ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
};

// Answers false for a request it does not know; the renderer then keeps its
// own defaults. Main thread, called from inside the renderer's drawing.
using zRendererPropertyCallback = bool (*)(int32_t kind, zRendererPropertyRequest& request);
