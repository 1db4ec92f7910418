#include "ShaderTestSupport.h"
#include "support/LogCapture.h"

#include "core/material/zMaterial.h"
#include "core/resource/zTexture.h"
#include "core/shader/StreamBlocks.h"
#include "core/shader/zShaderBlocks.h"
#include "core/shader/zShaderMap.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace zShaderValue;

class ShaderMapTest : public ::testing::Test {
protected:
    ShaderMapTest()
    {
        texture = new zTexture(&core, "wall.tga");
        core.GetTextures().Append(texture);
    }

    // Writes the map as ZML text and reads it back into a new map.
    std::unique_ptr<zShaderMap> RoundTrip(const zShaderMap& map, std::string* text = nullptr)
    {
        zMetaFile document;
        zMetaTag* tag = map.AsMetaTag(&document);
        EXPECT_NE(tag, nullptr);
        document.AddRootTag(tag);
        std::string written;
        EXPECT_TRUE(zMetaParser::SaveText(&document, written));
        if (text != nullptr)
            *text = written;
        return Read(written);
    }

    std::unique_ptr<zShaderMap> Read(const std::string& text, bool expectRead = true)
    {
        zMetaFile loaded;
        EXPECT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &loaded, "map.zml")) << text;
        auto map = std::make_unique<zShaderMap>();
        EXPECT_EQ(map->FromMetaTag(&core, &loaded, loaded.GetFirstRootTag()), expectRead);
        return map;
    }

    template <class T, class... Args>
    T* Make(Args... args)
    {
        return new T(args...);
    }

    Tavrin core;
    zTexture* texture;
};

// Connects an input, failing the test when the block refuses it.
zShaderBlock* Connect(zShaderBlock* block, std::initializer_list<zShaderBlock*> inputs)
{
    uint32_t i = 0;
    for (zShaderBlock* input : inputs) {
        EXPECT_TRUE(block->SetInput(i, input)) << block->GetDisplayName().Get() << " input " << i;
        ++i;
    }
    return block;
}

TEST_F(ShaderMapTest, AGraphOfEveryBlockTypeRoundTrips)
{
    zShaderMap map;
    auto* uv = Make<zUVStreamShaderBlock>(1);
    auto* tex = Make<zTextureShaderBlock>(texture);
    auto* sampler = Make<zSampler2DShaderBlock>();
    sampler->wrapV = 0;
    Connect(sampler, {tex, uv});
    auto* clock = Make<zClockShaderBlock>();
    auto* view = Make<zViewVectorShaderBlock>();
    auto* normal = Make<NormalStreamBlock>();
    auto* colour = Make<zColorShaderBlock>();
    colour->colour[0] = 0.5f;
    colour->colour[3] = 0.25f;
    auto* constant = Make<zConstantShaderBlock>();
    constant->kind = Vector4;
    constant->value[1] = -2.0f;
    auto* number = Make<zConstantShaderBlock>();
    number->kind = Float;
    number->value[0] = 3.0f;
    auto* unpack = Connect(Make<zUnpackColorShaderBlock>(), {new zSwizzleShaderBlock(sampler, 1, 2, 3, 0)});
    map.roots[zShaderMap::Normal] =
        Connect(Make<zNormalizeShaderBlock>(), {Connect(Make<zMultiplyShaderBlock>(),
                                                        {Make<zTangentFrameShaderBlock>(), unpack})});
    map.roots[zShaderMap::Diffuse] =
        Connect(Make<zMixShaderBlock>(),
                {Connect(Make<zMultiplyShaderBlock>(), {sampler, colour}),
                 Connect(Make<zAddShaderBlock>(), {constant, Make<zMaterialParameterShaderBlock>(0)}),
                 Connect(Make<zSinusShaderBlock>(), {clock})});
    map.roots[zShaderMap::Modulate] = new zBuildShaderBlock(
        Make<zVertexColorStreamShaderBlock>(), zBuildShaderBlock::ModeX,
        Connect(Make<zPowShaderBlock>(), {Connect(Make<zCosinusShaderBlock>(), {clock}), number}),
        zBuildShaderBlock::ModeX, Connect(Make<zDotShaderBlock>(), {view, normal}), zBuildShaderBlock::ModeY,
        Make<zScreenUVShaderBlock>(), zBuildShaderBlock::ModeOne);
    map.roots[zShaderMap::Specular] = Connect(
        Make<zClampShaderBlock>(),
        {Connect(Make<zSubtractShaderBlock>(),
                 {Make<zMaterialParameterShaderBlock>(1), Connect(Make<zDivideShaderBlock>(), {colour, constant})}),
         constant, colour});
    map.roots[zShaderMap::Glossiness] = Make<zMaterialParameterShaderBlock>(4);
    map.roots[zShaderMap::Constant] =
        Connect(Make<zPackVectorShaderBlock>(), {Connect(Make<zCrossShaderBlock>(), {view, normal})});
    map.roots[zShaderMap::Opacity] = new zSwizzleShaderBlock(
        Connect(Make<zMultiplyShaderBlock>(), {Make<VertexStreamBlock>(), Make<SkinningMatrixBlock>()}), 4, 0, 0, 0);
    for (int channel = 0; channel < zShaderMap::StoredChannelCount; ++channel)
        ASSERT_NE(map.roots[channel]->GetOutputType(), None) << channel;

    LogCapture capture;
    std::unique_ptr<zShaderMap> back = RoundTrip(map);
    EXPECT_EQ(DescribeMap(*back), DescribeMap(map));
    EXPECT_FALSE(capture.Contains("[!]"));
    EXPECT_FALSE(capture.Contains("[*]"));
    for (int channel = 0; channel < zShaderMap::StoredChannelCount; ++channel)
        EXPECT_EQ(back->roots[channel]->GetOutputType(), map.roots[channel]->GetOutputType());
}

TEST_F(ShaderMapTest, ASharedBlockIsWrittenOnceAndReadBackShared)
{
    zShaderMap map;
    auto* shared = Make<zMaterialParameterShaderBlock>(2);
    map.roots[zShaderMap::Diffuse] = shared;
    map.roots[zShaderMap::Constant] = Connect(Make<zAddShaderBlock>(), {shared, shared});
    std::string text;
    std::unique_ptr<zShaderMap> back = RoundTrip(map, &text);

    zMetaFile document;
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &document));
    EXPECT_EQ(document.GetTag("ShaderMap:Map")->GetChildCount(), 2);
    EXPECT_EQ(document.GetInt("ShaderMap:Diffuse:Block:Index", -1), 0);
    EXPECT_EQ(document.GetInt("ShaderMap:Constant:Block:Index", -1), 1);
    EXPECT_STREQ(document.GetString("ShaderMap:Map:Entry:Type"), "Material Parameter");
    EXPECT_EQ(document.GetInt("ShaderMap:Map:Entry:Param:Param", -1), 2);

    ASSERT_NE(back->roots[zShaderMap::Diffuse], nullptr);
    EXPECT_EQ(back->roots[zShaderMap::Constant]->GetInput(0), back->roots[zShaderMap::Diffuse]);
    EXPECT_EQ(back->roots[zShaderMap::Constant]->GetInput(1), back->roots[zShaderMap::Diffuse]);
}

TEST_F(ShaderMapTest, AnUnconnectedInputBetweenConnectedOnesKeepsItsPlace)
{
    zShaderMap map;
    auto* x = Make<zClockShaderBlock>();
    auto* w = Make<zClockShaderBlock>();
    map.roots[zShaderMap::Diffuse] = new zBuildShaderBlock(x, 2, nullptr, 1, nullptr, 0, w, 2);
    std::string text;
    std::unique_ptr<zShaderMap> back = RoundTrip(map, &text);
    EXPECT_NE(text.find("<None>"), std::string::npos) << text;
    const zShaderBlock* build = back->roots[zShaderMap::Diffuse];
    ASSERT_NE(build, nullptr);
    EXPECT_NE(build->GetInput(0), nullptr);
    EXPECT_EQ(build->GetInput(1), nullptr);
    EXPECT_EQ(build->GetInput(2), nullptr);
    EXPECT_NE(build->GetInput(3), nullptr);
    EXPECT_STREQ(build->GetId().Get(), "Bld2102_");
}

TEST_F(ShaderMapTest, TheExtraRootIsNeitherWrittenNorReadButIsOwned)
{
    zShaderMap map;
    map.roots[zShaderMap::Extra] = Make<zClockShaderBlock>();
    map.roots[zShaderMap::Opacity] = Make<zClockShaderBlock>();
    std::unique_ptr<zShaderMap> back = RoundTrip(map);
    EXPECT_EQ(back->roots[zShaderMap::Extra], nullptr);
    EXPECT_NE(back->roots[zShaderMap::Opacity], nullptr);
}

// Counts its deletions.
class CountedBlock : public zClockShaderBlock {
public:
    explicit CountedBlock(int* deletions) : deleted(deletions) {}
    ~CountedBlock() override { ++*deleted; }
    int* deleted;
};

TEST_F(ShaderMapTest, ClearDeletesASharedBlockOnce)
{
    int deletions = 0;
    {
        zShaderMap map;
        auto* shared = new CountedBlock(&deletions);
        map.roots[zShaderMap::Glossiness] = shared;
        map.roots[zShaderMap::Extra] = shared;
        map.roots[zShaderMap::Diffuse] = Connect(Make<zPowShaderBlock>(), {shared, shared});
        map.Clear();
        EXPECT_EQ(deletions, 1);
        for (const zShaderBlock* root : map.roots)
            EXPECT_EQ(root, nullptr);
        map.roots[zShaderMap::Normal] = new CountedBlock(&deletions);
    }
    EXPECT_EQ(deletions, 2);
}

std::string Map(const std::string& entries, const std::string& channels)
{
    return "<ZML=1.0>\n<ShaderMap=\n<Map=" + entries + ">\n" + channels + ">\n";
}

std::string Entry(const std::string& type, const std::string& param = "")
{
    return "<Entry=<Type=\"" + type + "\">" + param + ">";
}

TEST_F(ShaderMapTest, ReadsParametersOfEveryKind)
{
    const std::string text = Map(
        Entry("Geometry UV", "<Param=<Channel=2>>") + Entry("Material Parameter", "<Param=<Param=3>>") +
            Entry("Constant", "<Param=<Type=16><Value=<X=1.5><Y=2><Z=-3.0>>>") +
            Entry("Color", "<Param=<Color=<X=0.5><Y=0.25><Z=0.125><W=0.0>>>") +
            Entry("Swizzle", "<Param=<Swizzle=\"wzyx\">>") + Entry("Build", "<Param=<Build=\"01yw\">>") +
            Entry("Texture", "<Param=<Texture=\"wall.tga\">>"),
        "<Normal=<Block=<Index=0>>><Diffuse=<Block=<Index=1>>><Modulate=<Block=<Index=2>>>"
        "<Specular=<Block=<Index=3>>><Glossiness=<Block=<Index=4>>><Constant=<Block=<Index=5>>>"
        "<Opacity=<Block=<Index=6>>>");
    LogCapture capture;
    std::unique_ptr<zShaderMap> map = Read(text);
    EXPECT_FALSE(capture.Contains("[!]"));
    EXPECT_STREQ(map->roots[0]->GetId().Get(), "UV2_");
    EXPECT_STREQ(map->roots[1]->GetId().Get(), "MatParm3_");
    auto* constant = static_cast<zConstantShaderBlock*>(map->roots[2]);
    EXPECT_EQ(constant->kind, Vector3);
    EXPECT_EQ(constant->value[0], 1.5f);
    EXPECT_EQ(constant->value[1], 2.0f);
    EXPECT_EQ(constant->value[2], -3.0f);
    EXPECT_EQ(constant->value[3], 1.0f);
    auto* colour = static_cast<zColorShaderBlock*>(map->roots[3]);
    EXPECT_EQ(colour->colour[0], 0.5f);
    EXPECT_EQ(colour->colour[2], 0.125f);
    EXPECT_EQ(colour->colour[3], 0.0f);
    EXPECT_STREQ(map->roots[4]->GetId().Get(), "Swz4321_");
    EXPECT_STREQ(map->roots[5]->GetId().Get(), "Bld0135_");
    EXPECT_EQ(static_cast<zTextureShaderBlock*>(map->roots[6])->texture, texture);
}

// Inputs that fail one block or one branch: the message, and what is read.
struct ReadCase {
    const char* label;
    std::string text;
    const char* message; // null: no error line at all
    const char* diffuse; // the description of the Diffuse root
};

// Names the case in test listings and failure messages.
void PrintTo(const ReadCase& c, std::ostream* out)
{
    *out << c.label;
}

class ShaderMapReadTest : public ShaderMapTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ShaderMapReadTest, ReadsWhatItCan)
{
    const ReadCase& c = GetParam();
    LogCapture capture;
    std::unique_ptr<zShaderMap> map = Read(c.text);
    if (c.message != nullptr)
        EXPECT_TRUE(capture.Contains(c.message)) << c.message;
    else
        EXPECT_FALSE(capture.Contains("[!]"));
    EXPECT_EQ(DescribeBlock(map->roots[zShaderMap::Diffuse]), c.diffuse);
}

const std::string DiffuseZero = "<Diffuse=<Block=<Index=0>>>";

const ReadCase ReadCases[] = {
        ReadCase{"UnknownType", Map(Entry("Sparkle"), DiffuseZero), "[!] zShaderBlock::BlockMapFromMetaTag (", "-"},
        ReadCase{"UnknownTypeMessage", Map(Entry("Sparkle"), DiffuseZero), "Invalid block type 'Sparkle'.", "-"},
        ReadCase{"TypeNone", Map(Entry("None"), DiffuseZero), "Invalid block type 'None'.", "-"},
        ReadCase{"TypeNotAString", Map("<Entry=<Type=7>>", DiffuseZero), "Invalid block type ''.", "-"},
        ReadCase{"InvalidIsTheVertexStream", Map(Entry("Invalid"), DiffuseZero), nullptr, "0:Vertex_"},
        ReadCase{"EntryWithoutType", Map("<Entry=<Param=1>>" + Entry("Clock"), DiffuseZero), nullptr, "-"},
        ReadCase{"UnexpectedTagTakesNoSlot", Map("<Note=1>" + Entry("Clock"), DiffuseZero),
                 "[*] zShaderBlock::BlockMapFromMetaTag", "0:Clk_"},
        ReadCase{"UnexpectedTagMessage", Map("<Note=1>" + Entry("Clock"), DiffuseZero),
                 "Unexpected tag 'Note' in shader map.", "0:Clk_"},
        ReadCase{"MissingParamKeepsDefaults", Map(Entry("Swizzle"), DiffuseZero),
                 "Parameter tag expected, none found.", "0:Swz0000_(-)"},
        ReadCase{"MissingSwizzleText", Map(Entry("Swizzle", "<Param=<Mask=\"xyzw\">>"), DiffuseZero),
                 "Parameter tag expected, none found.", "0:Swz0000_(-)"},
        ReadCase{"ShortSwizzleMask", Map(Entry("Swizzle", "<Param=<Swizzle=\"xy\">>"), DiffuseZero),
                 "Unexpected end of swizzle mask.", "0:Swz1200_(-)"},
        ReadCase{"BadSwizzleLetter", Map(Entry("Swizzle", "<Param=<Swizzle=\"xqzw\">>"), DiffuseZero),
                 "Unexpected end of swizzle mask.", "0:Swz1000_(-)"},
        ReadCase{"BadFourthBuildMode", Map(Entry("Build", "<Param=<Build=\"1yx2\">>"), DiffuseZero),
                 "Unexpected end of build mask.", "0:Bld1325_(- - - -)"},
        ReadCase{"UVOutOfRange", Map(Entry("Geometry UV", "<Param=<Channel=3>>"), DiffuseZero),
                 "Invalid UV channel (3), expected 0 to 2.", "-"},
        ReadCase{"UVNegative", Map(Entry("Geometry UV", "<Param=<Channel=-1>>"), DiffuseZero),
                 "Invalid UV channel (-1), expected 0 to 2.", "-"},
        ReadCase{"UVNotAnInteger", Map(Entry("Geometry UV", "<Param=<Channel=1.0>>"), DiffuseZero),
                 "Invalid UV channel (-999), expected 0 to 2.", "-"},
        ReadCase{"UVMissing", Map(Entry("Geometry UV", "<Param=<Index=1>>"), DiffuseZero),
                 "Invalid UV channel (-999), expected 0 to 2.", "-"},
        ReadCase{"ParameterOutOfRange", Map(Entry("Material Parameter", "<Param=<Param=5>>"), DiffuseZero),
                 "Invalid material parameter (5), expected 0 to 4.", "-"},
        ReadCase{"ParameterNotAnInteger", Map(Entry("Material Parameter", "<Param=<Param=\"2\">>"), DiffuseZero),
                 "Invalid material parameter (-999), expected 0 to 4.", "-"},
        ReadCase{"UVMissingParamKeepsChannelZero", Map(Entry("Geometry UV"), DiffuseZero),
                 "Parameter tag expected, none found.", "0:UV0_"},
        ReadCase{"ConstantKindNotAnInteger", Map(Entry("Constant", "<Param=<Type=2.0>>"), DiffuseZero), nullptr,
                 "0:ConstUnk_[0.000000,0.000000,0.000000,1.000000]"},
        ReadCase{"UnknownTexture", Map(Entry("Texture", "<Param=<Texture=\"none.tga\">>"), DiffuseZero), nullptr,
                 "0:Tex_none.tga"},
        ReadCase{"NoIndex", Map(Entry("Clock"), "<Diffuse=<Block=<Idx=0>>>"), "No block index found.", "-"},
        ReadCase{"IndexNotAnInteger", Map(Entry("Clock"), "<Diffuse=<Block=<Index=\"0\">>>"), nullptr, "-"},
        ReadCase{"IndexBeyondTheMap", Map(Entry("Clock"), "<Diffuse=<Block=<Index=1>>>"), nullptr, "-"},
        ReadCase{"IndexNegative", Map(Entry("Clock"), "<Diffuse=<Block=<Index=-1>>>"), nullptr, "-"},
        ReadCase{"WrongMapName", "<ZML=1.0>\n<ShaderMap=<Blocks=" + Entry("Clock") + ">" + DiffuseZero + ">\n",
                 "No map to build shader branch.", "-"},
        ReadCase{"BranchWithItsOwnMap",
                 "<ZML=1.0>\n<ShaderMap=<Diffuse=<Block=<Map=" + Entry("Clock") + Entry("Sinus") +
                     "><Index=1><Input=<Block=<Index=0>>>>>>\n",
                 nullptr, "0:Sin_(1:Clk_)"},
        ReadCase{"OwnMapWithoutEntries", "<ZML=1.0>\n<ShaderMap=<Diffuse=<Block=<Index=0><Map=<Blocks=1>>>>>\n",
                 "Unexpected tag 'Blocks' in shader map.", "-"},
        ReadCase{"RefusedTypeLeavesTheInputOpen",
                 Map(Entry("Clock") + Entry("Cross"), "<Diffuse=<Block=<Index=1><Input=<Block=<Index=0>>>>>"),
                 nullptr, "0:Crs_(- -)"},
        ReadCase{"InputsBeyondTheBlockAreIgnored",
                 Map(Entry("Clock") + Entry("Sinus"),
                     "<Diffuse=<Block=<Index=1><Input=<Block=<Index=0>><Block=<Index=0>>>>>"),
                 nullptr, "0:Sin_(1:Clk_)"},
        ReadCase{"SelfConnectionRefused",
                 Map(Entry("Sinus"), "<Diffuse=<Block=<Index=0><Input=<Block=<Index=0>>>>>"),
                 "would close a cycle.", "0:Sin_(-)"},
        ReadCase{"CycleThroughASharedIndexRefused",
                 Map(Entry("Normalize") + Entry("Normalize") + Entry("Geometry Normal"),
                     "<Normal=<Block=<Index=0><Input=<Block=<Index=1><Input=<Block=<Index=2>>>>>>>"
                     "<Diffuse=<Block=<Index=1><Input=<Block=<Index=0>>>>>"),
                 "would close a cycle.", "0:Nrmz_(1:Nrm_)"},
};

INSTANTIATE_TEST_SUITE_P(
    Cases, ShaderMapReadTest, ::testing::ValuesIn(ReadCases),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.label); });

TEST_F(ShaderMapTest, ABlockMapNeedsItsName)
{
    zMetaTag tag("Blocks");
    tag.CreateChild("Entry")->CreateString("Type", "Clock");
    LogCapture capture;
    EXPECT_EQ(zShaderBlock::BlockMapFromMetaTag(&core, nullptr, &tag), nullptr);
    EXPECT_TRUE(capture.Contains("Could not parse map. Root tag id is incorrect (Blocks)."));
    EXPECT_EQ(zShaderBlock::BlockMapFromMetaTag(&core, nullptr, nullptr), nullptr);
}

TEST_F(ShaderMapTest, AWrongRootNameReadsNothing)
{
    zShaderMap map;
    auto* kept = Make<zClockShaderBlock>();
    map.roots[zShaderMap::Diffuse] = kept;
    zMetaFile document;
    const std::string text = "<ZML=1.0>\n<ShaderGraph=" + DiffuseZero + ">\n";
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &document));
    LogCapture capture;
    EXPECT_FALSE(map.FromMetaTag(&core, &document, document.GetFirstRootTag()));
    EXPECT_TRUE(capture.Contains(
        "[!] zShaderMap::FromMetaTag (source/core/shader/zShaderMap.cpp:"));
    EXPECT_TRUE(capture.Contains(") Could not parse shader map. Root tag id is incorrect (ShaderGraph)."));
    EXPECT_EQ(map.roots[zShaderMap::Diffuse], kept);
    EXPECT_FALSE(map.FromMetaTag(&core, &document, nullptr));
}

TEST_F(ShaderMapTest, ChannelsWithoutATagKeepTheirRootsAndReplacedRootsAreFreed)
{
    zShaderMap map;
    int deletions = 0;
    auto* kept = new CountedBlock(&deletions);
    auto* replaced = new CountedBlock(&deletions);
    map.roots[zShaderMap::Specular] = kept;
    map.roots[zShaderMap::Diffuse] = Connect(Make<zSinusShaderBlock>(), {replaced});
    zMetaFile document;
    const std::string text = Map(Entry("Clock") + Entry("Sinus") + Entry("View Vector"), DiffuseZero);
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &document));
    ASSERT_TRUE(map.FromMetaTag(&core, &document, document.GetFirstRootTag()));
    EXPECT_EQ(map.roots[zShaderMap::Specular], kept);
    ASSERT_NE(map.roots[zShaderMap::Diffuse], nullptr);
    EXPECT_STREQ(map.roots[zShaderMap::Diffuse]->GetId().Get(), "Clk_");
    EXPECT_EQ(deletions, 1);
}

TEST_F(ShaderMapTest, ACycleInAFileEndsAsAnAcyclicGraphThatWritesBack)
{
    // Two blocks feeding each other through a shared index, the second time
    // from another channel.
    const std::string text = Map(Entry("Add") + Entry("Add") + Entry("Color"),
                                 "<Diffuse=<Block=<Index=0><Input=<Block=<Index=1><Input=<Block=<Index=2>>"
                                 "<Block=<Index=2>>>><Block=<Index=2>>>>>"
                                 "<Specular=<Block=<Index=1><Input=<Block=<Index=0>><None>>>>");
    LogCapture capture;
    std::unique_ptr<zShaderMap> map = Read(text);
    EXPECT_TRUE(capture.Contains("would close a cycle."));
    EXPECT_EQ(map->roots[zShaderMap::Diffuse]->GetOutputType(), Vector4);
    std::unique_ptr<zShaderMap> back = RoundTrip(*map);
    EXPECT_EQ(DescribeMap(*back), DescribeMap(*map));
}

// Branches that shortcuts lead back into a block on their own path, read
// through a material: the branch is refused with one line naming the
// material and the shortcut, and the rest of the map is read.
struct LoopCase {
    const char* label;
    std::string entries;
    std::string channels;
    const char* shortcut;
    const char* diffuse;
    const char* specular;
};

void PrintTo(const LoopCase& c, std::ostream* out)
{
    *out << c.label;
}

class ShaderMapLoopTest : public ShaderMapTest, public ::testing::WithParamInterface<LoopCase> {};

TEST_P(ShaderMapLoopTest, IsRefusedAndTheRestOfTheMapIsRead)
{
    const LoopCase& c = GetParam();
    const std::string text = "<ZML=1.0>\n<Material=<Id=\"Brick\"><ShaderMap=<Map=" + c.entries + ">" + c.channels +
        ">>\n";
    zMetaFile document;
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &document, "brick.zml")) << text;
    zMaterial material(&core);
    LogCapture capture;
    ASSERT_TRUE(material.FromMetaTag(&document, document.GetFirstRootTag()));
    int errors = 0;
    for (const std::string& line : capture.lines)
        errors += line.rfind("[!]", 0) == 0 ? 1 : 0;
    EXPECT_EQ(errors, 1) << ::testing::PrintToString(capture.lines);
    EXPECT_TRUE(capture.Contains(std::string("Material 'Brick': shader branch '") + c.shortcut +
                                 "' (block 0) leads back to a block on its own path, refused."))
        << ::testing::PrintToString(capture.lines);
    ASSERT_NE(material.shaderMap, nullptr);
    EXPECT_EQ(DescribeBlock(material.shaderMap->roots[zShaderMap::Diffuse]), c.diffuse);
    EXPECT_EQ(DescribeBlock(material.shaderMap->roots[zShaderMap::Specular]), c.specular);
    EXPECT_EQ(DescribeBlock(material.shaderMap->roots[zShaderMap::Normal]), "0:Nrm_");
}

const std::string Normal = "<Normal=<Block=<Index=2>>>";

const LoopCase LoopCases[] = {
    {"ItsOwnBlock", Entry("Add") + Entry("Add") + Entry("Geometry Normal") + Entry("Clock"),
     Normal + "<Diffuse=<Block=<Index=0><Input=<Block=@\"Material:ShaderMap:Diffuse:Block;\"><Block=<Index=3>>>>>",
     "Material:ShaderMap:Diffuse:Block;", "0:Add_(- 1:Clk_)", "-"},
    {"AnOuterBlock", Entry("Add") + Entry("Add") + Entry("Geometry Normal") + Entry("Clock"),
     Normal + "<Diffuse=<Block=<Index=0><Input=<Block=<Index=1><Input=<Block=<Index=3>>"
              "<Block=@\"Material:ShaderMap:Diffuse:Block;\">>><Block=<Index=3>>>>>",
     "Material:ShaderMap:Diffuse:Block;", "0:Add_(- 1:Clk_)", "-"},
    {"TwoChannelsReferringToEachOther", Entry("Add") + Entry("Add") + Entry("Geometry Normal") + Entry("Clock"),
     Normal + "<Diffuse=<Block=<Index=0><Input=<Block=@\"Material:ShaderMap:Specular:Block;\"><Block=<Index=3>>>>>"
              "<Specular=<Block=<Index=1><Input=<Block=@\"Material:ShaderMap:Diffuse:Block;\"><Block=<Index=3>>>>>",
     "Material:ShaderMap:Diffuse:Block;", "0:Add_(- 1:Clk_)", "0:Add_(- 1:Clk_)"},
};

INSTANTIATE_TEST_SUITE_P(
    Shapes, ShaderMapLoopTest, ::testing::ValuesIn(LoopCases),
    [](const ::testing::TestParamInfo<LoopCase>& info) { return std::string(info.param.label); });

// A root tag "Levels" with levels L0 to L(n-1): each the branch of block i
// fed by the next level through shortcuts (inputs: into how many of its two
// inputs), the last level by block n.
std::string ShortcutLevels(int levels, int inputs)
{
    std::string text = "<Levels=";
    for (int i = 0; i < levels; ++i) {
        const std::string next = i + 1 < levels ? "@\"Levels:L" + std::to_string(i + 1) + ":Block;\""
                                                : "<Index=" + std::to_string(levels) + ">";
        text += "<L" + std::to_string(i) + "=<Block=<Index=" + std::to_string(i) + "><Input=";
        for (int k = 0; k < inputs; ++k)
            text += "<Block=" + next + ">";
        text += ">>>";
    }
    return text + ">\n";
}

const std::string DiffuseLevels = "<Diffuse=<Block=@\"Levels:L0:Block;\">>";

TEST_F(ShaderMapTest, ADeepAcyclicChainThroughShortcutsIsReadWhole)
{
    constexpr int levels = zShaderBlock::MaxMapEntries - 2;
    std::string entries;
    for (int i = 0; i < levels; ++i)
        entries += Entry("Sinus");
    entries += Entry("Clock");
    LogCapture capture;
    std::unique_ptr<zShaderMap> map = Read(Map(entries, DiffuseLevels) + ShortcutLevels(levels, 1));
    EXPECT_FALSE(capture.Contains("[!]")) << ::testing::PrintToString(capture.lines);
    int depth = 0;
    const zShaderBlock* block = map->roots[zShaderMap::Diffuse];
    for (; block != nullptr && block->GetType() == ShaderBlockSinus; block = block->GetInput(0))
        ++depth;
    EXPECT_EQ(depth, levels);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetType(), ShaderBlockClock);
}

// Counts the connections made into it.
class CountingAdd : public zAddShaderBlock {
public:
    explicit CountingAdd(int* calls) : calls(calls) {}
    bool SetInput(uint32_t i, zShaderBlock* block) override
    {
        ++*calls;
        return zAddShaderBlock::SetInput(i, block);
    }
    int* calls;
};

TEST_F(ShaderMapTest, ABranchSharedThroughShortcutsAlongManyPathsIsReadOncePerTag)
{
    // Every level feeds both inputs of the one above: 2^16 paths, 32 tags.
    constexpr int levels = 16;
    const std::string text = "<ZML=1.0>\n<Channels=" + DiffuseLevels + ">\n" + ShortcutLevels(levels, 2);
    zMetaFile document;
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &document, "levels.zml")) << text;
    int calls = 0;
    std::vector<zShaderBlock*> blocks;
    for (int i = 0; i < levels; ++i)
        blocks.push_back(new CountingAdd(&calls));
    blocks.push_back(Make<zClockShaderBlock>());
    zShaderBlockMap map;
    map.count = int32_t(blocks.size());
    map.slots = new zShaderBlock*[blocks.size()];
    std::copy(blocks.begin(), blocks.end(), map.slots);

    zShaderMap graph;
    graph.roots[zShaderMap::Diffuse] =
        zShaderBlock::BranchFromMetaTag(&core, &document, document.GetTag("Channels:Diffuse:Block;"), &map);
    ASSERT_EQ(graph.roots[zShaderMap::Diffuse], blocks[0]);
    EXPECT_EQ(calls, 2 * levels);
    for (int i = 0; i < levels; ++i) {
        EXPECT_EQ(blocks[i]->GetInput(0), blocks[i + 1]);
        EXPECT_EQ(blocks[i]->GetInput(1), blocks[i + 1]);
    }
}

TEST_F(ShaderMapTest, AMapWithTooManyEntriesIsRefused)
{
    std::string entries;
    for (int i = 0; i <= zShaderBlock::MaxMapEntries; ++i)
        entries += Entry("Clock");
    LogCapture capture;
    std::unique_ptr<zShaderMap> map = Read(Map(entries, DiffuseZero));
    EXPECT_TRUE(capture.Contains("Could not parse map. Too many entries (4097, at most 4096)."));
    EXPECT_EQ(map->roots[zShaderMap::Diffuse], nullptr);
}

TEST_F(ShaderMapTest, AGraphSharingBlocksAlongManyPathsWritesInBoundedSize)
{
    // Each level feeds both inputs of the next: written in full the branch
    // would hold 2^40 tags. Later occurrences are written by index alone,
    // which reads back to the same graph.
    zShaderMap map;
    zShaderBlock* level = Make<zColorShaderBlock>();
    for (int i = 0; i < 40; ++i)
        level = Connect(Make<zAddShaderBlock>(), {level, level});
    map.roots[zShaderMap::Diffuse] = level;
    map.roots[zShaderMap::Specular] = level->GetInput(0);
    std::string text;
    std::unique_ptr<zShaderMap> back = RoundTrip(map, &text);
    EXPECT_LT(text.size(), 100000u);
    EXPECT_EQ(DescribeMap(*back), DescribeMap(map));
    EXPECT_EQ(back->roots[zShaderMap::Diffuse]->GetOutputType(), Vector4);
}

TEST_F(ShaderMapTest, OnlyClampedSamplersWriteWrapFlagsAndTheSmoothFlagIsNotStored)
{
    zShaderMap map;
    auto* repeat = Make<zSampler2DShaderBlock>();
    auto* clampU = Make<zSampler2DShaderBlock>();
    clampU->wrapU = 0;
    auto* normal = Make<NormalStreamBlock>();
    normal->smooth = 1;
    map.roots[zShaderMap::Diffuse] = repeat;
    map.roots[zShaderMap::Specular] = clampU;
    map.roots[zShaderMap::Normal] = normal;
    std::string text;
    std::unique_ptr<zShaderMap> back = RoundTrip(map, &text);
    EXPECT_EQ(text.find("WrapV"), std::string::npos) << text;
    EXPECT_NE(text.find("<WrapU=0>"), std::string::npos) << text;
    EXPECT_STREQ(back->roots[zShaderMap::Diffuse]->GetId().Get(), "Spl2dTT_");
    EXPECT_STREQ(back->roots[zShaderMap::Specular]->GetId().Get(), "Spl2dFT_");
    EXPECT_STREQ(back->roots[zShaderMap::Normal]->GetId().Get(), "Nrm_");

    zMetaFile document;
    document.AddRootTag(map.AsMetaTag(&document));
    EXPECT_EQ(document.GetTag("ShaderMap:Map:Entry:Param"), nullptr);
}

TEST_F(ShaderMapTest, SmallGraphsWriteEveryOccurrenceInFull)
{
    zShaderMap map;
    auto* sampler = Connect(Make<zSampler2DShaderBlock>(), {Make<zTextureShaderBlock>(texture), Make<zUVStreamShaderBlock>()});
    map.roots[zShaderMap::Diffuse] = sampler;
    map.roots[zShaderMap::Opacity] = new zSwizzleShaderBlock(sampler, 4, 0, 0, 0);
    zMetaFile document;
    document.AddRootTag(map.AsMetaTag(&document));
    EXPECT_NE(document.GetTag("ShaderMap:Diffuse:Block:Input"), nullptr);
    EXPECT_NE(document.GetTag("ShaderMap:Opacity:Block:Input:Block:Input"), nullptr);
    EXPECT_EQ(document.GetTag("ShaderMap:Map")->GetChildCount(), 4);
}

} // namespace
