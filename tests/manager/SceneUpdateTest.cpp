#include "SceneTestSupport.h"

#include "framework/math/zRandom.h"
#include "script/SqSafePtr.h"

#include <cmath>
#include <cstring>

namespace {

// Native "Name(handle)": the managed item's name ("?" for a stale or null handle).
SQInteger Name(HSQUIRRELVM v)
{
    zMItem* item = nullptr;
    if (!SqGetSafePtr(v, 2, &item, 0))
        return sq_suspendvm(v);
    const int32_t kind = SqGetSafePtrType(v, 2);
    if (kind == SqPtrScene) {
        sq_pushstring(v, "scene", -1);
        return 1;
    }
    sq_pushstring(v, item != nullptr && item->GetName().Get() != nullptr ? item->GetName().Get() : "?", -1);
    return 1;
}

zScene* killerScene = nullptr;

// Native "Drop(name)": deletes the item of that name (deferred).
SQInteger Drop(HSQUIRRELVM v)
{
    const SQChar* name = nullptr;
    sq_getstring(v, 2, &name);
    if (killerScene != nullptr)
        killerScene->DeleteItem(killerScene->Find(name));
    return 0;
}

// Native "Kill(name)": destroys the item of that name at once.
SQInteger Kill(HSQUIRRELVM v)
{
    const SQChar* name = nullptr;
    sq_getstring(v, 2, &name);
    if (killerScene != nullptr)
        killerScene->DestroyItem(killerScene->Find(name));
    return 0;
}

const char* const Scripts = R"(
class World {
  function OnSetup(s) { print("scene setup " + Name(s)); }
  function OnReset(s) { print("scene reset"); }
  function OnUpdate(s) { print("scene update"); }
  function OnRenderDone(s) { print("scene render done"); }
  function OnRenderUI(s) { print("scene render ui"); }
  function OnDelete(s) { print("scene delete"); }
}
class Walker {
  function OnSetup(i) { print("setup " + Name(i)); }
  function OnReset(i) { print("reset " + Name(i)); }
  function OnUpdate(i) { print("update " + Name(i)); }
  function OnLogicUpdate(i, period) { print("logic " + Name(i) + " " + period); }
  function OnTrigger(i, t) { print("trigger " + Name(i) + " in " + Name(t)); }
  function OnDelete(i) { print("delete " + Name(i)); }
}
class Toucher {
  function OnCollision(i, other) { print("collision " + Name(i) + " with " + Name(other)); }
}
class Feeler {
  function OnCollisionEx(i, other, contact, first) {
    print("collisionex " + Name(i) + " with " + Name(other) + " count " + contact.count + " first " + first
          + " normals " + contact.n.len() + " p0 " + (contact.p[0] instanceof Vector));
  }
}
class Stepper {
  function OnPhysicStep(i, stepped) { print("step " + Name(i) + " " + stepped); }
  function OnPhysicSleepStep(i) { print("sleep " + Name(i)); }
}
class Killer {
  function OnUpdate(i) { print("update " + Name(i)); Kill("victim"); Kill(Name(i)); }
  function OnLogicUpdate(i, period) { print("logic " + Name(i)); }
  function OnCollision(i, other) { print("collision " + Name(i)); Kill(Name(other)); }
}
class Dropper {
  function OnUpdate(i) { print("update " + Name(i)); Drop("victim"); }
}
class Logic {
  function OnLogicUpdate(i, period) { print("logic " + Name(i)); }
}
)";

std::string Script(const char* className)
{
    return "<ScriptUnit=<Script=\"scripts.nut\"><Class=\"" + std::string(className) + "\">>";
}

std::string Box(float sx, float sy, float sz, float mass)
{
    return "<GColItem=<Active><Shapes=<GColShape=<Active><Type=\"Cuboid\"><Dimensions=<X=" + std::to_string(sx) +
           "><Y=" + std::to_string(sy) + "><Z=" + std::to_string(sz) + ">><Mass=" + std::to_string(mass) + ">>>>";
}

std::string At(float x, float y, float z)
{
    return "<Position=<X=" + std::to_string(x) + "><Y=" + std::to_string(y) + "><Z=" + std::to_string(z) + ">>";
}

class SceneUpdate : public SceneFixture {
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        Register("Name", Name, ".u");
        Register("Kill", Kill, ".s");
        Register("Drop", Drop, ".s");
        dir.Write("scripts.nut", Scripts);
    }
    size_t CountScript(const std::string& prefix, size_t from = 0) const
    {
        size_t n = 0;
        for (const std::string& line : ScriptLines(from))
            n += line.rfind(prefix, 0) == 0;
        return n;
    }
};

TEST_F(SceneUpdate, CallbacksComeInTheFrameOrder)
{
    const std::string items = ItemTag("MCamera", "eye", 0) +
                              ItemTag("MObject", "walker", 1, Script("Walker"), At(5, 0, 0)) +
                              ItemTag("Trigger", "gate", 2, "", At(5, 0, 0));
    ASSERT_TRUE(ReadScene("order.zml", SceneText(items, " " + Script("World") + "\n")));
    scene->FindObject("walker")->logicFrequency = 1000.0f;
    scene->Setup(true, 1024);
    scene->Reset();
    EXPECT_EQ(ScriptLines(), (std::vector<std::string>{"setup walker", "scene setup scene", "reset walker",
                                                        "scene reset"}));
    const size_t mark = Lines().size();
    GlobalFrameDelta = 20;
    scene->Update(zScene::UpdateAll);
    scene->RenderSetup(zScene::RenderFlagClear);
    scene->RenderToQueue(0);
    scene->RenderUI(0);
    std::vector<std::string> lines = ScriptLines(mark);
    // The logic update runs at 1000 Hz: twice in 2 ms, or three times.
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "scene update");
    EXPECT_EQ(lines[1], "trigger walker in gate");
    EXPECT_EQ(lines[2], "update walker");
    EXPECT_EQ(lines[3], "logic walker 0.001");
    EXPECT_EQ(lines[lines.size() - 2], "scene render done");
    EXPECT_EQ(lines.back(), "scene render ui");

    const size_t end = Lines().size();
    scene.reset();
    EXPECT_EQ(ScriptLines(end), (std::vector<std::string>{"scene delete", "delete walker"}));
}

TEST_F(SceneUpdate, NoCurrentCameraSkipsTheFrame)
{
    ASSERT_TRUE(ReadScene("blind.zml", SceneText(ItemTag("MObject", "walker", 0, Script("Walker")),
                                                 " " + Script("World") + "\n")));
    Start(166);
    ASSERT_EQ(scene->currentCamera, nullptr);
    const size_t mark = Lines().size();
    scene->Update(zScene::UpdateAll);
    EXPECT_TRUE(ScriptLines(mark).empty());
}

struct RateCase {
    const char* name;
    float frequency;
    int32_t frameTicks;
    int frames;
    int low, high;
};

void PrintTo(const RateCase& c, std::ostream* out)
{
    *out << c.name;
}

class SceneLogicRate : public SceneUpdate, public ::testing::WithParamInterface<RateCase> {};

TEST_P(SceneLogicRate, RunsAtTheItemsOwnFrequency)
{
    const RateCase& c = GetParam();
    ASSERT_TRUE(ReadScene("rate.zml", SceneText(ItemTag("MCamera", "eye", 0) +
                                                ItemTag("MObject", "thinker", 1, Script("Logic")))));
    scene->FindObject("thinker")->logicFrequency = c.frequency;
    Start(c.frameTicks);
    const size_t mark = Lines().size();
    for (int i = 0; i < c.frames; ++i)
        scene->Update(zScene::UpdateAll);
    const int calls = int(CountScript("logic thinker", mark));
    EXPECT_GE(calls, c.low);
    EXPECT_LE(calls, c.high);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, SceneLogicRate,
    ::testing::Values(
        // 15 Hz with frames of 0.1 s: 15 calls a second, one or two a frame.
        RateCase{"FifteenHertz", 15.0f, 1000, 30, 44, 46},
        // Frames above 0.2 s count as 0.2 s.
        RateCase{"LongFramesAreClamped", 10.0f, 50000, 10, 19, 21},
        // A frequency of 0 updates every 10 s instead of never.
        RateCase{"ZeroFrequencyEveryTenSeconds", 0.0f, 2000, 100, 2, 3},
        // A negative frame time counts as none.
        RateCase{"NegativeFramesStandStill", 15.0f, -1000, 10, 0, 1}),
    [](const ::testing::TestParamInfo<RateCase>& info) { return std::string(info.param.name); });

TEST_F(SceneUpdate, CommandsAdvanceByTheClampedFrame)
{
    ASSERT_TRUE(ReadScene("cmd.zml", SceneText(ItemTag("MCamera", "eye", 0) + ItemTag("MObject", "box", 1))));
    Start(50000);
    zMObject* box = scene->FindObject("box");
    ASSERT_GE(scene->commandManager.LoadACECommandList("offsetposition 1.0, 10, 0, 0;", box), 1);
    scene->Update(zScene::UpdateAll);
    EXPECT_NEAR(box->object.position.x, 2.0f, 1e-4f);
    ASSERT_GE(scene->commandManager.LoadACECommandList("toalpha 1.0, 0.5;", box), 1);
    GlobalFrameDelta = 1000;
    scene->Update(zScene::UpdateAll);
    EXPECT_NEAR(box->object.alpha, 1.0f - 0.5f * 0.1f, 1e-4f);
}

TEST_F(SceneUpdate, CollisionCallbacksChooseTheirFormPerItem)
{
    const std::string items = ItemTag("MCamera", "eye", 0) +
                              ItemTag("MObject", "a", 1, Box(1, 1, 1, 1) + Script("Toucher"), At(0, 0, 0)) +
                              ItemTag("MObject", "b", 2, Box(1, 1, 1, 1) + Script("Feeler"), At(0.5f, 0, 0));
    ASSERT_TRUE(ReadScene("touch.zml", SceneText(items)));
    Start(166);
    const size_t mark = Lines().size();
    scene->Update(zScene::UpdateAll & ~zScene::UpdateCollisionBit);
    EXPECT_EQ(CountScript("collision", mark), 0u);

    const size_t second = Lines().size();
    scene->Update(zScene::UpdateAll);
    const std::vector<std::string> lines = ScriptLines(second);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("collision a with b", 0) == 0 || lines[1].rfind("collision a with b", 0) == 0, true);
    const std::string& ex = lines[0].rfind("collisionex", 0) == 0 ? lines[0] : lines[1];
    EXPECT_EQ(ex.rfind("collisionex b with a count ", 0), 0u) << ex;
    // Whichever of the two the table holds first, the table's own flag tells it.
    EXPECT_NE(ex.find(" p0 true"), std::string::npos) << ex;
}

// The collision world keeps only the pairs a callback or the separation pass
// reads: three rigid boxes overlapping in the air, one of them listening or none.
TEST_F(SceneUpdate, OnlyPairsThatSomethingReadsAreKept)
{
    for (const bool listening : {false, true}) {
        SCOPED_TRACE(listening ? "a listens" : "nobody listens");
        const std::string rigid = "<TauItem=<Mode=<Rigid>>>";
        const std::string items =
            ItemTag("MCamera", "eye", 0) +
            ItemTag("MObject", "a", 1, Box(1, 1, 1, 1) + rigid + (listening ? Script("Toucher") : ""), At(0, 5, 0)) +
            ItemTag("MObject", "b", 2, Box(1, 1, 1, 1) + rigid, At(0.5f, 5, 0)) +
            ItemTag("MObject", "c", 3, Box(1, 1, 1, 1) + rigid, At(0.25f, 5.2f, 0));
        scene = std::make_unique<zScene>(&core, &master);
        ASSERT_TRUE(ReadScene("air.zml", SceneText(items)));
        Start(166);
        scene->physics.clock = [] { return uint32_t(1); };
        // Without the collision bit the table keeps what the steps found.
        scene->Update(zScene::UpdateAll & ~zScene::UpdateCollisionBit);
        const GColPairTable& table = scene->collision.GetPairTable();
        GColItem* a = &scene->FindObject("a")->collisionItem;
        GColItem* b = &scene->FindObject("b")->collisionItem;
        GColItem* c = &scene->FindObject("c")->collisionItem;
        EXPECT_EQ(table.GetCount(), listening ? 2u : 0u);
        EXPECT_EQ(table.Find(a, b) != nullptr, listening);
        EXPECT_EQ(table.Find(a, c) != nullptr, listening);
        EXPECT_EQ(table.Find(b, c), nullptr);
        EXPECT_EQ(b->touching, 1) << "the flags do not need the pairs";
        EXPECT_EQ(c->touching, 1);
    }
}

TEST_F(SceneUpdate, PhysicStepsReachTheBodysItem)
{
    const std::string items =
        ItemTag("MCamera", "eye", 0) +
        ItemTag("MObject", "faller", 1, Box(1, 1, 1, 1) + "<TauItem=<Mode=<Rigid>>>" + Script("Stepper"), At(0, 10, 0));
    ASSERT_TRUE(ReadScene("fall.zml", SceneText(items, " <Tau=<Frequency=100>>\n")));
    Start(500);
    scene->physics.clock = [] { return uint32_t(1); };
    const size_t mark = Lines().size();
    scene->Update(zScene::UpdateAll);
    const size_t steps = CountScript("step faller true", mark);
    EXPECT_GE(steps, 5u);
    EXPECT_LE(steps, 6u);
    const float y = scene->FindObject("faller")->object.position.y;
    EXPECT_LT(y, 10.0f);
    EXPECT_GT(y, 9.0f);
}

TEST_F(SceneUpdate, SeparationPushesOverlappingItemsApart)
{
    // a weighs 1, b 3: a takes a quarter of the correction, b three quarters,
    // in opposite directions; the static wall (mass 0) never moves and the
    // box against it takes the whole correction.
    const std::string items = ItemTag("MCamera", "eye", 0) +
                              ItemTag("MObject", "a", 1, Box(1, 1, 1, 1), At(0, 0, 0)) +
                              ItemTag("MObject", "b", 2, Box(1, 1, 1, 3), At(0.8f, 0, 0)) +
                              ItemTag("MObject", "wall", 3, Box(1, 1, 1, 0), At(10, 0, 0)) +
                              ItemTag("MObject", "leaner", 4, Box(1, 1, 1, 1), At(10.6f, 0, 0));
    ASSERT_TRUE(ReadScene("apart.zml", SceneText(items)));
    Start(166);
    scene->Update(zScene::UpdateAll);
    const float ax = scene->FindObject("a")->object.position.x;
    const float bx = scene->FindObject("b")->object.position.x;
    EXPECT_LT(ax, 0.0f);
    EXPECT_GT(bx, 0.8f);
    EXPECT_GE(bx - ax, 1.0f - 1e-3f) << "the two boxes still overlap";
    EXPECT_NEAR(0.0f - ax, (bx - 0.8f) / 3.0f, 1e-3f);
    EXPECT_FLOAT_EQ(scene->FindObject("wall")->object.position.x, 10.0f);
    EXPECT_GE(scene->FindObject("leaner")->object.position.x, 11.0f - 1e-3f);
}

// Runs the falling-boxes scene for a number of frames and returns the
// script lines and the world matrices of every object.
struct RunResult {
    std::vector<std::string> lines;
    std::vector<zMatrix4> poses;
};

class SceneDeterminism : public SceneUpdate {
protected:
    RunResult Run()
    {
        std::string items = ItemTag("MCamera", "eye", 0) +
                            ItemTag("MObject", "floor", 1, Box(20, 1, 20, 0) + Script("Toucher"), At(0, -0.5f, 0));
        for (int i = 0; i < 6; ++i) {
            const std::string name = "crate" + std::to_string(i);
            items += ItemTag("MObject", name.c_str(), 2 + i,
                             Box(1, 1, 1, 1) + "<TauItem=<Mode=<Rigid>>>" + Script("Feeler"),
                             At(float(i % 3) * 0.7f, 1.0f + float(i) * 1.1f, float(i / 3) * 0.3f));
        }
        scene = std::make_unique<zScene>(&core, &master);
        EXPECT_TRUE(ReadScene("boxes.zml", SceneText(items)));
        SeedRandom(7);
        Start(166);
        scene->physics.clock = [] { return uint32_t(1); };
        const size_t mark = Lines().size();
        for (int frame = 0; frame < 180; ++frame)
            scene->Update(zScene::UpdateAll);
        RunResult result;
        result.lines = ScriptLines(mark);
        for (zLinkedListEntry* e = scene->objects.GetFirst(); e != nullptr; e = e->next)
            result.poses.push_back(static_cast<zMObject*>(static_cast<zLinkedListIdEntry*>(e))->object.worldMatrix);
        return result;
    }
};

TEST_F(SceneDeterminism, SameStepsGiveTheSameCallbacksAndPoses)
{
    const RunResult first = Run();
    const RunResult second = Run();
    EXPECT_GT(first.lines.size(), 10u) << "the crates should land and touch";
    EXPECT_EQ(first.lines, second.lines);
    ASSERT_EQ(first.poses.size(), second.poses.size());
    for (size_t i = 0; i < first.poses.size(); ++i)
        EXPECT_EQ(std::memcmp(first.poses[i].m, second.poses[i].m, sizeof(first.poses[i].m)), 0) << i;
    // The crates fell and came to rest above the floor, not through it.
    for (size_t i = 1; i < first.poses.size(); ++i)
        EXPECT_GT(first.poses[i].m[7], 0.0f) << i;
    EXPECT_LT(first.poses.back().m[7], 6.5f - 1.0f) << "the top crate never fell";
}

TEST_F(SceneUpdate, ItemsDeletedDuringTheFrameAreGoneAtItsEnd)
{
    ASSERT_TRUE(ReadScene("gone.zml", SceneText(ItemTag("MCamera", "eye", 0) +
                                                ItemTag("MObject", "walker", 1, Script("Walker")) +
                                                ItemTag("MObject", "other", 2, Script("Walker")))));
    Start(166);
    zMItem* walker = scene->Find("walker");
    EXPECT_TRUE(scene->DeleteItem(walker));
    EXPECT_TRUE(scene->DeleteItem(walker));
    EXPECT_EQ(scene->deletionQueue.size(), 1u);
    EXPECT_FALSE(walker->IsActive());
    EXPECT_EQ(scene->Find("walker"), walker);
    const size_t mark = Lines().size();
    scene->Update(zScene::UpdateAll);
    EXPECT_EQ(CountScript("update walker", mark), 0u);
    EXPECT_EQ(CountScript("update other", mark), 1u);
    EXPECT_EQ(CountScript("delete walker", mark), 1u);
    EXPECT_EQ(scene->FindObject("walker"), nullptr);
    EXPECT_TRUE(scene->deletionQueue.empty());

    scene->keepDeletionQueue = 1;
    scene->DeleteItem(scene->Find("other"));
    scene->Update(zScene::UpdateAll);
    EXPECT_NE(scene->FindObject("other"), nullptr);
    scene->FlushDeletionQueue();
    EXPECT_EQ(scene->FindObject("other"), nullptr);
}

TEST_F(SceneUpdate, ItemsDestroyedByScriptsMidFrameAreSkipped)
{
    const std::string items = ItemTag("MCamera", "eye", 0) +
                              ItemTag("MObject", "killer", 1, Script("Killer")) +
                              ItemTag("MObject", "victim", 2, Script("Walker")) +
                              ItemTag("MObject", "a", 3, Box(1, 1, 1, 1) + Script("Killer"), At(20, 0, 0)) +
                              ItemTag("MObject", "b", 4, Box(1, 1, 1, 1) + Script("Killer"), At(20.5f, 0, 0));
    ASSERT_TRUE(ReadScene("kill.zml", SceneText(items)));
    killerScene = scene.get();
    Start(166);
    const size_t mark = Lines().size();
    scene->Update(zScene::UpdateAll);
    scene->Update(zScene::UpdateAll);
    killerScene = nullptr;
    EXPECT_EQ(CountScript("update victim", mark), 0u);
    EXPECT_EQ(CountScript("logic killer", mark), 0u);
    EXPECT_EQ(scene->FindObject("killer"), nullptr);
    EXPECT_EQ(scene->FindObject("victim"), nullptr);
    EXPECT_EQ(scene->objects.GetCount(), 0);
}

TEST_F(SceneUpdate, SleepingBodiesHearTheirOwnStep)
{
    const std::string items =
        ItemTag("MCamera", "eye", 0) + ItemTag("MObject", "floor", 1, Box(20, 1, 20, 0), At(0, -0.5f, 0)) +
        ItemTag("MObject", "rester", 2, Box(1, 1, 1, 1) + "<TauItem=<Mode=<Rigid>>>" + Script("Stepper"), At(0, 0.5f, 0)) +
        ItemTag("MObject", "faller", 3, Box(1, 1, 1, 1) + "<TauItem=<Mode=<Rigid>>>", At(50, 0, 0));
    ASSERT_TRUE(ReadScene("rest.zml", SceneText(items)));
    Start(166);
    // The world steps only while some body is awake: a box with nothing
    // under it falls, and stays awake, for the whole test.
    scene->physics.clock = [] { return uint32_t(1); };
    size_t mark = Lines().size();
    for (int frame = 0; frame < 1800 && CountScript("sleep rester", mark) == 0; ++frame) {
        scene->Update(zScene::UpdateAll);
    }
    ASSERT_GT(CountScript("sleep rester", mark), 0u) << "the resting box never fell asleep";
    // Once asleep, the body gets the sleeping step only.
    mark = Lines().size();
    scene->Update(zScene::UpdateAll);
    EXPECT_EQ(CountScript("step rester", mark), 0u);
    EXPECT_GT(CountScript("sleep rester", mark), 0u);
}

TEST_F(SceneUpdate, AnItemDeletedByAnEarlierScriptGetsNoUpdate)
{
    ASSERT_TRUE(ReadScene("drop.zml", SceneText(ItemTag("MCamera", "eye", 0) +
                                                ItemTag("MObject", "dropper", 1, Script("Dropper")) +
                                                ItemTag("MObject", "victim", 2, Script("Walker")))));
    killerScene = scene.get();
    Start(166);
    const size_t mark = Lines().size();
    scene->Update(zScene::UpdateAll);
    killerScene = nullptr;
    EXPECT_EQ(CountScript("update dropper", mark), 1u);
    EXPECT_EQ(CountScript("update victim", mark), 0u);
    EXPECT_EQ(CountScript("delete victim", mark), 1u);
    EXPECT_EQ(scene->FindObject("victim"), nullptr);
}

} // namespace
