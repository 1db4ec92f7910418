#pragma once

#include <cstdint>

// Subsystem number of the operation running (1 engine core, 2 script host,
// 3 collision, 4 rigid-body physics, 6 mixer and sound, 7 2D interface,
// 8 scene manager); 0 at start. Main thread only. Nothing reads it; it lives
// here, below every subsystem, so that each can set it without depending on
// the engine core.
extern int32_t GlobalModuleTag;

// Sets GlobalModuleTag for the life of the scope and restores it after, on
// every return path.
class zModuleTagScope {
public:
    explicit zModuleTagScope(int32_t module) : previous(GlobalModuleTag) { GlobalModuleTag = module; }
    ~zModuleTagScope() { GlobalModuleTag = previous; }
    zModuleTagScope(const zModuleTagScope&) = delete;
    zModuleTagScope& operator=(const zModuleTagScope&) = delete;

private:
    int32_t previous;
};
