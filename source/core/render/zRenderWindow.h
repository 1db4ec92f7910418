#pragma once

#include "core/render/zRenderer.h"

// An extra output window of a renderer, owned by the caller: the window and
// what the renderer keeps for drawing into it (null until
// SetupAdditionalWindow, again null after ReleaseAdditionalWindow).
struct zRenderWindow {
    zWindowHandle window = nullptr;
    void* deviceContext = nullptr;
};
