// Resource families: textures (stream control, picture, re-upload), sounds
// (duration) and geometries (name, hidden flag, materials). Every handle here
// borrows its resource.
#include "core/geometry/zGeometry.h"
#include "core/render/zRenderer.h"
#include "core/resource/TextureStreamInterface.h"
#include "core/resource/zTexture.h"
#include "core/sound/zSound.h"
#include "core/zad/Tavrin.h"
#include "dav/core/dAV_Stream.h"
#include "framework/system/zLogStream.h"
#include "manager_binding/SqBinding.h"
#include "manager_binding/zBindFamilies.h"

#include <climits>

namespace {

SQInteger TextureSetStreamState(HSQUIRRELVM v)
{
    zTexture* texture = nullptr;
    if (!SqGetSafePtr(v, 2, &texture, SqPtrTexture))
        return sq_suspendvm(v);
    SQInteger state = 0;
    sq_getinteger(v, 3, &state);
    if (texture != nullptr)
        texture->SetStreamState(int32_t(state));
    return 0;
}

SQInteger TextureRewindStream(HSQUIRRELVM v)
{
    zTexture* texture = nullptr;
    if (!SqGetSafePtr(v, 2, &texture, SqPtrTexture))
        return sq_suspendvm(v);
    if (texture != nullptr && texture->streamInterface != nullptr && texture->streamInterface->content != nullptr)
        texture->streamInterface->content->Rewind();
    return 0;
}

// A texture whose pixels were released once uploaded has only its size left:
// handing that picture out or uploading it would read memory that is gone.
bool HasPixels(const zTexture* texture, const char* function)
{
    if (texture->picture.HasBuffer())
        return true;
    LogWarning(function) << "Texture '" << texture->id.Get() << "' has no pixels (released after upload).\n";
    return false;
}

SQInteger TextureGetPicture(HSQUIRRELVM v)
{
    zTexture* texture = nullptr;
    if (!SqGetSafePtr(v, 2, &texture, SqPtrTexture))
        return sq_suspendvm(v);
    const bool usable = texture != nullptr && HasPixels(texture, "TextureGetPicture");
    SqPushSafePtr(v, usable ? &texture->picture : nullptr, SqPtrPicture);
    return 1;
}

SQInteger TextureUpdate(HSQUIRRELVM v)
{
    zTexture* texture = nullptr;
    if (!SqGetSafePtr(v, 2, &texture, SqPtrTexture))
        return sq_suspendvm(v);
    if (texture == nullptr || texture->core == nullptr || texture->core->renderer == nullptr)
        return 0;
    if (!HasPixels(texture, "TextureUpdate"))
        return 0;
    const zPicture& picture = texture->picture;
    texture->core->renderer->UpdateTexture(texture, picture.pixels, picture.width, picture.height, 0, 0);
    return 0;
}

SQInteger SoundGetDuration(HSQUIRRELVM v)
{
    zSound* sound = nullptr;
    if (!SqGetSafePtr(v, 2, &sound, SqPtrSound))
        return sq_suspendvm(v);
    int64_t milliseconds = 0;
    // 64-bit: frames × 1000 passes 32 bits after 4.3 M frames (90 s at 48 kHz).
    if (sound != nullptr && sound->sample.format.rate > 0 && sound->sample.frameCount > 0)
        milliseconds = int64_t(sound->sample.frameCount) * 1000 / sound->sample.format.rate;
    sq_pushinteger(v, SQInteger(milliseconds > INT_MAX ? INT_MAX : milliseconds));
    return 1;
}

SQInteger GeometryGetName(HSQUIRRELVM v)
{
    zGeometry* geometry = nullptr;
    if (!SqGetSafePtr(v, 2, &geometry, SqPtrGeometry))
        return sq_suspendvm(v);
    const char* name = geometry != nullptr ? geometry->id.Get() : "INVALID GEOMETRY POINTER";
    sq_pushstring(v, name != nullptr ? name : "", -1);
    return 1;
}

SQInteger GeometrySetHidden(HSQUIRRELVM v)
{
    zGeometry* geometry = nullptr;
    if (!SqGetSafePtr(v, 2, &geometry, SqPtrGeometry))
        return sq_suspendvm(v);
    SQBool hidden = SQFalse;
    sq_getbool(v, 3, &hidden);
    if (geometry != nullptr) {
        if (hidden)
            geometry->flags |= zGeometry::FlagHidden;
        else
            geometry->flags &= ~uint32_t(zGeometry::FlagHidden);
    }
    return 0;
}

SQInteger GeometryGetMaterial(HSQUIRRELVM v)
{
    zGeometry* geometry = nullptr;
    if (!SqGetSafePtr(v, 2, &geometry, SqPtrGeometry))
        return sq_suspendvm(v);
    const SQChar* name = nullptr;
    sq_getstring(v, 3, &name);
    SqPushSafePtr(v, geometry != nullptr && name != nullptr ? geometry->GetMaterialByName(name) : nullptr,
                  SqPtrMaterial);
    return 1;
}

SQInteger GeometryGetMaterialFromIndex(HSQUIRRELVM v)
{
    zGeometry* geometry = nullptr;
    if (!SqGetSafePtr(v, 2, &geometry, SqPtrGeometry))
        return sq_suspendvm(v);
    SQInteger index = -1;
    sq_getinteger(v, 3, &index);
    const bool inRange = geometry != nullptr && index >= 0 && uint32_t(index) < geometry->materialCount;
    SqPushSafePtr(v, inRange ? geometry->GetMaterialFromIndex(uint32_t(index)) : nullptr, SqPtrMaterial);
    return 1;
}

} // namespace

void SqRegisterTextureFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, TextureSetStreamState, "TextureSetStreamState", "x|tui");
    SqRegisterFunction(v, TextureRewindStream, "TextureRewindStream", "x|tu");
    SqRegisterFunction(v, TextureGetPicture, "TextureGetPicture", "x|tu");
    SqRegisterFunction(v, TextureUpdate, "TextureUpdate", "x|tu");
    SqSetRootInteger(v, "StreamPlaying", 0);
    SqSetRootInteger(v, "StreamPaused", 1);
    SqSetRootNullHandle(v, "NullTexture", SqPtrTexture);
}

void SqRegisterSoundFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, SoundGetDuration, "SoundGetDuration", "x|tu");
}

void SqRegisterGeometryFunctions(HSQUIRRELVM v)
{
    SqRegisterFunction(v, GeometryGetName, "GeometryGetName", "x|tu");
    SqRegisterFunction(v, GeometrySetHidden, "GeometrySetHidden", "x|tub");
    SqRegisterFunction(v, GeometryGetMaterial, "GeometryGetMaterial", "x|tus");
    SqRegisterFunction(v, GeometryGetMaterialFromIndex, "GeometryGetMaterialFromIndex", "x|tui");
}
