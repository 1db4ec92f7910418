#include "manager/item/zMKinds.h"

#include "core/render/zRenderer.h"
#include "core/zad/Tavrin.h"
#include "framework/math/zVector.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMItemSceneServices.h"
#include "manager/motion/zHierarchyMotion.h"
#include "manager/motion/zMotion.h"

#include <new>

namespace {

zRenderer* RendererOf(const zItem& item)
{
    return item.core != nullptr ? item.core->renderer : nullptr;
}

// Reads the children of a kind tag; read(child) takes the kind's own
// children and returns false for those it does not know.
template <class ReadOwn>
bool ReadKindTag(zMItem& item, const zMetaFile* document, const zMetaTag* tag, const char* kindName,
                 const char* rootMessage, ReadOwn readOwn)
{
    if (tag == nullptr)
        return false;
    if (!(tag->GetName() == kindName)) {
        LogError("zMItem::FromMetaTag") << rootMessage << tag->GetName() << ").\n";
        return false;
    }
    zLinkedListCursor cursor = {};
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        if (child->GetName() == "MItem")
            item.zMItem::FromMetaTag(document, child);
        else if (!readOwn(child))
            LogWarning("zMItem::FromMetaTag") << "Unknown tag '" << child->GetName() << "' in <" << kindName << ">.\n";
    }
    return true;
}

zMetaTag* WriteKindTag(const zMItem& item, const char* kindName, const char* failure, zMetaTag* core)
{
    zMetaTag* root = new (std::nothrow) zMetaTag(kindName);
    if (root == nullptr) {
        delete core;
        LogError("zMItem::AsMetaTag") << failure;
        return nullptr;
    }
    root->AddChild(item.zMItem::AsMetaTag());
    root->AddChild(core);
    return root;
}

template <class Apply> void ForEachBoneItem(const zObject& skin, Apply apply)
{
    for (uint32_t i = 0; i < skin.boneCount; ++i) {
        if (zMItem* item = zMItem::FromCoreItem(skin.bones != nullptr ? skin.bones[i] : nullptr))
            apply(i, *item);
    }
}

} // namespace

zMObject::zMObject(zMItemSceneServices* scene) : zMItem(scene), object(scene->GetCore())
{
    AttachCoreItem(&object, KindObject);
}

zMObject::~zMObject()
{
    Retire();
    skinMotions.Clear(true);
}

void zMObject::UpdateTransform()
{
    object.UpdateWorldMatrix();
    object.ComputeSkinMatrices();
}

bool zMObject::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    return ReadKindTag(*this, document, tag, "MObject", "Could not parse managed object. Root tag id is incorrect (",
                       [&](const zMetaTag* child) {
                           if (child->GetName() == "Object") {
                               object.FromMetaTag(document, child);
                               return true;
                           }
                           if (!(child->GetName() == "SkinMotion"))
                               return false;
                           // Children of "SkinMotion" are taken as they stand, shortcuts unresolved.
                           for (const zMetaTag* m = child->GetFirstChild(); m != nullptr; m = m->GetNextSibling()) {
                               if (!(m->GetName() == "HierarchyMotion")) {
                                   LogWarning("zMObject::FromMetaTag")
                                       << "Unexpected tag '" << m->GetName() << "' in <SkinMotion>.\n";
                                   continue;
                               }
                               zHierarchyMotion* motion = new (std::nothrow) zHierarchyMotion;
                               if (motion == nullptr) {
                                   LogError("zMObject::FromMetaTag") << "Failed to allocate hierarchy motion.\n";
                                   continue;
                               }
                               motion->FromMetaTag(document, m);
                               skinMotions.Add(motion, true, true);
                           }
                           return true;
                       });
}

zMetaTag* zMObject::AsMetaTag() const
{
    zMetaTag* root = WriteKindTag(*this, "MObject", "Could not create managed root tag to serialize.\n",
                                  object.AsMetaTag());
    if (root == nullptr || skinMotions.IsEmpty())
        return root;
    zMetaTag* skin = new (std::nothrow) zMetaTag("SkinMotion");
    if (skin == nullptr) {
        LogError("zMObject::AsMetaTag") << "Failed to allocate skin motion tag.\n";
        return root;
    }
    zLinkedListCursor cursor = {};
    while (const zHierarchyMotion* motion = skinMotions.NextAs<zHierarchyMotion>(cursor))
        skin->AddChild(motion->AsMetaTag());
    root->AddChild(skin);
    return root;
}

void zMObject::SkinSetHierarchyMotion(const zObject& skin, zHierarchyMotion* motion, float fade, float weight,
                                      float startTime)
{
    if (motion == nullptr)
        return;
    ForEachBoneItem(skin, [&](uint32_t i, zMItem& item) {
        if (int64_t(i) < int64_t(motion->GetCount()))
            item.slots[0].Set(motion->GetMotion(int32_t(i)), fade, weight, startTime);
    });
}

void zMObject::SkinSetMotionClockScale(const zObject& skin, float scale)
{
    ForEachBoneItem(skin, [&](uint32_t, zMItem& item) { item.slots[0].clockScale = scale; });
}

void zMObject::SkinStopAllMotion(const zObject& skin)
{
    ForEachBoneItem(skin, [&](uint32_t, zMItem& item) { item.Stop(); });
}

zMLight::zMLight(zMItemSceneServices* scene) : zMItem(scene), light(scene->GetCore())
{
    AttachCoreItem(&light, KindLight);
}

zMLight::~zMLight()
{
    Retire();
}

bool zMLight::GetChannelTarget(int32_t channelId, zChannelTarget& target)
{
    switch (channelId) {
    case ChannelDiffuseR: target.value = &light.diffuse.r; return true;
    case ChannelDiffuseG: target.value = &light.diffuse.g; return true;
    case ChannelDiffuseB: target.value = &light.diffuse.b; return true;
    case ChannelRange: target.value = &light.range; return true;
    default: return zMItem::GetChannelTarget(channelId, target);
    }
}

bool zMLight::IsActive() const
{
    return active != 0 && (light.diffuseIntensity > 0.001f || light.specularIntensity > 0.001f);
}

void zMLight::UpdateRenderData()
{
    if (zRenderer* renderer = RendererOf(light))
        renderer->UpdateLight(&light);
}

void zMLight::UpdateTransform()
{
    light.UpdateWorldMatrix();
}

void zMLight::Setup()
{
    if (zRenderer* renderer = RendererOf(light))
        renderer->SetupLight(&light);
    zMItem::Setup();
}

bool zMLight::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    return ReadKindTag(*this, document, tag, "MLight", "Could not parse managed light. Root tag id is incorrect (",
                       [&](const zMetaTag* child) {
                           if (!(child->GetName() == "Light"))
                               return false;
                           light.FromMetaTag(document, child);
                           return true;
                       });
}

zMetaTag* zMLight::AsMetaTag() const
{
    return WriteKindTag(*this, "MLight", "could not create managed root tag to serialize.\n", light.AsMetaTag());
}

zMCamera::zMCamera(zMItemSceneServices* scene) : zMItem(scene), camera(scene->GetCore())
{
    AttachCoreItem(&camera, KindCamera);
}

zMCamera::~zMCamera()
{
    // Leaving the scene's lists first keeps this camera out of the new choice.
    Retire();
    if (scene->GetCurrentCamera() == &camera)
        scene->SetCurrentCamera(nullptr);
    // A script may have made any camera the renderer's view, not only the
    // scene's current one: the renderer must not keep a deleted camera.
    zRenderer* renderer = RendererOf(camera);
    if (renderer != nullptr && renderer->camera == &camera)
        renderer->camera = nullptr;
}

bool zMCamera::GetChannelTarget(int32_t channelId, zChannelTarget& target)
{
    if (channelId == ChannelZoom) {
        target.value = &camera.zoomFactor;
        return true;
    }
    return zMItem::GetChannelTarget(channelId, target);
}

void zMCamera::UpdateTransform()
{
    camera.UpdateWorldMatrix();
    camera.ComputeFrustum(camera.frustum, -1.0f, -1.0f);
}

bool zMCamera::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    return ReadKindTag(*this, document, tag, "MCamera", "could not parse managed camera. Root tag id is incorrect (",
                       [&](const zMetaTag* child) {
                           if (!(child->GetName() == "Camera"))
                               return false;
                           camera.FromMetaTag(document, child);
                           return true;
                       });
}

zMetaTag* zMCamera::AsMetaTag() const
{
    return WriteKindTag(*this, "MCamera", "Could not create managed root tag to serialize.\n", camera.AsMetaTag());
}

zTrigger::zTrigger(zMItemSceneServices* scene) : zMItem(scene), item(scene->GetCore())
{
    AttachCoreItem(&item, KindTrigger);
}

zTrigger::~zTrigger()
{
    Retire();
}

bool zTrigger::IsInside(const zVector& point) const
{
    const zVector local = point.Transform(item.inverseWorldMatrix);
    return local.x > -0.5f && local.x < 0.5f && local.y > -0.5f && local.y < 0.5f && local.z > -0.5f && local.z < 0.5f;
}

bool zTrigger::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    return ReadKindTag(*this, document, tag, "Trigger", "Could not parse trigger. Root tag id is incorrect (",
                       [&](const zMetaTag* child) {
                           if (!(child->GetName() == "Item"))
                               return false;
                           item.FromMetaTag(document, child);
                           return true;
                       });
}

zMetaTag* zTrigger::AsMetaTag() const
{
    return WriteKindTag(*this, "Trigger", "Could not create managed root tag to serialize.\n", item.AsMetaTag());
}
