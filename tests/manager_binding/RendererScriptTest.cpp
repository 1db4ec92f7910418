// Renderer functions through the engine's VM on a renderer that records what
// it is asked to do, with the camera and lamp of items.zml as view items.
#include "SceneScriptFixture.h"

#include "core/font/zRasterFont.h"
#include "core/render/zNullRenderer.h"
#include "core/resource/zTexture.h"

#include <sstream>
#include <string>
#include <vector>

namespace {

class RecordingRenderer : public zNullRenderer {
public:
    explicit RecordingRenderer(Tavrin* core) : zNullRenderer(core, false) {}

    void Clear(float red, float green, float blue, float depth, uint32_t flags) override
    {
        std::ostringstream out;
        out << red << "," << green << "," << blue << "," << depth << "," << flags;
        lastClear = out.str();
    }
    void SetViewport(int32_t x, int32_t y, int32_t width, int32_t height) override
    {
        lastViewport = std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(width) + "," +
                       std::to_string(height);
    }
    void Line3D(const zVector& from, const zVector& to, const float* colour) override
    {
        std::ostringstream out;
        out << from.x << " " << from.y << " " << from.z << ">" << to.x << " " << to.y << " " << to.z << " ";
        if (colour == nullptr)
            out << "default";
        else
            out << colour[0] << "," << colour[1] << "," << colour[2] << "," << colour[3];
        lines.push_back(out.str());
    }
    void RenderQueue() override { ++queueRuns; }
    void SetViewMatrix(const zMatrix4&) override { ++viewMatrices; }
    void Write(zRasterFont*, const char* text, float x, float y, float size, bool keepAspect, int32_t alignment,
               const float* colour) override
    {
        std::ostringstream out;
        out << text << "@" << x << "," << y << " " << size << " " << (keepAspect ? "aspect" : "free") << " "
            << alignment << " " << colour[0] << "," << colour[1] << "," << colour[2] << "," << colour[3];
        lastWrite = out.str();
    }

    std::string lastClear = "none";
    std::string lastViewport = "none";
    std::string lastWrite = "none";
    std::vector<std::string> lines;
    int queueRuns = 0;
    int viewMatrices = 0;
};

class RendererScriptTest : public SceneScriptTest {
public:
    void SetUp() override
    {
        SceneScriptTest::SetUp();
        current = this;
        renderer.outputWidth = 800.0f;
        renderer.outputHeight = 600.0f;
        renderer.videoClosed = 0;
        texture.picture.width = 256;
        texture.picture.height = 128;
        font.height = 16.0f;
        font.baseLine = 12.0f;
        const struct {
            SQFUNCTION function;
            const char* name;
        } functions[] = {
            {TestRenderer, "TestRenderer"},
            {TestLastViewport, "TestLastViewport"},
            {TestLastClear, "TestLastClear"},
            {TestLastWrite, "TestLastWrite"},
            {TestRendererCamera, "TestRendererCamera"},
            {TestLines, "TestLines"},
            {TestQueueRuns, "TestQueueRuns"},
            {TestFillStack, "TestFillStack"},
            {TestStackCount, "TestStackCount"},
            {TestTexture, "TestTexture"},
            {TestFont, "TestFont"},
            {TestSetStatistics, "TestSetStatistics"},
            {TestStatisticsSum, "TestStatisticsSum"},
        };
        for (const auto& f : functions)
            SqRegisterFunction(v, f.function, f.name, "x|t");
    }

    void TearDown() override
    {
        current = nullptr;
        SceneScriptTest::TearDown();
    }

    static SQInteger PushText(HSQUIRRELVM v, const std::string& text)
    {
        sq_pushstring(v, text.c_str(), -1);
        return 1;
    }

    // The renderer with no camera and nothing recorded.
    static SQInteger TestRenderer(HSQUIRRELVM v)
    {
        RecordingRenderer& r = current->renderer;
        r.camera = nullptr;
        r.viewMatrices = 0;
        r.lastClear = r.lastViewport = r.lastWrite = "none";
        r.lines.clear();
        SqPushSafePtr(v, &r, SqPtrRenderer);
        return 1;
    }
    static SQInteger TestLastViewport(HSQUIRRELVM v) { return PushText(v, current->renderer.lastViewport); }
    static SQInteger TestLastClear(HSQUIRRELVM v) { return PushText(v, current->renderer.lastClear); }
    static SQInteger TestLastWrite(HSQUIRRELVM v) { return PushText(v, current->renderer.lastWrite); }
    // Which camera the renderer holds and how many view matrices it was given.
    static SQInteger TestRendererCamera(HSQUIRRELVM v)
    {
        const zCamera* camera = current->renderer.camera;
        auto* eye = static_cast<zMCamera*>(current->Item("eye"));
        const std::string name = camera == nullptr ? "none" : camera == &eye->camera ? "eye" : "other";
        return PushText(v, name + "," + std::to_string(current->renderer.viewMatrices));
    }
    // The lines drawn since the last call: their count and the first one.
    static SQInteger TestLines(HSQUIRRELVM v)
    {
        std::vector<std::string>& lines = current->renderer.lines;
        std::string text = std::to_string(lines.size());
        if (!lines.empty())
            text += ": " + lines.front();
        lines.clear();
        return PushText(v, text);
    }
    static SQInteger TestQueueRuns(HSQUIRRELVM v)
    {
        sq_pushinteger(v, current->renderer.queueRuns);
        current->renderer.queueRuns = 0;
        return 1;
    }
    // Pretends three objects were pushed this frame.
    static SQInteger TestFillStack(HSQUIRRELVM)
    {
        current->renderer.itemStackCount = 3;
        return 0;
    }
    static SQInteger TestStackCount(HSQUIRRELVM v)
    {
        sq_pushinteger(v, current->renderer.itemStackCount);
        return 1;
    }
    static SQInteger TestTexture(HSQUIRRELVM v)
    {
        SqPushSafePtr(v, &current->texture, SqPtrTexture);
        return 1;
    }
    static SQInteger TestFont(HSQUIRRELVM v)
    {
        SqPushSafePtr(v, &current->font, SqPtrRasterFont);
        return 1;
    }
    static SQInteger TestSetStatistics(HSQUIRRELVM v)
    {
        for (int i = 0; i < zRenderer::StatCount; ++i)
            current->renderer.statistics[i] = uint32_t(i + 1);
        SqPushSafePtr(v, &current->renderer, SqPtrRenderer);
        return 1;
    }
    static SQInteger TestStatisticsSum(HSQUIRRELVM v)
    {
        SQInteger sum = 0;
        for (uint32_t counter : current->renderer.statistics)
            sum += counter;
        sq_pushinteger(v, sum);
        return 1;
    }

    static inline RendererScriptTest* current = nullptr;
    RecordingRenderer renderer{&core};
    zTexture texture{&core, "target.tga"};
    zRasterFont font{&core};
};

TEST_F(RendererScriptTest, RendererFunctions)
{
    RunCases("renderer.nut", "script_scene");
    CheckAll({
        {"viewport_half", std::string("0,0,400,600")},
        {"viewport_offset", std::string("200,300,400,150")},
        {"get_viewport", zVector(0.0f, 0.0f, 800.0f, 600.0f)},
        {"get_viewport_of_null", zVector(0.0f, 0.0f, 0.0f, 0.0f)},
        {"clear", std::string("0.25,0.5,0.75,1,0")},
        {"fog", std::string("5,50")},
        {"fog_zero_near_keeps_near", std::string("7,80")},
        {"fog_far_at_least_near", true},
        {"fog_not_a_number_keeps_the_distances", std::string("7,70")},
        {"fog_wrong_class", zScriptError{"invalid instance type"}},
        {"fog_near_of_null", -1.0f},
        {"fog_far_of_null", -1.0f},
        {"control_flag_any_bit", std::string("true,false")},
        {"control_flag_cleared", std::string("false,true")},
        {"control_flag_of_null", false},
        {"view_item_camera", std::string("eye,1")},
        {"view_item_light_refused", std::string("eye,1")},
        {"view_item_null", std::string("none,0")},
        {"draw_cross", std::string("3: 0 2 3>2 2 3 1,1,1,1")},
        {"draw_cross_coloured", std::string("3: -1 0 0>1 0 0 1,0.5,0.25,1")},
        {"draw_line", std::string("1: 1 2 3>4 5 6 default")},
        {"draw_line_coloured", std::string("1: 1 2 3>4 5 6 0.5,0.25,1,1")},
        {"draw_line_wrong_class", zScriptError{"invalid instance type"}},
        {"draw_of_null", std::string("0")},
        {"render_queue", 1},
        {"render_queue_reset", 0},
        {"output_texture", std::string("256x128,800x600")},
        {"statistics", std::string("3,4,5,3")},
        {"statistics_reset", 0},
        {"statistics_of_null", std::string("0,0,0")},
        {"font_metrics", std::string("16,12")},
        {"font_metrics_of_null", std::string("0,0")},
        {"load_missing_font", false},
        {"load_font_of_null", false},
        {"write", std::string("hello@10,20 1.5 aspect 2 1,0.5,0.25,0.75")},
        {"write_without_font", std::string("none")},
        {"constants", std::string("1,2,8,32,0,2,1")},
    });
    EXPECT_EQ(1u, LogCount("Item is not a camera."));
}

// A loaded font belongs to its handle: usable through it, deleted when the
// script lets the handle go.
TEST_F(RendererScriptTest, LoadedFontIsOwnedByItsHandle)
{
    std::string error;
    ASSERT_TRUE(RunText("local f = RendererLoadWriterFont(TestRenderer(), g_data + \"writer_font.zml\",\n"
                        "                                 g_data + \"writer_font\");\n"
                        "__Assert(ObjectIsValid(f), \"loaded\");\n"
                        "__Assert(WriterFontGetLineHeight(f) == 14.0, \"height\");\n"
                        "__Assert(WriterFontGetBaseline(f) == 11.0, \"baseline\");\n"
                        "RendererWrite(TestRenderer(), f, \"A\", 1.0, 2.0, 3.0, false, WriterAlignMiddle,\n"
                        "              Vector(0.5, 0.5, 0.5, 1.0));\n"
                        "written <- TestLastWrite();\n",
                        &error))
        << error;
    EXPECT_FALSE(log.Contains("Assertion failed")) << (log.lines.empty() ? "" : log.lines.back());
    EXPECT_EQ("A@1,2 3 free 1 0.5,0.5,0.5,1", renderer.lastWrite);
    EXPECT_EQ(1u, LogCount("[|] Garbage collected: Raster Font"));
}

// A camera item that is the renderer's view but not the scene's current
// camera: deleting it leaves the renderer without a camera, not with a
// dangling one.
TEST_F(RendererScriptTest, DeletedViewCameraLeavesTheRenderer)
{
    zRenderer* previous = core.renderer;
    core.renderer = &renderer;
    std::string error;
    const bool ran = RunText("local cam = SceneAddCamera(g_scene, \"side\");\n"
                             "RendererSetViewItemAndApplyView(TestRenderer(), CameraGetItem(cam));\n"
                             "SceneDeleteItem(g_scene, CameraGetItem(cam));\n",
                             &error);
    ASSERT_TRUE(ran) << error;
    EXPECT_NE(nullptr, renderer.camera);
    scene->FlushDeletionQueue();
    core.renderer = previous;
    EXPECT_EQ(nullptr, renderer.camera);
    EXPECT_EQ(nullptr, Item("side"));
}

// The output texture set by a script is dropped by the renderer when the
// texture is deleted.
TEST_F(RendererScriptTest, DeletedOutputTextureLeavesTheRenderer)
{
    zRenderer* previous = core.renderer;
    core.renderer = &renderer;
    auto* target = new zTexture(&core, "short_lived.tga");
    sq_pushroottable(v);
    sq_pushstring(v, "target", -1);
    SqPushSafePtr(v, target, SqPtrTexture);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    std::string error;
    const bool ran = RunText("RendererSetOutputTexture(TestRenderer(), target);\n", &error);
    EXPECT_EQ(target, renderer.renderTarget);
    delete target;
    core.renderer = previous;
    ASSERT_TRUE(ran) << error;
    EXPECT_EQ(nullptr, renderer.renderTarget);
}

TEST(RendererFunctionsWrongKind, SuspendsTheVM)
{
    const WrongKindCase cases[] = {
        {"RendererRenderQueue(TestHandle(EngineTypeMixer))", "Expected 'Renderer' (5), got 'Mixer' (7)."},
        {"RendererSetViewItemAndApplyView(TestNullHandle(EngineTypeRenderer), TestHandle(EngineTypeCamera))",
         "Expected 'Item' (23), got 'Camera' (24)."},
        {"RendererSetOutputTexture(TestNullHandle(EngineTypeRenderer), TestHandle(EngineTypePicture))",
         "Expected 'Texture' (31), got 'Picture' (21)."},
        {"WriterFontGetBaseline(TestHandle(EngineTypeTruetypeFont))",
         "Expected 'Raster Font' (10), got 'Truetype Font' (9)."},
    };
    for (const WrongKindCase& c : cases)
        ExpectSuspends(c);
}

} // namespace
