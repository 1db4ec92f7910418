#include "core/camera/zCamera.h"
#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"

namespace {

zRenderer* CurrentRenderer(Tavrin* core)
{
    return core != nullptr ? core->renderer : nullptr;
}

} // namespace

void zScene::RenderSetup(uint32_t renderFlags)
{
    if (IsRenderless())
        return;
    zRenderer* target = CurrentRenderer(core);
    if (target == nullptr)
        return;
    if ((renderFlags & RenderFlagClear) != 0)
        target->Clear(backgroundColor.r, backgroundColor.g, backgroundColor.b, 1.0f, 0);
    target->targetExposure = targetExposure;
    const float colour[3] = {fogColor.r, fogColor.g, fogColor.b};
    target->SetFog(fogFar > 0.0f, colour, fogNear, fogFar);
    if (currentCamera != nullptr) {
        target->camera = currentCamera;
        target->ApplyCamera();
        target->dofFStop = currentCamera->fStop;
        target->dofFocalDistance = currentCamera->focalDistance;
    }
}

void zScene::RenderToQueue(uint32_t renderFlags)
{
    timers[TimerRenderToQueue].Start();
    if (!IsRenderless()) {
        zRenderer* target = CurrentRenderer(core);
        if (currentCamera == nullptr && (target == nullptr || target->camera == nullptr))
            return;
        if (target != nullptr) {
            for (zLinkedListEntry* e = objects.GetFirst(); e != nullptr; e = e->next) {
                zMObject* object = static_cast<zMObject*>(static_cast<zLinkedListIdEntry*>(e));
                if (object->IsActive() && !(object->object.alpha < 0.01f) && object->proxy == 0)
                    object->object.PushToRenderer();
            }
        }
    }
    if ((renderFlags & RenderFlagNoCallback) == 0)
        script.Call(zSceneScriptUnit::OnRenderDone);
    timers[TimerRenderToQueue].Stop();
}

void zScene::RenderUI(uint32_t renderFlags)
{
    timers[TimerRenderUI].Start();
    if (!IsRenderless())
        ui.Render();
    if ((renderFlags & RenderFlagNoCallback) == 0)
        script.Call(zSceneScriptUnit::OnRenderUI);
    timers[TimerRenderUI].Stop();
}
