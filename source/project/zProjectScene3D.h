#pragma once

#include <cstdint>

class Tavrin;
class zRenderer;
class zScene;
class zScriptMaster;
class zScriptUnit;

// What the project and the application do with 3D scenes, in one place.
namespace zProjectScene3D {

// A new empty scene on the core and the master (neither owned); the caller
// owns it and frees it with Delete. Null when it cannot be made.
zScene* New(Tavrin* core, zScriptMaster* master);
// Null is allowed.
void Delete(zScene* scene);
// Reads the scene file; false when it cannot be read (the reader logged why).
bool Load(zScene* scene, const char* uri);
// Set-up with geometry-optimisation testing at 1024 polygons.
void Setup(zScene* scene);
void Reset(zScene* scene);
// Makes the scene "g_scene" (and "g_clock_fq") of its master's VM.
void MakeGlobal(zScene* scene);
void Update(zScene* scene, int32_t updateMask);
// Binds the scene to the renderer, sets the frame up without clearing, commits
// (2 with bit 0 of the flag, else 1), draws the queue and empties the stack.
void DrawLayer(zScene* scene, zRenderer* renderer, int32_t flag);
zScriptUnit* GetUnit(zScene* scene);

} // namespace zProjectScene3D
