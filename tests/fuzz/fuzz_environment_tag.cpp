#include "core/zad/Tavrin.h"
#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "project/zProject.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

} // namespace

// Any bytes, read as ZML; every root tag goes through the "Environment"
// reader, is written back and read again into a second project.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Silent silent;
    GlobalLog.SetSink(&silent);
    static Tavrin core;
    zMetaFile document;
    if (!zMetaParser::LoadText(reinterpret_cast<const char*>(data), size, &document, "input.zgp"))
        return 0;
    int roots = 0;
    for (const zMetaTag* tag = document.GetFirstRootTag(); tag != nullptr && roots < 16;
         tag = tag->GetNextSibling(), ++roots) {
        zProject project(&core);
        project.FromMetaTag(&document, tag);
        std::unique_ptr<zMetaTag> written(project.AsMetaTag(nullptr));
        zProject again(&core);
        again.FromMetaTag(nullptr, written.get());
    }
    return 0;
}
