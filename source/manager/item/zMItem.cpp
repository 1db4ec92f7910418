#include "manager/item/zMItem.h"

#include "core/item/zItem.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "manager/item/zMItemSceneServices.h"
#include "manager/motion/zChannel.h"
#include "physic/collision/GCollide.h"
#include "physic/dynamics/Tau.h"
#include "script/SqSafePtr.h"
#include "script/zScriptMaster.h"

#include <new>

zMItem::zMItem(zMItemSceneServices* owningScene)
    : scene(owningScene), script(owningScene->GetScriptMaster()), body(owningScene->GetPhysicWorld())
{
    script.SetOwner(this, SqPtrItem);
    body.collisionItem = &collisionItem;
    collisionItem.body = &body;
    scene->RegisterItem(this);
    scene->SetItemActive(this, true);
}

zMItem::~zMItem()
{
    Retire();
}

zMItem* zMItem::FromCoreItem(const zItem* item)
{
    return item != nullptr ? static_cast<zMItem*>(item->owner) : nullptr;
}

void zMItem::AttachCoreItem(zItem* item, int32_t itemKind)
{
    coreItem = item;
    kind = itemKind;
    item->owner = this;
    body.owner = item;
    collisionItem.owner = item;
}

void zMItem::Retire()
{
    if (retired)
        return;
    retired = true;
    if (script.SetupFunctionCall("OnDelete"))
        script.DoFunctionCall(0);
    scene->UnregisterItem(this);
    scene->GetCollisionSystem()->RemoveItem(&collisionItem);
    scene->GetPhysicWorld()->RemoveItem(&body, true);
    scene->UnlinkItemChilds(this);
    SqSafePtrInvalidate(this);
    // The shapes go with the collision item; scripts may hold their handles.
    for (const GColShape* shape = collisionItem.GetFirstShape(); shape != nullptr; shape = GColItem::NextShape(shape))
        SqSafePtrInvalidate(shape);
}

bool zMItem::GetChannelTarget(int32_t channelId, zChannelTarget& target)
{
    if (coreItem == nullptr)
        return false;
    switch (channelId) {
    case ChannelOrientation: target.quaternion = &coreItem->quaternion; return true;
    case ChannelPositionX: target.value = &coreItem->position.x; return true;
    case ChannelPositionY: target.value = &coreItem->position.y; return true;
    case ChannelPositionZ: target.value = &coreItem->position.z; return true;
    case ChannelRotationX: target.value = &coreItem->rotation.x; return true;
    case ChannelRotationY: target.value = &coreItem->rotation.y; return true;
    case ChannelRotationZ: target.value = &coreItem->rotation.z; return true;
    case ChannelScaleX: target.value = &coreItem->scale.x; return true;
    case ChannelScaleY: target.value = &coreItem->scale.y; return true;
    case ChannelScaleZ: target.value = &coreItem->scale.z; return true;
    default: return false;
    }
}

void zMItem::UpdateTransform()
{
    if (coreItem != nullptr)
        coreItem->UpdateWorldMatrix();
}

void zMItem::Setup()
{
    collisionItem.Setup();
    setUp = true;
    ApplyMembership(true);
}

void zMItem::ApplyMembership(bool worlds)
{
    scene->SetItemActive(this, active != 0);
    if (!worlds)
        return;
    Tau* physics = scene->GetPhysicWorld();
    GCollide* collision = scene->GetCollisionSystem();
    if (active != 0) {
        physics->AddItem(&body);
        collision->AddItem(&collisionItem);
    } else {
        physics->RemoveItem(&body, false);
        collision->RemoveItem(&collisionItem);
    }
}

namespace {

class ActivateLinked : public zMItemVisitor {
public:
    ActivateLinked(zMItem* root, bool active) : root(root), active(active) {}

    void Visit(zMItem* item) override
    {
        if (item != root && item->GetCoreItem() != nullptr && item->GetCoreItem()->IsLinkedTo(root->GetCoreItem()))
            item->Activate(active, false);
    }

private:
    zMItem* root;
    bool active;
};

} // namespace

void zMItem::Activate(bool newActive, bool recursive)
{
    if ((active != 0) == newActive)
        return;
    active = newActive ? 1 : 0;
    if (newActive)
        logicTime = 0.0f;
    ApplyMembership(true);
    if (recursive && coreItem != nullptr) {
        ActivateLinked linked(this, newActive);
        scene->VisitItems(linked);
    }
    if (script.SetupFunctionCall("OnActivate")) {
        sq_pushbool(script.GetScriptMaster()->GetVM(), newActive ? SQTrue : SQFalse);
        script.DoFunctionCall(1);
    }
}

void zMItem::SetupScript()
{
    if (!script.IsOpened() && script.OpenScriptUnit() && script.SetupFunctionCall("OnSetup"))
        script.DoFunctionCall(0);
    if (script.HasCallback(zItemScriptUnit::OnLogicUpdate))
        scene->AddToLogicUpdateList(this);
    if (script.HasCallback(zItemScriptUnit::OnTrigger))
        scene->AddToTriggerWatchList(this);
}

void zMItem::SetPriority(float value)
{
    priority = value;
    if (kind == KindLight)
        scene->SortLightsByPriority();
}

void zMItem::RecordLocation()
{
    if (coreItem == nullptr)
        return;
    recordedLocation = coreItem->worldMatrix;
    hasRecordedLocation = 1;
}

void zMItem::ApplyRecordedLocation()
{
    if (coreItem == nullptr || hasRecordedLocation == 0)
        return;
    coreItem->SetMatrix(recordedLocation, false);
    UpdateTransform();
}

void zMItem::SetLogicTransformation(const zMatrix4& m)
{
    logicTransformation = m;
    previousLogicTransformation = m;
}

namespace {

const char* StringOf(const zMetaTag* tag)
{
    const char* text = tag->GetString();
    return text != nullptr ? text : "";
}

int32_t IntegerOf(const zMetaTag* tag)
{
    return tag->GetType() == zMetaTag::TypeInteger ? tag->GetInteger() : zMetaTag::NoInteger;
}

} // namespace

bool zMItem::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr)
        return false;
    if (!(tag->GetName() == "MItem")) {
        LogError("zMItem::FromMetaTag") << "Could not parse managed item. Root tag id is incorrect (" << tag->GetName()
                                        << ").\n";
        return false;
    }
    toolSpecific = 0;
    active = 0;
    hasRecordedLocation = 0;
    recordedLocation = zMatrix4();
    proxy = 0;
    proxyDone = 0;
    proxyLink = nullptr;
    proxyRootParameterTarget.Assign("");
    logicTime = 0.0f;
    uid = -1;

    zLinkedListCursor cursor = {};
    while (const zMetaTag* child = tag->NextChild(cursor, document)) {
        const zString& name = child->GetName();
        if (name == "Id") {
            id.Assign(StringOf(child));
        } else if (name == "UId") {
            uid = IntegerOf(child);
        } else if (name == "Proxy") {
            proxy = 1;
        } else if (name == "ProxyScene") {
            proxyScene.Assign(StringOf(child));
        } else if (name == "ProxyGroup") {
            proxyGroup.Assign(StringOf(child));
        } else if (name == "ProxyFlag") {
            proxyFlag = IntegerOf(child);
        } else if (name == "Active") {
            active = 1;
        } else if (name == "ToolSpecific") {
            toolSpecific = 1;
        } else if (name == "Billboard") {
            billboardFlags |= BillboardFlag;
        } else if (name == "ProxyRootParamTo") {
            proxyRootParameterTarget.Assign(StringOf(child));
        } else if (name == "InitialMatrix") {
            zMatrix4 m;
            if (m.FromMetaTag(document, child)) {
                recordedLocation = m;
                hasRecordedLocation = 1;
            }
        } else if (name == "Priority") {
            priority = child->GetFloat();
        } else if (name == "ScriptLogicFq") {
            logicFrequency = child->GetFloat();
        } else if (name == "MotionPlayer") {
            zMotionPlayer::FromMetaTag(document, child);
        } else if (name == "ScriptUnit") {
            script.FromMetaTag(document, child);
        } else if (name == "GColItem") {
            collisionItem.FromMetaTag(document, child);
        } else if (name == "TauItem") {
            body.FromMetaTag(document, child);
        } else {
            LogWarning("zMItem::FromMetaTag") << "Unknown tag '" << name << "' in <MItem>.\n";
        }
    }
    // The flag may have changed under the lists and worlds.
    ApplyMembership(setUp || active == 0);
    if (uid < 0) {
        LogError("zMItem::FromMetaTag") << "Managed item '" << id << "' UID is invalid.\n";
        return false;
    }
    return true;
}

zMetaTag* zMItem::AsMetaTag() const
{
    zMetaTag* root = new (std::nothrow) zMetaTag("MItem");
    if (root == nullptr) {
        LogError("zMItem::AsMetaTag") << "Could not create managed root tag to serialize.\n";
        return nullptr;
    }
    root->CreateString("Id", id.Get() != nullptr ? id.Get() : "");
    root->CreateInteger("UId", uid);
    if (proxy != 0)
        root->CreateChild("Proxy");
    if (proxyScene.Get() != nullptr && proxyScene.Get()[0] != '\0')
        root->CreateString("ProxyScene", proxyScene.Get());
    if (proxyGroup.Get() != nullptr && proxyGroup.Get()[0] != '\0')
        root->CreateString("ProxyGroup", proxyGroup.Get());
    root->CreateInteger("ProxyFlag", proxyFlag);
    if (proxyRootParameterTarget.Get() != nullptr && proxyRootParameterTarget.Get()[0] != '\0')
        root->CreateString("ProxyRootParamTo", proxyRootParameterTarget.Get());
    if (active != 0)
        root->CreateChild("Active");
    if (toolSpecific != 0)
        root->CreateChild("ToolSpecific");
    if ((billboardFlags & BillboardFlag) != 0)
        root->CreateChild("Billboard");
    if (hasRecordedLocation != 0)
        root->AddChild(recordedLocation.AsMetaTag("InitialMatrix"));
    root->CreateFloat("Priority", priority);
    root->CreateFloat("ScriptLogicFq", logicFrequency);
    root->AddChild(zMotionPlayer::AsMetaTag());
    root->AddChild(script.AsMetaTag());
    root->AddChild(collisionItem.AsMetaTag());
    root->AddChild(body.AsMetaTag());
    return root;
}
