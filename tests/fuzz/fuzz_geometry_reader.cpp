#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

// Any ZML text loads as a geometry or fails with a log line. A geometry that
// loads is consistent (every corner names a vertex, every polygon a material),
// survives the adjacency builders and the set-up, and what the writer makes of
// it loads again with the same counts.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GlobalLog.VerbosityMask = 0;
    static Tavrin* core = new Tavrin;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Includes would reach the disk; the ZML reader's own target covers them.
    if (text.find("#include") != std::string_view::npos)
        return 0;
    zMetaFile document;
    if (!zMetaParser::LoadText(text.data(), text.size(), &document, "fuzz.zml"))
        return 0;
    zGeometry geometry(core, "fuzz");
    if (!geometry.FromMetaFile(&document))
        return 0;

    for (uint32_t p = 0; p < geometry.polygonCount; ++p) {
        const zPolygon& polygon = geometry.polygons[p];
        if (polygon.material >= geometry.materialCount)
            __builtin_trap();
        for (uint16_t c = 0; c < polygon.vertexCount; ++c) {
            if (polygon.indices[c] < 0 || uint32_t(polygon.indices[c]) >= geometry.vertexCount)
                __builtin_trap();
        }
    }
    geometry.ComputeVertexToVertex();
    geometry.FlagHomogeneousVertex(-1);
    geometry.MergeDuplicateMaterials();

    std::unique_ptr<zMetaTag> written(geometry.AsMetaTag(nullptr));
    if (written == nullptr)
        __builtin_trap();
    zGeometry again(core, "again");
    if (!again.FromMetaTag(nullptr, written.get()) || again.vertexCount != geometry.vertexCount
        || again.polygonCount != geometry.polygonCount || again.bindingCount != geometry.bindingCount)
        __builtin_trap();
    geometry.Setup();
    return 0;
}
