#pragma once

#include <squirrel.h>

// The scene family. Only "SceneEnd" is here so far, so that scene scripts can
// end the run; the rest of the family joins this registrar.
void SqRegisterSceneFunctions(HSQUIRRELVM v);
