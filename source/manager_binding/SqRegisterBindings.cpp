#include "manager_binding/SqBaseFunctions.h"
#include "manager_binding/SqBinding.h"
#include "manager_binding/SqBindRaytracer.h"
#include "manager_binding/SqProjectFunctions.h"
#include "manager_binding/SqSceneFamilies.h"
#include "manager_binding/zBindAI.h"
#include "manager_binding/zBindFamilies.h"
#include "manager_binding/zBindItem.h"
#include "manager_binding/zBindMath.h"
#include "manager_binding/zBindMotion.h"

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

    // The families follow, each through its registrar, in this fixed order (a
    // later slot of the same name replaces an earlier one, so the order is part
    // of the interface). A family adds its call at its place in this list when
    // it is built, and registers nothing anywhere else:
    //    1. math functions
    //    2. AI
    //    3. system
    //    4. engine
    //    5. renderer
    //    6. mixer
    //    7. scene
    //    8. group, camera and object
    //    9. material
    //   10. light
    //   11. item
    //   12. motion
    //   13. physics shapes
    //   14. physics constraints
    //   15. picture
    //   16. resources: textures and streams
    //   17. resources: sounds
    //   18. resources: geometries
    //   19. io and devices
    //   20. user interface
    //   21. threaded loading
    //   22. metafile
    //   23. ray tracer
    //   24. project
    //   25. the math classes "Vector", "Matrix3" and "Matrix4", last (their
    //       registrar sets kSqVectorTypeTag, kSqMatrix3TypeTag and
    //       kSqMatrix4TypeTag as the classes' type tags).
    SqRegisterMathFunctions(v);
    SqRegisterAIFunctions(v);
    SqRegisterSystemFunctions(v);
    SqRegisterEngineFunctions(v);
    SqRegisterRendererFunctions(v);
    SqRegisterMixerFunctions(v);
    SqRegisterSceneFunctions(v);
    SqRegisterGroupFunctions(v);
    SqRegisterCameraFunctions(v);
    SqRegisterObjectFunctions(v);
    SqRegisterMaterialFunctions(v);
    SqRegisterLightFunctions(v);
    SqRegisterItemFunctions(v);
    SqRegisterMotionFunctions(v);
    SqRegisterPhysicShapeFunctions(v);
    SqRegisterPhysicConstraintFunctions(v);
    SqRegisterPictureFunctions(v);
    SqRegisterTextureFunctions(v);
    SqRegisterSoundFunctions(v);
    SqRegisterGeometryFunctions(v);
    SqRegisterIOFunctions(v);
    SqRegisterUIFunctions(v);
    SqRegisterThreadedFunctions(v);
    SqRegisterMetafileFunctions(v);
    SqRegisterRaytracerFunctions(v);
    SqRegisterProjectFunctions(v);
    SqRegisterMathClasses(v);
}
