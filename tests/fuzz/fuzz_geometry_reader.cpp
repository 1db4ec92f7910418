#include "InputFS.h"
#include "core/geometry/zGeometry.h"
#include "core/material/zMaterial.h"
#include "core/zad/Tavrin.h"
#include "framework/filesystem/zStream.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// Any ZML text loads as a geometry or fails with a log line. A geometry that
// loads is consistent (every corner names a vertex, every polygon a material),
// survives the adjacency builders and the set-up, and what the writer makes of
// it loads again with the same counts.
namespace {

void ReadOne(Tavrin* core, const zMetaFile& document)
{
    zGeometry geometry(core, "fuzz");
    if (!geometry.FromMetaFile(&document))
        return;

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
}

} // namespace

// The input up to its first NUL byte is "main.zml", the rest "inc.zml": the
// only files there are, so includes and the proxies a geometry names are
// read from the input and never from the disk.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GlobalLog.VerbosityMask = 0;
    static Tavrin* core = new Tavrin;
    static fuzz_support::MemoryFS files;
    zStream::SetCurrentFS(&files);
    files.SplitInput(data, size, "main.zml", "inc.zml");
    zMetaFile document;
    if (!zMetaParser::Load("main.zml", &document))
        return 0;
    ReadOne(core, document);
    // Proxies the input named were cached; the next input starts clean.
    core->DeleteAllResources();
    return 0;
}
