#include "manager_binding/SqBaseFunctions.h"
#include "manager_binding/SqBinding.h"
#include "manager_binding/SqProjectFunctions.h"
#include "manager_binding/zBindMath.h"

#include <string>

namespace {

void NewIntegerSlot(HSQUIRRELVM v, const char* name, SQInteger value)
{
    sq_pushstring(v, name, -1);
    sq_pushinteger(v, value);
    sq_newslot(v, -3, SQFalse);
}

} // namespace

void SqRegisterBindings(HSQUIRRELVM v)
{
    if (v == nullptr)
        return;
    const SQInteger top = sq_gettop(v);
    SqRegisterBaseFunctions(v);

    sq_pushroottable(v);
    // Clock ticks per second.
    NewIntegerSlot(v, "SystemClockFrequency", 10000);
    for (int32_t type = 0; type < SqSafePtrTypeCount; ++type) {
        std::string name = "EngineType";
        for (const char* c = SqSafePtrTypeToString(type).c_str(); *c != '\0'; ++c) {
            if (*c != ' ')
                name += *c;
        }
        NewIntegerSlot(v, name.c_str(), type);
    }
    sq_settop(v, top);

    // The families, in this order (a later slot of the same name replaces an
    // earlier one, so the order is part of the interface). Each family's
    // registrar is called here when its family is built:
    //   math functions, AI, system, engine, renderer, mixer, scene,
    //   group + camera + object, material, light, item, motion,
    //   physics shapes, physics constraints, picture,
    //   resources (textures and streams, sounds, geometries), io and devices,
    //   user interface, threaded loading, metafile, ray tracer, project,
    //   then the math classes "Vector", "Matrix3" and "Matrix4".
    SqRegisterMathFunctions(v);
    SqRegisterProjectFunctions(v);
    SqRegisterMathClasses(v);
}
