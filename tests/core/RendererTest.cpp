#include "CoreTestSupport.h"
#include "SlotOrder.h"
#include "support/LogCapture.h"

#include "core/camera/zCamera.h"
#include "core/geometry/zGeometry.h"
#include "core/geometry/zGeometryOctree.h"
#include "core/object/zObject.h"
#include "core/render/zNullRenderer.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "framework/math/zMinMax.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

TEST(RendererInterfaceTest, FortyThreeOperationsInTheirSlotOrderWithTheDestructorLast)
{
    const ptrdiff_t slots[] = {
        SlotOf(&zRenderer::ApplyCamera),
        SlotOf(&zRenderer::BeginFrame),
        SlotOf(&zRenderer::EndFrame),
        SlotOf(&zRenderer::GetName),
        SlotOf(&zRenderer::GetDescription),
        SlotOf(&zRenderer::GetVersion),
        SlotOf(&zRenderer::OpenVideo),
        SlotOf(&zRenderer::CloseVideo),
        SlotOf(&zRenderer::ResizeOutput),
        SlotOf(&zRenderer::ReservedA),
        SlotOf(&zRenderer::UpdateClientSize),
        SlotOf(&zRenderer::GetWindowHandle),
        SlotOf(&zRenderer::SetupAdditionalWindow),
        SlotOf(&zRenderer::SetOutputWindow),
        SlotOf(&zRenderer::ReleaseAdditionalWindow),
        SlotOf(&zRenderer::RenderQueue),
        SlotOf(&zRenderer::Present),
        SlotOf(&zRenderer::LoadShader),
        SlotOf(&zRenderer::FreeShader),
        SlotOf(&zRenderer::Clear),
        SlotOf(&zRenderer::CopyFramebufferToTexture),
        SlotOf(&zRenderer::SetRenderTarget),
        SlotOf(&zRenderer::Line3D),
        SlotOf(&zRenderer::DrawTriangle),
        SlotOf(&zRenderer::Write),
        SlotOf(&zRenderer::SetupGeometry),
        SlotOf(&zRenderer::FreeGeometry),
        SlotOf(&zRenderer::UpdateGeometry),
        SlotOf(&zRenderer::SetupTexture),
        SlotOf(&zRenderer::LoadTextureContent),
        SlotOf(&zRenderer::FreeTexture),
        SlotOf(&zRenderer::UpdateTexture),
        SlotOf(&zRenderer::SetupMaterial),
        SlotOf(&zRenderer::FreeMaterial),
        SlotOf(&zRenderer::UpdateMaterial),
        SlotOf(&zRenderer::SetupLight),
        SlotOf(&zRenderer::FreeLight),
        SlotOf(&zRenderer::UpdateLight),
        SlotOf(&zRenderer::SetViewMatrix),
        SlotOf(&zRenderer::SetProjectionMatrix),
        SlotOf(&zRenderer::SetModelMatrix),
        SlotOf(&zRenderer::SetViewport),
    };
    for (ptrdiff_t i = 0; i < ptrdiff_t(std::size(slots)); ++i)
        EXPECT_EQ(slots[i], i) << "operation " << i;

    // A virtual added by a subclass lands after the destructor's two entries,
    // so nothing but the destructor follows the 42 operations.
    struct Probe : RecordingRenderer {
        using RecordingRenderer::RecordingRenderer;
        virtual void Extra() {}
    };
    EXPECT_EQ(SlotOf(&Probe::Extra), 44);
}

TEST(NullRendererTest, AcceptsEveryCallAndReportsSuccess)
{
    Tavrin core;
    zRenderer* r = core.renderer;
    EXPECT_STREQ(r->GetName(), "Null Renderer.");
    EXPECT_STREQ(r->GetDescription(), "A null renderer that renders nothing.");
    EXPECT_STREQ(r->GetVersion(), "0.0");
    EXPECT_EQ(r->videoOpen, 0);
    EXPECT_EQ(r->videoClosed, 1);
    EXPECT_TRUE(r->OpenVideo(640, 480, 32, false));
    EXPECT_EQ(r->videoOpen, 1);
    EXPECT_EQ(r->videoClosed, 0);
    EXPECT_TRUE(r->ResizeOutput(320, 200));
    EXPECT_TRUE(r->SetupAdditionalWindow(nullptr, nullptr));
    EXPECT_TRUE(r->SetupGeometry(nullptr));
    EXPECT_TRUE(r->SetupTexture(nullptr));
    EXPECT_FALSE(r->LoadTextureContent(nullptr, "a.tga"));
    EXPECT_TRUE(r->SetupMaterial(nullptr));
    EXPECT_TRUE(r->SetupLight(nullptr));
    EXPECT_EQ(r->LoadShader("s", "v", "p"), nullptr);
    EXPECT_EQ(r->GetWindowHandle(), nullptr);
    r->CloseVideo();
    EXPECT_EQ(r->videoOpen, 0);
    EXPECT_EQ(r->videoClosed, 1);
    EXPECT_EQ(r->itemStackCapacity, 0) << "the null renderer never allocates a stack";
}

// An object whose bounds are a box around its own origin, as a mesh object's are.
class BoxObject : public zObject {
public:
    BoxObject(Tavrin* core, zGeometry* g, const zVector& at, float half = 1.0f) : zObject(core), halfSize(half)
    {
        geometry = g;
        position = at;
        UpdateWorldMatrix();
    }
    void GetMinMax(zMinMax& out) override
    {
        out.min = zVector(-halfSize, -halfSize, -halfSize);
        out.max = zVector(halfSize, halfSize, halfSize);
    }
    float halfSize;
};

class ItemStackTest : public ::testing::Test {
protected:
    ItemStackTest() : renderer(&core, true), geometry(&core, "mesh")
    {
        geometry.rendererData = &geometry;
        renderer.AllocateItemStack(16);
    }

    std::unique_ptr<BoxObject> Make(const zVector& at, zGeometry* g = nullptr)
    {
        return std::make_unique<BoxObject>(&core, g != nullptr ? g : &geometry, at);
    }

    Tavrin core;
    RecordingRenderer renderer;
    zGeometry geometry;
};

TEST_F(ItemStackTest, PushTakesOnlyVisibleObjectsWithARenderableGeometryButCountsEveryCall)
{
    auto shown = Make({0, 0, 1});
    auto hidden = Make({0, 0, 2});
    hidden->flags |= zItem::Invisible;
    auto bare = Make({0, 0, 3});
    bare->geometry = nullptr;
    zGeometry notSetUp(&core, "raw");
    auto raw = Make({0, 0, 4}, &notSetUp);
    zGeometry split(&core, "split");
    split.octree = new zGeometryOctree(&core);
    auto octree = Make({0, 0, 5}, &split);

    for (zObject* o : {static_cast<zObject*>(shown.get()), static_cast<zObject*>(hidden.get()),
                       static_cast<zObject*>(bare.get()), static_cast<zObject*>(raw.get()),
                       static_cast<zObject*>(octree.get())})
        renderer.PushObject(o);
    renderer.PushObject(nullptr);

    EXPECT_EQ(renderer.statistics[zRenderer::StatObjectsSent], 6u);
    ASSERT_EQ(renderer.itemStackCount, 2);
    EXPECT_EQ(renderer.itemArray[0].item, shown.get());
    EXPECT_EQ(renderer.itemArray[0].visibility, 1);
    EXPECT_EQ(renderer.itemArray[1].item, octree.get());
    EXPECT_EQ(renderer.sortArray[1].value, 1);
}

TEST_F(ItemStackTest, SortKeysAreViewDepthsOfTheGeometryCentreAndSortAscending)
{
    geometry.centre = zVector(0, 0, 1);
    zCamera camera(&core);
    camera.position = zVector(0, 0, -10);
    camera.UpdateWorldMatrix();
    renderer.camera = &camera;

    std::vector<std::unique_ptr<BoxObject>> objects;
    for (float z : {4.0f, -2.0f, 9.0f, 0.5f})
        objects.push_back(Make({3.0f, -1.0f, z}));
    objects[3]->scale = zVector(4, 4, 4);
    objects[3]->UpdateWorldMatrix();
    for (auto& o : objects)
        renderer.PushObject(o.get());

    // Centre (0, 0, 1) through the object, then 10 in front of the camera.
    const float keys[] = {15.0f, 9.0f, 20.0f, 14.5f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(renderer.sortArray[i].key, keys[i]);
        EXPECT_EQ(renderer.sortArray[i].value, i);
    }
    renderer.SortItemStack();
    const int order[] = {1, 3, 0, 2};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(renderer.sortArray[i].value, order[i]) << "position " << i;
    EXPECT_EQ(renderer.itemArray[2].item, objects[2].get()) << "sorting leaves the item array as pushed";
}

TEST_F(ItemStackTest, WithoutACameraEveryKeyIsZero)
{
    geometry.centre = zVector(0, 0, 1);
    auto a = Make({0, 0, 7});
    auto b = Make({0, 0, -7});
    renderer.PushObject(a.get());
    renderer.PushObject(b.get());
    ASSERT_EQ(renderer.itemStackCount, 2);
    EXPECT_EQ(renderer.sortArray[0].key, 0.0f);
    EXPECT_EQ(renderer.sortArray[1].key, 0.0f);
}

TEST_F(ItemStackTest, AFullStackDropsEachFurtherObjectWithAnErrorUntilReset)
{
    renderer.AllocateItemStack(2048);
    auto object = Make({0, 0, 1});
    LogCapture capture;
    for (int i = 0; i < 2048; ++i)
        renderer.PushObject(object.get());
    EXPECT_TRUE(capture.lines.empty());
    EXPECT_EQ(renderer.itemStackOverflow, 0);
    renderer.PushObject(object.get());
    renderer.PushObject(object.get());
    EXPECT_EQ(renderer.itemStackCount, 2048);
    EXPECT_EQ(renderer.itemStackOverflow, 1);
    ASSERT_EQ(capture.lines.size(), 2u);
    EXPECT_TRUE(capture.Contains("[!] zRenderer::PushObject"));
    EXPECT_TRUE(capture.Contains("Item stack is full! Make more frequent call to CommitDisplay() or increase the "
                                 "display stack size."));

    renderer.ResetItemStack();
    renderer.PushObject(object.get());
    EXPECT_EQ(renderer.itemStackCount, 1);
    EXPECT_EQ(renderer.itemStackCapacity, 2048);
}

TEST_F(ItemStackTest, StackSizesThatCannotBeHeldAreRefusedAndLeaveCapacityZero)
{
    auto object = Make({0, 0, 1});
    renderer.PushObject(object.get());
    for (int32_t count : {-1, zRenderer::MaxItemStackCapacity, INT32_MAX}) {
        LogCapture capture;
        EXPECT_FALSE(renderer.AllocateItemStack(count)) << count;
        EXPECT_TRUE(capture.Contains("[!] zRenderer::AllocateItemStack"));
        EXPECT_EQ(renderer.itemStackCapacity, 0);
        EXPECT_EQ(renderer.itemStackCount, 0);
        EXPECT_EQ(renderer.itemArray, nullptr);
    }
    LogCapture capture;
    renderer.PushObject(object.get());
    EXPECT_TRUE(capture.Contains("Item stack is full!"));
    EXPECT_TRUE(renderer.AllocateItemStack(0));
    EXPECT_EQ(renderer.itemStackCapacity, 0);
}

TEST_F(ItemStackTest, CullingStoresTheFrustumClassOfEachEntry)
{
    // Looking down +z from the origin, 90 degrees wide, 1 to 100 deep.
    renderer.frustum.SetPerspective(1.5707964f, 1.0f, 100.0f, nullptr, 1.0f, 1.0f);
    auto inside = Make({0, 0, 20});
    auto behind = Make({0, 0, -20});
    auto acrossFar = Make({0, 0, 100});
    auto sideways = Make({200, 0, 20});
    auto noGeometry = Make({0, 0, 20});
    for (BoxObject* o : {inside.get(), behind.get(), acrossFar.get(), sideways.get(), noGeometry.get()})
        renderer.PushObject(o);
    noGeometry->geometry = nullptr;

    renderer.CullItemStack(false);
    EXPECT_EQ(renderer.itemArray[0].visibility, FrustumInside);
    EXPECT_EQ(renderer.itemArray[1].visibility, FrustumOutside);
    EXPECT_EQ(renderer.itemArray[2].visibility, FrustumClipped);
    EXPECT_EQ(renderer.itemArray[3].visibility, FrustumOutside);
    EXPECT_EQ(renderer.itemArray[4].visibility, 1) << "skipped: keeps the mark of the push";
}

// A root with two leaves' boxes: one inside the view, one far to the side.
struct TwoNodeOctree {
    explicit TwoNodeOctree(Tavrin* core) : root(new zGeometryOctree(core))
    {
        root->bounds = zMinMax(zVector(-300, -1, 10), zVector(1, 1, 12));
        root->left = new zGeometryOctree(core);
        root->left->parent = root;
        root->left->bounds = zMinMax(zVector(-1, -1, 10), zVector(1, 1, 12));
        root->right = new zGeometryOctree(core);
        root->right->parent = root;
        root->right->bounds = zMinMax(zVector(-300, -1, 10), zVector(-290, 1, 12));
        root->visible = root->left->visible = root->right->visible = -7;
    }
    zGeometryOctree* root;
};

TEST_F(ItemStackTest, CullingMarksTheOctreeOfTheConsideredGeometryOfVisibleObjectsOnly)
{
    renderer.frustum.SetPerspective(1.5707964f, 1.0f, 100.0f, nullptr, 1.0f, 1.0f);
    zGeometry proxy(&core, "shadow");
    TwoNodeOctree own(&core);
    TwoNodeOctree shadow(&core);
    geometry.octree = own.root;
    geometry.shadowProxy = &proxy;
    proxy.octree = shadow.root;

    auto object = Make({0, 0, 0});
    object->halfSize = 5.0f;
    object->position = zVector(0, 0, 11);
    object->UpdateWorldMatrix();
    renderer.PushObject(object.get());

    // The nodes' boxes are in the object's space: moved 11 further away.
    renderer.CullItemStack(true);
    EXPECT_EQ(own.root->visible, -7) << "the shadow proxy is considered";
    EXPECT_EQ(shadow.root->visible, FrustumClipped);
    EXPECT_EQ(shadow.root->left->visible, FrustumInside);
    EXPECT_EQ(shadow.root->right->visible, FrustumOutside);

    renderer.CullItemStack(false);
    EXPECT_EQ(own.root->visible, FrustumClipped);

    // An object outside the view leaves its octree alone.
    own.root->visible = -7;
    object->position = zVector(0, 0, -50);
    object->UpdateWorldMatrix();
    renderer.CullItemStack(false);
    EXPECT_EQ(renderer.itemArray[0].visibility, FrustumOutside);
    EXPECT_EQ(own.root->visible, -7);

    delete own.root;
    delete shadow.root;
    geometry.octree = nullptr;
    proxy.octree = nullptr;
}

TEST(GeometryOctreeTest, NodesUnderAnInsideNodeAreMarkedInsideWithoutATest)
{
    Tavrin core;
    zFrustum frustum;
    frustum.SetPerspective(1.5707964f, 1.0f, 100.0f, nullptr, 1.0f, 1.0f);
    TwoNodeOctree tree(&core);
    tree.root->bounds = zMinMax(zVector(-1, -1, 10), zVector(1, 1, 12));
    tree.root->MarkVisible(frustum, nullptr);
    EXPECT_EQ(tree.root->visible, FrustumInside);
    EXPECT_EQ(tree.root->right->visible, FrustumInside) << "outside by its box, inside by its parent";

    // A root outside: its children keep their stale marks.
    tree.root->left->visible = -7;
    zMatrix4 behind = zMatrix4::TranslationMatrix(zVector(0, 0, -50));
    tree.root->MarkVisible(frustum, &behind);
    EXPECT_EQ(tree.root->visible, FrustumOutside);
    EXPECT_EQ(tree.root->left->visible, -7);
    delete tree.root;
}

// A camera that records what the renderer asks of it.
class RecordingCamera : public zCamera {
public:
    using zCamera::zCamera;
    void GetProjectionMatrix(zMatrix4& out) override
    {
        out.MakeIdentity();
        out.m[0] = 2.0f;
        asked.push_back("projection");
    }
    void ComputeFrustum(zFrustum&, float nearDistance, float farDistance) override
    {
        asked.push_back("frustum " + std::to_string(int(nearDistance)) + " " + std::to_string(int(farDistance)));
    }
    std::vector<std::string> asked;
};

TEST(ApplyCameraTest, TakesTheViewFromTheInverseWorldMatrixThenProjectionAndFrustum)
{
    Tavrin core;
    RecordingRenderer renderer(&core, true);
    renderer.ApplyCamera();
    EXPECT_TRUE(renderer.calls.empty()) << "no camera, nothing to apply";

    RecordingCamera camera(&core);
    camera.position = zVector(1, 2, 3);
    camera.UpdateWorldMatrix();
    renderer.camera = &camera;
    renderer.ApplyCamera();
    EXPECT_EQ((std::vector<std::string>{"SetViewMatrix", "SetProjectionMatrix"}), renderer.calls);
    EXPECT_EQ((std::vector<std::string>{"projection", "frustum -1 -1"}), camera.asked);
    const zVector moved = zVector(1, 2, 3).Transform(renderer.viewMatrix);
    EXPECT_NEAR(moved.x, 0.0f, 1e-6f);
    EXPECT_NEAR(moved.z, 0.0f, 1e-6f);
    EXPECT_EQ(renderer.projection.m[0], 2.0f);
}

TEST(RendererStateTest, FogKeepsNearAtLeastAThousandthAndFarBeyondIt)
{
    Tavrin core;
    zRenderer* r = core.renderer;
    const float red[3] = {1.0f, 0.0f, 0.0f};
    r->SetFog(true, red, 10.0f, 100.0f);
    EXPECT_EQ(r->fogOn, 1);
    EXPECT_EQ(r->fogNear, 10.0f);
    EXPECT_EQ(r->fogFar, 100.0f);
    EXPECT_EQ(r->fogColour[0], 1.0f);
    EXPECT_EQ(r->fogColour[3], 1.0f);

    r->SetFog(false, nullptr, 0.0005f, 5.0f);
    EXPECT_EQ(r->fogOn, 0);
    EXPECT_EQ(r->fogNear, 10.0f) << "a near below 0.001 keeps the previous one";
    EXPECT_FLOAT_EQ(r->fogFar, 10.001f);
    EXPECT_EQ(r->fogColour[0], 1.0f) << "no colour keeps the colour";

    r->SetFog(true, nullptr, 2.0f, 1.0f);
    EXPECT_EQ(r->fogNear, 2.0f);
    EXPECT_FLOAT_EQ(r->fogFar, 2.001f);
}

// A distance that is not a finite number: the fog goes off whatever was
// asked, the colour is taken and the distances stay.
TEST(RendererStateTest, FogWithADistanceThatIsNotFiniteIsOff)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float nearDistance;
        float farDistance;
    } cases[] = {{5.0f, nan}, {nan, 50.0f}, {5.0f, inf}, {inf, 50.0f}, {-inf, 50.0f}, {5.0f, -inf}, {nan, nan}};
    for (const auto& c : cases) {
        Tavrin core;
        zRenderer* r = core.renderer;
        r->SetFog(true, nullptr, 10.0f, 100.0f);
        const float green[3] = {0.0f, 1.0f, 0.0f};
        r->SetFog(true, green, c.nearDistance, c.farDistance);
        EXPECT_EQ(r->fogOn, 0) << c.nearDistance << " " << c.farDistance;
        EXPECT_EQ(r->fogNear, 10.0f) << c.nearDistance << " " << c.farDistance;
        EXPECT_EQ(r->fogFar, 100.0f) << c.nearDistance << " " << c.farDistance;
        EXPECT_EQ(r->fogColour[1], 1.0f);
    }
}

TEST(RendererStateTest, ViewportIsTheRenderTargetsPictureWhileOneIsSet)
{
    Tavrin core;
    zRenderer* r = core.renderer;
    float w = 0.0f;
    float h = 0.0f;
    r->GetViewportSize(w, h);
    EXPECT_EQ(w, 1.0f);
    EXPECT_EQ(h, 1.0f);
    zTexture target(&core, "target");
    target.picture.width = 256;
    target.picture.height = 128;
    r->renderTarget = &target;
    r->GetViewportSize(w, h);
    EXPECT_EQ(w, 256.0f);
    EXPECT_EQ(h, 128.0f);
    r->renderTarget = nullptr;
    r->outputWidth = 800.0f;
    r->outputHeight = 600.0f;
    r->GetViewportSize(w, h);
    EXPECT_EQ(w, 800.0f);
    EXPECT_EQ(h, 600.0f);
}

struct TextureSizeCase {
    uint32_t size;
    bool force;
    uint32_t expected;
};

TEST(ComputeTextureSizeTest, NearestOrNextPowerOfTwo)
{
    const TextureSizeCase cases[] = {
        {0, false, 1},        {1, false, 1},           {2, false, 2},           {3, false, 2},
        {4, false, 4},        {5, false, 4},           {6, false, 4},           {7, false, 8},
        {3000, false, 2048},  {3100, false, 4096},     {5000, false, 4096},     {0xFFFFFFFFu, false, 4096},
        {0, true, 1},         {1, true, 1},            {3, true, 4},            {4, true, 4},
        {5000, true, 8192},   {0x80000000u, true, 0x80000000u},
        // No power of two above 2^31 fits; the largest stands in instead of looping.
        {0x80000001u, true, 0x80000000u}, {0xFFFFFFFFu, true, 0x80000000u},
    };
    for (const TextureSizeCase& c : cases)
        EXPECT_EQ(ComputeTextureSize(c.size, c.force), c.expected) << c.size << (c.force ? " forced" : "");
}

} // namespace
