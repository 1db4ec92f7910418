#include "SlotOrder.h"
#include "support/LogCapture.h"

#include "core/shader/StreamBlocks.h"
#include "core/shader/zShaderBlocks.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace zShaderValue;

struct InputRow {
    const char* name;
    const char* description;
    int32_t types;
};

struct BlockRow {
    int32_t type;
    const char* typeName;
    const char* displayName;
    const char* id; // with default parameters
    int32_t outputType; // with nothing connected
    const char* outputName;
    const char* outputDescription;
    std::vector<InputRow> inputs;
};

// Names the case in test listings and failure messages.
void PrintTo(const BlockRow& row, std::ostream* out)
{
    *out << row.typeName;
}

const InputRow A60{"Input A", "Source input A.", 60};
const InputRow B60{"Input B", "Source input B.", 60};

const BlockRow Rows[] = {
    {1, "Invalid", "Vertex Stream", "Vertex_", 32, "Vector", "Vertex stream.", {}},
    {2, "Geometry Normal", "Normal Stream", "Nrm_", 16, "Normal", "Normal stream.", {}},
    {3, "Geometry UV", "UV Stream", "UV0_", 8, "UV", "UV stream.", {}},
    {4, "Geometry Skinning", "Skinning Matrix", "SkinMtx_", 128, "Vector", "Skinned vector.", {}},
    {5, "Geometry RGB", "Vertex Color Stream", "VtxClr_", 16, "Color", "Vertex color stream.", {}},
    {6, "Geometry Tangent Frame", "Tangent Frame", "TngFrm_", 64, "Tangent", "Tangent frame.", {}},
    {7, "Texture", "Texture", "Tex_", 256, "Texture", "Texture object.", {}},
    {8, "Sampler 2D", "Sampler 2D", "Spl2dTT_", 1, "Texel", "Texture sample.",
     {{"Texture", "Texture input.", 256}, {"UV Stream", "UV stream input.", 8}}},
    {9, "Constant", "Constant", "ConstNone_", 1, "Constant", "Constant value.", {}},
    {10, "Color", "Color", "Color_", 32, "Color", "RGBA Color.", {}},
    {11, "Material Parameter", "Material Parameter", "MatParm0_", 32, "Color", "Material parameter.", {}},
    {12, "Screen UV", "Screen UV", "ScnUV_", 8, "Screen UV", "Screen position.", {}},
    {13, "View Vector", "View Vector", "ViewV_", 16, "Vector", "View vector in world space.", {}},
    {14, "Mix", "Mix", "Mix_", 1, "A*K+B*(1-K)", "Input A * Input K + Input B * (1.0 - Input K).",
     {A60, B60, {"Input K", "Source input K.", 4}}},
    {15, "Add", "Add", "Add_", 1, "A+B", "Input A + Input B.", {A60, B60}},
    {16, "Multiply", "Mul", "Mul_", 1, "A*B", "Input A * Input B.",
     {{"Input A", "Source input A.", 252}, {"Input B", "Source input B.", 252}}},
    {17, "Subtract", "Sub", "Sub_", 1, "A-B", "Input A - Input B.", {A60, B60}},
    {18, "Divide", "Div", "Div_", 1, "A/B", "Input A / Input B.", {A60, B60}},
    {19, "Dot", "Dot", "Dot_", 1, "A.Dot(B)", "The cosinus of the angle between A and B.", {A60, B60}},
    {20, "Cross", "Cross", "Crs_", 1, "A.Cross(B)", "A vector perpendicular to both A and B.",
     {{"Input A", "Source input A.", 16}, {"Input B", "Source input B.", 16}}},
    {21, "Clamp", "Clamp", "Clmp_", 1, "Vector", "Clamped input.",
     {{"Input", "Source to clamp.", 60}, {"Min", "Minimum value.", 60}, {"Max", "Maximum value.", 60}}},
    {22, "Normalize", "Normalize", "Nrmz_", 1, "Vector", "Normalized input.", {{"Input", "Source input.", 56}}},
    {23, "Swizzle", "Swizzle", "Swz0000_", 1, "Vector", "Swizzled input.",
     {{"Input", "Source input to extract components from.", 60}}},
    {24, "Build", "Build", "Bld2345_", 1, "Vector", "Built vector.",
     {{"Input X", "Source component of the built vector.", 60},
      {"Input Y", "Source component of the built vector.", 60},
      {"Input Z", "Source component of the built vector.", 60},
      {"Input W", "Source component of the built vector.", 60}}},
    {25, "Sinus", "Sinus", "Sin_", 4, "Sinus", "Sinus of input.", {{"Input", "Input value in radian.", 4}}},
    {26, "Cosinus", "Cosinus", "Cos_", 4, "Cosinus", "Cosinus of input.", {{"Input", "Input value in radian.", 4}}},
    {27, "Pow", "Pow", "Pow_", 4, "Pow", "Value raised to power.",
     {{"Value", "Input value.", 4}, {"Power", "Power to raise value to.", 4}}},
    {28, "Unpack color to vector", "Unpack Color", "CToV_", 1, "Vector", "Vector in the [-1;1] range.",
     {{"Input", "Vector in the [0;1] range.", 48}}},
    {29, "Pack vector to color", "Pack Vector", "VToC_", 1, "Color", "Vector in the [0;1] range.",
     {{"Input", "Vector in the [-1;1] range.", 48}}},
    {30, "Clock", "Clock", "Clk_", 4, "Clock (s)", "System clock in second.", {}},
};

class ShaderBlockTypeTest : public ::testing::TestWithParam<BlockRow> {};

TEST_P(ShaderBlockTypeTest, AnswersItsTableRow)
{
    const BlockRow& row = GetParam();
    std::unique_ptr<zShaderBlock> block(CreateShaderBlock(row.type));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetType(), row.type);
    EXPECT_STREQ(GetShaderBlockTypeName(row.type), row.typeName);
    EXPECT_EQ(FindShaderBlockType(row.typeName), row.type);
    EXPECT_STREQ(block->GetDisplayName().Get(), row.displayName);
    EXPECT_STREQ(block->GetId().Get(), row.id);
    EXPECT_EQ(block->GetOutputType(), row.outputType);
    const zShaderBlockInfo* output = block->GetOutputInfo();
    ASSERT_NE(output, nullptr);
    EXPECT_STREQ(output->name, row.outputName);
    EXPECT_STREQ(output->description, row.outputDescription);
    EXPECT_EQ(output->types, 1);

    ASSERT_EQ(block->GetInputCount(), row.inputs.size());
    for (uint32_t i = 0; i < row.inputs.size(); ++i) {
        const zShaderBlockInfo* info = block->GetInputInfo(i);
        ASSERT_NE(info, nullptr);
        EXPECT_STREQ(info->name, row.inputs[i].name);
        EXPECT_STREQ(info->description, row.inputs[i].description);
        EXPECT_EQ(info->types, row.inputs[i].types) << i;
        EXPECT_EQ(block->GetInput(i), nullptr);
    }
    // Past the last input (every index for sources) there is nothing.
    const uint32_t beyond = uint32_t(row.inputs.size());
    zColorShaderBlock source;
    for (uint32_t i : {beyond, beyond + 1, 0xFFFFFFFFu}) {
        EXPECT_EQ(block->GetInput(i), nullptr);
        EXPECT_EQ(block->GetInputInfo(i), nullptr);
        EXPECT_FALSE(block->SetInput(i, &source));
        EXPECT_FALSE(block->SetInput(i, nullptr));
    }
}

INSTANTIATE_TEST_SUITE_P(AllTypes, ShaderBlockTypeTest, ::testing::ValuesIn(Rows),
                         [](const ::testing::TestParamInfo<BlockRow>& info) {
                             std::string name = info.param.displayName;
                             std::erase(name, ' ');
                             return name;
                         });

TEST(ShaderBlockTypeNames, OutsideTheTableAreInvalidAndNoneHasNoBlock)
{
    EXPECT_STREQ(GetShaderBlockTypeName(0), "None");
    for (int32_t type : {1, 31, -1, 1000})
        EXPECT_STREQ(GetShaderBlockTypeName(type), "Invalid");
    EXPECT_EQ(FindShaderBlockType("Invalid"), ShaderBlockVertexStream);
    EXPECT_EQ(FindShaderBlockType("texture"), ShaderBlockNone);
    EXPECT_EQ(FindShaderBlockType(nullptr), ShaderBlockNone);
    for (int32_t type : {0, 31, -5})
        EXPECT_EQ(CreateShaderBlock(type), nullptr);
}

TEST(ShaderBlockInterface, OperationsKeepTheirSlotOrder)
{
    const ptrdiff_t slots[] = {
        SlotOf(&zShaderBlock::GetInputCount), SlotOf(&zShaderBlock::GetInput),
        SlotOf(&zShaderBlock::SetInput),      SlotOf(&zShaderBlock::GetInputInfo),
        SlotOf(&zShaderBlock::GetOutputInfo), SlotOf(&zShaderBlock::GetOutputType),
        SlotOf(&zShaderBlock::GetDisplayName), SlotOf(&zShaderBlock::GetId),
    };
    for (ptrdiff_t i = 0; i < ptrdiff_t(std::size(slots)); ++i)
        EXPECT_EQ(slots[i], i);
}

// A source of any value type: a constant whose kind is that type.
std::unique_ptr<zConstantShaderBlock> Source(int32_t type)
{
    auto block = std::make_unique<zConstantShaderBlock>();
    block->kind = type;
    return block;
}

struct TypeCase {
    const char* label;
    int32_t block;
    std::vector<int32_t> inputs; // 0: unconnected
    int32_t expected;
};

// Names the case in test listings and failure messages.
void PrintTo(const TypeCase& c, std::ostream* out)
{
    *out << c.label;
}

class ShaderBlockOutputTypeTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(ShaderBlockOutputTypeTest, FollowsItsInputs)
{
    const TypeCase& c = GetParam();
    std::unique_ptr<zShaderBlock> block(CreateShaderBlock(c.block));
    std::vector<std::unique_ptr<zConstantShaderBlock>> sources;
    for (uint32_t i = 0; i < c.inputs.size(); ++i) {
        if (c.inputs[i] == 0)
            continue;
        sources.push_back(Source(c.inputs[i]));
        ASSERT_TRUE(block->SetInput(i, sources.back().get())) << i;
    }
    EXPECT_EQ(block->GetOutputType(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShaderBlockOutputTypeTest,
    ::testing::Values(
        TypeCase{"SamplerBoth", 8, {256, 8}, 32}, TypeCase{"SamplerNoUV", 8, {256, 0}, 1},
        TypeCase{"MulMat3Vec3", 16, {64, 16}, 16}, TypeCase{"MulVec3Mat3", 16, {16, 64}, 16},
        TypeCase{"MulMat3Vec4", 16, {64, 32}, 1}, TypeCase{"MulMat4Vec4", 16, {32, 128}, 32},
        TypeCase{"MulMat4Vec3", 16, {128, 16}, 1}, TypeCase{"MulMat3Mat3", 16, {64, 64}, 1},
        TypeCase{"MulFloats", 16, {4, 4}, 4}, TypeCase{"MulFloatVec2", 16, {4, 8}, 1},
        TypeCase{"MulOneInput", 16, {32, 0}, 1}, TypeCase{"MixMatching", 14, {16, 16, 4}, 16},
        TypeCase{"MixUnmatched", 14, {16, 32, 4}, 1}, TypeCase{"MixNoK", 14, {16, 16, 0}, 1},
        TypeCase{"AddMatching", 15, {8, 8}, 8}, TypeCase{"AddUnmatched", 15, {8, 4}, 1},
        TypeCase{"SubOneInput", 17, {8, 0}, 1}, TypeCase{"DivMatching", 18, {32, 32}, 32},
        TypeCase{"DotMatching", 19, {16, 16}, 4}, TypeCase{"DotUnmatched", 19, {16, 32}, 1},
        TypeCase{"CrossBoth", 20, {16, 16}, 16}, TypeCase{"CrossOne", 20, {16, 0}, 1},
        TypeCase{"ClampMatching", 21, {32, 32, 32}, 32}, TypeCase{"ClampUnmatched", 21, {32, 4, 32}, 1},
        TypeCase{"ClampNoMax", 21, {32, 32, 0}, 1}, TypeCase{"NormalizeVec3", 22, {16}, 16},
        TypeCase{"UnpackVec4", 28, {32}, 32}, TypeCase{"PackVec3", 29, {16}, 16},
        TypeCase{"SinusAlwaysFloat", 25, {0}, 4}, TypeCase{"PowAlwaysFloat", 27, {4, 0}, 4}),
    [](const ::testing::TestParamInfo<TypeCase>& info) { return std::string(info.param.label); });

TEST(ShaderBlockSetInput, RefusesTypesTheInputDoesNotAcceptAndKeepsTheInput)
{
    zCrossShaderBlock cross;
    auto vector = Source(Vector3);
    auto number = Source(Float);
    ASSERT_TRUE(cross.SetInput(0, vector.get()));
    EXPECT_FALSE(cross.SetInput(0, number.get()));
    EXPECT_EQ(cross.GetInput(0), vector.get());
    EXPECT_TRUE(cross.SetInput(0, nullptr));
    EXPECT_EQ(cross.GetInput(0), nullptr);

    zSampler2DShaderBlock sampler;
    zTextureShaderBlock texture;
    EXPECT_FALSE(sampler.SetInput(1, &texture));
    EXPECT_TRUE(sampler.SetInput(0, &texture));
}

TEST(ShaderBlockSetInput, RefusesAConnectionThatClosesACycle)
{
    zNormalizeShaderBlock first;
    zNormalizeShaderBlock second;
    zAddShaderBlock add;
    auto vector = Source(Vector3);
    ASSERT_TRUE(first.SetInput(0, vector.get()));
    ASSERT_TRUE(second.SetInput(0, &first));
    ASSERT_TRUE(add.SetInput(0, &second));
    ASSERT_TRUE(add.SetInput(1, vector.get()));

    LogCapture capture;
    EXPECT_FALSE(first.SetInput(0, &first));
    EXPECT_FALSE(first.SetInput(0, &add));
    EXPECT_EQ(first.GetInput(0), vector.get());
    EXPECT_TRUE(capture.Contains("[!] zShaderBlock::SetInput ("));
    EXPECT_TRUE(capture.Contains("would close a cycle."));
    EXPECT_EQ(add.GetOutputType(), Vector3);
    // Sharing without a cycle stays allowed.
    zAddShaderBlock both;
    EXPECT_TRUE(both.SetInput(0, &first));
    EXPECT_TRUE(both.SetInput(1, &first));
}

TEST(ShaderBlockOutputType, SharedBlocksAreWalkedOncePerQuery)
{
    // Each level feeds both inputs of the next: a walk per path would take
    // 2^200 steps.
    std::vector<std::unique_ptr<zShaderBlock>> chain;
    chain.push_back(Source(Vector4));
    for (int i = 0; i < 200; ++i) {
        auto add = std::make_unique<zAddShaderBlock>();
        ASSERT_TRUE(add->SetInput(0, chain.back().get()));
        ASSERT_TRUE(add->SetInput(1, chain.back().get()));
        chain.push_back(std::move(add));
    }
    EXPECT_EQ(chain.back()->GetOutputType(), Vector4);
    // Types follow later changes.
    static_cast<zConstantShaderBlock*>(chain.front().get())->kind = Vector2;
    EXPECT_EQ(chain.back()->GetOutputType(), Vector2);
}

struct SwizzleCase {
    int32_t selectors[4];
    int32_t input; // 0: unconnected
    int32_t expected;
};

TEST(ShaderBlockSwizzle, CountsTheSelectorsThatAreNotNone)
{
    const SwizzleCase cases[] = {
        {{1, 0, 0, 0}, 32, 4}, {{4, 0, 0, 0}, 32, 4}, {{1, 2, 0, 0}, 16, 8}, {{0, 3, 0, 1}, 16, 8},
        {{1, 1, 1, 0}, 4, 16}, {{1, 2, 3, 4}, 32, 32}, {{0, 0, 0, 0}, 32, 1}, {{1, 2, 3, 4}, 0, 1},
    };
    for (const SwizzleCase& c : cases) {
        auto source = Source(c.input);
        zSwizzleShaderBlock swizzle(c.input != 0 ? source.get() : nullptr, c.selectors[0], c.selectors[1],
                                    c.selectors[2], c.selectors[3]);
        EXPECT_EQ(swizzle.GetOutputType(), c.expected) << c.selectors[0] << c.selectors[1] << " on " << c.input;
    }
    auto source = Source(Vector4);
    EXPECT_STREQ(zSwizzleShaderBlock(source.get(), 4, 0, 1, 2).GetId().Get(), "Swz4012_");
    // An input whose type became 1 after it was connected.
    zNormalizeShaderBlock lost;
    ASSERT_TRUE(lost.SetInput(0, source.get()));
    zSwizzleShaderBlock swizzle(&lost, 1, 2, 3, 4);
    EXPECT_EQ(swizzle.GetOutputType(), 32);
    lost.SetInput(0, nullptr);
    EXPECT_EQ(swizzle.GetOutputType(), 1);
}

TEST(ShaderBlockBuild, CountsComponentsUpToTheFirstUnconnectedInput)
{
    auto x = Source(Float);
    auto y = Source(Vector2);
    auto z = Source(Vector3);
    // An input whose own inputs went away after it was connected has type 1.
    zAddShaderBlock none;
    ASSERT_TRUE(none.SetInput(0, z.get()));
    ASSERT_TRUE(none.SetInput(1, z.get()));
    using B = zBuildShaderBlock;
    B withNone(x.get(), B::ModeX, &none, B::ModeX, nullptr, B::ModeOne, nullptr, B::ModeOne);
    none.SetInput(1, nullptr);
    EXPECT_EQ(B(x.get(), B::ModeX, y.get(), B::ModeY, z.get(), B::ModeZ, nullptr, B::ModeOne).GetOutputType(), 32);
    EXPECT_EQ(B(x.get(), B::ModeX, nullptr, B::ModeY, z.get(), B::ModeZ, nullptr, B::ModeOne).GetOutputType(), 4);
    EXPECT_EQ(B(nullptr, B::ModeZero, nullptr, B::ModeOne, nullptr, B::ModeZero, nullptr, B::ModeW).GetOutputType(),
              16);
    EXPECT_EQ(B(nullptr, B::ModeX, x.get(), B::ModeX, nullptr, B::ModeOne, nullptr, B::ModeOne).GetOutputType(), 1);
    EXPECT_EQ(withNone.GetOutputType(), 1);
    EXPECT_STREQ(B(x.get(), B::ModeX, nullptr, B::ModeOne, nullptr, B::ModeZero, nullptr, B::ModeW).GetId().Get(),
                 "Bld2105_");
}

TEST(ShaderBlockIds, FollowTheirParameters)
{
    LogCapture capture;
    const int32_t kinds[] = {1, 4, 8, 16, 32};
    const char* ids[] = {"ConstNone_", "ConstFloat_", "ConstVec2_", "ConstVec3_", "ConstVec4_"};
    for (int i = 0; i < 5; ++i) {
        auto constant = Source(kinds[i]);
        EXPECT_EQ(constant->GetOutputType(), kinds[i]);
        EXPECT_STREQ(constant->GetId().Get(), ids[i]);
    }
    EXPECT_FALSE(capture.Contains("Unknown constant."));
    EXPECT_STREQ(Source(2)->GetId().Get(), "ConstUnk_");
    EXPECT_TRUE(capture.Contains("[!] zConstantShaderBlock::GetId ("));
    EXPECT_TRUE(capture.Contains("Unknown constant."));

    zSampler2DShaderBlock sampler;
    sampler.wrapV = 0;
    EXPECT_STREQ(sampler.GetId().Get(), "Spl2dTF_");
    sampler.wrapU = 0;
    sampler.wrapV = 1;
    EXPECT_STREQ(sampler.GetId().Get(), "Spl2dFT_");
    NormalStreamBlock normal;
    normal.smooth = 1;
    EXPECT_STREQ(normal.GetId().Get(), "NrmSmt_");
    EXPECT_STREQ(zUVStreamShaderBlock(2).GetId().Get(), "UV2_");
    EXPECT_STREQ(zMaterialParameterShaderBlock(3).GetId().Get(), "MatParm3_");
    EXPECT_EQ(zMaterialParameterShaderBlock(4).GetOutputType(), Float);
    EXPECT_EQ(zMaterialParameterShaderBlock(2).GetOutputType(), Vector4);
}

TEST(ShaderBlockEquivalence, SourcesOfTheSameKindAreInterchangeable)
{
    struct Case {
        std::unique_ptr<zShaderBlock> a;
        std::unique_ptr<zShaderBlock> b;
        bool expected;
    };
    zTexture* one = reinterpret_cast<zTexture*>(0x10);
    zTexture* two = reinterpret_cast<zTexture*>(0x20);
    Case cases[] = {
        {std::make_unique<VertexStreamBlock>(), std::make_unique<VertexStreamBlock>(), true},
        {std::make_unique<NormalStreamBlock>(), std::make_unique<NormalStreamBlock>(), true},
        {std::make_unique<SkinningMatrixBlock>(), std::make_unique<SkinningMatrixBlock>(), true},
        {std::make_unique<zVertexColorStreamShaderBlock>(), std::make_unique<zVertexColorStreamShaderBlock>(), true},
        {std::make_unique<zTangentFrameShaderBlock>(), std::make_unique<zTangentFrameShaderBlock>(), true},
        {std::make_unique<zScreenUVShaderBlock>(), std::make_unique<zScreenUVShaderBlock>(), true},
        {std::make_unique<zViewVectorShaderBlock>(), std::make_unique<zViewVectorShaderBlock>(), true},
        {std::make_unique<zClockShaderBlock>(), std::make_unique<zClockShaderBlock>(), true},
        {std::make_unique<zUVStreamShaderBlock>(1), std::make_unique<zUVStreamShaderBlock>(1), true},
        {std::make_unique<zUVStreamShaderBlock>(1), std::make_unique<zUVStreamShaderBlock>(2), false},
        {std::make_unique<zTextureShaderBlock>(one), std::make_unique<zTextureShaderBlock>(one), true},
        {std::make_unique<zTextureShaderBlock>(one), std::make_unique<zTextureShaderBlock>(two), false},
        {std::make_unique<zMaterialParameterShaderBlock>(2), std::make_unique<zMaterialParameterShaderBlock>(2), true},
        {std::make_unique<zMaterialParameterShaderBlock>(2), std::make_unique<zMaterialParameterShaderBlock>(0),
         false},
        {std::make_unique<zColorShaderBlock>(), std::make_unique<zColorShaderBlock>(), false},
        {std::make_unique<zConstantShaderBlock>(), std::make_unique<zConstantShaderBlock>(), false},
        {std::make_unique<zAddShaderBlock>(), std::make_unique<zAddShaderBlock>(), false},
        {std::make_unique<VertexStreamBlock>(), std::make_unique<NormalStreamBlock>(), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a->IsEquivalent(c.b.get()), c.expected) << c.a->GetDisplayName().Get();
        EXPECT_TRUE(c.a->IsEquivalent(c.a.get()));
        EXPECT_FALSE(c.a->IsEquivalent(nullptr));
    }
}

} // namespace
