#include "project/zProjectScene3D.h"

#include "framework/system/zLogStream.h"

// The scene object is not part of the build yet: no 3D scene can be made, so
// none of the other operations is ever reached with a scene.
namespace zProjectScene3D {

zScene* New(Tavrin*, zScriptMaster*)
{
    LogError("zProjectScene3D::New") << "3D scenes are not part of this build yet.\n";
    return nullptr;
}

void Delete(zScene*) {}
bool Load(zScene*, const char*) { return false; }
void Setup(zScene*) {}
void Reset(zScene*) {}
void MakeGlobal(zScene*) {}
void Update(zScene*, int32_t) {}
void DrawLayer(zScene*, zRenderer*, int32_t) {}
zScriptUnit* GetUnit(zScene*) { return nullptr; }

} // namespace zProjectScene3D
