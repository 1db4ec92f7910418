#include "ai/zAIPath.h"
#include "ai/zAIWorld.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "physic/collision/GCollide.h"
#include "physic/dynamics/Tau.h"
#include "manager/item/zMItemSceneServices.h"
#include "manager/item/zMKinds.h"
#include "manager/motion/zHierarchyMotion.h"
#include "manager/motion/zMotion.h"
#include "manager/motion/zMotionPlayer.h"
#include "manager/motion/zQuaternionChannel.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

// A scene that keeps nothing but its worlds.
class Scene : public zMItemSceneServices {
public:
    Scene()
    {
        physics.collision = &collision;
        collision.SAP_Allocate(16);
    }
    Tavrin* GetCore() override { return nullptr; }
    Tau* GetPhysicWorld() override { return &physics; }
    GCollide* GetCollisionSystem() override { return &collision; }
    zScriptMaster* GetScriptMaster() override { return master; }
    void RegisterItem(zMItem*) override {}
    void UnregisterItem(zMItem*) override {}
    void UnlinkItemChilds(zMItem*) override {}
    void SetItemActive(zMItem*, bool) override {}
    void AddToLogicUpdateList(zMItem*) override {}
    void AddToTriggerWatchList(zMItem*) override {}
    void VisitItems(zMItemVisitor&) override {}
    zCamera* GetCurrentCamera() override { return nullptr; }
    zCamera* SetCurrentCamera(zCamera* camera) override { return camera; }

    zScriptMaster* master = nullptr;
    GCollide collision;
    Tau physics;
};

template <class Kind> void KindRoundTrip(Scene& scene, const zMetaFile* document, const zMetaTag* tag)
{
    Kind first(&scene);
    first.FromMetaTag(document, tag);
    first.Setup();
    first.UpdateMotion(0.25f);
    std::unique_ptr<zMetaTag> written(first.AsMetaTag());
    Kind second(&scene);
    second.FromMetaTag(nullptr, written.get());
}

// Reads the tag with a reader, writes what was read, reads that again and
// plays it a little.
template <class T> void RoundTrip(const zMetaFile* document, const zMetaTag* tag)
{
    T first;
    first.FromMetaTag(document, tag);
    std::unique_ptr<zMetaTag> written(first.AsMetaTag());
    T second;
    second.FromMetaTag(nullptr, written.get());
}

void ReadAndWrite(const zMetaFile* document, const zMetaTag* tag)
{
    RoundTrip<zMotion>(document, tag);
    RoundTrip<zHierarchyMotion>(document, tag);
    RoundTrip<zMotionPlayer>(document, tag);

    zQuaternionChannel channel;
    channel.FromMetaTag(document, tag);
    zQuaternion q;
    for (float t = -1.0f; t < 4.0f; t += 0.37f)
        channel.Evaluate(t, q);
    channel.Optimize(0.01f);
    std::unique_ptr<zMetaTag> written(channel.AsMetaTag());

    zMotionPlayer player;
    player.FromMetaTag(document, tag);
    zLinkedListCursor cursor = {};
    int slot = 0;
    while (zMotion* motion = player.motions.NextAs<zMotion>(cursor)) {
        if (slot < zMotionPlayer::SlotCount)
            player.slots[slot++].Set(motion, 0.5f, 1.0f, 0.0f);
        motion->Optimize(0.01f, 0.01f);
    }
    player.SetPropagation(zMotionPlayer::PropagatePosition, true);
    for (int i = 0; i < 8; ++i)
        player.Update(0.3f);

    zAIWorld paths;
    paths.FromMetaTag(document, tag);
    for (int32_t i = 0; i < paths.GetPathCount(); ++i) {
        zVector closest;
        float time;
        paths.GetPathAt(i)->GetClosestPoint(zVector(1.0f, 2.0f, 3.0f), closest, &time);
    }
    written.reset(paths.AsMetaTag());

    Scene scene;
    KindRoundTrip<zMObject>(scene, document, tag);
    KindRoundTrip<zMLight>(scene, document, tag);
    KindRoundTrip<zMCamera>(scene, document, tag);
    KindRoundTrip<zTrigger>(scene, document, tag);
}

} // namespace

// Any bytes, read as ZML and handed to the scene-management readers and writers.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Silent silent;
    GlobalLog.SetSink(&silent);
    zMetaFile document;
    if (!zMetaParser::LoadText(reinterpret_cast<const char*>(data), size, &document, "input.zml"))
        return 0;
    int roots = 0;
    for (const zMetaTag* tag = document.GetFirstRootTag(); tag != nullptr && roots < 16; tag = tag->GetNextSibling(), ++roots)
        ReadAndWrite(&document, tag);
    return 0;
}
