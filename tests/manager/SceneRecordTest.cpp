#include "manager/SceneTestSupport.h"

#include "core/GeometryTestSupport.h"
#include "manager/scene/zSceneRecord.h"

#include <cstring>

namespace {

zVector Translation(const zMItem* item)
{
    return item->GetCoreItem()->worldMatrix.GetRow(3);
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
