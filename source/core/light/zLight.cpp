#include "core/light/zLight.h"

#include "core/render/zRenderer.h"
#include "core/resource/zTexture.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

const char* const TypeNames[] = {"None", "Point", "Parallel", "Spot", "Area"};
const char* const ShadowNames[] = {"None", "PMap", "Map", "Stencil"};
const char* const FalloffNames[] = {"Linear", "InvDist", "InvDist2"};

// Index of text among names, or -1.
template <size_t N>
int32_t IndexOf(const char* const (&names)[N], const char* text)
{
    if (text == nullptr)
        return -1;
    for (size_t i = 0; i < N; ++i) {
        if (std::strcmp(text, names[i]) == 0)
            return int32_t(i);
    }
    return -1;
}

bool ColourDiffersFromWhite(const zColor& c)
{
    return std::fabs(c.r - 1.0f) >= 1e-6f || std::fabs(c.g - 1.0f) >= 1e-6f || std::fabs(c.b - 1.0f) >= 1e-6f;
}

const char* TextOf(const zMetaTag* tag)
{
    const char* text = tag->GetString();
    return text != nullptr ? text : "";
}

} // namespace

zLight::zLight(Tavrin* owner) : zItem(owner)
{
}

zLight::~zLight()
{
    if (core != nullptr && core->renderer != nullptr)
        core->renderer->FreeLight(this);
}

void zLight::UpdateWorldMatrix()
{
    zItem::UpdateWorldMatrix();
    ComputeFrustum(frustum, -1.0f, -1.0f);
}

void zLight::GetProjectionMatrix(zMatrix4& out)
{
    out.MakeIdentity();
    if (type != TypeSpot)
        return;
    for (float& element : out.m)
        element = 0.0f;
    // A cone of zero width or a depth range of zero width cannot be mapped:
    // the term that would divide by zero stays 0.
    const float angle = coneAngle + edgeAngle;
    const float s = std::sin(angle);
    float c = 0.0f;
    if (s != 0.0f)
        c = std::cos(angle) / s;
    else
        LogWarning("zLight::GetProjectionMatrix") << "Spot cone angle is zero.\n";
    float q = 0.0f;
    if (zFar != zNear)
        q = zFar / (zFar - zNear);
    else
        LogWarning("zLight::GetProjectionMatrix") << "Far distance equals near distance (" << zNear << ").\n";
    out.m[0] = c;
    out.m[5] = c;
    out.m[10] = q;
    out.m[11] = -zNear * q;
    out.m[14] = 1.0f;
}

void zLight::ComputeFrustum(zFrustum& out, float nearDistance, float farDistance)
{
    if (type != TypeSpot)
        return;
    const float n = nearDistance == -1.0f ? zNear : nearDistance;
    const float f = farDistance == -1.0f ? zFar : farDistance;
    out.SetPerspective(2.0f * (coneAngle + edgeAngle), n, f, &worldMatrix, 1.0f, 1.0f);
}

bool zLight::SampleEnergy(const zVector& point, const zVector& normal, float* diffuseOut, float* specularOut,
                          const zVector* view, float glossiness, bool blinn, bool cookTorrance) const
{
    if (diffuseOut == nullptr && specularOut == nullptr)
        return false;

    zVector l;
    float h = 1.0f;
    if (type == TypeParallel) {
        l = (-worldMatrix.GetRow(2)).Normalized();
    } else {
        const zVector d = worldMatrix.GetRow(3) - point;
        const float distance = d.Length();
        l = distance != 0.0f ? d * (1.0f / distance) : zVector(0.0f, 0.0f, 0.0f);
        if (range != 0.0f) {
            h = 1.0f - distance / range;
            if (h <= 0.0f)
                return false;
        }
        if (type == TypeSpot) {
            // Rounding can take the cosine just past 1, where acos has no value.
            const float cosine = std::clamp(worldMatrix.GetRow(2).Normalized().Dot(-l), -1.0f, 1.0f);
            const float theta = float(std::acos(double(cosine)));
            if (theta > coneAngle + edgeAngle)
                return false;
            if (theta > coneAngle)
                h *= 1.0f - (theta - coneAngle) / edgeAngle;
        }
    }

    const float n = normal.Dot(l);
    if (n < 0.0f)
        return false;

    if (diffuseOut != nullptr)
        *diffuseOut = diffuseIntensity * n * h;

    if (specularOut != nullptr) {
        float term = 0.0f;
        if (view != nullptr) {
            const zVector v = view->Normalized();
            float s = 0.0f;
            if (cookTorrance) {
                LogWarning("zLight::SampleEnergy") << "Cook-Torrance specular model not implemented.\n";
            } else if (blinn) {
                s = (l - v).Normalized().Dot(normal);
            } else {
                const zVector r = v - normal * (2.0f * normal.Dot(v));
                s = r.Dot(l);
            }
            if (s > 0.0f)
                term = float(std::pow(double(s), double(glossiness * 96.0f)));
        }
        *specularOut = h * term * specularIntensity;
    }
    return true;
}

bool zLight::FromMetaTag(const zMetaFile* document, const zMetaTag* tag)
{
    if (tag == nullptr) {
        LogError("zLight::FromMetaTag") << "Could not parse light. No tag given.\n";
        return false;
    }
    if (!tag->GetName().EqualsCString("Light")) {
        LogError("zLight::FromMetaTag") << "Could not parse light. Root tag id is incorrect (" << tag->GetName()
                                        << ").\n";
        return false;
    }

    zFar = DefaultZFar;
    clipDistance = DefaultClipDistance;
    shadowBias = DefaultShadowBias;
    shadowDistribution = DefaultShadowDistribution;
    shadowRange = DefaultShadowRange;
    volumetricSampleStep = DefaultVolumetricSampleStep;
    volumetricThickness = DefaultVolumetricThickness;
    type = TypePoint;
    shadow = ShadowNone;
    volumetric = 0;

    // Prebuilt names compare by hash first.
    static const zString ItemName("Item"), RangeName("Range"), VolumeRangeName("VolumeRange"),
        ClipDistanceName("ClipDistance"), ProjectionMapName("ProjectionMap"), DiffuseName("Diffuse"),
        SpecularName("Specular"), DiffuseIntensityName("DiffuseIntensity"),
        SpecularIntensityName("SpecularIntensity"), ConeAngleName("ConeAngle"), EdgeAngleName("EdgeAngle"),
        ShadowBiasName("ShadowBias"), ShadowDistributionName("ShadowDistribution"),
        ShadowRangeName("ShadowRange"), VolumetricSampleStepName("VolumetricSampleStep"),
        VolumetricThicknessName("VolumetricThickness"), ShaderName("Shader"), ZNearName("ZNear"),
        TypeName("Type"), ShadowName("Shadow"), VolumetricName("Volumetric"), FalloffName("Falloff");

    for (zMetaTag* child = tag->GetFirstChild(); child != nullptr; child = child->GetNextSibling()) {
        const zString& name = child->GetName();
        const zMetaTag* value = document != nullptr ? zMetaTag::ResolveShortcut(child, document) : child;
        if (value == nullptr)
            continue;
        if (name == ItemName) {
            zItem::FromMetaTag(document, value);
        } else if (name == RangeName) {
            range = value->GetFloat();
        } else if (name == VolumeRangeName) {
            zFar = value->GetFloat();
            if (zFar <= 0.0f)
                zFar = DefaultZFar;
        } else if (name == ClipDistanceName) {
            clipDistance = value->GetFloat();
        } else if (name == ProjectionMapName) {
            // A value that is not a text names nothing; the loader reports it.
            if (core != nullptr)
                projectionMap = core->LoadTexture(value->GetString(), true, true, 0.5f, false);
        } else if (name == DiffuseName) {
            diffuse.FromMetaTag(document, value);
        } else if (name == SpecularName) {
            specular.FromMetaTag(document, value);
        } else if (name == DiffuseIntensityName) {
            diffuseIntensity = value->GetFloat();
        } else if (name == SpecularIntensityName) {
            specularIntensity = value->GetFloat();
        } else if (name == ConeAngleName) {
            coneAngle = value->GetFloat();
        } else if (name == EdgeAngleName) {
            edgeAngle = value->GetFloat();
        } else if (name == ShadowBiasName) {
            shadowBias = value->GetFloat();
        } else if (name == ShadowDistributionName) {
            shadowDistribution = value->GetFloat();
        } else if (name == ShadowRangeName) {
            shadowRange = value->GetFloat();
        } else if (name == VolumetricSampleStepName) {
            volumetricSampleStep = value->GetFloat();
        } else if (name == VolumetricThicknessName) {
            volumetricThickness = value->GetFloat();
        } else if (name == ShaderName) {
            shader.Assign(TextOf(value));
        } else if (name == ZNearName) {
            // A non-number reads as -999 and is raised like any small value.
            const float n = value->GetFloat();
            zNear = n >= MinTagZNear ? n : MinTagZNear;
        } else if (name == TypeName) {
            const int32_t index = IndexOf(TypeNames, value->GetString());
            if (index >= 0)
                type = index;
            else
                LogWarning("zLight::FromMetaTag") << "Bogus light type '" << TextOf(value) << "'.\n";
        } else if (name == ShadowName) {
            const int32_t index = IndexOf(ShadowNames, value->GetString());
            if (index >= 0)
                shadow = index;
            else
                LogWarning("zLight::FromMetaTag") << "Bogus light shadow '" << TextOf(value) << "'.\n";
        } else if (name == VolumetricName) {
            volumetric = 1;
        } else if (name == FalloffName) {
            const int32_t index = IndexOf(FalloffNames, value->GetString());
            if (index >= 0)
                falloff = index;
            else
                LogWarning("zLight::FromMetaTag") << "Bogus light falloff '" << TextOf(value) << "'.\n";
        } else {
            LogWarning("zLight::FromMetaTag") << "Unknown tag '" << name << "' in <Light>.\n";
        }
    }
    return true;
}

zMetaTag* zLight::AsMetaTag(const zMetaFile* document) const
{
    zMetaTag* tag = zMetaTag::NewRoot("Light", "zLight::AsMetaTag",
                                      {"Could not serialize light. Failed to create root tag.\n"});
    if (tag == nullptr)
        return nullptr;
    tag->AddChild(zItem::AsMetaTag(document));
    if (type != TypePoint)
        tag->CreateString("Type", type >= TypeParallel && type <= TypeArea ? TypeNames[type] : "None");
    if (shadow != ShadowNone)
        tag->CreateString("Shadow", shadow >= ShadowPMap && shadow <= ShadowStencil ? ShadowNames[shadow] : "None");
    if (shadowRange != DefaultShadowRange)
        tag->CreateFloat("ShadowRange", shadowRange);
    if (shadowBias != DefaultShadowBias)
        tag->CreateFloat("ShadowBias", shadowBias);
    if (shadowDistribution != DefaultShadowDistribution)
        tag->CreateFloat("ShadowDistribution", shadowDistribution);
    if (volumetric != 0)
        tag->CreateChild("Volumetric");
    tag->CreateFloat("VolumetricSampleStep", volumetricSampleStep);
    tag->CreateFloat("VolumetricThickness", volumetricThickness);
    if (zNear != DefaultZNear)
        tag->CreateFloat("ZNear", zNear);
    if (falloff != FalloffLinear) {
        tag->CreateString("Falloff", falloff == FalloffInvDist    ? "InvDist"
                                     : falloff == FalloffInvDist2 ? "InvDist2"
                                                                  : "Linear");
    }
    if (range != 0.0f)
        tag->CreateFloat("Range", range);
    if (zFar != DefaultZFar)
        tag->CreateFloat("VolumeRange", zFar);
    if (clipDistance != DefaultClipDistance)
        tag->CreateFloat("ClipDistance", clipDistance);
    if (projectionMap != nullptr && projectionMap->id.GetLength() > 0)
        tag->CreateString("ProjectionMap", projectionMap->id.Get());
    if (ColourDiffersFromWhite(diffuse))
        diffuse.AddMetaTag(tag, "Diffuse");
    if (ColourDiffersFromWhite(specular))
        specular.AddMetaTag(tag, "Specular");
    if (diffuseIntensity != 1.0f)
        tag->CreateFloat("DiffuseIntensity", diffuseIntensity);
    if (specularIntensity != 0.0f)
        tag->CreateFloat("SpecularIntensity", specularIntensity);
    if (coneAngle != DefaultConeAngle)
        tag->CreateFloat("ConeAngle", coneAngle);
    if (edgeAngle != DefaultConeAngle)
        tag->CreateFloat("EdgeAngle", edgeAngle);
    if (shader.GetLength() > 0)
        tag->CreateString("Shader", shader.Get());
    return tag;
}
