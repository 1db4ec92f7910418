#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "physic/collision/GColItem.h"
#include "physic/collision/GCollide.h"
#include "physic/dynamics/Tau.h"
#include "physic/dynamics/TauConstraint.h"
#include "physic/dynamics/TauSceneServices.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

// Two bodies with UIDs 1 and 2; groups are not kept.
class Scene : public TauSceneServices {
public:
    explicit Scene(Tau* world) : bodies{TauItem(world), TauItem(world)} {}
    TauItem* FindBodyFromUid(int32_t uid) override { return uid == 1 || uid == 2 ? &bodies[uid - 1] : nullptr; }
    int32_t GetBodyUid(const TauItem* body) override { return body == &bodies[0] ? 1 : 2; }
    TauConstraint* AddConstraintToGroup(void*, TauConstraint* constraint) override { return constraint; }
    void ForgetConstraint(TauConstraint*) override {}
    TauItem bodies[2];
};

// Reads one root tag with every physics reader that takes it, then writes
// what was read and reads that again.
void ReadAndWrite(const zMetaFile* document, const zMetaTag* tag)
{
    static const int32_t uids[] = {2, 1, 7};
    const TauUidRemap remap{uids, 3};
    Tau world;
    Scene scene(&world);
    int group = 0;
    world.FromMetaTag(&scene, document, tag, &remap, &group);
    world.FromMetaTag(&scene, document, tag, nullptr, nullptr);
    std::unique_ptr<zMetaTag> written(world.AsMetaTag(document, &scene));
    Tau again;
    again.FromMetaTag(&scene, nullptr, written.get(), nullptr, nullptr);

    TauItem body(&world);
    body.FromMetaTag(document, tag);
    written.reset(body.AsMetaTag());
    body.FromMetaTag(nullptr, written.get());

    TauDistanceConstraint distance(&world, nullptr, nullptr, nullptr, nullptr, 0.0f, 0.0f);
    distance.FromMetaTag(&scene, document, tag, &remap);
    TauHingeConstraint hinge(&world, nullptr, nullptr, nullptr, nullptr, nullptr);
    hinge.FromMetaTag(&scene, document, tag, &remap);
    TauAngularConstraint angular(&world, 0);
    angular.FromMetaTag(&scene, document, tag, &remap);
    written.reset(angular.AsMetaTag(document, &scene));

    GCollide collide;
    collide.FromMetaTag(document, tag, true);
    written.reset(collide.AsMetaTag());
    GColItem item;
    item.FromMetaTag(document, tag);
    written.reset(item.AsMetaTag());
    GColItem copy;
    copy.FromMetaTag(nullptr, written.get());
    world.Clear(false);
}

} // namespace

// Any bytes, read as ZML and handed to the physics readers and writers.
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
