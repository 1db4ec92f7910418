#include "SceneTestSupport.h"

#include "physic/dynamics/TauConstraint.h"
#include "script/SqSafePtr.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

std::string DataFile(const std::string& name)
{
    std::ifstream in(std::string(TAVRIN_TEST_DATA) + "/scenes/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SceneItems : public SceneFixture {
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        for (const char* name : {"cube.zml", "world.zml", "house.zml", "self_proxies.zml"})
            dir.Write(name, DataFile(name));
    }
    // Pushes a handle to the object and keeps it in the root table.
    void KeepHandle(const char* slot, void* object, int32_t kind)
    {
        sq_pushroottable(v);
        sq_pushstring(v, slot, -1);
        SqPushSafePtr(v, object, kind, false);
        sq_newslot(v, -3, SQFalse);
        sq_pop(v, 1);
    }
    bool HandleIsLive(const char* slot)
    {
        sq_pushroottable(v);
        sq_pushstring(v, slot, -1);
        sq_get(v, -2);
        const bool live = SqSafePtrIsLive(v, -1);
        sq_pop(v, 2);
        return live;
    }
};

TEST_F(SceneItems, UidsAreGivenOnceAndFoundByUid)
{
    zMObject* a = scene->AddObject("a", nullptr);
    zMObject* b = scene->AddObject("b", nullptr);
    EXPECT_EQ(a->uid, 0);
    EXPECT_EQ(b->uid, 1);
    b->uid = 3;
    EXPECT_EQ(scene->AssignItemUId(b), b);
    EXPECT_EQ(b->uid, 3);
    EXPECT_EQ(scene->nextUid, 2);
    EXPECT_EQ(Count("(Critical error) item 'b' already has an uid (3)."), 1u);
    EXPECT_EQ(scene->FindFromUid(3), b);
    EXPECT_EQ(scene->FindFromUid(1), nullptr);
    EXPECT_EQ(Count("No managed item with UID (1)."), 1u);
    EXPECT_EQ(scene->AssignItemUId(nullptr), nullptr);
}

TEST_F(SceneItems, FindLooksThroughTheKindsInOrder)
{
    zMLight* light = scene->AddLight("twin", 1, 0.5f);
    zMCamera* camera = scene->AddCamera("twin");
    zMObject* parent = scene->AddObject("parent", nullptr);
    zMObject* child = scene->AddObject("twin", nullptr);
    child->object.SetLink(&parent->object);
    EXPECT_EQ(scene->Find("twin"), camera);
    EXPECT_EQ(scene->FindLight("twin"), light);
    EXPECT_EQ(scene->Find("twin", parent), child);
    EXPECT_EQ(scene->Find("nobody", parent), nullptr);
    EXPECT_EQ(Count("No item named 'nobody' in scene. (Being linked to 'parent')"), 1u);

    zMItem* found = nullptr;
    EXPECT_EQ(scene->LocateItem(&light->light, &found), zMItem::KindLight);
    EXPECT_EQ(found, light);
    EXPECT_EQ(scene->LocateItem(nullptr, &found), 0);
    zItem stranger(&core);
    EXPECT_EQ(scene->LocateItem(&stranger, &found), 0);
    EXPECT_EQ(Count("Could not locate any instance of the provided item."), 1u);
}

TEST_F(SceneItems, TheFirstCameraBecomesCurrentAndADestroyedOneIsReplaced)
{
    zMCamera* first = scene->AddCamera("first");
    zMCamera* second = scene->AddCamera("second");
    EXPECT_EQ(scene->currentCamera, &first->camera);
    renderer->camera = &first->camera;
    EXPECT_TRUE(scene->DestroyItem(first));
    EXPECT_EQ(scene->currentCamera, &second->camera);
    EXPECT_EQ(renderer->camera, nullptr);
    EXPECT_TRUE(scene->DestroyItem(second));
    EXPECT_EQ(scene->currentCamera, nullptr);
}

TEST_F(SceneItems, DuplicateCopiesTheItemUnderAFreshUid)
{
    zMObject* parent = scene->AddObject("parent", nullptr);
    zMObject* source = scene->AddObject("crate", nullptr);
    source->object.SetLink(&parent->object);
    source->object.position = zVector(1, 2, 3);
    source->priority = 0.75f;
    zMItem* copy = scene->DuplicateItem(source);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetKind(), zMItem::KindObject);
    EXPECT_EQ(copy->GetName(), "crate");
    EXPECT_NE(copy->uid, source->uid);
    EXPECT_EQ(scene->FindFromUid(copy->uid), copy);
    EXPECT_FLOAT_EQ(static_cast<zMObject*>(copy)->object.position.y, 2.0f);
    EXPECT_FLOAT_EQ(copy->priority, 0.75f);
    EXPECT_EQ(copy->GetCoreItem()->link, &parent->object);
    EXPECT_TRUE(copy->IsActive());
    EXPECT_EQ(scene->objects.GetCount(), 3);
}

TEST_F(SceneItems, DestroyedItemsAndGroupsLeaveNoLiveHandles)
{
    zMObject* object = scene->AddObject("o", nullptr);
    zMLight* light = scene->AddLight("l", 1, 0.5f);
    zGroup* group = scene->AddGroup("g");
    group->Add(object, true);
    KeepHandle("h_object", object, SqPtrItem);
    KeepHandle("h_light", static_cast<zMItem*>(light), SqPtrItem);
    KeepHandle("h_group", group, SqPtrSceneGroup);
    ASSERT_TRUE(HandleIsLive("h_object"));
    scene->DeleteItem(object);
    EXPECT_TRUE(HandleIsLive("h_object")) << "a queued item is still there";
    scene->FlushDeletionQueue();
    EXPECT_FALSE(HandleIsLive("h_object"));
    EXPECT_EQ(group->GetItemCount(), 0);
    EXPECT_TRUE(scene->DestroyItem(light));
    EXPECT_FALSE(HandleIsLive("h_light"));
    EXPECT_TRUE(scene->DeleteGroup(group));
    EXPECT_FALSE(HandleIsLive("h_group"));
}

TEST_F(SceneItems, GroupMembershipAndPlacement)
{
    zMObject* a = scene->AddObject("a", nullptr);
    zMObject* b = scene->AddObject("b", nullptr);
    zMObject* root = scene->AddObject("root", nullptr);
    zGroup* group = scene->AddGroup("g");
    EXPECT_EQ(group->Add(a, true), a);
    EXPECT_EQ(group->Add(a, true), nullptr);
    EXPECT_EQ(Count("Duplicate group member 'a', addition blocked."), 1u);
    EXPECT_EQ(group->Add(a, false), a);
    EXPECT_EQ(group->GetItemCount(), 2);
    EXPECT_TRUE(group->RemoveItem(a));
    EXPECT_TRUE(group->RemoveItem(a));
    EXPECT_FALSE(group->RemoveItem(a));
    group->Add(a, true);
    group->Add(b, true);
    EXPECT_EQ(group->FindItem("b"), b);
    EXPECT_EQ(group->FindItem("z"), nullptr);
    EXPECT_EQ(Count("Could not find item 'z' in group 'g'."), 1u);

    b->object.position = zVector(1, 0, 0);
    b->UpdateTransform();
    zMatrix4 shift = zMatrix4::TranslationMatrix(zVector(0, 5, 0));
    group->OffsetMatrix(shift);
    EXPECT_FLOAT_EQ(b->object.worldMatrix.m[3], 1.0f);
    EXPECT_FLOAT_EQ(b->object.worldMatrix.m[7], 5.0f);

    group->SetRootItem(root);
    EXPECT_EQ(a->object.link, &root->object);
    EXPECT_EQ(b->object.link, &root->object);
    group->SetRootItem(nullptr);
    EXPECT_EQ(a->object.link, nullptr);

    group->SetInvisible(true);
    EXPECT_NE(a->object.flags & zItem::Invisible, 0u);
    group->Activate(false);
    EXPECT_FALSE(a->IsActive());
    EXPECT_FALSE(b->IsActive());
    EXPECT_TRUE(root->IsActive());

    zGroup* other = scene->AddGroup("h");
    other->AddGroupMembers(*group);
    EXPECT_EQ(other->GetItemCount(), 2);
    // Deleting a group queues its members and never touches constraints.
    TauPositionConstraint* constraint = new TauPositionConstraint(&scene->physics, &a->body, &root->body, nullptr, nullptr, 7);
    scene->physics.AddConstraint(constraint);
    group->AddConstraint(constraint, true);
    EXPECT_TRUE(scene->DeleteGroup(group));
    EXPECT_EQ(scene->deletionQueue.size(), 2u);
    EXPECT_EQ(scene->physics.constraints.GetCount(), 1);
    scene->FlushDeletionQueue();
    EXPECT_EQ(other->GetItemCount(), 0);

    // A constraint that dies leaves every group that held it.
    other->AddConstraint(constraint, true);
    EXPECT_EQ(other->AddConstraint(constraint, true), nullptr);
    EXPECT_EQ(other->GetConstraintCount(), 1);
    KeepHandle("h_constraint", constraint, SqPtrPhysicConstraint);
    scene->physics.RemoveConstraint(constraint);
    EXPECT_EQ(other->GetConstraintCount(), 0);
    EXPECT_FALSE(HandleIsLive("h_constraint"));
}

TEST_F(SceneItems, ProxiesInstantiateTheirSceneOnce)
{
    ASSERT_TRUE(scene->FromMetaFileStoreGroup("house.zml", nullptr, zScene::LoadAll, 0));
    scene->Setup(true, 1024);
    // porch: objects only, placed at the proxy; the links to the file's
    // cameras and lights are masked.
    zGroup* porch = scene->FindGroup("porch");
    ASSERT_NE(porch, nullptr);
    EXPECT_EQ(porch->GetItemCount(), 2);
    for (zMItem* item : porch->GetItems())
        EXPECT_EQ(item->GetKind(), zMItem::KindObject);
    zMItem* cube = porch->FindItem("cube");
    ASSERT_NE(cube, nullptr);
    EXPECT_FLOAT_EQ(cube->GetCoreItem()->worldMatrix.m[3], 100.0f);
    EXPECT_FLOAT_EQ(cube->GetCoreItem()->worldMatrix.m[7], 1.0f);
    EXPECT_EQ(scene->FindObject("porch")->proxyLink, porch);
    // attic: every kind, named by its ProxyGroup.
    zGroup* attic = scene->FindGroup("attic_world");
    ASSERT_NE(attic, nullptr);
    EXPECT_EQ(attic->GetItemCount(), 7);
    EXPECT_EQ(attic->GetConstraintCount(), 1);
    // The proxy's own groups take the new members.
    EXPECT_EQ(scene->FindGroup("estate")->GetItemCount(), 3);
    EXPECT_EQ(Count("Proxy item could not spawn 'missing.zml', failed to load file."), 1u);

    const size_t objects = size_t(scene->objects.GetCount());
    scene->Setup(true, 1024);
    EXPECT_EQ(size_t(scene->objects.GetCount()), objects);
    EXPECT_EQ(Count("Proxy item could not spawn 'missing.zml', failed to load file."), 1u);

    // Proxies are never drawn; their content is.
    Start();
    renderer->ResetItemStack();
    scene->RenderToQueue(0);
    const std::vector<std::string> pushed = renderer->Pushed();
    EXPECT_EQ(std::count(pushed.begin(), pushed.end(), "porch"), 0);
    EXPECT_EQ(std::count(pushed.begin(), pushed.end(), "cube"), 2);
}

TEST_F(SceneItems, ProxyRootsItsParametersOnANamedItem)
{
    dir.Write("inner.zml", SceneText(ItemTag("MObject", "target", 0) + ItemTag("MObject", "bare", 1)));
    const std::string proxy =
        "<ProxyScene=\"inner.zml\"><Proxy><ProxyRootParamTo=\"target\">"
        "<ScriptUnit=<ParmList=<Parm=<Id=\"speed\"><Value=2.5>>>>";
    ASSERT_TRUE(ReadScene("outer.zml", SceneText(ItemTag("MObject", "p", 0, proxy) +
                                                 ItemTag("MObject", "q", 1, "<ProxyScene=\"inner.zml\"><Proxy><ProxyRootParamTo=\"nobody\">"))));
    scene->Setup(false, 0);
    zGroup* group = scene->FindGroup("p");
    ASSERT_NE(group, nullptr);
    zMItem* target = group->FindItem("target");
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(Count("Proxy 'p' rooting script parameters to non-scripted item 'target'."), 1u);
    // The group lookup reports the missing target, then the proxy says what it could not do.
    const std::vector<std::string> lines = Lines();
    const auto refused = std::find(lines.begin(), lines.end(),
                                   "[!] zMItem::DoProxy proxy 'q' cannot root script parameters to item 'nobody' as it "
                                   "does not exist.");
    ASSERT_NE(refused, lines.end());
    ASSERT_NE(refused, lines.begin());
    EXPECT_EQ(*(refused - 1), "[*] zGroup::FindItem Could not find item 'nobody' in group 'q'.");
    EXPECT_EQ(Count("Could not find item 'target'"), 0u);
    ASSERT_EQ(target->script.GetParameters().GetCount(), 1);
    EXPECT_FLOAT_EQ(static_cast<zScriptParameter*>(target->script.GetParameters().GetFirst())->GetFloat(), 2.5f);
}

} // namespace

namespace {

TEST_F(SceneItems, AProxyOfItsOwnFileStopsAtTheDepthLimit)
{
    ASSERT_TRUE(ReadScene("self.zml", SceneText(ItemTag("MCamera", "eye", 0) +
                                                ItemTag("MObject", "again", 1, "<Proxy><ProxyScene=\"self.zml\"><ProxyFlag=-1>"))));
    scene->Setup(false, 0);
    // The file's two items, once per level.
    EXPECT_EQ(scene->allItems.size(), size_t(2 * (zScene::MaxProxyDepth + 1)));
    EXPECT_EQ(Count("proxies deep, 'self.zml' not instantiated."), 1u);
}

// Four self-proxies per level would make 87,380 items within the depth
// bound; the items bound stops them and the rest of the scene stays.
TEST_F(SceneItems, ProxiesOfOneSetupStopAtTheItemsBound)
{
    ASSERT_TRUE(ReadScene("top.zml", SceneText(ItemTag("MCamera", "eye", 0) + ItemTag("MObject", "floor", 1) +
                                               ItemTag("MObject", "porch", 2, "<Proxy><ProxyScene=\"world.zml\">") +
                                               ItemTag("MObject", "swarm", 3,
                                                       "<Proxy><ProxyScene=\"self_proxies.zml\">"))));
    ASSERT_TRUE(scene->collision.SAP_Allocate(zScene::MaxProxyItems + 64));
    Start();
    const size_t created = scene->allItems.size() - 4;
    EXPECT_LE(created, size_t(zScene::MaxProxyItems));
    EXPECT_GT(created, size_t(zScene::MaxProxyItems - 4));
    const std::string refused = "would create more than " + std::to_string(zScene::MaxProxyItems) +
                                " items through proxies in one set-up, 'self_proxies.zml' not instantiated.";
    EXPECT_EQ(Count(refused), 1u);
    EXPECT_EQ(Count("[!] zMItem::DoProxy Proxy item 'p"), 1u);
    // The proxies left over (those past the bound and those nested too deep)
    // are summed up in one line.
    EXPECT_EQ(Count("more proxies not instantiated, past the bounds of one set-up."), 1u);
    EXPECT_EQ(Count("proxies deep"), 0u);

    // What was read before stays and runs.
    ASSERT_NE(scene->FindCamera("eye"), nullptr);
    ASSERT_NE(scene->FindObject("floor"), nullptr);
    zGroup* porch = scene->FindGroup("porch");
    ASSERT_NE(porch, nullptr);
    EXPECT_EQ(porch->GetItemCount(), 2);
    zMItem* cube = porch->FindItem("cube");
    ASSERT_NE(cube, nullptr);
    EXPECT_FLOAT_EQ(cube->GetCoreItem()->worldMatrix.m[7], 1.0f);
    const size_t items = scene->allItems.size();
    scene->Setup(false, 0);
    EXPECT_EQ(scene->allItems.size(), items);
}

} // namespace
