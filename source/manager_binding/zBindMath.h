#pragma once

#include <cstdint>

#include <squirrel.h>

#include "framework/math/zMatrix3.h"
#include "framework/math/zMatrix4.h"
#include "framework/math/zVector.h"

// The native "Vector", "Matrix3" and "Matrix4" script classes and the math
// root-table functions. Everything here runs on the thread that owns the VM.
//
// Each instance keeps its value inside its own block (the classes' user-data
// size), so making a result costs one allocation: the instance. A caller may
// still attach a heap value of its own as the user pointer, and must give it a
// release hook (that frees it): the hook is how the classes tell such a value
// from their own block. Every method reads whatever the user pointer points to.

// The classes carry the frame's type tags kSqVectorTypeTag, kSqMatrix3TypeTag
// and kSqMatrix4TypeTag (SqBinding.h); instances of script classes derived
// from them carry the tag through their base class.

// Registers "Vector", then "Matrix3", then "Matrix4" in the root table. Run it
// once per VM, after every function family (SqRegisterBindings does). False
// when a class could not be made.
bool SqRegisterMathClasses(HSQUIRRELVM v);

// Registers "MatrixToEuler", "EulerFromDirection", "RotationMatrixFromDirection"
// and "TransformationMatrix" in the root table; the first family registrar.
void SqRegisterMathFunctions(HSQUIRRELVM v);

// The native value of the instance at idx when it is an instance of the class
// (or of a script class derived from it); null otherwise, also for an instance
// without storage or one whose constructor has not run (made by the class's
// instance()). The pointer lives as long as the instance does.
zVector* SqGetVectorInstance(HSQUIRRELVM v, SQInteger idx);
zMatrix3* SqGetMatrix3Instance(HSQUIRRELVM v, SQInteger idx);
zMatrix4* SqGetMatrix4Instance(HSQUIRRELVM v, SQInteger idx);

// Push a new instance of the native "Vector", "Matrix3" or "Matrix4" holding a
// copy of the value, without running a constructor. The class is the one of
// the calling method's instance when that is exactly this class, else the
// root table's slot of that name. False, with nothing pushed, when that slot
// does not hold the native class.
bool SqPushNewVector(HSQUIRRELVM v, const zVector& value);
bool SqPushNewMatrix3(HSQUIRRELVM v, const zMatrix3& value);
bool SqPushNewMatrix4(HSQUIRRELVM v, const zMatrix4& value);

// Reads the members "sx", "sy", "ex", "ey" of the value at the negative stack
// index idx, each truncated toward zero, into out[0..3]. A member that is
// missing or not a number reads as 0 and makes the result false. The stack is
// left as it was.
bool SqGetRect(HSQUIRRELVM v, SQInteger idx, int32_t out[4]);
