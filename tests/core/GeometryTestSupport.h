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
