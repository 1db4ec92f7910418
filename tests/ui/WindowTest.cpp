#include "SceneTestSupport.h"

#include "bfgt/picture/zPictureIO.h"
#include "core/resource/zTexture.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/ZmlText.h"
#include "ui/zPictureWidget.h"
#include "ui/zSizer.h"
#include "ui/zTextWidget.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// A skin written into a scratch directory: 4 x 4 corners, edges one pixel
// long, the top edge topHeight rows high. Colours tell the parts apart.
struct SkinFiles {
    explicit SkinFiles(int32_t topHeight)
    {
        auto write = [this](const char* name, int32_t w, int32_t h, float r, float g, float b) {
            zPicture p;
            p.AllocAs(w, h, PixelFormatARGB32);
            p.Fill(r, g, b, 1);
            const std::string path = dir.Path(name);
            EXPECT_TRUE(lowlevel_tga_save(path.c_str(), p));
            return path;
        };
        paths[zScene2D::SkinTop] = write("t.tga", 1, topHeight, 1, 0, 0);
        paths[zScene2D::SkinLeft] = write("l.tga", 3, 1, 0, 1, 0);
        paths[zScene2D::SkinRight] = write("r.tga", 3, 1, 0, 1, 0);
        paths[zScene2D::SkinBottom] = write("b.tga", 1, 3, 0, 0, 1);
        for (int32_t corner = zScene2D::SkinTopLeft; corner <= zScene2D::SkinBottomRight; ++corner)
            paths[corner] = write(("c" + std::to_string(corner) + ".tga").c_str(), 4, 4, 1, 1, 0);
    }
    const char* const* Paths()
    {
        for (int i = 0; i < zScene2D::SkinPartCount; ++i)
            pointers[i] = paths[i].c_str();
        return pointers;
    }
    TempDir dir;
    std::string paths[zScene2D::SkinPartCount];
    const char* pointers[zScene2D::SkinPartCount];
};

class WindowTest : public SceneFixture {
protected:
    zWindow* NewWindow(float x, float y, float w, float h, zWindow* parent = nullptr)
    {
        const float position[2] = {x, y};
        const float size[2] = {w, h};
        return new zWindow(scene.get(), parent, 1, "W", position, size);
    }

    // The triangles drawn with a window's cache texture.
    std::vector<RecordingRenderer::Triangle> TrianglesOf(zWindow* window)
    {
        std::vector<RecordingRenderer::Triangle> out;
        for (const auto& t : renderer->triangles)
            if (t.texture == window->cacheTexture)
                out.push_back(t);
        return out;
    }
};

TEST_F(WindowTest, DefaultsWithoutPositionSizeOrTitle)
{
    auto* window = new zWindow(scene.get(), nullptr, 5, nullptr, nullptr, nullptr);
    EXPECT_FLOAT_EQ(window->position[0], 0.5f);
    EXPECT_FLOAT_EQ(window->position[1], 0.5f);
    EXPECT_FLOAT_EQ(window->size[0], 320.0f);
    EXPECT_FLOAT_EQ(window->size[1], 200.0f);
    EXPECT_STREQ(window->title.GetText().Get(), "Titleless Window");
    EXPECT_EQ(window->title.GetParameters().align, zTextParameters::AlignCentre);
    EXPECT_EQ(window->GetCachePicture().width, 512);
    EXPECT_EQ(window->GetCachePicture().height, 256);
    EXPECT_EQ(scene->windows.GetLast(), window);
    EXPECT_FALSE(core.GetTextures().Contains(window->cacheTexture)) << "the window owns its cache texture";
}

TEST_F(WindowTest, CacheGrowsToPowersOfTwoAndNeverShrinks)
{
    zWindow* window = NewWindow(0, 0, 200, 100);
    EXPECT_EQ(window->GetCachePicture().width, 256);
    EXPECT_EQ(window->GetCachePicture().height, 128);
    const size_t freed = renderer->freed.size();
    window->SetSize(50, 20);
    EXPECT_EQ(window->GetCachePicture().width, 256);
    EXPECT_EQ(window->GetCachePicture().height, 128);
    EXPECT_EQ(renderer->freed.size(), freed);
    window->SetSize(600, 100);
    EXPECT_EQ(window->GetCachePicture().width, 1024);
    EXPECT_EQ(window->GetCachePicture().height, 128);
    EXPECT_EQ(renderer->freed.size(), freed + 1);
}

TEST_F(WindowTest, DrawsTwoTexturedTrianglesInClipSpace)
{
    zWindow* window = NewWindow(100, 240, 200, 100);
    window->SetOpacity(0.5f);
    scene->Render();
    auto tris = TrianglesOf(window);
    ASSERT_EQ(tris.size(), 2u);
    const auto& t = tris[0];
    EXPECT_EQ(t.flags, 0x4000u);
    EXPECT_NEAR(t.corners[0].x, 2.0f * 100 / 1280 - 1, 1e-5);
    EXPECT_NEAR(t.corners[0].y, 1.0f - 2.0f * 240 / 960, 1e-5);
    EXPECT_NEAR(t.corners[2].x, 2.0f * 300 / 1280 - 1, 1e-5);
    EXPECT_NEAR(t.corners[2].y, 1.0f - 2.0f * 340 / 960, 1e-5);
    EXPECT_FLOAT_EQ(t.corners[0].z, 0.75f);
    EXPECT_FLOAT_EQ(t.uvs[0].x, 0.0f);
    EXPECT_FLOAT_EQ(t.uvs[2].x, 200.0f / 256);
    EXPECT_FLOAT_EQ(t.uvs[2].y, 100.0f / 128);
    EXPECT_FLOAT_EQ(t.colour[3], 0.5f);

    renderer->Reset();
    window->flipX = 1;
    window->style |= zWindow::StyleBlendAdditive;
    scene->Render();
    tris = TrianglesOf(window);
    ASSERT_EQ(tris.size(), 2u);
    EXPECT_EQ(tris[0].flags, 0x4004u);
    EXPECT_FLOAT_EQ(tris[0].uvs[0].x, 200.0f / 256) << "u reversed";
    EXPECT_FLOAT_EQ(tris[0].uvs[0].y, 0.0f) << "v kept";
}

TEST_F(WindowTest, PlacementFollowsTheParentChain)
{
    zWindow* parent = NewWindow(100, 100, 300, 300);
    parent->SetScale(2, 2);
    zWindow* child = NewWindow(10, 20, 50, 50, parent);
    child->SetPivot(5, 5);
    scene->Render();
    const zPicture::Rect screen = child->RectToScreen(zPicture::Rect{0, 0, 50, 50});
    EXPECT_EQ(screen.x0, 100 + 2 * (10 - 5));
    EXPECT_EQ(screen.y0, 100 + 2 * (20 - 5));
    EXPECT_EQ(screen.x1, 100 + 2 * (10 + 45));
    child->SetParent(child);
    EXPECT_EQ(child->parent, parent) << "a window cannot be its own ancestor";
    parent->SetParent(child);
    EXPECT_EQ(parent->parent, nullptr);
}

TEST_F(WindowTest, RotationTurnsTheQuadAboutThePivot)
{
    zWindow* window = NewWindow(640, 480, 100, 100);
    window->SetPivot(50, 50);
    window->SetRotation(float(M_PI) / 2);
    scene->Render();
    float x = 50, y = 0; // top middle of the window
    const zVector in(x, y, 1);
    zVector out;
    window->worldMatrix.TransformArray(&out, &in, 1);
    EXPECT_NEAR(std::fabs(out.x - 640) + std::fabs(out.y - 480), 50, 1e-3);
    EXPECT_NEAR(out.y, 480, 1e-3) << "the top middle turned a quarter, onto the pivot's row";
}

TEST_F(WindowTest, CacheIsUploadedOnlyAfterARedraw)
{
    zWindow* window = NewWindow(0, 0, 64, 64);
    window->SetBackgroundColor(0, 1, 0, 1);
    scene->Render();
    EXPECT_EQ(renderer->uploads.size(), 1u);
    EXPECT_EQ(PixelByte(window->GetCachePicture(), 10, 10, 1), 255);
    // Nothing changed: no redraw, no upload.
    window->GetCachePicture().pixels[0] = 7;
    scene->Render();
    scene->Render();
    EXPECT_EQ(renderer->uploads.size(), 1u);
    EXPECT_EQ(window->GetCachePicture().pixels[0], 7);
    window->SetBackgroundColor(1, 0, 0, 1);
    scene->Render();
    EXPECT_EQ(renderer->uploads.size(), 2u);
    EXPECT_EQ(PixelByte(window->GetCachePicture(), 10, 10, 2), 255);
}

TEST_F(WindowTest, WidgetTreeRedrawsOnlyWhenSomethingChanged)
{
    zWindow* window = NewWindow(0, 0, 100, 40);
    auto* text = new zTextWidget(scene.get(), 3, "Hi", nullptr, 14);
    window->SetBaseWidget(text);
    scene->Render();
    ASSERT_EQ(renderer->uploads.size(), 1u);
    scene->Render();
    EXPECT_EQ(renderer->uploads.size(), 1u);
    text->SetText("Ho");
    scene->Render();
    EXPECT_EQ(renderer->uploads.size(), 2u);
    EXPECT_EQ(window->GetChild(3), text);
    EXPECT_EQ(window->GetChild(4), nullptr);
}

TEST_F(WindowTest, HiddenOrShadedParentsHideTheirChildren)
{
    zWindow* parent = NewWindow(0, 0, 100, 100);
    zWindow* child = NewWindow(10, 10, 20, 20, parent);
    scene->Render();
    EXPECT_EQ(TrianglesOf(child).size(), 2u);
    renderer->Reset();
    parent->SetShaded(true);
    scene->Render();
    EXPECT_EQ(TrianglesOf(child).size(), 0u);
    EXPECT_TRUE(child->IsShown()) << "shaded is not hidden";
    parent->SetShaded(false);
    parent->shown = 0;
    renderer->Reset();
    scene->Render();
    EXPECT_EQ(TrianglesOf(child).size(), 0u);
    EXPECT_FALSE(child->IsShown());
}

TEST_F(WindowTest, FailedBackgroundPictureClearsNonSkinnedButKeepsThePicture)
{
    zWindow* window = NewWindow(0, 0, 32, 32);
    ASSERT_TRUE(window->SetBackgroundPicture("ui/ui_check_true.tga"));
    EXPECT_NE(window->style & zWindow::StyleNonSkinned, 0);
    zScene2DPicture* picture = window->backgroundPicture;
    EXPECT_FALSE(window->SetBackgroundPicture("ui/missing.tga"));
    EXPECT_EQ(window->style & zWindow::StyleNonSkinned, 0);
    EXPECT_EQ(window->backgroundPicture, picture);
    scene->Render();
    // The picture still paints the cache: its frame pixel is opaque white.
    EXPECT_EQ(PixelByte(window->GetCachePicture(), 1, 1, 3), 255);
    EXPECT_EQ(PixelByte(window->GetCachePicture(), 1, 1, 2), 255);
    EXPECT_EQ(PixelByte(window->GetCachePicture(), 20, 20, 3), 0) << "outside the picture: cleared";
}

TEST_F(WindowTest, SkinFrameCornersEdgesBackgroundAndFade)
{
    SkinFiles files(12);
    ASSERT_TRUE(scene->SetSkin(files.Paths(), int32_t(0xFF808080u), -1, 2, 10, 10, "Default"));
    zWindow* window = NewWindow(0, 0, 40, 40);
    scene->Render();
    const zPicture& cache = window->GetCachePicture();
    EXPECT_EQ(PixelByte(cache, 0, 0, 1), 255) << "top-left corner is yellow";
    EXPECT_EQ(PixelByte(cache, 20, 0, 2), 255) << "top edge is red";
    EXPECT_EQ(PixelByte(cache, 20, 0, 1), 0);
    EXPECT_EQ(PixelByte(cache, 0, 20, 1), 255) << "left edge is green";
    EXPECT_EQ(PixelByte(cache, 20, 38, 0), 255) << "bottom edge is blue";
    // Client rows: alpha falls to 0.85 over 70 % of the rows, back to 1 at the end.
    const int32_t top = 4, rows = 40 - 4 - 4, n = 70 * rows / 100;
    // Column 6 stays clear of the centred title.
    EXPECT_EQ(PixelByte(cache, 6, top, 3), 255 * 255 / 256);
    EXPECT_NEAR(PixelByte(cache, 6, top + n - 1, 3), 255 * 0.85, 3);
    EXPECT_EQ(PixelByte(cache, 6, top + rows - 1, 3), 255 * 255 / 256);
    EXPECT_EQ(PixelByte(cache, 20, 20, 2), 128) << "skin background colour";
}

TEST_F(WindowTest, TinyAndShortSkinnedWindowsStayInsideTheirCache)
{
    SkinFiles files(4); // a top edge lower than the ten rows the shading fades
    ASSERT_TRUE(scene->SetSkin(files.Paths(), -1, -1, 0, 4, 8, "Default"));
    for (float height : {0.0f, 1.0f, 8.0f, 9.0f, 10.0f}) {
        zWindow* window = NewWindow(0, 0, 3, height);
        scene->Render();
        window->SetShaded(true);
        EXPECT_EQ(window->GetRect().y1, 4);
        scene->Render();
        scene->DeleteWindow(window);
    }
}

TEST_F(WindowTest, IncompleteSkinCountsAsNoSkin)
{
    SkinFiles files(12);
    const char* paths[zScene2D::SkinPartCount];
    for (int i = 0; i < zScene2D::SkinPartCount; ++i)
        paths[i] = files.Paths()[i];
    paths[zScene2D::SkinTop] = "no/such/top.tga";
    LogCapture log;
    EXPECT_FALSE(scene->SetSkin(paths, 0, -1, 0, 10, 10, "Default"));
    EXPECT_EQ(scene->skinComplete, 0);
    zWindow* window = NewWindow(0, 0, 50, 50);
    window->SetBackgroundColor(0, 0, 1, 1);
    scene->Render();
    EXPECT_EQ(PixelByte(window->GetCachePicture(), 0, 0, 0), 255) << "background colour, no frame";
    window->SetShaded(true);
    EXPECT_EQ(window->GetRect().y1, 0) << "a missing top edge is 0 high";
    scene->Render();
    paths[zScene2D::SkinTop] = nullptr;
    EXPECT_FALSE(scene->SetSkin(paths, 0, -1, 0, 10, 10, "Default"));
}

TEST_F(WindowTest, TitleIsDrawnOnceOverAFreshFrame)
{
    SkinFiles files(12);
    ASSERT_TRUE(scene->SetSkin(files.Paths(), 0, -1, 0, 12, 10, "Default"));
    zWindow* window = NewWindow(0, 0, 80, 40);
    scene->Render();
    const zPicture& cache = window->GetCachePicture();
    const std::string first(reinterpret_cast<const char*>(cache.pixels), size_t(cache.width) * 12 * 4);
    window->Invalidate();
    scene->Render();
    scene->Render();
    const std::string again(reinterpret_cast<const char*>(cache.pixels), size_t(cache.width) * 12 * 4);
    EXPECT_EQ(first, again);
    bool white = false;
    for (int32_t x = 4; x < 76; ++x)
        for (int32_t y = 0; y < 12; ++y)
            white |= PixelByte(cache, x, y, 1) > 128 && PixelByte(cache, x, y, 0) > 128;
    EXPECT_TRUE(white) << "white title text over the red top edge";
}

TEST_F(WindowTest, CommandListsAnimateWindowsAndTheFade)
{
    zWindow* window = NewWindow(0, 0, 10, 10);
    ASSERT_GT(scene->commandManager.LoadACECommandList("toalpha 0.1,0; hide 0;", window), 0);
    GlobalFrameDelta = 500; // 0.05 s
    scene->Render();
    EXPECT_NEAR(window->opacity, 0.5f, 1e-5);
    scene->Render();
    EXPECT_NEAR(window->opacity, 0.0f, 1e-5);
    EXPECT_EQ(window->shown, 1);
    // The fade's last sliver of float time may take a frame of its own.
    scene->Render();
    scene->Render();
    EXPECT_EQ(window->shown, 0);

    ASSERT_GT(scene->commandManager.LoadACECommandList("toangle 0.05,90 + toposition 0.05,10,20;", window), 0);
    scene->Render();
    EXPECT_NEAR(window->angle, float(M_PI) / 2, 1e-5) << "degrees";
    EXPECT_FLOAT_EQ(window->position[0], 10.0f);
    EXPECT_FLOAT_EQ(window->localMatrix.m[5], 20.0f);

    ASSERT_GT(scene->commandManager.LoadACECommandList("globalfade 0.05,0.75;", scene.get()), 0);
    renderer->Reset();
    scene->Render();
    EXPECT_FLOAT_EQ(scene->fadeAmount, 0.75f);
    ASSERT_GE(renderer->triangles.size(), 2u);
    const auto& fade = renderer->triangles.back();
    EXPECT_EQ(fade.texture, nullptr);
    EXPECT_EQ(fade.flags, 0x4000u);
    EXPECT_FLOAT_EQ(fade.colour[3], 0.75f);
    GlobalFrameDelta = 0;
}

TEST_F(WindowTest, StackingOrderAndReordering)
{
    zWindow* a = NewWindow(0, 0, 10, 10);
    zWindow* b = NewWindow(0, 0, 10, 10);
    zWindow* c = NewWindow(0, 0, 10, 10);
    auto order = [this] {
        std::vector<zLinkedListEntry*> out;
        for (zLinkedListEntry* e = scene->windows.GetFirst(); e != nullptr; e = e->next)
            out.push_back(e);
        return out;
    };
    scene->MoveWindowToFront(a, nullptr);
    EXPECT_EQ(order(), (std::vector<zLinkedListEntry*>{b, c, a}));
    scene->MoveWindowToBack(a, c);
    EXPECT_EQ(order(), (std::vector<zLinkedListEntry*>{b, a, c}));
    scene->MoveWindowToFront(c, b);
    EXPECT_EQ(order(), (std::vector<zLinkedListEntry*>{b, c, a}));
    b->style |= zWindow::StyleAlwaysOnTop;
    a->style |= zWindow::StyleAlwaysBehind;
    scene->Render();
    EXPECT_EQ(order(), (std::vector<zLinkedListEntry*>{a, c, b}));
}

TEST_F(WindowTest, ResolutionInvariantWindowsCancelTheSceneAspect)
{
    renderer->outputWidth = 1920;
    zWindow* window = NewWindow(960, 0, 10, 10);
    window->style |= zWindow::StyleResolutionInvariant;
    scene->Render();
    ASSERT_FALSE(renderer->projections.empty());
    const float sceneFactor = (1280.0f / 960) * (960.0f / 1920);
    EXPECT_FLOAT_EQ(renderer->projections.front().m[0], sceneFactor);
    const auto tris = TrianglesOf(window);
    ASSERT_EQ(tris.size(), 2u);
    // At the middle of the output: x 0 whatever the factor.
    EXPECT_NEAR(tris[0].corners[0].x, 0.0f, 1e-5);
    EXPECT_NEAR(tris[0].corners[1].x * sceneFactor, 2.0f * 10 / 1920, 1e-5);
}

TEST_F(WindowTest, WithoutARendererWindowsStillDrawIntoTheirCaches)
{
    Tavrin bare;
    bare.renderer = nullptr;
    zScene2D offline(&bare, nullptr, &input);
    const float size[2] = {16, 16};
    auto* window = new zWindow(&offline, nullptr, 1, "Offline", nullptr, size);
    window->SetBackgroundColor(1, 0, 0, 1);
    offline.SetCursor("ui/ui_check_true.tga");
    offline.Render();
    EXPECT_EQ(PixelByte(window->GetCachePicture(), 3, 3, 2), 255);
    EXPECT_EQ(window->cacheDirty, 1) << "nothing uploaded without a renderer";
}

TEST_F(WindowTest, PicturesLoadOnce)
{
    zScene2DPicture* first = scene->LoadPicture("ui/ui_check_true.tga");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(scene->LoadPicture("ui/ui_check_true.tga"), first);
    EXPECT_FALSE(first->picture.format.IsDifferent(PixelFormatARGB32));
    EXPECT_EQ(scene->pictures.GetCount(), 1);
    LogCapture log;
    EXPECT_EQ(scene->LoadPicture("ui/none.tga"), nullptr);
    EXPECT_EQ(scene->LoadPicture(nullptr), nullptr);
    EXPECT_TRUE(log.Contains("Failed to load new window system picture 'ui/none.tga'."));
    EXPECT_EQ(scene->pictures.GetCount(), 1);
}

TEST_F(WindowTest, ClearLeavesLooseBitmapsWithoutDanglingPictures)
{
    zBitmapWidget loose(scene.get(), 1, "ui/ui_check_true.tga");
    ASSERT_NE(loose.picture, nullptr);
    scene->Clear();
    EXPECT_EQ(loose.picture, nullptr);
    zPicture target = MakeCanvas(8, 8);
    loose.Draw(target, 0, 0, 8, 8);
    EXPECT_EQ(scene->widgetRegistry.GetCount(), 1) << "the widget is still the scene's";
}

TEST_F(WindowTest, LooseWidgetsOutliveTheirScene)
{
    auto* loose = new zSpacerWidget(scene.get(), 1);
    scene.reset();
    EXPECT_EQ(loose->scene, nullptr);
    delete loose;
}

TEST_F(WindowTest, LockToWindowLocksEveryWindowOutsideItsSubtree)
{
    zWindow* a = NewWindow(0, 0, 10, 10);
    zWindow* child = NewWindow(0, 0, 10, 10, a);
    zWindow* other = NewWindow(0, 0, 10, 10);
    scene->LockToWindow(a);
    EXPECT_EQ(a->style & zWindow::StyleLocked, 0);
    EXPECT_EQ(child->style & zWindow::StyleLocked, 0);
    EXPECT_NE(other->style & zWindow::StyleLocked, 0);
    LogCapture log;
    scene->LockToWindow(nullptr);
    EXPECT_TRUE(log.Contains("Cannot lock UI to NULL window."));
    scene->Unlock();
    EXPECT_EQ(other->style & zWindow::StyleLocked, 0);
    scene->SetExcludeFromRecord(true);
    EXPECT_EQ(child->excludeFromRecord, 1);
}

TEST_F(WindowTest, ADirectlyDeletedWindowLeavesTheScene)
{
    zWindow* parent = NewWindow(0, 0, 10, 10);
    zWindow* child = NewWindow(0, 0, 10, 10, parent);
    scene->draggedWindow = parent;
    delete parent;
    EXPECT_EQ(scene->windows.GetCount(), 1);
    EXPECT_EQ(child->parent, nullptr);
    EXPECT_EQ(scene->draggedWindow, nullptr);
    scene->Render();
}

TEST_F(WindowTest, DeletingAParentOrphansItsChildren)
{
    zWindow* parent = NewWindow(0, 0, 10, 10);
    zWindow* child = NewWindow(0, 0, 10, 10, parent);
    scene->DeleteWindow(parent);
    EXPECT_EQ(child->parent, nullptr);
    scene->DeleteWindow(parent); // no longer listed: nothing happens
    scene->Render();
}

TEST_F(WindowTest, SceneTagRoundTrip)
{
    const char* text = "<ZML=1.0>\n"
                       "<Scene2d=\n"
                       "  <ScriptUnit=<Script=\"ui.nut\"><Class=\"Hud\"><ParmList=<Parm=<Id=\"speed\"><Value=2>>>>\n"
                       "  <Windows=3>\n"
                       ">\n";
    auto document = ParseZml(text);
    LogCapture log;
    ASSERT_TRUE(scene->FromMetaTag(document.get(), document->GetFirstRootTag()));
    EXPECT_TRUE(log.Contains("Unknown tag 'Windows' in <Scene2d>."));
    EXPECT_STREQ(scene->Script.Get(), "ui.nut");
    EXPECT_STREQ(scene->Class.Get(), "Hud");
    EXPECT_EQ(scene->sourceName, "test.zml");

    std::unique_ptr<zMetaTag> tag(scene->AsMetaTag(nullptr));
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->GetName(), "Scene2d");
    EXPECT_EQ(ChildNames(tag.get()), (std::vector<std::string>{"ScriptUnit"}));
    zScene2D again(&core, nullptr, &input);
    ASSERT_TRUE(again.FromMetaTag(nullptr, tag.get()));
    EXPECT_STREQ(again.Class.Get(), "Hud");
    EXPECT_EQ(again.GetParameters().GetCount(), 1);

    auto wrong = ParseZml("<ZML=1.0>\n<Scene=<ScriptUnit=<Class=\"X\">>>\n");
    EXPECT_FALSE(again.FromMetaTag(wrong.get(), wrong->GetFirstRootTag()));
    EXPECT_TRUE(log.Contains("Could not parse 2d scene. Root tag id is incorrect (Scene)."));

    // Only unknown children: loads, with an empty unit that writes no child.
    auto unknown = ParseZml("<ZML=1.0>\n<Scene2d=<A=1><B=2>>\n");
    zScene2D empty(&core, nullptr, &input);
    EXPECT_TRUE(empty.FromMetaTag(unknown.get(), unknown->GetFirstRootTag()));
    std::unique_ptr<zMetaTag> emptyTag(empty.AsMetaTag(nullptr));
    ASSERT_NE(emptyTag, nullptr);
    EXPECT_EQ(emptyTag->GetChildCount(), 0);
}

} // namespace
