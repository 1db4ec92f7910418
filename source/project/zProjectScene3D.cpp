#include "project/zProjectScene3D.h"

#include "core/render/zRenderer.h"
#include "framework/system/zLogStream.h"
#include "manager/scene/zScene.h"

#include <new>

namespace zProjectScene3D {

zScene* New(Tavrin* core, zScriptMaster* master)
{
    return new (std::nothrow) zScene(core, master);
}

void Delete(zScene* scene)
{
    delete scene;
}

bool Load(zScene* scene, const char* uri)
{
    return scene != nullptr && scene->LoadFromFile(uri);
}

void Setup(zScene* scene)
{
    if (scene != nullptr)
        scene->Setup(true, 1024);
}

void Reset(zScene* scene)
{
    if (scene != nullptr)
        scene->Reset();
}

void MakeGlobal(zScene* scene)
{
    if (scene != nullptr)
        scene->RegisterScriptGlobals();
}

void Update(zScene* scene, int32_t updateMask)
{
    if (scene != nullptr)
        scene->Update(uint32_t(updateMask));
}

void DrawLayer(zScene* scene, zRenderer* renderer, int32_t flag)
{
    if (scene == nullptr)
        return;
    scene->RegisterAsPropertyCallback(renderer);
    scene->RenderSetup(0);
    scene->RenderToQueue((flag & 1) != 0 ? 2u : 1u);
    if (renderer != nullptr) {
        renderer->RenderQueue();
        renderer->ResetItemStack();
    }
}

zScriptUnit* GetUnit(zScene* scene)
{
    return scene != nullptr ? &scene->script : nullptr;
}

} // namespace zProjectScene3D
