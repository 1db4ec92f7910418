#include "ItemTestSupport.h"
#include "script/ScriptTestSupport.h"
#include "support/ZmlText.h"

#include "framework/metafile/zMetaTag.h"
#include "script/SqSafePtr.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

FakeScene* currentScene = nullptr;

// Native "Note(item, text)": records the text with what the item still is.
SQInteger Note(HSQUIRRELVM v)
{
    zMItem* item = nullptr;
    if (!SqGetSafePtr(v, 2, &item, SqPtrItem))
        return sq_suspendvm(v);
    const SQChar* text = nullptr;
    sq_getstring(v, 3, &text);
    std::string kind = item == nullptr                           ? "null"
                       : dynamic_cast<zMLight*>(item) != nullptr ? "light"
                       : dynamic_cast<zMObject*>(item) != nullptr ? "object"
                                                                 : "other";
    currentScene->events.push_back(std::string(text) + " " + kind);
    return 0;
}

class ItemScript : public ScriptFixture {
protected:
    void SetUp() override
    {
        ScriptFixture::SetUp();
        Register("Note", Note, "x|tus");
        scene.master = &master;
        currentScene = &scene;
        dir.Write("items.nut",
                  "class Full {\n"
                  "  function OnSetup(item) { Note(item, \"setup\"); }\n"
                  "  function OnLogicUpdate(item) {}\n"
                  "  function OnUpdate(item) {}\n"
                  "  function OnTrigger(item, other) {}\n"
                  "  function OnPhysicStep(item, awake) {}\n"
                  "  function OnPhysicSleepStep(item) {}\n"
                  "  function OnCollision(item, other) {}\n"
                  "  function OnCollisionEx(item, other, contact) {}\n"
                  "  function OnActivate(item, on) { Note(item, on ? \"on\" : \"off\"); }\n"
                  "  function OnDelete(item) { Note(item, \"delete\"); }\n"
                  "}\n"
                  "class Sparse {\n"
                  "  function OnUpdate(item) {}\n"
                  "  function OnCollision(item, other) {}\n"
                  "}\n");
    }
    void TearDown() override { currentScene = nullptr; }

    template <class Kind> std::unique_ptr<Kind> NewItem(const char* name, const char* className)
    {
        auto item = std::make_unique<Kind>(&scene);
        item->id.Assign(name);
        item->script.Script = "items.nut";
        item->script.Class = className;
        return item;
    }

    FakeScene scene;
};

TEST_F(ItemScript, OpensOnceCachesTheSevenCallbacksAndJoinsTheLists)
{
    auto full = NewItem<zMLight>("lamp", "Full");
    auto sparse = NewItem<zTrigger>("gate", "Sparse");
    full->SetupScript();
    full->SetupScript();
    sparse->SetupScript();
    EXPECT_EQ(scene.events, (std::vector<std::string>{"setup light"}));
    for (int32_t c = 0; c < zItemScriptUnit::CallbackCount; ++c) {
        const auto which = zItemScriptUnit::Callback(c);
        EXPECT_TRUE(full->script.HasCallback(which)) << zItemScriptUnit::CallbackNames[c];
        EXPECT_EQ(sparse->script.HasCallback(which), which == zItemScriptUnit::OnUpdate || which == zItemScriptUnit::OnCollision)
            << zItemScriptUnit::CallbackNames[c];
    }
    EXPECT_EQ(scene.logicList, (std::vector<zMItem*>{full.get()}));
    EXPECT_EQ(scene.triggerList, (std::vector<zMItem*>{full.get()}));

    full->script.CloseScriptUnit();
    for (int32_t c = 0; c < zItemScriptUnit::CallbackCount; ++c)
        EXPECT_FALSE(full->script.HasCallback(zItemScriptUnit::Callback(c)));
}

TEST_F(ItemScript, FailedOpenCachesNothingAndCallsNoSetup)
{
    auto missing = NewItem<zMLight>("lamp", "Nowhere");
    missing->SetupScript();
    EXPECT_FALSE(missing->script.IsOpened());
    EXPECT_TRUE(scene.events.empty());
    EXPECT_TRUE(scene.logicList.empty());
    EXPECT_TRUE(log.Contains("Failed to create class instance."));

    // No script at all: nothing happens.
    FakeScene quiet;
    zTrigger plain(&quiet);
    plain.SetupScript();
    EXPECT_FALSE(plain.script.IsOpened());
}

TEST_F(ItemScript, ActivateTellsTheScriptOnlyOnAChange)
{
    auto lamp = NewItem<zMLight>("lamp", "Full");
    lamp->SetupScript();
    lamp->Activate(true, false);
    lamp->Activate(false, false);
    lamp->Activate(false, true);
    lamp->Activate(true, true);
    EXPECT_EQ(scene.events, (std::vector<std::string>{"setup light", "off light", "on light"})) << Text();
}

TEST_F(ItemScript, OnDeleteRunsBeforeTheItemLeavesAndWhileItsKindStands)
{
    auto lamp = NewItem<zMLight>("lamp", "Full");
    auto crate = NewItem<zMObject>("crate", "Full");
    lamp->SetupScript();
    crate->SetupScript();
    scene.events.clear();
    lamp.reset();
    crate.reset();
    EXPECT_EQ(scene.events, (std::vector<std::string>{"delete light", "unregister lamp", "delete object", "unregister crate"}));
}

TEST_F(ItemScript, HandlesOfADeletedItemGoStale)
{
    auto lamp = NewItem<zMLight>("lamp", "Full");
    lamp->SetupScript();
    HSQOBJECT kept;
    sq_resetobject(&kept);
    SqPushSafePtr(v, static_cast<zMItem*>(lamp.get()), SqPtrItem);
    sq_getstackobj(v, -1, &kept);
    sq_addref(v, &kept);
    sq_pop(v, 1);
    lamp.reset();
    sq_pushobject(v, kept);
    EXPECT_FALSE(SqSafePtrIsLive(v, -1));
    sq_pop(v, 1);
    sq_release(v, &kept);
}

TEST_F(ItemScript, ScriptUnitTagTravelsInsideMItem)
{
    auto document = ParseZml("<ZML=1.0>\n<MItem=<Id=\"lamp\"><UId=1>"
                             "<ScriptUnit=<Script=\"items.nut\"><Class=\"Full\">>>\n");
    auto lamp = std::make_unique<zMLight>(&scene);
    ASSERT_TRUE(lamp->zMItem::FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_STREQ(lamp->script.Class.Get(), "Full");
    std::unique_ptr<zMetaTag> written(lamp->zMItem::AsMetaTag());
    EXPECT_EQ(ChildNames(written.get()),
              (std::vector<std::string>{"Id", "UId", "ProxyFlag", "Priority", "ScriptLogicFq", "ScriptUnit", "GColItem",
                                        "TauItem"}));
    auto again = std::make_unique<zMLight>(&scene);
    ASSERT_TRUE(again->zMItem::FromMetaTag(nullptr, written.get()));
    EXPECT_STREQ(again->script.Script.Get(), "items.nut");
    again->SetupScript();
    EXPECT_EQ(scene.events, (std::vector<std::string>{"setup light"}));
}

} // namespace
