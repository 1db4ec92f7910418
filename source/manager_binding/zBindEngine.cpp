// Engine family: the core object ("g_engine") to scripts: resources and their
// sets, the frame clock and frame brackets. Threaded family: the names of the
// asynchronous loaders, loading at once.
#include "core/geometry/zGeometry.h"
#include "core/render/zRenderer.h"
#include "core/resource/zResourceSet.h"
#include "core/resource/zTexture.h"
#include "core/sound/zSound.h"
#include "core/zad/Tavrin.h"
#include "core/zad/TavrinGlobals.h"
#include "framework/system/zLogStream.h"
#include "manager/scene/zScene.h"
#include "manager_binding/SqBinding.h"
#include "manager_binding/zBindFamilies.h"
#include "ui/zScene2D.h"

#include <cmath>
#include <map>

namespace {

// Which core a script-owned set was made current on. A set released by the
// garbage collector while current must not stay the core's current set.
std::map<const zResourceSet*, Tavrin*>& CurrentScriptSets()
{
    static std::map<const zResourceSet*, Tavrin*> sets;
    return sets;
}

// Every object of the set that scripts may hold goes invalid: its resources,
// and the materials its geometries own and delete with them.
void InvalidateResources(zResourceSet& set)
{
    for (zLinkedListId& cache : set.caches) {
        for (zLinkedListEntry* entry = cache.GetFirst(); entry != nullptr; entry = entry->next)
            SqSafePtrInvalidate(entry);
    }
    for (zLinkedListEntry* entry = set.GetGeometries().GetFirst(); entry != nullptr; entry = entry->next) {
        const zGeometry* geometry = static_cast<const zGeometry*>(static_cast<zLinkedListIdEntry*>(entry));
        for (uint32_t i = 0; geometry->materials != nullptr && i < geometry->materialCount; ++i)
            SqSafePtrInvalidate(geometry->materials[i]);
    }
}

void DeleteResourceSet(void* object)
{
    auto* set = static_cast<zResourceSet*>(object);
    auto& sets = CurrentScriptSets();
    const auto found = sets.find(set);
    if (found != sets.end()) {
        Tavrin* core = found->second;
        if (core->currentResources == set)
            core->currentResources = &core->resources;
        sets.erase(found);
    }
    // The resources leave the lists before they go; every deleted one is
    // invalid to handles still held.
    InvalidateResources(*set);
    delete set;
}

// Fetches the engine at index 2; false when the handle is of another kind.
bool GetEngine(HSQUIRRELVM v, Tavrin*& core)
{
    return SqGetSafePtr(v, 2, &core, SqPtrEngine);
}

const char* GetString(HSQUIRRELVM v, SQInteger idx)
{
    const SQChar* text = nullptr;
    sq_getstring(v, idx, &text);
    return text;
}

SQInteger NewResourceManagerSet(HSQUIRRELVM v)
{
    SqPushSafePtr(v, new zResourceSet, SqPtrResourceManagerSet, true);
    return 1;
}

SQInteger EngineGetResourceManagerSet(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    SqPushSafePtr(v, core != nullptr ? core->currentResources : nullptr, SqPtrResourceManagerSet);
    return 1;
}

SQInteger EngineSetResourceManagerSet(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    zResourceSet* set = nullptr;
    if (!GetEngine(v, core) || !SqGetSafePtr(v, 3, &set, SqPtrResourceManagerSet))
        return sq_suspendvm(v);
    if (core == nullptr) {
        SqPushSafePtr(v, nullptr, SqPtrResourceManagerSet);
        return 1;
    }
    zResourceSet* previous = core->currentResources;
    auto& sets = CurrentScriptSets();
    sets.erase(previous);
    core->currentResources = set != nullptr ? set : &core->resources;
    if (core->currentResources != &core->resources)
        sets[core->currentResources] = core;
    SqPushSafePtr(v, previous, SqPtrResourceManagerSet);
    return 1;
}

SQInteger EngineSetResourceAutoSetup(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    SQBool flag = SQFalse;
    sq_getbool(v, 3, &flag);
    if (core != nullptr)
        GlobalResourceAutoSetup = flag ? 1 : 0;
    return 0;
}

SQInteger EngineSetupResources(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    if (core != nullptr)
        core->SetupResources();
    return 0;
}

SQInteger EnginePrintResourceStatistics(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    if (core == nullptr)
        return 0;
    uint32_t geometries = 0, materials = 0, vertices = 0, polygons = 0, textures = 0, sounds = 0;
    for (zLinkedListEntry* e = core->GetGeometries().GetFirst(); e != nullptr; e = e->next) {
        const auto* geometry = static_cast<const zGeometry*>(static_cast<zLinkedListIdEntry*>(e));
        ++geometries;
        vertices += geometry->vertexCount;
        polygons += geometry->polygonCount;
        if ((geometry->flags & zGeometry::FlagSharedMaterials) == 0)
            materials += geometry->materialCount;
    }
    for (zLinkedListEntry* e = core->GetTextures().GetFirst(); e != nullptr; e = e->next)
        ++textures;
    for (zLinkedListEntry* e = core->GetSounds().GetFirst(); e != nullptr; e = e->next)
        ++sounds;
    *GlobalLogStream << "\nDumping engine resource statistics:\n"
                     << "  - " << geometries << " geometries,\n"
                     << "    (Total of " << materials << " material(s), " << vertices << " vertice and " << polygons
                     << " polygon(s))\n"
                     << "  - " << textures << " texture(s),\n"
                     << "  - " << sounds << " sound(s).\n\n";
    return 0;
}

SQInteger EngineDeleteTexture(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    zTexture* texture = nullptr;
    if (!GetEngine(v, core) || !SqGetSafePtr(v, 3, &texture, SqPtrTexture))
        return sq_suspendvm(v);
    if (core == nullptr || texture == nullptr)
        return 0;
    // A texture of another set stays: deleting it would leave that set's list
    // pointing at freed memory.
    if (!core->GetTextures().Unlink(texture)) {
        LogWarning("EngineDeleteTexture") << "Texture '" << texture->id.Get()
                                          << "' is not in the current resource set.\n";
        return 0;
    }
    SqSafePtrInvalidate(texture);
    delete texture;
    return 0;
}

SQInteger EngineDeleteAllResources(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    if (core == nullptr)
        return 0;
    InvalidateResources(*core->currentResources);
    core->DeleteAllResources();
    return 0;
}

SQInteger EngineFindTexture(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    const char* name = GetString(v, 3);
    zLinkedListIdEntry* entry =
        core != nullptr && name != nullptr ? core->GetTextures().FindByName(name) : nullptr;
    SqPushSafePtr(v, static_cast<zTexture*>(entry), SqPtrTexture);
    return 1;
}

SQInteger EngineCreateTexture(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    SQInteger width = 0;
    SQInteger height = 0;
    SQBool flag = SQFalse;
    sq_getinteger(v, 3, &width);
    sq_getinteger(v, 4, &height);
    sq_getbool(v, 5, &flag);
    zTexture* texture = nullptr;
    if (core != nullptr) {
        texture = zTexture::New(core, nullptr, 0, 0, flag != SQFalse, 0.5f);
        if (texture != nullptr) {
            if (!texture->picture.AllocAs(width, height, PixelFormatARGB32))
                LogWarning("EngineCreateTexture") << "Could not allocate a " << width << "x" << height
                                                  << " picture.\n";
            texture->Setup();
        }
    }
    SqPushSafePtr(v, texture, SqPtrTexture);
    return 1;
}

SQInteger LoadTexture(HSQUIRRELVM v, bool useCache)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    const char* path = GetString(v, 3);
    zTexture* texture = core != nullptr && path != nullptr ? core->LoadTexture(path, useCache, true, 0.5f, false)
                                                           : nullptr;
    SqPushSafePtr(v, texture, SqPtrTexture);
    return 1;
}

SQInteger EngineLoadTexture(HSQUIRRELVM v)
{
    return LoadTexture(v, true);
}

SQInteger EngineLoadTextureBypassCache(HSQUIRRELVM v)
{
    return LoadTexture(v, false);
}

SQInteger EngineLoadSound(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    const char* path = GetString(v, 3);
    SqPushSafePtr(v, core != nullptr && path != nullptr ? core->LoadSound(path) : nullptr, SqPtrSound);
    return 1;
}

SQInteger EngineSetTextureContent(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    zTexture* texture = nullptr;
    if (!GetEngine(v, core) || !SqGetSafePtr(v, 3, &texture, SqPtrTexture))
        return sq_suspendvm(v);
    // The engine refuses a null texture or path itself, with its own line.
    sq_pushbool(v, core != nullptr && core->SetTextureContent(texture, GetString(v, 4)));
    return 1;
}

SQInteger LoadGeometry(HSQUIRRELVM v, bool useCache)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    const char* path = GetString(v, 3);
    zGeometry* geometry = core != nullptr && path != nullptr ? core->LoadGeometry(path, useCache, true) : nullptr;
    SqPushSafePtr(v, geometry, SqPtrGeometry);
    return 1;
}

SQInteger EngineLoadGeometry(HSQUIRRELVM v)
{
    return LoadGeometry(v, true);
}

SQInteger EngineLoadGeometryBypassCache(HSQUIRRELVM v)
{
    return LoadGeometry(v, false);
}

SQInteger EngineSetupAllGeometries(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    if (core == nullptr)
        return 0;
    for (zLinkedListEntry* e = core->GetGeometries().GetFirst(); e != nullptr; e = e->next)
        static_cast<zGeometry*>(static_cast<zLinkedListIdEntry*>(e))->Setup();
    return 0;
}

SQInteger EngineGetToolMode(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    sq_pushinteger(v, core != nullptr ? GlobalToolMode : 0);
    return 1;
}

SQInteger EngineGetRenderer(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    SqPushSafePtr(v, core != nullptr ? core->renderer : nullptr, SqPtrRenderer);
    return 1;
}

SQInteger EngineBeginDraw(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    if (core != nullptr)
        core->BeginDraw(true);
    return 0;
}

SQInteger EngineEndDraw(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    if (core != nullptr)
        core->EndDraw(false, false);
    return 0;
}

SQInteger EngineResetClock(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    if (core != nullptr)
        ResetFrameClock();
    return 0;
}

// Float to int32 by truncation; NaN and values beyond the range stop at 0 and
// the range's ends.
int32_t Truncate(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return INT32_MAX;
    if (value <= -2147483648.0)
        return INT32_MIN;
    return int32_t(value);
}

SQInteger EngineSetClockScale(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    SQFloat scale = 1.0f;
    sq_getfloat(v, 3, &scale);
    if (core != nullptr)
        GlobalClockScale = Truncate(double(scale * 1000.0f));
    return 0;
}

SQInteger EngineGetClockScale(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    sq_pushfloat(v, core != nullptr ? SQFloat(GlobalClockScale) * 0.001f : 1.0f);
    return 1;
}

SQInteger EngineSetFixedDeltaFrame(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    SQFloat seconds = 0.0f;
    sq_getfloat(v, 3, &seconds);
    if (core == nullptr)
        return 0;
    GlobalFixedFrameStep = seconds < 0.0f ? -1 : Truncate(double(seconds * 10000.0f));
    GlobalClockDrift = 0;
    GlobalFixedFrameFrequency = -1;
    return 0;
}

SQInteger EngineSetFixedFramerateCorrection(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    SQInteger frequency = -1;
    sq_getinteger(v, 3, &frequency);
    if (core == nullptr)
        return 0;
    GlobalFixedFrameFrequency = int32_t(frequency);
    GlobalClockDrift = 0;
    return 0;
}

// The threaded loaders load at once and hand back a null thread handle.
SQInteger WindowSystemLoadBitmapThreaded(HSQUIRRELVM v)
{
    zScene2D* ui = nullptr;
    if (!SqGetSafePtr(v, 2, &ui, SqPtrWindowSystem))
        return sq_suspendvm(v);
    const char* path = GetString(v, 3);
    if (ui != nullptr && path != nullptr)
        ui->LoadPicture(path);
    SqPushSafePtr(v, nullptr, SqPtrCThread);
    return 1;
}

SQInteger SceneFromZMLThreaded(HSQUIRRELVM v)
{
    zScene* scene = nullptr;
    if (!SqGetSafePtr(v, 2, &scene, SqPtrScene))
        return sq_suspendvm(v);
    const char* path = GetString(v, 3);
    if (scene != nullptr && path != nullptr) {
        scene->LoadFromFile(path);
        scene->TestOptimizeGeometries(1024);
    }
    SqPushSafePtr(v, nullptr, SqPtrCThread);
    return 1;
}

SQInteger EngineLoadGeometryThreaded(HSQUIRRELVM v)
{
    Tavrin* core = nullptr;
    if (!GetEngine(v, core))
        return sq_suspendvm(v);
    const char* path = GetString(v, 3);
    if (core != nullptr && path != nullptr)
        core->LoadGeometry(path, true, true);
    SqPushSafePtr(v, nullptr, SqPtrCThread);
    return 1;
}

SQInteger LoadThreadIsDone(HSQUIRRELVM v)
{
    LogWarning("LoadThreadIsDone") << "threaded binding is only available on the Windows platform.\n";
    sq_pushbool(v, SQTrue);
    return 1;
}

} // namespace

void SqRegisterEngineFunctions(HSQUIRRELVM v)
{
    SqSetManagedDeleter(SqPtrResourceManagerSet, DeleteResourceSet);
    const SqFunctionDesc functions[] = {
        {"NewResourceManagerSet", NewResourceManagerSet, 0, "x|t"},
        {"EngineGetResourceManagerSet", EngineGetResourceManagerSet, 0, "x|tu"},
        {"EngineSetResourceManagerSet", EngineSetResourceManagerSet, 0, "x|tuu"},
        {"EngineSetResourceAutoSetup", EngineSetResourceAutoSetup, 0, "x|tub"},
        {"EngineSetupResources", EngineSetupResources, 0, "x|tu"},
        {"EnginePrintResourceStatistics", EnginePrintResourceStatistics, 0, "x|tu"},
        {"EngineDeleteTexture", EngineDeleteTexture, 0, "x|tuu"},
        {"EngineDeleteAllResources", EngineDeleteAllResources, 0, "x|tu"},
        {"EngineFindTexture", EngineFindTexture, 0, "x|tus"},
        {"EngineCreateTexture", EngineCreateTexture, 0, "x|tuiib"},
        {"EngineLoadTexture", EngineLoadTexture, 0, "x|tus"},
        {"EngineLoadTextureBypassCache", EngineLoadTextureBypassCache, 0, "x|tus"},
        {"EngineLoadSound", EngineLoadSound, 0, "x|tus"},
        {"EngineSetTextureContent", EngineSetTextureContent, 0, "x|tuus"},
        {"EngineLoadGeometry", EngineLoadGeometry, 0, "x|tus"},
        {"EngineLoadGeometryBypassCache", EngineLoadGeometryBypassCache, 0, "x|tus"},
        {"EngineSetupAllGeometries", EngineSetupAllGeometries, 0, "x|tu"},
        {"EngineGetToolMode", EngineGetToolMode, 0, "x|tu"},
        {"EngineGetRenderer", EngineGetRenderer, 0, "x|tu"},
        {"EngineBeginDraw", EngineBeginDraw, 0, "x|tu"},
        {"EngineEndDraw", EngineEndDraw, 0, "x|tu"},
        {"EngineResetClock", EngineResetClock, 0, "x|tu"},
        {"EngineSetClockScale", EngineSetClockScale, 0, "x|tuf"},
        {"EngineGetClockScale", EngineGetClockScale, 0, "x|tu"},
        {"EngineSetFixedDeltaFrame", EngineSetFixedDeltaFrame, 0, "x|tuf"},
        {"EngineSetFixedFramerateCorrection", EngineSetFixedFramerateCorrection, 0, "x|tui"},
    };
    for (const SqFunctionDesc& f : functions)
        SqRegisterFunction(v, f.function, f.name, f.typeMask);

    const struct {
        const char* name;
        SQInteger value;
    } constants[] = {
        {"PlatformWin32", 0},      {"PlatformLinuxX86", 1}, {"PlatformNintendoWii", 2},
        {"PlatformUnknown", 65535}, {"g_platform", 1},      {"NoTool", 0},
        {"ToolEdit", 1},           {"ToolPreview", 2},      {"ToolProjectPreview", 3},
    };
    for (const auto& c : constants)
        SqSetRootInteger(v, c.name, c.value);
}

void SqRegisterThreadedFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, WindowSystemLoadBitmapThreaded, "WindowSystemLoadBitmapThreaded", "x|tus");
    SqRegisterFunction(v, SceneFromZMLThreaded, "SceneFromZMLThreaded", "x|tus");
    SqRegisterFunction(v, EngineLoadGeometryThreaded, "EngineLoadGeometryThreaded", "x|tus");
    SqRegisterFunction(v, LoadThreadIsDone, "LoadThreadIsDone", "x|tu");
}
