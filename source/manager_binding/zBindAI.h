#pragma once

#include <squirrel.h>

// The AI script functions "SceneLoadAIPath", "SceneFindAIPath" (also named
// "SceneAIPathFind"), "AIPathGetMotion", "AIPathGetClosestPoint" and
// "AIPathGetClosestTime", and the constant "NullPath" (a null Path handle),
// all in the root table. A family registrar of SqRegisterBindings; main
// thread only, like the VM.
void SqRegisterAIFunctions(HSQUIRRELVM v);

