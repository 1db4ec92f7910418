#include "framework/metafile/zMetaFile.h"
#include "framework/metafile/zMetaParser.h"
#include "framework/metafile/zMetaTag.h"
#include "framework/system/zLogStream.h"
#include "script/zScriptMaster.h"
#include "script/zScriptUnit.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

class Silent : public zLogSink {
public:
    void Write(const char*) override {}
};

} // namespace

// Any bytes, read as ZML; every root tag goes through the "ScriptUnit" reader,
// is written back and read again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Silent silent;
    GlobalLog.SetSink(&silent);
    zMetaFile document;
    if (!zMetaParser::LoadText(reinterpret_cast<const char*>(data), size, &document, "input.zml"))
        return 0;
    zScriptMaster master;
    int roots = 0;
    for (const zMetaTag* tag = document.GetFirstRootTag(); tag != nullptr && roots < 16;
         tag = tag->GetNextSibling(), ++roots) {
        zScriptUnit unit(&master);
        unit.FromMetaTag(&document, tag);
        std::unique_ptr<zMetaTag> written(unit.AsMetaTag());
        zScriptUnit again(&master);
        again.FromMetaTag(nullptr, written.get());
    }
    return 0;
}
