#pragma once

#include <squirrel.h>

// The project family: "ProjectGetScriptInstance" to "ProjectSceneGetScriptInstance",
// the project-scene type and layer-mode constants, and "NullItem".
void SqRegisterProjectFunctions(HSQUIRRELVM v);
