#pragma once

#include "CoreTestSupport.h"

#include "core/zad/TavrinGlobals.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"

#include <string>

// A ZML document read from a body written after the header.
struct ZmlText {
    explicit ZmlText(const std::string& body)
    {
        const std::string text = "<ZML=1.0>\n" + body;
        ok = zMetaParser::LoadText(text.data(), text.size(), &document, "test.zml");
    }
    const zMetaTag* Root() const { return document.GetFirstRootTag(); }

    zMetaFile document;
    bool ok = false;
};

// The ZML text of a tag and its subtree.
inline std::string TagText(const zMetaTag* tag)
{
    std::string text;
    if (tag != nullptr)
        zMetaParser::SaveTag(text, nullptr, tag, 0);
    return text;
}

// A renderer that also records the material and geometry calls, with the
// module tag each one saw.
class ResourceRenderer : public RecordingRenderer {
public:
    explicit ResourceRenderer(Tavrin* owner) : RecordingRenderer(owner, true) {}

    void Note(const char* call)
    {
        Record(call);
        moduleTags.push_back(GlobalModuleTag);
    }
    bool SetupMaterial(zMaterial*) override
    {
        Note("SetupMaterial");
        return true;
    }
    void FreeMaterial(zMaterial*) override { Note("FreeMaterial"); }
    void UpdateMaterial(zMaterial*) override { Note("UpdateMaterial"); }
    bool SetupGeometry(zGeometry*) override
    {
        Note("SetupGeometry");
        return true;
    }
    void FreeGeometry(zGeometry*) override { Note("FreeGeometry"); }

    std::vector<int32_t> moduleTags;
};

#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

// One polygon of a test mesh: its corners and material.
struct PolygonSpec {
    std::vector<int32_t> corners;
    uint16_t material = 0;
};

// Fills a geometry with vertices, polygons and materialCount materials named
// "m0", "m1", ...; the arrays are allocated as the geometry frees them.
inline void FillGeometry(zGeometry& g, const std::vector<zVector>& vertices, const std::vector<PolygonSpec>& polygons,
                         uint32_t materialCount = 1)
{
    g.vertexCount = uint32_t(vertices.size());
    g.vertices = new zVector[vertices.size()];
    for (size_t i = 0; i < vertices.size(); ++i)
        g.vertices[i] = vertices[i];
    uint32_t bindings = 0;
    for (const PolygonSpec& p : polygons)
        bindings += uint32_t(p.corners.size());
    g.bindingCount = bindings;
    g.bindingIndices = new int32_t[bindings > 0 ? bindings : 1];
    g.polygonCount = uint32_t(polygons.size());
    g.polygons = new zPolygon[polygons.size()];
    uint32_t used = 0;
    for (size_t p = 0; p < polygons.size(); ++p) {
        g.polygons[p].vertexCount = uint16_t(polygons[p].corners.size());
        g.polygons[p].material = polygons[p].material;
        g.polygons[p].indices = g.bindingIndices + used;
        for (int32_t c : polygons[p].corners)
            g.bindingIndices[used++] = c;
    }
    if (materialCount > 0) {
        g.AllocateMaterials(materialCount, true);
        for (uint32_t i = 0; i < materialCount; ++i)
            g.materials[i]->name = zString::Format("m%u", i);
    }
}

// A unit square split into two triangles sharing the edge 0-2.
inline void FillTwoTriangles(zGeometry& g, uint32_t materialCount = 1, uint16_t secondMaterial = 0)
{
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{{0, 1, 2}, 0}, {{0, 2, 3}, secondMaterial}},
                 materialCount);
}

// A unit cube of six quads with two materials, normals, colours, two UV sets
// and a skin of two bones.
inline void FillCube(zGeometry& g)
{
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
                 {{{0, 3, 2, 1}, 0},
                  {{4, 5, 6, 7}, 0},
                  {{0, 1, 5, 4}, 1},
                  {{2, 3, 7, 6}, 1},
                  {{1, 2, 6, 5}, 0},
                  {{3, 0, 4, 7}, 1}},
                 2);
    g.materials[0]->name = "Red";
    g.materials[0]->diffuse = {1.0f, 0.0f, 0.0f, 1.0f};
    g.materials[1]->name = "Glass";
    g.materials[1]->diffuse.a = 0.5f;
    g.materials[1]->flags = zMaterial::FlagLit | zMaterial::FlagDoubleSided;
    g.renderWord = zGeometry::RenderLit | zGeometry::RenderUseNormal;
    const zVector faceNormals[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {1, 0, 0}, {-1, 0, 0}};
    g.polygonNormals = new zVector[6];
    g.vertexNormals = new zVector[24];
    g.vertexColours = new zVector[24];
    g.uvSetCount = 2;
    g.uvSets[0] = new zUV[24];
    g.uvSets[1] = new zUV[24];
    for (uint32_t b = 0; b < 24; ++b) {
        g.vertexNormals[b] = faceNormals[b / 4];
        g.vertexColours[b] = zVector(float(b) / 24.0f, 0.25f, 1.0f);
        g.uvSets[0][b] = {float(b % 2), float((b / 2) % 2)};
        g.uvSets[1][b] = {float(b) * 0.125f, -float(b)};
    }
    for (int p = 0; p < 6; ++p)
        g.polygonNormals[p] = faceNormals[p];
    g.boneCount = 2;
    g.boneIds = new zString[2];
    g.boneIds[0] = "Hip";
    g.boneIds[1] = "Knee";
    g.skinWeights = new zSkinWeight[8];
    for (uint32_t v = 0; v < 8; ++v) {
        const float w = v < 4 ? 1.0f : 0.6f;
        g.skinWeights[v] = {{w, 1.0f - w, 0.0f, 0.0f}, {uint16_t(v < 4 ? 0 : 1), uint16_t(v < 4 ? 1 : 0), 0, 0}};
    }
    g.lodDistance = 42.5f;
    g.zFar = 900.0f;
    g.flags |= zGeometry::FlagLodNull | zGeometry::FlagShadowNull;
}

// A strip of two quads bent at its middle, skinned to two bones.
inline void FillSkinnedStrip(zGeometry& g)
{
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 2, 0.5f}, {1, 2, 0.5f}},
                 {{{0, 1, 3, 2}, 0}, {{2, 3, 5, 4}, 0}}, 1);
    g.materials[0]->name = "Skin";
    g.materials[0]->flags = zMaterial::FlagLit | zMaterial::FlagSmoothing;
    g.boneCount = 2;
    g.boneIds = new zString[2];
    g.boneIds[0] = "Root";
    g.boneIds[1] = "Tip";
    g.skinWeights = new zSkinWeight[6];
    for (uint32_t v = 0; v < 6; ++v) {
        const float tip = float(v / 2) * 0.5f;
        g.skinWeights[v] = {{1.0f - tip, tip, 0.0f, 0.0f}, {0, 1, 0, 0}};
    }
    g.uvSetCount = 1;
    g.uvSets[0] = new zUV[8];
    for (uint32_t b = 0; b < 8; ++b)
        g.uvSets[0][b] = {float(b % 2), float(b / 2) * 0.5f};
}

// Four triangles of a fan over three materials.
inline void FillMultiMaterial(zGeometry& g)
{
    FillGeometry(g, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, 0}, {-1, 0, 0}},
                 {{{0, 1, 2}, 0}, {{0, 2, 3}, 1}, {{0, 3, 4}, 2}, {{0, 4, 5}, 1}}, 3);
    g.materials[0]->name = "Brick";
    g.materials[0]->diffuse = {0.6f, 0.2f, 0.1f, 1.0f};
    g.materials[1]->name = "Mortar";
    g.materials[1]->glossiness = 2.0f;
    g.materials[2]->name = "Water";
    g.materials[2]->flags = zMaterial::FlagAdditive | zMaterial::FlagNoZWrite;
    g.materials[2]->physicMaterial.restitution = 0.0f;
    g.vertexColours = new zVector[12];
    for (uint32_t b = 0; b < 12; ++b)
        g.vertexColours[b] = zVector(1.0f, float(b) / 12.0f, 0.0f);
}
