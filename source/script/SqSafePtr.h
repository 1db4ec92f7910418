#pragma once

#include <squirrel.h>

#include <cstddef>
#include <cstdint>

// Handles: the only form in which engine objects reach scripts. A handle is a
// user-data value holding the object's kind and address. Native functions
// fetch every handle with the kind they expect; a wrong kind prints the script
// call stack and the function returns sq_suspendvm, which leaves the VM
// suspended and ends the run (exit code 3).
//
// Borrowed handles (managed = false) never own their object. Managed handles
// own it: the release hook deletes the object when the last script reference
// to the handle drops.
//
// Lifetimes: every path that deletes an object scripts may hold a handle to
// must call SqSafePtrInvalidate(object) when it deletes it. The registry keeps
// a generation per invalidated address; a handle records the generation of its
// address when it is pushed, and a handle whose generation is older than the
// registry's is stale: SqGetSafePtr yields a null object for it (so the
// function does nothing, as for any null handle), "ObjectIsValid" is false and
// a stale managed handle deletes nothing. A new object allocated at a freed
// address gets the current generation, so its handles are valid while the old
// ones stay stale. Addresses never invalidated cost one failed lookup, and
// nothing while no address was ever invalidated. Main thread only, like the VM.

enum SqSafePtrType : int32_t {
    SqPtrUndefined = 0,
    SqPtrCThread = 1,
    SqPtrEngine = 2,
    SqPtrResourceManagerSet = 3,
    SqPtrProject = 4,
    SqPtrRenderer = 5,
    SqPtrRaytracer = 6,
    SqPtrMixer = 7,
    SqPtrScene = 8,
    SqPtrTruetypeFont = 9,
    SqPtrRasterFont = 10,
    SqPtrWindowSystem = 11,
    SqPtrWindow = 12,
    SqPtrWidget = 13,
    SqPtrBaseSizer = 14,
    SqPtrContainerWidget = 15,
    SqPtrSpacerWidget = 16,
    SqPtrCanvasWidget = 17,
    SqPtrTextWidget = 18,
    SqPtrBitmapWidget = 19,
    SqPtrCheckWidget = 20,
    SqPtrPicture = 21,
    SqPtrSceneGroup = 22,
    SqPtrItem = 23,
    SqPtrCamera = 24,
    SqPtrObject = 25,
    SqPtrLight = 26,
    SqPtrMotion = 27,
    SqPtrTrigger = 28,
    SqPtrPath = 29,
    SqPtrSound = 30,
    SqPtrTexture = 31,
    SqPtrGeometry = 32,
    SqPtrMaterial = 33,
    SqPtrCollisionShape = 34,
    SqPtrPhysicConstraint = 35,
    SqPtrMetafile = 36,
    SqPtrMetatag = 37,
    SqPtrJoypad = 38,
    SqPtrHID = 39,
    SqPtrSceneRecord = 40,
    SqPtrEditorPlugin = 41,
    SqPtrProjectScene = 42,
    SqPtrProjectLayer = 43,
};

inline constexpr int32_t SqSafePtrTypeCount = 44;

// The user data of a handle. The generation sits where the pointer's alignment
// would leave padding, so a handle is as large as kind + pointer.
struct SqSafePtr {
    int32_t type;
    uint32_t generation;
    void* pointer;
};

// The text of a kind ("Resource Manager Set"); "Unknown", with an error logged,
// for a kind outside 0..43.
class SqSafePtrTypeToString {
public:
    explicit SqSafePtrTypeToString(int32_t type);
    const char* c_str() const { return text; }

private:
    const char* text;
};

// Pushes a new handle; null objects are pushed like any other.
void SqPushSafePtr(HSQUIRRELVM v, const void* object, int32_t type, bool managed = false);

// Out of line parts of SqGetSafePtr: the object of a handle (null when it was
// invalidated), and the report of a value that is not a handle of that kind.
void* SqSafePtrResolve(const SqSafePtr& handle);
bool SqSafePtrReject(HSQUIRRELVM v, SQInteger idx, int32_t expected);

// A bit per hashed address, set for every invalidated address: a clear bit
// means the address was never invalidated, so its handles are all live.
inline constexpr size_t SqSafePtrFilterBits = 65536;
extern uint64_t SqSafePtrFilter[SqSafePtrFilterBits / 64];
inline size_t SqSafePtrFilterBit(const void* object)
{
    const uint64_t address = uint64_t(reinterpret_cast<uintptr_t>(object));
    return size_t(((address >> 3) * 0x9E3779B97F4A7C15ull) >> 48);
}
inline bool SqSafePtrMayBeStale(const void* object)
{
    const size_t bit = SqSafePtrFilterBit(object);
    return (SqSafePtrFilter[bit >> 6] >> (bit & 63)) & 1u;
}

// Reads the handle at idx. Not a handle: call stack with "Expected typetag,
// none found." and false. expected != 0 and another kind: call stack with
// "Expected '<text>' (<n>), got '<text>' (<n>)." and false. Otherwise true and,
// when out is given, the object (null for a null or stale handle).
// The caller returns sq_suspendvm(v) on false. Inline: every handle argument
// of every native function passes here.
inline bool SqGetSafePtr(HSQUIRRELVM v, SQInteger idx, void** out, int32_t expected)
{
    // The read also refuses values that are not user data; handles carry no type
    // tag and have their own size. One read of the slot gives all three.
    SQUserPointer data = nullptr;
    SQUserPointer tag = nullptr;
    SQInteger size = 0;
    if (SQ_SUCCEEDED(sq_getuserdataandsize(v, idx, &data, &tag, &size)) && tag == nullptr &&
        size == SQInteger(sizeof(SqSafePtr))) [[likely]] {
        const SqSafePtr* handle = static_cast<const SqSafePtr*>(data);
        if (expected == 0 || handle->type == expected) [[likely]] {
            if (out != nullptr) {
                if (!SqSafePtrMayBeStale(handle->pointer)) [[likely]]
                    *out = handle->pointer;
                else
                    *out = SqSafePtrResolve(*handle);
            }
            return true;
        }
    }
    return SqSafePtrReject(v, idx, expected);
}

template <class T> bool SqGetSafePtr(HSQUIRRELVM v, SQInteger idx, T** out, int32_t expected)
{
    void* object = nullptr;
    const bool ok = SqGetSafePtr(v, idx, &object, expected);
    *out = static_cast<T*>(object);
    return ok;
}

// The kind of the handle at idx; 0 when the value there is not user data.
int32_t SqGetSafePtrType(HSQUIRRELVM v, SQInteger idx);

// The release hook of managed handles: logs "[|] Garbage collected: <text>."
// and deletes the object through the deleter of its kind.
SQInteger ReleaseUserPointer(SQUserPointer handle, SQInteger size);

// Deleters of managed kinds. Picture, Metafile and Raster Font are installed
// by this library; the libraries that own the other managed kinds (Resource
// Manager Set, Raytracer, Scene, Scene Record) install theirs when they
// register their script functions. Null removes a deleter.
using SqSafePtrDeleter = void (*)(void* object);
void SqSetManagedDeleter(int32_t type, SqSafePtrDeleter deleter);

// Marks every handle pushed so far for object as stale. Call it from every
// path that deletes an object scripts may hold (before or after the delete;
// only the address is used).
void SqSafePtrInvalidate(const void* object);

// True when the handle value at idx is a handle whose object is not null and
// not invalidated since the handle was pushed.
bool SqSafePtrIsLive(HSQUIRRELVM v, SQInteger idx);

// True when the value at idx is a handle pushed with an object that has been
// invalidated since: a stale handle, as against an empty one. The few
// functions that refuse an empty handle take a stale one as an object that is
// gone: they do nothing and give their neutral result.
bool SqSafePtrIsStale(HSQUIRRELVM v, SQInteger idx);
