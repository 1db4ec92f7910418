// The renderer's core program library: every program compiles and links on
// the software rasteriser and takes the uniforms and samplers its passes set.

#include "GL3TestSupport.h"
#include "support/LogCapture.h"

#include "core/shader/StreamBlocks.h"
#include "core/shader/zShaderBlocks.h"
#include "core/shader/zShaderMap.h"

#include <string>
#include <vector>

namespace {

const char* const LibraryPath = TAVRIN_TEST_DATA "/../../data/shaders/default_shaders.zml";

class GL3ShaderLibraryTest : public GLRendererTest {
protected:
    // Opens the renderer and drops the library its set-up loaded: the
    // tests load it themselves, from the source tree.
    bool OpenWithoutLibrary()
    {
        if (!Open())
            return false;
        renderer->FreeAllShaders();
        return true;
    }
    // Status of a shader or program object (ARB objects).
    GLint Status(GLhandleARB object, GLenum what)
    {
        using Query = void (*)(GLhandleARB, GLenum, GLint*);
        auto query = reinterpret_cast<Query>(PlatformGetGLProcAddress("glGetObjectParameterivARB"));
        GLint value = 0;
        if (query != nullptr)
            query(object, what, &value);
        return value;
    }
};

TEST_F(GL3ShaderLibraryTest, EveryCoreProgramCompilesAndLinks)
{
    ASSERT_TRUE(OpenWithoutLibrary());
    LogCapture capture;
    ASSERT_TRUE(renderer->LoadShaderLibrary(LibraryPath, "GLSL_Deferred;"));
    static const char* const names[] = {
        "core::fog",
        "core::hdr_no_ldr",
        "core::tone_mapping",
        "core::h_gaussian_blur",
        "core::v_gaussian_blur",
        "core::h_dof",
        "core::v_dof",
        "core::exposure",
        "core::exposure_bloom",
        "core::motionblur",
        "core::ambient",
        "core::velocity",
        "core::ssao",
        "core::ati_glclear_workaround_shadowmap",
        "core::pointlight",
        "core::pointlight_specular",
        "core::pointlight_shadowmap",
        "core::spotlight",
        "core::spotlight_shadowmap",
        "core::spotlight_specular",
        "core::projective_spotlight",
        "core::projective_spotlight_shadow",
        "core::projective_spotlight_shadowmap",
        "core::linearlight",
        "core::linearlight_pssm",
        "core::volumetric_cone",
        "core::volumetric_cone_shadowmap",
        "core::shadow_map",
        "core::shadow_map_alphatest",
    };
    EXPECT_EQ(renderer->shaders.GetCount(), int32_t(std::size(names)));
    for (const char* name : names) {
        auto* record = static_cast<zGL3ShaderRecord*>(renderer->shaders.FindByName(name));
        ASSERT_NE(record, nullptr) << name;
        EXPECT_EQ(Status(record->vertexShader, GL_OBJECT_COMPILE_STATUS_ARB), GL_TRUE) << name;
        EXPECT_EQ(Status(record->fragmentShader, GL_OBJECT_COMPILE_STATUS_ARB), GL_TRUE) << name;
        EXPECT_EQ(Status(record->program, GL_OBJECT_LINK_STATUS_ARB), GL_TRUE) << name;
    }
    for (const std::string& line : capture.lines)
        EXPECT_EQ(line.find("rror"), std::string::npos) << line;
    // Required by the set-up; the library holds them all, so the check passes.
    EXPECT_TRUE(renderer->SetupCoreShader());
}

// The uniforms and samplers each pass sets, active in its program.
struct Contract {
    const char* program;
    std::vector<const char*> uniforms;
};

TEST_F(GL3ShaderLibraryTest, ProgramsReadTheUniformsTheirPassesSet)
{
    ASSERT_TRUE(OpenWithoutLibrary());
    ASSERT_TRUE(renderer->LoadShaderLibrary(LibraryPath, "GLSL_Deferred;"));
    const std::vector<Contract> contracts = {
        {"core::fog", {"gbuffer0", "near", "inverse_range", "color", "inverse_buffer_size"}},
        {"core::ambient", {"gbuffer1", "gbuffer3", "inverse_buffer_size"}},
        {"core::ssao",
         {"inverse_buffer_size", "framebuffer_fx_scaler", "display_buffer_ratio", "inverse_projection_2d",
          "view_depth_offset", "nrm_dpth", "noise_texture"}},
        {"core::h_gaussian_blur", {"inverse_buffer_size", "blur_size", "framebuffer_fx_scaler", "source"}},
        {"core::v_dof",
         {"inverse_buffer_size", "framebuffer_fx_scaler", "blur_size", "f_stop", "focal_distance", "source",
          "nrm_dpth"}},
        {"core::motionblur", {"inverse_buffer_size", "velocity_map", "pp_input"}},
        {"core::pointlight",
         {"gbuffer0", "gbuffer1", "inverse_buffer_size", "view_depth_offset", "range", "position_view_space",
          "diffuse_color"}},
        {"core::pointlight_specular", {"gbuffer2", "specular_color"}},
        {"core::pointlight_shadowmap",
         {"shadow_bias", "psm_0", "psm_5", "psm_0_projection_matrix", "psm_5_projection_matrix"}},
        {"core::spotlight", {"direction_view_space", "spot_cone_angle", "spot_edge_angle"}},
        {"core::spotlight_shadowmap", {"light_view_depth_texture", "light_projection_matrix", "shadow_bias"}},
        {"core::projective_spotlight", {"projection_texture", "light_projection_matrix"}},
        {"core::projective_spotlight_shadowmap", {"projection_texture", "light_view_depth_texture"}},
        {"core::linearlight", {"inverse_projection_2d", "display_buffer_ratio", "direction_view_space"}},
        {"core::linearlight_pssm",
         {"pssm_0", "pssm_5", "pssm_0_projection_matrix", "pssm_5_slice_distance", "shadow_bias"}},
        {"core::volumetric_cone",
         {"gbuffer0", "volumetric_step", "volumetric_thickness", "volumetric_color", "volumetric_range",
          "position_view_space", "direction_view_space", "cone_angle"}},
        {"core::volumetric_cone_shadowmap", {"volume_view_depth_texture", "volume_projection_matrix"}},
        {"core::ati_glclear_workaround_shadowmap", {"clear_color"}},
    };
    for (const Contract& c : contracts) {
        auto* record = static_cast<zGL3ShaderRecord*>(renderer->shaders.FindByName(c.program));
        ASSERT_NE(record, nullptr) << c.program;
        for (const char* uniform : c.uniforms)
            EXPECT_NE(renderer->glGetUniformLocation_(record->program, uniform), -1) << c.program << " " << uniform;
    }
}

TEST_F(GL3ShaderLibraryTest, MaterialProgramsFromShaderMapsLinkOnTheDriver)
{
    ASSERT_TRUE(Open());
    // Build the programs as the deferred frame would.
    const uint32_t saved = renderer->optionFlags;
    renderer->optionFlags &= ~uint32_t(zGL3Renderer::OptionDisableShader);
    zTexture* wall = new zTexture(&core, "wall.tga");
    core.GetTextures().Append(wall);
    zMaterial material(&core);
    material.flags |= zMaterial::FlagSkinned;
    material.shaderMap = new zShaderMap;
    auto* lookup = new zSampler2DShaderBlock;
    lookup->SetInput(0, new zTextureShaderBlock(wall));
    lookup->SetInput(1, new zUVStreamShaderBlock(0));
    auto* bump = new zUnpackColorShaderBlock;
    bump->SetInput(0, new zSwizzleShaderBlock(lookup, 1, 2, 3, 0));
    auto* normal = new zMultiplyShaderBlock;
    normal->SetInput(0, bump);
    normal->SetInput(1, new zTangentFrameShaderBlock);
    material.shaderMap->roots[zShaderMap::Normal] = normal;
    material.shaderMap->roots[zShaderMap::Diffuse] = lookup;
    auto* gloss = new zPowShaderBlock;
    gloss->SetInput(0, new zClockShaderBlock);
    gloss->SetInput(1, new zMaterialParameterShaderBlock(4));
    material.shaderMap->roots[zShaderMap::Glossiness] = gloss;
    material.shaderMap->roots[zShaderMap::Constant] = new zVertexColorStreamShaderBlock;
    auto* opacity = new zSwizzleShaderBlock(lookup, 4, 0, 0, 0);
    material.shaderMap->roots[zShaderMap::Opacity] = opacity;
    ASSERT_TRUE(renderer->SetupMaterial(&material));
    auto* programs = static_cast<zGL3MaterialPrograms*>(material.rendererData);
    for (CompiledRenderMap* map : {programs->depthNormalMap, programs->attributeMap, programs->shadowMap}) {
        ASSERT_NE(map, nullptr);
        ASSERT_NE(map->program, nullptr);
        EXPECT_EQ(Status(map->program->program, GL_OBJECT_LINK_STATUS_ARB), GL_TRUE) << map->program->id.Get();
        EXPECT_NE(map->program->skinIdLocation, -1) << map->program->id.Get();
    }
    EXPECT_EQ(programs->attributeMap->textures[0].texture, wall);
    EXPECT_NE(programs->attributeMap->textures[0].location, -1);
    EXPECT_NE(programs->depthNormalMap->program->tangentLocation, -1);
    renderer->FreeMaterial(&material);
    renderer->optionFlags = saved;
}

} // namespace
