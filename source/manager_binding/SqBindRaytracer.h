#pragma once

#include <squirrel.h>

// The ray-tracer family: "EngineNewRaytracer", "RaytracerDeleteSelf",
// "RaytracerSetAntialias", "RaytracerSetGlobalIllum", "RaytracerSetInterlace",
// "RaytracerStartInterlacedSequence", "RaytracerSetScene" and
// "RaytracerTrace" (which writes the traced frame as a TGA file).
void SqRegisterRaytracerFunctions(HSQUIRRELVM v);
