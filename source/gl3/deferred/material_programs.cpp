// The programs of materials and lights for the deferred frame: a material's
// shader map compiled for the depth-normal, attribute and shadow passes, and
// the core program each light type draws with.

#include "core/light/zLight.h"
#include "core/material/zMaterial.h"
#include "core/shader/StreamBlocks.h"
#include "core/shader/zShaderMap.h"
#include "gl3/system/zGL3Renderer.h"

#include <string>

namespace {

// The variable of a root that compiles, or empty.
std::string Root(GL3_RenderMapCompiler& compiler, const zShaderMap* map, int32_t channel)
{
    if (map == nullptr)
        return {};
    const CompiledBlock* block = compiler.CompileShaderBlock(map->roots[channel]);
    return block != nullptr ? block->name : std::string();
}

} // namespace

void zGL3Renderer::UpdateMaterial(zMaterial* material)
{
    if (material == nullptr)
        return;
    auto* programs = static_cast<zGL3MaterialPrograms*>(material->rendererData);
    if (programs == nullptr)
        return;
    programs->Clear();
    GL3_RenderMapCompiler& compiler = mapCompiler;
    if ((optionFlags & OptionDisableShader) != 0 || material->transparent != 0 ||
        (material->flags & zMaterial::FlagFixedFunction) != 0) {
        compiler.Reset();
        return;
    }
    const zShaderMap* map = material->shaderMap;
    VertexStreamBlock vertex;
    SkinningMatrixBlock skinning;
    const bool skinned = (material->flags & zMaterial::FlagSkinned) != 0;

    auto alphaTest = [&] {
        const std::string opacity = Root(compiler, map, zShaderMap::Opacity);
        if (!opacity.empty())
            compiler.fragmentBody += "if (" + opacity + " < 0.1) discard;";
    };
    auto position = [&] {
        const CompiledBlock* skin = skinned ? compiler.CompileShaderBlock(&skinning) : nullptr;
        const CompiledBlock* v = compiler.CompileShaderBlock(&vertex);
        const std::string vertexName = v != nullptr ? v->name : std::string("gl_Vertex");
        if (skin != nullptr)
            compiler.vertexBody += "gl_Position = gl_ModelViewProjectionMatrix * " + skin->name + " * " + vertexName + ";\n";
        else
            compiler.vertexBody += "gl_Position = gl_ModelViewProjectionMatrix * " + vertexName + ";\n";
    };
    auto depthLines = [&] {
        compiler.vertexDeclarations += "varying float depth;\n";
        compiler.fragmentDeclarations += "varying float depth;\n";
        compiler.vertexBody += "depth = gl_Position.z;\n";
    };

    compiler.Reset();
    alphaTest();
    position();
    const std::string normal = Root(compiler, map, zShaderMap::Normal);
    depthLines();
    compiler.fragmentBody += "gl_FragColor = vec4(normalize(gl_NormalMatrix * " +
        (normal.empty() ? std::string("vec3(0.0, 0.0, 0.0)") : normal) + "), depth);\n";
    programs->depthNormalMap = SetupShaderMap(2);

    compiler.Reset();
    alphaTest();
    position();
    depthLines();
    compiler.fragmentBody += "gl_FragColor = vec4(depth, depth, depth, depth);\n";
    programs->shadowMap = SetupShaderMap(6);

    compiler.Reset();
    alphaTest();
    const std::string diffuse = Root(compiler, map, zShaderMap::Diffuse);
    const std::string specular = Root(compiler, map, zShaderMap::Specular);
    const std::string gloss = Root(compiler, map, zShaderMap::Glossiness);
    const std::string constant = Root(compiler, map, zShaderMap::Constant);
    position();
    compiler.fragmentBody += "gl_FragData[0] = vec4(" + (diffuse.empty() ? "1.0, 1.0, 1.0" : diffuse + ".xyz") +
        ", 1.0);\ngl_FragData[1] = vec4(" + (specular.empty() ? "0.0, 0.0, 0.0" : specular + ".xyz") + ", " +
        (gloss.empty() ? "0.1" : gloss) + ");\ngl_FragData[2] = vec4(" +
        (constant.empty() ? "0.0, 0.0, 0.0" : constant + ".xyz") + ", 0.0);\n";
    programs->attributeMap = SetupShaderMap(3);
    // The stream blocks die here: nothing may keep pointing at them.
    compiler.Reset();
}

const char* zGL3Renderer::SelectLightProgram(const zLight* light) const
{
    const bool shadowed = light->shadow == zLight::ShadowMap;
    const bool shadowMapping = (effectFlags & EffectShadowMapping) != 0;
    switch (light->type) {
    case zLight::TypePoint:
        // Cube maps are only rendered while shadow mapping is on: without
        // them the shadowed program would read stale or empty maps.
        if (shadowed && shadowMapping)
            return "core::pointlight_shadowmap";
        return light->specularIntensity > 0.0f ? "core::pointlight_specular" : "core::pointlight";
    case zLight::TypeParallel:
        return shadowed && shadowMapping && (effectFlags & EffectLinearShadow) != 0 ? "core::linearlight_pssm"
                                                                                   : "core::linearlight";
    case zLight::TypeSpot:
        if (shadowed && shadowMapping)
            return light->projectionMap != nullptr ? "core::projective_spotlight_shadowmap"
                                                   : "core::spotlight_shadowmap";
        if (light->projectionMap != nullptr)
            return light->shadow == zLight::ShadowPMap ? "core::projective_spotlight_shadow"
                                                       : "core::projective_spotlight";
        return light->specularIntensity > 0.0f ? "core::spotlight_specular" : "core::spotlight";
    default: return nullptr;
    }
}

void zGL3Renderer::UpdateLight(zLight* light)
{
    if (light == nullptr || light->rendererData == nullptr || (optionFlags & OptionDisableShader) != 0)
        return;
    auto* programs = static_cast<zGL3LightPrograms*>(light->rendererData);
    const char* name = !light->shader.IsEmpty() ? light->shader.Get() : SelectLightProgram(light);
    programs->lightProgram =
        name != nullptr ? static_cast<zGL3ShaderRecord*>(shaders.FindByName(name)) : nullptr;
    programs->volumetricProgram = nullptr;
    if (light->type == zLight::TypeSpot && light->volumetric != 0) {
        const bool shadowed = light->shadow == zLight::ShadowMap && (effectFlags & EffectShadowMapping) != 0;
        programs->volumetricProgram = static_cast<zGL3ShaderRecord*>(
            shaders.FindByName(shadowed ? "core::volumetric_cone_shadowmap" : "core::volumetric_cone"));
    }
}
