#include "GeometryTestSupport.h"
#include "support/LogCapture.h"

#include "core/material/zMaterial.h"
#include "core/material/zPhysicMaterial.h"
#include "core/render/zShaderRecord.h"
#include "core/shader/zShaderBlock.h"
#include "core/shader/zShaderMap.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

TEST(PhysicMaterialTest, DefaultsIncludingTheUnnamedFloatsAtZero)
{
    zPhysicMaterial p;
    EXPECT_EQ(p.mass, 1.0f);
    EXPECT_EQ(p.dynamicFriction, 0.5f);
    EXPECT_EQ(p.staticFriction, 0.75f);
    EXPECT_EQ(p.restitution, 0.1f);
    for (float f : p.reserved)
        EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(p.damping, 0.99f);
    EXPECT_EQ(p.stiffness, 1.0f);
    EXPECT_EQ(p.torsion, 1.0f);
}

TEST(PhysicMaterialTest, ReaderSetsOnlyThePresentChildrenAndTorsionNeedsANonZeroInteger)
{
    struct Case {
        const char* torsion;
        float expected;
    };
    const Case cases[] = {{"1", 1.0f}, {"7", 1.0f}, {"0", 0.0f}, {"1.0", 0.0f}, {"\"1\"", 0.0f}};
    for (const Case& c : cases) {
        ZmlText zml(std::string("<PhysicMaterial=<Mass=2><Restitution=\"x\"><Damping=0.5><Other=1><Torsion=") + c.torsion
                    + ">>");
        ASSERT_TRUE(zml.ok);
        zPhysicMaterial p;
        p.staticFriction = 0.3f;
        ASSERT_TRUE(p.FromMetaTag(&zml.document, zml.Root()));
        EXPECT_EQ(p.mass, 2.0f);
        EXPECT_EQ(p.restitution, -999.0f);
        EXPECT_EQ(p.damping, 0.5f);
        EXPECT_EQ(p.staticFriction, 0.3f) << "nothing is reset";
        EXPECT_EQ(p.torsion, c.expected) << c.torsion;
    }

    LogCapture log;
    ZmlText wrong("<Physic=<Mass=2>>");
    zPhysicMaterial p;
    EXPECT_FALSE(p.FromMetaTag(&wrong.document, wrong.Root()));
    EXPECT_EQ(p.mass, 1.0f);
    EXPECT_TRUE(log.Contains("Could not parse physic material. Root tag id is incorrect (Physic)."));
}

TEST(PhysicMaterialTest, WriterLeavesOutDefaultsExceptFrictionAndRestitution)
{
    zPhysicMaterial defaults;
    std::unique_ptr<zMetaTag> tag(defaults.AsMetaTag(nullptr));
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(TagText(tag.get()),
              "<PhysicMaterial=\n\t<StaticFriction=0.750000>\n\t<DynamicFriction=0.500000>\n\t<Restitution=0.100000>\n>\n");

    zPhysicMaterial changed;
    changed.mass = 3.0f;
    changed.damping = 0.5f;
    changed.stiffness = 2.0f;
    changed.torsion = 0.0f;
    tag.reset(changed.AsMetaTag(nullptr));
    zPhysicMaterial back;
    back.mass = back.damping = back.stiffness = -1.0f;
    ASSERT_TRUE(back.FromMetaTag(nullptr, tag.get()));
    EXPECT_EQ(back.mass, 3.0f);
    EXPECT_EQ(back.damping, 0.5f);
    EXPECT_EQ(back.stiffness, 2.0f);
    EXPECT_EQ(back.torsion, 0.0f);
}

class MaterialTest : public ::testing::Test {
protected:
    MaterialTest() : renderer(&core), material(&core) {}
    ~MaterialTest() override { GlobalDebugChannel = -1; }

    bool Read(const std::string& body)
    {
        zml = std::make_unique<ZmlText>(body);
        return zml->ok && material.FromMetaTag(&zml->document, zml->Root());
    }

    Tavrin core;
    ResourceRenderer renderer;
    zTexture texture{&core, "wall.tga"};
    zTexture bump{&core, "bump.tga"};
    zMaterial material;
    std::unique_ptr<ZmlText> zml;
};

TEST_F(MaterialTest, ConstructionGivesTheResetValues)
{
    EXPECT_EQ(material.diffuse.a, 1.0f);
    EXPECT_EQ(material.selfIllumination.r, 0.0f);
    EXPECT_EQ(material.selfIllumination.a, 1.0f);
    EXPECT_EQ(material.glossiness, 0.4f);
    EXPECT_EQ(material.ior, 1.0f);
    EXPECT_EQ(material.flags, 0u);
    for (const zTextureStage& stage : material.stages) {
        EXPECT_EQ(stage.active, 0);
        EXPECT_EQ(stage.channel, zMaterial::ChannelDiffuse);
        EXPECT_EQ(stage.uvSource, zMaterial::UVSourceUVMap);
        EXPECT_EQ(stage.uvIndex, -1);
        EXPECT_EQ(stage.wrapU, 1);
        EXPECT_EQ(stage.matrix.m[0], 1.0f);
        EXPECT_EQ(stage.matrix.m[5], 1.0f);
    }
    for (const zTextureStage* channel : material.channels)
        EXPECT_EQ(channel, nullptr);
}

TEST_F(MaterialTest, ReaderTakesColoursValuesAndNames)
{
    ASSERT_TRUE(Read("<Material=<Id=\"Stone\"><Diffuse=<R=0.5><G=0.25><B=1><A=0.75>><Self=<R=1><G=1>>"
                     "<Reflection=0.5><IOR=1.5><Opacity=0.25><MaxSmoothingAngle=0.7><Shader=\"bumpy\">"
                     "<PhysicMaterial=<Mass=4>>>"));
    EXPECT_TRUE(material.name == "Stone");
    EXPECT_EQ(material.diffuse.r, 0.5f);
    EXPECT_EQ(material.diffuse.g, 0.25f);
    EXPECT_EQ(material.diffuse.b, 1.0f);
    EXPECT_EQ(material.diffuse.a, 0.75f);
    EXPECT_EQ(material.selfIllumination.r, 1.0f);
    EXPECT_EQ(material.selfIllumination.g, 1.0f);
    EXPECT_EQ(material.selfIllumination.b, 0.0f) << "missing components keep their value";
    EXPECT_EQ(material.reflection, 0.5f);
    EXPECT_EQ(material.ior, 1.5f);
    EXPECT_EQ(material.opacity, 0.25f);
    EXPECT_EQ(material.maxSmoothingAngle, 0.7f);
    EXPECT_TRUE(material.shader == "bumpy");
    EXPECT_EQ(material.physicMaterial.mass, 4.0f);
    EXPECT_EQ(material.transparent, 1) << "diffuse alpha below 1";
    EXPECT_EQ(renderer.Count("UpdateMaterial"), 1);
}

TEST_F(MaterialTest, ReaderRefusesAnotherRootAndWarnsOfUnknownChildren)
{
    LogCapture log;
    material.glossiness = 3.0f;
    EXPECT_FALSE(Read("<Mat=<Glossiness=1>>"));
    EXPECT_TRUE(log.Contains("[!] zMaterial::FromMetaTag ("));
    EXPECT_TRUE(log.Contains("Could not parse material. Root tag id is incorrect (Mat)."));
    EXPECT_EQ(material.glossiness, 3.0f);

    EXPECT_TRUE(Read("<Material=<Id=\"m\"><Colour=1>>"));
    EXPECT_TRUE(log.Contains("[*] zMaterial::FromMetaTag ("));
    EXPECT_TRUE(log.Contains("Unknown tag 'Colour' in <Material>."));
}

TEST_F(MaterialTest, GlossinessIsKeptWithinItsRange)
{
    struct Case {
        const char* value;
        float expected;
    };
    const Case cases[] = {{"0", 0.0001f}, {"100", 16.0f}, {"2.5", 2.5f}, {"\"shiny\"", 0.0001f}, {"16", 16.0f}};
    for (const Case& c : cases) {
        ASSERT_TRUE(Read(std::string("<Material=<Glossiness=") + c.value + ">>")) << c.value;
        EXPECT_EQ(material.glossiness, c.expected) << c.value;
    }
}

TEST_F(MaterialTest, RenderMaskReadsEveryNameAndTheOldSpellings)
{
    struct Case {
        const char* child;
        uint32_t flag;
    };
    const Case cases[] = {
        {"Lit", 1},          {"Smoothing", 2},          {"Additive", 4},         {"DoubleSided", 8},
        {"Wireframe", 16},   {"VertexColor", 32},       {"RGB", 32},             {"SoftBody", 64},
        {"Subtractive", 128}, {"Substractive", 128},    {"ForceVertexNormal", 256}, {"NormalMapTangent", 1024},
        {"ParralaxDisp", 4096}, {"NoZWrite", 8192},     {"NoZTest", 16384},      {"NoFog", 65536},
        {"FixedFunction", 131072},
    };
    for (const Case& c : cases) {
        material.flags = 0xFFFFFFFF;
        ASSERT_TRUE(Read(std::string("<Material=<RenderMask=<") + c.child + ">>>"));
        EXPECT_EQ(material.flags, c.flag) << c.child;
    }

    LogCapture log;
    ASSERT_TRUE(Read("<Material=<Id=\"m\"><RenderMask=<Lit><Shiny><Wireframe>>>"));
    EXPECT_EQ(material.flags, 17u);
    EXPECT_TRUE(log.Contains("Unknown tag 'Shiny' in material 'm'."));
}

TEST_F(MaterialTest, WriterSpellsEveryFlagOneWayInTableOrder)
{
    ASSERT_TRUE(Read("<Material=<Id=\"m\"><RenderMask=<Substractive><RGB><Lit>>>"));
    std::unique_ptr<zMetaTag> tag(material.AsMetaTag(nullptr));
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(TagText(tag->GetTag("RenderMask;")), "<RenderMask=\n\t<Lit>\n\t<VertexColor>\n\t<Subtractive>\n>\n");
}

TEST_F(MaterialTest, StageChildrenSetTheStageAndBadIndexesSkipIt)
{
    LogCapture log;
    ASSERT_TRUE(Read("<Material=<Id=\"m\">"
                     "<TextureStage=<Active=1><Index=2><Channel=\"Normal\"><UV=1><NoWrapU><Operator=\"Add\">"
                     "<UVSource=\"FrontMap\">>"
                     "<TextureStage=<Index=3><Channel=\"Bogus\"><UV=\"one\"><Operator=\"Divide\"><UVSource=\"Sky\">>"
                     "<TextureStage=<Index=6><Active=1>>"
                     "<TextureStage=<Index=1.0><Active=1>>"
                     "<TextureStage=<Active=1>>>"));
    const zTextureStage& normal = material.stages[2];
    EXPECT_EQ(normal.active, 1) << "a FrontMap stage needs neither a UV map nor a texture";
    EXPECT_EQ(normal.channel, zMaterial::ChannelNormal);
    EXPECT_EQ(normal.uvIndex, 1);
    EXPECT_EQ(normal.wrapU, 0);
    EXPECT_EQ(normal.wrapV, 1);
    EXPECT_EQ(normal.operation, zMaterial::OperatorAdd);
    EXPECT_EQ(normal.uvSource, zMaterial::UVSourceFrontMap);
    EXPECT_EQ(material.channels[zMaterial::ChannelNormal], &normal);

    const zTextureStage& bad = material.stages[3];
    EXPECT_EQ(bad.channel, zMaterial::ChannelDiffuse) << "an unknown channel keeps the previous one";
    EXPECT_EQ(bad.uvIndex, 25);
    EXPECT_EQ(bad.operation, zMaterial::OperatorNone);
    EXPECT_EQ(bad.uvSource, zMaterial::UVSourceUVMap);
    EXPECT_TRUE(log.Contains("Unknown channel for texture stage 3 of material 'm'."));
    EXPECT_TRUE(log.Contains("Unknown UV source for texture stage 3 of material 'm'."));
    EXPECT_TRUE(log.Contains("Illegal texture stage index 6 in material 'm'."));
    int illegalTypes = 0;
    for (const std::string& line : log.lines)
        illegalTypes += line.find("Illegal index tag type in material 'm'.") != std::string::npos;
    EXPECT_EQ(illegalTypes, 2) << "a float index and a missing one";
    for (int i : {0, 1, 4, 5})
        EXPECT_EQ(material.stages[i].active, 0) << i;
}

TEST_F(MaterialTest, StageCheckDeactivatesStagesThatCannotWork)
{
    struct Case {
        int8_t uvIndex;
        int32_t uvSource;
        bool hasTexture;
        bool staysActive;
        const char* message;
    };
    const Case cases[] = {
        {0, zMaterial::UVSourceUVMap, true, true, nullptr},
        {2, zMaterial::UVSourceUVMap, true, true, nullptr},
        {-1, zMaterial::UVSourceUVMap, true, false, "[*] Invalid UVmap index in material 'm', stage deactivated."},
        {3, zMaterial::UVSourceUVMap, true, false, "[*] Invalid UVmap index in material 'm', stage deactivated."},
        {1, zMaterial::UVSourceUVMap, false, false, "[*] No stage texture in material 'm', stage deactivated."},
        {-1, zMaterial::UVSourceLSNormal, false, true, nullptr},
        {9, zMaterial::UVSourceFrontMap, false, true, nullptr},
    };
    material.name = "m";
    for (const Case& c : cases) {
        LogCapture log;
        zTextureStage& stage = material.stages[4];
        stage.active = 1;
        stage.uvIndex = c.uvIndex;
        stage.uvSource = c.uvSource;
        stage.texture = c.hasTexture ? &texture : nullptr;
        material.CheckStages();
        EXPECT_EQ(stage.active != 0, c.staysActive) << int(c.uvIndex);
        if (c.message != nullptr) {
            ASSERT_EQ(log.lines.size(), 1u);
            EXPECT_EQ(log.lines[0], std::string(c.message) + "\n");
        } else {
            EXPECT_TRUE(log.lines.empty());
        }
        const bool marks = c.staysActive && c.uvSource == zMaterial::UVSourceUVMap;
        for (int uv = 0; uv < zMaterial::UVMapCount; ++uv)
            EXPECT_EQ(material.uvMapsUsed[uv], marks && uv == c.uvIndex ? 1 : 0) << int(c.uvIndex) << " " << uv;
    }
}

TEST_F(MaterialTest, ChannelTablePointsToTheLowestStageOfEachChannelActiveOrNot)
{
    material.stages[1].channel = zMaterial::ChannelSpecular;
    material.stages[3].channel = zMaterial::ChannelSpecular;
    material.stages[3].active = 1;
    material.stages[3].uvSource = zMaterial::UVSourceLSNormal;
    for (int i : {0, 2, 4, 5})
        material.stages[i].channel = zMaterial::ChannelReflection;
    material.CheckStages();
    EXPECT_EQ(material.channels[zMaterial::ChannelSpecular], &material.stages[1]);
    EXPECT_EQ(material.channels[zMaterial::ChannelReflection], &material.stages[0]);
    EXPECT_EQ(material.channels[zMaterial::ChannelDiffuse], nullptr);
}

TEST_F(MaterialTest, TransparencyFromFlagsAlphaOrAnActiveOpacityStage)
{
    struct Case {
        uint32_t flags;
        float alpha;
        int opacityStage;  // -1 none, 0 inactive, 1 active
        bool transparent;
    };
    const Case cases[] = {
        {0, 1.0f, -1, false}, {0, 0.5f, -1, true}, {zMaterial::FlagAdditive, 1.0f, -1, true},
        {zMaterial::FlagSubtractive, 1.0f, -1, true}, {0, 1.0f, 0, false}, {0, 1.0f, 1, true},
    };
    for (const Case& c : cases) {
        material.Reset();
        material.flags = c.flags;
        material.diffuse.a = c.alpha;
        if (c.opacityStage >= 0) {
            zTextureStage& stage = material.stages[2];
            stage.channel = zMaterial::ChannelOpacity;
            stage.active = uint8_t(c.opacityStage);
            stage.uvIndex = 0;
            stage.texture = &texture;
        }
        material.Update();
        EXPECT_EQ(material.transparent != 0, c.transparent) << c.flags << " " << c.alpha << " " << c.opacityStage;
    }
}

// The check runs before the transparency so that a stage the check turns off
// no longer makes the material transparent, and one read from a file counts
// at once.
TEST_F(MaterialTest, TransparencyFollowsTheStagesThatSurviveTheCheck)
{
    LogCapture log;
    zTextureStage& stage = material.stages[0];
    stage.channel = zMaterial::ChannelOpacity;
    stage.active = 1;
    stage.uvIndex = 0;
    material.Update();
    EXPECT_EQ(stage.active, 0) << "no texture";
    EXPECT_EQ(material.transparent, 0);

    ASSERT_TRUE(Read("<Material=<TextureStage=<Index=0><Channel=\"Opacity\"><Active=1><UVSource=\"LSNormal\">>>"));
    EXPECT_EQ(material.transparent, 1);
}

TEST_F(MaterialTest, SetupCallsTheRendererWithTheEngineModuleTag)
{
    GlobalModuleTag = 5;
    material.Setup();
    EXPECT_EQ(renderer.calls, (std::vector<std::string>{"SetupMaterial", "UpdateMaterial"}));
    EXPECT_EQ(renderer.moduleTags, (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(GlobalModuleTag, 5);
    GlobalModuleTag = 0;
}

TEST_F(MaterialTest, DebugChannelShowsThatChannelsTextureAlone)
{
    struct Case {
        int32_t channel;
        bool isolated;
    };
    // 6 is the active normal stage; 4 has an inactive stage; 8 has none; the
    // rest lie outside the table and are ignored.
    const Case cases[] = {{6, true}, {4, false}, {8, false}, {-1, false}, {10, false}, {1000, false}, {-7, false}};
    for (const Case& c : cases) {
        material.Reset();
        material.shader = "fancy";
        material.diffuse = {0.2f, 0.3f, 0.4f, 1.0f};
        zTextureStage& base = material.stages[0];
        base.active = 1;
        base.uvIndex = 0;
        base.texture = &texture;
        zTextureStage& normal = material.stages[3];
        normal.active = 1;
        normal.channel = zMaterial::ChannelNormal;
        normal.uvIndex = 1;
        normal.wrapV = 0;
        normal.texture = &bump;
        material.stages[5].channel = zMaterial::ChannelSpecular;
        material.stages[5].texture = &texture;

        GlobalDebugChannel = c.channel;
        material.Setup();
        if (c.isolated) {
            EXPECT_EQ(material.stages[0].texture, &bump);
            EXPECT_EQ(material.stages[0].channel, zMaterial::ChannelColor);
            EXPECT_EQ(material.stages[0].active, 1);
            EXPECT_EQ(material.stages[0].uvIndex, 1);
            EXPECT_EQ(material.stages[0].wrapV, 0);
            for (int i = 1; i < zMaterial::StageCount; ++i)
                EXPECT_EQ(material.stages[i].active, 0) << i;
            EXPECT_EQ(material.diffuse.r, 1.0f);
            EXPECT_EQ(material.specular.r, 0.0f);
            EXPECT_EQ(material.specular.a, 1.0f);
            EXPECT_TRUE(material.shader.IsEmpty());
        } else {
            EXPECT_EQ(material.stages[0].texture, &texture) << c.channel;
            EXPECT_EQ(material.stages[3].active, 1) << c.channel;
            EXPECT_EQ(material.diffuse.r, 0.2f) << c.channel;
            EXPECT_TRUE(material.shader == "fancy") << c.channel;
        }
    }
}

TEST_F(MaterialTest, WriterLeavesOutDefaultsAndReadsBackEqual)
{
    std::unique_ptr<zMetaTag> plain(material.AsMetaTag(nullptr));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(TagText(plain.get()), "<Material=\n\t<Id=\"\">\n\t<PhysicMaterial=\n\t\t<StaticFriction=0.750000>\n"
                                    "\t\t<DynamicFriction=0.500000>\n\t\t<Restitution=0.100000>\n\t>\n>\n");

    material.name = "Full";
    material.diffuse = {0.1f, 0.2f, 0.3f, 0.4f};
    material.specular = {0.5f, 0.5f, 0.5f, 1.0f};
    material.ambient = {0.0f, 1.0f, 0.0f, 1.0f};
    material.selfIllumination = {0.25f, 0.0f, 0.0f, 1.0f};
    material.glossiness = 8.0f;
    material.opacity = 0.5f;
    material.reflection = 0.125f;
    material.ior = 1.33f;
    material.maxSmoothingAngle = 0.5f;
    material.flags = zMaterial::FlagLit | zMaterial::FlagNoFog | zMaterial::FlagFixedFunction;
    material.shader = "glass";
    material.physicMaterial.restitution = 0.8f;
    material.Update();
    // As a material read from a file, it carries the map its fields generate.
    material.shaderMap = material.AsShaderMap();
    std::unique_ptr<zMetaTag> tag(material.AsMetaTag(nullptr));
    ASSERT_NE(tag, nullptr);

    zMaterial back(&core);
    ASSERT_TRUE(back.FromMetaTag(nullptr, tag.get()));
    EXPECT_TRUE(back.name == "Full");
    EXPECT_TRUE(back.IsEquivalent(material));
    EXPECT_EQ(back.ComputeChecksum(), material.ComputeChecksum());
    std::unique_ptr<zMetaTag> again(back.AsMetaTag(nullptr));
    EXPECT_EQ(TagText(again.get()), TagText(tag.get()));
}

TEST_F(MaterialTest, WriterListsStagesWithATextureAndRefusesBogusValues)
{
    material.name = "m";
    zTextureStage& stage = material.stages[1];
    stage.texture = &texture;
    stage.active = 1;
    stage.uvIndex = 2;
    stage.wrapU = 0;
    stage.wrapV = 0;
    stage.operation = zMaterial::OperatorMultiply;
    stage.channel = zMaterial::ChannelSelfIllum;
    stage.uvSource = zMaterial::UVSourceLSNormal;
    material.stages[4].active = 1;  // no texture: not written
    zTextureStage& bogus = material.stages[5];
    bogus.texture = &bump;
    bogus.channel = 12;
    bogus.uvSource = 7;

    LogCapture log;
    std::unique_ptr<zMetaTag> tag(material.AsMetaTag(nullptr));
    ASSERT_NE(tag, nullptr);
    int stages = 0;
    for (const zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling())
        stages += child->GetName() == "TextureStage";
    EXPECT_EQ(stages, 2);
    EXPECT_EQ(TagText(tag->GetTag("TextureStage;")),
              "<TextureStage=\n\t<Index=1>\n\t<Active=1>\n\t<Texture=\"wall.tga\">\n\t<UV=2>\n\t<NoWrapU>\n\t<NoWrapV>\n"
              "\t<Operator=\"Multiply\">\n\t<Channel=\"SelfIllum\">\n\t<UVSource=\"LSNormal\">\n>\n");
    int bogusLines = 0;
    for (const std::string& line : log.lines)
        bogusLines += line.find("Bogus channel in texture stage 5 material 'm'.") != std::string::npos;
    EXPECT_EQ(bogusLines, 2);
    const zMetaTag* last = tag->GetChildren().GetAs<zMetaTag>(tag->GetChildCount() - 1);
    EXPECT_EQ(last->GetTag("Channel;"), nullptr);
    EXPECT_EQ(last->GetTag("UVSource;"), nullptr);
}

TEST_F(MaterialTest, StageTexturesComeThroughTheTextureCache)
{
    LogCapture log;
    ASSERT_TRUE(Read("<Material=<Id=\"m\">"
                     "<TextureStage=<Index=0><Texture=\"no/such/wall.tga\"><Active=1><UV=0>>"
                     "<TextureStage=<Index=1><Channel=\"Normal\"><Texture=\"no/such/bump.tga\"><Active=1><UV=1>>"
                     "<TextureStage=<Index=2><Channel=\"Reflection\"><Texture=\"no/such/sky.tga\"><UV=0>>"
                     "<TextureStage=<Index=3><Channel=\"Detail\"><Texture=\"no/such/wall.tga\"><UV=2>>"
                     "<TextureStage=<Index=4><Texture=5>>>"));
    zTexture* wall = material.stages[0].texture;
    ASSERT_NE(wall, nullptr);
    EXPECT_TRUE(wall->id == "no/such/wall.tga");
    EXPECT_EQ(material.stages[3].texture, wall) << "one cached texture per name";
    EXPECT_EQ(core.GetTextures().GetCount(), 3);
    EXPECT_EQ(wall->priority, 0.5f);
    EXPECT_EQ(wall->flags & zMaterial::TextureFlagNormalMap, 0u);
    const zTexture* bump = material.stages[1].texture;
    ASSERT_NE(bump, nullptr);
    EXPECT_EQ(bump->flags & zMaterial::TextureFlagNormalMap, zMaterial::TextureFlagNormalMap);
    EXPECT_FLOAT_EQ(bump->priority, 0.75f);
    ASSERT_NE(material.stages[2].texture, nullptr);
    EXPECT_FLOAT_EQ(material.stages[2].texture->priority, 0.6f);
    EXPECT_EQ(material.stages[4].texture, nullptr) << "a texture that is not a string";
    EXPECT_EQ(material.stages[0].active, 1) << "a stage with a texture and a UV map passes the check";
    EXPECT_EQ(material.stages[1].active, 1);
    EXPECT_EQ(material.uvMapsUsed[0], 1);
    EXPECT_EQ(material.uvMapsUsed[1], 1);
    EXPECT_EQ(material.uvMapsUsed[2], 0) << "stage 3 is inactive";
    EXPECT_EQ(renderer.Count("SetupTexture"), 0) << "set-up waits for the resources' set-up";

    // Written and read back, every stage names the same cached texture.
    std::unique_ptr<zMetaTag> tag(material.AsMetaTag(nullptr));
    zMaterial back(&core);
    ASSERT_TRUE(back.FromMetaTag(nullptr, tag.get()));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(back.stages[i].texture, material.stages[i].texture) << i;
    EXPECT_EQ(core.GetTextures().GetCount(), 3);
    back.stages[1].texture = nullptr;
    material.stages[1].texture = nullptr;
    EXPECT_TRUE(back.IsEquivalent(material));
}

TEST_F(MaterialTest, ShaderLibraryIsLoadedWhenReadAndNamedWhenWritten)
{
    LogCapture log;
    ASSERT_TRUE(Read("<Material=<Id=\"m\"><ShaderLibrary=\"no/such/library.zml\"><Shader=\"Glass\">>"));
    EXPECT_TRUE(log.Contains("Loading shader library 'no/such/library.zml'"));
    EXPECT_TRUE(material.shader == "Glass");

    std::unique_ptr<zMetaTag> plain(material.AsMetaTag(nullptr));
    EXPECT_EQ(plain->GetTag("ShaderLibrary;"), nullptr) << "no loaded shader of that name";

    auto* record = new zShaderRecord("Glass");
    record->library = renderer.shaderLibraries.Add(zString("shaders/glass.zml"));
    renderer.shaders.Append(record);
    std::unique_ptr<zMetaTag> tag(material.AsMetaTag(nullptr));
    ASSERT_NE(tag->GetTag("ShaderLibrary;"), nullptr);
    EXPECT_STREQ(tag->GetTag("ShaderLibrary;")->GetString(), "shaders/glass.zml");
    const zMetaTag* library = tag->GetTag("ShaderLibrary;");
    EXPECT_EQ(library->GetNextSibling(), tag->GetTag("Shader;")) << "the library comes first";
}

TEST_F(MaterialTest, EquivalenceIgnoresNamesAndRendererRecordsButNotContent)
{
    zMaterial other(&core);
    material.name = "a";
    other.name = "b";
    other.rendererData = &other;
    EXPECT_TRUE(material.IsEquivalent(other));
    EXPECT_EQ(material.ComputeChecksum(), other.ComputeChecksum());

    const auto differs = [&](auto change) {
        zMaterial changed(&core);
        change(changed);
        return !material.IsEquivalent(changed) && material.ComputeChecksum() != changed.ComputeChecksum();
    };
    EXPECT_TRUE(differs([](zMaterial& m) { m.diffuse.g = 0.5f; }));
    EXPECT_TRUE(differs([](zMaterial& m) { m.flags = zMaterial::FlagWireframe; }));
    EXPECT_TRUE(differs([](zMaterial& m) { m.shader = "x"; }));
    EXPECT_TRUE(differs([](zMaterial& m) { m.physicMaterial.mass = 2.0f; }));
    EXPECT_TRUE(differs([&](zMaterial& m) { m.stages[5].texture = &texture; }));
    EXPECT_TRUE(differs([](zMaterial& m) { m.stages[0].matrix.m[3] = 1.0f; }));
    other.rendererData = nullptr;
}

TEST_F(MaterialTest, ShaderMapIsKeptAndWrittenBackUnchanged)
{
    const char* map = "<ShaderMap=<Map=<Entry=<Type=\"Color\"><Param=<Color=<X=0.5><Y=0.25><Z=1.0><W=1.0>>>>>"
                      "<Diffuse=<Block=<Index=0>>>>";
    ASSERT_TRUE(Read(std::string("<Material=<Id=\"m\">") + map + ">"));
    ASSERT_NE(material.shaderMap, nullptr);
    std::unique_ptr<zMetaTag> tag(material.AsMetaTag(nullptr));
    ZmlText expected(map);
    EXPECT_EQ(TagText(tag->GetTag("ShaderMap;")), TagText(expected.Root()));

    ASSERT_TRUE(Read("<Material=<Id=\"n\">>"));
    ASSERT_NE(material.shaderMap, nullptr) << "without a map one is generated";
    EXPECT_EQ(material.explicitShaderMap, 0);
    ASSERT_NE(material.shaderMap->roots[zShaderMap::Diffuse], nullptr);
    EXPECT_STREQ(material.shaderMap->roots[zShaderMap::Diffuse]->GetId().Get(), "MatParm0_");
}

TEST_F(MaterialTest, FreeReleasesTheRendererRecordAndTheNames)
{
    material.name = "m";
    material.shader = "s";
    material.rendererData = &material;
    material.Free();
    EXPECT_EQ(renderer.Count("FreeMaterial"), 1);
    EXPECT_EQ(material.rendererData, nullptr);
    EXPECT_TRUE(material.name.IsEmpty());
    EXPECT_TRUE(material.shader.IsEmpty());
    {
        zMaterial temporary(&core);
    }
    EXPECT_EQ(renderer.Count("FreeMaterial"), 2) << "the destructor frees too";
}

} // namespace
