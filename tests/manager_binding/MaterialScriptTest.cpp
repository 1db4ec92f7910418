// Material functions through the engine's VM on materials the test builds,
// with a renderer that counts the material updates it is told about.
#include "MathScriptFixture.h"
#include "SceneScriptFixture.h"

#include "core/material/zMaterial.h"
#include "core/render/zNullRenderer.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "support/LogCapture.h"

#include <memory>
#include <vector>

namespace {

class UpdateCountingRenderer : public zNullRenderer {
public:
    explicit UpdateCountingRenderer(Tavrin* core) : zNullRenderer(core, false) {}
    void UpdateMaterial(zMaterial* material) override { updated.push_back(material); }
    std::vector<zMaterial*> updated;
};

class MaterialScriptTest : public MathScriptTest {
public:
    void SetUp() override
    {
        MathScriptTest::SetUp();
        current = this;
        previousRenderer = core.renderer;
        core.renderer = &renderer;
        SqRegisterFunction(v, TestNewMaterial, "TestNewMaterial", "x|t");
        SqRegisterFunction(v, TestTexture, "TestTexture", "x|t");
        SqRegisterFunction(v, TestKind, "TestKind", "x|tu");
        scenescript::RegisterTestFunctions(v);
    }

    void TearDown() override
    {
        MathScriptTest::TearDown();
        core.renderer = previousRenderer;
        current = nullptr;
    }

    // A material "brick": stage 0 feeds Diffuse with the test texture, stage 1
    // feeds Normal without a texture (inactive); the other stages feed Diffuse
    // too, so the channel table points at stage 0 for it.
    zMaterial* NewMaterial()
    {
        auto material = std::make_unique<zMaterial>(&core);
        material->name = "brick";
        zTextureStage& diffuse = material->stages[0];
        diffuse.channel = zMaterial::ChannelDiffuse;
        diffuse.texture = &texture;
        diffuse.uvIndex = 0;
        diffuse.active = 1;
        zTextureStage& normal = material->stages[1];
        normal.channel = zMaterial::ChannelNormal;
        normal.uvIndex = 0;
        material->CheckStages();
        materials.push_back(std::move(material));
        return materials.back().get();
    }

    static SQInteger TestNewMaterial(HSQUIRRELVM v)
    {
        SqPushSafePtr(v, current->NewMaterial(), SqPtrMaterial);
        return 1;
    }

    static SQInteger TestTexture(HSQUIRRELVM v)
    {
        SqPushSafePtr(v, &current->texture, SqPtrTexture);
        return 1;
    }

    static SQInteger TestKind(HSQUIRRELVM v)
    {
        sq_pushinteger(v, SqGetSafePtrType(v, 2));
        return 1;
    }

    size_t LogCount(const std::string& a, const std::string& b = "") const
    {
        size_t n = 0;
        for (const std::string& line : log.lines)
            n += line.find(a) != std::string::npos && line.find(b) != std::string::npos;
        return n;
    }

    static inline MaterialScriptTest* current = nullptr;
    LogCapture log;
    Tavrin core;
    UpdateCountingRenderer renderer{&core};
    zRenderer* previousRenderer = nullptr;
    zTexture texture{&core, "bricks.tga"};
    std::vector<std::unique_ptr<zMaterial>> materials;
};

zMatrix4 Translated(float x, float y)
{
    zMatrix4 m;
    m.m[3] = x;
    m.m[7] = y;
    return m;
}

TEST_F(MaterialScriptTest, MaterialFunctions)
{
    RunCases("material.nut", "script_material");
    CheckAll({
        {"name", std::string("brick")},
        {"name_of_null", std::string("NULL_Material")},
        {"ambient", zVector(0.1f, 0.2f, 0.3f, 0.4f)},
        {"specular", zVector(0.5f, 0.25f, 0.125f, 0.75f)},
        {"diffuse", zVector(0.9f, 0.8f, 0.7f, 0.6f)},
        {"self_illum", zVector(0.3f, 0.2f, 0.1f, 1.0f)},
        {"diffuse_default", zVector(1.0f, 1.0f, 1.0f, 1.0f)},
        {"colour_of_null", zVector(0.0f, 0.0f, 0.0f, 1.0f)},
        {"self_illum_of_null", zVector(0.0f, 0.0f, 0.0f, 1.0f)},
        {"uv_matrix_default", zMatrix4()},
        {"uv_matrix_set", Translated(2.0f, 3.0f)},
        {"uv_matrix_of_unfed_channel", zMatrix4()},
        {"uv_matrix_wrong_class", zScriptError{"invalid instance type"}},
        {"active", true},
        {"active_inactive_stage", false},
        {"active_cleared", false},
        {"active_without_texture", false},
        {"active_vertex_colour_channel", false},
        {"active_past_last_channel", false},
        {"active_negative_channel", false},
        {"active_huge_channel", true},
        {"active_of_null", false},
        {"texture", true},
        {"texture_cleared", std::string("false,false")},
        {"texture_set", std::string("true,true")},
        {"texture_kind", int(SqPtrTexture)},
        {"texture_of_null", false},
        {"texture_of_unfed_channel", false},
        {"update_of_null", true},
        {"constants", std::string("0,1,2,3,4,5,6,7,8,33,false")},
    });

    // The failures are logged as errors under the function's name.
    const std::string fetch = "Could not fetch texture stage (";
    EXPECT_EQ(1u, LogCount("[!] MaterialChannelGetUVMatrix", fetch + "3) from material 'brick'."));
    EXPECT_EQ(1u, LogCount("[!] MaterialChannelGetActive", fetch + "9) from material 'brick'."));
    EXPECT_EQ(1u, LogCount("[!] MaterialChannelGetActive", fetch + "10) from material 'brick'."));
    EXPECT_EQ(1u, LogCount("[!] MaterialChannelGetActive", fetch + "-1) from material 'brick'."));
    EXPECT_EQ(1u, LogCount("[!] MaterialChannelSetActive", fetch + "2147483647) from material 'brick'."));
    EXPECT_EQ(1u, LogCount("[!] MaterialChannelGetTexture", fetch + "8) from material 'brick'."));
    EXPECT_EQ(1u, LogCount("[!] MaterialChannelSetActive", "Cannot edit NullMaterial properties."));
    EXPECT_EQ(1u, LogCount("[!] MaterialChannelGetActive", "Cannot edit NullMaterial properties."));
    EXPECT_EQ(1u, LogCount("[!] MaterialChannelSetTexture", "Cannot edit NullMaterial properties."));
    EXPECT_EQ(1u, LogCount("[!] MaterialChannelGetTexture", "Cannot edit NullMaterial properties."));
    // Colour setters and the update on the null material say nothing.
    EXPECT_EQ(0u, LogCount("MaterialSetAmbient"));
    EXPECT_EQ(0u, LogCount("MaterialUpdate"));
}

// Stage switches and textures rebuild the material through the renderer; the
// UV matrix and colours are read at the next draw without a rebuild.
TEST_F(MaterialScriptTest, StageChangesUpdateTheMaterial)
{
    zMaterial* material = NewMaterial();
    sq_pushroottable(v);
    sq_pushstring(v, "theMaterial", -1);
    SqPushSafePtr(v, material, SqPtrMaterial);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    const struct {
        const char* call;
        size_t updates;
    } cases[] = {
        {"MaterialSetDiffuse(m, Vector(0.5, 0.5, 0.5, 1.0))", 0},
        {"MaterialChannelSetUVMatrix(m, ChannelDiffuse, Matrix4())", 0},
        {"MaterialChannelSetActive(m, ChannelDiffuse, true)", 1},
        {"MaterialChannelSetTexture(m, TestTexture(), ChannelNormal)", 1},
        {"MaterialChannelSetActive(m, ChannelOpacity, true)", 0},
        {"MaterialUpdate(m)", 1},
        {"MaterialUpdate(NullMaterial)", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        renderer.updated.clear();
        std::string error;
        ASSERT_TRUE(RunText("local m = theMaterial;\n" + std::string(c.call) + ";\n", &error)) << error;
        EXPECT_EQ(c.updates, renderer.updated.size());
        for (zMaterial* updated : renderer.updated)
            EXPECT_EQ(material, updated);
    }
    // The texture set on the Normal channel made its stage active, and the
    // update kept it so.
    EXPECT_EQ(&texture, material->stages[1].texture);
    EXPECT_EQ(1, material->stages[1].active);
}

TEST(MaterialFunctionsWrongKind, SuspendsTheVM)
{
    const WrongKindCase cases[] = {
        {"MaterialGetName(TestHandle(EngineTypeGeometry))", "Expected 'Material' (33), got 'Geometry' (32)."},
        {"MaterialSetDiffuse(TestHandle(EngineTypeTexture), Vector(1, 1, 1))",
         "Expected 'Material' (33), got 'Texture' (31)."},
        {"MaterialChannelSetTexture(NullMaterial, TestHandle(EngineTypeMaterial), 0)",
         "Expected 'Texture' (31), got 'Material' (33)."},
        {"MaterialChannelGetActive(TestHandle(EngineTypeObject), 0)", "Expected 'Material' (33), got 'Object' (25)."},
    };
    for (const WrongKindCase& c : cases)
        ExpectSuspends(c);
}

} // namespace
