#pragma once

#include <squirrel.h>

class zAIWorld;

// The AI script functions "SceneLoadAIPath", "SceneFindAIPath" (also named
// "SceneAIPathFind"), "AIPathGetMotion", "AIPathGetClosestPoint" and
// "AIPathGetClosestTime", and the constant "NullPath" (a null Path handle),
// all in the root table. A family registrar of SqRegisterBindings; main
// thread only, like the VM.
void SqRegisterAIFunctions(HSQUIRRELVM v);

// How the functions reach the AI world of the object behind a Scene handle
// (never null when called). The scene's own script family installs it; until
// one is installed (or after null), scenes have no AI world: "SceneLoadAIPath"
// logs that and loads nothing, "SceneFindAIPath" finds nothing.
using SqSceneAIWorldAccessor = zAIWorld* (*)(void* scene);
void SqSetSceneAIWorldAccessor(SqSceneAIWorldAccessor accessor);
