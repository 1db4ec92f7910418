#include "script/SqSafePtr.h"

#include "bfgt/picture/zPicture.h"
#include "core/font/zRasterFont.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/system/zLogStream.h"
#include "script/zScriptMaster.h"

#include <cstdio>
#include <unordered_map>

namespace {

const char* const kTypeTexts[SqSafePtrTypeCount] = {
    "Undefined", "C Thread", "Engine", "Resource Manager Set", "Project", "Renderer", "Raytracer",
    "Mixer", "Scene", "Truetype Font", "Raster Font", "Window System", "Window", "Widget", "Base Sizer",
    "Container Widget", "Spacer Widget", "Canvas Widget", "Text Widget", "Bitmap Widget", "Check Widget",
    "Picture", "Scene Group", "Item", "Camera", "Object", "Light", "Motion", "Trigger", "Path", "Sound",
    "Texture", "Geometry", "Material", "Collision Shape", "Physic Constraint", "Metafile", "Metatag",
    "Joypad", "HID", "Scene Record", "Editor Plugin", "Project Scene", "Project Layer",
};

void DeletePicture(void* object)
{
    zPicture* picture = static_cast<zPicture*>(object);
    picture->Free();
    picture->Reset();
    delete picture;
}

void DeleteMetafile(void* object) { delete static_cast<zMetaFile*>(object); }

void DeleteRasterFont(void* object) { delete static_cast<zRasterFont*>(object); }

SqSafePtrDeleter& DeleterOf(int32_t type)
{
    static SqSafePtrDeleter deleters[SqSafePtrTypeCount] = {};
    static bool initialised = false;
    if (!initialised) {
        initialised = true;
        deleters[SqPtrPicture] = DeletePicture;
        deleters[SqPtrMetafile] = DeleteMetafile;
        deleters[SqPtrRasterFont] = DeleteRasterFont;
    }
    return deleters[type];
}

bool IsManagedKind(int32_t type)
{
    switch (type) {
    case SqPtrResourceManagerSet:
    case SqPtrRaytracer:
    case SqPtrScene:
    case SqPtrRasterFont:
    case SqPtrPicture:
    case SqPtrMetafile:
    case SqPtrSceneRecord:
        return true;
    default:
        return false;
    }
}

// Generation per invalidated address; addresses absent have generation 0.
// SqSafePtrFilter answers most lookups of addresses never invalidated without
// touching the map.
struct Registry {
    std::unordered_map<const void*, uint32_t> generations;
    uint32_t nextGeneration = 0;
};

Registry registry;

uint32_t GenerationOf(const void* object)
{
    if (object == nullptr || !SqSafePtrMayBeStale(object))
        return 0;
    const auto found = registry.generations.find(object);
    return found == registry.generations.end() ? 0 : found->second;
}

// The handle at idx, or null when the value there is not one of ours (user
// data of another size, or carrying a type tag).
SqSafePtr* HandleAt(HSQUIRRELVM v, SQInteger idx)
{
    SQUserPointer data = nullptr;
    SQUserPointer tag = nullptr;
    if (sq_gettype(v, idx) != OT_USERDATA || SQ_FAILED(sq_getuserdata(v, idx, &data, &tag)) || tag != nullptr ||
        sq_getsize(v, idx) != SQInteger(sizeof(SqSafePtr)))
        return nullptr;
    return static_cast<SqSafePtr*>(data);
}

void* LiveObject(const SqSafePtr& handle)
{
    if (handle.pointer == nullptr || GenerationOf(handle.pointer) != handle.generation)
        return nullptr;
    return handle.pointer;
}

} // namespace

uint64_t SqSafePtrFilter[SqSafePtrFilterBits / 64] = {};

SqSafePtrTypeToString::SqSafePtrTypeToString(int32_t type)
{
    if (type >= 0 && type < SqSafePtrTypeCount) {
        text = kTypeTexts[type];
        return;
    }
    text = "Unknown";
    LogError("SqSafePtrTypeToString::c_str") << "No matching description string for type " << int(type) << ".\n";
}

void SqPushSafePtr(HSQUIRRELVM v, const void* object, int32_t type, bool managed)
{
    SqSafePtr* handle = static_cast<SqSafePtr*>(sq_newuserdata(v, sizeof(SqSafePtr)));
    handle->type = type;
    handle->generation = GenerationOf(object);
    handle->pointer = const_cast<void*>(object);
    if (managed)
        sq_setreleasehook(v, -1, ReleaseUserPointer);
}

void* SqSafePtrResolve(const SqSafePtr& handle) { return LiveObject(handle); }

bool SqSafePtrReject(HSQUIRRELVM v, SQInteger idx, int32_t expected)
{
    const SqSafePtr* handle = HandleAt(v, idx);
    if (handle == nullptr) {
        SqPrintCallStack(v, "Expected typetag, none found.");
        return false;
    }
    char message[256];
    std::snprintf(message, sizeof(message), "Expected '%s' (%d), got '%s' (%d).",
                  SqSafePtrTypeToString(expected).c_str(), int(expected),
                  SqSafePtrTypeToString(handle->type).c_str(), int(handle->type));
    SqPrintCallStack(v, message);
    return false;
}

int32_t SqGetSafePtrType(HSQUIRRELVM v, SQInteger idx)
{
    const SqSafePtr* handle = HandleAt(v, idx);
    return handle == nullptr ? 0 : handle->type;
}

SQInteger ReleaseUserPointer(SQUserPointer data, SQInteger)
{
    const SqSafePtr* handle = static_cast<const SqSafePtr*>(data);
    const int32_t type = handle->type;
    *GlobalLogStream << "[|] Garbage collected: " << SqSafePtrTypeToString(type).c_str() << ".\n";
    if (type == SqPtrProjectScene || type == SqPtrProjectLayer)
        return 1;
    if (type < 0 || type >= SqSafePtrTypeCount || !IsManagedKind(type)) {
        LogError("ReleaseUserPointer") << "Low-level error, type '" << SqSafePtrTypeToString(type).c_str()
                                       << "' should not be managed.\n";
        return 1;
    }
    // A stale handle's object was deleted elsewhere already.
    void* object = LiveObject(*handle);
    if (object == nullptr)
        return 1;
    SqSafePtrDeleter deleter = DeleterOf(type);
    if (deleter == nullptr) {
        LogError("ReleaseUserPointer") << "No deleter installed for type '" << SqSafePtrTypeToString(type).c_str()
                                       << "'.\n";
        return 1;
    }
    SqSafePtrInvalidate(object);
    deleter(object);
    return 1;
}

void SqSetManagedDeleter(int32_t type, SqSafePtrDeleter deleter)
{
    if (type >= 0 && type < SqSafePtrTypeCount)
        DeleterOf(type) = deleter;
}

void SqSafePtrInvalidate(const void* object)
{
    if (object == nullptr)
        return;
    // Wrapping would take four billion deletions; skip 0, the generation of
    // addresses never invalidated.
    if (++registry.nextGeneration == 0)
        ++registry.nextGeneration;
    registry.generations[object] = registry.nextGeneration;
    const size_t bit = SqSafePtrFilterBit(object);
    SqSafePtrFilter[bit >> 6] |= uint64_t(1) << (bit & 63);
}

bool SqSafePtrIsLive(HSQUIRRELVM v, SQInteger idx)
{
    const SqSafePtr* handle = HandleAt(v, idx);
    return handle != nullptr && LiveObject(*handle) != nullptr;
}

bool SqSafePtrIsStale(HSQUIRRELVM v, SQInteger idx)
{
    const SqSafePtr* handle = HandleAt(v, idx);
    return handle != nullptr && handle->pointer != nullptr && LiveObject(*handle) == nullptr;
}
