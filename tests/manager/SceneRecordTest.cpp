#include "manager/SceneTestSupport.h"

#include "core/GeometryTestSupport.h"
#include "manager/scene/zSceneRecord.h"
#include "ui/zWindow.h"

#include <cstring>

namespace {

zVector Translation(const zMItem* item)
{
    return item->GetCoreItem()->worldMatrix.GetRow(3);
}

// Where the window's origin lands in scene units: the translation of its world matrix.
std::pair<float, float> Origin(const zWindow* window)
{
    return {window->worldMatrix.m[2], window->worldMatrix.m[5]};
}

float LittleEndianFloat(const uint8_t* at)
{
    const uint32_t bits = uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

} // namespace

TEST(SceneRecordSampleTest, EntriesGrowTheBufferInSteps)
{
    zSceneRecordSample sample;
    uint8_t* first = sample.Lock(7, 10);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(sample.capacity, zSceneRecordSample::GrowthStep);
    std::memset(first, 0xAB, 10);
    sample.Unlock();
    EXPECT_EQ(sample.used, 18u);
    // Exactly the room left fits without growth; one byte more grows by one step.
    const uint32_t room = sample.capacity - sample.used - zSceneRecordSample::HeaderSize;
    ASSERT_NE(sample.Lock(8, room), nullptr);
    sample.Unlock();
    EXPECT_EQ(sample.capacity, zSceneRecordSample::GrowthStep);
    ASSERT_NE(sample.Lock(9, 1), nullptr);
    sample.Unlock();
    EXPECT_EQ(sample.capacity, 2 * zSceneRecordSample::GrowthStep);

    // Entries come back in write order with their contents.
    const uint8_t* entry = nullptr;
    uint32_t at = sample.Read(entry, 0);
    ASSERT_NE(at, 0u);
    EXPECT_EQ(zSceneRecordSample::EntryId(entry), 7u);
    EXPECT_EQ(zSceneRecordSample::EntrySize(entry), 10u);
    EXPECT_EQ(zSceneRecordSample::EntryPayload(entry)[9], 0xAB);
    at = sample.Read(entry, at);
    EXPECT_EQ(zSceneRecordSample::EntryId(entry), 8u);
    at = sample.Read(entry, at);
    EXPECT_EQ(zSceneRecordSample::EntryId(entry), 9u);
    EXPECT_EQ(sample.Read(entry, at), 0u);
}

TEST(SceneRecordSampleTest, ManyEntriesMoveTheBufferFewTimesAndKeepTheirBytes)
{
    // A megabyte of item-sized entries: growing by one step each time would
    // move the buffer (and copy all of it) some 250 times.
    constexpr uint32_t Entries = 5000;
    zSceneRecordSample sample;
    uint32_t moves = 0;
    for (uint32_t i = 0; i < Entries; ++i) {
        const uint32_t before = sample.capacity;
        uint8_t* payload = sample.Lock(zSceneRecordSample::EntryItem, zSceneRecordSample::ItemPayload);
        ASSERT_NE(payload, nullptr);
        for (uint32_t k = 0; k < zSceneRecordSample::ItemPayload; ++k)
            payload[k] = uint8_t(i * 7 + k);
        sample.Unlock();
        if (sample.capacity != before) {
            ++moves;
            EXPECT_EQ(sample.capacity % zSceneRecordSample::GrowthStep, 0u);
        }
    }
    EXPECT_LE(moves, 30u);
    const uint32_t entrySize = zSceneRecordSample::HeaderSize + zSceneRecordSample::ItemPayload;
    EXPECT_EQ(sample.used, Entries * entrySize);
    // Trimmed, it holds what growing by single steps would have held.
    sample.Trim();
    const uint32_t step = zSceneRecordSample::GrowthStep;
    EXPECT_EQ(sample.capacity, (sample.used + step - 1) / step * step);

    const uint8_t* entry = nullptr;
    uint32_t read = 0;
    for (uint32_t at = sample.Read(entry, 0); at != 0; at = sample.Read(entry, at), ++read) {
        ASSERT_EQ(zSceneRecordSample::EntryId(entry), zSceneRecordSample::EntryItem);
        ASSERT_EQ(zSceneRecordSample::EntrySize(entry), zSceneRecordSample::ItemPayload);
        const uint8_t* payload = zSceneRecordSample::EntryPayload(entry);
        for (uint32_t k = 0; k < zSceneRecordSample::ItemPayload; ++k)
            ASSERT_EQ(payload[k], uint8_t(read * 7 + k)) << "entry " << read << " byte " << k;
    }
    EXPECT_EQ(read, Entries);
}

class SceneRecordTest : public SceneFixture {
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        savedClock = GlobalClock;
        camera = scene->AddCamera("eye");
        geometry = zGeometry::New(&core, "box");
        FillTwoTriangles(*geometry);
        a = scene->AddObject("a", geometry);
        b = scene->AddObject("b", geometry);
    }
    void TearDown() override
    {
        GlobalClock = savedClock;
        SceneFixture::TearDown();
    }
    static void MoveTo(zMItem* item, const zVector& position)
    {
        item->GetCoreItem()->position = position;
        item->GetCoreItem()->UpdateWorldMatrix();
    }
    // A snapshot at that many seconds of the engine clock.
    void SnapshotAt(zSceneRecord& record, float seconds)
    {
        GlobalClock = int32_t(seconds * 10000.0f);
        ASSERT_TRUE(scene->SnapshotToRecord(&record));
    }

    int32_t savedClock = 0;
    zMCamera* camera = nullptr;
    zGeometry* geometry = nullptr;
    zMObject* a = nullptr;
    zMObject* b = nullptr;
};

TEST_F(SceneRecordTest, LockingTwiceAndUnlockingNothingAreRefused)
{
    zSceneRecordSample sample;
    const uint8_t* entry = nullptr;
    EXPECT_EQ(sample.Read(entry, 0), 0u);
    EXPECT_EQ(Count("Cannot read from an empty sample."), 1u);
    ASSERT_NE(sample.Lock(1, 4), nullptr);
    EXPECT_EQ(sample.Lock(1, 4), nullptr);
    EXPECT_EQ(Count("Cannot lock a scene sample twice without unlocking first."), 1u);
    sample.Unlock();
    sample.Unlock();
    EXPECT_EQ(Count("Cannot unlock a scene record sample that is not locked."), 1u);
    EXPECT_EQ(sample.used, 12u);
}

TEST_F(SceneRecordTest, ReplayInterpolatesBetweenSamplesAndSkipsDeletedItems)
{
    zSceneRecord record;
    MoveTo(a, {0, 0, 0});
    MoveTo(b, {0, 1, 0});
    SnapshotAt(record, 1.0f);
    MoveTo(a, {10, 0, 0});
    MoveTo(b, {0, 3, 0});
    SnapshotAt(record, 2.0f);
    EXPECT_FLOAT_EQ(record.GetDuration(), 1.0f);
    ASSERT_EQ(record.GetSampleCount(), 2);

    // b is destroyed between recording and replay: its entries are skipped.
    ASSERT_TRUE(scene->DestroyItem(b));
    b = nullptr;
    ASSERT_TRUE(scene->StartReplay(&record));
    EXPECT_EQ(a->GetCoreItem()->frozen, 1);
    ASSERT_TRUE(scene->Replay(&record, 1.5f));
    EXPECT_NEAR(Translation(a).x, 5.0f, 1e-4f);
    // Before the first sample the factor is negative; after the last, the last sample.
    ASSERT_TRUE(scene->Replay(&record, 0.5f));
    EXPECT_NEAR(Translation(a).x, -5.0f, 1e-4f);
    ASSERT_TRUE(scene->Replay(&record, 9.0f));
    EXPECT_NEAR(Translation(a).x, 10.0f, 1e-4f);
    ASSERT_TRUE(scene->Replay(&record, 1.0f));
    EXPECT_NEAR(Translation(a).x, 0.0f, 1e-4f);

    ASSERT_TRUE(scene->EndReplay(&record));
    EXPECT_NEAR(Translation(a).x, 10.0f, 1e-4f);
    EXPECT_EQ(a->GetCoreItem()->frozen, 0);
    EXPECT_EQ(scene->GetReplayRecord(), nullptr);
    EXPECT_FALSE(scene->EndReplay(&record));
    EXPECT_EQ(Count("trying to close a record that wasn't opened for replay."), 1u);
}

TEST_F(SceneRecordTest, ItemThatJumpsIsNotInterpolated)
{
    zSceneRecord record;
    MoveTo(a, {0, 0, 0});
    MoveTo(b, {0, 0, 0});
    SnapshotAt(record, 0.0f);
    MoveTo(a, {250, 0, 0});
    MoveTo(b, {0, 10, 0});
    SnapshotAt(record, 1.0f);
    ASSERT_TRUE(scene->StartReplay(&record));
    ASSERT_TRUE(scene->Replay(&record, 0.5f));
    EXPECT_EQ(Count("Position switch detected."), 1u);
    // a comes before b in the sample: neither is interpolated.
    EXPECT_NEAR(Translation(a).x, 0.0f, 1e-4f);
    EXPECT_NEAR(Translation(b).y, 0.0f, 1e-4f);
    ASSERT_TRUE(scene->EndReplay(&record));
}

TEST_F(SceneRecordTest, ItemsCreatedWhileRecordingAreInactiveBeforeTheyExisted)
{
    zSceneRecord record;
    SnapshotAt(record, 0.0f);
    SnapshotAt(record, 1.0f);
    zMObject* late = scene->AddObject("late", geometry);
    MoveTo(late, {1, 2, 3});
    SnapshotAt(record, 2.0f);
    ASSERT_TRUE(scene->FinalizeRecord(&record));
    EXPECT_EQ(Count("Propagating (probably) runtime created item 'late' to record."), 1u);
    EXPECT_EQ(Count("Finalizing scene record..."), 1u);

    ASSERT_TRUE(scene->StartReplay(&record));
    // Activity comes from the later of the two samples around the time.
    ASSERT_TRUE(scene->Replay(&record, 0.5f));
    EXPECT_FALSE(late->IsActive());
    ASSERT_TRUE(scene->Replay(&record, 2.0f));
    EXPECT_TRUE(late->IsActive());
    EXPECT_NEAR(Translation(late).z, 3.0f, 1e-4f);
    ASSERT_TRUE(scene->EndReplay(&record));
}

// The entries of a sample of many items, and the room it holds: the sample
// ends the size of its bytes rounded up to a step.
TEST_F(SceneRecordTest, SnapshotsAndFinalizingManyItemsKeepEveryEntry)
{
    constexpr int Lights = 400;
    const uint32_t step = zSceneRecordSample::GrowthStep;
    const uint32_t entrySize = zSceneRecordSample::HeaderSize + zSceneRecordSample::ItemPayload;
    zSceneRecord record;
    SnapshotAt(record, 0.0f);
    std::vector<zMItem*> late;
    for (int i = 0; i < Lights; ++i) {
        zMLight* light = scene->AddLight(("lamp" + std::to_string(i)).c_str(), 0, 1.0f);
        ASSERT_NE(light, nullptr);
        MoveTo(light, {float(i), 1, 2});
        late.push_back(light);
    }
    SnapshotAt(record, 1.0f);
    const zSceneRecordSample* last = record.Last();
    ASSERT_EQ(last->used, uint32_t(3 + Lights) * entrySize);
    EXPECT_EQ(last->capacity, (last->used + step - 1) / step * step);

    // Each entry in item order, its UID, placement and activity as the item had them.
    const uint8_t* entry = nullptr;
    size_t index = 0;
    for (uint32_t at = last->Read(entry, 0); at != 0; at = last->Read(entry, at), ++index) {
        ASSERT_LT(index, scene->allItems.size());
        const zMItem* item = scene->allItems[index];
        const uint8_t* payload = zSceneRecordSample::EntryPayload(entry);
        int32_t uid = 0;
        std::memcpy(&uid, payload, 4);
        EXPECT_EQ(uid, item->uid);
        EXPECT_EQ(std::memcmp(payload + 68, item->GetCoreItem()->worldMatrix.m, 64), 0) << "entry " << index;
        EXPECT_EQ(payload[196], 1);
    }
    EXPECT_EQ(index, size_t(3 + Lights));

    // The first sample gets every light, inactive, in the order the second met them.
    ASSERT_TRUE(scene->FinalizeRecord(&record));
    EXPECT_EQ(Count("Propagating (probably) runtime created item 'lamp0' to record."), 1u);
    EXPECT_EQ(Count("Propagating (probably) runtime created item 'lamp399' to record."), 1u);
    const zSceneRecordSample* first = record.First();
    ASSERT_EQ(first->used, uint32_t(3 + Lights) * entrySize);
    EXPECT_EQ(first->capacity, (first->used + step - 1) / step * step);
    index = 0;
    for (uint32_t at = first->Read(entry, 0); at != 0; at = first->Read(entry, at), ++index) {
        if (index < 3)
            continue;
        const zMItem* light = late[index - 3];
        const uint8_t* payload = zSceneRecordSample::EntryPayload(entry);
        int32_t uid = 0;
        std::memcpy(&uid, payload, 4);
        EXPECT_EQ(uid, light->uid);
        EXPECT_EQ(std::memcmp(payload + 68, light->GetCoreItem()->worldMatrix.m, 64), 0) << "entry " << index;
        EXPECT_EQ(payload[196], 0);
    }
    EXPECT_EQ(index, size_t(3 + Lights));
}

TEST_F(SceneRecordTest, MaterialColoursAreReplayedWhileTheMaterialExists)
{
    zSceneRecord record;
    zMaterial* material = geometry->materials[0];
    material->diffuse = {1, 0, 0, 1};
    SnapshotAt(record, 0.0f);
    ASSERT_TRUE(scene->MaterialSnapshotToRecord(&record, material));
    material->diffuse = {0, 1, 0, 1};
    ASSERT_TRUE(scene->StartReplay(&record));
    ASSERT_TRUE(scene->Replay(&record, 0.0f));
    EXPECT_FLOAT_EQ(material->diffuse.r, 1.0f);
    EXPECT_FLOAT_EQ(material->diffuse.g, 0.0f);
    ASSERT_TRUE(scene->EndReplay(&record));

    zSceneRecord empty;
    EXPECT_FALSE(scene->MaterialSnapshotToRecord(&empty, material)) << "no sample to add it to";
}

TEST_F(SceneRecordTest, DeletingTheRecordBeingReplayedEndsTheReplay)
{
    auto record = std::make_unique<zSceneRecord>();
    SnapshotAt(*record, 0.0f);
    ASSERT_TRUE(scene->StartReplay(record.get()));
    ASSERT_EQ(scene->GetReplayRecord(), record.get());
    record.reset();
    EXPECT_EQ(scene->GetReplayRecord(), nullptr);
    EXPECT_EQ(a->GetCoreItem()->frozen, 0);
}

TEST_F(SceneRecordTest, ReplayNeedsACameraAndSamples)
{
    zSceneRecord record;
    ASSERT_TRUE(scene->StartReplay(&record));
    EXPECT_FALSE(scene->Replay(&record, 0.0f)) << "no sample";
    SnapshotAt(record, 0.0f);
    EXPECT_TRUE(scene->Replay(&record, 0.0f));
    scene->currentCamera = nullptr;
    EXPECT_FALSE(scene->Replay(&record, 0.0f));
    ASSERT_TRUE(scene->EndReplay(&record));
}

TEST_F(SceneRecordTest, DropOlderSamplesKeepsTheRecentOnes)
{
    zSceneRecord record;
    SnapshotAt(record, 1.0f);
    SnapshotAt(record, 2.0f);
    SnapshotAt(record, 3.0f);
    GlobalClock = 35000;
    EXPECT_EQ(record.DropOlderSamples(1.0f), 2);
    ASSERT_EQ(record.GetSampleCount(), 1);
    EXPECT_FLOAT_EQ(record.First()->time, 3.0f);
    EXPECT_GT(record.GetMemoryFootprint(), uint64_t(zSceneRecordSample::GrowthStep));
}

// Windows of the scene's interface are recorded by their uid: what a window
// entry holds, byte for byte.
TEST_F(SceneRecordTest, WindowEntriesHoldUidPlacementOpacityAndShown)
{
    auto* parentWindow = new zWindow(&scene->ui, nullptr, 1, "parent");
    auto* child = new zWindow(&scene->ui, parentWindow, 2, "child");
    auto* excluded = new zWindow(&scene->ui, nullptr, 3, "excluded");
    excluded->excludeFromRecord = 1;
    parentWindow->SetPosition(100.0f, 40.0f);
    parentWindow->shown = 0;
    child->SetPosition(5.0f, 6.0f);
    child->SetScale(2.0f, 3.0f);
    child->SetOpacity(0.5f);
    zSceneRecord record;
    SnapshotAt(record, 1.0f);

    struct Expected {
        const zWindow* window;
        float world[9];
        float opacity;
        uint8_t shown;
    };
    // The child's placement goes through its parent; a hidden parent hides it.
    const Expected expected[] = {
        {parentWindow, {1, 0, 100, 0, 1, 40, 0, 0, 1}, 1.0f, 0},
        {child, {2, 0, 105, 0, 3, 46, 0, 0, 1}, 0.5f, 0},
    };
    size_t found = 0;
    const uint8_t* entry = nullptr;
    for (uint32_t at = record.First()->Read(entry, 0); at != 0; at = record.First()->Read(entry, at)) {
        if (zSceneRecordSample::EntryId(entry) != zSceneRecordSample::EntryWindow)
            continue;
        ASSERT_EQ(zSceneRecordSample::EntrySize(entry), zSceneRecordSample::WindowPayload);
        ASSERT_LT(found, std::size(expected)) << "the excluded window has no entry";
        const Expected& e = expected[found++];
        const uint8_t* payload = zSceneRecordSample::EntryPayload(entry);
        const uint32_t uid = uint32_t(payload[0]) | uint32_t(payload[1]) << 8 | uint32_t(payload[2]) << 16
                             | uint32_t(payload[3]) << 24;
        EXPECT_EQ(uid, e.window->uid);
        for (int i = 0; i < 9; ++i)
            EXPECT_FLOAT_EQ(LittleEndianFloat(payload + 4 + 4 * i), e.world[i]) << e.window->id << " element " << i;
        EXPECT_FLOAT_EQ(LittleEndianFloat(payload + 40), e.opacity);
        EXPECT_EQ(payload[44], e.shown);
        EXPECT_EQ(payload[45] | payload[46] | payload[47], 0);
    }
    EXPECT_EQ(found, std::size(expected));
    EXPECT_NE(parentWindow->uid, child->uid);
    EXPECT_NE(child->uid, 0u);
}

// Replay interpolates a window's world matrix element by element between the
// samples around the time and takes opacity and shown from the later one; a
// window deleted since is skipped, one deleted mid-replay too, and ending the
// replay gives the windows their own placement back.
TEST_F(SceneRecordTest, WindowsReplayTheirPlacementAndSkipDeletedOnes)
{
    auto* panel = new zWindow(&scene->ui, nullptr, 1, "panel");
    auto* gone = new zWindow(&scene->ui, nullptr, 2, "gone");
    auto* loose = new zWindow(&scene->ui, nullptr, 3, "loose");
    loose->excludeFromRecord = 1;
    zSceneRecord record;
    panel->SetPosition(100.0f, 50.0f);
    gone->SetPosition(1.0f, 1.0f);
    SnapshotAt(record, 1.0f);
    panel->SetPosition(300.0f, 250.0f);
    panel->SetRotation(1.5707964f);
    panel->SetOpacity(0.25f);
    panel->shown = 0;
    SnapshotAt(record, 2.0f);

    // The live state differs from both samples.
    panel->SetPosition(10.0f, 20.0f);
    panel->SetRotation(0.0f);
    panel->SetOpacity(1.0f);
    panel->shown = 1;
    loose->SetPosition(7.0f, 8.0f);
    const uint32_t goneUid = gone->uid;
    scene->ui.DeleteWindow(gone);
    auto* late = new zWindow(&scene->ui, nullptr, 4, "late");
    late->SetPosition(33.0f, 44.0f);
    EXPECT_NE(late->uid, goneUid) << "a new window never takes a deleted one's entries";

    ASSERT_TRUE(scene->StartReplay(&record));
    EXPECT_EQ(panel->matrixLocked, 1);
    EXPECT_EQ(loose->matrixLocked, 0);

    struct Case {
        float time;
        float x, y;
        float m0; // rotation blended element by element, not slerped
        float opacity;
        uint8_t shown;
    };
    const Case cases[] = {
        {1.5f, 200.0f, 150.0f, 0.5f, 0.25f, 0},
        {1.25f, 150.0f, 100.0f, 0.75f, 0.25f, 0},
        // Before the first sample the factor is negative.
        {0.5f, 0.0f, -50.0f, 1.5f, 0.25f, 0},
        // After the last sample the last one twice.
        {9.0f, 300.0f, 250.0f, 0.0f, 0.25f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        ASSERT_TRUE(scene->Replay(&record, c.time));
        // Drawing keeps the replayed placement and derives the rest from it.
        panel->Draw(nullptr, true);
        EXPECT_NEAR(Origin(panel).first, c.x, 1e-3f);
        EXPECT_NEAR(Origin(panel).second, c.y, 1e-3f);
        EXPECT_NEAR(panel->worldMatrix.m[0], c.m0, 1e-5f);
        EXPECT_NEAR(panel->inverseWorldMatrix.m[0] * panel->worldMatrix.m[0]
                        + panel->inverseWorldMatrix.m[1] * panel->worldMatrix.m[3],
                    1.0f, 1e-4f);
        EXPECT_FLOAT_EQ(panel->opacity, c.opacity);
        EXPECT_EQ(panel->shown, c.shown);
        // Windows the record does not name stay where they were.
        late->Draw(nullptr, true);
        EXPECT_FLOAT_EQ(Origin(late).first, 33.0f);
        loose->Draw(nullptr, true);
        EXPECT_FLOAT_EQ(Origin(loose).first, 7.0f);
    }

    // A window made after the first sample, named only by later ones, is
    // placed as they say, not blended with a placement it never had.
    ASSERT_TRUE(scene->EndReplay(&record));
    auto* newcomer = new zWindow(&scene->ui, nullptr, 6, "newcomer");
    newcomer->SetPosition(500.0f, 400.0f);
    SnapshotAt(record, 3.0f);
    ASSERT_TRUE(scene->StartReplay(&record));
    ASSERT_TRUE(scene->Replay(&record, 2.5f));
    EXPECT_FLOAT_EQ(Origin(newcomer).first, 500.0f);
    EXPECT_FLOAT_EQ(Origin(newcomer).second, 400.0f);
    EXPECT_FLOAT_EQ(newcomer->worldMatrix.m[8], 1.0f);

    // A window deleted while the replay runs is not touched again.
    auto* second = new zWindow(&scene->ui, nullptr, 5, "second");
    ASSERT_TRUE(scene->SnapshotToRecord(&record));
    scene->ui.DeleteWindow(second);
    ASSERT_TRUE(scene->Replay(&record, 9.0f));

    ASSERT_TRUE(scene->EndReplay(&record));
    EXPECT_EQ(panel->matrixLocked, 0);
    EXPECT_FLOAT_EQ(Origin(panel).first, 10.0f);
    EXPECT_FLOAT_EQ(Origin(panel).second, 20.0f);
    EXPECT_FLOAT_EQ(panel->localMatrix.m[2], 10.0f);
    EXPECT_FLOAT_EQ(panel->worldMatrix.m[0], 1.0f);
}

TEST_F(SceneRecordTest, CollectingTheRecordReleasesTheWindows)
{
    auto* panel = new zWindow(&scene->ui, nullptr, 1, "panel");
    panel->SetPosition(10.0f, 10.0f);
    auto record = std::make_unique<zSceneRecord>();
    SnapshotAt(*record, 0.0f);
    ASSERT_TRUE(scene->StartReplay(record.get()));
    ASSERT_EQ(panel->matrixLocked, 1);
    record.reset();
    EXPECT_EQ(panel->matrixLocked, 0);
    panel->SetPosition(60.0f, 70.0f);
    panel->Draw(nullptr, true);
    EXPECT_FLOAT_EQ(Origin(panel).first, 60.0f);
}
