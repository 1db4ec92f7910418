#include "manager/SceneTestSupport.h"

#include "bfgt/picture/zPictureIO.h"
#include "core/GeometryTestSupport.h"
#include "core/font/zRasterFont.h"

#include <algorithm>

namespace {

// Records the debug primitives: lines with their colours, triangles with
// their flags and written texts.
class DebugRenderer : public SceneRenderer {
public:
    using SceneRenderer::SceneRenderer;
    void Line3D(const zVector&, const zVector&, const float* colour) override
    {
        lines.push_back(colour != nullptr ? std::vector<float>(colour, colour + 4) : std::vector<float>{});
    }
    void DrawTriangle(const zVector*, const float*, const zVector2*, zTexture*, uint32_t flags) override
    {
        triangleFlags.push_back(flags);
    }
    void Write(zRasterFont*, const char* text, float x, float y, float, bool, int32_t, const float* colour) override
    {
        writes.push_back({text, x, y, colour != nullptr ? colour[0] : -1.0f});
    }
    size_t LinesOf(std::vector<float> colour) const { return size_t(std::count(lines.begin(), lines.end(), colour)); }

    struct Written {
        std::string text;
        float x;
        float y;
        float red;
    };
    std::vector<std::vector<float>> lines;
    std::vector<uint32_t> triangleFlags;
    std::vector<Written> writes;
};

} // namespace

class SceneDebugTest : public SceneFixture {
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        debug = std::make_unique<DebugRenderer>(&core);
        eye = scene->AddCamera("eye");
        eye->camera.position = {0, 0, -10};
        eye->camera.UpdateWorldMatrix();
    }
    // A cross is made of this many lines.
    size_t CrossLines()
    {
        DebugRenderer probe(&core);
        probe.DrawCross({0, 0, 0}, 1.0f, nullptr);
        return probe.lines.size();
    }
    std::unique_ptr<DebugRenderer> debug;
    zMCamera* eye = nullptr;
};

TEST_F(SceneDebugTest, OnlyTheCurrentCameraDrawsNothing)
{
    scene->Debug(debug.get(), nullptr, ~0u);
    EXPECT_TRUE(debug->lines.empty());
    EXPECT_TRUE(debug->triangleFlags.empty());
    EXPECT_TRUE(debug->writes.empty());
}

TEST_F(SceneDebugTest, MarkersBoxesAndLabels)
{
    zGeometry* g = zGeometry::New(&core, "crate");
    FillTwoTriangles(*g);
    scene->AddObject("crate", g);
    scene->AddLight("sun", 1, 0.5f);
    scene->AddCamera("spare");
    zTrigger* on = scene->AddTrigger("on");
    zTrigger* off = scene->AddTrigger("off");
    off->active = 0;
    (void)on;
    scene->Debug(debug.get(), nullptr, 0);
    // Light, object and the spare camera get crosses; triggers their boxes.
    EXPECT_EQ(debug->LinesOf({0.75f, 0.75f, 0.75f, 1.0f}), 3 * CrossLines());
    EXPECT_EQ(debug->LinesOf({0.0f, 1.0f, 0.0f, 1.0f}), 12u);
    EXPECT_EQ(debug->LinesOf({1.0f, 0.0f, 0.0f, 1.0f}), 12u);
    // Every item but the current camera is labelled on a plate of 2 + 2 x 16 triangles.
    std::vector<std::string> texts;
    for (const auto& w : debug->writes)
        texts.push_back(w.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"Object: crate", "Light: sun", "Camera: spare", "Trigger: on",
                                               "Trigger: off"}));
    EXPECT_EQ(debug->triangleFlags, std::vector<uint32_t>(5 * 34, 0x6000u));

    // Object boxes only with flag 4.
    debug->lines.clear();
    scene->Debug(debug.get(), nullptr, 4);
    EXPECT_EQ(debug->lines.size(), 3 * CrossLines() + 12 + 12 + 12);
}

TEST_F(SceneDebugTest, LabelsNeedACurrentCamera)
{
    zGeometry* g = zGeometry::New(&core, "crate");
    FillTwoTriangles(*g);
    scene->AddObject("crate", g);
    scene->currentCamera = nullptr;
    scene->Debug(debug.get(), nullptr, 0);
    EXPECT_TRUE(debug->writes.empty());
    EXPECT_TRUE(debug->triangleFlags.empty());
    EXPECT_EQ(debug->lines.size(), 2 * CrossLines()) << "the object and the camera, no longer current";
}

TEST_F(SceneDebugTest, OverlayWritesEachLineWithItsShadow)
{
    scene->RegisterAsPropertyCallback(debug.get());
    scene->renderer = debug.get();
    // A font that never loaded draws nothing and keeps y.
    zRasterFont empty(&core);
    EXPECT_FLOAT_EQ(scene->UpdateProfiler(0.025f, 0.05f, true, &empty), 0.05f);
    EXPECT_TRUE(debug->writes.empty());

    zPicture page;
    ASSERT_TRUE(page.AllocAs(8, 8, zPixelFormat(zPixelFormat::HostByteOrder, 0xFF000000u, 0xFF0000u, 0xFF00u, 0xFFu,
                                               32, 0)));
    ASSERT_TRUE(lowlevel_tga_save(dir.Path("mono_00.tga").c_str(), page));
    dir.Write("mono.zml", "<ZML=1.0>\n<Font=\n<Common=\n<Height=12.0>\n<BaseLine=10.0>\n<PageCount=1>\n>\n"
                          "<Char=<Id=32>\n<Step=3.0>>\n>\n");
    ASSERT_TRUE(scene->CreateProfiler("mono.zml", "mono"));
    const float y = scene->UpdateProfiler(0.025f, 0.05f, false, nullptr);
    std::vector<std::string> texts;
    for (size_t i = 0; i + 1 < debug->writes.size(); i += 2) {
        EXPECT_EQ(debug->writes[i].text, debug->writes[i + 1].text);
        EXPECT_FLOAT_EQ(debug->writes[i].red, 0.0f) << "the shadow is black";
        EXPECT_GT(debug->writes[i].x, debug->writes[i + 1].x);
        texts.push_back(debug->writes[i + 1].text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Evaluate = 0.00 ms", "  -> Item = 1 item(s), 1 active (100%)",
                                               "Script = 0.00 ms", "Physic = 0.00 ms", "Send to render = 0.00 ms",
                                               "User interface = 0.00 ms (0 window(s))"}));
    // Six lines and two empty steps.
    EXPECT_NEAR(y, 0.05f + 8 * 0.021f, 1e-5f);
    EXPECT_FLOAT_EQ(debug->writes[1].red, 1.0f) << "Evaluate is drawn red";

    debug->writes.clear();
    scene->UpdateProfiler(0.025f, 0.05f, true, nullptr);
    EXPECT_EQ(debug->writes.size(), 2u * 15u) << "fifteen lines with their shadows";
    EXPECT_EQ(debug->writes[1].text.rfind("Perf. = ", 0), 0u);
}
