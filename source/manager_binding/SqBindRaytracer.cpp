#include "manager_binding/SqBindRaytracer.h"

#include "bfgt/picture/zPictureIO.h"
#include "core/zad/Tavrin.h"
#include "framework/system/zLogStream.h"
#include "framework/tools/zString.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqBinding.h"
#include "raytracer/zRaytracer.h"
#include "script/SqSafePtr.h"

#include <memory>
#include <vector>

namespace {

// Script handles to ray tracers are borrowed and a ray tracer lives until the
// end of the run: they are kept here and deleted when the program ends.
std::vector<std::unique_ptr<zRaytracer>>& Raytracers()
{
    static std::vector<std::unique_ptr<zRaytracer>> all;
    return all;
}

SQInteger EngineNewRaytracer(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!SqGetSafePtr(v, 2, &core, SqPtrEngine))
        return sq_suspendvm(v);
    sq_pop(v, 1);
    zRaytracer* tracer = nullptr;
    if (core != nullptr) {
        Raytracers().push_back(std::make_unique<zRaytracer>(core));
        tracer = Raytracers().back().get();
    }
    SqPushSafePtr(v, tracer, SqPtrRaytracer, false);
    return 1;
}

SQInteger RaytracerDeleteSelf(HSQUIRRELVM v)
{
    sq_pop(v, 1);
    LogWarning("RaytracerDeleteSelf") << "RaytracerDeleteSelf() is now obsolete, you can remove this call.\n";
    return 0;
}

SQInteger RaytracerSetAntialias(HSQUIRRELVM v)
{
    zRaytracer* tracer = nullptr;
    if (!SqGetSafePtr(v, 2, &tracer, SqPtrRaytracer))
        return sq_suspendvm(v);
    SQBool on = SQFalse;
    SQInteger subdivision = 0;
    SQFloat threshold = 0.0f;
    SQBool jitter = SQFalse;
    sq_getbool(v, 3, &on);
    sq_getinteger(v, 4, &subdivision);
    sq_getfloat(v, 5, &threshold);
    sq_getbool(v, 6, &jitter);
    sq_pop(v, 5);
    if (tracer != nullptr) {
        zRaytracerParameters p = tracer->GetParameters();
        p.aa = on ? 1 : 0;
        p.aaSubdivision = int32_t(subdivision);
        p.aaThreshold = float(threshold);
        p.aaJitter = jitter ? 1 : 0;
        tracer->SetParameters(p);
    }
    return 0;
}

SQInteger RaytracerSetGlobalIllum(HSQUIRRELVM v)
{
    zRaytracer* tracer = nullptr;
    if (!SqGetSafePtr(v, 2, &tracer, SqPtrRaytracer))
        return sq_suspendvm(v);
    SQBool on = SQFalse;
    SQInteger rays = 0;
    SQInteger depth = 0;
    sq_getbool(v, 3, &on);
    sq_getinteger(v, 4, &rays);
    sq_getinteger(v, 5, &depth);
    sq_pop(v, 4);
    if (tracer != nullptr) {
        zRaytracerParameters p = tracer->GetParameters();
        p.gi = on ? 1 : 0;
        p.giRays = int32_t(rays);
        p.giDepth = int32_t(depth);
        tracer->SetParameters(p);
    }
    return 0;
}

SQInteger RaytracerSetInterlace(HSQUIRRELVM v)
{
    zRaytracer* tracer = nullptr;
    if (!SqGetSafePtr(v, 2, &tracer, SqPtrRaytracer))
        return sq_suspendvm(v);
    SQBool on = SQFalse;
    SQBool first = SQFalse;
    sq_getbool(v, 3, &on);
    sq_getbool(v, 4, &first);
    sq_pop(v, 3);
    if (tracer != nullptr) {
        zRaytracerParameters p = tracer->GetParameters();
        p.interlace = on ? 1 : 0;
        p.firstField = first ? 1 : 0;
        tracer->SetParameters(p);
    }
    return 0;
}

SQInteger RaytracerStartInterlacedSequence(HSQUIRRELVM v)
{
    zRaytracer* tracer = nullptr;
    if (!SqGetSafePtr(v, 2, &tracer, SqPtrRaytracer))
        return sq_suspendvm(v);
    sq_pop(v, 1);
    if (tracer != nullptr)
        tracer->StartInterlacedSequence();
    return 0;
}

SQInteger RaytracerSetScene(HSQUIRRELVM v)
{
    zRaytracer* tracer = nullptr;
    zScene* scene = nullptr;
    if (!SqGetSafePtr(v, 2, &tracer, SqPtrRaytracer) || !SqGetSafePtr(v, 3, &scene, SqPtrScene))
        return sq_suspendvm(v);
    sq_pop(v, 2);
    sq_pushbool(v, tracer != nullptr && scene != nullptr && tracer->SetScene(scene));
    return 1;
}

SQInteger RaytracerTrace(HSQUIRRELVM v)
{
    zRaytracer* tracer = nullptr;
    if (!SqGetSafePtr(v, 2, &tracer, SqPtrRaytracer))
        return sq_suspendvm(v);
    const SQChar* path = nullptr;
    SQInteger width = 0;
    SQInteger height = 0;
    sq_getstring(v, 3, &path);
    sq_getinteger(v, 4, &width);
    sq_getinteger(v, 5, &height);
    // The path stays valid while the string is on the stack: copy it first.
    const zString target(path);
    sq_pop(v, 4);
    bool written = false;
    if (tracer != nullptr && width > 0 && height > 0 && width <= 0x7FFF && height <= 0x7FFF) {
        zPicture picture;
        if (tracer->Trace(picture, int32_t(width), int32_t(height)) && picture.HasBuffer())
            written = lowlevel_tga_save(target.Get() != nullptr ? target.Get() : "", picture);
        picture.Free();
    } else if (tracer != nullptr) {
        LogError("RaytracerTrace") << "Cannot trace a frame of " << int32_t(width) << " x " << int32_t(height)
                                   << " pixels.\n";
    }
    sq_pushbool(v, written);
    return 1;
}

} // namespace

void SqRegisterRaytracerFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, EngineNewRaytracer, "EngineNewRaytracer", "x|tu");
    SqRegisterFunction(v, RaytracerDeleteSelf, "RaytracerDeleteSelf", "x|tu");
    SqRegisterFunction(v, RaytracerSetAntialias, "RaytracerSetAntialias", "x|tubifb");
    SqRegisterFunction(v, RaytracerSetGlobalIllum, "RaytracerSetGlobalIllum", "x|tubii");
    SqRegisterFunction(v, RaytracerSetInterlace, "RaytracerSetInterlace", "x|tubb");
    SqRegisterFunction(v, RaytracerStartInterlacedSequence, "RaytracerStartInterlacedSequence", "x|tu");
    SqRegisterFunction(v, RaytracerSetScene, "RaytracerSetScene", "x|tuu");
    SqRegisterFunction(v, RaytracerTrace, "RaytracerTrace", "x|tusii");
}
