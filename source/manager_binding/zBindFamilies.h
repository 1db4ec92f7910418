#pragma once

#include <squirrel.h>

// Registrars of the native function families built on the engine core; the
// master registrar calls each at its fixed place.
void SqRegisterSystemFunctions(HSQUIRRELVM v);
void SqRegisterEngineFunctions(HSQUIRRELVM v);
void SqRegisterMixerFunctions(HSQUIRRELVM v);
void SqRegisterTextureFunctions(HSQUIRRELVM v);
void SqRegisterSoundFunctions(HSQUIRRELVM v);
void SqRegisterGeometryFunctions(HSQUIRRELVM v);
void SqRegisterThreadedFunctions(HSQUIRRELVM v);

// A root-table integer constant.
void SqSetRootInteger(HSQUIRRELVM v, const char* name, SQInteger value);
// A root-table handle constant of that kind, holding no object.
void SqSetRootNullHandle(HSQUIRRELVM v, const char* name, int32_t kind);
