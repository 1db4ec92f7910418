// The shader-map compiler without a window: generated GLSL compared byte for
// byte, program sharing and map bindings through a recording loader.

#include "support/LogCapture.h"

#include "core/light/zLight.h"
#include "core/material/zMaterial.h"
#include "core/resource/zTexture.h"
#include "core/shader/StreamBlocks.h"
#include "core/shader/zShaderBlocks.h"
#include "core/shader/zShaderMap.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "gl3/deferred/GL3RenderMapCompiler.h"
#include "gl3/system/zGL3Renderer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace zShaderValue;

std::string Text(const LogCapture& capture)
{
    std::string all;
    for (const std::string& line : capture.lines)
        all += line;
    return all;
}

// True when one line names the routine and holds the message after it.
bool Logged(const LogCapture& capture, const std::string& routine, const std::string& message)
{
    for (const std::string& line : capture.lines) {
        const size_t at = line.find("[!] GL3_RenderMapCompiler::" + routine + " (");
        if (at != std::string::npos && line.find(") " + message + "\n", at) != std::string::npos)
            return true;
    }
    return false;
}

// The key and the four sections, each section under its own heading.
std::string Dump(const GL3_RenderMapCompiler& c)
{
    return "key " + c.GetKey() + "\n[vd]\n" + c.vertexDeclarations + "[vb]\n" + c.vertexBody + "[fd]\n" +
        c.fragmentDeclarations + "[fb]\n" + c.fragmentBody;
}

template <class T>
T* Connect(T* block, std::initializer_list<zShaderBlock*> inputs)
{
    uint32_t i = 0;
    for (zShaderBlock* input : inputs) {
        EXPECT_TRUE(block->SetInput(i, input)) << block->GetDisplayName().Get() << " input " << i;
        ++i;
    }
    return block;
}

// A block wired without the input type checks, for graphs the editor would
// refuse but a changed block can still produce.
template <class T>
T* Forced(std::initializer_list<zShaderBlock*> inputs)
{
    struct Unchecked : T {
        void Set(uint32_t i, zShaderBlock* block) { this->inputs[i] = block; }
    };
    auto* block = new Unchecked;
    uint32_t i = 0;
    for (zShaderBlock* input : inputs)
        block->Set(i++, input);
    return block;
}

zConstantShaderBlock* Constant(int32_t kind, float x = 0.0f, float y = 0.0f, float z = 0.0f, float w = 1.0f)
{
    auto* c = new zConstantShaderBlock;
    c->kind = kind;
    c->value[0] = x;
    c->value[1] = y;
    c->value[2] = z;
    c->value[3] = w;
    return c;
}

zColorShaderBlock* Colour(float r, float g, float b, float a)
{
    auto* c = new zColorShaderBlock;
    c->colour[0] = r;
    c->colour[1] = g;
    c->colour[2] = b;
    c->colour[3] = a;
    return c;
}

// A graph (owned by its map through the Extra root) and the text it compiles to.
struct GraphCase {
    const char* label;
    std::function<zShaderBlock*(zTexture*)> build;
    bool compiles;
    std::string expected;
};

void PrintTo(const GraphCase& c, std::ostream* out)
{
    *out << c.label;
}

class RenderMapCompilerGraphTest : public ::testing::TestWithParam<GraphCase> {
protected:
    Tavrin core;
};

TEST_P(RenderMapCompilerGraphTest, WritesTheGLSLOfEachBlock)
{
    const GraphCase& c = GetParam();
    zTexture* texture = new zTexture(&core, "wall.tga");
    core.GetTextures().Append(texture);
    zShaderMap owner;
    owner.roots[zShaderMap::Extra] = c.build(texture);
    GL3_RenderMapCompiler compiler;
    LogCapture capture;
    const CompiledBlock* root = compiler.CompileShaderBlock(owner.roots[zShaderMap::Extra]);
    EXPECT_EQ(root != nullptr, c.compiles) << Text(capture);
    EXPECT_EQ(Dump(compiler), c.expected);
}

const std::string NoSections = "[vd]\n[vb]\n[fd]\n[fb]\n";

INSTANTIATE_TEST_SUITE_P(
    Blocks, RenderMapCompilerGraphTest,
    ::testing::Values(
        GraphCase{"VertexStream", [](zTexture*) -> zShaderBlock* { return new VertexStreamBlock; }, true,
                  "key Vertex_\n[vd]\n[vb]\nvec4\t_n_vertex0000 = gl_Vertex;\n[fd]\n[fb]\n"},
        GraphCase{"SmoothNormalStream",
                  [](zTexture*) -> zShaderBlock* {
                      auto* n = new NormalStreamBlock;
                      n->smooth = 1;
                      return n;
                  },
                  true,
                  "key NrmSmt_\n[vd]\nvarying vec3 _n_tmp_normal0000;\n[vb]\n_n_tmp_normal0000 = /*gl_NormalMatrix "
                  "**/ gl_Normal;\n[fd]\nvarying vec3 _n_tmp_normal0000;\n[fb]\nvec3 _n_normal0001 = "
                  "normalize(_n_tmp_normal0000);\n"},
        GraphCase{"UVSet", [](zTexture*) -> zShaderBlock* { return new zUVStreamShaderBlock(1); }, true,
                  "key UV1_\n[vd]\nvarying vec2 _n_uv0000;\n[vb]\n_n_uv0000 = vec2(gl_MultiTexCoord1);\n[fd]\n"
                  "varying vec2 _n_uv0000;\n[fb]\n"},
        GraphCase{"SkinningMatrix", [](zTexture*) -> zShaderBlock* { return new SkinningMatrixBlock; }, true,
                  "key SkinMtx_\n[vd]\nuniform mat4 skin_mtx[32];\nattribute vec4 skin_id, skin_w;\nvarying mat4 "
                  "_n_skin_mtx0000;\n[vb]\n_n_skin_mtx0000 = (skin_mtx[int(skin_id.x)] * skin_w.x + "
                  "skin_mtx[int(skin_id.y)] * skin_w.y + skin_mtx[int(skin_id.z)] * skin_w.z + "
                  "skin_mtx[int(skin_id.w)] * skin_w.w) / (skin_w.x + skin_w.y + skin_w.z + skin_w.w);\n[fd]\n"
                  "varying mat4 _n_skin_mtx0000;\n[fb]\n"},
        GraphCase{"VertexColour", [](zTexture*) -> zShaderBlock* { return new zVertexColorStreamShaderBlock; },
                  true,
                  "key VtxClr_\n[vd]\nvarying vec3 _n_vertex_color0000;\n[vb]\n_n_vertex_color0000 = "
                  "gl_Color.rgb;\n[fd]\nvarying vec3 _n_vertex_color0000;\n[fb]\n"},
        GraphCase{"TangentFrame", [](zTexture*) -> zShaderBlock* { return new zTangentFrameShaderBlock; }, true,
                  "key TngFrm_Nrm_\n[vd]\nvarying vec3 _n_tmp_normal0000;\nattribute vec3 attribute_tangent, "
                  "attribute_bitangent;\nvarying vec3 _T, _B;\n[vb]\n_n_tmp_normal0000 = /*gl_NormalMatrix **/ "
                  "gl_Normal;\n_T = /*gl_NormalMatrix **/ attribute_tangent;\n_B = /*gl_NormalMatrix **/ "
                  "attribute_bitangent;\n[fd]\nvarying vec3 _n_tmp_normal0000;\nvarying vec3 _T, _B;\n[fb]\nvec3 "
                  "_n_normal0001 = normalize(_n_tmp_normal0000);\nmat3 _n_tangent_frame0002 = mat3(normalize(_T), "
                  "normalize(_B), _n_normal0001);\n"},
        GraphCase{"TextureLookup",
                  [](zTexture* t) -> zShaderBlock* {
                      return Connect(new zSampler2DShaderBlock,
                                     {new zTextureShaderBlock(t), new zUVStreamShaderBlock(0)});
                  },
                  true,
                  "key Spl2dTT_Tex_UV0_\n[vd]\nvarying vec2 _n_uv0001;\n[vb]\n_n_uv0001 = "
                  "vec2(gl_MultiTexCoord0);\n[fd]\nuniform sampler2D _n_sampler2D0000;\nvarying vec2 "
                  "_n_uv0001;\n[fb]\nvec4 _n_color0002 = texture2D(_n_sampler2D0000, _n_uv0001);\n"},
        GraphCase{"ConstantOfEachKind",
                  [](zTexture*) -> zShaderBlock* {
                      return new zBuildShaderBlock(Constant(Float), 2, Constant(Vector2), 3, Constant(Vector3), 4,
                                                   Constant(Vector4), 5);
                  },
                  true,
                  "key Bld2345_ConstFloat_ConstVec2_ConstVec3_ConstVec4_\n[vd]\n[vb]\n[fd]\nuniform float "
                  "_n_const0000;\nuniform vec2 _n_const0001;\nuniform vec3 _n_const0002;\nuniform vec4 "
                  "_n_const0003;\n[fb]\nvec4 _n_built0004 = vec4(_n_const0000, _n_const0001.y, _n_const0002.z, "
                  "_n_const0003.w);\n"},
        GraphCase{"ColourViewVectorClockScreen",
                  [](zTexture*) -> zShaderBlock* {
                      return Connect(new zMixShaderBlock,
                                     {Connect(new zSwizzleShaderBlock(new zViewVectorShaderBlock, 1, 2, 0, 0), {}),
                                      new zScreenUVShaderBlock, new zClockShaderBlock});
                  },
                  true,
                  "key Mix_Swz1200_ViewV_ScnUV_Clk_\n[vd]\n[vb]\n[fd]\nuniform vec3 _n_view_vector0000;\nvec2 "
                  "_n_screen_uv0002 = vec2(gl_FragCoord.x, gl_FragCoord.y);\nuniform float _n_clock0003;\n[fb]\n"
                  "vec2 _n_swizzle0001 = _n_view_vector0000.xy;\nvec2 _n_mix0004 = _n_swizzle0001 * _n_clock0003 + "
                  "_n_screen_uv0002 * (1.0 - _n_clock0003);\n"},
        GraphCase{"MaterialParameters",
                  [](zTexture*) -> zShaderBlock* {
                      auto* sum = Connect(new zAddShaderBlock, {new zMaterialParameterShaderBlock(0),
                                                                new zMaterialParameterShaderBlock(1)});
                      auto* more = Connect(new zSubtractShaderBlock, {sum, new zMaterialParameterShaderBlock(2)});
                      auto* ratio = Connect(new zDivideShaderBlock, {more, new zMaterialParameterShaderBlock(3)});
                      return Connect(new zMultiplyShaderBlock, {ratio, Colour(1, 1, 1, 1)});
                  },
                  true,
                  "key Mul_Div_Sub_Add_MatParm0_MatParm1_MatParm2_MatParm3_Color_\n[vd]\n[vb]\n[fd]\nvec4 "
                  "_n_mat_param0000 = gl_FrontMaterial.diffuse;\nvec4 _n_mat_param0001 = "
                  "gl_FrontMaterial.specular;\nvec4 _n_mat_param0003 = gl_FrontMaterial.emission;\nvec4 "
                  "_n_mat_param0005 = gl_FrontMaterial.ambient;\nuniform vec4 _n_color0007;\n[fb]\nvec4 "
                  "_n_add0002 = _n_mat_param0000 + _n_mat_param0001;\nvec4 _n_sub0004 = _n_add0002 - "
                  "_n_mat_param0003;\nvec4 _n_div0006 = _n_sub0004 / _n_mat_param0005;\nvec4 _n_mul0008 = "
                  "_n_div0006 * _n_color0007;\n"},
        GraphCase{"ShininessPowSinCos",
                  [](zTexture*) -> zShaderBlock* {
                      auto* gloss = new zMaterialParameterShaderBlock(4);
                      auto* s = Connect(new zSinusShaderBlock, {gloss});
                      auto* c = Connect(new zCosinusShaderBlock, {gloss});
                      return Connect(new zPowShaderBlock, {s, c});
                  },
                  true,
                  "key Pow_Sin_MatParm4_Cos_MatParm4_\n[vd]\n[vb]\n[fd]\nfloat _n_mat_param0000 = "
                  "gl_FrontMaterial.shininess;\n[fb]\nfloat _n_sin0001 = sin(_n_mat_param0000);\nfloat _n_cos0002 = "
                  "cos(_n_mat_param0000);\nfloat _n_pow0003 = pow(_n_sin0001, _n_cos0002);\n"},
        GraphCase{"DotCrossClampNormalize",
                  [](zTexture*) -> zShaderBlock* {
                      auto* a = Constant(Vector3, 1, 0, 0);
                      auto* b = Constant(Vector3, 0, 1, 0);
                      auto* cross = Connect(new zCrossShaderBlock, {a, b});
                      auto* unit = Connect(new zNormalizeShaderBlock, {cross});
                      auto* dot = Connect(new zDotShaderBlock, {unit, a});
                      return Connect(new zClampShaderBlock, {dot, Constant(Float), Constant(Float, 1)});
                  },
                  true,
                  "key Clmp_Dot_Nrmz_Crs_ConstVec3_ConstVec3_ConstVec3_ConstFloat_ConstFloat_\n[vd]\n[vb]\n[fd]\n"
                  "uniform vec3 _n_const0000;\nuniform vec3 _n_const0001;\nuniform float _n_const0005;\nuniform "
                  "float _n_const0006;\n[fb]\nvec3 _n_cross0002 = cross(_n_const0000, _n_const0001);\nvec3 "
                  "_n_normalized0003 = normalize(_n_cross0002);\nfloat _n_dot0004 = dot(_n_normalized0003, "
                  "_n_const0000);\nfloat _n_clamp0007 = clamp(_n_dot0004, _n_const0005, _n_const0006);\n"},
        GraphCase{"PackAndUnpack",
                  [](zTexture*) -> zShaderBlock* {
                      auto* unpacked = Connect(new zUnpackColorShaderBlock, {Constant(Vector3)});
                      auto* packed = Connect(new zPackVectorShaderBlock, {Colour(0, 0, 0, 1)});
                      auto* back = Connect(new zUnpackColorShaderBlock, {packed});
                      return Connect(new zMixShaderBlock, {Connect(new zPackVectorShaderBlock, {unpacked}),
                                                           Connect(new zSwizzleShaderBlock(back, 1, 2, 3, 0), {}),
                                                           Constant(Float)});
                  },
                  true,
                  "key Mix_VToC_CToV_ConstVec3_Swz1230_CToV_VToC_Color_ConstFloat_\n[vd]\n[vb]\n[fd]\nuniform vec3 "
                  "_n_const0000;\nuniform vec4 _n_color0003;\nuniform float _n_const0007;\n[fb]\nvec3 "
                  "_n_unpacked_vector0001 = (_n_const0000 - vec3(0.5, 0.5, 0.5)) * vec3(2.0, 2.0, 2.0);\nvec3 "
                  "_n_packed_vector0002 = (_n_unpacked_vector0001 + vec3(1.0, 1.0, 1.0)) * vec3(0.5, 0.5, 0.5);\n"
                  "vec4 _n_packed_vector0004 = (_n_color0003 + vec4(1.0, 1.0, 1.0, 0.0)) * vec4(0.5, 0.5, 0.5, "
                  "1.0);\nvec4 _n_unpacked_vector0005 = (_n_packed_vector0004 - vec4(0.5, 0.5, 0.5, 0.0)) * "
                  "vec4(2.0, 2.0, 2.0, 1.0);\nvec3 _n_swizzle0006 = _n_unpacked_vector0005.xyz;\nvec3 _n_mix0008 = "
                  "_n_packed_vector0002 * _n_const0007 + _n_swizzle0006 * (1.0 - _n_const0007);\n"},
        GraphCase{"VectorTimesMatrix",
                  [](zTexture*) -> zShaderBlock* {
                      return Connect(new zMultiplyShaderBlock, {Constant(Vector3), new zTangentFrameShaderBlock});
                  },
                  true,
                  "key Mul_ConstVec3_TngFrm_Nrm_\n[vd]\nvarying vec3 _n_tmp_normal0001;\nattribute vec3 "
                  "attribute_tangent, attribute_bitangent;\nvarying vec3 _T, _B;\n[vb]\n_n_tmp_normal0001 = "
                  "/*gl_NormalMatrix **/ gl_Normal;\n_T = /*gl_NormalMatrix **/ attribute_tangent;\n_B = "
                  "/*gl_NormalMatrix **/ attribute_bitangent;\n[fd]\nuniform vec3 _n_const0000;\nvarying vec3 "
                  "_n_tmp_normal0001;\nvarying vec3 _T, _B;\n[fb]\nvec3 _n_normal0002 = "
                  "normalize(_n_tmp_normal0001);\nmat3 _n_tangent_frame0003 = mat3(normalize(_T), normalize(_B), "
                  "_n_normal0002);\nvec3 _n_mul0004 = _n_const0000 * _n_tangent_frame0003;\n"},
        GraphCase{"Vector3TimesMatrix4Fails",
                  [](zTexture*) -> zShaderBlock* {
                      return Connect(new zMultiplyShaderBlock, {Constant(Vector3), new SkinningMatrixBlock});
                  },
                  false,
                  "key Mul_ConstVec3_SkinMtx_\n[vd]\nuniform mat4 skin_mtx[32];\nattribute vec4 skin_id, "
                  "skin_w;\nvarying mat4 _n_skin_mtx0001;\n[vb]\n_n_skin_mtx0001 = (skin_mtx[int(skin_id.x)] * "
                  "skin_w.x + skin_mtx[int(skin_id.y)] * skin_w.y + skin_mtx[int(skin_id.z)] * skin_w.z + "
                  "skin_mtx[int(skin_id.w)] * skin_w.w) / (skin_w.x + skin_w.y + skin_w.z + skin_w.w);\n[fd]\n"
                  "uniform vec3 _n_const0000;\nvarying mat4 _n_skin_mtx0001;\n[fb]\n"},
        GraphCase{"ScalarSwizzleRepeats",
                  [](zTexture*) -> zShaderBlock* {
                      return Connect(new zSwizzleShaderBlock(Constant(Float), 1, 1, 1, 0), {});
                  },
                  true,
                  "key Swz1110_ConstFloat_\n[vd]\n[vb]\n[fd]\nuniform float _n_const0000;\n[fb]\nvec3 _n_swizzle0001 "
                  "= vec3(_n_const0000,_n_const0000,_n_const0000);\n"},
        GraphCase{"ScalarSwizzleOfYKeepsTheOpenedLine",
                  [](zTexture*) -> zShaderBlock* {
                      return Connect(new zSwizzleShaderBlock(Constant(Float), 1, 2, 0, 0), {});
                  },
                  false,
                  "key Swz1200_ConstFloat_\n[vd]\n[vb]\n[fd]\nuniform float _n_const0000;\n[fb]\nvec2 _n_swizzle0001 "
                  "= vec2(_n_const0000,"},
        GraphCase{"BuildStopsAtAnUnconnectedSlot",
                  [](zTexture*) -> zShaderBlock* {
                      return new zBuildShaderBlock(Constant(Vector2), 3, nullptr, 2, Constant(Float), 4, nullptr, 1);
                  },
                  true,
                  "key Bld3241_ConstVec2_ConstFloat_\n[vd]\n[vb]\n[fd]\nuniform vec2 _n_const0000;\nuniform float "
                  "_n_const0001;\n[fb]\nfloat _n_built0002 = _n_const0000.y;\n"},
        GraphCase{"BuildWithConstantsAndASkippedSlot",
                  [](zTexture*) -> zShaderBlock* {
                      return new zBuildShaderBlock(nullptr, 1, Constant(Vector4), 9, nullptr, 0,
                                                   Constant(Vector4), 5);
                  },
                  true,
                  "key Bld1905_ConstVec4_ConstVec4_\n[vd]\n[vb]\n[fd]\nuniform vec4 _n_const0000;\nuniform vec4 "
                  "_n_const0001;\n[fb]\nvec3 _n_built0002 = vec3(1.0, 0.0, _n_const0001.w);\n"},
        GraphCase{"MixOfMismatchedTypesFails",
                  [](zTexture*) -> zShaderBlock* {
                      return Connect(new zMixShaderBlock, {Constant(Vector3), Constant(Vector4), Constant(Float)});
                  },
                  false,
                  "key Mix_ConstVec3_ConstVec4_ConstFloat_\n[vd]\n[vb]\n[fd]\nuniform vec3 _n_const0000;\nuniform "
                  "vec4 _n_const0001;\nuniform float _n_const0002;\n[fb]\n"},
        GraphCase{"MissingInput",
                  [](zTexture*) -> zShaderBlock* { return Connect(new zNormalizeShaderBlock, {}); }, false,
                  "key Nrmz_\n" + NoSections}),
    [](const ::testing::TestParamInfo<GraphCase>& info) { return std::string(info.param.label); });

// Error messages: the routine that reports, and the text.
struct ErrorCase {
    const char* label;
    std::function<zShaderBlock*()> build;
    const char* routine;
    const char* message;
};

void PrintTo(const ErrorCase& c, std::ostream* out)
{
    *out << c.label;
}

class RenderMapCompilerErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(RenderMapCompilerErrorTest, LogsTheFailureAndYieldsNull)
{
    const ErrorCase& c = GetParam();
    zShaderMap owner;
    owner.roots[zShaderMap::Extra] = c.build();
    GL3_RenderMapCompiler compiler;
    LogCapture capture;
    EXPECT_EQ(compiler.CompileShaderBlock(owner.roots[zShaderMap::Extra]), nullptr);
    EXPECT_TRUE(Logged(capture, c.routine, c.message)) << Text(capture);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RenderMapCompilerErrorTest,
    ::testing::Values(
        ErrorCase{"Sampler",
                  [] {
                      return Forced<zSampler2DShaderBlock>({new zTextureShaderBlock(nullptr), new zVertexColorStreamShaderBlock});
                  },
                  "CompileSampler2dShaderBlock", "Invalid input to the sampler2D block."},
        ErrorCase{"MixNoOutput",
                  [] { return Forced<zMixShaderBlock>({Constant(None), Constant(None), Constant(Float)}); },
                  "CompileMixShaderBlock", "Block has no output."},
        ErrorCase{"MixMatrices",
                  [] {
                      return Forced<zMixShaderBlock>({new SkinningMatrixBlock, new SkinningMatrixBlock, Constant(Float)});
                  },
                  "CompileMixShaderBlock", "Cannot mix blocks, incorrect type (128)."},
        ErrorCase{"AddMismatch", [] { return Forced<zAddShaderBlock>({Constant(Float), Constant(Vector2)}); },
                  "CompileAddShaderBlock", "Cannot add blocks, output do not match."},
        ErrorCase{"SubtractMatrices",
                  [] {
                      return Forced<zSubtractShaderBlock>({new zTangentFrameShaderBlock, new zTangentFrameShaderBlock});
                  },
                  "CompileSubShaderBlock", "Cannot subtract blocks (64)."},
        ErrorCase{"DivideMismatch",
                  [] { return Forced<zDivideShaderBlock>({Constant(Vector3), Constant(Vector2)}); },
                  "CompileDivShaderBlock", "Cannot divide blocks, output do not match."},
        ErrorCase{"MultiplyTextures",
                  [] {
                      return Forced<zMultiplyShaderBlock>({new zTextureShaderBlock(nullptr), new zTextureShaderBlock(nullptr)});
                  },
                  "CompileMulShaderBlock", "Cannot multiply textures."},
        ErrorCase{"MultiplyMismatch",
                  [] { return Forced<zMultiplyShaderBlock>({Constant(Vector2), Constant(Vector3)}); },
                  "CompileMulShaderBlock", "Cannot multiply blocks, output do not match."},
        ErrorCase{"Dot", [] { return Forced<zDotShaderBlock>({Constant(Vector2), Constant(Vector3)}); },
                  "CompileDotShaderBlock", "Cannot compute dot operator, output do not match."},
        ErrorCase{"Clamp",
                  [] {
                      return Forced<zClampShaderBlock>({Constant(Vector3), Constant(Float), Constant(Vector2)});
                  },
                  "CompileClampShaderBlock", "."},
        ErrorCase{"SwizzleNoOutput",
                  [] { return Connect(new zSwizzleShaderBlock(Constant(Vector3), 0, 0, 0, 0), {}); },
                  "CompileSwizzleShaderBlock", "Invalid swizzle, no output."},
        ErrorCase{"SwizzleComponent",
                  [] { return Connect(new zSwizzleShaderBlock(Constant(Vector2), 1, 3, 0, 0), {}); },
                  "CompileSwizzleShaderBlock", "Invalid component to swizzle."},
        ErrorCase{"PowExponent",
                  [] {
                      // A constant whose kind changed after it was connected.
                      zConstantShaderBlock* exponent = Constant(Float);
                      zShaderBlock* pow = Forced<zPowShaderBlock>({Constant(Float), exponent});
                      exponent->kind = Vector2;
                      return pow;
                  },
                  "CompilePowShaderBlock", "Incompatible power type."},
        ErrorCase{"Sinus",
                  [] {
                      zConstantShaderBlock* angle = Constant(Float);
                      zShaderBlock* sine = Forced<zSinusShaderBlock>({angle});
                      angle->kind = Vector3;
                      return sine;
                  },
                  "CompileSinusShaderBlock", "Incompatible source type."},
        ErrorCase{"Cross",
                  [] {
                      zConstantShaderBlock* b = Constant(Vector3);
                      zShaderBlock* cross = Forced<zCrossShaderBlock>({Constant(Vector3), b});
                      b->kind = Vector4;
                      return cross;
                  },
                  "CompileCrossShaderBlock", "Cannot only compute cross product on Vector3."},
        ErrorCase{"ScalarSwizzle",
                  [] { return Connect(new zSwizzleShaderBlock(Constant(Float), 1, 4, 0, 0), {}); },
                  "CompileSwizzleShaderBlock", "Impossible swizzle."},
        ErrorCase{"Pack", [] {
                      zConstantShaderBlock* v = Constant(Vector3);
                      zShaderBlock* pack = Forced<zPackVectorShaderBlock>({v});
                      v->kind = Float;
                      return pack;
                  },
                  "CompilePackVectorToColor", "Invalid input to pack to vector."},
        ErrorCase{"UnknownType", [] { return new zShaderBlock(40); }, "CompileShaderBlock",
                  "Unsupported render block type (40), don't how to compile."},
        ErrorCase{"Unpack", [] { return Forced<zUnpackColorShaderBlock>({new zScreenUVShaderBlock}); },
                  "CompileUnpackColorToVector", "Invalid input to unpack to vector."}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.label); });

TEST(RenderMapCompilerTest, AFailedBlockMetAgainFailsAgain)
{
    // One channel's root fails; another channel reaches the same block: the
    // second reference must not hand its parent a nameless variable.
    zShaderMap owner;
    auto* bad = Forced<zAddShaderBlock>({Constant(Vector3), Constant(Vector4)});
    owner.roots[zShaderMap::Diffuse] = bad;
    owner.roots[zShaderMap::Specular] = Forced<zNormalizeShaderBlock>({bad});
    GL3_RenderMapCompiler compiler;
    LogCapture capture;
    EXPECT_EQ(compiler.CompileShaderBlock(owner.roots[zShaderMap::Diffuse]), nullptr);
    EXPECT_EQ(compiler.CompileShaderBlock(owner.roots[zShaderMap::Specular]), nullptr);
    EXPECT_EQ(compiler.CompileShaderBlock(bad), nullptr);
    EXPECT_EQ(compiler.fragmentBody, "");
    EXPECT_EQ(compiler.GetKey(), "Add_ConstVec3_ConstVec4_Nrmz_Add_Add_");
}

TEST(RenderMapCompilerTest, ABlockUsedTwiceGetsOneVariableButTwoKeyEntries)
{
    zShaderMap owner;
    auto* colour = Colour(1, 0, 0, 1);
    owner.roots[zShaderMap::Extra] = Connect(new zAddShaderBlock, {colour, colour});
    GL3_RenderMapCompiler compiler;
    ASSERT_NE(compiler.CompileShaderBlock(owner.roots[zShaderMap::Extra]), nullptr);
    EXPECT_EQ(compiler.GetKey(), "Add_Color_Color_");
    EXPECT_EQ(compiler.fragmentDeclarations, "uniform vec4 _n_color0000;\n");
    EXPECT_EQ(compiler.fragmentBody, "vec4 _n_add0001 = _n_color0000 + _n_color0000;\n");
    EXPECT_EQ(compiler.GetCompiledBlocks().size(), 2u);
    compiler.Reset();
    EXPECT_EQ(Dump(compiler), "key \n" + NoSections);
    // Numbering starts again after a reset.
    ASSERT_NE(compiler.CompileShaderBlock(colour), nullptr);
    EXPECT_EQ(compiler.fragmentDeclarations, "uniform vec4 _n_color0000;\n");
}

// Answers uniform and attribute queries by name and records the programs the
// renderer asks its loader for. No GL context is needed.
class RecordingRenderer : public zGL3Renderer {
public:
    explicit RecordingRenderer(Tavrin* core) : zGL3Renderer(core)
    {
        glGetUniformLocation_ = &UniformLocation;
        glGetAttribLocation_ = &AttributeLocation;
    }
    ~RecordingRenderer() override { CloseVideo(); }

    struct Loaded {
        std::string name, vertex, fragment;
    };
    zShaderRecord* LoadShader(const char* name, const char* vertexProgram, const char* pixelProgram) override
    {
        loaded.push_back({name, vertexProgram, pixelProgram});
        auto* record = new zGL3ShaderRecord(name);
        record->program = GLhandleARB(loaded.size());
        return record;
    }
    // Generated variables are used unless named in unused; others are absent.
    static GLint UniformLocation(GLhandleARB, const GLcharARB* name)
    {
        const std::string text(name);
        for (const std::string& u : unused) {
            if (u == text)
                return -1;
        }
        return text.rfind("_n_", 0) == 0 ? GLint(std::stoi(text.substr(text.size() - 4)) + 100) : -1;
    }
    static GLint AttributeLocation(GLhandleARB, const GLcharARB* name)
    {
        return std::string(name) == "attribute_tangent" ? 5 : -1;
    }

    std::vector<Loaded> loaded;
    static inline std::vector<std::string> unused;
};

class RenderMapSetupTest : public ::testing::Test {
protected:
    RenderMapSetupTest() : renderer(&core)
    {
        RecordingRenderer::unused.clear();
        wall = new zTexture(&core, "wall.tga");
        core.GetTextures().Append(wall);
    }
    ~RenderMapSetupTest() override { RecordingRenderer::unused.clear(); }

    std::unique_ptr<CompiledRenderMap> Build(zShaderBlock* root, int32_t pass)
    {
        GL3_RenderMapCompiler& compiler = renderer.mapCompiler;
        compiler.Reset();
        compiler.CompileShaderBlock(root);
        std::unique_ptr<CompiledRenderMap> map(renderer.SetupShaderMap(pass));
        compiler.Reset();
        return map;
    }

    Tavrin core;
    RecordingRenderer renderer;
    zTexture* wall;
};

TEST_F(RenderMapSetupTest, MapsOfOneShapeShareAProgramPerPassAndKeepTheirOwnValues)
{
    zShaderMap first, second;
    first.roots[zShaderMap::Extra] =
        Connect(new zMultiplyShaderBlock, {Colour(1, 0, 0, 1), Constant(Vector4, 0.5f, 0.5f, 0.5f, 1)});
    second.roots[zShaderMap::Extra] =
        Connect(new zMultiplyShaderBlock, {Colour(0, 0, 1, 1), Constant(Vector4, 2, 2, 2, 1)});
    std::unique_ptr<CompiledRenderMap> a = Build(first.roots[zShaderMap::Extra], 3);
    std::unique_ptr<CompiledRenderMap> b = Build(second.roots[zShaderMap::Extra], 3);
    std::unique_ptr<CompiledRenderMap> c = Build(second.roots[zShaderMap::Extra], 2);
    ASSERT_TRUE(a && b && c);
    ASSERT_EQ(renderer.loaded.size(), 2u);
    EXPECT_EQ(renderer.shaderMapPrograms, 2u);
    EXPECT_EQ(a->program, b->program);
    EXPECT_NE(a->program, c->program);
    EXPECT_EQ(renderer.loaded[0].name, "Mul_Color_ConstVec4_");
    EXPECT_EQ(renderer.loaded[0].vertex, "\nvoid main()\n{\n}\n");
    EXPECT_EQ(renderer.loaded[0].fragment,
              "uniform vec4 _n_color0000;\nuniform vec4 _n_const0001;\n\nvoid main()\n{\nvec4 _n_mul0002 = "
              "_n_color0000 * _n_const0001;\n}\n");
    // The programs are the shader list's, found by their key.
    EXPECT_EQ(renderer.shaders.FindByName("Mul_Color_ConstVec4_"), a->program);

    auto values = [](const CompiledRenderMap& map) {
        std::string text;
        zLinkedListCursor cursor;
        while (auto* u = map.uniforms.NextAs<RenderMapUniform>(cursor)) {
            text += std::string(u->id.Get()) + " " + std::to_string(u->blockType) + " " +
                std::to_string(u->valueType) + " @" + std::to_string(u->location);
            for (float v : u->value)
                text += " " + std::to_string(v);
            text += "\n";
        }
        return text;
    };
    EXPECT_EQ(values(*a), "_n_color0000 10 32 @100 1.000000 0.000000 0.000000 1.000000\n"
                          "_n_const0001 9 32 @101 0.500000 0.500000 0.500000 1.000000\n");
    EXPECT_EQ(values(*b), "_n_color0000 10 32 @100 0.000000 0.000000 1.000000 1.000000\n"
                          "_n_const0001 9 32 @101 2.000000 2.000000 2.000000 1.000000\n");
}

TEST_F(RenderMapSetupTest, RecordsTexturesCoordinateSetsUniformsAndAttributes)
{
    zShaderMap owner;
    auto* clamped = new zSampler2DShaderBlock;
    clamped->wrapV = 0;
    Connect(clamped, {new zTextureShaderBlock(wall), new zUVStreamShaderBlock(2)});
    auto* lit = Connect(new zMultiplyShaderBlock, {new zTangentFrameShaderBlock, new zViewVectorShaderBlock});
    owner.roots[zShaderMap::Extra] = Connect(
        new zMixShaderBlock, {clamped, Colour(1, 1, 1, 1),
                              Connect(new zMultiplyShaderBlock,
                                      {Connect(new zDotShaderBlock, {lit, new zViewVectorShaderBlock}),
                                       new zClockShaderBlock})});
    std::unique_ptr<CompiledRenderMap> map = Build(owner.roots[zShaderMap::Extra], 3);
    ASSERT_TRUE(map);
    EXPECT_EQ(map->textures[0].texture, wall);
    EXPECT_EQ(map->textures[0].location, 100); // _n_sampler2D0000
    EXPECT_EQ(map->wrap[0][0], 1);
    EXPECT_EQ(map->wrap[0][1], 0);
    EXPECT_EQ(map->textures[1].location, -1);
    EXPECT_EQ(map->uvSets[2], 1);
    EXPECT_EQ(map->uvSets[0], 0);
    ASSERT_NE(map->program, nullptr);
    EXPECT_EQ(map->program->tangentLocation, 5);
    EXPECT_EQ(map->program->skinIdLocation, -1);
    std::string kinds;
    zLinkedListCursor cursor;
    while (auto* u = map->uniforms.NextAs<RenderMapUniform>(cursor))
        kinds += std::to_string(u->blockType) + " ";
    EXPECT_EQ(kinds, "10 13 30 ");
}

TEST_F(RenderMapSetupTest, AnEquivalentTextureBlockFindsTheRecordCompiledForTheFirst)
{
    // Two texture blocks of one texture compile to one sampler variable;
    // the second lookup must still get its slot.
    zShaderMap owner;
    auto* uv = new zUVStreamShaderBlock(0);
    auto* a = Connect(new zSampler2DShaderBlock, {new zTextureShaderBlock(wall), uv});
    auto* b = Connect(new zSampler2DShaderBlock, {new zTextureShaderBlock(wall), new zUVStreamShaderBlock(0)});
    owner.roots[zShaderMap::Extra] = Connect(new zAddShaderBlock, {a, b});
    std::unique_ptr<CompiledRenderMap> map = Build(owner.roots[zShaderMap::Extra], 3);
    ASSERT_TRUE(map);
    EXPECT_EQ(renderer.loaded[0].fragment,
              "uniform sampler2D _n_sampler2D0000;\nvarying vec2 _n_uv0001;\n\nvoid main()\n{\nvec4 _n_color0002 = "
              "texture2D(_n_sampler2D0000, _n_uv0001);\nvec4 _n_color0003 = texture2D(_n_sampler2D0000, "
              "_n_uv0001);\nvec4 _n_add0004 = _n_color0002 + _n_color0003;\n}\n");
    for (int slot = 0; slot < 2; ++slot) {
        EXPECT_EQ(map->textures[slot].texture, wall) << slot;
        EXPECT_EQ(map->textures[slot].location, 100) << slot;
    }
}

TEST_F(RenderMapSetupTest, SixTextureSlotsAtMostAndUnusedSamplersTakeNone)
{
    zShaderMap owner;
    std::vector<zTexture*> textures;
    zShaderBlock* sum = nullptr;
    for (int i = 0; i < 8; ++i) {
        auto* t = new zTexture(&core, ("t" + std::to_string(i) + ".tga").c_str());
        core.GetTextures().Append(t);
        textures.push_back(t);
        auto* lookup = Connect(new zSampler2DShaderBlock, {new zTextureShaderBlock(t), new zUVStreamShaderBlock(0)});
        sum = sum == nullptr ? static_cast<zShaderBlock*>(lookup) : Connect(new zAddShaderBlock, {sum, lookup});
    }
    owner.roots[zShaderMap::Extra] = sum;
    // The program does not use the second texture's sampler.
    RecordingRenderer::unused = {"_n_sampler2D0003"};
    std::unique_ptr<CompiledRenderMap> map = Build(sum, 2);
    ASSERT_TRUE(map);
    const int expected[6] = {0, 2, 3, 4, 5, 6};
    for (int slot = 0; slot < 6; ++slot)
        EXPECT_EQ(map->textures[slot].texture, textures[expected[slot]]) << slot;
}

TEST_F(RenderMapSetupTest, APassOutOfRangeIsRefused)
{
    LogCapture capture;
    EXPECT_EQ(renderer.SetupShaderMap(7), nullptr);
    EXPECT_EQ(renderer.SetupShaderMap(-1), nullptr);
    EXPECT_TRUE(capture.Contains("[!] zGL3Renderer::SetupShaderMap"));
    EXPECT_TRUE(renderer.loaded.empty());
}

TEST_F(RenderMapSetupTest, AMapReadFromZMLCompilesChannelByChannel)
{
    const std::string text =
        "<ZML=1.0>\n<ShaderMap=\n<Map="
        "<Entry=<Type=\"Texture\"><Param=<Texture=\"wall.tga\">>>"
        "<Entry=<Type=\"Geometry UV\"><Param=<Channel=1>>>"
        "<Entry=<Type=\"Sampler 2D\">>"
        "<Entry=<Type=\"Unpack color to vector\">>"
        "<Entry=<Type=\"Swizzle\"><Param=<Swizzle=\"xyzn\">>>"
        "<Entry=<Type=\"Constant\"><Param=<Type=4><Value=<X=0.25>>>>"
        ">\n"
        "<Normal=<Block=<Index=4><Input=<Block=<Index=3><Input=<Block=<Index=2><Input=<Block=<Index=0>>"
        "<Block=<Index=1>>>>>>>>>"
        "<Diffuse=<Block=<Index=2>>><Glossiness=<Block=<Index=5>>>>\n";
    zMetaFile document;
    ASSERT_TRUE(zMetaParser::LoadText(text.data(), text.size(), &document, "map.zml"));
    zShaderMap map;
    ASSERT_TRUE(map.FromMetaTag(&core, &document, document.GetFirstRootTag()));
    GL3_RenderMapCompiler& compiler = renderer.mapCompiler;
    compiler.Reset();
    const CompiledBlock* normal = compiler.CompileShaderBlock(map.roots[zShaderMap::Normal]);
    const CompiledBlock* diffuse = compiler.CompileShaderBlock(map.roots[zShaderMap::Diffuse]);
    const CompiledBlock* gloss = compiler.CompileShaderBlock(map.roots[zShaderMap::Glossiness]);
    ASSERT_TRUE(normal && diffuse && gloss);
    EXPECT_EQ(normal->name, "_n_swizzle0004");
    EXPECT_EQ(diffuse->name, "_n_color0002");
    EXPECT_EQ(gloss->name, "_n_const0005");
    EXPECT_EQ(Dump(compiler),
              "key Swz1230_CToV_Spl2dTT_Tex_UV1_Spl2dTT_ConstFloat_\n[vd]\nvarying vec2 _n_uv0001;\n[vb]\n"
              "_n_uv0001 = vec2(gl_MultiTexCoord1);\n[fd]\nuniform sampler2D _n_sampler2D0000;\nvarying vec2 "
              "_n_uv0001;\nuniform float _n_const0005;\n[fb]\nvec4 _n_color0002 = texture2D(_n_sampler2D0000, "
              "_n_uv0001);\nvec4 _n_unpacked_vector0003 = (_n_color0002 - vec4(0.5, 0.5, 0.5, 0.0)) * vec4(2.0, "
              "2.0, 2.0, 1.0);\nvec3 _n_swizzle0004 = _n_unpacked_vector0003.xyz;\n");
    compiler.Reset();
}

TEST_F(RenderMapSetupTest, AMaterialCompilesItsMapForTheThreePassesAtSetUp)
{
    zMaterial material(&core);
    material.shaderMap = new zShaderMap;
    material.shaderMap->roots[zShaderMap::Diffuse] = Colour(1, 0.5f, 0.25f, 1);
    material.shaderMap->roots[zShaderMap::Opacity] = Constant(Float, 1);
    material.shaderMap->roots[zShaderMap::Glossiness] = new zMaterialParameterShaderBlock(4);
    ASSERT_TRUE(renderer.SetupMaterial(&material));
    auto* programs = static_cast<zGL3MaterialPrograms*>(material.rendererData);
    ASSERT_NE(programs, nullptr);
    ASSERT_TRUE(programs->depthNormalMap && programs->attributeMap && programs->shadowMap);
    ASSERT_EQ(renderer.loaded.size(), 3u);
    EXPECT_EQ(renderer.loaded[0].name, "ConstFloat_Vertex_");
    EXPECT_EQ(renderer.loaded[0].vertex, "varying float depth;\n\nvoid main()\n{\nvec4\t_n_vertex0001 = "
                                         "gl_Vertex;\ngl_Position = gl_ModelViewProjectionMatrix * _n_vertex0001;\n"
                                         "depth = gl_Position.z;\n}\n");
    EXPECT_EQ(renderer.loaded[0].fragment,
              "uniform float _n_const0000;\nvarying float depth;\n\nvoid main()\n{\nif (_n_const0000 < 0.1) "
              "discard;gl_FragColor = vec4(normalize(gl_NormalMatrix * vec3(0.0, 0.0, 0.0)), depth);\n}\n");
    EXPECT_EQ(renderer.loaded[1].fragment,
              "uniform float _n_const0000;\nvarying float depth;\n\nvoid main()\n{\nif (_n_const0000 < 0.1) "
              "discard;gl_FragColor = vec4(depth, depth, depth, depth);\n}\n");
    EXPECT_EQ(renderer.loaded[2].name, "ConstFloat_Color_MatParm4_Vertex_");
    EXPECT_EQ(renderer.loaded[2].fragment,
              "uniform float _n_const0000;\nuniform vec4 _n_color0001;\nfloat _n_mat_param0002 = "
              "gl_FrontMaterial.shininess;\n\nvoid main()\n{\nif (_n_const0000 < 0.1) discard;gl_FragData[0] = "
              "vec4(_n_color0001.xyz, 1.0);\ngl_FragData[1] = vec4(0.0, 0.0, 0.0, _n_mat_param0002);\n"
              "gl_FragData[2] = vec4(0.0, 0.0, 0.0, 0.0);\n}\n");
    EXPECT_EQ(renderer.passPrograms[2].size(), 1u);
    EXPECT_EQ(renderer.passPrograms[3].size(), 1u);
    EXPECT_EQ(renderer.passPrograms[6].size(), 1u);
    // Rebuilding or a second material of the same shape compiles nothing new.
    const uint64_t built = renderer.shaderMapPrograms;
    renderer.UpdateMaterial(&material);
    zMaterial twin(&core);
    twin.shaderMap = new zShaderMap;
    twin.shaderMap->roots[zShaderMap::Diffuse] = Colour(0, 1, 0, 1);
    twin.shaderMap->roots[zShaderMap::Opacity] = Constant(Float, 0.5f);
    twin.shaderMap->roots[zShaderMap::Glossiness] = new zMaterialParameterShaderBlock(4);
    ASSERT_TRUE(renderer.SetupMaterial(&twin));
    EXPECT_EQ(renderer.shaderMapPrograms, built);
    EXPECT_EQ(static_cast<zGL3MaterialPrograms*>(twin.rendererData)->attributeMap->program, programs->attributeMap->program);
    EXPECT_FALSE(renderer.SetupMaterial(&material));
}

TEST_F(RenderMapSetupTest, MaterialsWithoutProgramsAndAWhiteDefault)
{
    zMaterial plain(&core);
    ASSERT_TRUE(renderer.SetupMaterial(&plain));
    ASSERT_EQ(renderer.loaded.size(), 3u);
    EXPECT_EQ(renderer.loaded[2].fragment,
              "\nvoid main()\n{\ngl_FragData[0] = vec4(1.0, 1.0, 1.0, 1.0);\ngl_FragData[1] = vec4(0.0, 0.0, "
              "0.0, 0.1);\ngl_FragData[2] = vec4(0.0, 0.0, 0.0, 0.0);\n}\n");
    renderer.loaded.clear();
    zMaterial fixed(&core);
    fixed.flags |= zMaterial::FlagFixedFunction;
    ASSERT_TRUE(renderer.SetupMaterial(&fixed));
    zMaterial skinned(&core);
    skinned.flags |= zMaterial::FlagSkinned;
    ASSERT_TRUE(renderer.SetupMaterial(&skinned));
    EXPECT_EQ(static_cast<zGL3MaterialPrograms*>(fixed.rendererData)->attributeMap, nullptr);
    ASSERT_EQ(renderer.loaded.size(), 3u);
    EXPECT_EQ(renderer.loaded[0].name, "SkinMtx_Vertex_");
    EXPECT_NE(renderer.loaded[0].vertex.find(
                  "gl_Position = gl_ModelViewProjectionMatrix * _n_skin_mtx0000 * _n_vertex0001;\n"),
              std::string::npos);
}

struct LightCase {
    const char* label;
    int32_t type;
    int32_t shadow;
    bool projection;
    float specular;
    uint32_t effects;
    const char* program;
};

void PrintTo(const LightCase& c, std::ostream* out)
{
    *out << c.label;
}

class LightProgramTest : public ::testing::TestWithParam<LightCase> {};

TEST_P(LightProgramTest, PicksTheCoreProgram)
{
    const LightCase& c = GetParam();
    Tavrin core;
    zGL3Renderer renderer(&core);
    renderer.effectFlags = c.effects;
    zLight light(&core);
    light.type = c.type;
    light.shadow = c.shadow;
    light.specularIntensity = c.specular;
    zTexture map(&core, "cookie.tga");
    light.projectionMap = c.projection ? &map : nullptr;
    const char* program = renderer.SelectLightProgram(&light);
    EXPECT_STREQ(program != nullptr ? program : "(none)", c.program);
    light.projectionMap = nullptr;
}

constexpr uint32_t Shadows = zGL3Renderer::EffectShadowMapping;
constexpr uint32_t Linear = zGL3Renderer::EffectShadowMapping | zGL3Renderer::EffectLinearShadow;

INSTANTIATE_TEST_SUITE_P(
    Lights, LightProgramTest,
    ::testing::Values(
        LightCase{"PointShadowed", zLight::TypePoint, zLight::ShadowMap, false, 0, Shadows, "core::pointlight_shadowmap"},
        // Without shadow mapping no cube maps are rendered: the plain program.
        LightCase{"PointShadowedWithoutShadowMapping", zLight::TypePoint, zLight::ShadowMap, false, 0, 0,
                  "core::pointlight"},
        LightCase{"PointSpecular", zLight::TypePoint, zLight::ShadowNone, false, 1, Shadows,
                  "core::pointlight_specular"},
        LightCase{"ParallelSplits", zLight::TypeParallel, zLight::ShadowMap, false, 0, Linear,
                  "core::linearlight_pssm"},
        LightCase{"ParallelWithoutLinearShadow", zLight::TypeParallel, zLight::ShadowMap, false, 0, Shadows,
                  "core::linearlight"},
        LightCase{"SpotProjectedShadowMap", zLight::TypeSpot, zLight::ShadowMap, true, 0, Shadows,
                  "core::projective_spotlight_shadowmap"},
        LightCase{"SpotShadowMap", zLight::TypeSpot, zLight::ShadowMap, false, 0, Shadows, "core::spotlight_shadowmap"},
        LightCase{"SpotProjectedShadowMode1", zLight::TypeSpot, zLight::ShadowPMap, true, 0, Shadows,
                  "core::projective_spotlight_shadow"},
        LightCase{"SpotProjectedShadowMapOff", zLight::TypeSpot, zLight::ShadowMap, true, 0, 0,
                  "core::projective_spotlight"},
        LightCase{"SpotSpecularShadowMapOff", zLight::TypeSpot, zLight::ShadowMap, false, 1, 0,
                  "core::spotlight_specular"},
        LightCase{"Spot", zLight::TypeSpot, zLight::ShadowNone, false, 0, Shadows, "core::spotlight"},
        LightCase{"Area", zLight::TypeArea, zLight::ShadowNone, false, 0, Shadows, "(none)"}),
    [](const ::testing::TestParamInfo<LightCase>& info) { return std::string(info.param.label); });

} // namespace
