#include "ShaderTestSupport.h"
#include "support/LogCapture.h"

#include "core/material/zMaterial.h"
#include "core/resource/zTexture.h"
#include "core/shader/zShaderMap.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace {

// A stage on a channel, reading UV map 0 unless told otherwise.
void SetStage(zMaterial& m, int32_t index, int32_t channel, zTexture* texture, int8_t uvIndex = 0)
{
    zTextureStage& stage = m.stages[index];
    stage.active = 1;
    stage.channel = channel;
    stage.texture = texture;
    stage.uvSource = zMaterial::UVSourceUVMap;
    stage.uvIndex = uvIndex;
}

struct MaterialCase {
    const char* label;
    std::function<void(zMaterial&, zTexture* opaque, zTexture* clear)> setup;
    const char* expected;
};

// Names the case in test listings and failure messages.
void PrintTo(const MaterialCase& c, std::ostream* out)
{
    *out << c.label;
}

const MaterialCase MaterialCases[] = {
    {"NoStages", [](zMaterial&, zTexture*, zTexture*) {},
     "Normal=0:Nrm_\nDiffuse=1:MatParm0_\nModulate=-\nSpecular=2:MatParm1_\nGlossiness=3:MatParm4_\n"
     "Constant=4:MatParm2_\nOpacity=-\n"},
    {"InactiveStage",
     [](zMaterial& m, zTexture* opaque, zTexture*) {
         SetStage(m, 0, zMaterial::ChannelDiffuse, opaque);
         m.stages[0].active = 0;
     },
     "Normal=0:Nrm_\nDiffuse=1:MatParm0_\nModulate=-\nSpecular=2:MatParm1_\nGlossiness=3:MatParm4_\n"
     "Constant=4:MatParm2_\nOpacity=-\n"},
    {"OpaqueColour", [](zMaterial& m, zTexture* opaque, zTexture*) { SetStage(m, 0, zMaterial::ChannelColor, opaque); },
     "Normal=0:Nrm_\nDiffuse=1:Mul_(2:MatParm0_ 3:Spl2dTT_(4:Tex_opaque.tga 5:UV0_))\nModulate=-\n"
     "Specular=6:MatParm1_\nGlossiness=7:MatParm4_\nConstant=8:MatParm2_\nOpacity=-\n"},
    {"TransparentColourFeedsOpacity",
     [](zMaterial& m, zTexture*, zTexture* clear) { SetStage(m, 0, zMaterial::ChannelColor, clear, 2); },
     "Normal=0:Nrm_\nDiffuse=1:Mul_(2:MatParm0_ 3:Spl2dTT_(4:Tex_clear.tga 5:UV2_))\nModulate=-\n"
     "Specular=6:MatParm1_\nGlossiness=7:MatParm4_\nConstant=8:MatParm2_\nOpacity=9:Swz4000_(@3)\n"},
    {"DiffuseTimesColour",
     [](zMaterial& m, zTexture* opaque, zTexture*) {
         SetStage(m, 0, zMaterial::ChannelColor, opaque);
         SetStage(m, 1, zMaterial::ChannelDiffuse, opaque, 1);
         m.stages[1].wrapU = 0;
     },
     "Normal=0:Nrm_\nDiffuse=1:Mul_(2:Spl2dFT_(3:Tex_opaque.tga 4:UV1_) 5:Spl2dTT_(6:Tex_opaque.tga 7:UV0_))\n"
     "Modulate=-\nSpecular=8:MatParm1_\nGlossiness=9:MatParm4_\nConstant=10:MatParm2_\nOpacity=-\n"},
    {"VertexColour", [](zMaterial& m, zTexture*, zTexture*) { m.flags |= zMaterial::FlagVertexColor; },
     "Normal=0:Nrm_\nDiffuse=1:Mul_(2:MatParm0_ 3:Bld2341_(4:VtxClr_ @4 @4 -))\nModulate=-\nSpecular=5:MatParm1_\n"
     "Glossiness=6:MatParm4_\nConstant=7:MatParm2_\nOpacity=-\n"},
    {"SpecularAndSelfIllumination",
     [](zMaterial& m, zTexture* opaque, zTexture*) {
         SetStage(m, 2, zMaterial::ChannelSpecular, opaque);
         SetStage(m, 3, zMaterial::ChannelSelfIllum, opaque);
         m.stages[3].wrapV = 0;
     },
     "Normal=0:Nrm_\nDiffuse=1:MatParm0_\nModulate=-\nSpecular=2:Spl2dTT_(3:Tex_opaque.tga 4:UV0_)\n"
     "Glossiness=5:MatParm4_\nConstant=6:Spl2dTF_(7:Tex_opaque.tga 8:UV0_)\nOpacity=-\n"},
    {"TangentSpaceNormalMap",
     [](zMaterial& m, zTexture* opaque, zTexture*) {
         SetStage(m, 4, zMaterial::ChannelNormal, opaque);
         m.flags |= zMaterial::FlagNormalMapTangent;
     },
     "Normal=0:Nrmz_(1:Mul_(2:TngFrm_ 3:CToV_(4:Swz1230_(5:Spl2dTT_(6:Tex_opaque.tga 7:UV0_)))))\n"
     "Diffuse=8:MatParm0_\nModulate=-\nSpecular=9:MatParm1_\nGlossiness=10:MatParm4_\nConstant=11:MatParm2_\n"
     "Opacity=-\n"},
    // The n, n, n, n swizzle has no value, which a normalisation refuses.
    {"NormalMapWithoutTangents",
     [](zMaterial& m, zTexture* opaque, zTexture*) { SetStage(m, 4, zMaterial::ChannelNormal, opaque); },
     "Normal=0:Nrmz_(-)\nDiffuse=1:MatParm0_\nModulate=-\nSpecular=2:MatParm1_\nGlossiness=3:MatParm4_\n"
     "Constant=4:MatParm2_\nOpacity=-\n"},
    // Sphere-map coordinates have no block: the sampler has no value.
    {"SphereMappedColour",
     [](zMaterial& m, zTexture* opaque, zTexture*) {
         SetStage(m, 0, zMaterial::ChannelColor, opaque);
         m.stages[0].uvSource = zMaterial::UVSourceLSNormal;
     },
     "Normal=0:Nrm_\nDiffuse=1:Mul_(2:MatParm0_ -)\nModulate=-\nSpecular=3:MatParm1_\nGlossiness=4:MatParm4_\n"
     "Constant=5:MatParm2_\nOpacity=-\n"},
    {"DetailAndVertexColourStagesStayOut",
     [](zMaterial& m, zTexture* opaque, zTexture*) {
         SetStage(m, 0, zMaterial::ChannelDetail, opaque);
         SetStage(m, 1, zMaterial::ChannelVertexColor, opaque);
     },
     "Normal=0:Nrm_\nDiffuse=1:MatParm0_\nModulate=-\nSpecular=2:MatParm1_\nGlossiness=3:MatParm4_\n"
     "Constant=4:MatParm2_\nOpacity=-\n"},
    {"Everything",
     [](zMaterial& m, zTexture* opaque, zTexture* clear) {
         SetStage(m, 0, zMaterial::ChannelColor, clear);
         SetStage(m, 1, zMaterial::ChannelDiffuse, opaque, 1);
         SetStage(m, 2, zMaterial::ChannelSpecular, opaque);
         SetStage(m, 3, zMaterial::ChannelSelfIllum, clear);
         SetStage(m, 4, zMaterial::ChannelNormal, opaque, 2);
         m.flags |= zMaterial::FlagNormalMapTangent | zMaterial::FlagVertexColor;
     },
     "Normal=0:Nrmz_(1:Mul_(2:TngFrm_ 3:CToV_(4:Swz1230_(5:Spl2dTT_(6:Tex_opaque.tga 7:UV2_)))))\n"
     "Diffuse=8:Mul_(9:Mul_(10:Spl2dTT_(11:Tex_opaque.tga 12:UV1_) 13:Spl2dTT_(14:Tex_clear.tga 15:UV0_)) "
     "16:Bld2341_(17:VtxClr_ @17 @17 -))\nModulate=-\nSpecular=18:Spl2dTT_(19:Tex_opaque.tga 20:UV0_)\n"
     "Glossiness=21:MatParm4_\nConstant=22:Spl2dTT_(23:Tex_clear.tga 24:UV0_)\nOpacity=25:Swz4000_(@13)\n"},
};

class MaterialShaderMapTest : public ::testing::TestWithParam<MaterialCase> {
protected:
    MaterialShaderMapTest()
    {
        opaque = Texture("opaque.tga", 0xFF);
        clear = Texture("clear.tga", 0x80);
    }

    // A cached 2x2 texture whose last pixel has the given alpha.
    zTexture* Texture(const char* name, uint8_t lastAlpha)
    {
        auto* texture = new zTexture(&core, name);
        core.GetTextures().Append(texture);
        EXPECT_TRUE(texture->picture.AllocAs(2, 2, PixelFormatARGB32));
        std::memset(texture->picture.pixels, 0xFF, 16);
        texture->picture.pixels[15] = lastAlpha;
        return texture;
    }

    Tavrin core;
    zTexture* opaque;
    zTexture* clear;
};

TEST_P(MaterialShaderMapTest, GeneratesTheMapAndItRoundTrips)
{
    const MaterialCase& c = GetParam();
    zMaterial material(&core);
    c.setup(material, opaque, clear);
    material.CheckStages();
    const int32_t moduleTag = GlobalModuleTag;
    std::unique_ptr<zShaderMap> map(material.AsShaderMap());
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(GlobalModuleTag, moduleTag);
    EXPECT_EQ(DescribeMap(*map), c.expected);
    EXPECT_EQ(map->roots[zShaderMap::Extra], nullptr);

    zMetaFile document;
    document.AddRootTag(map->AsMetaTag(&document));
    std::string text;
    ASSERT_TRUE(zMetaParser::SaveText(&document, text));
    zMetaFile loaded;
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &loaded));
    LogCapture capture;
    zShaderMap back;
    ASSERT_TRUE(back.FromMetaTag(&core, &loaded, loaded.GetFirstRootTag()));
    EXPECT_FALSE(capture.Contains("[!]"));
    EXPECT_EQ(DescribeMap(back), DescribeMap(*map));
}

INSTANTIATE_TEST_SUITE_P(Kinds, MaterialShaderMapTest, ::testing::ValuesIn(MaterialCases),
                         [](const ::testing::TestParamInfo<MaterialCase>& info) {
                             return std::string(info.param.label);
                         });

TEST(MaterialShaderMapEquivalence, MapsCountByContentBeyondWhatTheFieldsGenerate)
{
    Tavrin core;
    const char* custom = "<ZML=1.0>\n<Material=<ShaderMap=<Map=<Entry=<Type=\"Clock\">>><Opacity=<Block=<Index=0>>>>>\n";
    const char* plain = "<ZML=1.0>\n<Material=<Id=\"p\">>\n";
    auto read = [&core](const char* text) {
        zMetaFile document;
        EXPECT_TRUE(zMetaParser::LoadText(text, std::strlen(text), &document));
        auto material = std::make_unique<zMaterial>(&core);
        EXPECT_TRUE(material->FromMetaTag(&document, document.GetFirstRootTag()));
        return material;
    };
    std::unique_ptr<zMaterial> a = read(custom);
    std::unique_ptr<zMaterial> b = read(custom);
    std::unique_ptr<zMaterial> generated = read(plain);
    EXPECT_TRUE(a->IsEquivalent(*b));
    EXPECT_EQ(a->ComputeChecksum(), b->ComputeChecksum());
    EXPECT_FALSE(a->IsEquivalent(*generated));

    // A generated map, a written and read copy of it and no map agree.
    zMaterial none(&core);
    EXPECT_TRUE(generated->IsEquivalent(none));
    std::unique_ptr<zMetaTag> tag(generated->AsMetaTag(nullptr));
    zMaterial copy(&core);
    ASSERT_TRUE(copy.FromMetaTag(nullptr, tag.get()));
    EXPECT_EQ(copy.explicitShaderMap, 1);
    EXPECT_TRUE(copy.IsEquivalent(*generated));
    EXPECT_EQ(copy.ComputeChecksum(), none.ComputeChecksum());
}

} // namespace
