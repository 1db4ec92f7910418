#include "core/camera/zCamera.h"
#include "core/font/zRasterFont.h"
#include "core/geometry/zGeometryOctree.h"
#include "core/render/zRenderer.h"
#include "framework/math/zMatrix3.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMKinds.h"
#include "manager/scene/zScene.h"
#include "script/zScriptMaster.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <unordered_set>

namespace {

constexpr float CrossColour[4] = {0.75f, 0.75f, 0.75f, 1.0f};
constexpr float BoneColour[4] = {0.65f, 0.65f, 0.75f, 0.5f};
constexpr float ActiveTriggerColour[4] = {0.0f, 1.0f, 0.0f, 1.0f};
constexpr float InactiveTriggerColour[4] = {1.0f, 0.0f, 0.0f, 1.0f};
constexpr float PlateColour[4] = {0.5f, 0.5f, 0.5f, 0.7f};
constexpr float White[4] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr float Black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
constexpr float EvaluateColour[4] = {1.0f, 0.0f, 0.25f, 1.0f};
constexpr float ScriptColour[4] = {1.0f, 0.75f, 0.0f, 1.0f};
constexpr float PhysicColour[4] = {0.75f, 0.75f, 0.75f, 1.0f};
constexpr float RenderColour[4] = {0.75f, 1.0f, 0.25f, 1.0f};
constexpr float InterfaceColour[4] = {0.5f, 0.25f, 1.0f, 1.0f};
constexpr float HeadingColour[4] = {0.75f, 0.5f, 1.0f, 1.0f};
constexpr float Pi = 3.14159265f;

const char* KindLabel(int32_t kind)
{
    switch (kind) {
    case zMItem::KindCamera:
        return "Camera: ";
    case zMItem::KindObject:
        return "Object: ";
    case zMItem::KindLight:
        return "Light: ";
    case zMItem::KindTrigger:
        return "Trigger: ";
    default:
        return "";
    }
}

template <class Visit> void ForEachItem(const zSceneItemList& list, Visit visit)
{
    zLinkedListCursor cursor = {};
    while (zLinkedListIdEntry* entry = list.NextAs<zLinkedListIdEntry>(cursor))
        visit(static_cast<zMItem*>(entry));
}

} // namespace

void zScene::Debug(zRenderer* target, zGroup* group, uint32_t debugFlags)
{
    if (target == nullptr)
        return;
    // The bones of every skin, for their pyramids.
    std::unordered_set<const zItem*> bones;
    ForEachItem(objects, [&](zMItem* item) {
        const zObject& object = static_cast<zMObject*>(item)->object;
        for (uint32_t i = 0; object.bones != nullptr && i < object.boneCount; ++i)
            bones.insert(object.bones[i]);
    });
    auto draw = [&](zMItem* item) { DebugDrawItem(target, item, debugFlags, bones.count(item->GetCoreItem()) != 0); };
    ForEachItem(lights, draw);
    ForEachItem(objects, draw);
    ForEachItem(cameras, [&](zMItem* item) {
        if (item->GetCoreItem() != currentCamera)
            draw(item);
    });
    ForEachItem(triggers, [&](zMItem* item) {
        const zItem* core = item->GetCoreItem();
        zOBB box;
        box.centre = core->worldMatrix.GetRow(3);
        box.size = core->scale;
        box.orientation = zMatrix3::FromMatrix4(core->worldMatrix).Orthonormalized();
        target->DrawOBB(box, item->IsActive() ? ActiveTriggerColour : InactiveTriggerColour);
    });
    for (zMItem* item : allItems) {
        if (item->GetCoreItem() == currentCamera)
            continue;
        if (group != nullptr && std::find(group->GetItems().begin(), group->GetItems().end(), item) == group->GetItems().end())
            continue;
        DebugDrawItemLabel(target, item);
    }
}

void zScene::DebugDrawItem(zRenderer* target, zMItem* item, uint32_t debugFlags, bool isBone)
{
    const zItem* core = item->GetCoreItem();
    if (target == nullptr || core == nullptr)
        return;
    if (isBone && core->link != nullptr) {
        if ((debugFlags & 2) == 0)
            return;
        const zVector from = core->link->worldMatrix.GetRow(3);
        const zVector to = core->worldMatrix.GetRow(3);
        const float l = (to - from).Length();
        zMatrix4 placement = zMatrix4::FromMatrix3(zMatrix3::FromDirection(to - from));
        placement.SetRow(3, from, true);
        const zVector points[6] = {zVector(0, 0, 0).Transform(placement),
                                   zVector(-0.1f * l, 0.1f * l, 0.2f * l).Transform(placement),
                                   zVector(0.1f * l, 0.1f * l, 0.2f * l).Transform(placement),
                                   zVector(0.1f * l, -0.1f * l, 0.2f * l).Transform(placement),
                                   zVector(-0.1f * l, -0.1f * l, 0.2f * l).Transform(placement),
                                   zVector(0, 0, l).Transform(placement)};
        for (int i = 1; i <= 4; ++i) {
            target->Line3D(points[0], points[i], BoneColour);
            target->Line3D(points[i], points[5], BoneColour);
            target->Line3D(points[i], points[i % 4 + 1], BoneColour);
        }
        return;
    }
    target->DrawCross(core->worldMatrix.GetRow(3), 0.075f * visualisationScale, CrossColour);
    if (item->GetKind() == zMItem::KindObject && (debugFlags & 4) != 0) {
        zObject& object = static_cast<zMObject*>(item)->object;
        zMinMax bounds;
        object.GetMinMax(bounds);
        zOBB box = MinMaxToOBB(bounds);
        box.Transform(object.worldMatrix);
        target->DrawOBB(box, nullptr);
    }
}

void zScene::DebugDrawItemLabel(zRenderer* target, zMItem* item)
{
    // Labels are placed by the current camera: without one there is nowhere to put them.
    if (target == nullptr || currentCamera == nullptr || item->GetCoreItem() == nullptr)
        return;
    const std::string text = std::string(KindLabel(item->GetKind()))
                             + (item->GetName().Get() != nullptr ? item->GetName().Get() : "");
    zVector screen;
    if (!currentCamera->WorldToScreen(item->GetCoreItem()->worldMatrix.GetRow(3), screen, true))
        return;
    const float x = screen.x;
    const float y = screen.y + 0.05f;
    const float w = 0.15f * (profilerFont != nullptr ? profilerFont->GetLineWidth(text.c_str()) : 0.0f);
    const float h = 0.03f;
    auto world = [&](float sx, float sy) {
        zVector out;
        currentCamera->ScreenToWorld(out, sx, sy);
        return out;
    };
    auto triangle = [&](float ax, float ay, float bx, float by, float cx, float cy) {
        const zVector corners[3] = {world(ax, ay), world(bx, by), world(cx, cy)};
        target->DrawTriangle(corners, PlateColour, nullptr, nullptr, 0x6000);
    };
    const float left = x - w * 0.5f;
    const float right = x + w * 0.5f;
    const float top = y - 0.2f * h;
    const float bottom = y + 0.8f * h;
    triangle(left, top, right, top, right, bottom);
    triangle(left, top, right, bottom, left, bottom);
    for (int side = 0; side < 2; ++side) {
        const float cx = side == 0 ? left : right;
        const float outwards = side == 0 ? -1.0f : 1.0f;
        for (int i = 0; i < 16; ++i) {
            const float a0 = Pi * float(i) / 16.0f;
            const float a1 = Pi * float(i + 1) / 16.0f;
            triangle(cx, y, cx + outwards * 0.25f * h * std::sin(a0), y + (0.6f - std::cos(a0)) * h * 0.5f,
                     cx + outwards * 0.25f * h * std::sin(a1), y + (0.6f - std::cos(a1)) * h * 0.5f);
        }
    }
    target->Write(profilerFont, text.c_str(), screen.x, screen.y, 0.4f, true, 1, White);
}

bool zScene::CreateProfiler(const char* path, const char* base)
{
    if (profilerFont == nullptr) {
        profilerFont = new (std::nothrow) zRasterFont(core);
        if (profilerFont == nullptr)
            return false;
    }
    return profilerFont->Load(path, base);
}

float zScene::UpdateProfiler(float x, float y, bool detailed, zRasterFont* font)
{
    zRasterFont* used = font != nullptr ? font : profilerFont;
    if (renderer == nullptr || used == nullptr || used->GetPageTexture(0) == nullptr)
        return y;
    float width = 1.0f;
    float height = 1.0f;
    renderer->GetViewportSize(width, height);
    const float dx = width > 0.0f ? 1.0f / width : 0.0f;
    const float dy = height > 0.0f ? 1.0f / height : 0.0f;
    auto step = [&]() {
        y += 0.021f;
        if (y > 0.958f) {
            y = 0.05f;
            x += 0.5f;
        }
    };
    auto line = [&](const float* colour, const char* format, auto... values) {
        char text[256];
        std::snprintf(text, sizeof(text), format, values...);
        renderer->Write(used, text, x + dx, y + dy, 0.35f, true, 0, Black);
        renderer->Write(used, text, x, y, 0.35f, true, 0, colour);
        step();
    };
    const float fps = timers[TimerUpdate].GetRunsPerSecond();
    const int32_t itemCount = int32_t(allItems.size());
    const int32_t activeCount = int32_t(activeItems.size());
    const int32_t share = itemCount > 0 ? activeCount * 100 / itemCount : 100;
    if (detailed) {
        line(White, "Perf. = %0.02f fps (%0.02f ms)", double(fps), double(fps > 0.0f ? 1000.0f / fps : 0.0f));
        line(HeadingColour, "Scene:");
    }
    line(EvaluateColour, "Evaluate = %0.02f ms", double(timers[TimerUpdate].GetMeanMilliseconds()));
    line(EvaluateColour, "  -> Item = %d item(s), %d active (%d%%)", itemCount, activeCount, share);
    line(ScriptColour, "Script = %0.02f ms", double(timers[TimerItemUpdate].GetMeanMilliseconds()));
    if (detailed)
        line(ScriptColour, "  -> Script function call = %d",
             scriptMaster != nullptr ? scriptMaster->GetUnitCallCount() : 0);
    line(PhysicColour, "Physic = %0.02f ms", double(timers[TimerPhysic].GetMeanMilliseconds()));
    if (detailed) {
        line(PhysicColour, "  -> Solver = %0.02f ms", double(physics.solverTimer.GetMeanMilliseconds()));
        line(PhysicColour, "  -> Collision = %0.02f ms", double(physics.detectionTimer.GetMeanMilliseconds()));
        line(PhysicColour, "  -> Contact pair = %d", int32_t(physics.pairCount));
        line(PhysicColour, "  -> Resting pair = %d", int32_t(physics.restingPairCount));
    }
    line(RenderColour, "Send to render = %0.02f ms", double(timers[TimerRenderToQueue].GetMeanMilliseconds()));
    line(InterfaceColour, "User interface = %0.02f ms (%d window(s))",
         double(timers[TimerRenderUI].GetMeanMilliseconds()), int32_t(ui.windows.GetCount()));
    step();
    if (detailed) {
        line(White, "Logic callback = %0.02f ms", double(timers[TimerLogicUpdate].GetMeanMilliseconds()));
        line(White, "Collision callback = %0.02f ms", double(timers[TimerCollision].GetMeanMilliseconds()));
        step();
    }
    step();
    return y;
}
